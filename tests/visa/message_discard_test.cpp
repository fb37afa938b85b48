// Discarding input on a socket session: the rest of a message a read stopped inside is read on
// and dropped, however late it comes within the time-out; a lost link found while discarding is
// left for the next send or receive to report.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "visa_fixture.h"

namespace zr48::visa::testing {
namespace {

using MessageDiscard = PeerSession;

std::string Read(ViSession vi, ViUInt32 count, ViStatus expected) {
  ViStatus status = VI_SUCCESS;
  std::string bytes = read_text(vi, status, count);
  EXPECT_EQ(status, expected);
  return bytes;
}

// The instrument sends a long reply in two parts, the second one late (as a slow instrument
// does); the pause is the fault being reproduced, not a synchronisation.
void SendTailLater(const LoopbackPeer& peer, const std::string& tail) {
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  peer.send(tail);
}

TEST_F(MessageDiscard, TheLateRestOfAMessageIsNotTakenForTheNextReply) {
  ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_TMO_VALUE, 2000), VI_SUCCESS);
  for (const ViUInt16 mask :
       {ViUInt16{VI_READ_BUF_DISCARD | VI_WRITE_BUF_DISCARD}, ViUInt16{VI_READ_BUF_DISCARD},
        ViUInt16{VI_IO_IN_BUF_DISCARD}, ViUInt16{VI_READ_BUF}}) {
    SCOPED_TRACE(mask);
    peer_.send(std::string(600, 'a'));
    EXPECT_EQ(Read(vi_, 511, VI_SUCCESS_MAX_CNT), std::string(511, 'a'));
    std::thread tail([this] { SendTailLater(peer_, std::string(399, 'a') + "\n"); });
    EXPECT_EQ(viFlush(vi_, mask), VI_SUCCESS);
    tail.join();
    peer_.send("next\n");
    EXPECT_EQ(Read(vi_, 511, VI_SUCCESS_TERM_CHAR), "next\n");
  }
}

// A message whose terminator came inside the read needs no waiting; what follows it is stale.
TEST_F(MessageDiscard, AMessageReadToItsEndLeavesNothingToWaitFor) {
  peer_.send("12\nstale\n");
  EXPECT_EQ(Read(vi_, 100, VI_SUCCESS_TERM_CHAR), "12\n");
  EXPECT_EQ(viFlush(vi_, VI_READ_BUF_DISCARD), VI_SUCCESS);
  peer_.send("next\n");
  EXPECT_EQ(Read(vi_, 100, VI_SUCCESS_TERM_CHAR), "next\n");
}

TEST_F(MessageDiscard, ARestThatNeverComesEndsInATimeOutOnce) {
  ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_TMO_VALUE, 100), VI_SUCCESS);
  peer_.send(std::string(20, 'a'));
  EXPECT_EQ(Read(vi_, 10, VI_SUCCESS_MAX_CNT), std::string(10, 'a'));
  EXPECT_EQ(viFlush(vi_, VI_READ_BUF_DISCARD), VI_ERROR_TMO);
  EXPECT_EQ(viFlush(vi_, VI_READ_BUF_DISCARD), VI_SUCCESS);  // given up: no second wait
  peer_.send("next\n");
  EXPECT_EQ(Read(vi_, 100, VI_SUCCESS_TERM_CHAR), "next\n");
}

// Discarding only drops bytes: the loss is reported by the next operation that moves bytes.
TEST_F(MessageDiscard, ALostLinkIsLeftForTheNextSendOrReceive) {
  peer_.send("1\n");
  peer_.close_connection();
  EXPECT_EQ(Read(vi_, 100, VI_SUCCESS_TERM_CHAR), "1\n");
  std::this_thread::sleep_for(std::chrono::milliseconds(30));  // the peer's FIN arrives
  EXPECT_EQ(viFlush(vi_, VI_READ_BUF_DISCARD | VI_WRITE_BUF_DISCARD), VI_SUCCESS);
  EXPECT_EQ(viPrintf(vi_, "*CLS\n"), VI_ERROR_CONN_LOST);
  EXPECT_EQ(viFlush(vi_, VI_READ_BUF_DISCARD | VI_WRITE_BUF_DISCARD), VI_SUCCESS);
  EXPECT_EQ(Read(vi_, 100, VI_ERROR_CONN_LOST), "");
}

}  // namespace
}  // namespace zr48::visa::testing
