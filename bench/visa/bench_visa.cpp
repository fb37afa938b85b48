// Baseline for the driver's benchmarks: the driver's two exchanges against the simulated
// instrument, once through a plain blocking socket and once through the I/O layer with the
// driver's settings (flush on access, 4000-byte buffers, viFlush(12) before each exchange).
//   set voltage:  "INST ch2\n" then "VOLT 1.5\n"
//   measure:      "INST ch2\n" then "MEAS:VOLT?\n" and its reply
#include <benchmark/benchmark.h>

#include <stdexcept>
#include <string>

#include "common/plain_socket_client.h"
#include "visa/visa.h"
#include "zr48sim/server.h"

namespace {

zr48::sim::Server& simulator() {
  static zr48::sim::Server server;
  return server;
}

class VisaSession {
 public:
  VisaSession() {
    check(viOpenDefaultRM(&rm_));
    check(viOpen(rm_, simulator().resource().c_str(), VI_NO_LOCK, 0, &vi_));
    check(viSetAttribute(vi_, VI_ATTR_TMO_VALUE, 5000));
    check(viSetBuf(vi_, VI_READ_BUF | VI_WRITE_BUF, 4000));
    check(viSetAttribute(vi_, VI_ATTR_WR_BUF_OPER_MODE, VI_FLUSH_ON_ACCESS));
    check(viSetAttribute(vi_, VI_ATTR_RD_BUF_OPER_MODE, VI_FLUSH_ON_ACCESS));
  }
  ~VisaSession() { viClose(rm_); }
  VisaSession(const VisaSession&) = delete;
  VisaSession& operator=(const VisaSession&) = delete;

  ViSession vi() const { return vi_; }

  static void check(ViStatus status) {
    if (status < VI_SUCCESS)
      throw std::runtime_error("VISA call failed: " + std::to_string(status));
  }

 private:
  ViSession rm_ = VI_NULL;
  ViSession vi_ = VI_NULL;
};

void PlainSocket_SetVoltage(benchmark::State& state) {
  zr48::bench::PlainSocketClient client("127.0.0.1", simulator().port());
  while (state.KeepRunning()) {
    client.send("INST ch2\n");
    client.send("VOLT 1.5\n");
  }
  // Outside the timing: wait until the simulator has worked off the queued commands, so that
  // the next benchmark does not pay for them.
  client.send("*OPC?\n");
  client.read_line();
}

void VisaLayer_SetVoltage(benchmark::State& state) {
  const VisaSession session;
  const ViSession vi = session.vi();
  while (state.KeepRunning()) {
    VisaSession::check(viFlush(vi, VI_READ_BUF_DISCARD | VI_WRITE_BUF_DISCARD));
    VisaSession::check(viPrintf(vi, "INST %s\n", "ch2"));
    VisaSession::check(viPrintf(vi, "VOLT %s\n", "1.5"));
  }
  char reply[512];
  VisaSession::check(viPrintf(vi, "*OPC?\n"));
  VisaSession::check(viScanf(vi, "%s", reply));
}

void PlainSocket_MeasureVoltage(benchmark::State& state) {
  zr48::bench::PlainSocketClient client("127.0.0.1", simulator().port());
  while (state.KeepRunning()) {
    client.send("INST ch2\n");
    client.send("MEAS:VOLT?\n");
    benchmark::DoNotOptimize(client.read_line());
  }
}

// The instrument functions' read: one word with viScanf "%s".
void VisaLayer_MeasureVoltage_Scanf(benchmark::State& state) {
  const VisaSession session;
  const ViSession vi = session.vi();
  char reply[512];
  while (state.KeepRunning()) {
    VisaSession::check(viFlush(vi, VI_READ_BUF_DISCARD | VI_WRITE_BUF_DISCARD));
    VisaSession::check(viPrintf(vi, "INST %s\n", "ch2"));
    VisaSession::check(viPrintf(vi, "MEAS:VOLT?\n"));
    VisaSession::check(viScanf(vi, "%s", reply));
    benchmark::DoNotOptimize(reply);
  }
}

// The attribute callbacks' read: one viRead of at most 511 bytes.
void VisaLayer_MeasureVoltage_Read(benchmark::State& state) {
  const VisaSession session;
  const ViSession vi = session.vi();
  ViByte reply[512];
  while (state.KeepRunning()) {
    ViUInt32 count = 0;
    VisaSession::check(viFlush(vi, VI_READ_BUF_DISCARD | VI_WRITE_BUF_DISCARD));
    VisaSession::check(viPrintf(vi, "INST %s\n", "ch2"));
    VisaSession::check(viPrintf(vi, "MEAS:VOLT?\n"));
    VisaSession::check(viRead(vi, reply, 511, &count));
    benchmark::DoNotOptimize(reply);
  }
}

// The set-voltage exchange followed by "*OPC?\n" and its reply: the write path measured as a
// latency, not as throughput into a queue that the simulator drains at its own pace.
void PlainSocket_SetVoltageConfirmed(benchmark::State& state) {
  zr48::bench::PlainSocketClient client("127.0.0.1", simulator().port());
  while (state.KeepRunning()) {
    client.send("INST ch2\n");
    client.send("VOLT 1.5\n");
    client.send("*OPC?\n");
    benchmark::DoNotOptimize(client.read_line());
  }
}

void VisaLayer_SetVoltageConfirmed(benchmark::State& state) {
  const VisaSession session;
  const ViSession vi = session.vi();
  char reply[512];
  while (state.KeepRunning()) {
    VisaSession::check(viFlush(vi, VI_READ_BUF_DISCARD | VI_WRITE_BUF_DISCARD));
    VisaSession::check(viPrintf(vi, "INST %s\n", "ch2"));
    VisaSession::check(viPrintf(vi, "VOLT %s\n", "1.5"));
    VisaSession::check(viPrintf(vi, "*OPC?\n"));
    VisaSession::check(viScanf(vi, "%s", reply));
    benchmark::DoNotOptimize(reply);
  }
}

// The measure exchange as the driver sends it (one write, one read of at most 511 bytes) over
// each LAN resource form of one simulator serving all three.
zr48::sim::Server& lan_simulator() {
  static zr48::sim::Server server(zr48::sim::ServerOptions::all("127.0.0.61"));
  return server;
}

void Lan_MeasureVoltage(benchmark::State& state,
                        std::string (*resource)(const zr48::sim::Server&)) {
  ViSession rm = VI_NULL;
  ViSession vi = VI_NULL;
  VisaSession::check(viOpenDefaultRM(&rm));
  if (viOpen(rm, resource(lan_simulator()).c_str(), VI_NO_LOCK, 2000, &vi) < VI_SUCCESS) {
    state.SkipWithError("cannot open (VXI-11 needs port 111)");
    viClose(rm);
    return;
  }
  static constexpr char kExchange[] = "INST ch2\nMEAS:VOLT?\n";
  ViByte reply[512];
  while (state.KeepRunning()) {
    ViUInt32 count = 0;
    VisaSession::check(
        viWrite(vi, reinterpret_cast<ViConstBuf>(kExchange), sizeof kExchange - 1, &count));
    VisaSession::check(viRead(vi, reply, 511, &count));
    benchmark::DoNotOptimize(reply);
  }
  viClose(rm);
}

BENCHMARK_CAPTURE(Lan_MeasureVoltage, socket,
                  [](const zr48::sim::Server& s) { return s.resource(); });
BENCHMARK_CAPTURE(Lan_MeasureVoltage, vxi11,
                  [](const zr48::sim::Server& s) { return s.vxi11_resource(); });
BENCHMARK_CAPTURE(Lan_MeasureVoltage, hislip,
                  [](const zr48::sim::Server& s) { return s.hislip_resource(); });

BENCHMARK(PlainSocket_SetVoltage);
BENCHMARK(VisaLayer_SetVoltage);
BENCHMARK(PlainSocket_MeasureVoltage);
BENCHMARK(VisaLayer_MeasureVoltage_Scanf);
BENCHMARK(VisaLayer_MeasureVoltage_Read);
BENCHMARK(PlainSocket_SetVoltageConfirmed);
BENCHMARK(VisaLayer_SetVoltageConfirmed);

}  // namespace

BENCHMARK_MAIN();
