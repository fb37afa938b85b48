// VISA locks between two sessions of one simulated instrument, over each LAN transport: the
// process keeps every lock; the device gets the exclusive lock (VXI-11, HiSLIP) and the shared
// one with its key (HiSLIP), each request asserted as the simulator received it.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "lan_fixture.h"
#include "visa/resource_lock.h"
#include "visa/resource_name.h"

namespace zr48::visa::testing {
namespace {

// VXI-11: the core-channel call after its xid (CALL, RPC 2, core program 1, the procedure, no
// credentials) and its arguments.
std::string vxi11_lock(std::uint32_t link, std::uint32_t timeout_ms) {
  return words({0, 2, 0x0607AF, 1, 18, 0, 0, 0, 0, link, timeout_ms > 0 ? 1U : 0U, timeout_ms});
}
std::string vxi11_unlock(std::uint32_t link) {
  return words({0, 2, 0x0607AF, 1, 19, 0, 0, 0, 0, link});
}

// HiSLIP AsyncLock: a request carries the time-out and the key (none: exclusive); a release the
// MessageID of the last message sent (none yet: 0xFFFFFEFE).
std::string hislip_lock(std::uint32_t timeout_ms, const std::string& key = "") {
  return std::string("HS\x04\x01", 4) +
         words({timeout_ms, 0, static_cast<std::uint32_t>(key.size())}) + key;
}
std::string hislip_release(std::uint32_t last_sent = 0xFFFFFEFE) {
  return std::string("HS\x04\x00", 4) + words({last_sent, 0, 0});
}

class Locks : public LanSession {
 protected:
  void SetUp() override {
    LanSession::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    ASSERT_EQ(viOpen(rm_, resource_.c_str(), VI_NO_LOCK, 2000, &other_), VI_SUCCESS);
    ASSERT_EQ(viSetAttribute(other_, VI_ATTR_TMO_VALUE, 1000), VI_SUCCESS);
  }

  bool hislip() const { return GetParam().resource == kHislipForm.resource; }
  bool vxi11() const { return GetParam().resource == kVxi11Form.resource; }

  ViStatus write_on(ViSession vi, std::string_view text) {
    ViUInt32 count = 0;
    return viWrite(vi, reinterpret_cast<ViConstBuf>(text.data()),
                   static_cast<ViUInt32>(text.size()), &count);
  }

  ViAttrState lock_state(ViSession vi) {
    ViAccessMode state = 0xFFFF;
    EXPECT_EQ(viGetAttribute(vi, VI_ATTR_RSRC_LOCK_STATE, &state), VI_SUCCESS);
    return state;
  }

  std::shared_ptr<ResourceLock> resource_lock() {
    ResourceName name;
    EXPECT_EQ(parse_resource_name(resource_, name), VI_SUCCESS);
    return ResourceLock::of(name);
  }

  ViSession other_ = VI_NULL;
};

// Each operation a session lacking access is refused, and whether it reaches that far on this
// form (a socket's clear, status byte and trigger are strings, served too).
struct Operation {
  const char* name;
  std::function<ViStatus(ViSession)> call;
};

const std::vector<Operation>& locked_operations() {
  static const std::vector<Operation> rows = {
      {"viWrite",
       [](ViSession vi) {
         ViUInt32 n = 0;
         return viWrite(vi, reinterpret_cast<ViConstBuf>("*IDN?\n"), 6, &n);
       }},
      {"viRead",
       [](ViSession vi) {
         ViByte buffer[16];
         ViUInt32 n = 0;
         return viRead(vi, buffer, sizeof buffer, &n);
       }},
      {"viPrintf", [](ViSession vi) { return viPrintf(vi, "*IDN?\n"); }},
      {"viScanf",
       [](ViSession vi) {
         int value = 0;
         return viScanf(vi, "%d", &value);
       }},
      {"viFlush", [](ViSession vi) { return viFlush(vi, VI_WRITE_BUF); }},
      {"viSetBuf", [](ViSession vi) { return viSetBuf(vi, VI_READ_BUF, 100); }},
      {"viClear", [](ViSession vi) { return viClear(vi); }},
      {"viReadSTB",
       [](ViSession vi) {
         ViUInt16 stb = 0;
         return viReadSTB(vi, &stb);
       }},
      {"viAssertTrigger", [](ViSession vi) { return viAssertTrigger(vi, VI_TRIG_PROT_DEFAULT); }},
      {"viWriteAsync",
       [](ViSession vi) {
         static ViByte bytes[] = {'*', 'C', 'L', 'S', '\n'};
         ViJobId job = 0;
         return viWriteAsync(vi, bytes, sizeof bytes, &job);
       }},
  };
  return rows;
}

TEST_P(Locks, ExclusiveLockKeepsOtherSessionsOutButLetsThemReadAttributes) {
  ASSERT_EQ(viLock(vi_, VI_EXCLUSIVE_LOCK, 1000, nullptr, nullptr), VI_SUCCESS);
  for (const Operation& op : locked_operations()) {
    EXPECT_EQ(op.call(other_), VI_ERROR_RSRC_LOCKED) << op.name;
  }
  // Attributes read as always; the local ones may still be set.
  ViUInt32 timeout = 0;
  EXPECT_EQ(viGetAttribute(other_, VI_ATTR_TMO_VALUE, &timeout), VI_SUCCESS);
  EXPECT_EQ(timeout, 1000U);
  EXPECT_EQ(viSetAttribute(other_, VI_ATTR_TMO_VALUE, 1500), VI_SUCCESS);
  EXPECT_EQ(lock_state(other_), static_cast<ViAttrState>(VI_EXCLUSIVE_LOCK));
  EXPECT_EQ(lock_state(vi_), static_cast<ViAttrState>(VI_EXCLUSIVE_LOCK));
  EXPECT_EQ(viLock(other_, VI_EXCLUSIVE_LOCK, 0, nullptr, nullptr), VI_ERROR_TMO);
  EXPECT_EQ(viUnlock(other_), VI_ERROR_SESN_NLOCKED);

  // The holder goes on; nothing of the other session reached the instrument.
  EXPECT_EQ(write_on(vi_, "*CLS\n"), VI_SUCCESS);
  EXPECT_EQ(server_->wait_for_received(5, std::chrono::seconds(5)), "*CLS\n");
  ASSERT_EQ(viUnlock(vi_), VI_SUCCESS);
  EXPECT_EQ(lock_state(other_), static_cast<ViAttrState>(VI_NO_LOCK));
  EXPECT_EQ(write_on(other_, "*RST\n"), VI_SUCCESS);
  EXPECT_EQ(server_->wait_for_received(10, std::chrono::seconds(5)), "*CLS\n*RST\n");

  std::vector<std::string> expected;
  if (vxi11()) expected = {vxi11_lock(1, 1000), vxi11_unlock(1)};
  // The release names the message sent under the lock (the first: 0xFFFFFF00).
  if (hislip()) expected = {hislip_lock(1000), hislip_release(0xFFFFFF00)};
  EXPECT_EQ(server_->lock_requests(), expected);
}

TEST_P(Locks, SharedLockIsSharedByItsKeyOnly) {
  ViChar key[256] = {};
  ASSERT_EQ(viLock(vi_, VI_SHARED_LOCK, 1000, nullptr, key), VI_SUCCESS);
  const std::string shared(key);
  ASSERT_FALSE(shared.empty());
  EXPECT_EQ(lock_state(other_), static_cast<ViAttrState>(VI_SHARED_LOCK));
  EXPECT_EQ(write_on(other_, "*IDN?\n"), VI_ERROR_RSRC_LOCKED);

  // A wrong key waits for a lock that does not come.
  ViChar refused[256] = {};
  EXPECT_EQ(viLock(other_, VI_SHARED_LOCK, 0, "not-the-key", refused), VI_ERROR_TMO);
  EXPECT_EQ(viLock(other_, VI_SHARED_LOCK, 0, nullptr, refused), VI_ERROR_TMO);
  EXPECT_EQ(viLock(other_, VI_EXCLUSIVE_LOCK, 0, nullptr, nullptr), VI_ERROR_TMO);
  EXPECT_EQ(write_on(other_, "*IDN?\n"), VI_ERROR_RSRC_LOCKED);

  ViChar joined[256] = {};
  ASSERT_EQ(viLock(other_, VI_SHARED_LOCK, 1000, shared.c_str(), joined), VI_SUCCESS);
  EXPECT_EQ(std::string(joined), shared);
  EXPECT_EQ(write_on(other_, "*CLS\n"), VI_SUCCESS);
  EXPECT_EQ(server_->wait_for_received(5, std::chrono::seconds(5)), "*CLS\n");
  EXPECT_EQ(write_on(vi_, "*RST\n"), VI_SUCCESS);
  EXPECT_EQ(server_->wait_for_received(10, std::chrono::seconds(5)), "*CLS\n*RST\n");

  // Nested: the same key again, or none; another key is not this session's.
  ViChar again[256] = {};
  EXPECT_EQ(viLock(vi_, VI_SHARED_LOCK, 0, nullptr, again), VI_SUCCESS_NESTED_SHARED);
  EXPECT_EQ(std::string(again), shared);
  EXPECT_EQ(viLock(vi_, VI_SHARED_LOCK, 0, "other", again), VI_ERROR_INV_ACCESS_KEY);
  EXPECT_EQ(viUnlock(vi_), VI_SUCCESS_NESTED_SHARED);

  // The other session leaves the lock: it is kept out again.
  ASSERT_EQ(viUnlock(other_), VI_SUCCESS);
  EXPECT_EQ(write_on(other_, "*IDN?\n"), VI_ERROR_RSRC_LOCKED);
  ASSERT_EQ(viUnlock(vi_), VI_SUCCESS);
  EXPECT_EQ(lock_state(other_), static_cast<ViAttrState>(VI_NO_LOCK));
  EXPECT_EQ(write_on(other_, "*CLS\n"), VI_SUCCESS);

  std::vector<std::string> expected;  // VXI-11 has no shared lock: it stays in the process
  if (hislip()) {
    expected = {hislip_lock(1000, shared), hislip_lock(1000, shared), hislip_release(0xFFFFFF00),
                hislip_release(0xFFFFFF00)};
  }
  EXPECT_EQ(server_->lock_requests(), expected);
}

TEST_P(Locks, ASharerTakesTheExclusiveLockAndKeepsTheOtherSharersOut) {
  ViChar key[256] = {};
  ASSERT_EQ(viLock(vi_, VI_SHARED_LOCK, 1000, "bench-7", key), VI_SUCCESS);
  EXPECT_EQ(std::string(key), "bench-7");
  ASSERT_EQ(viLock(other_, VI_SHARED_LOCK, 1000, "bench-7", key), VI_SUCCESS);
  ASSERT_EQ(viLock(vi_, VI_EXCLUSIVE_LOCK, 1000, nullptr, nullptr), VI_SUCCESS);
  EXPECT_EQ(write_on(other_, "*IDN?\n"), VI_ERROR_RSRC_LOCKED);
  EXPECT_EQ(lock_state(other_), static_cast<ViAttrState>(VI_EXCLUSIVE_LOCK));
  EXPECT_EQ(write_on(vi_, "*CLS\n"), VI_SUCCESS);
  EXPECT_EQ(server_->wait_for_received(5, std::chrono::seconds(5)), "*CLS\n");
  EXPECT_EQ(viUnlock(vi_), VI_SUCCESS_NESTED_SHARED);  // the exclusive lock goes first
  EXPECT_EQ(write_on(other_, "*RST\n"), VI_SUCCESS);
  EXPECT_EQ(server_->wait_for_received(10, std::chrono::seconds(5)), "*CLS\n*RST\n");

  std::vector<std::string> expected;
  if (vxi11()) expected = {vxi11_lock(1, 1000), vxi11_unlock(1)};
  if (hislip()) {
    expected = {hislip_lock(1000, "bench-7"), hislip_lock(1000, "bench-7"), hislip_lock(1000),
                hislip_release(0xFFFFFF00)};
  }
  EXPECT_EQ(server_->lock_requests(), expected);
}

// Each call and what it answers, with the lock state after it: nesting counts per kind, and
// the exclusive lock is released first.
TEST_P(Locks, LocksNestPerKind) {
  const struct {
    const char* name;
    std::function<ViStatus()> call;
    ViStatus status;
    ViAccessMode state;
  } steps[] = {
      {"exclusive", [&] { return viLock(vi_, VI_EXCLUSIVE_LOCK, 500, nullptr, nullptr); },
       VI_SUCCESS, VI_EXCLUSIVE_LOCK},
      {"exclusive again", [&] { return viLock(vi_, VI_EXCLUSIVE_LOCK, 0, nullptr, nullptr); },
       VI_SUCCESS_NESTED_EXCLUSIVE, VI_EXCLUSIVE_LOCK},
      {"shared", [&] { return viLock(vi_, VI_SHARED_LOCK, 500, "k", nullptr); }, VI_SUCCESS,
       VI_EXCLUSIVE_LOCK},
      {"shared again", [&] { return viLock(vi_, VI_SHARED_LOCK, 0, "k", nullptr); },
       VI_SUCCESS_NESTED_SHARED, VI_EXCLUSIVE_LOCK},
      {"no lock type", [&] { return viLock(vi_, VI_NO_LOCK, 0, nullptr, nullptr); },
       VI_ERROR_INV_LOCK_TYPE, VI_EXCLUSIVE_LOCK},
      {"unlock 1", [&] { return viUnlock(vi_); }, VI_SUCCESS_NESTED_EXCLUSIVE, VI_EXCLUSIVE_LOCK},
      {"unlock 2", [&] { return viUnlock(vi_); }, VI_SUCCESS_NESTED_SHARED, VI_SHARED_LOCK},
      {"unlock 3", [&] { return viUnlock(vi_); }, VI_SUCCESS_NESTED_SHARED, VI_SHARED_LOCK},
      {"unlock 4", [&] { return viUnlock(vi_); }, VI_SUCCESS, VI_NO_LOCK},
      {"unlock 5", [&] { return viUnlock(vi_); }, VI_ERROR_SESN_NLOCKED, VI_NO_LOCK},
  };
  for (const auto& step : steps) {
    EXPECT_EQ(step.call(), step.status) << step.name;
    EXPECT_EQ(lock_state(vi_), static_cast<ViAttrState>(step.state)) << step.name;
  }
  std::vector<std::string> expected;
  if (vxi11()) expected = {vxi11_lock(1, 500), vxi11_unlock(1)};
  if (hislip()) {
    expected = {hislip_lock(500), hislip_lock(500, "k"), hislip_release(), hislip_release()};
  }
  EXPECT_EQ(server_->lock_requests(), expected);
}

TEST_P(Locks, WaitingLockIsGrantedWhenTheHolderUnlocks) {
  ASSERT_EQ(viLock(vi_, VI_EXCLUSIVE_LOCK, 1000, nullptr, nullptr), VI_SUCCESS);
  ViStatus waited = VI_ERROR_SYSTEM_ERROR;
  std::thread waiter([&] { waited = viLock(other_, VI_EXCLUSIVE_LOCK, 60000, nullptr, nullptr); });
  ASSERT_TRUE(resource_lock()->await_waiters(1, std::chrono::seconds(30)));
  EXPECT_EQ(viUnlock(vi_), VI_SUCCESS);
  waiter.join();
  EXPECT_EQ(waited, VI_SUCCESS);
  EXPECT_EQ(write_on(vi_, "*IDN?\n"), VI_ERROR_RSRC_LOCKED);
  EXPECT_EQ(write_on(other_, "*CLS\n"), VI_SUCCESS);
  EXPECT_EQ(viUnlock(other_), VI_SUCCESS);

  // The waiter's device lock went out after the holder's release, with what was left of its
  // time-out: that part of the request is not a fixed number.
  const auto requests = server_->lock_requests();
  if (vxi11()) {
    ASSERT_EQ(requests.size(), 4U);
    EXPECT_EQ(requests[0], vxi11_lock(1, 1000));
    EXPECT_EQ(requests[1], vxi11_unlock(1));
    EXPECT_EQ(requests[2].substr(0, 44), vxi11_lock(2, 1).substr(0, 44));
    EXPECT_EQ(requests[3], vxi11_unlock(2));
  } else if (hislip()) {
    ASSERT_EQ(requests.size(), 4U);
    EXPECT_EQ(requests[0], hislip_lock(1000));
    EXPECT_EQ(requests[1], hislip_release());
    EXPECT_EQ(requests[2].substr(0, 4), hislip_lock(1).substr(0, 4));
    EXPECT_EQ(requests[3], hislip_release(0xFFFFFF00));
  } else {
    EXPECT_TRUE(requests.empty());
  }
}

TEST_P(Locks, ALockNotFreedInTimeTimesOut) {
  ViChar key[256] = {};
  ASSERT_EQ(viLock(vi_, VI_SHARED_LOCK, 1000, "mine", key), VI_SUCCESS);
  for (const ViUInt32 timeout : {0U, 20U}) {
    EXPECT_EQ(viLock(other_, VI_EXCLUSIVE_LOCK, timeout, nullptr, nullptr), VI_ERROR_TMO);
    EXPECT_EQ(viLock(other_, VI_SHARED_LOCK, timeout, "yours", key), VI_ERROR_TMO);
  }
  EXPECT_EQ(lock_state(other_), static_cast<ViAttrState>(VI_SHARED_LOCK));
  EXPECT_EQ(viUnlock(other_), VI_ERROR_SESN_NLOCKED);
  // Nothing of the refused requests reached the device.
  std::vector<std::string> expected;
  if (hislip()) expected = {hislip_lock(1000, "mine")};
  EXPECT_EQ(server_->lock_requests(), expected);
}

TEST_P(Locks, CloseReleasesTheSessionsLocks) {
  ViChar key[256] = {};
  ASSERT_EQ(viLock(other_, VI_SHARED_LOCK, 1000, "k", key), VI_SUCCESS);
  ASSERT_EQ(viLock(other_, VI_EXCLUSIVE_LOCK, 1000, nullptr, nullptr), VI_SUCCESS);
  ASSERT_EQ(viLock(other_, VI_EXCLUSIVE_LOCK, 1000, nullptr, nullptr), VI_SUCCESS_NESTED_EXCLUSIVE);
  EXPECT_EQ(write_on(vi_, "*IDN?\n"), VI_ERROR_RSRC_LOCKED);
  ASSERT_EQ(viClose(other_), VI_SUCCESS);
  EXPECT_EQ(lock_state(vi_), static_cast<ViAttrState>(VI_NO_LOCK));
  EXPECT_EQ(write_on(vi_, "*CLS\n"), VI_SUCCESS);
  EXPECT_EQ(viLock(vi_, VI_EXCLUSIVE_LOCK, 0, nullptr, nullptr), VI_SUCCESS);

  // The closing session released its device locks itself before it left.
  std::vector<std::string> expected;
  if (vxi11()) expected = {vxi11_lock(2, 1000), vxi11_unlock(2), vxi11_lock(1, 0)};
  if (hislip()) {
    expected = {hislip_lock(1000, "k"), hislip_lock(1000), hislip_release(), hislip_release(),
                hislip_lock(0)};
  }
  EXPECT_EQ(server_->lock_requests(), expected);
}

TEST_P(Locks, ClosingAWaitingSessionEndsItsWait) {
  ASSERT_EQ(viLock(vi_, VI_EXCLUSIVE_LOCK, 1000, nullptr, nullptr), VI_SUCCESS);
  ViStatus waited = VI_SUCCESS;
  std::thread waiter(
      [&] { waited = viLock(other_, VI_EXCLUSIVE_LOCK, VI_TMO_INFINITE, nullptr, nullptr); });
  ASSERT_TRUE(resource_lock()->await_waiters(1, std::chrono::seconds(30)));
  EXPECT_EQ(viClose(other_), VI_SUCCESS);
  waiter.join();
  EXPECT_EQ(waited, VI_ERROR_INV_OBJECT);
  EXPECT_EQ(lock_state(vi_), static_cast<ViAttrState>(VI_EXCLUSIVE_LOCK));
  EXPECT_EQ(viUnlock(vi_), VI_SUCCESS);
}

TEST_P(Locks, OpenTakesTheLockItsAccessModeAsksFor) {
  ViSession third = VI_NULL;
  ASSERT_EQ(viClose(other_), VI_SUCCESS);
  ASSERT_EQ(viOpen(rm_, resource_.c_str(), VI_EXCLUSIVE_LOCK, 1000, &other_), VI_SUCCESS);
  EXPECT_EQ(lock_state(vi_), static_cast<ViAttrState>(VI_EXCLUSIVE_LOCK));
  EXPECT_EQ(write_on(vi_, "*IDN?\n"), VI_ERROR_RSRC_LOCKED);
  EXPECT_EQ(viOpen(rm_, resource_.c_str(), VI_SHARED_LOCK, 0, &third), VI_ERROR_RSRC_LOCKED);
  EXPECT_EQ(third, VI_NULL);
  ASSERT_EQ(viUnlock(other_), VI_SUCCESS);

  ASSERT_EQ(viOpen(rm_, resource_.c_str(), VI_SHARED_LOCK, 1000, &third), VI_SUCCESS);
  EXPECT_EQ(lock_state(vi_), static_cast<ViAttrState>(VI_SHARED_LOCK));
  EXPECT_EQ(write_on(vi_, "*IDN?\n"), VI_ERROR_RSRC_LOCKED);
  EXPECT_EQ(write_on(third, "*CLS\n"), VI_SUCCESS);
  EXPECT_EQ(viUnlock(third), VI_SUCCESS);
  EXPECT_EQ(viUnlock(third), VI_ERROR_SESN_NLOCKED);
}

INSTANTIATE_TEST_SUITE_P(Lan, Locks, ::testing::Values(kSocketForm, kVxi11Form, kHislipForm),
                         lan_form_name);

// One resource however its name is written: case, and VXI-11's default device name.
TEST(LockNames, SpellingsOfOneResourceShareItsLocks) {
  const char* spellings[][2] = {
      {"TCPIP::Bench-PSU::inst0::INSTR", "tcpip0::bench-psu::INSTR"},
      {"TCPIP::Bench-PSU::5025::SOCKET", "tcpip0::BENCH-PSU::5025::socket"},
  };
  for (const auto& pair : spellings) {
    ResourceName first;
    ResourceName second;
    ASSERT_EQ(parse_resource_name(pair[0], first), VI_SUCCESS);
    ASSERT_EQ(parse_resource_name(pair[1], second), VI_SUCCESS);
    EXPECT_EQ(ResourceLock::of(first), ResourceLock::of(second)) << pair[0];
  }
}

}  // namespace
}  // namespace zr48::visa::testing
