// The utility and error functions, in real sessions against the simulator and in simulated ones.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "ZR48.h"
#include "attribute_io.h"
#include "engine/ivi_engine.h"
#include "engine/session_registry.h"
#include "guarded_buffer.h"
#include "sim_session.h"
#include "visa/visa.h"

namespace zr48::test {
namespace {

std::string Message(ViStatus code, ViSession vi = VI_NULL) {
  ViChar text[256] = {};
  EXPECT_GE(ZR48_error_message(vi, code, text), VI_SUCCESS);
  return text;
}

using UtilityTest = SimSessionTest;

// ---- Self-test --------------------------------------------------------------------------

struct SelfTestCase {
  const char* reply;  // without its line feed
  ViStatus status;
  ViInt16 result;
  const char* message;
  const char* sent;
};

TEST_F(UtilityTest, SelfTestResultsAreReadOrReportedAsUnread) {
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

// A long reply runs the test again and scans the second answer, its message cut to 255
// characters.
TEST_F(UtilityTest, SelfTestLongReplyRunsTheTestAgainAndScansIt) {
  const std::string long_reply = "2,\"" + std::string(400, 'm') + "\"\n";
  const struct {
    std::string first, second;
    ViInt16 result;
    std::string message;
  } rows[] = {{"0,\"Self test passed\"\n", "-330,\"Fan failure\"\n", -330, "Fan failure"},
              {long_reply, long_reply, 2, std::string(255, 'm')}};
  const ViSession vi = OpenReal();
  for (const auto& row : rows) {
    SCOPED_TRACE(row.first);
    sim_.clear_received();
    sim_.push_reply(row.first);
    sim_.push_reply(row.second);
    ViInt16 result = 0;
    MessageBuffer message;
    EXPECT_EQ(ZR48_self_test(vi, &result, message.data()), VI_SUCCESS);
    EXPECT_EQ(result, row.result);
    EXPECT_EQ(message.text(), row.message);
    EXPECT_TRUE(message.guard_untouched());
    EXPECT_EQ(Sent(), "*TST?\n*TST?\n");
  }
}

// A simulated session's self-test passes and its error queue is empty; nothing is sent.
TEST_F(UtilityTest, SimulatedSelfTestAndErrorQueryReportNoError) {
  const ViSession vi = OpenSimulated();
  ViInt16 result = -1;
  ViInt32 code = -1;
  MessageBuffer self_test;
  MessageBuffer error;
  EXPECT_EQ(ZR48_self_test(vi, &result, self_test.data()), VI_SUCCESS);
  EXPECT_EQ(ZR48_error_query(vi, &code, error.data()), VI_SUCCESS);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(self_test.text(), "No error.");
  EXPECT_EQ(error.text(), "No error.");
  EXPECT_EQ(Sent(), "");
}

TEST_F(UtilityTest, SelfTestTimeOutIsRecorded) {
  const ViSession vi = OpenReal();
  ASSERT_EQ(SetIoTimeout(vi, 200), VI_SUCCESS);
  sim_.set_silent(true);
  ViInt16 result = 0;
  MessageBuffer message;
  EXPECT_EQ(ZR48_self_test(vi, &result, message.data()), VI_ERROR_TMO);
  EXPECT_EQ(TakeErrorInfo(vi).primary, VI_ERROR_TMO);
}

// ---- Revision and error queries ---------------------------------------------------------

TEST_F(UtilityTest, RevisionQueryReadsDriverAndFirmwareRevisions) {
  const ViSession vi = OpenReal();
  MessageBuffer driver;
  MessageBuffer firmware;
  EXPECT_EQ(ZR48_revision_query(vi, driver.data(), firmware.data()), VI_SUCCESS);
  EXPECT_EQ(driver.text().rfind("Driver: ZR48 1.0", 0), 0u) << driver.text();
  EXPECT_NE(firmware.text().find("1.00-1.00"), std::string::npos) << firmware.text();
}

TEST_F(UtilityTest, ErrorQueryParsesTheCodeAndKeepsTheReply) {
  const ViSession vi = OpenReal();
  struct Row {
    std::string reply;
    ViInt32 code;
    std::string message;
  };
  const Row rows[] = {
      {"-222,\"Data out of range\"\n", -222, "-222,\"Data out of range\"\n"},
      {"+0,\"No error\"\n", 0, "+0,\"No error\"\n"},
      {"113,\"Device specific\"\n", 113, "113,\"Device specific\"\n"},
      // Not an integer: a code that cannot be taken for "no error".
      {"Garbled\n", VI_ERROR_INV_RESPONSE, "Garbled\n"},
      {"99999999999,\"x\"\n", VI_ERROR_INV_RESPONSE, "99999999999,\"x\"\n"},
      // Kept as received, cut to 255 characters for the 256-byte buffer.
      {"-100,\"" + std::string(300, 'e') + "\"\n", -100,
       ("-100,\"" + std::string(300, 'e')).substr(0, 255)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.reply);
    sim_.clear_received();
    sim_.push_reply(row.reply);
    ViInt32 code = 12345;
    MessageBuffer message;
    EXPECT_EQ(ZR48_error_query(vi, &code, message.data()), VI_SUCCESS);
    EXPECT_EQ(code, row.code);
    EXPECT_EQ(message.text(), row.message);
    EXPECT_TRUE(message.guard_untouched());
    EXPECT_EQ(Sent(), ":SYST:ERR?\n");
  }
}

TEST_F(UtilityTest, ErrorQueryReadsTheInstrumentsQueue) {
  const ViSession vi = OpenReal();
  ASSERT_EQ(ZR48_WriteCmd(vi, "NO:SUCH:HEADER"), VI_SUCCESS);
  ViInt32 code = 0;
  MessageBuffer message;
  EXPECT_EQ(ZR48_error_query(vi, &code, message.data()), VI_SUCCESS);
  EXPECT_LT(code, 0);
  EXPECT_EQ(message.text().rfind(std::to_string(code) + ",", 0), 0u) << message.text();
}

// ---- Null output pointers ---------------------------------------------------------------

TEST_F(UtilityTest, EveryNullOutputPointerIsRecorded) {
  struct Row {
    const char* what;
    std::function<ViStatus(ViSession)> call;
    ViInt32 position;
    const char* message;
  };
  ViInt16 result = 0;
  ViInt32 code = 0;
  ViStatus status = 0;
  ViChar text[256] = {};
  const Row rows[] = {
      {"self_test result", [&](ViSession vi) { return ZR48_self_test(vi, nullptr, text); }, 2,
       "Null address for Test Result"},
      {"self_test message", [&](ViSession vi) { return ZR48_self_test(vi, &result, nullptr); }, 3,
       "Null address for Test Message"},
      {"self_test both", [&](ViSession vi) { return ZR48_self_test(vi, nullptr, nullptr); }, 2,
       "Null address for Test Result"},
      {"revision driver", [&](ViSession vi) { return ZR48_revision_query(vi, nullptr, text); }, 2,
       "Null address for Driver Revision"},
      {"revision instrument", [&](ViSession vi) { return ZR48_revision_query(vi, text, nullptr); },
       3, "Null address for Instrument Revision"},
      {"error_query code", [&](ViSession vi) { return ZR48_error_query(vi, nullptr, text); }, 2,
       "Null address for Error Code"},
      {"error_query message", [&](ViSession vi) { return ZR48_error_query(vi, &code, nullptr); }, 3,
       "Null address for Error Message"},
      {"error_message", [&](ViSession vi) { return ZR48_error_message(vi, 0, nullptr); }, 3,
       "Null address for Error Message"},
      {"GetError code", [&](ViSession vi) { return ZR48_GetError(vi, nullptr, 10, text); }, 2,
       "Null address for Error"},
      {"GetError description",
       [&](ViSession vi) { return ZR48_GetError(vi, &status, 10, nullptr); }, 4,
       "Null address for Description"},
      {"GetChannelName name", [&](ViSession vi) { return ZR48_GetChannelName(vi, 1, 10, nullptr); },
       4, "Null address for Channel Name"},
      {"GetChannelName index 0", [&](ViSession vi) { return ZR48_GetChannelName(vi, 0, 10, text); },
       2, "Channel Index"},
      {"GetChannelName index 8", [&](ViSession vi) { return ZR48_GetChannelName(vi, 8, 10, text); },
       2, "Channel Index"},
      {"GetChannelName index -1",
       [&](ViSession vi) { return ZR48_GetChannelName(vi, -1, 10, text); }, 2, "Channel Index"},
  };
  for (const bool simulated : {false, true}) {
    const ViSession vi = simulated ? OpenSimulated() : OpenReal();
    for (const Row& row : rows) {
      SCOPED_TRACE(std::string(row.what) + (simulated ? " (simulated)" : " (real)"));
      sim_.clear_received();
      EXPECT_EQ(row.call(vi), IVI_ERROR_INVALID_PARAMETER);
      const ErrorInfo error = TakeErrorInfo(vi);
      EXPECT_EQ(error.primary, IVI_ERROR_INVALID_PARAMETER);
      EXPECT_EQ(error.secondary, Ivi_ParamPositionError(row.position));
      EXPECT_EQ(error.elaboration, row.message);
      EXPECT_EQ(Sent(), "");
    }
    ZR48_close(vi);
    vi_ = VI_NULL;
  }
}

// ---- Error messages and GetError --------------------------------------------------------

TEST_F(UtilityTest, ErrorMessageForDriverEngineAndVisaCodes) {
  EXPECT_EQ(Message(ZR48_ERROR_TRIGGER_NOT_SOFTWARE),
            "The trigger source is not software trigger.");
  EXPECT_FALSE(Message(IVI_ERROR_INVALID_PARAMETER).empty());
  ViChar visa_text[256] = {};
  ASSERT_GE(viStatusDesc(VI_NULL, VI_ERROR_TMO, visa_text), VI_SUCCESS);
  EXPECT_EQ(Message(VI_ERROR_TMO), visa_text);
  // With a session the driver's table is used as well.
  const ViSession vi = OpenSimulated();
  ViChar text[256] = {};
  EXPECT_EQ(ZR48_error_message(vi, ZR48_ERROR_TRIGGER_NOT_SOFTWARE, text), VI_SUCCESS);
  EXPECT_STREQ(text, "The trigger source is not software trigger.");
}

TEST_F(UtilityTest, GetErrorSizeQueryThenTextWithAllThreeParts) {
  const ViSession vi = OpenSimulated();
  ViInt16 result = 0;
  ASSERT_EQ(ZR48_self_test(vi, &result, nullptr), IVI_ERROR_INVALID_PARAMETER);
  const std::string expected =
      "Primary Error: (Hex 0xBFFA000F) " + Message(IVI_ERROR_INVALID_PARAMETER, vi) +
      "\nSecondary Error: (Hex 0xBFFC0003) " + Message(VI_ERROR_PARAMETER3, vi) +
      "\nElaboration: Null address for Test Message";
  const auto required = static_cast<ViStatus>(expected.size() + 1);

  // Asking for the size twice clears nothing.
  ViStatus code = 0;
  EXPECT_EQ(ZR48_GetError(vi, &code, 0, nullptr), required);
  EXPECT_EQ(code, IVI_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(ZR48_GetError(vi, nullptr, 0, nullptr), required);

  std::string text(required, '\0');
  code = 0;
  EXPECT_EQ(ZR48_GetError(vi, &code, required, text.data()), VI_SUCCESS);
  EXPECT_EQ(code, IVI_ERROR_INVALID_PARAMETER);
  EXPECT_STREQ(text.c_str(), expected.c_str());

  // Reading it cleared it.
  ViChar empty[16] = "x";
  EXPECT_EQ(ZR48_GetError(vi, &code, sizeof empty, empty), VI_SUCCESS);
  EXPECT_EQ(code, VI_SUCCESS);
  EXPECT_STREQ(empty, "");
}

TEST_F(UtilityTest, GetErrorPrimaryOnlyIsOneLine) {
  const ViSession vi = OpenSimulated();
  ASSERT_EQ(Ivi_SetErrorInfo(vi, VI_FALSE, ZR48_ERROR_TRIGGER_NOT_SOFTWARE, VI_SUCCESS, ""),
            VI_SUCCESS);
  ViChar text[1024] = {};
  ViStatus code = 0;
  EXPECT_EQ(ZR48_GetError(vi, &code, sizeof text, text), VI_SUCCESS);
  EXPECT_EQ(code, ZR48_ERROR_TRIGGER_NOT_SOFTWARE);
  EXPECT_STREQ(text,
               "Primary Error: (Hex 0xBFFA1001) The trigger source is not software trigger.\n");
}

TEST_F(UtilityTest, GetErrorBufferRule) {
  const ViSession vi = OpenSimulated();
  const std::string expected =
      "Primary Error: (Hex 0xBFFA1001) The trigger source is not software trigger.\n"
      "Elaboration: details";
  const auto required = static_cast<ViStatus>(expected.size() + 1);
  struct Row {
    ViInt32 size;
    ViStatus result;
    std::string text;
  };
  const Row rows[] = {
      {10, required, expected.substr(0, 9)},
      {1, required, ""},
      {required - 1, required, expected.substr(0, expected.size() - 1)},
      {required, VI_SUCCESS, expected},
      {-1, VI_SUCCESS, expected},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.size);
    ASSERT_EQ(Ivi_SetErrorInfo(vi, VI_TRUE, ZR48_ERROR_TRIGGER_NOT_SOFTWARE, VI_SUCCESS, "details"),
              VI_SUCCESS);
    std::array<ViChar, 1100> buffer;
    buffer.fill('\x5A');
    ViStatus code = 0;
    EXPECT_EQ(ZR48_GetError(vi, &code, row.size, buffer.data()), row.result);
    EXPECT_EQ(std::string(buffer.data()), row.text);
    EXPECT_EQ(buffer[row.text.size() + 1], '\x5A');
  }
}

TEST_F(UtilityTest, GetErrorWithoutASessionUsesTheThreadsInformation) {
  std::thread([] {
    // error_message on VI_NULL records the refusal for this thread only.
    EXPECT_EQ(ZR48_error_message(VI_NULL, 0, nullptr), IVI_ERROR_INVALID_PARAMETER);
    ViChar text[1024] = {};
    ViStatus code = 0;
    EXPECT_EQ(ZR48_GetError(VI_NULL, &code, sizeof text, text), VI_SUCCESS);
    EXPECT_EQ(code, IVI_ERROR_INVALID_PARAMETER);
    EXPECT_NE(std::string(text).find("Elaboration: Null address for Error Message"),
              std::string::npos)
        << text;
    EXPECT_EQ(ZR48_GetError(VI_NULL, &code, sizeof text, text), VI_SUCCESS);
    EXPECT_EQ(code, VI_SUCCESS);
  }).join();
  // This thread saw none of it.
  ViStatus code = -1;
  EXPECT_EQ(ZR48_GetError(VI_NULL, &code, 0, nullptr), 1);
  EXPECT_EQ(code, VI_SUCCESS);
}

TEST_F(UtilityTest, ClearErrorForgetsTheInformation) {
  const ViSession vi = OpenSimulated();
  ASSERT_EQ(ZR48_error_query(vi, nullptr, nullptr), IVI_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(ZR48_ClearError(vi), VI_SUCCESS);
  ViStatus code = -1;
  EXPECT_EQ(ZR48_GetError(vi, &code, 0, nullptr), 1);
  EXPECT_EQ(code, VI_SUCCESS);
}

// ---- Channel names ----------------------------------------------------------------------

TEST_F(UtilityTest, ChannelNamesByIndex) {
  const ViSession vi = OpenSimulated();
  ViChar name[16] = {};
  EXPECT_EQ(ZR48_GetChannelName(vi, 1, sizeof name, name), VI_SUCCESS);
  EXPECT_STREQ(name, "ch1");
  EXPECT_EQ(ZR48_GetChannelName(vi, 7, sizeof name, name), VI_SUCCESS);
  EXPECT_STREQ(name, "ch7");
  EXPECT_EQ(ZR48_GetChannelName(vi, 1, 0, nullptr), 4);
  EXPECT_EQ(ZR48_GetChannelName(vi, 2, 3, name), 4);
  EXPECT_STREQ(name, "ch");
  EXPECT_EQ(ZR48_GetChannelName(vi, 3, -1, name), VI_SUCCESS);
  EXPECT_STREQ(name, "ch3");
  // Indexes outside 1 to 7: EveryNullOutputPointerIsRecorded.
}

// ---- Locking, disable, pass-throughs ----------------------------------------------------

TEST_F(UtilityTest, LockSessionHoldsOffOtherThreads) {
  const ViSession vi = OpenReal();
  ViBoolean has_lock = VI_FALSE;
  ASSERT_EQ(ZR48_LockSession(vi, &has_lock), VI_SUCCESS);
  EXPECT_EQ(has_lock, VI_TRUE);
  // Locking again with the flag set does not nest: one unlock releases it.
  ASSERT_EQ(ZR48_LockSession(vi, &has_lock), VI_SUCCESS);

  std::thread other([&] { EXPECT_EQ(ZR48_SetVoltage(vi, "9.0", "ch7"), VI_SUCCESS); });
  // Go on once the other thread waits for the lock (bounded, so that a fault cannot hang).
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (engine::registry::lock_queue_length(vi) < 2 &&
         std::chrono::steady_clock::now() < give_up) {
    std::this_thread::yield();
  }
  EXPECT_EQ(ZR48_SetVoltage(vi, "1.0", "ch1"), VI_SUCCESS);
  EXPECT_EQ(ZR48_SetCurrent(vi, "0.5", "ch1"), VI_SUCCESS);
  EXPECT_EQ(ZR48_UnlockSession(vi, &has_lock), VI_SUCCESS);
  EXPECT_EQ(has_lock, VI_FALSE);
  // Unlocking with the flag clear does nothing.
  EXPECT_EQ(ZR48_UnlockSession(vi, &has_lock), VI_SUCCESS);
  other.join();
  const std::string expected = "INST ch1\nVOLT 1.0\nINST ch1\nCURR 0.5\nINST ch7\nVOLT 9.0\n";
  EXPECT_EQ(Arrived(sim_, expected), expected);
}

TEST_F(UtilityTest, DisableSendsNothing) {
  const ViSession vi = OpenReal();
  EXPECT_EQ(ZR48_Disable(vi), VI_SUCCESS);
  EXPECT_EQ(Sent(), "");
  EXPECT_EQ(ZR48_Disable(VI_NULL), IVI_ERROR_INVALID_SESSION_HANDLE);
}

TEST_F(UtilityTest, EngineServicesPassThrough) {
  const ViSession vi = OpenSimulated();
  ViChar text[64] = "x";
  EXPECT_EQ(ZR48_GetNextCoercionRecord(vi, sizeof text, text), VI_SUCCESS);
  EXPECT_STREQ(text, "");
  std::strcpy(text, "x");
  EXPECT_EQ(ZR48_GetNextInterchangeWarning(vi, sizeof text, text), VI_SUCCESS);
  EXPECT_STREQ(text, "");
  EXPECT_EQ(ZR48_ClearInterchangeWarnings(vi), VI_SUCCESS);
  EXPECT_EQ(ZR48_ResetInterchangeCheck(vi), VI_SUCCESS);
  EXPECT_EQ(ZR48_InvalidateAllAttributes(vi), VI_SUCCESS);
  const ViSession unknown = 0x7FFFFFF0;
  EXPECT_EQ(ZR48_InvalidateAllAttributes(unknown), IVI_ERROR_INVALID_SESSION_HANDLE);
  EXPECT_EQ(ZR48_ClearInterchangeWarnings(unknown), IVI_ERROR_INVALID_SESSION_HANDLE);
}

// A logical name with virtual channel names and a default set-up, in a configuration file of
// its own.
class LogicalNameUtilityTest : public SimSessionTest {
 protected:
  void SetUp() override {
    char name[] = "fn_bench";
    EXPECT_EQ(ZR48_InitWithOptions(name, VI_FALSE, VI_FALSE, "", &vi_), VI_SUCCESS);
  }
  const LogicalNameFile config_{
      "[fn_bench]\nresource = \"" + Resource() + "\"\n" +
      "virtual-channels = { Left = \"ch1\", Right = \"ch7\" }\ndefault-setup = [\n" +
      "  { attribute = \"ZR48_ATTR_OUTP\", channel = \"Right\", value = \"ON\" },\n" +
      "  { attribute = \"ZR48_ATTR_ESE\", value = \"32\" },\n]\n"};
};

TEST_F(LogicalNameUtilityTest, ResetWithDefaultsAppliesTheDefaultSetUpAfterReset) {
  const std::string setup = "INST ch7\nOUTP ON\n*ESE 32\n";
  ASSERT_EQ(Arrived(sim_, setup), setup);
  sim_.clear_received();
  EXPECT_EQ(ZR48_ResetWithDefaults(vi_), VI_SUCCESS);
  EXPECT_EQ(Arrived(sim_, "*RST\n" + setup), "*RST\n" + setup);
}

TEST_F(LogicalNameUtilityTest, ChannelNamesAreTheVirtualOnes) {
  ViChar name[16] = {};
  EXPECT_EQ(ZR48_GetChannelName(vi_, 1, sizeof name, name), VI_SUCCESS);
  EXPECT_STREQ(name, "Left");
  EXPECT_EQ(ZR48_GetChannelName(vi_, 2, sizeof name, name), VI_SUCCESS);
  EXPECT_STREQ(name, "ch2");
  EXPECT_EQ(ZR48_GetChannelName(vi_, 7, 0, nullptr), 6);
  EXPECT_EQ(ZR48_GetChannelName(vi_, 7, sizeof name, name), VI_SUCCESS);
  EXPECT_STREQ(name, "Right");
}

TEST_F(UtilityTest, ResetWithDefaultsResetsFirst) {
  const ViSession vi = OpenReal();
  EXPECT_EQ(ZR48_ResetWithDefaults(vi), VI_SUCCESS);
  EXPECT_EQ(Arrived(sim_, "*RST\n"), "*RST\n");
}

}  // namespace
}  // namespace zr48::test
