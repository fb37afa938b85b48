// The VXI-11 service over loopback: RPC refusals, link errors, read reasons, locks between
// links, the abort channel, the stale-xid hook, and the portmapper over TCP and UDP.

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>

#include "protocol_clients.h"
#include "visa/wire/portmap.h"
#include "zr48sim/server.h"

namespace zr48::sim {
namespace {

namespace rpc = wire::rpc;
namespace vx = wire::vxi11;
using testing::RpcClient;
using testing::Vxi11Link;

ServerOptions vxi11_only(std::string address = "127.0.0.1", bool portmapper = false) {
  ServerOptions options;
  options.bind_address = std::move(address);
  options.socket = false;
  options.vxi11 = true;
  options.portmapper = portmapper;
  options.vxi11_max_recv_size = 1024;
  return options;
}

// A call whose header or arguments are wrong, and the reply header it must get.
struct RefusalRow {
  const char* name;
  std::uint32_t program;
  std::uint32_t version;
  std::uint32_t procedure;
  std::uint32_t rpc_version;
  std::size_t argument_words;  // zero words for an argument create_link needs four of
  rpc::ReplyStat reply;
  rpc::AcceptStat accept;
};

TEST(Vxi11ServerTest, RefusesCallsItCannotServe) {
  Server server(vxi11_only());
  const RefusalRow rows[] = {
      {"WrongProgram", 0x0607B5, 1, vx::kCreateLink, 2, 4, rpc::ReplyStat::kAccepted,
       rpc::AcceptStat::kProgUnavail},
      {"WrongVersion", vx::kCoreProgram, 3, vx::kCreateLink, 2, 4, rpc::ReplyStat::kAccepted,
       rpc::AcceptStat::kProgMismatch},
      {"UnknownProcedure", vx::kCoreProgram, 1, 99, 2, 4, rpc::ReplyStat::kAccepted,
       rpc::AcceptStat::kProcUnavail},
      {"ShortArguments", vx::kCoreProgram, 1, vx::kCreateLink, 2, 2, rpc::ReplyStat::kAccepted,
       rpc::AcceptStat::kGarbageArgs},
      {"RpcVersion3", vx::kCoreProgram, 1, vx::kCreateLink, 3, 4, rpc::ReplyStat::kDenied,
       rpc::AcceptStat::kSuccess},
  };
  RpcClient client(server.vxi11_core_port());
  for (const RefusalRow& row : rows) {
    SCOPED_TRACE(row.name);
    testing::Record call;
    rpc::begin_record(call);
    wire::XdrWriter out(call);
    out.u32(77);  // xid
    for (std::uint32_t word :
         {0U, row.rpc_version, row.program, row.version, row.procedure, 0U, 0U, 0U, 0U}) {
      out.u32(word);
    }
    for (std::size_t i = 0; i < row.argument_words; ++i) out.u32(0);
    rpc::finish_record(call);
    ASSERT_TRUE(client.tcp().send({reinterpret_cast<const char*>(call.data()), call.size()}));
    const auto reply = client.read_record();
    ASSERT_TRUE(reply);
    wire::XdrReader in(*reply);
    rpc::ReplyHeader header;
    ASSERT_TRUE(rpc::decode_reply_header(in, header));
    EXPECT_EQ(header.xid, 77U);
    EXPECT_EQ(header.reply, row.reply);
    if (row.reply == rpc::ReplyStat::kAccepted) {
      EXPECT_EQ(header.accept, row.accept);
    }
  }
}

struct LinkErrorRow {
  const char* name;
  std::function<std::int32_t(Vxi11Link&)> call;
  std::int32_t error;
};

TEST(Vxi11ServerTest, LinkCallsAnswerTheirErrorCodes) {
  Server server(vxi11_only());
  const LinkErrorRow rows[] = {
      {"UnknownDevice",
       [&](Vxi11Link&) {
         return Vxi11Link(server.vxi11_core_port(), "127.0.0.1", "gpib0,3").create_error();
       },
       vx::kDeviceNotAccessible},
      {"UnknownLink",
       [](Vxi11Link& link) {
         vx::DeviceError e;
         return link.simple(vx::kDestroyLink, vx::DeviceLink{4242}, e);
       },
       vx::kInvalidLinkId},
      {"WriteOverMaxRecvSize", [](Vxi11Link& link) { return link.write(std::string(1025, 'x')); },
       vx::kParameterError},
      {"UnlockWithoutLock", [](Vxi11Link& link) { return link.unlock(); }, vx::kNoLockHeld},
      {"LockTwice",
       [](Vxi11Link& link) {
         const auto first = link.lock(0, 0);
         const auto second = link.lock(0, 0);
         link.unlock();  // not left to the server noticing the connection close
         return first == vx::kNoError ? second : -2;
       },
       vx::kDeviceLocked},
      {"Trigger", [](Vxi11Link& link) { return link.generic(vx::kDeviceTrigger); }, vx::kNoError},
      {"Clear", [](Vxi11Link& link) { return link.generic(vx::kDeviceClear); }, vx::kNoError},
  };
  for (const LinkErrorRow& row : rows) {
    SCOPED_TRACE(row.name);
    Vxi11Link link(server.vxi11_core_port());
    ASSERT_EQ(link.create_error(), vx::kNoError);
    EXPECT_EQ(link.created().max_recv_size, 1024U);
    EXPECT_EQ(link.created().abort_port, server.vxi11_abort_port());
    EXPECT_EQ(row.call(link), row.error);
  }
}

TEST(Vxi11ServerTest, ReadsEndAtCountTermCharOrEnd) {
  Server server(vxi11_only());
  Vxi11Link link(server.vxi11_core_port());
  ASSERT_EQ(link.write("*IDN?\n"), vx::kNoError);
  struct Step {
    std::uint32_t request_size;
    std::int32_t flags;
    const char* data;
    std::int32_t reason;
  };
  const Step steps[] = {
      {4, 0, "Velh", vx::kReasonRequestCount},
      {100, vx::kFlagTermCharSet, "arn,", vx::kReasonTermChar},
      {100, 0, " HLV3907, 0123456789AF, 1.00-1.00\n", vx::kReasonEnd},
  };
  for (const Step& step : steps) {
    std::string data;
    std::int32_t reason = 0;
    EXPECT_EQ(link.read(data, reason, 1000, step.request_size, step.flags, ','), vx::kNoError);
    EXPECT_EQ(data, step.data);
    EXPECT_EQ(reason, step.reason);
  }
  std::string data;
  std::int32_t reason = 0;
  EXPECT_EQ(link.read(data, reason, 20), vx::kIoTimeout);  // nothing left to read
  EXPECT_EQ(server.execute("SYST:ERR?"), "-420,\"Query UNTERMINATED\"\n");
}

TEST(Vxi11ServerTest, StatusByteShowsAQueuedReply) {
  Server server(vxi11_only());
  Vxi11Link link(server.vxi11_core_port());
  vx::DeviceReadStbResp stb;
  ASSERT_EQ(link.write("*IDN?\n"), vx::kNoError);
  EXPECT_EQ(
      link.simple(vx::kDeviceReadStb, vx::DeviceGenericParms{link.created().lid, 0, 0, 100}, stb),
      0);
  EXPECT_EQ(stb.stb & 0x10, 0x10);
  ASSERT_EQ(link.generic(vx::kDeviceClear), vx::kNoError);  // drops it
  EXPECT_EQ(
      link.simple(vx::kDeviceReadStb, vx::DeviceGenericParms{link.created().lid, 0, 0, 100}, stb),
      0);
  EXPECT_EQ(stb.stb & 0x10, 0);
}

TEST(Vxi11ServerTest, ALinksLockHoldsOtherLinksOffUntilReleasedOrClosed) {
  Server server(vxi11_only());
  Vxi11Link other(server.vxi11_core_port());
  {
    Vxi11Link holder(server.vxi11_core_port());
    ASSERT_EQ(holder.lock(0, 0), vx::kNoError);
    EXPECT_EQ(other.write("VOLT 1\n"), vx::kDeviceLocked);
    EXPECT_EQ(other.write("VOLT 1\n", vx::kFlagEnd | vx::kFlagWaitLock, 30), vx::kDeviceLocked);
    EXPECT_EQ(other.lock(vx::kFlagWaitLock, 30), vx::kDeviceLocked);
    EXPECT_EQ(holder.write("VOLT 2\n"), vx::kNoError);
    ASSERT_EQ(holder.unlock(), vx::kNoError);
    EXPECT_EQ(other.write("VOLT 3\n"), vx::kNoError);
    ASSERT_EQ(holder.lock(0, 0), vx::kNoError);
  }  // the holder's connection closes: its lock goes with it
  EXPECT_EQ(other.lock(vx::kFlagWaitLock, 3000), vx::kNoError);
  EXPECT_EQ(server.received(), "VOLT 2\nVOLT 3\n");
}

TEST(Vxi11ServerTest, AbortChannelEndsAReadThatIgnoresItsTimeout) {
  Server server(vxi11_only());
  server.vxi11_hang_until_abort(true);
  Vxi11Link link(server.vxi11_core_port());
  // The read goes out without waiting for its reply; the abort comes on the other channel.
  testing::Record call;
  rpc::build_call(call, {900, vx::kCoreProgram, vx::kVersion, vx::kDeviceRead},
                  vx::DeviceReadParms{link.created().lid, 100, 10, 0, 0, 0});
  ASSERT_TRUE(link.rpc().tcp().send({reinterpret_cast<const char*>(call.data()), call.size()}));
  EXPECT_FALSE(link.rpc().read_record(testing::TestClient::kQuietMs));  // io_timeout 10 ignored
  RpcClient abort(server.vxi11_abort_port());
  vx::DeviceError aborted;
  const auto abort_reply = abort.call(vx::kAbortProgram, vx::kVersion, vx::kDeviceAbort,
                                      vx::DeviceLink{link.created().lid});
  ASSERT_TRUE(abort_reply && testing::decode_result(*abort_reply, aborted));
  EXPECT_EQ(aborted.error, vx::kNoError);
  vx::DeviceReadResp read;
  const auto read_reply = link.rpc().read_record();
  ASSERT_TRUE(read_reply && testing::decode_result(*read_reply, read));
  EXPECT_EQ(read.error, vx::kAbort);
  server.vxi11_hang_until_abort(false);
  ASSERT_EQ(link.write("*OPC?\n"), vx::kNoError);  // the link goes on
  std::string data;
  std::int32_t reason = 0;
  EXPECT_EQ(link.read(data, reason), vx::kNoError);
  EXPECT_EQ(data, "1\n");
}

TEST(Vxi11ServerTest, WireHooksSendAStaleXidAndRawRecords) {
  Server server(vxi11_only());
  Vxi11Link link(server.vxi11_core_port());
  server.vxi11_send_stale_xid();
  const std::string text = "VOLT 1\n";
  const wire::Bytes bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  const auto stale = link.rpc().call(vx::kCoreProgram, vx::kVersion, vx::kDeviceWrite,
                                     vx::DeviceWriteParms{link.created().lid, 1000, 0, 8, bytes});
  wire::rpc::ReplyHeader header;
  vx::CreateLinkResp previous;  // a late copy of the create_link reply
  ASSERT_TRUE(stale && testing::decode_result(*stale, previous, &header));
  EXPECT_EQ(header.xid, link.rpc().last_xid() - 1);
  vx::DeviceWriteResp written;
  const auto actual = link.rpc().read_record();  // the write's own reply follows
  ASSERT_TRUE(actual && testing::decode_result(*actual, written, &header));
  EXPECT_EQ(header.xid, link.rpc().last_xid());
  EXPECT_EQ(written.size, text.size());

  const std::string raw("\x80\x00\x00\x04garb", 8);
  server.push_wire_reply(raw);
  ASSERT_EQ(link.write("*IDN?\n"), vx::kNoError);
  testing::Record read_call;
  rpc::build_call(read_call, {901, vx::kCoreProgram, vx::kVersion, vx::kDeviceRead},
                  vx::DeviceReadParms{link.created().lid, 100, 1000, 0, 0, 0});
  ASSERT_TRUE(
      link.rpc().tcp().send({reinterpret_cast<const char*>(read_call.data()), read_call.size()}));
  EXPECT_EQ(link.rpc().tcp().read_exact(raw.size()), raw);
}

TEST(Vxi11ServerTest, HugeFragmentLengthClosesTheConnection) {
  Server server(vxi11_only());
  RpcClient client(server.vxi11_core_port());
  ASSERT_TRUE(client.tcp().send(std::string("\xff\xff\xff\xf0", 4)));
  EXPECT_EQ(client.tcp().read_until_closed(), "");
}

TEST(Vxi11ServerTest, PortmapperAnswersGetportOverTcpAndUdp) {
  Server server(vxi11_only("127.0.13.1", true));
  if (server.portmapper_port() == 0) {
    GTEST_SKIP() << "port 111 cannot be bound here: " << server.portmapper_error();
  }
  EXPECT_EQ(server.portmapper_port(), 111);
  namespace pm = wire::portmap;
  RpcClient tcp(111, "127.0.13.1");
  const struct {
    std::uint32_t program;
    std::uint32_t protocol;
    std::uint32_t port;
  } rows[] = {{vx::kCoreProgram, pm::kIpProtoTcp, server.vxi11_core_port()},
              {vx::kCoreProgram, pm::kIpProtoUdp, 0},
              {100003, pm::kIpProtoTcp, 0}};
  for (const auto& row : rows) {
    pm::PortResult result;
    const auto reply = tcp.call(pm::kProgram, pm::kVersion, pm::kGetPort,
                                pm::Mapping{row.program, 1, row.protocol, 0});
    ASSERT_TRUE(reply && testing::decode_result(*reply, result));
    EXPECT_EQ(result.port, row.port);
  }

  // UDP: the same call as one datagram, without a record mark.
  testing::Record call;
  rpc::build_call(call, {5, pm::kProgram, pm::kVersion, pm::kGetPort},
                  pm::Mapping{vx::kCoreProgram, 1, pm::kIpProtoTcp, 0});
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(fd, 0);
  timeval wait{3, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(111);
  to.sin_addr.s_addr = htonl(0x7F000D01);
  ::sendto(fd, call.data() + rpc::kRecordMarkSize, call.size() - rpc::kRecordMarkSize, 0,
           reinterpret_cast<sockaddr*>(&to), sizeof to);
  std::array<std::uint8_t, 512> reply{};
  const ssize_t n = ::recv(fd, reply.data(), reply.size(), 0);
  ::close(fd);
  ASSERT_GT(n, 0);
  pm::PortResult result;
  ASSERT_TRUE(testing::decode_result(testing::Record(reply.begin(), reply.begin() + n), result));
  EXPECT_EQ(result.port, server.vxi11_core_port());
}

}  // namespace
}  // namespace zr48::sim
