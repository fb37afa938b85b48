// The echo instrument: what PyVISA's assisted tests send it, over every protocol through real
// loopback sessions, and its service request on a hand-driven clock.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "echo.h"
#include "protocol_clients.h"
#include "zr48sim/server.h"

namespace zr48::sim {
namespace {

using testing::Protocol;

struct EchoRow {
  const char* name;
  std::vector<std::string> writes;  // one client write each (VXI-11 and HiSLIP: with END)
  std::string reply;                // the bytes read back
};

const EchoRow kEchoRows[] = {
    {"StoredLineComesBack", {"RECEIVE\n", "test\n", "SEND\n"}, "test\n"},
    {"CarriageReturnsStayInTheData", {"RECEIVE\n", "te\rst\r\n", "SEND\n"}, "te\rst\r\n"},
    // Only a line feed ends the stored message, even across messages ended by END.
    {"StoredMessageSpansWrites", {"RECEIVE\n", "test\r\r", "\n", "SEND\n"}, "test\r\r\n"},
    {"BinaryBytesAndTrailingBlanks",
     {"RECEIVE\r\n", std::string("#212\x01\x00\x02\x00\r\n", 10), "SEND\r\n"},
     std::string("#212\x01\x00\x02\x00\r\n", 10)},
    {"SlowServiceRequestVariants", {"RCVSLOWSRQ\n", "1\n", "SENDSLOWSRQ\n"}, "1\n"},
    {"SendRepeatsTheStoredData", {"RECEIVE\n", "x\n", "SEND\n", "send\n"}, "x\nx\n"},
    {"Identity", {"*IDN?\n"}, std::string(EchoInstrument::kIdn) + "\n"},
    {"UnknownMessagesAreIgnored",
     {"VOLT 3\n", "*IDN?\n"},
     std::string(EchoInstrument::kIdn) + "\n"},
};

class EchoProtocolTest : public ::testing::TestWithParam<std::tuple<Protocol, EchoRow>> {
 protected:
  Server server{[] {
    auto options = ServerOptions::all("127.0.0.1");
    options.portmapper = false;
    options.echo = true;
    return options;
  }()};
};

TEST_P(EchoProtocolTest, RepliesWithWhatWasStored) {
  const auto& [protocol, row] = GetParam();
  auto session = testing::open_session(protocol, server);
  std::string reply;
  for (const auto& text : row.writes) {
    ASSERT_TRUE(session->write(text));
    // A message-based session holds each response until read: read it before the next write.
    if (protocol != Protocol::socket &&
        (text.starts_with("SEND") || text.starts_with("send") || text.starts_with("*IDN?"))) {
      reply += session->read().bytes;
    }
  }
  if (protocol == Protocol::socket) {
    while (reply.size() < row.reply.size()) {
      const auto read = session->read();
      if (read.status != testing::MessageSession::Status::data) break;
      reply += read.bytes;
    }
  }
  EXPECT_EQ(reply, row.reply);
}

INSTANTIATE_TEST_SUITE_P(Echo, EchoProtocolTest,
                         ::testing::Combine(::testing::Values(Protocol::socket, Protocol::vxi11,
                                                              Protocol::hislip),
                                            ::testing::ValuesIn(kEchoRows)),
                         [](const auto& info) {
                           return testing::protocol_name(std::get<0>(info.param)) + "_" +
                                  std::get<1>(info.param).name;
                         });

TEST(EchoInstrument, ServiceRequestIsDueHalfASecondAfterSendAndReadOnce) {
  EchoInstrument echo;
  auto now = EchoInstrument::Clock::time_point{};
  echo.set_clock([&] { return now; });
  echo.execute("RCVSLOWSRQ\n", "");
  echo.execute("1\n", "");
  EXPECT_EQ(echo.execute("SENDSLOWSRQ\n", ""), "1\n");
  now += EchoInstrument::kServiceRequestDelay - std::chrono::milliseconds(1);
  EXPECT_EQ(echo.status_byte(true), 0x10);  // MAV only
  now += std::chrono::milliseconds(1);
  EXPECT_EQ(echo.status_byte(false), 0x40);  // RQS
  EXPECT_EQ(echo.status_byte(false), 0x00);  // a serial poll clears it
  EXPECT_EQ(echo.execute("*STB?\n", ""), "0\n");
}

TEST(EchoInstrument, ClearsDropThePendingRequestAndDeviceClearTheHalfMessage) {
  EchoInstrument echo;
  auto now = EchoInstrument::Clock::time_point{};
  echo.set_clock([&] { return now; });
  echo.execute("SENDSLOWSRQ\n", "");
  echo.execute("*CLS\n", "");
  now += EchoInstrument::kServiceRequestDelay;
  EXPECT_EQ(echo.status_byte(false), 0x00);

  echo.execute("RECEIVE\n", "");
  echo.execute("half", "");
  echo.device_clear();
  EXPECT_EQ(echo.execute("*IDN?\n", "id"), "id\n");  // a command again, not stored data
  EXPECT_EQ(echo.execute("SEND\n", ""), "half");
}

}  // namespace
}  // namespace zr48::sim
