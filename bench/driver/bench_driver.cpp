// The driver's cost next to the wire's: every case through the public ZR48_ functions, beside a
// plain-socket client that sends the same bytes to the same simulated instrument.
//
// Simulators: scripts/bench.sh starts two zr48-sim processes, one pinned to the benchmark CPU
// (`taskset -c 0`) and one free, and passes their ports in ZR48_BENCH_SIM_PINNED_PORT and
// ZR48_BENCH_SIM_UNPINNED_PORT; the PyVISA script talks to the same processes. Without them, two
// in-process servers take their place (the pinned one created from a pinned thread, so that its
// threads inherit the pinning).
//
// Names, read by bench/report.py:
//   Loopback/<Driver|Plain|PlainOneSend>/<exchange>/<pinned|unpinned>
//   Lan/Driver/MeasVolt/<socket|vxi11|hislip>/pinned, Lan/Plain/MeasVolt/socket/pinned
//   Simulated/<case>, Session/<case>, Throughput/<case>, Simulator/<case>
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "ZR48.h"
#include "common/cpu_pinning.h"
#include "common/plain_socket_client.h"
#include "zr48sim/server.h"

namespace {

using zr48::bench::PlainSocketClient;
using zr48::bench::ScopedPinning;

// The two simulated instruments every loopback case talks to.
class Simulators {
 public:
  static Simulators& instance() {
    static Simulators simulators;
    return simulators;
  }
  std::uint16_t port(bool pinned) const { return pinned ? pinned_port_ : unpinned_port_; }
  std::string resource(bool pinned) const {
    return "TCPIP::127.0.0.1::" + std::to_string(port(pinned)) + "::SOCKET";
  }

 private:
  Simulators() {
    pinned_port_ = port_from_environment("ZR48_BENCH_SIM_PINNED_PORT");
    unpinned_port_ = port_from_environment("ZR48_BENCH_SIM_UNPINNED_PORT");
    if (unpinned_port_ == 0) {
      unpinned_ = std::make_unique<zr48::sim::Server>();
      unpinned_port_ = unpinned_->port();
    }
    if (pinned_port_ == 0) {
      const ScopedPinning pinning(true);  // the server's threads start pinned
      pinned_ = std::make_unique<zr48::sim::Server>();
      pinned_port_ = pinned_->port();
    }
  }
  static std::uint16_t port_from_environment(const char* name) {
    const char* text = std::getenv(name);
    return text != nullptr ? static_cast<std::uint16_t>(std::atoi(text)) : 0;
  }

  std::unique_ptr<zr48::sim::Server> pinned_;
  std::unique_ptr<zr48::sim::Server> unpinned_;
  std::uint16_t pinned_port_ = 0;
  std::uint16_t unpinned_port_ = 0;
};

// Simulated sessions talk to nothing; the name only has to be well formed.
constexpr const char* kSimulatedResource = "TCPIP::127.0.0.1::5025::SOCKET";

// A driver session, closed on every path.
class DriverSession {
 public:
  DriverSession(const std::string& resource, const char* options, ViBoolean id_query = VI_FALSE,
                ViBoolean reset = VI_FALSE) {
    std::string name = resource;
    const ViStatus status = ZR48_InitWithOptions(name.data(), id_query, reset, options, &vi_);
    if (status < 0) throw std::runtime_error("ZR48_InitWithOptions: " + std::to_string(status));
  }
  ~DriverSession() {
    if (vi_ != VI_NULL) ZR48_close(vi_);
  }
  DriverSession(const DriverSession&) = delete;
  DriverSession& operator=(const DriverSession&) = delete;
  ViSession vi() const { return vi_; }

 private:
  ViSession vi_ = VI_NULL;
};

// ---------------------------------------------------------------------------------------------
// Loopback round trips: one exchange through the driver, and the same bytes by hand.

using DriverCall = ViStatus (*)(ViSession vi, ViChar* reply);

struct LoopbackExchange {
  const char* name;
  const char* options;               // the driver session's option string
  DriverCall driver;                 // the exchange through the public functions
  std::array<const char*, 2> lines;  // the same bytes, one send per line (nullptr: none)
  bool has_reply;
};

const LoopbackExchange kExchanges[] = {
    {"SetVoltage",
     "",
     [](ViSession vi, ViChar*) { return ZR48_SetVoltage(vi, "1.5", "ch2"); },
     {"INST ch2\n", "VOLT 1.5\n"},
     false},
    {"MeasVolt",
     "",
     [](ViSession vi, ViChar* reply) { return ZR48_MeasVolt(vi, reply, "ch2"); },
     {"INST ch2\n", "MEAS:VOLT?\n"},
     true},
    {"GetApply",
     "",
     [](ViSession vi, ViChar* reply) { return ZR48_GetApply(vi, "CH2", reply); },
     {"APPLY? CH2\n", nullptr},
     true},
    // Cache off: every get is a query.
    {"OutpUncached",
     "Cache=0",
     [](ViSession vi, ViChar* reply) {
       return ZR48_GetAttributeViString(vi, "ch2", ZR48_ATTR_OUTP, 512, reply);
     },
     {"INST ch2\n", "OUTP?\n"},
     true},
};

void DriverLoopback(benchmark::State& state, const LoopbackExchange& exchange, bool pinned) {
  const ScopedPinning pinning(pinned);
  const DriverSession session(Simulators::instance().resource(pinned), exchange.options);
  std::array<ViChar, 512> reply{};
  for (auto _ : state) {
    if (exchange.driver(session.vi(), reply.data()) < 0) {
      state.SkipWithError("driver call failed");
      break;
    }
    benchmark::DoNotOptimize(reply.data());
  }
  // Outside the timing: a write-only loop waits until the simulator has worked off what it
  // queued, so that the next case does not pay for it.
  if (ZR48_ReadCmd(session.vi(), "*OPC?", reply.data()) < 0) state.SkipWithError("*OPC? failed");
}

void PlainLoopback(benchmark::State& state, const LoopbackExchange& exchange, bool pinned) {
  const ScopedPinning pinning(pinned);
  PlainSocketClient client("127.0.0.1", Simulators::instance().port(pinned));
  for (auto _ : state) {
    for (const char* line : exchange.lines) {
      if (line != nullptr) client.send(line);
    }
    if (exchange.has_reply) benchmark::DoNotOptimize(client.read_line());
  }
  client.send("*OPC?\n");
  client.read_line();
}

// The same bytes in one send per exchange, as the driver sends a channel selection with its
// command: the floor for a client of this protocol, shown beside the line-by-line baseline.
void PlainLoopbackOneSend(benchmark::State& state, const LoopbackExchange& exchange, bool pinned) {
  const ScopedPinning pinning(pinned);
  PlainSocketClient client("127.0.0.1", Simulators::instance().port(pinned));
  std::string request;
  for (const char* line : exchange.lines) {
    if (line != nullptr) request += line;
  }
  for (auto _ : state) {
    client.send(request);
    if (exchange.has_reply) benchmark::DoNotOptimize(client.read_line());
  }
  client.send("*OPC?\n");
  client.read_line();
}

// ---------------------------------------------------------------------------------------------
// MeasVolt over each LAN resource form of one simulator serving all three, pinned with it.
// scripts/bench.sh starts that simulator on a loopback address of its own (`taskset -c 0`) and
// passes its resource names in ZR48_BENCH_LAN_<SOCKET|VXI11|HISLIP>; without them a pinned
// in-process server takes its place (VXI-11 then needs port 111, or the case is skipped).

struct LanForm {
  const char* name;
  const char* environment;
  std::string (*resource)(const zr48::sim::Server& server);
};

const LanForm kLanForms[] = {
    {"socket", "ZR48_BENCH_LAN_SOCKET", [](const zr48::sim::Server& s) { return s.resource(); }},
    {"vxi11", "ZR48_BENCH_LAN_VXI11",
     [](const zr48::sim::Server& s) { return s.vxi11_resource(); }},
    {"hislip", "ZR48_BENCH_LAN_HISLIP",
     [](const zr48::sim::Server& s) { return s.hislip_resource(); }},
};

std::string lan_resource(const LanForm& form) {
  if (const char* text = std::getenv(form.environment); text != nullptr && *text != '\0') {
    return text;
  }
  static const std::unique_ptr<zr48::sim::Server> server = [] {
    const ScopedPinning pinning(true);  // the server's threads start pinned
    return std::make_unique<zr48::sim::Server>(zr48::sim::ServerOptions::all("127.0.0.63"));
  }();
  return form.resource(*server);
}

void LanMeasVolt(benchmark::State& state, const LanForm& form) {
  const ScopedPinning pinning(true);
  std::unique_ptr<DriverSession> session;
  try {
    session = std::make_unique<DriverSession>(lan_resource(form), "");
  } catch (const std::runtime_error& error) {
    state.SkipWithError(error.what());
    return;
  }
  std::array<ViChar, 512> reply{};
  for (auto _ : state) {
    if (ZR48_MeasVolt(session->vi(), reply.data(), "ch2") < 0) {
      state.SkipWithError("MeasVolt failed");
      break;
    }
    benchmark::DoNotOptimize(reply.data());
  }
}

// The same bytes by hand over the raw socket of that simulator: the floor the driver's and
// pyvisa-py's added cost is measured from.
void LanPlainMeasVolt(benchmark::State& state) {
  const ScopedPinning pinning(true);
  // "TCPIP::<host>::<port>::SOCKET"
  const std::string resource = lan_resource(kLanForms[0]);
  const std::size_t host_at = resource.find("::") + 2;
  const std::size_t port_at = resource.find("::", host_at) + 2;
  const std::string host = resource.substr(host_at, port_at - 2 - host_at);
  const auto port = static_cast<std::uint16_t>(std::atoi(resource.c_str() + port_at));
  PlainSocketClient client(host, port);
  for (auto _ : state) {
    client.send("INST ch2\n");
    client.send("MEAS:VOLT?\n");
    benchmark::DoNotOptimize(client.read_line());
  }
}

// ---------------------------------------------------------------------------------------------
// Simulated sessions: the driver's own cost, no I/O at all.

void SimulatedInstrumentFunction(benchmark::State& state) {
  const DriverSession session(kSimulatedResource, "Simulate=1");
  for (auto _ : state) {
    benchmark::DoNotOptimize(ZR48_SetVoltage(session.vi(), "1.5", "ch2"));
  }
}

void SimulatedCachedAttributeGet(benchmark::State& state) {
  const DriverSession session(kSimulatedResource, "Simulate=1");
  ZR48_SetAttributeViReal64(session.vi(), "ch2", ZR48_ATTR_VOLTAGE_LEVEL, 1.5);
  ViReal64 value = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        ZR48_GetAttributeViReal64(session.vi(), "ch2", ZR48_ATTR_VOLTAGE_LEVEL, &value));
  }
  if (value != 1.5) state.SkipWithError("unexpected cached value");
}

// Two values in turn, so that no set is skipped as equal to the cached value.
void SimulatedRangeCheckedSet(benchmark::State& state) {
  const DriverSession session(kSimulatedResource, "Simulate=1, RangeCheck=1");
  const std::array<ViReal64, 2> levels = {1.5, 2.5};
  std::size_t next = 0;
  for (auto _ : state) {
    if (ZR48_SetAttributeViReal64(session.vi(), "ch2", ZR48_ATTR_VOLTAGE_LEVEL, levels[next]) < 0) {
      state.SkipWithError("set failed");
      break;
    }
    next ^= 1U;
  }
}

// ---------------------------------------------------------------------------------------------
// Session lifetime and footprint.

// As a program opens a session: identification query and reset (both simulated).
void SessionOpenClose(benchmark::State& state) {
  std::string name = kSimulatedResource;
  for (auto _ : state) {
    ViSession vi = VI_NULL;
    if (ZR48_InitWithOptions(name.data(), VI_TRUE, VI_TRUE, "Simulate=1", &vi) < 0) {
      state.SkipWithError("open failed");
      break;
    }
    ZR48_close(vi);
  }
}

long ResidentBytes() {
  long pages = 0;
  long resident = 0;
  if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(statm);
  }
  return resident * ::sysconf(_SC_PAGESIZE);
}

long HeapBytesInUse() {
  const struct mallinfo2 info = ::mallinfo2();
  return static_cast<long>(info.uordblks + info.hblkhd);
}

// 1,000 simulated sessions open at once: resident-set growth and heap in use, per session. Run it
// in a process of its own (scripts/bench.sh does), so that memory freed by earlier cases does not
// hide the growth.
void SessionMemory(benchmark::State& state) {
  constexpr int kSessions = 1000;
  std::string name = kSimulatedResource;
  for (auto _ : state) {
    std::vector<ViSession> sessions(kSessions, VI_NULL);
    const long rss_before = ResidentBytes();
    const long heap_before = HeapBytesInUse();
    for (ViSession& vi : sessions) {
      if (ZR48_InitWithOptions(name.data(), VI_TRUE, VI_TRUE, "Simulate=1", &vi) < 0) {
        state.SkipWithError("open failed");
      }
    }
    const long rss_after = ResidentBytes();
    const long heap_after = HeapBytesInUse();
    for (const ViSession vi : sessions) {
      if (vi != VI_NULL) ZR48_close(vi);
    }
    state.counters["rss_bytes_per_session"] =
        static_cast<double>(rss_after - rss_before) / kSessions;
    state.counters["heap_bytes_per_session"] =
        static_cast<double>(heap_after - heap_before) / kSessions;
  }
}

// ---------------------------------------------------------------------------------------------
// Throughput: MeasVolt round trips against the free simulator.

void ThroughputOwnSessions(benchmark::State& state) {
  const DriverSession session(Simulators::instance().resource(false), "");
  std::array<ViChar, 512> reply{};
  for (auto _ : state) {
    if (ZR48_MeasVolt(session.vi(), reply.data(), "ch2") < 0) {
      state.SkipWithError("MeasVolt failed");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations());
}

ViSession g_shared_session = VI_NULL;  // one session for every thread of the case below

void OpenSharedSession(const benchmark::State&) {
  std::string name = Simulators::instance().resource(false);
  if (ZR48_InitWithOptions(name.data(), VI_FALSE, VI_FALSE, "", &g_shared_session) < 0) {
    g_shared_session = VI_NULL;
  }
}
void CloseSharedSession(const benchmark::State&) {
  if (g_shared_session != VI_NULL) ZR48_close(g_shared_session);
  g_shared_session = VI_NULL;
}

void ThroughputSharedSession(benchmark::State& state) {
  std::array<ViChar, 512> reply{};
  for (auto _ : state) {
    if (ZR48_MeasVolt(g_shared_session, reply.data(), "ch2") < 0) {
      state.SkipWithError("MeasVolt failed");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations());
}

// The simulator's own ceiling: queries sent in batches, so that no client round trip limits it.
// The report takes the best of 1, 2, 4 and 8 connections.
void SimulatorMaxQueryRate(benchmark::State& state) {
  constexpr int kBatch = 64;
  PlainSocketClient client("127.0.0.1", Simulators::instance().port(false));
  std::string batch;
  for (int i = 0; i < kBatch; ++i) batch += "INST ch2\nMEAS:VOLT?\n";
  for (auto _ : state) {
    client.send(batch);
    for (int i = 0; i < kBatch; ++i) benchmark::DoNotOptimize(client.read_line());
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
}

void RegisterAll() {
  for (const LoopbackExchange& exchange : kExchanges) {
    for (const bool pinned : {true, false}) {
      const std::string suffix = std::string(exchange.name) + (pinned ? "/pinned" : "/unpinned");
      benchmark::RegisterBenchmark(("Loopback/Driver/" + suffix).c_str(), DriverLoopback, exchange,
                                   pinned);
      benchmark::RegisterBenchmark(("Loopback/Plain/" + suffix).c_str(), PlainLoopback, exchange,
                                   pinned);
      if (pinned) {
        benchmark::RegisterBenchmark(("Loopback/PlainOneSend/" + suffix).c_str(),
                                     PlainLoopbackOneSend, exchange, pinned);
      }
    }
  }
  benchmark::RegisterBenchmark("Lan/Plain/MeasVolt/socket/pinned", LanPlainMeasVolt);
  for (const LanForm& form : kLanForms) {
    benchmark::RegisterBenchmark(
        ("Lan/Driver/MeasVolt/" + std::string(form.name) + "/pinned").c_str(), LanMeasVolt, form);
  }
  benchmark::RegisterBenchmark("Simulated/InstrumentFunction", SimulatedInstrumentFunction);
  benchmark::RegisterBenchmark("Simulated/CachedAttributeGet", SimulatedCachedAttributeGet);
  benchmark::RegisterBenchmark("Simulated/RangeCheckedSet", SimulatedRangeCheckedSet);
  benchmark::RegisterBenchmark("Session/OpenClose", SessionOpenClose);
  benchmark::RegisterBenchmark("Session/Memory", SessionMemory)->Iterations(1);
  benchmark::RegisterBenchmark("Throughput/OwnSessions", ThroughputOwnSessions)
      ->ThreadRange(1, 8)
      ->UseRealTime();
  benchmark::RegisterBenchmark("Throughput/SharedSession", ThroughputSharedSession)
      ->Setup(OpenSharedSession)
      ->Teardown(CloseSharedSession)
      ->Threads(8)
      ->UseRealTime();
  // One connection per thread, each served by its own simulator thread.
  benchmark::RegisterBenchmark("Simulator/MaxQueryRate", SimulatorMaxQueryRate)
      ->ThreadRange(1, 8)
      ->UseRealTime();
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RegisterAll();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
