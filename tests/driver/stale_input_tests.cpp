// What the operation frame's discard of stale input does for the next exchange: the late rest of
// a long reply is dropped rather than taken for the next answer, stale lines are never an answer,
// and a link lost meanwhile is reported (and recorded where the caller records failures) by the
// exchange that needs it, a failed second self-test leaving the outputs alone.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>

#include "attribute_io.h"
#include "guarded_buffer.h"
#include "loopback_peer.h"
#include "sim_session.h"

namespace zr48::test {
namespace {

using std::chrono::milliseconds;

struct RawReplyCall {
  const char* name;
  // Runs the call and returns what it handed back.
  std::function<ViStatus(ViSession, std::string&)> call;
  const char* sent;        // the line the instrument receives
  std::size_t kept;        // how much of a long reply the caller gets
  const char* short_text;  // the next call's reply, as handed back
};

ViStatus Into(std::string& out, ViStatus status, const ViChar* text) {
  out = text;
  return status;
}

const RawReplyCall kCalls[] = {
    {"ReadCmd",
     [](ViSession vi, std::string& out) {
       ViChar reply[512] = "";
       return Into(out, ZR48_ReadCmd(vi, "DATA?", reply), reply);
     },
     "DATA?\n", 511, "B\n"},
    {"GetApply",
     [](ViSession vi, std::string& out) {
       ViChar reply[512] = "";
       return Into(out, ZR48_GetApply(vi, "CH1", reply), reply);
     },
     "APPLY? CH1\n", 511, "B\n"},
    {"string attribute",
     [](ViSession vi, std::string& out) {
       ViChar value[512] = "";
       return Into(out, ZR48_GetAttributeViString(vi, "", ZR48_ATTR_STB, 512, value), value);
     },
     "*STB?\n", 511, "B\n"},
    {"error_query",
     [](ViSession vi, std::string& out) {
       ViInt32 code = 0;
       ViChar message[256] = "";
       return Into(out, ZR48_error_query(vi, &code, message), message);
     },
     ":SYST:ERR?\n", 255, "B\n"},
};

// A 1000-byte reply arrives as 600 bytes and, a moment later, the other 400; then the next query
// gets its own short answer, and nothing of the first reply.
TEST(StaleInputTest, TheLateRestOfALongReplyIsNeverTheNextAnswer) {
  for (const RawReplyCall& c : kCalls) {
    SCOPED_TRACE(c.name);
    LoopbackPeer instrument({
        {{milliseconds(0), std::string(600, 'a')},
         {milliseconds(60), std::string(399, 'a') + "\n"}},
        {{milliseconds(0), "B\n"}},
    });
    std::string resource = instrument.resource();
    ViSession vi = VI_NULL;
    ASSERT_EQ(ZR48_InitWithOptions(resource.data(), VI_FALSE, VI_FALSE, "", &vi), VI_SUCCESS);
    std::string first;
    std::string second;
    EXPECT_EQ(c.call(vi, first), VI_SUCCESS);
    EXPECT_EQ(first, std::string(c.kept, 'a'));
    EXPECT_EQ(c.call(vi, second), VI_SUCCESS);
    EXPECT_EQ(second, c.short_text);
    EXPECT_EQ(ZR48_close(vi), VI_SUCCESS);
    EXPECT_EQ(instrument.received(), std::string(c.sent) + c.sent);
  }
}

using LostLinkTest = SimSessionTest;

// The loss is known from a failed read; the discard before the next exchange does not report it,
// so the call that needs the link does. The selection and the command leave in one write, so a
// per-channel access fails within its selection: returned, not recorded, as a failed selection
// is. Instrument-wide attribute accesses record it; the instrument functions never record.
TEST_F(LostLinkTest, TheNextCallReportsALinkLostBeforeItAndRecordsItWhereItRecords) {
  const struct {
    const char* name;
    std::function<ViStatus(ViSession)> call;
    bool recorded;
  } rows[] = {
      {"instrument-wide write",
       [](ViSession vi) { return ZR48_SetAttributeViString(vi, "", ZR48_ATTR_ESE, "1"); }, true},
      {"per-channel write",
       [](ViSession vi) { return ZR48_SetAttributeViString(vi, "ch2", ZR48_ATTR_OUTP, "1"); },
       false},
      {"per-channel read",
       [](ViSession vi) { return ReadString(vi, "ch3", ZR48_ATTR_OUTP_PAR).status; }, false},
      {"instrument-wide read",
       [](ViSession vi) { return ReadString(vi, "", ZR48_ATTR_STB).status; }, true},
      {"instrument function", [](ViSession vi) { return ZR48_SetVoltage(vi, "1", "ch1"); }, false},
  };
  const ViSession vi = OpenReal();
  sim_.close_after_lines(1);
  ViChar reply[512] = "";
  ASSERT_EQ(ZR48_ReadCmd(vi, "*IDN?", reply), LinkLost());
  (void)TakeErrorInfo(vi);
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(row.call(vi), LinkLost());
    EXPECT_EQ(TakeErrorInfo(vi).primary, row.recorded ? LinkLost() : VI_SUCCESS);
  }
}

// When the second "*TST?" fails, the outputs stay as far as they were written: not at all.
TEST_F(LostLinkTest, AFailedSecondSelfTestLeavesTheOutputsAlone) {
  const ViSession vi = OpenReal();
  sim_.set_tst("+1,\"Output 3 failed\"");
  sim_.close_after_lines(2);  // the first "*TST?" is answered, the second one is not
  ViInt16 result = 12345;
  MessageBuffer message;
  EXPECT_EQ(ZR48_self_test(vi, &result, message.data()), LinkLost());
  EXPECT_EQ(result, 12345);
  EXPECT_TRUE(message.untouched());
  EXPECT_EQ(TakeErrorInfo(vi).primary, LinkLost());
}

// Stale input, whatever exchanges come between, is never taken for the next query's answer.
TEST_F(LostLinkTest, StaleInputLeftByCommandsIsNeverAnAnswer) {
  const ViSession vi = OpenReal();
  sim_.push_reply("1\nstale line\n");
  ReplyBuffer reply;
  ASSERT_EQ(ZR48_GetOutpEnab(vi, "ch1", reply.data()), VI_SUCCESS);
  EXPECT_EQ(reply.text(), "1");
  ASSERT_EQ(ZR48_SetVoltage(vi, "2.5", "ch1"), VI_SUCCESS);
  ASSERT_EQ(ZR48_SetAttributeViString(vi, "", ZR48_ATTR_SRE, "4"), VI_SUCCESS);
  ASSERT_EQ(ZR48_WriteCmd(vi, "*CLS"), VI_SUCCESS);
  ReplyBuffer level;
  ASSERT_EQ(ZR48_GetVoltage(vi, "", level.data(), "ch1"), VI_SUCCESS);
  EXPECT_EQ(level.text(), "+2.50000E+00");
  const std::string sent =
      "INST ch1\nOUTP:ENAB?\nINST ch1\nVOLT 2.5\n*SRE 4\n*CLS\nINST ch1\nVOLT? \n";
  EXPECT_EQ(Arrived(sim_, sent), sent);
}

}  // namespace
}  // namespace zr48::test
