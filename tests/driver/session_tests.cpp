// Opening and closing sessions, reset and the status check, against the simulated supply; stale
// input and a lost link between exchanges.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "attribute_io.h"
#include "engine/session_registry.h"
#include "guarded_buffer.h"
#include "internal.h"
#include "loopback_peer.h"
#include "sim_session.h"

namespace zr48::test {
namespace {

constexpr const char* kIdentification = "Velharn, HLV3907, 0123456789AF, 1.00-1.00";

using SessionTest = SimSessionTest;

// ---- Null session handle pointers ------------------------------------------------------------

struct NullHandleCase {
  const char* name;
  ViStatus (*open)(ViRsrc resource);
  ViStatus secondary;
};

const NullHandleCase kNullHandleCases[] = {
    {"init", [](ViRsrc r) { return ZR48_init(r, VI_FALSE, VI_FALSE, nullptr); },
     VI_ERROR_PARAMETER4},
    {"InitWithOptions",
     [](ViRsrc r) { return ZR48_InitWithOptions(r, VI_FALSE, VI_FALSE, "", nullptr); },
     VI_ERROR_PARAMETER5},
};

TEST_F(SessionTest, NullHandlePointerIsRefusedAndExplainedOnTheThread) {
  for (const NullHandleCase& c : kNullHandleCases) {
    SCOPED_TRACE(c.name);
    std::string resource = Resource();
    (void)TakeErrorInfo(VI_NULL);
    EXPECT_EQ(c.open(resource.data()), IVI_ERROR_INVALID_PARAMETER);
    const ErrorInfo info = TakeErrorInfo(VI_NULL);
    EXPECT_EQ(info.primary, IVI_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(info.secondary, c.secondary);
    EXPECT_EQ(info.elaboration, "Null address for Instrument Handle");
  }
  EXPECT_EQ(sim_.connection_count(), 0U);
}

TEST_F(SessionTest, NullResourceNameIsRefusedWithoutASession) {
  (void)TakeErrorInfo(VI_NULL);
  ViSession vi = 123;
  EXPECT_EQ(ZR48_InitWithOptions(nullptr, VI_FALSE, VI_FALSE, "", &vi),
            IVI_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(vi, static_cast<ViSession>(VI_NULL));
  EXPECT_EQ(TakeErrorInfo(VI_NULL).secondary, VI_ERROR_PARAMETER1);
}

// ---- What initialisation sends ----------------------------------------------------------------

struct InitTrafficCase {
  bool id_query;
  bool reset;
  const char* sent;
};

TEST_F(SessionTest, InitialisationSendsResetBeforeIdentificationAndNothingElse) {
  const InitTrafficCase cases[] = {
      {false, false, ""},
      {true, false, "*IDN?\n"},
      {false, true, "*RST\n"},
      {true, true, "*RST\n*IDN?\n"},
  };
  for (const InitTrafficCase& c : cases) {
    SCOPED_TRACE(std::string("idQuery ") + (c.id_query ? "on" : "off") + ", reset " +
                 (c.reset ? "on" : "off"));
    sim_.clear_received();
    std::string resource = Resource();
    ViSession vi = VI_NULL;
    ASSERT_EQ(ZR48_InitWithOptions(resource.data(), c.id_query, c.reset, "", &vi), VI_SUCCESS);
    EXPECT_NE(vi, static_cast<ViSession>(VI_NULL));
    EXPECT_EQ(ZR48_close(vi), VI_SUCCESS);
    EXPECT_EQ(Arrived(sim_, c.sent), c.sent);  // close sends nothing either
  }
}

TEST_F(SessionTest, SimulatedSessionNeverTouchesTheInstrument) {
  std::string resource = Resource();
  ViSession vi = VI_NULL;
  ASSERT_EQ(ZR48_InitWithOptions(resource.data(), VI_TRUE, VI_TRUE, "Simulate=1", &vi), VI_SUCCESS);
  EXPECT_EQ(Ivi_IOSession(vi), static_cast<ViSession>(VI_NULL));
  EXPECT_EQ(ZR48_reset(vi), VI_SUCCESS);
  EXPECT_EQ(ReadStringOk(vi, "", ZR48_ATTR_ID_QUERY_RESPONSE), kIdentification);
  EXPECT_EQ(ZR48_close(vi), VI_SUCCESS);
  EXPECT_EQ(sim_.connection_count(), 0U);
  EXPECT_EQ(Sent(), "");
}

TEST_F(SessionTest, SimulatedSessionNeedsNoReachableInstrument) {
  char resource[] = "TCPIP::192.0.2.1::5025::SOCKET";  // a documentation address: nobody there
  ViSession vi = VI_NULL;
  ASSERT_EQ(ZR48_InitWithOptions(resource, VI_TRUE, VI_TRUE, "Simulate=1", &vi), VI_SUCCESS);
  EXPECT_EQ(ZR48_close(vi), VI_SUCCESS);
}

// ---- Identification check --------------------------------------------------------------------

// Units of the model differ in serial number and firmware; both are free, and so is anything
// after them.
TEST_F(SessionTest, IdentificationChecksManufacturerAndModelOnly) {
  for (const char* identification :
       {"Velharn, HLV3907, 0123456789AF, 1.00-1.00", "Velharn, HLV3907, 7F00A1B2C3D4, 2.13-1.07",
        "Velharn, HLV3907,", "Velharn, HLV3907,x",
        "Velharn, HLV3907, 0123456789AF, 1.00-1.00,OPT1"}) {
    SCOPED_TRACE(identification);
    sim_.set_idn(identification);
    std::string resource = Resource();
    ViSession vi = VI_NULL;
    ASSERT_EQ(ZR48_InitWithOptions(resource.data(), VI_TRUE, VI_FALSE, "", &vi), VI_SUCCESS);
    EXPECT_EQ(ZR48_close(vi), VI_SUCCESS);
  }
}

// A refused identification leaves no session, and the elaboration quotes the reply (its first
// 100 characters).
TEST_F(SessionTest, IdentificationDifferingInAnyFieldFailsAndLeavesNoSession) {
  const std::string long_reply = "Acme, " + std::string(200, 'M');
  const std::string identifications[] = {
      "Velharn, HLV3908, 0123456789AF, 1.00-1.00",  // model
      "velharn, HLV3907, 0123456789AF, 1.00-1.00",  // case
      "Velharn, HLV3907",                           // cut short
      "Velharn,HLV3907,0123456789AF,1.00-1.00",     // blanks
      "",
      long_reply,
  };
  for (const std::string& identification : identifications) {
    SCOPED_TRACE(identification);
    sim_.set_idn(identification);
    (void)TakeErrorInfo(VI_NULL);  // the thread keeps an earlier failure's information
    const std::size_t connections = sim_.connection_count();
    std::string resource = Resource();
    ViSession vi = 42;
    EXPECT_EQ(ZR48_InitWithOptions(resource.data(), VI_TRUE, VI_FALSE, "", &vi),
              VI_ERROR_FAIL_ID_QUERY);
    EXPECT_EQ(vi, static_cast<ViSession>(VI_NULL));
    // A serial line's one session begins with the first query.
    EXPECT_EQ(sim_.connection_count(),
              OpensConnections() ? connections + 1 : std::max<std::size_t>(connections, 1));

    ViStatus code = VI_SUCCESS;
    ViChar description[1024] = "";
    EXPECT_EQ(ZR48_GetError(VI_NULL, &code, sizeof description, description), VI_SUCCESS);
    EXPECT_EQ(code, VI_ERROR_FAIL_ID_QUERY);
    EXPECT_NE(std::string(description).find("0xBFFC0011"), std::string::npos) << description;
    const std::string elaboration = "\nElaboration: The instrument answered '" +
                                    identification.substr(0, 100) +
                                    "'; expected an identification beginning 'Velharn, HLV3907,'";
    EXPECT_TRUE(std::string(description).ends_with(elaboration)) << description;
  }
}

TEST(SessionLinkTest, FailedIdentificationClosesTheLink) {
  LoopbackPeer peer({whole("Velharn, HLV3908, 0123456789AF, 1.00-1.00\n")});
  std::string resource = peer.resource();
  ViSession vi = 42;
  EXPECT_EQ(ZR48_InitWithOptions(resource.data(), VI_TRUE, VI_FALSE, "", &vi),
            VI_ERROR_FAIL_ID_QUERY);
  EXPECT_EQ(vi, static_cast<ViSession>(VI_NULL));
  EXPECT_TRUE(peer.closed_by_driver());
}

TEST(SessionLinkTest, CloseClosesTheLink) {
  LoopbackPeer peer({});
  std::string resource = peer.resource();
  ViSession vi = VI_NULL;
  ASSERT_EQ(ZR48_InitWithOptions(resource.data(), VI_FALSE, VI_FALSE, "", &vi), VI_SUCCESS);
  EXPECT_EQ(ZR48_close(vi), VI_SUCCESS);
  EXPECT_TRUE(peer.closed_by_driver());
}

// ---- Resource descriptor and logical names ----------------------------------------------------

TEST_F(SessionTest, ResourceDescriptorIsStoredAndNotUserWritable) {
  OpenReal();
  EXPECT_EQ(ReadStringOk(vi_, "", ZR48_ATTR_IO_RESOURCE_DESCRIPTOR), Resource());
  EXPECT_EQ(ZR48_SetAttributeViString(vi_, "", ZR48_ATTR_IO_RESOURCE_DESCRIPTOR, "x"),
            IVI_ERROR_ATTR_NOT_WRITEABLE);
  EXPECT_EQ(ReadStringOk(vi_, "", ZR48_ATTR_IO_RESOURCE_DESCRIPTOR), Resource());
}

TEST_F(SessionTest, UnreachableInstrumentFailsWithTheVisaStatusRecorded) {
  std::optional<sim::Server> gone(std::in_place);
  std::string resource = gone->resource();
  gone.reset();  // nothing listens there any more
  (void)TakeErrorInfo(VI_NULL);
  ViSession vi = 42;
  const ViStatus status = ZR48_InitWithOptions(resource.data(), VI_FALSE, VI_FALSE, "", &vi);
  EXPECT_LT(status, 0);
  EXPECT_EQ(vi, static_cast<ViSession>(VI_NULL));
  EXPECT_EQ(TakeErrorInfo(VI_NULL).primary, status);
}

TEST_F(SessionTest, LogicalNameAppliesTheDefaultSetUpAfterInitialisation) {
  const LogicalNameFile config(
      "[bench7]\nresource = \"" + Resource() + "\"\ndefault-setup = [\n" +
      "  { attribute = \"ZR48_ATTR_OVP_LIMIT\", channel = \"ch2\", value = 12.0 },\n" +
      "  { attribute = \"ZR48_ATTR_ESE\", value = \"16\" },\n]\n");
  char name[] = "bench7";
  ASSERT_EQ(ZR48_InitWithOptions(name, VI_TRUE, VI_TRUE, "", &vi_), VI_SUCCESS);
  // The default set-up's SCPI attribute reaches the instrument after reset and identification.
  EXPECT_EQ(Arrived(sim_, "*RST\n*IDN?\n*ESE 16\n"), "*RST\n*IDN?\n*ESE 16\n");
  ViReal64 limit = 0.0;
  EXPECT_EQ(ZR48_GetAttributeViReal64(vi_, "ch2", ZR48_ATTR_OVP_LIMIT, &limit), VI_SUCCESS);
  EXPECT_EQ(limit, 12.0);
  EXPECT_EQ(ZR48_GetAttributeViReal64(vi_, "ch1", ZR48_ATTR_OVP_LIMIT, &limit), VI_SUCCESS);
  EXPECT_EQ(limit, 20.0);
  EXPECT_EQ(ReadStringOk(vi_, "", ZR48_ATTR_LOGICAL_NAME), "bench7");
}

// A name that is neither a logical name nor a resource descriptor: the failure says where the
// name was looked up, not only that it does not parse.
TEST_F(SessionTest, AnUnknownNameNamesTheLogicalNameFile) {
  const LogicalNameFile config("[bench1]\nresource = \"TCPIP::127.0.0.1::5025::SOCKET\"\n");
  (void)TakeErrorInfo(VI_NULL);
  char name[] = "bench9";
  ViSession vi = 42;
  EXPECT_EQ(ZR48_InitWithOptions(name, VI_FALSE, VI_FALSE, "", &vi), VI_ERROR_INV_RSRC_NAME);
  EXPECT_EQ(vi, static_cast<ViSession>(VI_NULL));
  const ErrorInfo info = TakeErrorInfo(VI_NULL);
  EXPECT_EQ(info.primary, VI_ERROR_INV_RSRC_NAME);
  EXPECT_EQ(info.elaboration, "'bench9' is not a logical name in " + config.path().string() +
                                  ", nor a valid VISA resource descriptor");
}

// ---- Close ------------------------------------------------------------------------------------

TEST_F(SessionTest, CloseSendsNothingAndInvalidatesTheHandle) {
  OpenReal();
  const ViSession vi = vi_;
  vi_ = VI_NULL;
  EXPECT_EQ(ZR48_close(vi), VI_SUCCESS);
  EXPECT_EQ(Sent(), "");
  EXPECT_EQ(ZR48_close(vi), IVI_ERROR_INVALID_SESSION_HANDLE);
  EXPECT_EQ(ZR48_reset(vi), IVI_ERROR_INVALID_SESSION_HANDLE);
}

// Calls queued on the session lock behind ZR48_close: the session is marked closed before close
// lets go of the lock, so they are refused as calls on a closed session, not run without I/O.
// Threads calling in a tight loop while another closes each stop at their first failure, and
// that failure is always the closed session's.
TEST_F(SessionTest, CallersQueuedBehindCloseSeeOnlyTheClosedSession) {
  for (int round = 0; round < 20; ++round) {
    const ViSession vi = OpenReal();
    vi_ = VI_NULL;
    std::array<ViStatus, 4> first_failure{};
    std::vector<std::thread> callers;
    std::atomic<int> started{0};
    for (std::size_t i = 0; i < first_failure.size(); ++i) {
      callers.emplace_back([&, i] {
        started.fetch_add(1);
        ViStatus status = VI_SUCCESS;
        while (status == VI_SUCCESS) status = ZR48_SetVoltage(vi, "1", "ch1");
        first_failure[i] = status;
      });
    }
    while (started.load() < static_cast<int>(callers.size())) std::this_thread::yield();
    while (engine::registry::lock_queue_length(vi) < 3) std::this_thread::yield();
    EXPECT_EQ(ZR48_close(vi), VI_SUCCESS);
    for (std::thread& caller : callers) caller.join();
    for (const ViStatus status : first_failure) {
      EXPECT_EQ(status, IVI_ERROR_INVALID_SESSION_HANDLE) << "round " << round;
    }
  }
}

// ---- Reset, default set-up and status check ------------------------------------------------

TEST_F(SessionTest, ResetSendsOnlyTheResetCommandAndForgetsCachedValues) {
  OpenReal();
  sim_.push_reply("1\n");
  EXPECT_EQ(ReadStringOk(vi_, "", ZR48_ATTR_ESE), "1\n");
  EXPECT_EQ(ReadStringOk(vi_, "", ZR48_ATTR_ESE), "1\n");
  EXPECT_EQ(ZR48_reset(vi_), VI_SUCCESS);
  sim_.push_reply("2\n");
  EXPECT_EQ(ReadStringOk(vi_, "", ZR48_ATTR_ESE), "2\n");
  EXPECT_EQ(Sent(), "*ESE?\n*RST\n*ESE?\n");
}

TEST_F(SessionTest, SimulatedResetForgetsCachedValues) {
  OpenSimulated();
  ASSERT_EQ(ZR48_SetAttributeViReal64(vi_, "ch1", ZR48_ATTR_VOLTAGE_LEVEL, 12.5), VI_SUCCESS);
  EXPECT_EQ(Ivi_NeedToCheckStatus(vi_), VI_FALSE);
  EXPECT_EQ(ZR48_reset(vi_), VI_SUCCESS);
  EXPECT_EQ(Ivi_NeedToCheckStatus(vi_), VI_FALSE);
  EXPECT_EQ(sim_.connection_count(), 0U);
}

TEST_F(SessionTest, StatusCheckClearsTheFlagOnlyWhenStatusQueriesAreOn) {
  struct Case {
    const char* options;
    ViBoolean flag_after_check;
  };
  const Case cases[] = {{"QueryInstrStatus=0", VI_TRUE}, {"QueryInstrStatus=1", VI_FALSE}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options);
    OpenReal(c.options);
    ASSERT_EQ(Ivi_SetNeedToCheckStatus(vi_, VI_TRUE), VI_SUCCESS);
    EXPECT_EQ(ZR48_StatusCheck(vi_), VI_SUCCESS);
    EXPECT_EQ(Ivi_NeedToCheckStatus(vi_), c.flag_after_check);
    EXPECT_EQ(Sent(), "");  // the check never queries the instrument
    EXPECT_EQ(ZR48_close(vi_), VI_SUCCESS);
    vi_ = VI_NULL;
  }
}

TEST_F(SessionTest, DefaultSetUpMarksTheStatusAsNeedingACheck) {
  OpenReal();
  ASSERT_EQ(Ivi_SetNeedToCheckStatus(vi_, VI_FALSE), VI_SUCCESS);
  EXPECT_EQ(ZR48_InstrDefaults(vi_), VI_SUCCESS);
  EXPECT_EQ(Ivi_NeedToCheckStatus(vi_), VI_TRUE);
  EXPECT_EQ(Sent(), "");
}

// ---- Stale input and a lost link ----------------------------------------------------------
// What the operation frame's discard of stale input does for the next exchange: the late rest of
// a long reply is dropped rather than taken for the next answer, stale lines are never an answer,
// and a link lost meanwhile is reported (and recorded where the caller records failures) by the
// exchange that needs it, a failed second self-test leaving the outputs alone.

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
