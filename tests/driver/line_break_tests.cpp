// Texts that would end a command line early and smuggle in a command of their own: refused with
// IVI_ERROR_INVALID_PARAMETER before anything is sent. The raw paths stay raw.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "attribute_io.h"
#include "guarded_buffer.h"
#include "sim_session.h"

namespace zr48::test {
namespace {

using LineBreakTest = SimSessionTest;

constexpr const char* kInjections[] = {"1\nOUTP ON", "1\rOUTP ON", "\n", "5\r\n*RST"};

TEST_F(LineBreakTest, InstrumentFunctionInputsWithALineBreakAreRefused) {
  const ViSession vi = OpenReal();
  for (const char* text : kInjections) {
    SCOPED_TRACE(testing::PrintToString(std::string(text)));
    ReplyBuffer reply;
    EXPECT_EQ(ZR48_SetVoltage(vi, text, "ch1"), IVI_ERROR_INVALID_PARAMETER);
    ErrorInfo info = TakeErrorInfo(vi);
    EXPECT_EQ(info.secondary, VI_ERROR_PARAMETER2);
    EXPECT_EQ(info.elaboration, "Line feed or carriage return in Input String");

    EXPECT_EQ(ZR48_SetOutpEnab(vi, "ch1", text), IVI_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(TakeErrorInfo(vi).secondary, VI_ERROR_PARAMETER3);
    EXPECT_EQ(ZR48_GetApply(vi, text, reply.data()), IVI_ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(reply.untouched());
    EXPECT_EQ(ZR48_SetCalVolt(vi, text), IVI_ERROR_INVALID_PARAMETER);
    (void)TakeErrorInfo(vi);
  }
  EXPECT_EQ(Sent(), "");
  EXPECT_EQ(ReadStringOk(vi, "ch1", ZR48_ATTR_OUTP), "0\n");  // never switched on
}

TEST_F(LineBreakTest, ChannelNamesWithALineBreakAreRefusedAsParameters) {
  const ViSession vi = OpenReal();
  EXPECT_EQ(ZR48_SetVoltage(vi, "1", "ch1\nOUTP ON"), IVI_ERROR_INVALID_PARAMETER);
  const ErrorInfo info = TakeErrorInfo(vi);
  EXPECT_EQ(info.secondary, VI_ERROR_PARAMETER3);
  EXPECT_EQ(info.elaboration, "Line feed or carriage return in Channel Name");
  EXPECT_EQ(ZR48_SetOutpEnab(vi, "ch1\r", "ON"), IVI_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(TakeErrorInfo(vi).secondary, VI_ERROR_PARAMETER2);
  EXPECT_EQ(Sent(), "");
}

// Instrument-wide and per-channel attribute values: refused, and the value written before stays.
TEST_F(LineBreakTest, AttributeValuesWithALineBreakAreRefusedAndNotCached) {
  const ViSession vi = OpenReal();
  ASSERT_EQ(ZR48_SetAttributeViString(vi, "ch1", ZR48_ATTR_OUTP_TIM_DATA, "5"), VI_SUCCESS);
  ASSERT_EQ(ZR48_SetAttributeViString(vi, "", ZR48_ATTR_ESE, "16"), VI_SUCCESS);
  // Both settings have arrived (a serial line delivers them after the calls return).
  const std::string settings = "INST ch1\nOUTP:TIM:DATA 5\n*ESE 16\n";
  EXPECT_EQ(sim_.wait_for_received(settings.size(), std::chrono::seconds(5)), settings);
  sim_.clear_received();
  for (const char* text : kInjections) {
    SCOPED_TRACE(testing::PrintToString(std::string(text)));
    EXPECT_EQ(ZR48_SetAttributeViString(vi, "ch1", ZR48_ATTR_OUTP_TIM_DATA, text),
              IVI_ERROR_INVALID_PARAMETER);
    const ErrorInfo info = TakeErrorInfo(vi);
    EXPECT_EQ(info.secondary, VI_ERROR_PARAMETER4);
    EXPECT_EQ(info.elaboration, "Line feed or carriage return in the attribute value");
    EXPECT_EQ(ZR48_SetAttributeViString(vi, "", ZR48_ATTR_ESE, text), IVI_ERROR_INVALID_PARAMETER);
    (void)TakeErrorInfo(vi);
  }
  EXPECT_EQ(Sent(), "");
  // The refused value never became the attribute's: a read asks the instrument.
  EXPECT_EQ(ReadStringOk(vi, "ch1", ZR48_ATTR_OUTP_TIM_DATA), "+5.00000E+00\n");
  EXPECT_EQ(ReadStringOk(vi, "", ZR48_ATTR_ESE), "16\n");
}

// A command without a parameter ignores the written text, so nothing can be smuggled through it.
TEST_F(LineBreakTest, ParameterlessCommandsIgnoreTheText) {
  const ViSession vi = OpenReal();
  EXPECT_EQ(ZR48_SetAttributeViString(vi, "", ZR48_ATTR_CLS, "x\n*RST"), VI_SUCCESS);
  EXPECT_EQ(Arrived(sim_, "*CLS\n"), "*CLS\n");
}

TEST_F(LineBreakTest, RawCommandsStayRaw) {
  const ViSession vi = OpenReal();
  EXPECT_EQ(ZR48_WriteCmd(vi, "*ESE 4\n*SRE 8"), VI_SUCCESS);
  ViChar reply[512] = "";
  EXPECT_EQ(ZR48_ReadCmd(vi, "*ESE 1\n*ESE?", reply), VI_SUCCESS);
  EXPECT_STREQ(reply, "1\n");
  const std::string sent = "*ESE 4\n*SRE 8\n*ESE 1\n*ESE?\n";
  EXPECT_EQ(Arrived(sim_, sent), sent);
}

}  // namespace
}  // namespace zr48::test
