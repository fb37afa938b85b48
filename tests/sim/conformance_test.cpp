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

// Event status bits.
constexpr int kQuery = 4;
constexpr int kDevice = 8;
constexpr int kExe = 16;
constexpr int kCmd = 32;

struct Row {
  std::string name;
  std::string send;  // program messages, separated by line feeds
  std::string reply;
  std::vector<int> errors = {};  // the error queue afterwards, oldest first
  int esr = 0;                   // *ESR? afterwards
  bool power_on = false;         // as switched on; otherwise after *CLS
};

const std::vector<Row>& rows() {
  const std::string idn = "Velharn, HLV3907, 0123456789AF, 1.00-1.00";
  const std::vector<int> overflow = [] {
    std::vector<int> codes(19, -113);
    codes.push_back(-350);
    return codes;
  }();
  std::string foo21;
  for (int i = 0; i < 21; ++i) foo21 += "FOO\n";
  static const std::vector<Row> all{
      // Headers resolve against the current path only.
      {"OutsidePath", ":OUTP:STAT OFF;VOLT 5;:SYST:ERR?\nVOLT?", "+0.00000E+00\n", {-113}, kCmd},
      {"ContinuesPath", "VOLT:PROT 10;PROT?", "+1.00000E+01\n", {}, 0},
      {"PathLessLastMnemonic", "VOLT:PROT:STAT OFF;LEV 5;STAT?;:VOLT:PROT?", "0;+5.00000E+00\n"},
      {"OptionalRoot", "SOUR:VOLT 2;CURR 1;:VOLT?;CURR?", "+2.00000E+00;+1.00000E+00\n"},
      {"DeeperPath", "STAT:OPER:ENAB 8;INST:ENAB 4;:STAT:OPER:ENAB?;INST:ENAB?", "8;4\n"},
      {"ColonReturnsToRoot", "VOLT:PROT 10;:CURR 1;CURR?", "+1.00000E+00\n"},
      {"CommonKeepsPath", "VOLT:PROT 10;*CLS;PROT?", "+1.00000E+01\n"},
      {"MessageStartsAtRoot", "VOLT:PROT 10\nPROT?", "", {-113}, kCmd},
      {"LeadingZeroSuffix", "STAT:QUES:INST:ISUM03?", "", {-113}, kCmd},
      {"SuffixOne", "VOLT1 2;VOLT1?", "+2.00000E+00\n"},
      {"SuffixOutOfRange", "STAT:QUES:INST:ISUM8?", "", {-114}, kCmd},
      {"NoQueryForm", "SYST:BEEP?", "", {-113}, kCmd},
      {"MnemonicTooLong", "ABCDEFGHIJKLMN 1", "", {-112}, kCmd},
      {"EmptyMnemonic", "VOLT::LEV 1", "", {-102}, kCmd},
      // A command error ends the message; other errors reject only their unit.
      {"ExecutionError", ":CURR 3;:VOLT 99;:CURR 0.5;CURR?", "+5.00000E-01\n", {-222}, kExe},
      {"FailedQuery", "VOLT 1;MEAS:VOLT? CH9;:VOLT?", "+1.00000E+00\n", {-224}, kExe},
      {"SettingsConflict", "INST:COM:SER;:INST ch2;:VOLT 3;:INST?", "CH2\n", {-221}, kExe},
      {"CommandError", "VOLT 1;FOO;VOLT 2\nVOLT?", "+1.00000E+00\n", {-113}, kCmd},
      {"TooManyParameters", "VOLT 1;VOLT 2,3;VOLT 4\nVOLT?", "+1.00000E+00\n", {-108}, kCmd},
      {"MissingParameter", "VOLT", "", {-109}, kCmd},
      {"RepliesBeforeError", "VOLT?;FOO;CURR?", "+0.00000E+00\n", {-113}, kCmd},
      {"EmptyUnits", ";VOLT 2;;\nVOLT?", "+2.00000E+00\n"},
      // Responses.
      {"AfterIndefinite", "*IDN?;*STB?", idn + "\n", {-440}, kQuery},
      {"IndefiniteLast", "*STB?;*IDN?", "0;" + idn + "\n"},
      {"CommandAfterIndefinite", "*IDN?;VOLT 2\nVOLT?", idn + "\n+2.00000E+00\n"},
      {"RepliesJoin", "*OPC?;VOLT?;*ESE?", "1;+0.00000E+00;0\n"},
      // Program data types.
      {"WordForNumber", "*ESE ABC", "", {-104}, kCmd},
      {"StringForNumber", ":VOLT \"1\"", "", {-104}, kCmd},
      {"StringForChannel", ":INST \"CH2\"\nINST?", "CH1\n", {-104}, kCmd},
      {"WordForString", "DISP:TEXT hello", "", {-104}, kCmd},
      {"StringForBoolean", "OUTP \"ON\"", "", {-104}, kCmd},
      {"NumberForKeyword", "VOLT? 5", "", {-104}, kCmd},
      {"BlockData", "*ESE #15", "", {-104}, kCmd},
      {"UnknownKeyword", "VOLT abc", "", {-224}, kExe},
      {"UnknownBoolean", "OUTP maybe", "", {-224}, kExe},
      {"ChannelAlias", "INST OUT1", "", {-224}, kExe},
      {"ChannelRange", "INST ch8", "", {-224}, kExe},
      {"SingleQuotes", "DISP:TEXT 'it''s';TEXT?", "\"it's\"\n"},
      {"OpenString", "DISP:TEXT \"abc", "", {-150}, kCmd},
      {"CodeWordOrString", "CAL:SEC OFF,HLV3907;SEC ON;SEC OFF,'HLV3907';SEC?", "0\n"},
      // Numbers.
      {"ExponentOver32000", "VOLT 1E32001", "", {-123}, kCmd},
      {"ExponentUnder32000", "VOLT 1E-32001", "", {-123}, kCmd},
      {"Overflow", "VOLT 5E999", "", {-222}, kExe},
      {"Underflow", "VOLT 1;VOLT 1E-400;VOLT?", "+0.00000E+00\n"},
      {"BadNumber", "VOLT 1.2.3", "", {-121}, kCmd},
      {"ExponentAndSuffix", "VOLT 25E-1 V;VOLT?", "+2.50000E+00\n"},
      {"UnitPrefixes", "VOLT 1500 mV;CURR 250MA;VOLT?;CURR?", "+1.50000E+00;+2.50000E-01\n"},
      {"WrongUnit", "VOLT 1.5 A", "", {-131}, kCmd},
      {"MinMaxDef", "CURR MIN;CURR? MAX;CURR? DEF;CURR?",
       "+3.00000E+00;+3.00000E+00;+0.00000E+00\n"},
      {"NonDecimal", "*ESE #H20;*ESE?;*SRE #B101;*SRE?", "32;5\n"},
      {"RoundedInteger", "*SRE 7.6;*SRE?", "8\n"},
      // White space is 0x00-0x09 and 0x0B-0x20; a line feed ends the message.
      {"VerticalTab",
       std::string("VOLT\x0b"
                   "2;VOLT?"),
       "+2.00000E+00\n"},
      {"Nul", std::string("\0VOLT\0 3\0;\0VOLT?\0", 17), "+3.00000E+00\n"},
      {"ControlBytes", "\x01\x0c*OPC?\x1f ; \x1f*ESE?\r", "1;0\n"},
      {"Delete", "VOLT 1\x7f", "", {-101}, kCmd},
      {"EightBit", "VOLT 1\x80", "", {-101}, kCmd},
      // The status structure.
      {"PowerOn", "*ESR?;*PSC?;*ESR?", "128;1;0\n", {}, 0, true},
      {"ClsClearsPowerOn", "*CLS;*ESR?", "0\n", {}, 0, true},
      {"QueueOverflow", foo21, "", overflow, kCmd | kDevice},
      {"ErrorQueueFifo", "FOO\nVOLT 99\n*ESE 256", "", {-113, -222, -222}, kCmd | kExe},
      {"EnableBit15", "STAT:OPER:ENAB 65535;ENAB?", "32767\n"},
      {"EnableBit15Hex", "STAT:QUES:INST:ISUM2:ENAB #HFFFF;ENAB?", "32767\n"},
      {"EnableRange", "STAT:OPER:ENAB 65536", "", {-222}, kExe},
      {"Summaries", "*ESE 32;*SRE 32;FOO\n*STB?", "100\n", {-113}, kCmd},
      {"Opc", "*OPC", "", {}, 1},
      {"Preset", "STAT:OPER:ENAB 8;:STAT:PRES;OPER:ENAB?", "0\n"},
      {"ConditionChain",
       "INST ch3;VOLT 2;:OUTP "
       "ON;:STAT:OPER:INST:ISUM3:COND?;:STAT:OPER:INST:COND?;:STAT:OPER:COND?",
       "256;8;8192\n"},
      // The supply.
      {"SaveRecall", "VOLT 2;*SAV 1;VOLT 3;*RCL 1;VOLT?", "+2.00000E+00\n"},
      {"ConstantCurrent", "INST ch3;VOLT 12;CURR 0.5;:OUTP ON;:MEAS:VOLT?", "+5.00000E+00\n"},
      {"ProtectionTrips", "VOLT 5;OUTP ON;VOLT:PROT 4;PROT:TRIP?;:OUTP?", "1;0\n"},
      {"TrippedOutput", "VOLT 5;OUTP ON;VOLT:PROT 4;:OUTP ON", "", {-221}, kExe},
      {"Follower", "INST:COM:PARA;:INST ch2;:CURR 1", "", {-221}, kExe},
      {"DisabledOutput", "INST ch6;VOLT 2;:OUTP:ENAB OFF;:OUTP ON;:MEAS:VOLT?;:OUTP?",
       "+0.00000E+00;1\n"},
      {"Secured", "CAL:SAV", "", {-203}, kExe},
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
  if (!row.power_on) instrument.execute("*CLS");
  EXPECT_EQ(instrument.execute(row.send), row.reply);
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
