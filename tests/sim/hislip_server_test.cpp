// The HiSLIP service over loopback: initialization, refused messages, locks, status byte,
// device clear, size negotiation and the HiSLIP fault hooks.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "protocol_clients.h"
#include "zr48sim/server.h"

namespace zr48::sim {
namespace {

namespace hs = wire::hislip;
using hs::MessageType;
using testing::HislipClient;
using testing::TestClient;

const std::string kIdn = "Velharn, HLV3907, 0123456789AF, 1.00-1.00\n";

ServerOptions hislip_only(bool prefer_overlapped = false) {
  ServerOptions options;
  options.socket = false;
  options.hislip = true;
  options.hislip_port = 0;
  options.hislip_prefer_overlapped = prefer_overlapped;
  return options;
}

TEST(HislipServerTest, InitializeNegotiatesVersionAndSubAddress) {
  Server server(hislip_only());
  const struct {
    std::uint16_t version;
    const char* sub_address;
    bool ready;
  } rows[] = {{hs::kVersion10, "hislip0", true},
              {0x0200, "hislip0", true},  // a 2.0 client gets 1.0
              {hs::kVersion10, "", true},
              {hs::kVersion10, "gpib0", false}};
  std::uint16_t last_session = 0;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.sub_address);
    HislipClient client(server.hislip_port(), row.version, row.sub_address);
    EXPECT_EQ(client.ready(), row.ready);
    if (!row.ready) continue;
    EXPECT_EQ(hs::upper_half(client.init_response().header.parameter), hs::kVersion10);
    EXPECT_NE(hs::lower_half(client.init_response().header.parameter), last_session);
    last_session = hs::lower_half(client.init_response().header.parameter);
    ASSERT_TRUE(client.write("*IDN?\n"));
    const auto reply = client.read(client.sync());
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->header.type, MessageType::kDataEnd);
    EXPECT_EQ(reply->header.parameter, client.last_message_id());
    EXPECT_EQ(reply->payload, kIdn);
  }
}

TEST(HislipServerTest, RefusesMalformedMessages) {
  Server server(hislip_only());
  const std::string too_large(hs::kDefaultMaxMessageSize, 'x');  // 16 bytes over
  const struct {
    const char* name;
    std::string bytes;
    MessageType type;
    std::uint8_t code;
  } rows[] = {
      {"UnknownType", std::string("HS\x32\x00\0\0\0\0\0\0\0\0\0\0\0\x01z", 17), MessageType::kError,
       hs::kErrorUnknownType},
      {"VendorType", std::string("HS\xc8\x00\0\0\0\0\0\0\0\0\0\0\0\0", 16), MessageType::kError,
       hs::kErrorUnknownVendorMessage},
      {"TooLarge", std::string("HS\x06\x00\0\0\0\0\0\0\0\0\0\x10\0\0", 16) + too_large,
       MessageType::kError, hs::kErrorMessageTooLarge},
      {"BadPrologue", std::string("XS\x06\x00\0\0\0\0\0\0\0\0\0\0\0\0", 16),
       MessageType::kFatalError, hs::kFatalBadHeader},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    HislipClient client(server.hislip_port());
    ASSERT_TRUE(client.ready());
    ASSERT_TRUE(client.sync().send(row.bytes));
    const auto answer = client.read(client.sync());
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->header.type, row.type);
    EXPECT_EQ(answer->header.control, row.code);
    if (row.type == MessageType::kError) {  // the session goes on
      ASSERT_TRUE(client.write("*OPC?\n"));
      const auto reply = client.read(client.sync());
      ASSERT_TRUE(reply);
      EXPECT_EQ(reply->payload, "1\n");
    } else {
      EXPECT_TRUE(client.sync().read_until_closed());
    }
  }
  // Data before the asynchronous channel exists.
  TestClient lone(server.hislip_port());
  ASSERT_TRUE(lone.send(std::string("HS\x00\x00\x01\x00TC\0\0\0\0\0\0\0\0", 16)));
  ASSERT_TRUE(lone.read_exact(hs::kHeaderSize));
  ASSERT_TRUE(lone.send(std::string("HS\x07\x00\xff\xff\xff\x00\0\0\0\0\0\0\0\0", 16)));
  const auto fatal = lone.read_exact(hs::kHeaderSize);
  ASSERT_TRUE(fatal);
  EXPECT_EQ((*fatal)[2], static_cast<char>(MessageType::kFatalError));
  EXPECT_EQ((*fatal)[3], static_cast<char>(hs::kFatalChannelsNotEstablished));
}

TEST(HislipServerTest, LocksAreSharedOrExclusiveAcrossSessions) {
  Server server(hislip_only());
  HislipClient a(server.hislip_port());
  HislipClient b(server.hislip_port());
  const auto lock = [](HislipClient& c, std::uint8_t request, std::uint32_t timeout,
                       std::string_view key) {
    c.send(c.async(), MessageType::kAsyncLock, request, timeout, key);
    const auto answer = c.read(c.async());
    return answer && answer->header.type == MessageType::kAsyncLockResponse
               ? int{answer->header.control}
               : -1;
  };
  const struct {
    HislipClient* client;
    std::uint8_t request;
    const char* key;
    int response;
  } steps[] = {
      {&a, hs::kLockRequest, "", hs::kLockGranted},
      {&a, hs::kLockRequest, "", hs::kLockError},  // already held
      {&b, hs::kLockRequest, "", hs::kLockFailed},
      {&b, hs::kLockRequest, "key", hs::kLockFailed},
      {&a, hs::kLockRelease, "", hs::kLockGranted},
      {&a, hs::kLockRelease, "", hs::kLockError},  // nothing held
      {&a, hs::kLockRequest, "key", hs::kLockGranted},
      {&b, hs::kLockRequest, "key", hs::kLockGranted},
      {&b, hs::kLockRequest, "", hs::kLockGranted},  // a sharer may add the exclusive lock
      {&a, hs::kLockRequest, "", hs::kLockFailed},   // b holds it
      {&b, hs::kLockRelease, "", hs::kLockGranted},  // the exclusive one first
      {&b, hs::kLockRelease, "", hs::kLockSharedReleased},
  };
  for (const auto& step : steps) {
    EXPECT_EQ(lock(*step.client, step.request, 20, step.key), step.response) << step.key;
  }
  b.send(b.async(), MessageType::kAsyncLockInfo, 0, 0);
  const auto info = b.read(b.async());
  ASSERT_TRUE(info);
  EXPECT_EQ(info->header.control, 0);  // no exclusive lock
  EXPECT_EQ(info->header.parameter, 1U);
}

TEST(HislipServerTest, StatusByteClearAndSizeNegotiation) {
  Server server(hislip_only());
  HislipClient c(server.hislip_port());
  const auto stb = [&](std::uint8_t rmt) {
    c.send(c.async(), MessageType::kAsyncStatusQuery, rmt, c.last_message_id());
    const auto answer = c.read(c.async());
    return answer ? int{answer->header.control} : -1;
  };
  ASSERT_TRUE(c.write("*IDN?\n"));
  ASSERT_TRUE(c.read(c.sync()));
  EXPECT_EQ(stb(0) & 0x10, 0x10);  // the reply went out; its RMT has not come back
  EXPECT_EQ(stb(hs::kRmtDelivered) & 0x10, 0);

  c.send(c.async(), MessageType::kAsyncDeviceClear, 0, 0);
  auto answer = c.read(c.async());
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->header.type, MessageType::kAsyncDeviceClearAcknowledge);
  ASSERT_TRUE(c.write("VOLT 9\n"));  // dropped until DeviceClearComplete
  c.send(c.sync(), MessageType::kDeviceClearComplete, 0, 0);
  answer = c.read(c.sync());
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->header.type, MessageType::kDeviceClearAcknowledge);
  EXPECT_EQ(server.execute("VOLT?"), "+0.00000E+00\n");

  c.send(c.async(), MessageType::kAsyncMaximumMessageSize, 0, 0,
         std::string("\0\0\0\0\0\x10\0\0", 8));
  answer = c.read(c.async());
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->header.type, MessageType::kAsyncMaximumMessageSizeResponse);
  EXPECT_EQ(answer->payload, std::string("\0\0\0\0\0\x10\0\0", 8));
}

TEST(HislipServerTest, AMessageSentJustBeforeClosingStillRuns) {
  Server server(hislip_only());
  for (int round = 0; round < 20; ++round) {
    HislipClient c(server.hislip_port());
    ASSERT_TRUE(c.write("*RST\n"));
    c.async().close();  // the asynchronous channel goes first
  }
  // Each session's message arrives although its channels closed right after it.
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (server.received().size() < 20 * 5 && std::chrono::steady_clock::now() < give_up) {
    std::this_thread::yield();
  }
  EXPECT_EQ(server.received().size(), 20U * 5);
}

TEST(HislipServerTest, FatalErrorHookReachesBothChannelsAndCloses) {
  Server server(hislip_only());
  HislipClient c(server.hislip_port());
  server.hislip_fatal_error(hs::kFatalUnidentified, "simulated failure");
  ASSERT_TRUE(c.write("*IDN?\n"));
  for (TestClient* channel : {&c.sync(), &c.async()}) {
    const auto fatal = c.read(*channel);
    ASSERT_TRUE(fatal);
    EXPECT_EQ(fatal->header.type, MessageType::kFatalError);
    EXPECT_EQ(fatal->payload, "simulated failure");
    EXPECT_TRUE(channel->read_until_closed());
  }
}

TEST(HislipServerTest, InterruptHookAnswersInterruptedOnBothChannels) {
  Server server(hislip_only());
  HislipClient c(server.hislip_port());
  server.hislip_interrupt_next();
  ASSERT_TRUE(c.write("*IDN?\n"));
  const auto sync = c.read(c.sync());
  const auto async = c.read(c.async());
  ASSERT_TRUE(sync && async);
  EXPECT_EQ(sync->header.type, MessageType::kInterrupted);
  EXPECT_EQ(async->header.type, MessageType::kAsyncInterrupted);
  EXPECT_EQ(sync->header.parameter, c.last_message_id());
  ASSERT_TRUE(c.write("*OPC?\n"));  // the next query is answered
  EXPECT_EQ(c.read(c.sync())->payload, "1\n");
}

TEST(HislipServerTest, OverlappedServerNumbersItsOwnReplies) {
  Server server(hislip_only(true));
  HislipClient c(server.hislip_port());
  EXPECT_EQ(c.init_response().header.control, hs::kPreferOverlapped);
  ASSERT_TRUE(c.write("VOLT 1\n"));  // no reply: the server's numbering does not move
  for (std::uint32_t id : {hs::kFirstMessageId, hs::kFirstMessageId + 2}) {
    ASSERT_TRUE(c.write("*OPC?\n"));
    const auto reply = c.read(c.sync());
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->header.parameter, id);
  }
}

}  // namespace
}  // namespace zr48::sim
