// Handles, the session lock, error information and status texts.
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/session.h"
#include "engine/session_registry.h"
#include "engine_fixture.h"
#include "test_names.h"

namespace zr48::engine::test {
namespace {

using zr48::test::NamedBy;

TEST_F(EngineTest, HandlesAreNonZeroAndNeverReused) {
  std::vector<ViSession> seen;
  for (int i = 0; i < 50; ++i) {
    ViSession s = VI_NULL;
    ASSERT_EQ(Ivi_SpecificDriverNew("ZR48", "Simulate=1", &s), VI_SUCCESS);
    EXPECT_NE(s, VI_NULL);
    for (ViSession old : seen) EXPECT_NE(s, old);
    seen.push_back(s);
    ASSERT_EQ(Ivi_Dispose(s), VI_SUCCESS);
  }
}

// Every entry point refuses an unknown or disposed handle without touching its outputs.
TEST_F(EngineTest, UnknownAndDisposedHandlesAreRefused) {
  ViSession disposed = VI_NULL;
  ASSERT_EQ(Ivi_SpecificDriverNew("ZR48", "Simulate=1", &disposed), VI_SUCCESS);
  ASSERT_EQ(Ivi_Dispose(disposed), VI_SUCCESS);
  for (ViSession bad : {disposed, ViSession{0x12345}, ViSession{0xFFFFFFFF}, ViSession{1}}) {
    ViInt32 i = 0;
    ViReal64 d = 0;
    ViChar text[256];
    ViConstString name = nullptr;
    const ViStatus results[] = {
        Ivi_Dispose(bad),
        Ivi_LockSession(bad, VI_NULL),
        Ivi_UnlockSession(bad, VI_NULL),
        Ivi_BuildChannelTable(bad, "a", VI_FALSE, VI_NULL),
        Ivi_ApplyDefaultSetup(bad),
        Ivi_AddAttributeViInt32(bad, kInt, "INT", 0, 0, nullptr, nullptr, nullptr),
        Ivi_GetAttributeViInt32(bad, "", IVI_ATTR_CHANNEL_COUNT, 0, &i),
        Ivi_GetAttributeViReal64(bad, "ch1", kReal, 0, &d),
        Ivi_SetAttributeViInt32(bad, "", kInt, 0, 1),
        Ivi_GetAttributeViString(bad, "", IVI_ATTR_DRIVER_SETUP, 0, 256, text),
        Ivi_CheckAttributeViReal64(bad, "", kReal, 0, 1.0),
        Ivi_SetValInStringCallback(bad, kText, "x"),
        Ivi_InvalidateAllAttributes(bad),
        Ivi_SetNeedToCheckStatus(bad, VI_TRUE),
        Ivi_SetErrorInfo(bad, VI_FALSE, -1, 0, "x"),
        Ivi_GetErrorInfo(bad, nullptr, nullptr, nullptr),
        Ivi_ClearErrorInfo(bad),
        Ivi_GetSpecificDriverStatusDesc(bad, 0, text, nullptr),
        Ivi_GetNthChannelString(bad, 1, &name),
        Ivi_GetUserChannelName(bad, "ch1", &name),
        Ivi_GetNextCoercionString(bad, 256, text),
        Ivi_GetNextInterchangeCheckString(bad, 256, text),
        Ivi_ResetInterchangeCheck(bad),
        Ivi_ClearInterchangeWarnings(bad),
        Ivi_WriteInstrData(bad, "x"),
        Ivi_ReadInstrData(bad, 1, text, &i),
    };
    for (size_t k = 0; k < std::size(results); ++k) {
      EXPECT_EQ(results[k], IVI_ERROR_INVALID_SESSION_HANDLE) << "call " << k << " vi " << bad;
    }
    EXPECT_EQ(Ivi_Simulating(bad), VI_FALSE);
    EXPECT_EQ(Ivi_RangeChecking(bad), VI_FALSE);
    EXPECT_EQ(Ivi_QueryInstrStatus(bad), VI_FALSE);
    EXPECT_EQ(Ivi_NeedToCheckStatus(bad), VI_FALSE);
    EXPECT_EQ(Ivi_IOSession(bad), VI_NULL);
  }
}

// Waits until `count` threads hold or wait for the session's lock; false if they never do (a
// worker failed), after a bound that only keeps a broken run from hanging.
bool awaitLockQueue(ViSession s, unsigned count) {
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (registry::lock_queue_length(s) < count) {
    if (std::chrono::steady_clock::now() > giveUp) return false;
    std::this_thread::yield();
  }
  return true;
}

// A session disposed while other threads use it: every call either works or reports the
// invalid handle, and nothing crashes (run under AddressSanitizer in CI).
TEST_F(EngineTest, DisposeRacingWithUseIsSafe) {
  for (int round = 0; round < 20; ++round) {
    const ViSession s = open();
    ASSERT_EQ(Ivi_AddAttributeViReal64(s, kReal, "REAL", 1.0, IVI_VAL_MULTI_CHANNEL, nullptr,
                                       nullptr, nullptr, 0),
              VI_SUCCESS);
    std::atomic<bool> go{false};
    std::atomic<int> unexpected{0};
    std::vector<std::thread> users;
    users.reserve(3);
    for (int t = 0; t < 3; ++t) {
      users.emplace_back([&] {
        while (!go) std::this_thread::yield();
        for (int k = 0; k < 2000; ++k) {
          ViReal64 value = 0;
          const ViStatus st = Ivi_GetAttributeViReal64(s, "ch2", kReal, 0, &value);
          const ViStatus set = Ivi_SetAttributeViReal64(s, "ch1", kReal, 0, 2.0);
          const ViStatus lock = Ivi_LockSession(s, VI_NULL);
          if (lock == VI_SUCCESS) Ivi_UnlockSession(s, VI_NULL);
          for (ViStatus r : {st, set, lock}) {
            if (r != VI_SUCCESS && r != IVI_ERROR_INVALID_SESSION_HANDLE) ++unexpected;
          }
          if (st == IVI_ERROR_INVALID_SESSION_HANDLE) break;
        }
      });
    }
    go = true;
    std::this_thread::yield();
    EXPECT_EQ(Ivi_Dispose(s), VI_SUCCESS);
    vi = VI_NULL;
    for (auto& t : users) t.join();
    EXPECT_EQ(unexpected.load(), 0);
    EXPECT_EQ(Ivi_Dispose(s), IVI_ERROR_INVALID_SESSION_HANDLE);
  }
}

TEST_F(EngineTest, LockNestsAndHonoursCallerHasLock) {
  open();
  ViBoolean has = VI_FALSE;
  ASSERT_EQ(Ivi_LockSession(vi, &has), VI_SUCCESS);
  EXPECT_EQ(has, VI_TRUE);
  ASSERT_EQ(Ivi_LockSession(vi, &has), VI_SUCCESS);  // no-op: already held by this caller
  ASSERT_EQ(Ivi_LockSession(vi, VI_NULL), VI_SUCCESS);
  ASSERT_EQ(Ivi_UnlockSession(vi, VI_NULL), VI_SUCCESS);
  ASSERT_EQ(Ivi_UnlockSession(vi, &has), VI_SUCCESS);
  EXPECT_EQ(has, VI_FALSE);
  ASSERT_EQ(Ivi_UnlockSession(vi, &has), VI_SUCCESS);  // no-op: caller does not hold it
  // Now unlocked: a further plain unlock is an error, not undefined behaviour.
  EXPECT_EQ(Ivi_UnlockSession(vi, VI_NULL), IVI_ERROR_INVALID_PARAMETER);
}

TEST_F(EngineTest, LockExcludesOtherThreadsUntilFullyReleased) {
  open();
  ASSERT_EQ(Ivi_AddAttributeViInt32(vi, kInt, "INT", 0, 0, nullptr, nullptr, nullptr), 0);
  ASSERT_EQ(Ivi_LockSession(vi, VI_NULL), VI_SUCCESS);
  ASSERT_EQ(Ivi_LockSession(vi, VI_NULL), VI_SUCCESS);
  std::atomic<int> stage{0};
  std::thread other([&] {
    EXPECT_EQ(Ivi_UnlockSession(vi, VI_NULL), IVI_ERROR_INVALID_PARAMETER);  // not the owner
    stage = 1;
    ViBoolean has = VI_FALSE;
    EXPECT_EQ(Ivi_LockSession(vi, &has), VI_SUCCESS);  // blocks until the owner is done
    stage = 2;
    EXPECT_EQ(Ivi_SetAttributeViInt32(vi, "", kInt, 0, 2), VI_SUCCESS);
    EXPECT_EQ(Ivi_UnlockSession(vi, &has), VI_SUCCESS);
  });
  EXPECT_EQ(Ivi_SetAttributeViInt32(vi, "", kInt, 0, 1), VI_SUCCESS);
  EXPECT_EQ(Ivi_UnlockSession(vi, VI_NULL), VI_SUCCESS);
  EXPECT_TRUE(awaitLockQueue(vi, 2));  // the other thread waits: the lock is still held once
  EXPECT_EQ(stage.load(), 1);
  EXPECT_EQ(Ivi_UnlockSession(vi, VI_NULL), VI_SUCCESS);
  other.join();
  EXPECT_EQ(stage.load(), 2);
  ViInt32 value = 0;
  ASSERT_EQ(Ivi_GetAttributeViInt32(vi, "", kInt, 0, &value), VI_SUCCESS);
  EXPECT_EQ(value, 2);
}

TEST_F(EngineTest, DisposeReleasesThreadsWaitingForTheLock) {
  open();
  ASSERT_EQ(Ivi_LockSession(vi, VI_NULL), VI_SUCCESS);
  std::atomic<ViStatus> waited{1};
  std::thread other([&] { waited = Ivi_LockSession(vi, VI_NULL); });
  EXPECT_TRUE(awaitLockQueue(vi, 2));
  EXPECT_EQ(Ivi_Dispose(vi), VI_SUCCESS);
  other.join();
  EXPECT_EQ(waited.load(), IVI_ERROR_INVALID_SESSION_HANDLE);
  EXPECT_EQ(Ivi_UnlockSession(vi, VI_NULL), IVI_ERROR_INVALID_SESSION_HANDLE);
  vi = VI_NULL;
}

// Threads waiting for the lock get it in the order they asked for it.
TEST_F(EngineTest, LockServesWaitersInArrivalOrder) {
  open();
  constexpr int kWaiters = 5;
  ASSERT_EQ(Ivi_LockSession(vi, VI_NULL), VI_SUCCESS);
  std::vector<int> order;  // appended under the session lock
  std::array<std::atomic<ViStatus>, kWaiters> statuses{};
  std::vector<std::thread> waiters;
  waiters.reserve(kWaiters);
  for (int i = 0; i < kWaiters; ++i) {
    waiters.emplace_back([&, i] {
      ViStatus status = Ivi_LockSession(vi, VI_NULL);
      if (status == VI_SUCCESS) {
        order.push_back(i);
        status = Ivi_UnlockSession(vi, VI_NULL);
      }
      statuses[i] = status;
    });
    EXPECT_TRUE(awaitLockQueue(vi, i + 2));  // this thread and waiters 0..i
  }
  EXPECT_EQ(Ivi_UnlockSession(vi, VI_NULL), VI_SUCCESS);
  for (std::thread& waiter : waiters) waiter.join();
  for (const auto& status : statuses) EXPECT_EQ(status.load(), VI_SUCCESS);
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_EQ(registry::lock_queue_length(vi), 0U);
}

// Threads locking and unlocking in a tight loop cannot starve a waiter: once it has queued,
// each of them gets the lock at most once more before the waiter does.
TEST_F(EngineTest, ThreadsLockingInALoopCannotOvertakeAWaiter) {
  open();
  constexpr int kLoopers = 3;
  constexpr int kRounds = 40;
  std::array<std::atomic<int>, kLoopers> taken{};  // acquisitions per looper, counted in the lock
  std::atomic<bool> stop{false};
  std::atomic<int> failures{0};  // lock or unlock calls that failed in a worker
  std::vector<std::thread> loopers;
  loopers.reserve(kLoopers);
  for (int t = 0; t < kLoopers; ++t) {
    loopers.emplace_back([&, t] {
      while (!stop.load()) {
        if (Ivi_LockSession(vi, VI_NULL) != VI_SUCCESS) return (void)failures.fetch_add(1);
        taken[t].fetch_add(1);
        if (Ivi_UnlockSession(vi, VI_NULL) != VI_SUCCESS) return (void)failures.fetch_add(1);
      }
    });
  }
  std::array<int, kLoopers> atQueueing{};
  std::atomic<int> round{0};
  std::atomic<int> served{0};
  int worstOvertakes = 0;
  std::thread waiter([&] {
    for (int r = 1; r <= kRounds; ++r) {
      while (round.load() < r) std::this_thread::yield();
      if (Ivi_LockSession(vi, VI_NULL) != VI_SUCCESS) failures.fetch_add(1);
      for (int t = 0; t < kLoopers; ++t) {
        worstOvertakes = std::max(worstOvertakes, taken[t].load() - atQueueing[t]);
      }
      if (Ivi_UnlockSession(vi, VI_NULL) != VI_SUCCESS) failures.fetch_add(1);
      served.store(r);
    }
  });
  for (int r = 1; r <= kRounds; ++r) {
    // Hold the lock until every looper and then the waiter have queued behind this thread.
    EXPECT_EQ(Ivi_LockSession(vi, VI_NULL), VI_SUCCESS);
    const bool loopersQueued = awaitLockQueue(vi, 1 + kLoopers);
    round.store(r);
    const bool waiterQueued = awaitLockQueue(vi, 2 + kLoopers);
    for (int t = 0; t < kLoopers; ++t) atQueueing[t] = taken[t].load();
    EXPECT_EQ(Ivi_UnlockSession(vi, VI_NULL), VI_SUCCESS);
    if (!loopersQueued || !waiterQueued) {
      ADD_FAILURE() << "round " << r << ": a worker never queued";
      round.store(kRounds);
      break;
    }
    while (served.load() < r) std::this_thread::yield();
  }
  stop.store(true);
  waiter.join();
  for (std::thread& looper : loopers) looper.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_LE(worstOvertakes, 1);
}

// Dispose gives up every queued ticket; the slot's next session starts with a free lock.
TEST_F(EngineTest, DisposeDropsQueuedWaitersAndTheSlotsNextSessionStartsUnlocked) {
  const ViSession first = open();
  ASSERT_EQ(Ivi_LockSession(first, VI_NULL), VI_SUCCESS);
  std::array<std::atomic<ViStatus>, 3> waited{};
  std::vector<std::thread> waiters;
  waiters.reserve(waited.size());
  for (size_t i = 0; i < waited.size(); ++i) {
    waited[i] = 1;
    waiters.emplace_back([&, i] { waited[i] = Ivi_LockSession(first, VI_NULL); });
  }
  EXPECT_TRUE(awaitLockQueue(first, 1 + waited.size()));
  ASSERT_EQ(Ivi_Dispose(first), VI_SUCCESS);
  vi = VI_NULL;
  for (std::thread& waiter : waiters) waiter.join();
  for (const auto& status : waited) EXPECT_EQ(status.load(), IVI_ERROR_INVALID_SESSION_HANDLE);
  EXPECT_EQ(registry::lock_queue_length(first), 0U);

  // Cycle bare registry entries until the disposed session's slot comes back under a new handle.
  ViSession reused = VI_NULL;
  for (int i = 0; i < 5000 && reused == VI_NULL; ++i) {
    const ViSession s =
        registry::create([](ViSession h) { return std::make_unique<Session>(h, "ZR48"); });
    ASSERT_NE(s, VI_NULL);
    if ((s & 0xFFF) == (first & 0xFFF)) {
      reused = vi = s;
    } else {
      ASSERT_EQ(Ivi_Dispose(s), VI_SUCCESS);
    }
  }
  ASSERT_NE(reused, VI_NULL);
  ASSERT_NE(reused, first);
  EXPECT_EQ(registry::lock_queue_length(reused), 0U);
  EXPECT_EQ(Ivi_UnlockSession(reused, VI_NULL), IVI_ERROR_INVALID_PARAMETER);  // nobody holds it
  EXPECT_EQ(Ivi_LockSession(first, VI_NULL), IVI_ERROR_INVALID_SESSION_HANDLE);
  ASSERT_EQ(Ivi_LockSession(reused, VI_NULL), VI_SUCCESS);
  std::thread other([&] {
    EXPECT_EQ(Ivi_LockSession(reused, VI_NULL), VI_SUCCESS);
    EXPECT_EQ(Ivi_UnlockSession(reused, VI_NULL), VI_SUCCESS);
  });
  EXPECT_TRUE(awaitLockQueue(reused, 2));
  ASSERT_EQ(Ivi_UnlockSession(reused, VI_NULL), VI_SUCCESS);
  other.join();
  EXPECT_EQ(registry::lock_queue_length(reused), 0U);
}

// IVI-3.9 rules for replacing recorded information without overwrite.
struct ErrorRule {
  ViStatus first;
  ViStatus second;
  ViBoolean overwrite;
  ViStatus kept;
};

class ErrorRules : public EngineTest, public ::testing::WithParamInterface<ErrorRule> {};

TEST_P(ErrorRules, NewInformationReplacesOnlyWhatItShould) {
  const ErrorRule& r = GetParam();
  for (ViSession target : {ViSession{VI_NULL}, open()}) {
    ASSERT_EQ(Ivi_SetErrorInfo(target, VI_FALSE, r.first, 0, "first"), VI_SUCCESS);
    ASSERT_EQ(Ivi_SetErrorInfo(target, r.overwrite, r.second, 0, "second"), VI_SUCCESS);
    EXPECT_EQ(takeError(target).primary, r.kept);
    EXPECT_EQ(takeError(target).primary, VI_SUCCESS);  // taking clears
  }
}

constexpr ViStatus kErr1 = IVI_ERROR_INVALID_VALUE;
constexpr ViStatus kErr2 = IVI_ERROR_INVALID_ATTRIBUTE;
constexpr ViStatus kWarn = 0x3FFA0065;

INSTANTIATE_TEST_SUITE_P(Engine, ErrorRules,
                         ::testing::Values(ErrorRule{0, kErr1, VI_FALSE, kErr1},
                                           ErrorRule{kErr1, kErr2, VI_FALSE, kErr1},
                                           ErrorRule{kWarn, kErr1, VI_FALSE, kErr1},
                                           ErrorRule{kErr1, kWarn, VI_FALSE, kErr1},
                                           ErrorRule{0, kWarn, VI_FALSE, kWarn},
                                           ErrorRule{kWarn, kWarn + 1, VI_FALSE, kWarn},
                                           ErrorRule{kErr1, 0, VI_FALSE, kErr1},
                                           ErrorRule{kErr1, kErr2, VI_TRUE, kErr2},
                                           ErrorRule{kErr1, 0, VI_TRUE, 0}),
                         NamedBy([](const ErrorRule& c) {
                           return std::to_string(c.first) + " then " + std::to_string(c.second);
                         }));

TEST_F(EngineTest, ErrorInformationIsPerSessionAndPerThread) {
  open();
  ASSERT_EQ(Ivi_SetErrorInfo(vi, VI_FALSE, kErr1, VI_ERROR_PARAMETER2, "on the session"), 0);
  ASSERT_EQ(Ivi_SetErrorInfo(VI_NULL, VI_FALSE, kErr2, 0, "on the thread"), 0);
  std::thread([&] {
    EXPECT_EQ(takeError(VI_NULL).primary, VI_SUCCESS);  // another thread has its own
  }).join();
  // The error attributes read without clearing, for a session and for VI_NULL.
  for (int i = 0; i < 2; ++i) {
    ViInt32 primary = 0;
    ViInt32 secondary = 0;
    ViChar text[256];
    ASSERT_EQ(Ivi_GetAttributeViInt32(vi, "", IVI_ATTR_PRIMARY_ERROR, 0, &primary), 0);
    ASSERT_EQ(Ivi_GetAttributeViInt32(vi, "", IVI_ATTR_SECONDARY_ERROR, 0, &secondary), 0);
    ASSERT_EQ(Ivi_GetAttributeViString(vi, "", IVI_ATTR_ERROR_ELABORATION, 0, 256, text), 0);
    EXPECT_EQ(primary, kErr1);
    EXPECT_EQ(secondary, VI_ERROR_PARAMETER2);
    EXPECT_STREQ(text, "on the session");
    ASSERT_EQ(Ivi_GetAttributeViInt32(VI_NULL, "", IVI_ATTR_PRIMARY_ERROR, 0, &primary), 0);
    EXPECT_EQ(Ivi_GetAttributeViString(VI_NULL, "", IVI_ATTR_ERROR_ELABORATION, 0, 0, nullptr), 14);
    EXPECT_EQ(primary, kErr2);
  }
  const ThreadError e = takeError(vi);
  EXPECT_EQ(e.primary, kErr1);
  EXPECT_EQ(e.elaboration, "on the session");
  EXPECT_EQ(takeError(VI_NULL).elaboration, "on the thread");
  ASSERT_EQ(Ivi_SetErrorInfo(vi, VI_FALSE, kErr1, 0, "x"), 0);
  ASSERT_EQ(Ivi_ClearErrorInfo(vi), VI_SUCCESS);
  EXPECT_EQ(takeError(vi).primary, VI_SUCCESS);
  EXPECT_EQ(Ivi_GetErrorInfo(vi, nullptr, nullptr, nullptr), VI_SUCCESS);
}

TEST_F(EngineTest, DisposePassesErrorInformationToTheThread) {
  ViSession s = VI_NULL;
  ASSERT_EQ(Ivi_SpecificDriverNew("ZR48", "Simulate=1", &s), VI_SUCCESS);
  ASSERT_EQ(Ivi_SetErrorInfo(s, VI_FALSE, kErr1, 0, "why the open failed"), VI_SUCCESS);
  ASSERT_EQ(Ivi_Dispose(s), VI_SUCCESS);
  const ThreadError e = takeError(VI_NULL);
  EXPECT_EQ(e.primary, kErr1);
  EXPECT_EQ(e.elaboration, "why the open failed");
  // A thread that already has information keeps it.
  ASSERT_EQ(Ivi_SpecificDriverNew("ZR48", "Simulate=1", &s), VI_SUCCESS);
  ASSERT_EQ(Ivi_SetErrorInfo(s, VI_FALSE, kErr1, 0, "session"), VI_SUCCESS);
  ASSERT_EQ(Ivi_SetErrorInfo(VI_NULL, VI_FALSE, kErr2, 0, "thread"), VI_SUCCESS);
  ASSERT_EQ(Ivi_Dispose(s), VI_SUCCESS);
  EXPECT_EQ(takeError(VI_NULL).primary, kErr2);
}

TEST(EngineErrors, ParamPositionError) {
  const std::pair<ViInt32, ViStatus> rows[] = {
      {1, VI_ERROR_PARAMETER1},         {4, VI_ERROR_PARAMETER4},
      {8, VI_ERROR_PARAMETER8},         {0, IVI_ERROR_INVALID_PARAMETER},
      {9, IVI_ERROR_INVALID_PARAMETER}, {-3, IVI_ERROR_INVALID_PARAMETER}};
  for (const auto& [position, expected] : rows) {
    EXPECT_EQ(Ivi_ParamPositionError(position), expected) << position;
  }
}

IviStringValueTableEntry driverTable[] = {
    {static_cast<ViInt32>(0xBFFA1001),
     const_cast<ViString>("The trigger source is not software trigger.")},
    {static_cast<ViInt32>(IVI_ERROR_INVALID_VALUE), const_cast<ViString>("Driver's own text.")},
    {0, VI_NULL}};

struct TextCase {
  bool withSession;
  ViStatus code;
  ViStatus expectedStatus;
  const char* expectedText;
};

class StatusTexts : public EngineTest, public ::testing::WithParamInterface<TextCase> {};

TEST_P(StatusTexts, DriverTableThenEngineThenVisaThenUnknown) {
  const TextCase& c = GetParam();
  const ViSession target = c.withSession ? open() : VI_NULL;
  ViChar text[256];
  std::memset(text, 'x', sizeof text);
  EXPECT_EQ(Ivi_GetSpecificDriverStatusDesc(target, c.code, text, driverTable), c.expectedStatus);
  EXPECT_STREQ(text, c.expectedText);
}

INSTANTIATE_TEST_SUITE_P(
    Engine, StatusTexts,
    ::testing::Values(
        TextCase{true, static_cast<ViStatus>(0xBFFA1001), VI_SUCCESS,
                 "The trigger source is not software trigger."},
        TextCase{true, IVI_ERROR_INVALID_VALUE, VI_SUCCESS, "Driver's own text."},
        TextCase{true, IVI_ERROR_UNKNOWN_CHANNEL_NAME, VI_SUCCESS, "ZR48: Unknown channel name."},
        TextCase{false, IVI_ERROR_UNKNOWN_CHANNEL_NAME, VI_SUCCESS, "Unknown channel name."},
        TextCase{true, IVI_ERROR_INVALID_SESSION_HANDLE, VI_SUCCESS,
                 "The session handle is not valid."},
        TextCase{false, VI_ERROR_PARAMETER3, VI_SUCCESS, "Parameter 3 out of range."},
        TextCase{false, VI_SUCCESS, VI_SUCCESS, "Operation completed successfully."},
        TextCase{false, static_cast<ViStatus>(0xBFFF0015), VI_SUCCESS,
                 "Timeout expired before operation completed."},
        TextCase{true, 0x12345678, 0x3FFF0085, "Unknown status code 0x12345678"},
        TextCase{false, static_cast<ViStatus>(0xBFFA7777), 0x3FFF0085,
                 "Unknown status code 0xBFFA7777"}),
    NamedBy([](const TextCase& c) { return std::to_string(c.code); }));

TEST(EngineErrors, StatusTextNeedsABuffer) {
  EXPECT_EQ(Ivi_GetSpecificDriverStatusDesc(VI_NULL, 0, nullptr, nullptr),
            IVI_ERROR_INVALID_PARAMETER);
}

}  // namespace
}  // namespace zr48::engine::test
