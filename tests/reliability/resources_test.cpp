// Resource use: many init/close cycles, real (against the simulator) and simulated, must leave
// the process with as many open descriptors as before and with no growth of resident memory
// beyond a small slack. The figures are printed for RELIABILITY.md.
//
// ZR48_SIM_CYCLES and ZR48_REAL_CYCLES override the cycle counts (defaults 10000 simulated and
// 1000 real, to keep the suite fast; ZR48_REAL_CYCLES=10000 gives the full real run).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "ZR48.h"
#include "zr48sim/server.h"

namespace zr48::test {
namespace {

constexpr long kWarmUpCycles = 200;  // lets the allocator and the simulator settle first
// Allowed growth of resident memory over the measured cycles. A leak of even 100 bytes per cycle
// over 10,000 cycles (1 MB) would show beside it.
constexpr long kRssSlackKiB = 1024;

// A sanitizer's allocator holds freed memory back (AddressSanitizer's quarantine), so resident
// memory says nothing there; LeakSanitizer checks for leaks at exit instead.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kResidentMemoryMeaningful = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kResidentMemoryMeaningful = false;
#else
constexpr bool kResidentMemoryMeaningful = true;
#endif
#else
constexpr bool kResidentMemoryMeaningful = true;
#endif

// Valgrind's own memory (translated code) counts in VmRSS too; its leak check does the job there.
bool UnderValgrind() {
  const char* preload = std::getenv("LD_PRELOAD");
  return preload != nullptr && std::string(preload).find("vgpreload") != std::string::npos;
}

long CyclesFromEnvironment(const char* name, long fallback) {
  const char* text = std::getenv(name);
  const long value = text != nullptr ? std::atol(text) : 0;
  return value > 0 ? value : fallback;
}

std::size_t OpenDescriptors() {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    ++count;
  }
  return count;
}

// The descriptor count once the simulator has finished closing its side of the last connection
// (it does so on its own thread, a moment after the driver closed its side).
std::size_t SettledDescriptors() {
  std::size_t count = OpenDescriptors();
  for (int i = 0; i < 100; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const std::size_t now = OpenDescriptors();
    if (now == count) return count;
    count = now;
  }
  return count;
}

// A "VmRSS:" or "VmHWM:" figure of /proc/self/status, in KiB.
long StatusKiB(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field + ":", 0) == 0) return std::atol(line.c_str() + field.size() + 1);
  }
  return -1;
}

// Opens and closes `cycles` sessions; every call must succeed.
void Cycle(const std::string& resource, const char* options, long cycles) {
  std::string name = resource;
  for (long i = 0; i < cycles; ++i) {
    ViSession vi = VI_NULL;
    const ViStatus opened = ZR48_InitWithOptions(name.data(), VI_FALSE, VI_FALSE, options, &vi);
    if (opened != VI_SUCCESS) {
      ADD_FAILURE() << "init failed in cycle " << i << ": 0x" << std::hex << opened;
      return;
    }
    const ViStatus closed = ZR48_close(vi);
    if (closed != VI_SUCCESS) {
      ADD_FAILURE() << "close failed in cycle " << i << ": 0x" << std::hex << closed;
      return;
    }
  }
}

// The simulator in a child process, so that the figures of this process are the driver's alone
// (the simulator keeps a record of every connection it served).
class SimulatorProcess {
 public:
  SimulatorProcess() {
    int port_pipe[2] = {-1, -1};
    int stop_pipe[2] = {-1, -1};
    if (::pipe2(port_pipe, O_CLOEXEC) != 0 || ::pipe2(stop_pipe, O_CLOEXEC) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(port_pipe[0]);
      ::close(stop_pipe[1]);
      {
        const zr48::sim::Server sim;
        const std::uint16_t port = sim.port();
        if (::write(port_pipe[1], &port, sizeof port) != sizeof port) ::_exit(1);
        char byte = 0;
        (void)::read(stop_pipe[0], &byte, 1);  // returns when the parent closes its end
      }
      ::_exit(0);
    }
    ::close(port_pipe[1]);
    ::close(stop_pipe[0]);
    stop_ = stop_pipe[1];
    if (pid_ > 0 && ::read(port_pipe[0], &port_, sizeof port_) != sizeof port_) port_ = 0;
    ::close(port_pipe[0]);
  }
  ~SimulatorProcess() {
    if (stop_ >= 0) ::close(stop_);
    if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
  }
  SimulatorProcess(const SimulatorProcess&) = delete;
  SimulatorProcess& operator=(const SimulatorProcess&) = delete;

  bool running() const { return port_ != 0; }
  std::string resource() const { return "TCPIP::127.0.0.1::" + std::to_string(port_) + "::SOCKET"; }

 private:
  pid_t pid_ = -1;
  int stop_ = -1;
  std::uint16_t port_ = 0;
};

struct CycleCase {
  const char* name;
  const char* options;
  const char* environment;
  long default_cycles;
};

class InitCloseCycles : public ::testing::TestWithParam<CycleCase> {};

TEST_P(InitCloseCycles, NoGrowthOfDescriptorsOrMemory) {
  const CycleCase& c = GetParam();
  const long cycles = CyclesFromEnvironment(c.environment, c.default_cycles);
  const SimulatorProcess sim;
  ASSERT_TRUE(sim.running());
  Cycle(sim.resource(), c.options, kWarmUpCycles);

  const std::size_t descriptors_before = SettledDescriptors();
  const long rss_before = StatusKiB("VmRSS");
  const auto start = std::chrono::steady_clock::now();
  Cycle(sim.resource(), c.options, cycles);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const std::size_t descriptors_after = SettledDescriptors();
  const long rss_after = StatusKiB("VmRSS");

  std::printf(
      "%s: %ld init/close cycles in %.2f s; descriptors %zu -> %zu; VmRSS %ld -> %ld KiB "
      "(%+ld); VmHWM %ld KiB\n",
      c.name, cycles, seconds, descriptors_before, descriptors_after, rss_before, rss_after,
      rss_after - rss_before, StatusKiB("VmHWM"));
  EXPECT_EQ(descriptors_after, descriptors_before);
  if (kResidentMemoryMeaningful && !UnderValgrind()) {
    EXPECT_LE(rss_after - rss_before, kRssSlackKiB);
  }
}

std::string CaseName(const ::testing::TestParamInfo<CycleCase>& info) {
  return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(RealAndSimulated, InitCloseCycles,
                         ::testing::Values(CycleCase{"simulated", "Simulate=1", "ZR48_SIM_CYCLES",
                                                     10000},
                                           CycleCase{"real", "", "ZR48_REAL_CYCLES", 1000}),
                         CaseName);

// A failed initialisation (nothing listening) releases everything it took, too.
TEST(FailedInitCycles, NoGrowthOfDescriptors) {
  std::string resource;
  {
    const zr48::sim::Server sim;  // a port that was just free again
    resource = sim.resource();
  }
  ViSession vi = VI_NULL;
  (void)ZR48_InitWithOptions(resource.data(), VI_FALSE, VI_FALSE, "", &vi);  // warm-up
  const std::size_t descriptors_before = SettledDescriptors();
  for (int i = 0; i < 1000; ++i) {
    EXPECT_LT(ZR48_InitWithOptions(resource.data(), VI_FALSE, VI_FALSE, "", &vi), VI_SUCCESS);
    EXPECT_EQ(vi, VI_NULL);
  }
  EXPECT_EQ(SettledDescriptors(), descriptors_before);
}

}  // namespace
}  // namespace zr48::test
