// What the driver makes of the instrument's replies: a blank answer to a word query, self-test
// results it cannot read, the display text whole, and the identification check.
#include <gtest/gtest.h>

#include <string>

#include "attribute_io.h"
#include "guarded_buffer.h"
#include "sim_session.h"

namespace zr48::test {
namespace {

using ReplyCheckTest = SimSessionTest;

// A reply without a word is no reading: an error, and the buffer holds an empty string, never
// the value an earlier call left there.
TEST_F(ReplyCheckTest, ABlankReplyToAWordQueryIsAnErrorWithAnEmptyString) {
  const ViSession vi = OpenReal();
  for (const char* blank : {"\n", " \r\n", "\t \n"}) {
    SCOPED_TRACE(testing::PrintToString(std::string(blank)));
    ViChar reading[512] = "+1.00000E+00";  // an earlier channel's reading
    sim_.clear_received();
    sim_.push_reply(blank);
    EXPECT_EQ(ZR48_MeasVolt(vi, reading, "ch4"), VI_ERROR_INV_RESPONSE);
    EXPECT_STREQ(reading, "");
    EXPECT_EQ(Arrived(sim_, "INST ch4\nMEAS:VOLT?\n"), "INST ch4\nMEAS:VOLT?\n");

    ReplyBuffer fresh;  // never written by the caller: still terminated afterwards
    sim_.push_reply(blank);
    EXPECT_EQ(ZR48_GetDisplayStat(vi, fresh.data()), VI_ERROR_INV_RESPONSE);
    EXPECT_EQ(fresh.data()[0], '\0');
    EXPECT_TRUE(fresh.guard_untouched());
  }
  // The next exchange is not disturbed.
  ReplyBuffer next;
  EXPECT_EQ(ZR48_GetDisplayStat(vi, next.data()), VI_SUCCESS);
  EXPECT_EQ(next.text(), "1");
}

TEST_F(ReplyCheckTest, DisplayTextIsReturnedWholeWithItsQuotesAndLineFeed) {
  const ViSession vi = OpenReal();
  ASSERT_EQ(ZR48_SetDisplayText(vi, "\"Bench 4 running\""), VI_SUCCESS);
  ReplyBuffer text;
  EXPECT_EQ(ZR48_GetDisplayText(vi, text.data()), VI_SUCCESS);
  EXPECT_EQ(text.text(), "\"Bench 4 running\"\n");
  EXPECT_TRUE(text.guard_untouched());
  const std::string sent = "DISP:TEXT \"Bench 4 running\"\nDISP:TEXT?\n";
  EXPECT_EQ(Arrived(sim_, sent), sent);
}

struct SelfTestCase {
  const char* reply;  // without its line feed
  ViStatus status;
  ViInt16 result;
  const char* message;
  const char* sent;
};

TEST_F(ReplyCheckTest, SelfTestResultsAreReadOrReportedAsUnread) {
  const SelfTestCase cases[] = {
      {"0", VI_SUCCESS, 0, "", "*TST?\n"},
      {"1", VI_SUCCESS, 1, "", "*TST?\n"},
      {"+1,\"Output 3 failed\"", VI_SUCCESS, 1, "Output 3 failed", "*TST?\n*TST?\n"},
      {"-32768,\"x\"", VI_SUCCESS, -32768, "x", "*TST?\n*TST?\n"},
      // No result to be read: -1 and the reply as it came, never a pass.
      {"", VI_ERROR_INV_RESPONSE, -1, "\n", "*TST?\n"},
      {"X", VI_ERROR_INV_RESPONSE, -1, "X\n", "*TST?\n"},
      {"ERR,\"x\"", VI_ERROR_INV_RESPONSE, -1, "ERR,\"x\"\n", "*TST?\n*TST?\n"},
      {"70000", VI_ERROR_INV_RESPONSE, -1, "70000\n", "*TST?\n*TST?\n"},
      {"-32769,\"x\"", VI_ERROR_INV_RESPONSE, -1, "-32769,\"x\"\n", "*TST?\n*TST?\n"},
  };
  const ViSession vi = OpenReal();
  for (const SelfTestCase& c : cases) {
    SCOPED_TRACE(c.reply);
    sim_.set_tst(c.reply);
    sim_.clear_received();
    ViInt16 result = 12345;
    MessageBuffer message;
    EXPECT_EQ(ZR48_self_test(vi, &result, message.data()), c.status);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(message.text(), c.message);
    EXPECT_EQ(Arrived(sim_, c.sent), c.sent);
    const ErrorInfo info = TakeErrorInfo(vi);
    EXPECT_EQ(info.primary, c.status);
    if (c.status < 0) {
      EXPECT_EQ(info.elaboration.rfind("The self-test reply holds no result", 0), 0u)
          << info.elaboration;
    }
  }
}

// Units of the model differ in serial number and firmware; both are free, and so is anything
// after them.
TEST_F(ReplyCheckTest, IdentificationChecksManufacturerAndModelOnly) {
  for (const char* identification :
       {"Velharn, HLV3907, 0123456789AF, 1.00-1.00", "Velharn, HLV3907, 7F00A1B2C3D4, 2.13-1.07",
        "Velharn, HLV3907,", "Velharn, HLV3907,x",
        "Velharn, HLV3907, 0123456789AF, 1.00-1.00,OPT1"}) {
    SCOPED_TRACE(identification);
    sim_.set_idn(identification);
    std::string resource = sim_.resource();
    ViSession vi = VI_NULL;
    ASSERT_EQ(ZR48_InitWithOptions(resource.data(), VI_TRUE, VI_FALSE, "", &vi), VI_SUCCESS);
    EXPECT_EQ(ZR48_close(vi), VI_SUCCESS);
  }
}

TEST_F(ReplyCheckTest, ARefusedIdentificationIsQuotedInTheElaboration) {
  const std::string other = "Velharn, HLV3908, 0123456789AF, 1.00-1.00";
  const std::string long_reply = "Acme, " + std::string(200, 'M');
  struct Case {
    std::string idn;
    std::string quoted;
  };
  for (const Case& c : {Case{other, other}, Case{long_reply, long_reply.substr(0, 100)}}) {
    sim_.set_idn(c.idn);
    (void)TakeErrorInfo(VI_NULL);
    std::string resource = sim_.resource();
    ViSession vi = VI_NULL;
    ASSERT_EQ(ZR48_InitWithOptions(resource.data(), VI_TRUE, VI_FALSE, "", &vi),
              VI_ERROR_FAIL_ID_QUERY);
    const ErrorInfo info = TakeErrorInfo(VI_NULL);
    EXPECT_EQ(info.primary, VI_ERROR_FAIL_ID_QUERY);
    EXPECT_EQ(info.elaboration, "The instrument answered '" + c.quoted +
                                    "'; expected an identification beginning 'Velharn, HLV3907,'");
  }
}

}  // namespace
}  // namespace zr48::test
