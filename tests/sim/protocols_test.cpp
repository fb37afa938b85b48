// The same instrument and fault hooks over SOCKET, VXI-11 and HiSLIP, through real loopback
// sessions: each row runs over every protocol.

#include <gtest/gtest.h>

#include <functional>

#include "protocol_clients.h"
#include "zr48sim/server.h"

namespace zr48::sim {
namespace {

using testing::MessageSession;
using testing::Protocol;
using Status = MessageSession::Status;

const std::string kIdn = "Velharn, HLV3907, 0123456789AF, 1.00-1.00\n";

ServerOptions every_service() {
  auto options = ServerOptions::all("127.0.0.1");
  options.portmapper = false;  // its fixed port has tests of its own
  return options;
}

class ProtocolTest : public ::testing::TestWithParam<Protocol> {
 protected:
  Server server{every_service()};
  std::unique_ptr<MessageSession> open() { return testing::open_session(GetParam(), server); }
};

TEST_P(ProtocolTest, SessionsShareTheInstrumentAndEveryMessageByteIsRecorded) {
  auto a = open();
  auto b = open();
  ASSERT_TRUE(a->write("INST ch2\nVOLT 1.5\n"));
  ASSERT_TRUE(a->write("*IDN?\n"));
  EXPECT_EQ(a->read().bytes, kIdn);
  ASSERT_TRUE(b->write("INST?;VOLT?\n"));
  EXPECT_EQ(b->read().bytes, "CH2;+1.50000E+00\n");
  EXPECT_EQ(server.received_by_connection(),
            (std::vector<std::string>{"INST ch2\nVOLT 1.5\n*IDN?\n", "INST?;VOLT?\n"}));
  EXPECT_EQ(server.received(), "INST ch2\nVOLT 1.5\n*IDN?\nINST?;VOLT?\n");
}

// One fault hook per row: what it sets, what is sent, what comes back.
struct FaultRow {
  const char* name;
  std::function<void(Server&)> arm;
  const char* send;
  Status status;
  const char* reply;     // with Status::data
  const char* then_run;  // checked through Server::execute afterwards
  const char* then_reply;
};

const FaultRow kFaultRows[] = {
    {"Delay", [](Server& s) { s.set_reply_delay(std::chrono::milliseconds(50)); }, "*OPC?\n",
     Status::data, "1\n", "", ""},
    {"Silent", [](Server& s) { s.set_silent(true); }, "INST ch3\nINST?\n", Status::timeout, "",
     "INST?", "CH3\n"},
    {"PushedReply", [](Server& s) { s.push_reply("one two\n"); }, "VOLT 2\n*IDN?\n", Status::data,
     "one two\n", "VOLT?", "+2.00000E+00\n"},
    {"CloseAfterLines", [](Server& s) { s.close_after_lines(2); }, "INST ch4\nVOLT 5\nVOLT?\n",
     Status::closed, "", "INST?;VOLT?", "CH4;+0.00000E+00\n"},
    {"CloseMidReply", [](Server& s) { s.close_mid_reply(5); }, "*IDN?\n", Status::closed, "", "",
     ""},
};

TEST_P(ProtocolTest, FaultHooksApplyToEveryProtocol) {
  for (const FaultRow& row : kFaultRows) {
    SCOPED_TRACE(row.name);
    server.reset_faults();
    server.execute("*RST");
    auto session = open();
    row.arm(server);
    ASSERT_TRUE(session->write(row.send) || row.status == Status::closed);
    const auto read = session->read(row.status == Status::timeout ? testing::TestClient::kQuietMs
                                                                  : testing::TestClient::kWaitMs);
    EXPECT_EQ(read.status, row.status);
    if (row.status == Status::data) {
      EXPECT_EQ(read.bytes, row.reply);
    }
    if (*row.then_run != '\0') {
      EXPECT_EQ(server.execute(row.then_run), row.then_reply);
    }
    server.reset_faults();
    auto next = open();  // the server goes on serving
    ASSERT_TRUE(next->write("*OPC?\n"));
    EXPECT_EQ(next->read().bytes, "1\n");
  }
}

// VXI-11 and HiSLIP carry END and locks; a raw socket has neither.
using MessageBasedTest = ProtocolTest;

TEST_P(MessageBasedTest, AMessageWithoutLineFeedEndsAtEnd) {
  auto session = open();
  ASSERT_TRUE(session->write("*IDN?"));
  EXPECT_EQ(session->read().bytes, kIdn);
}

TEST_P(MessageBasedTest, OtherClientsLockHoldsMessagesBack) {
  server.lock_from_other_client(true);
  auto session = open();
  const bool accepted = session->write("*IDN?\n");  // VXI-11 refuses it with error 11
  EXPECT_NE(session->read(testing::TestClient::kQuietMs).status, Status::data);
  server.lock_from_other_client(false);
  if (!accepted) {
    ASSERT_TRUE(session->write("*IDN?\n"));
  }
  EXPECT_EQ(session->read().bytes, kIdn);
}

INSTANTIATE_TEST_SUITE_P(Protocols, ProtocolTest,
                         ::testing::Values(Protocol::socket, Protocol::vxi11, Protocol::hislip),
                         [](const auto& info) { return testing::protocol_name(info.param); });
INSTANTIATE_TEST_SUITE_P(Protocols, MessageBasedTest,
                         ::testing::Values(Protocol::vxi11, Protocol::hislip),
                         [](const auto& info) { return testing::protocol_name(info.param); });

}  // namespace
}  // namespace zr48::sim
