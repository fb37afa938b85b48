// The simulated supply against IEEE 488.2 and SCPI-1999: one program message per row, with the
// reply, the errors it queues and the event status bits it sets. Rows cover where the simulator
// used to be lenient and what already conformed, so both stay so.

#include <gtest/gtest.h>

#include <chrono>
#include <ostream>
#include <string>
#include <vector>

#include "zr48sim/instrument.h"

namespace zr48::sim {
namespace {

constexpr int kOpc = 1;
constexpr int kQuery = 4;
constexpr int kDevice = 8;
constexpr int kExecution = 16;
constexpr int kCommand = 32;
constexpr int kPowerOn = 128;

const std::string kIdn = "Velharn, HLV3907, 0123456789AF, 1.00-1.00\n";

struct Row {
  std::string name;
  std::string setup;  // run first, its errors and event bits cleared with *CLS
  std::string send;
  std::string reply;
  std::vector<int> errors;  // the error queue afterwards, oldest first
  int esr = 0;              // *ESR? afterwards
  std::string check = {};   // a query run after `send`, before the error queue is read
  std::string check_reply = {};
  bool power_on = false;  // no setup and no *CLS: the instrument as switched on
};

std::string repeat(const std::string& line, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += line;
  return out;
}

const std::vector<Row>& rows() {
  static const std::vector<Row> all{
      // Headers and the current path.
      {"RelativeHeaderOutsidePathIsUndefined",
       "",
       ":OUTP:STAT OFF;VOLT 5;:SYST:ERR?",
       "",
       {-113},
       kCommand,
       "VOLT?",
       "+0.00000E+00\n"},
      {"RelativeHeaderContinuesPath", "", "VOLT:PROT 10;PROT?", "+1.00000E+01\n", {}, 0},
      {"PathIsHeaderLessItsLastMnemonic",
       "",
       "VOLT:PROT:STAT OFF;LEV 5",
       "",
       {},
       0,
       "VOLT:PROT?;PROT:STAT?",
       "+5.00000E+00;0\n"},
      {"OptionalRootKeepsItsPath",
       "",
       "SOUR:VOLT 2;CURR 1",
       "",
       {},
       0,
       "VOLT?;CURR?",
       "+2.00000E+00;+1.00000E+00\n"},
      {"PathThroughDeeperNodes",
       "",
       "STAT:OPER:ENAB 8;INST:ENAB 4",
       "",
       {},
       0,
       "STAT:OPER:ENAB?;INST:ENAB?",
       "8;4\n"},
      {"LeadingColonReturnsToRoot", "", "VOLT:PROT 10;:CURR 1;CURR?", "+1.00000E+00\n", {}, 0},
      {"CommonCommandKeepsPath", "", "VOLT:PROT 10;*CLS;PROT?", "+1.00000E+01\n", {}, 0},
      {"EachMessageStartsAtRoot", "VOLT:PROT 10", "PROT?", "", {-113}, kCommand},
      {"LeadingZeroSuffixIsUndefined", "", "STAT:QUES:INST:ISUM03?", "", {-113}, kCommand},
      {"SuffixOneWhereNoneIsTaken", "", "VOLT1 2;VOLT1?", "+2.00000E+00\n", {}, 0},
      {"SuffixOutOfRange", "", "STAT:QUES:INST:ISUM8?", "", {-114}, kCommand},
      {"QueryOfCommandOnlyHeader", "", "SYST:BEEP?", "", {-113}, kCommand},
      // What an error does to the rest of the message.
      {"ExecutionErrorRejectsOnlyItsUnit",
       "",
       ":CURR 3;:VOLT 99;:CURR 0.5",
       "",
       {-222},
       kExecution,
       "CURR?",
       "+5.00000E-01\n"},
      {"FailedQueryLeavesOutItsReply",
       "",
       "VOLT 1;MEAS:VOLT? CH9;:VOLT?",
       "+1.00000E+00\n",
       {-224},
       kExecution},
      {"SettingsConflictRejectsOnlyItsUnit",
       "INST:COM:SER",
       "INST ch2;:VOLT 3;:INST?",
       "CH2\n",
       {-221},
       kExecution},
      {"CommandErrorEndsMessage",
       "",
       "VOLT 1;FOO;VOLT 2",
       "",
       {-113},
       kCommand,
       "VOLT?",
       "+1.00000E+00\n"},
      {"ParameterCountErrorEndsMessage",
       "",
       "VOLT 1;VOLT 2,3;VOLT 4",
       "",
       {-108},
       kCommand,
       "VOLT?",
       "+1.00000E+00\n"},
      {"RepliesBeforeCommandErrorAreSent",
       "",
       "VOLT?;FOO;CURR?",
       "+0.00000E+00\n",
       {-113},
       kCommand},
      {"EmptyUnitsAreIgnored", "", ";VOLT 2;;", "", {}, 0, "VOLT?", "+2.00000E+00\n"},
      // Responses.
      {"QueryAfterIndefiniteResponse", "", "*IDN?;*STB?", kIdn, {-440}, kQuery},
      {"IndefiniteResponseLastIsFine",
       "",
       "*STB?;*IDN?",
       "0;Velharn, HLV3907, 0123456789AF, 1.00-1.00\n",
       {},
       0},
      {"CommandAfterIndefiniteResponseRuns",
       "",
       "*IDN?;VOLT 2",
       kIdn,
       {},
       0,
       "VOLT?",
       "+2.00000E+00\n"},
      {"RepliesJoinWithSemicolons", "", "*OPC?;VOLT?;*ESE?", "1;+0.00000E+00;0\n", {}, 0},
      // Program data types.
      {"CharacterDataForNumberOnly", "", "*ESE ABC", "", {-104}, kCommand},
      {"StringForNumber", "", ":VOLT \"1\"", "", {-104}, kCommand},
      {"StringForChannelName", "", ":INST \"CH2\"", "", {-104}, kCommand, "INST?", "CH1\n"},
      {"CharacterDataForString", "", "DISP:TEXT hello", "", {-104}, kCommand},
      {"StringForBoolean", "", "OUTP \"ON\"", "", {-104}, kCommand},
      {"NumberForQueryKeyword", "", "VOLT? 5", "", {-104}, kCommand},
      {"BlockDataNowhere", "", "*ESE #15", "", {-104}, kCommand},
      {"UnknownKeywordIsIllegalValue", "", "VOLT abc", "", {-224}, kExecution},
      {"UnknownBooleanWord", "", "OUTP maybe", "", {-224}, kExecution},
      {"ChannelAliasRefused", "", "INST OUT1", "", {-224}, kExecution},
      {"ChannelOutOfRange", "", "INST ch8", "", {-224}, kExecution},
      {"StringInSingleQuotes", "", "DISP:TEXT 'it''s'", "", {}, 0, "DISP:TEXT?", "\"it's\"\n"},
      {"UnterminatedString", "", "DISP:TEXT \"abc", "", {-150}, kCommand},
      {"SecurityCodeAsWordOrString",
       "",
       "CAL:SEC OFF,HLV3907;SEC ON;SEC OFF,\"HLV3907\"",
       "",
       {},
       0,
       "CAL:SEC?",
       "0\n"},
      // Numbers.
      {"ExponentBeyond32000", "", "VOLT 1E32001", "", {-123}, kCommand},
      {"NegativeExponentBeyond32000", "", "VOLT 1E-32001", "", {-123}, kCommand},
      {"OverflowIsOutOfRange", "", "VOLT 5E999", "", {-222}, kExecution},
      {"UnderflowReadsAsZero", "VOLT 1", "VOLT 1E-400", "", {}, 0, "VOLT?", "+0.00000E+00\n"},
      {"ExponentAndSuffix", "", "VOLT 25E-1 V;VOLT?", "+2.50000E+00\n", {}, 0},
      {"UnitPrefixes",
       "",
       "VOLT 1500 mV;CURR 250MA;VOLT?;CURR?",
       "+1.50000E+00;+2.50000E-01\n",
       {},
       0},
      {"WrongUnit", "", "VOLT 1.5 A", "", {-131}, kCommand},
      {"MinMaxDefault", "", "CURR MIN;CURR? MAX;CURR? DEF", "+3.00000E+00;+3.00000E+00\n", {}, 0},
      {"NonDecimalMask", "", "*ESE #H20;*ESE?", "32\n", {}, 0},
      {"RoundedInteger", "", "*SRE 7.6;*SRE?", "8\n", {}, 0},
      // White space and characters.
      {"VerticalTabSeparatesHeader",
       "",
       std::string("VOLT\x0b"
                   "2"),
       "",
       {},
       0,
       "VOLT?",
       "+2.00000E+00\n"},
      {"NulIsWhiteSpace", "", std::string("\0VOLT\0 3\0;\0VOLT?\0", 17), "+3.00000E+00\n", {}, 0},
      {"ControlBytesAroundUnits", "", "\x01\x0c*OPC?\x1f ; \x1f*ESE?\r", "1;0\n", {}, 0},
      {"DeleteIsInvalid", "", "VOLT 1\x7f", "", {-101}, kCommand},
      {"EightBitIsInvalid", "", "VOLT 1\x80", "", {-101}, kCommand},
      {"LineFeedEndsMessage", "", "VOLT:PROT 9\nPROT?", "", {-113}, kCommand},
      // The status structure.
      {"PowerOnEventOnce", "", "*ESR?", "128\n", {}, 0, "*PSC?", "1\n", true},
      {"ClsClearsPowerOn", "", "*CLS;*ESR?", "0\n", {}, 0, "", "", true},
      {"QueueOverflowIsDeviceError", "", repeat("FOO\n", 21), "",
       [] {
         std::vector<int> codes(19, -113);
         codes.push_back(-350);
         return codes;
       }(),
       kCommand | kDevice},
      {"ErrorQueueIsFifo",
       "",
       "FOO\nVOLT 99\n*ESE 256",
       "",
       {-113, -222, -222},
       kCommand | kExecution},
      {"EnableRegisterDropsBit15", "", "STAT:OPER:ENAB 65535;ENAB?", "32767\n", {}, 0},
      {"EnableRegisterDropsBit15NonDecimal",
       "",
       "STAT:QUES:INST:ISUM2:ENAB #HFFFF;ENAB?",
       "32767\n",
       {},
       0},
      {"EnableRegisterRange", "", "STAT:OPER:ENAB 65536", "", {-222}, kExecution},
      {"StatusByteSummaries", "*ESE 32;*SRE 32", "FOO", "", {-113}, kCommand, "*STB?", "100\n"},
      {"OperationComplete", "", "*OPC", "", {}, kOpc},
      {"StatusPreset", "STAT:OPER:ENAB 8", "STAT:PRES;OPER:ENAB?", "0\n", {}, 0},
      {"ConditionSummaryChain",
       "INST ch3;VOLT 2",
       "OUTP ON",
       "",
       {},
       0,
       "STAT:OPER:INST:ISUM3:COND?;:STAT:OPER:INST:COND?;:STAT:OPER:COND?",
       "256;8;8192\n"},
      // The supply model.
      {"SaveAndRecall", "VOLT 2;*SAV 1;VOLT 3", "*RCL 1;VOLT?", "+2.00000E+00\n", {}, 0},
      {"ConstantCurrentIntoTheLoad",
       "INST ch3;VOLT 12;CURR 0.5",
       "OUTP ON;MEAS:VOLT?",
       "+5.00000E+00\n",
       {},
       0},
      {"ProtectionTrips", "VOLT 5;OUTP ON", "VOLT:PROT 4;PROT:TRIP?;:OUTP?", "1;0\n", {}, 0},
      {"TrippedOutputRefusesOn", "VOLT 5;OUTP ON;VOLT:PROT 4", "OUTP ON", "", {-221}, kExecution},
      {"FollowerRefusesSettings", "INST:COM:PARA;:INST ch2", "CURR 1", "", {-221}, kExecution},
      {"DisabledOutputCarriesNothing",
       "INST ch6;VOLT 2;OUTP:ENAB OFF",
       "OUTP ON;MEAS:VOLT?",
       "+0.00000E+00\n",
       {},
       0,
       ":OUTP?;:OUTP:ENAB ON;:MEAS:VOLT?",
       "1;+2.00000E+00\n"},
      {"SecuredCalibration", "", "CAL:SAV", "", {-203}, kExecution},
  };
  return all;
}

void PrintTo(const Row& row, std::ostream* os) {
  *os << row.name;
}

// Drains the error queue into codes.
std::vector<int> errors_of(Instrument& instrument) {
  std::vector<int> codes;
  for (;;) {
    const std::string reply = instrument.execute("SYST:ERR?");
    const int code = std::stoi(reply);
    if (code == 0) return codes;
    codes.push_back(code);
  }
}

class ConformanceTest : public ::testing::TestWithParam<Row> {};

TEST_P(ConformanceTest, ReplyErrorsAndEventBits) {
  const Row& row = GetParam();
  Instrument instrument;
  if (!row.power_on) {
    instrument.execute(row.setup);
    instrument.execute("*CLS");
  }
  EXPECT_EQ(instrument.execute(row.send), row.reply);
  if (!row.check.empty()) {
    EXPECT_EQ(instrument.execute(row.check), row.check_reply);
  }
  EXPECT_EQ(errors_of(instrument), row.errors);
  EXPECT_EQ(instrument.execute("*ESR?"), std::to_string(row.esr) + "\n");
}

INSTANTIATE_TEST_SUITE_P(Sim, ConformanceTest, ::testing::ValuesIn(rows()),
                         [](const auto& info) { return info.param.name; });

TEST(ConformanceTest, OutputTimerStartsOnlyWhenTheOutputSwitchesOn) {
  Instrument instrument;
  auto now = std::chrono::steady_clock::time_point{};
  instrument.set_clock([&now] { return now; });
  instrument.execute("INST ch2;OUTP:TIM:DATA 2;:OUTP ON;:OUTP:TIM ON");  // on before the timer
  now += std::chrono::seconds(5);
  EXPECT_EQ(instrument.execute("OUTP?"), "1\n");
  instrument.execute("OUTP OFF;OUTP ON");
  now += std::chrono::seconds(1);
  EXPECT_EQ(instrument.execute("OUTP?"), "1\n");
  now += std::chrono::seconds(2);
  EXPECT_EQ(instrument.execute("OUTP?"), "0\n");
}

}  // namespace
}  // namespace zr48::sim
