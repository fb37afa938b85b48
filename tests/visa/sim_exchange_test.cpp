// The driver's exchanges against the simulated instrument, with its settings: flush on access,
// 4000-byte buffers, viFlush(12) before each exchange.
#include <gtest/gtest.h>

#include <string>

#include "session_io.h"
#include "visa/visa.h"
#include "zr48sim/server.h"

namespace zr48::visa::testing {
namespace {

class SimExchange : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(viOpenDefaultRM(&rm_), VI_SUCCESS);
    ASSERT_EQ(viOpen(rm_, sim_.resource().c_str(), VI_NO_LOCK, 0, &vi_), VI_SUCCESS);
    ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_TMO_VALUE, 300), VI_SUCCESS);
    ASSERT_EQ(use_driver_settings(vi_), VI_SUCCESS);
  }
  void TearDown() override { viClose(rm_); }

  // One raw query as the driver runs it: flush, write, one read of at most 511 bytes.
  ViStatus query(const char* command, std::string& reply) {
    char buffer[512] = {};
    ViUInt32 count = 0;
    ViStatus status = viFlush(vi_, VI_READ_BUF_DISCARD | VI_WRITE_BUF_DISCARD);
    if (status >= 0) status = viPrintf(vi_, "%s", command);
    if (status >= 0) status = viRead(vi_, reinterpret_cast<ViPBuf>(buffer), 511, &count);
    reply.assign(buffer, count);
    return status;
  }

  sim::Server sim_;
  ViSession rm_ = VI_NULL;
  ViSession vi_ = VI_NULL;
};

TEST_F(SimExchange, CommandsArriveAsWritten) {
  ASSERT_EQ(viFlush(vi_, 12), VI_SUCCESS);
  ASSERT_EQ(viPrintf(vi_, "INST %s\n", "ch2"), VI_SUCCESS);
  ASSERT_EQ(viPrintf(vi_, "VOLT %s\n", "1.5"), VI_SUCCESS);
  std::string reply;
  ASSERT_EQ(query("VOLT?\n", reply), VI_SUCCESS_TERM_CHAR);
  EXPECT_EQ(sim_.received(), "INST ch2\nVOLT 1.5\nVOLT?\n");
  EXPECT_EQ(std::stod(reply), 1.5);
}

TEST_F(SimExchange, WordReplyThroughScanf) {
  ASSERT_EQ(viFlush(vi_, 12), VI_SUCCESS);
  ASSERT_EQ(viPrintf(vi_, "INST %s\n", "ch2"), VI_SUCCESS);
  ASSERT_EQ(viPrintf(vi_, "MEAS:VOLT?\n"), VI_SUCCESS);
  char word[512] = {};
  ASSERT_EQ(viScanf(vi_, "%s", word), VI_SUCCESS);
  EXPECT_NE(word[0], '\0');
  std::string reply;
  EXPECT_EQ(query("*IDN?\n", reply), VI_SUCCESS_TERM_CHAR);
  EXPECT_EQ(reply, "Velharn, HLV3907, 0123456789AF, 1.00-1.00\n");
}

// A reply longer than the driver's 511 bytes: the first read is cut at the count, and the
// flush before the next exchange drops the rest, so the next reply is the right one.
TEST_F(SimExchange, OverlongReplyDoesNotLeakIntoTheNextExchange) {
  sim_.push_reply(std::string(700, 'L') + "\n");
  std::string reply;
  EXPECT_EQ(query("*IDN?\n", reply), VI_SUCCESS_MAX_CNT);
  EXPECT_EQ(reply, std::string(511, 'L'));
  EXPECT_EQ(query("*IDN?\n", reply), VI_SUCCESS_TERM_CHAR);
  EXPECT_EQ(reply, "Velharn, HLV3907, 0123456789AF, 1.00-1.00\n");
}

TEST_F(SimExchange, UnterminatedAndMissingRepliesTimeOut) {
  sim_.push_reply("no line feed");
  std::string reply;
  EXPECT_EQ(query("*IDN?\n", reply), VI_ERROR_TMO);
  EXPECT_EQ(reply, "no line feed");
  sim_.set_silent(true);
  EXPECT_EQ(query("*IDN?\n", reply), VI_ERROR_TMO);
  sim_.set_silent(false);
  EXPECT_EQ(query("*IDN?\n", reply), VI_SUCCESS_TERM_CHAR);
}

TEST_F(SimExchange, SlowReplyWithinTheTimeOut) {
  sim_.set_reply_delay(std::chrono::milliseconds(50));
  std::string reply;
  EXPECT_EQ(query("*IDN?\n", reply), VI_SUCCESS_TERM_CHAR);
}

TEST_F(SimExchange, ConnectionClosedByTheInstrument) {
  sim_.close_after_lines(1);
  std::string reply;
  EXPECT_EQ(query("*IDN?\n", reply), VI_ERROR_CONN_LOST);
  EXPECT_EQ(viFlush(vi_, 12), VI_SUCCESS);  // discarding only drops bytes
  EXPECT_EQ(viPrintf(vi_, "*RST\n"), VI_ERROR_CONN_LOST);
}

TEST_F(SimExchange, ConnectionClosedInTheMiddleOfAReply) {
  sim_.close_mid_reply(5);
  std::string reply;
  EXPECT_EQ(query("*IDN?\n", reply), VI_ERROR_CONN_LOST);
  EXPECT_EQ(reply, "Velha");
}

}  // namespace
}  // namespace zr48::visa::testing
