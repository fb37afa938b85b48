// viRead, viWrite and viFlush over a scripted loopback peer.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "test_names.h"
#include "visa_fixture.h"

namespace zr48::visa::testing {
namespace {

using ReadWrite = PeerSession;

struct Reply {
  ViStatus status;
  std::string bytes;
};

Reply read(ViSession vi, ViUInt32 count) {
  std::vector<ViByte> buffer(count + 1, 0);
  ViUInt32 returned = 0xFFFF;
  const ViStatus status = viRead(vi, buffer.data(), count, &returned);
  return {status, std::string(reinterpret_cast<const char*>(buffer.data()), returned)};
}

void settle() {
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
}

// What the peer sends, whether it then drops the connection, and the reads that follow.
struct ReadStep {
  ViUInt32 count;
  ViStatus status;
  std::string bytes;
};
struct ReadCase {
  const char* name;
  std::string sent;
  bool then_lost;
  std::vector<ReadStep> reads;
};

const ReadCase kReadCases[] = {
    {"ends after the termination character",
     "1.5\nsecond\n",
     false,
     {{511, VI_SUCCESS_TERM_CHAR, "1.5\n"}, {511, VI_SUCCESS_TERM_CHAR, "second\n"}}},
    {"the count leaves the rest for the next read",
     "0123456789\n",
     false,
     {{4, VI_SUCCESS_MAX_CNT, "0123"}, {100, VI_SUCCESS_TERM_CHAR, "456789\n"}}},
    {"a long reply is read in counts",
     std::string(600, 'x') + "\n",
     false,
     {{511, VI_SUCCESS_MAX_CNT, std::string(511, 'x')},
      {511, VI_SUCCESS_TERM_CHAR, std::string(89, 'x') + "\n"}}},
    {"a silent peer times out", "", false, {{511, VI_ERROR_TMO, ""}}},
    {"an unterminated reply times out with its bytes counted",
     "partial",
     false,
     {{511, VI_ERROR_TMO, "partial"}}},
    {"a loss in the middle of a reply", "12", true, {{100, VI_ERROR_CONN_LOST, "12"}}},
};

class Reads : public PeerSession, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(Reads, EndAtTheTerminationCharacterTheCountATimeOutOrALoss) {
  if (!GetParam().sent.empty()) peer_.send(GetParam().sent);
  if (GetParam().then_lost) peer_.close_connection();
  for (const ReadStep& step : GetParam().reads) {
    const Reply r = read(vi_, step.count);
    EXPECT_EQ(r.status, step.status);
    EXPECT_EQ(r.bytes, step.bytes);
  }
}

INSTANTIATE_TEST_SUITE_P(ReadWrite, Reads, ::testing::ValuesIn(kReadCases),
                         zr48::test::NamedBy(&ReadCase::name));

TEST_F(ReadWrite, ReplySplitAcrossSegmentsIsOneMessage) {
  peer_.send("+1.2");
  std::thread later([this] {
    settle();
    peer_.send("34");
    settle();
    peer_.send("5E+00\n");
  });
  const Reply r = read(vi_, 511);
  later.join();
  EXPECT_EQ(r.status, VI_SUCCESS_TERM_CHAR);
  EXPECT_EQ(r.bytes, "+1.2345E+00\n");
}

TEST_F(ReadWrite, ImmediateTimeoutReadsOnlyWhatIsThere) {
  ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_TMO_VALUE, VI_TMO_IMMEDIATE), VI_SUCCESS);
  EXPECT_EQ(read(vi_, 10).status, VI_ERROR_TMO);
  peer_.send("ok\n");
  settle();
  EXPECT_EQ(read(vi_, 10).bytes, "ok\n");
}

TEST_F(ReadWrite, TerminationCanBeDisabledOrChanged) {
  ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_TERMCHAR_EN, VI_FALSE), VI_SUCCESS);
  peer_.send("ab\ncd;ef");
  Reply r = read(vi_, 5);
  EXPECT_EQ(r.status, VI_SUCCESS_MAX_CNT);
  EXPECT_EQ(r.bytes, "ab\ncd");
  ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_TERMCHAR_EN, VI_TRUE), VI_SUCCESS);
  ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_TERMCHAR, ';'), VI_SUCCESS);
  r = read(vi_, 5);
  EXPECT_EQ(r.status, VI_SUCCESS_TERM_CHAR);
  EXPECT_EQ(r.bytes, ";");
}

TEST_F(ReadWrite, CountArgumentsMayBeNull) {
  peer_.send("x\n");
  ViByte buffer[8];
  EXPECT_EQ(viRead(vi_, buffer, sizeof buffer, nullptr), VI_SUCCESS_TERM_CHAR);
  EXPECT_EQ(viWrite(vi_, reinterpret_cast<ViConstBuf>("y\n"), 2, nullptr), VI_SUCCESS);
  EXPECT_EQ(peer_.receive(2), "y\n");
  EXPECT_EQ(viRead(vi_, nullptr, 4, nullptr), VI_ERROR_USER_BUF);
  EXPECT_EQ(viRead(vi_, buffer, 0, nullptr), VI_SUCCESS_MAX_CNT);
}

TEST_F(ReadWrite, WriteSendsEveryByteWhileThePeerReadsSlowly) {
  const std::string payload(8 << 20, 'w');
  ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_TMO_VALUE, 20000), VI_SUCCESS);
  std::string received;
  std::thread reader([&] { received = peer_.receive(payload.size()); });
  ViUInt32 count = 0;
  EXPECT_EQ(viWrite(vi_, reinterpret_cast<ViConstBuf>(payload.data()),
                    static_cast<ViUInt32>(payload.size()), &count),
            VI_SUCCESS);
  reader.join();
  EXPECT_EQ(count, payload.size());
  EXPECT_EQ(received.size(), payload.size());
}

TEST_F(ReadWrite, WriteToAPeerThatDoesNotReadTimesOut) {
  const std::string payload(64 << 20, 'w');
  ViUInt32 count = 0;
  EXPECT_EQ(viWrite(vi_, reinterpret_cast<ViConstBuf>(payload.data()),
                    static_cast<ViUInt32>(payload.size()), &count),
            VI_ERROR_TMO);
  EXPECT_GT(count, 0u);
  EXPECT_LT(count, payload.size());
}

TEST_F(ReadWrite, BufferedBytesSurviveTheLossThenEveryCallReportsIt) {
  peer_.send("1\n");
  peer_.close_connection();
  settle();
  Reply r = read(vi_, 100);
  EXPECT_EQ(r.status, VI_SUCCESS_TERM_CHAR);
  EXPECT_EQ(r.bytes, "1\n");
  EXPECT_EQ(read(vi_, 100).status, VI_ERROR_CONN_LOST);
  EXPECT_EQ(viWrite(vi_, reinterpret_cast<ViConstBuf>("x\n"), 2, nullptr), VI_ERROR_CONN_LOST);
  EXPECT_EQ(viPrintf(vi_, "x\n"), VI_ERROR_CONN_LOST);
  char word[16];
  EXPECT_EQ(viScanf(vi_, "%s", word), VI_ERROR_CONN_LOST);
  // Discarding only drops bytes; the loss stays for the next send or receive.
  EXPECT_EQ(viFlush(vi_, VI_READ_BUF_DISCARD | VI_WRITE_BUF_DISCARD), VI_SUCCESS);
  EXPECT_EQ(viPrintf(vi_, "x\n"), VI_ERROR_CONN_LOST);
  ViUInt32 timeout = 0;
  EXPECT_EQ(viGetAttribute(vi_, VI_ATTR_TMO_VALUE, &timeout), VI_SUCCESS);
  EXPECT_EQ(viClose(vi_), VI_SUCCESS);
}

TEST_F(ReadWrite, ConflictingFlushMasksAreRefused) {
  const ViUInt16 masks[] = {0,
                            VI_READ_BUF | VI_READ_BUF_DISCARD,
                            VI_WRITE_BUF | VI_WRITE_BUF_DISCARD,
                            VI_IO_IN_BUF | VI_IO_IN_BUF_DISCARD,
                            VI_IO_OUT_BUF | VI_IO_OUT_BUF_DISCARD,
                            0x100};
  for (const ViUInt16 mask : masks) EXPECT_EQ(viFlush(vi_, mask), VI_ERROR_INV_MASK) << mask;
  const ViUInt16 accepted[] = {VI_READ_BUF_DISCARD | VI_WRITE_BUF_DISCARD,
                               VI_READ_BUF,
                               VI_WRITE_BUF,
                               VI_IO_IN_BUF,
                               VI_IO_OUT_BUF,
                               VI_IO_IN_BUF_DISCARD | VI_IO_OUT_BUF_DISCARD,
                               VI_READ_BUF_DISCARD | VI_IO_IN_BUF_DISCARD};
  for (const ViUInt16 mask : accepted) EXPECT_EQ(viFlush(vi_, mask), VI_SUCCESS) << mask;
}

// Discarding drops the buffered rest and whatever the socket already holds, so that a stale
// reply is never taken for the next one.
TEST_F(ReadWrite, ReadDiscardDropsBufferedAndWaitingBytes) {
  peer_.send("stale reply\n");
  EXPECT_EQ(read(vi_, 2).bytes, "st");
  peer_.send("older reply\n");
  settle();
  ASSERT_EQ(viFlush(vi_, VI_READ_BUF_DISCARD | VI_WRITE_BUF_DISCARD), VI_SUCCESS);
  peer_.send("fresh\n");
  EXPECT_EQ(read(vi_, 100).bytes, "fresh\n");
}

TEST_F(ReadWrite, ReadBufferFlushKeepsAReplyNotYetReadIntoIt) {
  peer_.send("reply\n");
  settle();  // in the connection, not yet in the session's buffer
  EXPECT_EQ(viFlush(vi_, VI_READ_BUF), VI_SUCCESS);
  EXPECT_EQ(read(vi_, 100).bytes, "reply\n");
}

TEST_F(ReadWrite, ReadBufferFlushDropsTheRestOfAMessage) {
  peer_.send("abcdef");
  char head[4] = {};
  ASSERT_EQ(viScanf(vi_, "%3c", head), VI_SUCCESS);
  EXPECT_STREQ(head, "abc");
  std::thread later([this] {
    settle();
    peer_.send("ghi\n");
  });
  EXPECT_EQ(viFlush(vi_, VI_READ_BUF), VI_SUCCESS);
  later.join();
  peer_.send("next\n");
  EXPECT_EQ(read(vi_, 100).bytes, "next\n");
}

TEST_F(ReadWrite, WriteBufferFlushSendsOrDiscards) {
  ASSERT_EQ(viPrintf(vi_, "VOLT 1"), VI_SUCCESS);
  EXPECT_EQ(peer_.receive_pending(), "");
  ASSERT_EQ(viFlush(vi_, VI_WRITE_BUF), VI_SUCCESS);
  EXPECT_EQ(peer_.receive(6), "VOLT 1");
  ASSERT_EQ(viPrintf(vi_, "CURR 2"), VI_SUCCESS);
  ASSERT_EQ(viFlush(vi_, VI_WRITE_BUF_DISCARD), VI_SUCCESS);
  ASSERT_EQ(viFlush(vi_, VI_WRITE_BUF), VI_SUCCESS);
  ASSERT_EQ(viPrintf(vi_, "OUTP ON\n"), VI_SUCCESS);
  EXPECT_EQ(peer_.receive(8), "OUTP ON\n");
}

TEST_F(ReadWrite, RawWriteKeepsPendingFormattedBytesInOrder) {
  ASSERT_EQ(viPrintf(vi_, "INST "), VI_SUCCESS);
  ASSERT_EQ(viWrite(vi_, reinterpret_cast<ViConstBuf>("ch2\n"), 4, nullptr), VI_SUCCESS);
  EXPECT_EQ(peer_.receive(9), "INST ch2\n");
}

}  // namespace
}  // namespace zr48::visa::testing
