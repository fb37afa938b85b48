// The server over real loopback sockets: shared state, exact byte records and each fault hook.

#include "zr48sim/server.h"

#include <gtest/gtest.h>

#include <memory>
#include <system_error>
#include <vector>

#include "test_client.h"

namespace zr48::sim {
namespace {

using testing::TestClient;

const std::string kIdn = "Velharn, HLV3907, 0123456789AF, 1.00-1.00\n";

TEST(ServerTest, AnswersIdnAndNamesItsResource) {
  Server server;
  ASSERT_NE(server.port(), 0);
  EXPECT_EQ(server.resource(), "TCPIP::127.0.0.1::" + std::to_string(server.port()) + "::SOCKET");
  TestClient client(server.port());
  ASSERT_TRUE(client.valid());
  EXPECT_EQ(client.query("*IDN?\n"), kIdn);
}

TEST(ServerTest, ConnectionsShareOneInstrument) {
  Server server;
  TestClient a(server.port());
  TestClient b(server.port());
  ASSERT_TRUE(a.send("INST ch2\nVOLT 1.5\n"));
  EXPECT_EQ(a.query("*OPC?\n"), "1\n");  // a's lines are done once this is answered
  EXPECT_EQ(b.query("INST?\n"), "CH2\n");
  EXPECT_EQ(b.query("VOLT?\n"), "+1.50000E+00\n");
  EXPECT_EQ(server.execute("VOLT?"), "+1.50000E+00\n");
  EXPECT_EQ(server.connection_count(), 2U);
}

TEST(ServerTest, RecordsEveryByteExactlyPerConnection) {
  Server server;
  const std::string binary("DISP:TEXT \"\x00\xff\x7f\"\r\n", 17);
  {
    TestClient first(server.port());
    ASSERT_TRUE(first.send("VOLT"));
    ASSERT_TRUE(first.send(" 1\n"));
    ASSERT_TRUE(first.send(binary));
    EXPECT_EQ(first.query("*OPC?\n"), "1\n");
  }
  TestClient second(server.port());
  EXPECT_EQ(second.query("*IDN?\n"), kIdn);

  const std::string first_bytes = "VOLT 1\n" + binary + "*OPC?\n";
  EXPECT_EQ(server.received(), first_bytes + "*IDN?\n");
  EXPECT_EQ(server.received_by_connection(), (std::vector<std::string>{first_bytes, "*IDN?\n"}));
  server.clear_received();
  EXPECT_EQ(server.received(), "");
  EXPECT_EQ(server.received_by_connection(), (std::vector<std::string>{"", ""}));
  EXPECT_EQ(server.connection_count(), 2U);
}

TEST(ServerTest, ReplyDelayStillAnswers) {
  Server server;
  server.set_reply_delay(std::chrono::milliseconds(50));
  TestClient client(server.port());
  EXPECT_EQ(client.query("*OPC?\n"), "1\n");
  server.reset_faults();
  EXPECT_EQ(client.query("*OPC?\n"), "1\n");
}

TEST(ServerTest, SilentRunsQueriesWithoutAnswering) {
  Server server;
  server.set_silent(true);
  TestClient client(server.port());
  ASSERT_TRUE(client.send("INST ch3\nINST?\n"));
  EXPECT_EQ(client.read_line(TestClient::kQuietMs), std::nullopt);
  server.set_silent(false);
  EXPECT_EQ(client.query("INST?\n"), "CH3\n");
}

TEST(ServerTest, PushedRepliesReplaceTheNextQueries) {
  Server server;
  const std::string long_unterminated(600, 'x');
  const std::string binary("\x00\x01\xfe\n", 4);
  server.push_reply("one two three\n");
  server.push_reply(binary);
  server.push_reply(long_unterminated);
  TestClient client(server.port());
  ASSERT_TRUE(client.send("VOLT 1\n"));  // a command takes no pushed reply
  EXPECT_EQ(client.query("*IDN?\n"), "one two three\n");
  EXPECT_EQ(client.query("FOO?\n"), binary);  // even a query the model would refuse
  ASSERT_TRUE(client.send("*STB?\n"));
  EXPECT_EQ(client.read_exact(600), long_unterminated);
  EXPECT_EQ(client.read_line(TestClient::kQuietMs), std::nullopt);
  EXPECT_EQ(client.query("VOLT?\n"), "+1.00000E+00\n");
}

TEST(ServerTest, CloseAfterLinesDropsTheLastLine) {
  Server server;
  TestClient client(server.port());
  server.close_after_lines(2);
  ASSERT_TRUE(client.send("INST ch4\nVOLT 5\nVOLT 6\n"));
  EXPECT_EQ(client.read_until_closed(), "");
  EXPECT_EQ(server.execute("INST?;VOLT?"), "CH4;+0.00000E+00\n");  // VOLT 5 never ran
  EXPECT_TRUE(server.received().starts_with("INST ch4\nVOLT 5\n"));

  TestClient next(server.port());  // the hook fired once; the server goes on serving
  EXPECT_EQ(next.query("*OPC?\n"), "1\n");
}

TEST(ServerTest, CloseMidReplySendsAPrefixThenCloses) {
  Server server;
  server.close_mid_reply(5);
  TestClient client(server.port());
  ASSERT_TRUE(client.send("*IDN?\n"));
  EXPECT_EQ(client.read_until_closed(), "Velha");
  TestClient next(server.port());
  EXPECT_EQ(next.query("*IDN?\n"), kIdn);
}

TEST(ServerTest, IdnAndTstCanBeSet) {
  Server server;
  server.set_idn("Maker,M1,S1,2.5");
  server.set_tst("1,\"Output 3 failed\"");
  TestClient client(server.port());
  EXPECT_EQ(client.query("*IDN?\n"), "Maker,M1,S1,2.5\n");
  EXPECT_EQ(client.query("*TST?\n"), "1,\"Output 3 failed\"\n");
}

TEST(ServerTest, OverlongLineIsDroppedWithAnError) {
  Server server;
  TestClient client(server.port());
  const std::string huge(Server::kMaxLineBytes + 4096, 'A');
  ASSERT_TRUE(client.send(huge));
  ASSERT_TRUE(client.send("\n"));
  EXPECT_EQ(client.query("SYST:ERR?\n"), "-363,\"Input buffer overrun\"\n");
  EXPECT_EQ(client.query("SYST:ERR?\n"), "0,\"No error\"\n");
}

TEST(ServerTest, SurvivesAbruptDisconnectsAndManyConnections) {
  Server server;
  for (int i = 0; i < 20; ++i) {
    TestClient gone(server.port());
    gone.send("VOLT 1");  // half a line, then the peer vanishes
  }
  std::vector<std::unique_ptr<TestClient>> clients;
  clients.reserve(40);
  for (int i = 0; i < 40; ++i) clients.push_back(std::make_unique<TestClient>(server.port()));
  for (auto& c : clients) ASSERT_TRUE(c->send("*OPC?\n"));
  for (auto& c : clients) EXPECT_EQ(c->read_line(), "1\n");
  EXPECT_EQ(server.connection_count(), 60U);
}

TEST(ServerTest, StopsWhileAReplyIsHeld) {
  auto server = std::make_unique<Server>();
  server->set_reply_delay(std::chrono::hours(1));
  TestClient client(server->port());
  ASSERT_TRUE(client.send("*IDN?\n"));
  ASSERT_TRUE(client.send("*OPC?\n"));
  // The destructor wakes the waiting connection instead of sleeping out the delay.
  server.reset();
  EXPECT_EQ(client.read_until_closed(), "");
}

TEST(ServerTest, ServesIpv6Loopback) {
  std::unique_ptr<Server> server;
  try {
    server = std::make_unique<Server>(0, "::1");
  } catch (const std::system_error&) {
    GTEST_SKIP() << "no IPv6 loopback on this machine";
  }
  EXPECT_EQ(server->resource(), "TCPIP::[::1]::" + std::to_string(server->port()) + "::SOCKET");
  TestClient client(server->port(), "::1");
  ASSERT_TRUE(client.valid());
  EXPECT_EQ(client.query("*IDN?\n"), kIdn);
}

TEST(ServerTest, RefusesABadAddress) {
  EXPECT_THROW(Server(0, "not-an-address"), std::system_error);
}

}  // namespace
}  // namespace zr48::sim
