// The operation frame's finer points: what a failed channel selection records, what a failed
// second self-test leaves in the caller's outputs, and stale input across commands.
#include <gtest/gtest.h>

#include <string>

#include "attribute_io.h"
#include "guarded_buffer.h"
#include "sim_session.h"

namespace zr48::test {
namespace {

using FrameConformanceTest = SimSessionTest;

// The selection and the command leave in one write; when the write fails before it got past the
// selection's bytes, the access ends without error information, as a failed selection does.
TEST_F(FrameConformanceTest, AFailedSelectionIsNotRecordedAFailedCommandIs) {
  const ViSession vi = OpenReal();
  sim_.close_after_lines(1);
  ViChar reply[512] = "";
  ASSERT_EQ(ZR48_ReadCmd(vi, "*IDN?", reply), LinkLost());
  (void)TakeErrorInfo(vi);
  EXPECT_EQ(ZR48_SetAttributeViString(vi, "ch3", ZR48_ATTR_OUTP_PAR, "0"), LinkLost());
  EXPECT_EQ(TakeErrorInfo(vi).primary, VI_SUCCESS);
  EXPECT_EQ(ReadString(vi, "ch3", ZR48_ATTR_OUTP_PAR).status, LinkLost());
  EXPECT_EQ(TakeErrorInfo(vi).primary, VI_SUCCESS);
  // An instrument-wide command has no selection: its failure is recorded.
  EXPECT_EQ(ZR48_SetAttributeViString(vi, "", ZR48_ATTR_SRE, "0"), LinkLost());
  EXPECT_EQ(TakeErrorInfo(vi).primary, LinkLost());
}

// When the second "*TST?" fails, the outputs stay as far as they were written: not at all.
TEST_F(FrameConformanceTest, AFailedSecondSelfTestLeavesTheOutputsAlone) {
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
TEST_F(FrameConformanceTest, StaleInputLeftByCommandsIsNeverAnAnswer) {
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
