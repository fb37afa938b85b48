// The instrument functions against the simulated instrument: exact bytes sent, replies handed
// back, simulated sessions, null arguments, faults and two threads sharing a session.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ZR48.h"
#include "attribute_io.h"
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

// Calls one exported function with the arguments in its own order.
struct Case {
  const char* name;
  ViStatus (*call)(ViSession, const Arguments&);
};

constexpr const char* kInput = "7.5e-1,DEF";
constexpr const char* kChannel = "ch3";

using A = const Arguments&;
const std::vector<Case>& Cases() {
  static const std::vector<Case> cases = {
      {"ZR48_SetCurrent",
       [](ViSession vi, A a) { return ZR48_SetCurrent(vi, a.input, a.channel); }},
      {"ZR48_GetCurrent",
       [](ViSession vi, A a) { return ZR48_GetCurrent(vi, a.input, a.reply, a.channel); }},
      {"ZR48_SetCurrUp", [](ViSession vi, A a) { return ZR48_SetCurrUp(vi, a.channel); }},
      {"ZR48_SetCurrDown", [](ViSession vi, A a) { return ZR48_SetCurrDown(vi, a.channel); }},
      {"ZR48_SetCurrStep",
       [](ViSession vi, A a) { return ZR48_SetCurrStep(vi, a.input, a.channel); }},
      {"ZR48_GetCurrStep",
       [](ViSession vi, A a) { return ZR48_GetCurrStep(vi, a.input, a.reply, a.channel); }},
      {"ZR48_SetCurrTrig",
       [](ViSession vi, A a) { return ZR48_SetCurrTrig(vi, a.input, a.channel); }},
      {"ZR48_GetCurrTrig",
       [](ViSession vi, A a) { return ZR48_GetCurrTrig(vi, a.reply, a.input, a.channel); }},
      {"ZR48_SetVoltage",
       [](ViSession vi, A a) { return ZR48_SetVoltage(vi, a.input, a.channel); }},
      {"ZR48_GetVoltage",
       [](ViSession vi, A a) { return ZR48_GetVoltage(vi, a.input, a.reply, a.channel); }},
      {"ZR48_SetVoltUp", [](ViSession vi, A a) { return ZR48_SetVoltUp(vi, a.channel); }},
      {"ZR48_SetVoltDown", [](ViSession vi, A a) { return ZR48_SetVoltDown(vi, a.channel); }},
      {"ZR48_SetVoltStep",
       [](ViSession vi, A a) { return ZR48_SetVoltStep(vi, a.input, a.channel); }},
      {"ZR48_GetVoltStep",
       [](ViSession vi, A a) { return ZR48_GetVoltStep(vi, a.input, a.reply, a.channel); }},
      {"ZR48_SetVoltTrig",
       [](ViSession vi, A a) { return ZR48_SetVoltTrig(vi, a.input, a.channel); }},
      {"ZR48_GetVoltTrig",
       [](ViSession vi, A a) { return ZR48_GetVoltTrig(vi, a.input, a.reply, a.channel); }},
      {"ZR48_SetVoltProtStat",
       [](ViSession vi, A a) { return ZR48_SetVoltProtStat(vi, a.input, a.channel); }},
      {"ZR48_GetVoltProtStat",
       [](ViSession vi, A a) { return ZR48_GetVoltProtStat(vi, a.reply, a.channel); }},
      {"ZR48_SetVoltProt",
       [](ViSession vi, A a) { return ZR48_SetVoltProt(vi, a.input, a.channel); }},
      {"ZR48_GetVoltProt",
       [](ViSession vi, A a) { return ZR48_GetVoltProt(vi, a.input, a.reply, a.channel); }},
      {"ZR48_GetVoltProtTrip",
       [](ViSession vi, A a) { return ZR48_GetVoltProtTrip(vi, a.reply, a.channel); }},
      {"ZR48_VoltProtClear", [](ViSession vi, A a) { return ZR48_VoltProtClear(vi, a.channel); }},
      {"ZR48_SetVoltLimit",
       [](ViSession vi, A a) { return ZR48_SetVoltLimit(vi, a.input, a.channel); }},
      {"ZR48_GetVoltLimit",
       [](ViSession vi, A a) { return ZR48_GetVoltLimit(vi, a.input, a.reply, a.channel); }},
      {"ZR48_SetOutpEnab",
       [](ViSession vi, A a) { return ZR48_SetOutpEnab(vi, a.channel, a.input); }},
      {"ZR48_GetOutpEnab",
       [](ViSession vi, A a) { return ZR48_GetOutpEnab(vi, a.channel, a.reply); }},
      {"ZR48_SetVoltLimitStat",
       [](ViSession vi, A a) { return ZR48_SetVoltLimitStat(vi, a.channel, a.input); }},
      {"ZR48_GetVoltLimitStat",
       [](ViSession vi, A a) { return ZR48_GetVoltLimitStat(vi, a.channel, a.reply); }},
      {"ZR48_SetDisplayStat", [](ViSession vi, A a) { return ZR48_SetDisplayStat(vi, a.input); }},
      {"ZR48_GetDisplayStat", [](ViSession vi, A a) { return ZR48_GetDisplayStat(vi, a.reply); }},
      {"ZR48_SetDisplayText", [](ViSession vi, A a) { return ZR48_SetDisplayText(vi, a.input); }},
      {"ZR48_GetDisplayText", [](ViSession vi, A a) { return ZR48_GetDisplayText(vi, a.reply); }},
      {"ZR48_DisplayTextClear", [](ViSession vi, A) { return ZR48_DisplayTextClear(vi); }},
      {"ZR48_SetTrig", [](ViSession vi, A) { return ZR48_SetTrig(vi); }},
      {"ZR48_SetChannel", [](ViSession vi, A a) { return ZR48_SetChannel(vi, a.input); }},
      {"ZR48_GetChannel", [](ViSession vi, A a) { return ZR48_GetChannel(vi, a.reply); }},
      {"ZR48_SetNumChannel", [](ViSession vi, A a) { return ZR48_SetNumChannel(vi, a.input); }},
      {"ZR48_GetNumChannel", [](ViSession vi, A a) { return ZR48_GetNumChannel(vi, a.reply); }},
      {"ZR48_SetComSeries", [](ViSession vi, A) { return ZR48_SetComSeries(vi); }},
      {"ZR48_SetComParall", [](ViSession vi, A) { return ZR48_SetComParall(vi); }},
      {"ZR48_SetComTrack", [](ViSession vi, A) { return ZR48_SetComTrack(vi); }},
      {"ZR48_SetComOff", [](ViSession vi, A) { return ZR48_SetComOff(vi); }},
      {"ZR48_SetCouple", [](ViSession vi, A a) { return ZR48_SetCouple(vi, a.input); }},
      {"ZR48_GetCouple", [](ViSession vi, A a) { return ZR48_GetCouple(vi, a.reply); }},
      {"ZR48_SetApply", [](ViSession vi, A a) { return ZR48_SetApply(vi, a.input); }},
      {"ZR48_GetApply", [](ViSession vi, A a) { return ZR48_GetApply(vi, a.input, a.reply); }},
      {"ZR48_MeasVolt", [](ViSession vi, A a) { return ZR48_MeasVolt(vi, a.reply, a.channel); }},
      {"ZR48_MeasCurr", [](ViSession vi, A a) { return ZR48_MeasCurr(vi, a.reply, a.channel); }},
      {"ZR48_MeasPow", [](ViSession vi, A a) { return ZR48_MeasPow(vi, a.reply, a.channel); }},
      {"ZR48_FetchVolt", [](ViSession vi, A a) { return ZR48_FetchVolt(vi, a.reply, a.channel); }},
      {"ZR48_FetchCurr", [](ViSession vi, A a) { return ZR48_FetchCurr(vi, a.reply, a.channel); }},
      {"ZR48_FetchPow", [](ViSession vi, A a) { return ZR48_FetchPow(vi, a.reply, a.channel); }},
      {"ZR48_SetCalSec", [](ViSession vi, A a) { return ZR48_SetCalSec(vi, a.input); }},
      {"ZR48_GetCalSec", [](ViSession vi, A a) { return ZR48_GetCalSec(vi, a.reply); }},
      {"ZR48_SetCalVoltPoint", [](ViSession vi, A a) { return ZR48_SetCalVoltPoint(vi, a.input); }},
      {"ZR48_SetCalVolt", [](ViSession vi, A a) { return ZR48_SetCalVolt(vi, a.input); }},
      {"ZR48_SetCalCurrPoint", [](ViSession vi, A a) { return ZR48_SetCalCurrPoint(vi, a.input); }},
      {"ZR48_SetCalCurr", [](ViSession vi, A a) { return ZR48_SetCalCurr(vi, a.input); }},
      {"ZR48_CalSave", [](ViSession vi, A) { return ZR48_CalSave(vi); }},
      {"ZR48_CalInit", [](ViSession vi, A) { return ZR48_CalInit(vi); }},
      {"ZR48_CalClear", [](ViSession vi, A a) { return ZR48_CalClear(vi, a.input); }},
      {"ZR48_WriteCmd", [](ViSession vi, A a) { return ZR48_WriteCmd(vi, a.input); }},
      {"ZR48_ReadCmd", [](ViSession vi, A a) { return ZR48_ReadCmd(vi, a.input, a.reply); }},
  };
  return cases;
}

const Case& CaseOf(const InstrumentFunction& row) {
  static const Case kMissing{"(no case)",
                             [](ViSession, A) -> ViStatus { return VI_ERROR_NSUP_OPER; }};
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

// The cases name the driver's rows, each once.
TEST_F(InstrumentFunctionTest, EveryRowHasOneCase) {
  std::set<std::string> rows;
  for (const InstrumentFunction& row : instrument_functions()) rows.insert(row.name);
  std::multiset<std::string> cases;
  for (const Case& c : Cases()) cases.insert(c.name);
  EXPECT_EQ(rows.size(), instrument_functions().size());
  EXPECT_EQ(std::set<std::string>(cases.begin(), cases.end()), rows);
  EXPECT_EQ(cases.size(), rows.size());
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
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.name);
    ReplyBuffer reply;
    EXPECT_EQ(c.call(vi, {kInput, reply.data(), kChannel}), VI_SUCCESS);
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

TEST_F(InstrumentFunctionTest, NullArgumentsAreRefusedInARealSession) {
  ExpectNullArgumentsRefused(OpenReal(), sim_);
}

TEST_F(InstrumentFunctionTest, NullArgumentsAreRefusedInASimulatedSession) {
  ExpectNullArgumentsRefused(OpenSimulated(), sim_);
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

}  // namespace
}  // namespace zr48::test
