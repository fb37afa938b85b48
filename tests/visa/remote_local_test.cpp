// viGpibControlREN over VXI-11 and HiSLIP: each mode walked in turn, the request the simulated
// instrument received (byte for byte) and the remote/local state it was left in; SOCKET has no
// remote/local control.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "lan_fixture.h"

namespace zr48::visa::testing {
namespace {

using State = sim::RemoteLocalState;
constexpr State kLocal{true, false, false};  // where every connection starts
constexpr std::uint32_t kNoCall = 0;
constexpr std::uint32_t kRemote = 16;   // device_remote
constexpr std::uint32_t kToLocal = 17;  // device_local

// One step of the walk: the mode, then per transport what goes out and the state after it
// (HiSLIP sends the mode as its request code).
struct Step {
  ViUInt16 mode;
  State hislip;
  std::uint32_t vxi11_call;
  ViStatus vxi11_status;
  State vxi11;
};

// Remote enable, local lockout, remote.
constexpr Step kWalk[] = {
    {VI_GPIB_REN_ASSERT_ADDRESS, {true, false, true}, kRemote, VI_SUCCESS, {true, false, true}},
    {VI_GPIB_REN_ASSERT_LLO, {true, true, true}, kNoCall, VI_ERROR_NSUP_OPER, {true, false, true}},
    {VI_GPIB_REN_ADDRESS_GTL, {true, true, false}, kToLocal, VI_SUCCESS, {true, false, false}},
    {VI_GPIB_REN_ASSERT_ADDRESS_LLO, {true, true, true}, kRemote, VI_SUCCESS, {true, false, true}},
    {VI_GPIB_REN_DEASSERT_GTL, {false, false, false}, kToLocal, VI_SUCCESS, {true, false, false}},
    {VI_GPIB_REN_ASSERT, {true, false, false}, kNoCall, VI_SUCCESS, {true, false, false}},
    {VI_GPIB_REN_ASSERT_ADDRESS, {true, false, true}, kRemote, VI_SUCCESS, {true, false, true}},
    {VI_GPIB_REN_DEASSERT, {false, false, false}, kToLocal, VI_SUCCESS, {true, false, false}},
};

// The AsyncRemoteLocalControl header: the code, and the MessageID of the last message sent.
std::string hislip_request(ViUInt16 code, std::uint32_t last_sent) {
  return std::string("HS\x0a", 3) + static_cast<char>(code) + words({last_sent, 0, 0});
}

// A core-channel call after its xid up to the I/O time-out, which is what is left of the
// session's time-out and so not a fixed number: CALL, RPC 2, core program 1, the procedure,
// no credentials, then Device_GenericParms of link 1 with no flags and no lock time-out.
std::string vxi11_request_before_timeout(std::uint32_t procedure) {
  return words({0, 2, 0x0607AF, 1, procedure, 0, 0, 0, 0, 1, 0, 0});
}

std::string state_text(const State& s) {
  return std::string("REN ") + (s.remote_enable ? "on" : "off") + ", lockout " +
         (s.local_lockout ? "on" : "off") + ", " + (s.remote ? "remote" : "local");
}

using RemoteLocal = LanSession;

TEST_P(RemoteLocal, EachModeSendsItsRequestAndLeavesItsState) {
  const bool hislip = GetParam().resource == kHislipForm.resource;
  ASSERT_EQ(state_text(server_->remote_local()), state_text(kLocal));
  std::size_t requests = 0;
  for (const Step& step : kWalk) {
    SCOPED_TRACE("mode " + std::to_string(step.mode));
    const bool sent = hislip || step.vxi11_call != kNoCall;
    EXPECT_EQ(viGpibControlREN(vi_, step.mode), hislip ? VI_SUCCESS : step.vxi11_status);
    const auto received = server_->remote_local_requests();
    ASSERT_EQ(received.size(), requests + (sent ? 1 : 0));
    requests = received.size();
    if (sent && hislip) {
      EXPECT_EQ(received.back(), hislip_request(step.mode, 0xFFFFFEFE));
    } else if (sent) {
      const std::string& call = received.back();
      ASSERT_EQ(call.size(), 52U);
      EXPECT_EQ(call.substr(0, 48), vxi11_request_before_timeout(step.vxi11_call));
      const auto io_timeout = wire::get_u32(reinterpret_cast<const std::uint8_t*>(&call[48]));
      EXPECT_GT(io_timeout, 0U);
      EXPECT_LE(io_timeout, 1000U);
    }
    EXPECT_EQ(state_text(server_->remote_local()), state_text(hislip ? step.hislip : step.vxi11));
  }
  EXPECT_EQ(viGpibControlREN(vi_, VI_GPIB_REN_ADDRESS_GTL + 1), VI_ERROR_INV_MODE);
  EXPECT_EQ(server_->remote_local_requests().size(), requests);
}

// A message to the instrument makes it remote while remote is enabled; with HiSLIP the request
// names the last message sent and takes effect after it.
TEST_P(RemoteLocal, MessagesMakeTheInstrumentRemoteWhileEnabled) {
  const bool hislip = GetParam().resource == kHislipForm.resource;
  ViStatus status = VI_SUCCESS;
  ASSERT_EQ(write("*IDN?\n"), VI_SUCCESS);
  EXPECT_FALSE(read(status).empty());
  EXPECT_EQ(state_text(server_->remote_local()), state_text({true, false, true}));

  ASSERT_EQ(viGpibControlREN(vi_, VI_GPIB_REN_ADDRESS_GTL), VI_SUCCESS);
  EXPECT_EQ(state_text(server_->remote_local()), state_text(kLocal));
  if (hislip) {
    EXPECT_EQ(server_->remote_local_requests().back(),
              hislip_request(VI_GPIB_REN_ADDRESS_GTL, 0xFFFFFF00));
  }
  ASSERT_EQ(write("*CLS\n"), VI_SUCCESS);
  ASSERT_EQ(write("*IDN?\n"), VI_SUCCESS);
  EXPECT_FALSE(read(status).empty());
  EXPECT_EQ(state_text(server_->remote_local()), state_text({true, false, true}));

  // With remote disabled (HiSLIP) messages leave the instrument in local.
  if (hislip) {
    ASSERT_EQ(viGpibControlREN(vi_, VI_GPIB_REN_DEASSERT), VI_SUCCESS);
    ASSERT_EQ(write("*IDN?\n"), VI_SUCCESS);
    EXPECT_FALSE(read(status).empty());
    EXPECT_EQ(state_text(server_->remote_local()), state_text({false, false, false}));
  }
}

INSTANTIATE_TEST_SUITE_P(Lan, RemoteLocal, ::testing::Values(kVxi11Form, kHislipForm),
                         lan_form_name);

using NoRemoteLocal = LanSession;

TEST_P(NoRemoteLocal, SocketAnswersNotSupportedAndSendsNothing) {
  for (ViUInt16 mode = VI_GPIB_REN_DEASSERT; mode <= VI_GPIB_REN_ADDRESS_GTL; ++mode) {
    EXPECT_EQ(viGpibControlREN(vi_, mode), VI_ERROR_NSUP_OPER) << mode;
  }
  EXPECT_TRUE(server_->remote_local_requests().empty());
  EXPECT_EQ(server_->received(), "");
}

INSTANTIATE_TEST_SUITE_P(Lan, NoRemoteLocal, ::testing::Values(kSocketForm), lan_form_name);

}  // namespace
}  // namespace zr48::visa::testing
