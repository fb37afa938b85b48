// Engine hot paths through the C interface: a cached per-channel ViReal64 get and a
// lock/unlock pair.
#include <benchmark/benchmark.h>

#include "engine/ivi_engine.h"

namespace {

constexpr ViAttr kVoltage = IVI_CLASS_PUBLIC_ATTR_BASE + 1;

ViStatus noopRead(ViSession, ViSession, ViConstString, ViAttr, ViReal64*) {
  return VI_SUCCESS;
}
ViStatus noopWrite(ViSession, ViSession, ViConstString, ViAttr, ViReal64) {
  return VI_SUCCESS;
}

// A simulated session shaped like the driver's: seven channels, a per-channel ViReal64.
struct BenchSession {
  ViSession vi = VI_NULL;
  BenchSession() {
    Ivi_SpecificDriverNew("ZR48", "Simulate=1", &vi);
    Ivi_BuildChannelTable(vi, "ch1,ch2,ch3,ch4,ch5,ch6,ch7", VI_FALSE, VI_NULL);
    Ivi_AddAttributeViReal64(vi, kVoltage, "ZR48_ATTR_VOLTAGE_LEVEL", 0.0, IVI_VAL_MULTI_CHANNEL,
                             noopRead, noopWrite, VI_NULL, 0);
    Ivi_SetAttributeViReal64(vi, "ch4", kVoltage, 0, 12.5);
  }
  ~BenchSession() { Ivi_Dispose(vi); }
  BenchSession(const BenchSession&) = delete;
  BenchSession& operator=(const BenchSession&) = delete;
};

void BM_CachedMultiChannelReal64Get(benchmark::State& state) {
  const BenchSession s;
  ViReal64 value = 0;
  while (state.KeepRunning()) {
    const ViStatus status =
        Ivi_GetAttributeViReal64(s.vi, "ch4", kVoltage, IVI_VAL_DIRECT_USER_CALL, &value);
    benchmark::DoNotOptimize(status);
    benchmark::DoNotOptimize(value);
  }
  if (value != 12.5) state.SkipWithError("unexpected value");
}
BENCHMARK(BM_CachedMultiChannelReal64Get)->Repetitions(10)->ReportAggregatesOnly(true);

void BM_LockUnlockPair(benchmark::State& state) {
  const BenchSession s;
  while (state.KeepRunning()) {
    benchmark::DoNotOptimize(Ivi_LockSession(s.vi, VI_NULL));
    benchmark::DoNotOptimize(Ivi_UnlockSession(s.vi, VI_NULL));
  }
}
BENCHMARK(BM_LockUnlockPair)->Repetitions(10)->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
