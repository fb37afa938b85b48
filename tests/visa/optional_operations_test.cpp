// Optional operations on a transport without them: each answers VI_ERROR_NSUP_OPER, checks its
// arguments first where VISA says so, and leaves the session usable. (A socket's clear, status
// byte and trigger go as IEEE 488.2 strings: library_operations_test.cpp.)
#include <gtest/gtest.h>

#include <functional>

#include "visa_fixture.h"

namespace zr48::visa::testing {
namespace {

using OptionalOperations = PeerSession;

TEST_F(OptionalOperations, SocketAnswersNotSupported) {
  ViChar key[256] = {};
  const struct {
    const char* name;
    std::function<ViStatus()> call;
    ViStatus expected;
  } rows[] = {
      {"viReadSTB without buffer", [&] { return viReadSTB(vi_, nullptr); }, VI_ERROR_USER_BUF},
      {"viAssertTrigger, other protocol", [&] { return viAssertTrigger(vi_, 5); },
       VI_ERROR_INV_PROT},
      // A socket locks in the process only (lock_test.cpp).
      {"viLock, no lock type", [&] { return viLock(vi_, VI_NO_LOCK, 0, nullptr, key); },
       VI_ERROR_INV_LOCK_TYPE},
      {"viGpibControlREN", [&] { return viGpibControlREN(vi_, VI_GPIB_REN_ASSERT_ADDRESS); },
       VI_ERROR_NSUP_OPER},
      {"viGpibControlREN on the manager",
       [&] { return viGpibControlREN(rm_, VI_GPIB_REN_DEASSERT); }, VI_ERROR_NSUP_OPER},
      {"viClear on the manager", [&] { return viClear(rm_); }, VI_ERROR_NSUP_OPER},
      {"viClear on a closed handle", [&] { return viClear(0x7fff0001); }, VI_ERROR_INV_OBJECT},
  };
  for (const auto& row : rows) EXPECT_EQ(row.call(), row.expected) << row.name;

  // The session still exchanges messages.
  ViUInt32 count = 0;
  ASSERT_EQ(viWrite(vi_, reinterpret_cast<ViConstBuf>("*IDN?\n"), 6, &count), VI_SUCCESS);
  EXPECT_EQ(peer_.receive(6), "*IDN?\n");
}

}  // namespace
}  // namespace zr48::visa::testing
