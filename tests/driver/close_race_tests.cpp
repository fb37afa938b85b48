// Calls queued on the session lock behind ZR48_close: the session is marked closed before close
// lets go of the lock, so they are refused as calls on a closed session, not run without I/O.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <thread>
#include <vector>

#include "engine/session_registry.h"
#include "sim_session.h"

namespace zr48::test {
namespace {

using CloseRaceTest = SimSessionTest;

void WaitForQueue(ViSession vi, unsigned length) {
  while (engine::registry::lock_queue_length(vi) < length) std::this_thread::yield();
}

// Threads calling in a tight loop while another closes: each stops at its first failure, and that
// failure is always the closed session's.
TEST_F(CloseRaceTest, CallersInATightLoopSeeOnlyTheClosedSession) {
  for (int round = 0; round < 20; ++round) {
    const ViSession vi = OpenReal();
    vi_ = VI_NULL;
    std::array<ViStatus, 4> first_failure{};
    std::vector<std::thread> callers;
    std::atomic<int> started{0};
    for (std::size_t i = 0; i < first_failure.size(); ++i) {
      callers.emplace_back([&, i] {
        started.fetch_add(1);
        ViStatus status = VI_SUCCESS;
        while (status == VI_SUCCESS) status = ZR48_SetVoltage(vi, "1", "ch1");
        first_failure[i] = status;
      });
    }
    while (started.load() < static_cast<int>(callers.size())) std::this_thread::yield();
    WaitForQueue(vi, 3);
    EXPECT_EQ(ZR48_close(vi), VI_SUCCESS);
    for (std::thread& caller : callers) caller.join();
    for (const ViStatus status : first_failure) {
      EXPECT_EQ(status, IVI_ERROR_INVALID_SESSION_HANDLE) << "round " << round;
    }
  }
}

}  // namespace
}  // namespace zr48::test
