// Faults of VXI-11 and HiSLIP peers, one row each: what the session reports, and whether it is
// usable afterwards or reports VI_ERROR_CONN_LOST from then on. Nothing waits past its time-out.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "lan_fixture.h"
#include "scripted_rpc_peer.h"
#include "test_names.h"
#include "visa/wire/hislip.h"

namespace zr48::visa::testing {
namespace {

namespace vxi = wire::vxi11;
using wire::rpc::AcceptStat;

enum class After { kUsable, kLost };

struct RpcFault {
  const char* name;
  ScriptedRpcPeer::Script reply;  // to the first device_read
  ViStatus read_status;
  After after;
};

std::string words(std::uint32_t xid, std::vector<std::uint32_t> rest) {
  rest.insert(rest.begin(), xid);
  return ScriptedRpcPeer::record(rest);
}

const RpcFault kRpcFaults[] = {
    {"results cut short",
     [](std::uint32_t x) {
       return words(x, {1, 0, 0, 0, 0, 0});
     },
     VI_ERROR_IO, After::kUsable},
    {"opaque longer than the record",
     [](std::uint32_t x) {
       return words(x, {1, 0, 0, 0, 0, 0, 4, 100, 0x41414141});
     },
     VI_ERROR_IO, After::kUsable},
    {"program unavailable",
     [](std::uint32_t x) {
       return words(x, {1, 0, 0, 0, 1});
     },
     VI_ERROR_IO, After::kUsable},
    {"version mismatch",
     [](std::uint32_t x) {
       return words(x, {1, 0, 0, 0, 2, 2, 2});
     },
     VI_ERROR_IO, After::kUsable},
    {"RPC version mismatch",
     [](std::uint32_t x) {
       return words(x, {1, 1, 0, 2, 2});
     },
     VI_ERROR_IO, After::kUsable},
    {"a call instead of a reply",
     [](std::uint32_t x) {
       return words(x, {0, 2, 0, 1, 12});
     },
     VI_ERROR_IO, After::kUsable},
    {"wrong xid only: dropped, then time-out",
     [](std::uint32_t x) {
       return ScriptedRpcPeer::reply(x + 7, vxi::DeviceReadResp{0, vxi::kReasonEnd, {}});
     },
     VI_ERROR_TMO, After::kUsable},
    {"device error 17",
     [](std::uint32_t x) {
       return words(x, {1, 0, 0, 0, 0, 17, 0, 0});
     },
     VI_ERROR_IO, After::kUsable},
    {"fragment length 2 GiB", [](std::uint32_t) { return std::string("\xff\xff\xff\xff", 4); },
     VI_ERROR_CONN_LOST, After::kLost},
    {"garbage fragment header", [](std::uint32_t) { return std::string("GARBAGE!", 8); },
     VI_ERROR_CONN_LOST, After::kLost},
};

class Vxi11Faults : public ::testing::TestWithParam<RpcFault> {};

TEST_P(Vxi11Faults, ReadReplies) {
  const std::string address = address_for_this_test();
  ScriptedRpcPeer peer(address, vxi::kDeviceRead, GetParam().reply);
  if (!peer.listening()) GTEST_SKIP() << "port 111 cannot be bound on " << address;
  ViSession rm = VI_NULL;
  ViSession vi = VI_NULL;
  ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
  const std::string resource = "TCPIP::" + address + "::INSTR";
  ASSERT_EQ(viOpen(rm, resource.c_str(), VI_NO_LOCK, 1000, &vi), VI_SUCCESS);
  ASSERT_EQ(viSetAttribute(vi, VI_ATTR_TMO_VALUE, 300), VI_SUCCESS);
  EXPECT_EQ(write_text(vi, "*IDN?\n"), VI_SUCCESS);
  ViStatus status = VI_SUCCESS;
  (void)read_text(vi, status, 64);
  EXPECT_EQ(status, GetParam().read_status);
  const std::string next = read_text(vi, status, 64);
  const bool usable = GetParam().after == After::kUsable;
  EXPECT_EQ(status, usable ? VI_SUCCESS : VI_ERROR_CONN_LOST);
  if (usable) {
    EXPECT_EQ(next, "OK\n");
  }
  EXPECT_EQ(viClose(rm), VI_SUCCESS);
}

INSTANTIATE_TEST_SUITE_P(Lan, Vxi11Faults, ::testing::ValuesIn(kRpcFaults),
                         zr48::test::NamedBy(&RpcFault::name));

// Opening: what the portmapper and the link answer.
TEST(Vxi11Open, RefusedOrSilentServicesEndTheOpenInTime) {
  const struct {
    const char* name;
    std::uint32_t procedure;
    ScriptedRpcPeer::Script reply;
    ViStatus expected;
  } rows[] = {
      {"portmapper answers port 0", wire::portmap::kGetPort,
       [](std::uint32_t x) { return ScriptedRpcPeer::reply(x, wire::portmap::PortResult{0}); },
       VI_ERROR_RSRC_NFOUND},
      {"portmapper never answers", wire::portmap::kGetPort,
       [](std::uint32_t) { return std::string(); }, VI_ERROR_TMO},
      {"portmapper refuses the program", wire::portmap::kGetPort,
       [](std::uint32_t x) {
         return words(x, {1, 0, 0, 0, 1});
       },
       VI_ERROR_RSRC_NFOUND},
      {"no link available", vxi::kCreateLink,
       [](std::uint32_t x) {
         return ScriptedRpcPeer::reply(x, vxi::CreateLinkResp{vxi::kOutOfResources, 0, 0, 0});
       },
       VI_ERROR_RSRC_BUSY},
      {"device locked by another link", vxi::kCreateLink,
       [](std::uint32_t x) {
         return ScriptedRpcPeer::reply(x, vxi::CreateLinkResp{vxi::kDeviceLocked, 0, 0, 0});
       },
       VI_ERROR_RSRC_LOCKED},
      {"create_link never answered", vxi::kCreateLink, [](std::uint32_t) { return std::string(); },
       VI_ERROR_TMO},
  };
  ViSession rm = VI_NULL;
  ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string address = address_for_this_test();
    ScriptedRpcPeer peer(address, row.procedure, row.reply);
    if (!peer.listening()) GTEST_SKIP() << "port 111 cannot be bound on " << address;
    ViSession vi = 42;
    const std::string resource = "TCPIP::" + address + "::inst0::INSTR";
    EXPECT_EQ(viOpen(rm, resource.c_str(), VI_NO_LOCK, 300, &vi), row.expected);
    EXPECT_EQ(vi, static_cast<ViSession>(VI_NULL));
  }
  // Nobody at all on the address: refused at once.
  ViSession vi = VI_NULL;
  EXPECT_EQ(viOpen(rm, "TCPIP::127.14.255.254::INSTR", VI_NO_LOCK, 5000, &vi),
            VI_ERROR_RSRC_NFOUND);
  EXPECT_EQ(viOpen(rm, "TCPIP::127.14.255.254::hislip0::INSTR", VI_NO_LOCK, 5000, &vi),
            VI_ERROR_RSRC_NFOUND);
  EXPECT_EQ(viClose(rm), VI_SUCCESS);
}

// Faults the simulated instrument produces on the wire, over both INSTR forms.
struct WireFault {
  const char* name;
  const LanForm* form;
  std::function<void(sim::Server&)> arm;
  ViStatus read_status;
  After after;
};

std::string hislip_header(std::uint8_t type, std::uint64_t length) {
  std::uint8_t bytes[wire::hislip::kHeaderSize];
  wire::hislip::encode_header(bytes, {static_cast<wire::hislip::MessageType>(type), 0, 0, length});
  return {reinterpret_cast<const char*>(bytes), sizeof bytes};
}

const WireFault kWireFaults[] = {
    {"vxi11 stale xid before the reply", &kVxi11Form,
     [](sim::Server& s) { s.vxi11_send_stale_xid(); }, VI_SUCCESS, After::kUsable},
    {"vxi11 read ignoring its time-out, aborted", &kVxi11Form,
     [](sim::Server& s) {
       s.set_silent(true);
       s.vxi11_hang_until_abort(true);
     },
     VI_ERROR_TMO, After::kUsable},
    {"vxi11 fragment length 2 GiB", &kVxi11Form,
     [](sim::Server& s) { s.push_wire_reply(std::string("\x7f\xff\xff\xff", 4)); },
     VI_ERROR_CONN_LOST, After::kLost},
    {"vxi11 reply cut mid-record", &kVxi11Form, [](sim::Server& s) { s.close_mid_reply(10); },
     VI_ERROR_CONN_LOST, After::kLost},
    {"hislip wrong prologue", &kHislipForm,
     [](sim::Server& s) { s.push_wire_reply("XS" + hislip_header(7, 0).substr(2)); },
     VI_ERROR_CONN_LOST, After::kLost},
    {"hislip unknown message type", &kHislipForm,
     // Answered with Error, which the instrument in turn refuses.
     [](sim::Server& s) { s.push_wire_reply(hislip_header(77, 3) + "abc"); }, VI_ERROR_IO,
     After::kUsable},
    {"hislip payload over the maximum size", &kHislipForm,
     [](sim::Server& s) { s.push_wire_reply(hislip_header(7, std::uint64_t{1} << 40)); },
     VI_ERROR_CONN_LOST, After::kLost},
    {"hislip fatal error", &kHislipForm,
     [](sim::Server& s) { s.hislip_fatal_error(0, "simulated"); }, VI_ERROR_CONN_LOST,
     After::kLost},
    {"hislip query interrupted", &kHislipForm, [](sim::Server& s) { s.hislip_interrupt_next(); },
     VI_ERROR_TMO, After::kUsable},
};

class WireFaults : public ::testing::TestWithParam<WireFault> {};

TEST_P(WireFaults, OneQuery) {
  const WireFault& fault = GetParam();
  sim::Server server(sim::ServerOptions::all(address_for_this_test()));
  if (fault.form == &kVxi11Form && !server.portmapper_error().empty()) {
    GTEST_SKIP() << server.portmapper_error();
  }
  ViSession rm = VI_NULL;
  ViSession vi = VI_NULL;
  ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
  ASSERT_EQ(viOpen(rm, fault.form->resource(server).c_str(), VI_NO_LOCK, 2000, &vi), VI_SUCCESS);
  ASSERT_EQ(viSetAttribute(vi, VI_ATTR_TMO_VALUE, 300), VI_SUCCESS);
  server.set_idn("ZR48,FAULT");
  fault.arm(server);
  (void)write_text(vi, "*IDN?\n");
  ViStatus status = VI_SUCCESS;
  (void)read_text(vi, status, 64);
  EXPECT_EQ(status, fault.read_status);
  server.reset_faults();
  server.set_idn("ZR48,NEXT");
  const ViStatus written = write_text(vi, "*IDN?\n");
  if (fault.after == After::kLost) {
    EXPECT_EQ(written, VI_ERROR_CONN_LOST);
  } else {
    ASSERT_EQ(written, VI_SUCCESS);
    ASSERT_EQ(viSetAttribute(vi, VI_ATTR_TMO_VALUE, 2000), VI_SUCCESS);
    EXPECT_EQ(read_text(vi, status, 64), "ZR48,NEXT\n");
    EXPECT_EQ(status, VI_SUCCESS);
  }
  EXPECT_EQ(viClose(rm), VI_SUCCESS);
}

INSTANTIATE_TEST_SUITE_P(Lan, WireFaults, ::testing::ValuesIn(kWireFaults),
                         zr48::test::NamedBy(&WireFault::name));

}  // namespace
}  // namespace zr48::visa::testing
