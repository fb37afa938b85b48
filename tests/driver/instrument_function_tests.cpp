// The instrument functions against the simulated instrument: exact bytes sent, replies handed
// back, simulated sessions, null arguments, channel names, faults and threads sharing a session.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <set>
#include <span>
#include <sstream>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "ZR48.h"
#include "attribute_io.h"
#include "driver/exported_functions.h"
#include "engine/ivi_engine.h"
#include "guarded_buffer.h"
#include "instrument_functions.h"
#include "sim_session.h"
#include "visa/visa.h"

namespace zr48::test {
namespace {

// What a case hands to the function under test; any of them may be set to null.
struct Arguments {
  ViConstString input = nullptr;
  ViChar* reply = nullptr;
  ViConstString channel = nullptr;
};

using api::Kind;

// The argument for a parameter of this kind: the case's reply buffer, channel or input text.
template <typename T>
T Pass(Kind kind, ViSession vi, const Arguments& a) {
  if constexpr (std::is_same_v<T, ViSession>) {
    return vi;
  } else if constexpr (std::is_same_v<T, ViChar*>) {
    return a.reply;
  } else if constexpr (std::is_same_v<T, ViConstString>) {
    return kind == Kind::kChannel ? a.channel : a.input;
  } else {
    return T{};  // no instrument function takes any other kind
  }
}

template <auto kFunction, Kind... kKinds>
struct Caller;

template <typename... Params, ViStatus (*kFunction)(Params...), Kind... kKinds>
struct Caller<kFunction, kKinds...> {
  static constexpr std::array<Kind, sizeof...(kKinds)> kinds = {kKinds...};
  static ViStatus Call(ViSession vi, const Arguments& a) {
    return kFunction(Pass<Params>(kKinds, vi, a)...);
  }
};

// Calls one exported function with the arguments in its own order, as the description of the
// exported functions (driver/exported_functions.h) lays its parameters out.
struct Case {
  const char* name;
  std::span<const Kind> kinds;
  ViStatus (*call)(ViSession, const Arguments&);
};

#define ZR48_NO_SECTION(title)
#define ZR48_CASE(function, attribute, ...) \
  Case{#function, Caller<&function, __VA_ARGS__>::kinds, &Caller<&function, __VA_ARGS__>::Call},
std::span<const Case> Cases() {
  using enum Kind;
  static const Case cases[] = {ZR48_EXPORTED_FUNCTIONS(ZR48_NO_SECTION, ZR48_CASE)};
  return cases;
}
#undef ZR48_CASE
#undef ZR48_NO_SECTION

constexpr const char* kInput = "7.5e-1,DEF";
constexpr const char* kChannel = "ch3";

const Case& CaseOf(const InstrumentFunction& row) {
  static const Case kMissing{
      "(no case)", {}, [](ViSession, const Arguments&) -> ViStatus { return VI_ERROR_NSUP_OPER; }};
  for (const Case& c : Cases()) {
    if (std::string(c.name) == row.name) return c;
  }
  return kMissing;
}

// The bytes a row sends: the channel selection where it has one, then its command with `input`
// in place of "%s".
std::string BytesOf(const InstrumentFunction& row, const std::string& input) {
  std::string line = row.command;
  const std::size_t at = line.find("%s");
  if (at != std::string::npos) line.replace(at, 2, input);
  return (row.channel != 0 ? "INST " + std::string(kChannel) + "\n" : std::string()) + line;
}

using InstrumentFunctionTest = SimSessionTest;

// Each row names an exported function once, and its positions of channel, input and reply are
// the ones the description of the exported functions gives; the session comes first.
TEST_F(InstrumentFunctionTest, EveryRowMatchesItsExportedFunction) {
  std::set<std::string> names;
  for (const InstrumentFunction& row : instrument_functions()) {
    SCOPED_TRACE(row.name);
    EXPECT_TRUE(names.insert(row.name).second) << "twice";
    const std::span<const Kind> kinds = CaseOf(row).kinds;
    ASSERT_FALSE(kinds.empty()) << "not an exported function";
    EXPECT_EQ(kinds[0], Kind::kSession);
    for (std::size_t position = 2; position <= kinds.size(); ++position) {
      const Kind kind = kinds[position - 1];
      const std::uint8_t expected = kind == Kind::kChannel ? row.channel
                                    : kind == Kind::kText  ? row.input
                                    : kind == Kind::kReply ? row.reply
                                                           : 0;
      EXPECT_EQ(expected, position) << "parameter " << position;
    }
    const std::size_t used = (row.channel != 0) + (row.input != 0) + (row.reply != 0);
    EXPECT_EQ(kinds.size(), used + 1);
  }
}

// Every row's bytes, with the input or with none (the blank stays), and its reply handed back
// as its kind says. A raw read's whole line is the input: the instrument answers only a query.
TEST_F(InstrumentFunctionTest, RealSessionSendsExactBytesAndHandsBackTheReply) {
  const ViSession vi = OpenReal();
  for (const InstrumentFunction& row : instrument_functions()) {
    const bool raw_read = row.frame == &policy::kRawRead;
    for (const std::string input : {raw_read ? "*ESR?" : kInput, raw_read ? "*STB?" : ""}) {
      SCOPED_TRACE(std::string(row.name) + " \"" + input + "\"");
      sim_.clear_received();
      if (row.reply_kind != ReplyKind::kNone) sim_.push_reply("+1.250000 SECOND,WORD\n");
      ReplyBuffer reply;
      EXPECT_EQ(CaseOf(row).call(vi, {input.c_str(), reply.data(), kChannel}), VI_SUCCESS);
      const std::string expected = BytesOf(row, input);
      EXPECT_EQ(Arrived(sim_, expected), expected);
      switch (row.reply_kind) {
        case ReplyKind::kNone:
          EXPECT_TRUE(reply.untouched());
          break;
        case ReplyKind::kWord:
          EXPECT_EQ(reply.text(), "+1.250000");
          break;
        case ReplyKind::kRaw:
          EXPECT_EQ(reply.text(), "+1.250000 SECOND,WORD\n");
          break;
      }
      EXPECT_TRUE(reply.guard_untouched());
    }
  }
  // The plain frame records nothing.
  EXPECT_EQ(TakeErrorInfo(vi).primary, VI_SUCCESS);
}

// The selection and the command leave in one write while they fit its 512-byte buffer (an input
// of 497 characters with "ch2" fills it), in two beyond it; the bytes are the same either way.
// Channel names are checked against the channel table, so only inputs come in any length.
TEST_F(InstrumentFunctionTest, TextsOfAnyLengthAreSentWhole) {
  const ViSession vi = OpenReal();
  for (const std::size_t length : {1U, 497U, 498U, 600U, 5000U}) {
    SCOPED_TRACE(length);
    const std::string input(length, '7');
    sim_.clear_received();
    EXPECT_EQ(ZR48_SetVoltage(vi, input.c_str(), "ch2"), VI_SUCCESS);
    const std::string expected = "INST ch2\nVOLT " + input + "\n";
    EXPECT_EQ(Arrived(sim_, expected), expected);
  }
}

// A caller's text is never a format: a '%', "%s" or a backslash in it goes out as written, in
// the one write and in the two calls beyond its buffer alike.
TEST_F(InstrumentFunctionTest, DirectivesAndEscapesInTextsAreSentAsWritten) {
  const ViSession vi = OpenReal();
  const std::string texts[] = {"%s", "100%", "a\\nb", "%%d", "%", std::string(600, '%')};
  for (const std::string& text : texts) {
    SCOPED_TRACE(text.substr(0, 8));
    sim_.clear_received();
    const struct {
      ViStatus status;
      std::string expected;
    } cases[] = {
        {ZR48_SetVoltage(vi, text.c_str(), "ch2"), "INST ch2\nVOLT " + text + "\n"},
        {ZR48_SetDisplayText(vi, text.c_str()), "DISP:TEXT " + text + "\n"},
        {ZR48_WriteCmd(vi, text.c_str()), text + "\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.status, VI_SUCCESS);
    const std::string expected = cases[0].expected + cases[1].expected + cases[2].expected;
    EXPECT_EQ(Arrived(sim_, expected), expected);
  }
}

TEST_F(InstrumentFunctionTest, SimulatedSessionSendsNothingAndTouchesNoBuffer) {
  const ViSession vi = OpenSimulated();
  sim_.clear_received();
  for (const InstrumentFunction& row : instrument_functions()) {
    SCOPED_TRACE(row.name);
    ReplyBuffer reply;
    EXPECT_EQ(CaseOf(row).call(vi, {kInput, reply.data(), kChannel}), VI_SUCCESS);
    EXPECT_TRUE(reply.untouched());
  }
  EXPECT_EQ(Sent(), "");
}

// A null text or buffer is refused before anything is sent, in real and simulated sessions, with
// the parameter's position and name recorded.
void ExpectNullArgumentsRefused(ViSession vi, zr48::sim::Server& sim) {
  struct Null {
    std::uint8_t InstrumentFunction::*position;
    ViConstString Arguments::*text;
    ViChar* Arguments::*buffer;
    const char* message;
  };
  const Null nulls[] = {
      {&InstrumentFunction::channel, &Arguments::channel, nullptr, "Null address for Channel Name"},
      {&InstrumentFunction::input, &Arguments::input, nullptr, "Null address for Input String"},
      {&InstrumentFunction::reply, nullptr, &Arguments::reply, "Null address for Reply"},
  };
  for (const InstrumentFunction& row : instrument_functions()) {
    for (const Null& null : nulls) {
      const int position = row.*null.position;
      if (position == 0) continue;
      SCOPED_TRACE(std::string(row.name) + " " + null.message);
      sim.clear_received();
      ReplyBuffer reply;
      Arguments arguments{kInput, reply.data(), kChannel};
      if (null.text != nullptr) arguments.*null.text = nullptr;
      if (null.buffer != nullptr) arguments.*null.buffer = nullptr;
      EXPECT_EQ(CaseOf(row).call(vi, arguments), IVI_ERROR_INVALID_PARAMETER);
      // A marker command shows that nothing went before it.
      if (!Ivi_Simulating(vi)) {
        EXPECT_EQ(ZR48_SetTrig(vi), VI_SUCCESS);
        EXPECT_EQ(Arrived(sim, "TRIG\n"), "TRIG\n");
      }
      EXPECT_EQ(sim.received(), Ivi_Simulating(vi) ? "" : "TRIG\n");
      EXPECT_TRUE(reply.untouched());
      const ErrorInfo error = TakeErrorInfo(vi);
      EXPECT_EQ(error.primary, IVI_ERROR_INVALID_PARAMETER);
      EXPECT_EQ(error.secondary, Ivi_ParamPositionError(position));
      EXPECT_EQ(error.elaboration, null.message);
    }
  }
}

TEST_F(InstrumentFunctionTest, NullArgumentsAreRefusedInRealAndSimulatedSessions) {
  for (const bool simulated : {false, true}) {
    SCOPED_TRACE(simulated ? "simulated" : "real");
    const ViSession vi = simulated ? OpenSimulated() : OpenReal();
    ExpectNullArgumentsRefused(vi, sim_);
    // Refusals in a row keep the first one's information.
    EXPECT_EQ(ZR48_WriteCmd(vi, nullptr), IVI_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(ZR48_ReadCmd(vi, "*ESR?", nullptr), IVI_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(TakeErrorInfo(vi).elaboration, "Null address for Input String");
    EXPECT_EQ(ZR48_close(vi), VI_SUCCESS);
    vi_ = VI_NULL;
  }
}

TEST_F(InstrumentFunctionTest, NullArgumentsAreCheckedInPrototypeOrder) {
  const ViSession vi = OpenReal();
  // GetCurrTrig takes reChar (2) before inputStr (3) and channel_name (4).
  EXPECT_EQ(ZR48_GetCurrTrig(vi, nullptr, nullptr, nullptr), IVI_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(TakeErrorInfo(vi).secondary, Ivi_ParamPositionError(2));
  // SetOutpEnab takes channel_name (2) before inputStr (3).
  EXPECT_EQ(ZR48_SetOutpEnab(vi, nullptr, nullptr), IVI_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(TakeErrorInfo(vi).elaboration, "Null address for Channel Name");
  EXPECT_EQ(Sent(), "");
}

TEST_F(InstrumentFunctionTest, FailedChannelSelectionStopsTheCommand) {
  const ViSession vi = OpenReal();
  // The instrument drops the link on the selection; the query that the socket still took is
  // never answered.
  sim_.close_after_lines(1);
  ReplyBuffer reply;
  EXPECT_LT(ZR48_GetVoltage(vi, "", reply.data(), "ch2"), 0);
  EXPECT_EQ(reply.text(), "");  // a word reply's buffer is emptied before the exchange
  EXPECT_TRUE(reply.guard_untouched());
  EXPECT_EQ(Sent().rfind("INST ch2\n", 0), 0u);
  // The link is gone: the next selection fails and nothing follows it.
  sim_.clear_received();
  EXPECT_LT(ZR48_SetVoltage(vi, "1.0", "ch2"), 0);
  EXPECT_LT(ZR48_MeasVolt(vi, reply.data(), "ch2"), 0);
  EXPECT_EQ(reply.text(), "");
  EXPECT_EQ(Sent(), "");
  EXPECT_EQ(TakeErrorInfo(vi).primary, VI_SUCCESS);
}

TEST_F(InstrumentFunctionTest, ReadWarningCountsAsSuccess) {
  const ViSession vi = OpenReal();
  // 600 bytes: the raw read stops at 511 with VI_SUCCESS_MAX_CNT.
  const std::string long_reply = std::string(300, 'a') + " " + std::string(298, 'b') + "\n";
  sim_.push_reply(long_reply);
  ReplyBuffer reply;
  EXPECT_EQ(ZR48_GetApply(vi, "ch1", reply.data()), VI_SUCCESS);
  EXPECT_EQ(reply.text(), long_reply.substr(0, 511));
  EXPECT_TRUE(reply.guard_untouched());
  // The rest of the long reply does not leak into the next exchange.
  sim_.push_reply("3.300000\n");
  ReplyBuffer next;
  EXPECT_EQ(ZR48_GetVoltage(vi, "", next.data(), "ch1"), VI_SUCCESS);
  EXPECT_EQ(next.text(), "3.300000");
}

TEST_F(InstrumentFunctionTest, TimeOutIsReturnedAndNotRecorded) {
  const ViSession vi = OpenReal();
  ASSERT_EQ(SetIoTimeout(vi, 200), VI_SUCCESS);
  sim_.set_silent(true);
  ReplyBuffer reply;
  EXPECT_EQ(ZR48_MeasCurr(vi, reply.data(), "ch4"), VI_ERROR_TMO);
  EXPECT_EQ(Arrived(sim_, "INST ch4\nMEAS:CURR?\n"), "INST ch4\nMEAS:CURR?\n");
  EXPECT_EQ(TakeErrorInfo(vi).primary, VI_SUCCESS);
  // The instrument answers again: the session works on.
  sim_.set_silent(false);
  sim_.push_reply("0.500000\n");
  EXPECT_EQ(ZR48_MeasCurr(vi, reply.data(), "ch4"), VI_SUCCESS);
  EXPECT_EQ(reply.text(), "0.500000");
}

TEST_F(InstrumentFunctionTest, OverlongReplyWordIsCutAndTheNextCallWorks) {
  const ViSession vi = OpenReal();
  sim_.push_reply(std::string(700, 'W') + " tail\n");
  ReplyBuffer reply;
  EXPECT_EQ(ZR48_GetDisplayText(vi, reply.data()), VI_SUCCESS);
  EXPECT_EQ(reply.text(), std::string(511, 'W'));
  EXPECT_TRUE(reply.guard_untouched());
  sim_.push_reply("ON\n");
  ReplyBuffer next;
  EXPECT_EQ(ZR48_GetDisplayStat(vi, next.data()), VI_SUCCESS);
  EXPECT_EQ(next.text(), "ON");
}

TEST_F(InstrumentFunctionTest, ThreadsOnOneSessionNeverInterleaveAChannelAndItsCommand) {
  const ViSession vi = OpenReal();
  constexpr int kCalls = 150;
  auto worker = [vi](int channel) {
    const std::string name = "ch" + std::to_string(channel);
    const std::string level = std::to_string(channel) + ".0";
    ViChar reply[512];
    for (int i = 0; i < kCalls; ++i) {
      EXPECT_EQ(ZR48_SetVoltage(vi, level.c_str(), name.c_str()), VI_SUCCESS);
      EXPECT_EQ(ZR48_MeasVolt(vi, reply, name.c_str()), VI_SUCCESS);
    }
  };
  std::vector<std::thread> threads;
  for (int channel = 1; channel <= 3; ++channel) threads.emplace_back(worker, channel);
  for (std::thread& thread : threads) thread.join();

  std::istringstream lines(Sent());
  std::string selection;
  std::string command;
  int pairs = 0;
  while (std::getline(lines, selection) && std::getline(lines, command)) {
    ASSERT_EQ(selection.rfind("INST ch", 0), 0u) << selection;
    const std::string channel = selection.substr(7);
    if (command != "MEAS:VOLT?") {
      ASSERT_EQ(command, "VOLT " + channel + ".0") << "after " << selection;
    }
    ++pairs;
  }
  EXPECT_EQ(pairs, 3 * 2 * kCalls);
}

// A reply without a word is no reading: an error, and the buffer holds an empty string, never
// the value an earlier call left there.
TEST_F(InstrumentFunctionTest, ABlankReplyToAWordQueryIsAnErrorWithAnEmptyString) {
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

TEST_F(InstrumentFunctionTest, DisplayTextIsReturnedWholeWithItsQuotesAndLineFeed) {
  const ViSession vi = OpenReal();
  ASSERT_EQ(ZR48_SetDisplayText(vi, "\"Bench 4 running\""), VI_SUCCESS);
  ReplyBuffer text;
  EXPECT_EQ(ZR48_GetDisplayText(vi, text.data()), VI_SUCCESS);
  EXPECT_EQ(text.text(), "\"Bench 4 running\"\n");
  EXPECT_TRUE(text.guard_untouched());
  const std::string sent = "DISP:TEXT \"Bench 4 running\"\nDISP:TEXT?\n";
  EXPECT_EQ(Arrived(sim_, sent), sent);
}

// ---- Line breaks --------------------------------------------------------------------------
// Texts that would end a command line early and smuggle in a command of their own: refused with
// IVI_ERROR_INVALID_PARAMETER before anything is sent. The raw paths stay raw.

constexpr const char* kInjections[] = {"1\nOUTP ON", "1\rOUTP ON", "\n", "5\r\n*RST"};

TEST_F(InstrumentFunctionTest, InstrumentFunctionInputsWithALineBreakAreRefused) {
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

TEST_F(InstrumentFunctionTest, ChannelNamesWithALineBreakAreRefusedAsParameters) {
  const ViSession vi = OpenReal();
  EXPECT_EQ(ZR48_SetVoltage(vi, "1", "ch1\nOUTP ON"), IVI_ERROR_INVALID_PARAMETER);
  const ErrorInfo info = TakeErrorInfo(vi);
  EXPECT_EQ(info.secondary, VI_ERROR_PARAMETER3);
  EXPECT_EQ(info.elaboration, "Line feed or carriage return in Channel Name");
  EXPECT_EQ(ZR48_SetOutpEnab(vi, "ch1\r", "ON"), IVI_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(TakeErrorInfo(vi).secondary, VI_ERROR_PARAMETER2);
  EXPECT_EQ(Sent(), "");
}

TEST_F(InstrumentFunctionTest, RawCommandsStayRaw) {
  const ViSession vi = OpenReal();
  EXPECT_EQ(ZR48_WriteCmd(vi, "*ESE 4\n*SRE 8"), VI_SUCCESS);
  ViChar reply[512] = "";
  EXPECT_EQ(ZR48_ReadCmd(vi, "*ESE 1\n*ESE?", reply), VI_SUCCESS);
  EXPECT_STREQ(reply, "1\n");
  const std::string sent = "*ESE 4\n*SRE 8\n*ESE 1\n*ESE?\n";
  EXPECT_EQ(Arrived(sim_, sent), sent);
}

// ---- Channel names ------------------------------------------------------------------------
// Resolved through the session's channel table as attribute access resolves them, the
// instrument's own name sent (every row above sends "ch3"), anything else refused before a byte
// leaves.

// Names the supply would refuse, or take for another channel: none reaches it.
TEST_F(InstrumentFunctionTest, UnknownChannelNamesAreRefusedBeforeAnythingIsSent) {
  const ViSession vi = OpenReal();
  const std::string long_name(300, 'c');
  for (const InstrumentFunction& row : instrument_functions()) {
    if (row.channel == 0) continue;
    for (const char* bad : {"ch9", "", "chX", "Ch 3", "CH3", "ch3 ", "ch0", long_name.c_str()}) {
      SCOPED_TRACE(std::string(row.name) + " '" + bad + "'");
      ReplyBuffer reply;
      EXPECT_EQ(CaseOf(row).call(vi, {kInput, reply.data(), bad}), IVI_ERROR_BAD_CHANNEL_NAME);
      const ErrorInfo info = TakeErrorInfo(vi);
      EXPECT_EQ(info.primary, IVI_ERROR_BAD_CHANNEL_NAME);
      // The name as given (a long one cut after 40 characters), then the valid names.
      const std::string shown =
          std::string(bad).size() > 40 ? std::string(bad).substr(0, 40) + "..." : std::string(bad);
      EXPECT_EQ(info.elaboration.rfind("Channel name '" + shown + "' is not one of ", 0), 0u)
          << info.elaboration;
      EXPECT_NE(info.elaboration.find("ch1, ch2, ch3, ch4, ch5, ch6, ch7"), std::string::npos)
          << info.elaboration;
    }
  }
  EXPECT_EQ(Sent(), "");
}

// A refused name leaves the instrument's selected output alone: the level lands nowhere.
TEST_F(InstrumentFunctionTest, ARefusedChannelNameDoesNotProgramThePreviouslySelectedOutput) {
  const ViSession vi = OpenReal();
  ASSERT_EQ(ZR48_SetVoltage(vi, "2.0", "ch2"), VI_SUCCESS);
  EXPECT_EQ(ZR48_SetVoltage(vi, "4.0", "ch9"), IVI_ERROR_BAD_CHANNEL_NAME);
  ReplyBuffer level;
  ASSERT_EQ(ZR48_GetVoltage(vi, "", level.data(), "ch2"), VI_SUCCESS);
  EXPECT_EQ(level.text(), "+2.00000E+00");
}

TEST_F(InstrumentFunctionTest, ASimulatedSessionRefusesTheSameChannelNames) {
  const ViSession vi = OpenSimulated();
  EXPECT_EQ(ZR48_SetVoltage(vi, "4.0", "ch9"), IVI_ERROR_BAD_CHANNEL_NAME);
  EXPECT_EQ(ZR48_SetVoltage(vi, "4.0", "ch7"), VI_SUCCESS);
}

// Virtual names from the logical-name file stand for their channel, as in attribute access.
TEST_F(InstrumentFunctionTest, AVirtualChannelNameSendsItsChannel) {
  const LogicalNameFile config("[bench3]\nresource = \"" + sim_.resource() + "\"\n" +
                               "virtual-channels = { Load = \"ch3\", Output1 = \"ch1\" }\n");
  char name[] = "bench3";
  ASSERT_EQ(ZR48_InitWithOptions(name, VI_FALSE, VI_FALSE, "", &vi_), VI_SUCCESS);
  for (const InstrumentFunction& row : instrument_functions()) {
    if (row.channel == 0) continue;
    SCOPED_TRACE(row.name);
    sim_.clear_received();
    if (row.reply_kind != ReplyKind::kNone) sim_.push_reply("1\n");
    ReplyBuffer reply;
    EXPECT_EQ(CaseOf(row).call(vi_, {kInput, reply.data(), "Load"}), VI_SUCCESS);
    const std::string expected = BytesOf(row, kInput);
    EXPECT_EQ(Arrived(sim_, expected), expected);
  }
  // Virtual names compare exactly, like physical ones; the error lists both kinds.
  EXPECT_EQ(ZR48_SetVoltage(vi_, "1", "load"), IVI_ERROR_BAD_CHANNEL_NAME);
  const ErrorInfo info = TakeErrorInfo(vi_);
  EXPECT_NE(info.elaboration.find("Load = ch3"), std::string::npos) << info.elaboration;
  EXPECT_NE(info.elaboration.find("Output1 = ch1"), std::string::npos) << info.elaboration;
}

}  // namespace
}  // namespace zr48::test
