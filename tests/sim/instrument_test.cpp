// The instrument model through its SCPI interface: scripts of lines and the exact replies.
// The syntax and status rules have their own table in conformance_test.cpp.

#include <gtest/gtest.h>

#include <chrono>
#include <ostream>
#include <cmath>
#include <string>
#include <vector>

#include "zr48sim/instrument.h"

namespace zr48::sim {
namespace {

struct Step {
  std::string send;
  std::string expect;  // exact reply bytes; "" for a line that must not answer
};

struct Script {
  std::string name;
  std::vector<Step> steps;
};

const std::string kNoError = "0,\"No error\"\n";

std::string err(int code, const char* text) {
  return std::to_string(code) + ",\"" + text + "\"\n";
}

const std::vector<Script>& scripts() {
  static const std::vector<Script> all{
      {"Identity",
       {{"*IDN?", "Velharn, HLV3907, 0123456789AF, 1.00-1.00\n"},
        {"*TST?", "0\n"},
        {"SYST:VERS?", "1999.0\n"},
        {"SYST:MODU?", "HLV3907\n"},
        {"*OPC?", "1\n"},
        {"*IDN?\r\n", "Velharn, HLV3907, 0123456789AF, 1.00-1.00\n"},
        {"SYST:ERR?", kNoError}}},
      {"LongAndShortMnemonicsAnyCase",
       {{"INSTrument:SELect ch3", ""},
        {"inst?", "CH3\n"},
        {"SOURce:VOLTage:LEVel:IMMediate:AMPLitude 2.5", ""},
        {"volt?", "+2.50000E+00\n"},
        {"Voltage 3", ""},
        {"SOUR:VOLT:LEV?", "+3.00000E+00\n"},
        {"current 0.5", ""},
        {"CURR?", "+5.00000E-01\n"},
        {"STATus:QUEStionable:ENABle 8", ""},
        {"stat:ques:enab?", "8\n"},
        {"VOLTage:PROTection:STATe OFF", ""},
        {"VOLT:PROT:STAT?", "0\n"},
        {"INST:NSELECT 4", ""},
        {"INSTRUMENT:NSEL?", "4\n"},
        {"VOLT:LIMIT 12", ""},
        {"VOLT:LIM?", "+1.20000E+01\n"},
        {"VOLTAGEX 1", ""},
        {"SYST:ERR?", err(-113, "Undefined header")},
        {"SYST:ERR?", kNoError}}},
      {"QueryParametersAndBlanks",
       {{"INST ch7", ""},
        {"VOLT? ", "+0.00000E+00\n"},
        {"CURR? ", "+5.00000E+00\n"},
        {"CURR? MAX", "+5.00000E+00\n"},
        {"CURR? MIN", "+0.00000E+00\n"},
        {"VOLT? MAXimum", "+6.00000E+00\n"},
        {"VOLT:PROT? MAX", "+6.60000E+00\n"},
        {"VOLT:STEP? DEF", "+1.00000E-01\n"},
        {"CURR:STEP? ", "+1.00000E-02\n"},
        {"VOLT:LIMIT? MIN", "+0.00000E+00\n"},
        {"CURR:TRIG? DEF", "+5.00000E+00\n"},
        {"VOLT? 5", ""},
        {"SYST:ERR?", err(-104, "Data type error")},
        {"VOLT MAX", ""},
        {"VOLT?", "+6.00000E+00\n"},
        {"VOLT 1500 mV", ""},
        {"VOLT?", "+1.50000E+00\n"},
        {"CURR 250MA", ""},
        {"CURR?", "+2.50000E-01\n"},
        {"SYST:ERR?", kNoError}}},
      {"ChannelConditionsSummarise",
       {{"INST ch3", ""},
        {"VOLT 2", ""},
        {"OUTP ON", ""},
        {"STAT:OPER:INST:ISUM3:COND?", "256\n"},  // constant voltage: 0.2 A into 10 ohms
        {"STAT:OPER:INST:COND?", "8\n"},          // bit 3 for channel 3
        {"STAT:OPER:COND?", "8192\n"},
        {"*STB?", "0\n"},
        {"STAT:OPER:ENAB 8192", ""},
        {"*STB?", "128\n"},
        {"CURR 0.1", ""},
        {"STAT:OPER:INST:ISUM3:COND?", "1024\n"},  // now current-limited
        {"MEAS:VOLT?", "+1.00000E+00\n"},
        {"MEAS:CURR?", "+1.00000E-01\n"},
        {"STAT:OPER:INST:ISUM3?", "1280\n"},  // both transitions latched; reading clears
        {"STAT:OPER:INST:ISUM3?", "0\n"},
        {"STAT:OPER:INST:COND?", "0\n"},
        {"STAT:OPER:INST?", "8\n"},
        {"STAT:OPER?", "8192\n"},
        {"STAT:OPER?", "0\n"},
        {"*STB?", "0\n"},
        {"STAT:OPER:INST:ISUM3:ENAB 0", ""},
        {"STAT:OPER:INST:ISUM3:ENAB?", "0\n"},
        {"STAT:PRES", ""},
        {"STAT:OPER:ENAB?", "0\n"},
        {"STAT:OPER:INST:ISUM3:ENAB?", "32767\n"},
        {"STAT:QUES:INST:ENAB?", "32767\n"}}},
      {"TriggeredLevels",
       {{"INST ch2", ""},
        {"VOLT 1", ""},
        {"VOLT:TRIG 2.5", ""},
        {"CURR:TRIG 0.5", ""},
        {"VOLT?", "+1.00000E+00\n"},
        {"VOLT:TRIG?", "+2.50000E+00\n"},
        {"INST ch5", ""},
        {"VOLT:TRIG 4", ""},
        {"TRIG", ""},
        {"VOLT?", "+4.00000E+00\n"},
        {"INST ch2", ""},
        {"VOLT?", "+2.50000E+00\n"},
        {"CURR?", "+5.00000E-01\n"},
        {"VOLT 3", ""},
        {"*TRG", ""},  // nothing pending any more
        {"VOLT?", "+3.00000E+00\n"},
        {"VOLT:TRIG 7", ""},
        {"*TRG", ""},
        {"VOLT?", "+7.00000E+00\n"}}},
      {"StepUpAndDown",
       {{"INST ch1", ""},
        {"VOLT 1", ""},
        {"VOLT:STEP 0.5", ""},
        {"VOLT:UP", ""},
        {"VOLT?", "+1.50000E+00\n"},
        {"VOLT:DOWN", ""},
        {"VOLT:DOWN", ""},
        {"VOLT?", "+5.00000E-01\n"},
        {"VOLT:DOWN", ""},
        {"VOLT:DOWN", ""},
        {"VOLT?", "+0.00000E+00\n"},
        {"SYST:ERR?", err(-222, "Data out of range")},
        {"CURR 1", ""},
        {"CURR:STEP 0.25", ""},
        {"CURR:UP", ""},
        {"CURR UP", ""},
        {"CURR?", "+1.50000E+00\n"},
        {"CURR:STEP?", "+2.50000E-01\n"}}},
      {"ProtectionTrip",
       {{"INST ch1", ""},
        {"VOLT 5", ""},
        {"OUTP ON", ""},
        {"VOLT:PROT 4", ""},
        {"VOLT:PROT:TRIP?", "1\n"},
        {"OUTP?", "0\n"},
        {"MEAS:VOLT?", "+0.00000E+00\n"},
        {"STAT:QUES:INST:ISUM1:COND?", "1\n"},
        {"STAT:QUES:INST:COND?", "2\n"},
        {"OUTP ON", ""},
        {"SYST:ERR?", err(-221, "Settings conflict")},
        {"VOLT:PROT:CLE", ""},
        {"VOLT:PROT:TRIP?", "0\n"},
        {"STAT:QUES:INST:ISUM1:COND?", "0\n"},
        {"STAT:QUES:INST:ISUM1?", "1\n"},
        {"VOLT:PROT 6", ""},
        {"OUTP ON", ""},
        {"MEAS:VOLT?", "+5.00000E+00\n"},
        {"VOLT:PROT:STAT OFF", ""},
        {"VOLT 8", ""},
        {"OUTP?", "1\n"},
        {"VOLT:PROT:STAT ON", ""},
        {"OUTP?", "0\n"},
        {"VOLT:PROT:TRIP?", "1\n"}}},
      {"VoltageLimit",
       {{"INST ch4", ""},
        {"VOLT 10", ""},
        {"VOLT:LIMIT 6", ""},
        {"VOLT:LIMIT:STAT ON", ""},
        {"VOLT:LIMIT:STAT?", "1\n"},
        {"OUTP ON", ""},
        {"MEAS:VOLT?", "+6.00000E+00\n"},
        {"STAT:QUES:INST:ISUM4:COND?", "2\n"},
        {"VOLT:LIMIT:STAT OFF", ""},
        {"MEAS:VOLT?", "+1.00000E+01\n"},
        {"STAT:QUES:INST:ISUM4:COND?", "0\n"}}},
      {"SaveAndRecall",
       {{"INST ch2", ""},
        {"VOLT 1.5", ""},
        {"OUTP ON", ""},
        {"*SAV 3", ""},
        {"VOLT 2", ""},
        {"INST ch6", ""},
        {"*RCL 3", ""},
        {"INST?", "CH2\n"},
        {"VOLT?", "+1.50000E+00\n"},
        {"OUTP?", "1\n"},
        {"*RST", ""},
        {"VOLT?", "+0.00000E+00\n"},
        {"OUTP?", "0\n"},
        {"INST?", "CH1\n"},
        {"*RCL 3", ""},
        {"INST?", "CH2\n"},
        {"*SAV 10", ""},
        {"SYST:ERR?", err(-222, "Data out of range")}}},
      {"CalibrationSecurity",
       {{"CAL:SEC?", "1\n"},
        {"CAL:VOLT:LEV MIN", ""},
        {"SYST:ERR?", err(-203, "Command protected")},
        {"CAL:SAV", ""},
        {"CAL:INIT", ""},
        {"CAL:CLE ALL", ""},
        {"SYST:ERR:COUN?", "3\n"},
        {"*CLS", ""},
        {"CAL:SEC OFF,WRONG", ""},
        {"SYST:ERR?", err(-224, "Illegal parameter value")},
        {"CAL:SEC OFF,HLV3907", ""},
        {"CAL:SEC?", "0\n"},
        {"CAL:INIT", ""},
        {"CAL:VOLT 1.0", ""},
        {"SYST:ERR?", err(-221, "Settings conflict")},
        {"CAL:VOLT:LEV MIN", ""},
        {"CAL:VOLT 0.012", ""},
        {"CAL:CURR:LEV MAX", ""},
        {"CAL:CURR 2.998", ""},
        {"CAL:SAV", ""},
        {"CAL:COUN?", "1\n"},
        {"CAL:CLE ch1", ""},
        {"CAL:SEC ON", ""},
        {"CAL:SAV", ""},
        {"SYST:ERR?", err(-203, "Command protected")},
        {"CAL:COUN?", "1\n"}}},
      {"SeriesParallelTracking",
       {{"INST ch1", ""},
        {"INST:COM:SER", ""},
        {"OUTP:SER?", "1\n"},
        {"OUTP:PAR?", "0\n"},
        {"INST ch2", ""},
        {"OUTP:SER?", "1\n"},
        {"VOLT 3", ""},
        {"SYST:ERR?", err(-221, "Settings conflict")},
        {"INST ch1", ""},
        {"VOLT 5", ""},
        {"OUTP ON", ""},
        {"MEAS:VOLT?", "+5.00000E+00\n"},  // each output carries half of 10 V
        {"MEAS:CURR?", "+1.00000E+00\n"},  // 10 V into 10 ohms
        {"INST ch2", ""},
        {"VOLT?", "+5.00000E+00\n"},
        {"OUTP?", "1\n"},
        {"INST ch1", ""},
        {"INST:COM:PARA", ""},
        {"CURR 0.2", ""},
        {"MEAS:CURR?", "+2.00000E-01\n"},  // 0.4 A into the load, shared
        {"MEAS:VOLT?", "+4.00000E+00\n"},
        {"INST:COM:TRA", ""},
        {"OUTP:TRAC?", "1\n"},
        {"VOLT 7", ""},
        {"INST ch2", ""},
        {"VOLT?", "+7.00000E+00\n"},
        {"CURR 1", ""},
        {"CURR?", "+1.00000E+00\n"},
        {"OUTP:TRAC OFF", ""},
        {"OUTP:TRAC?", "0\n"},
        {"INST ch3", ""},
        {"OUTP:PAR ON", ""},
        {"INST ch4", ""},
        {"OUTP:PAR?", "1\n"},
        {"INST:COM:OFF", ""},
        {"OUTP:PAR?", "0\n"},
        {"INST ch7", ""},
        {"INST:COM:SER", ""},
        {"SYST:ERR?", err(-221, "Settings conflict")}}},
      {"Coupling",
       {{"INST:COUP?", "NONE\n"},
        {"INST:COUP ch1,ch3", ""},
        {"INST:COUP?", "CH1,CH3\n"},
        {"INST ch1", ""},
        {"OUTP ON", ""},
        {"INST ch3", ""},
        {"OUTP?", "1\n"},
        {"INST ch2", ""},
        {"OUTP?", "0\n"},
        {"INST:COUP ALL", ""},
        {"INST:COUP?", "ALL\n"},
        {"INST:COUP NONE", ""},
        {"INST:COUP?", "NONE\n"}}},
      {"ApplyForms",
       {{"APPLY ch2,1.5,0.2", ""},
        {"APPLY? ch2", "+1.50000E+00,+2.00000E-01\n"},
        {"APPL CH3, 2 , MAX", ""},
        {"APPL? CH3", "+2.00000E+00,+3.00000E+00\n"},
        {"INST ch5", ""},
        {"APPLY 4.5", ""},
        {"APPLY?", "+4.50000E+00,+3.00000E+00\n"},
        {"APPLY? ", "+4.50000E+00,+3.00000E+00\n"},
        {"APPLY ch2", ""},
        {"SYST:ERR?", err(-109, "Missing parameter")},
        {"APPLY ch7,7", ""},
        {"SYST:ERR?", err(-222, "Data out of range")}}},
      {"OutputSettings",
       {{"INST ch6", ""},
        {"OUTP:ENAB?", "1\n"},
        {"OUTP:ENAB OFF", ""},
        {"OUTP 1", ""},
        {"OUTP?", "1\n"},
        {"MEAS:VOLT?", "+0.00000E+00\n"},  // enabled output only
        {"CHAN:OUTP?", "1\n"},
        {"CHAN:OUTP OFF", ""},
        {"OUTP?", "0\n"},
        {"OUTP:TIM?", "0\n"},
        {"OUTP:TIM ON", ""},
        {"OUTP:TIM:DATA 5", ""},
        {"OUTP:TIM?", "1\n"},
        {"OUTP:TIM:DATA?", "+5.00000E+00\n"},
        {"OUTP:TIM:DATA 250 ms", ""},
        {"OUTP:TIM:DATA?", "+2.50000E-01\n"}}},
      {"MeasureAndFetch",
       {{"INST ch2", ""},
        {"FETCH:VOLT?", "+0.00000E+00\n"},
        {"VOLT 3", ""},
        {"OUTP ON", ""},
        {"MEAS:VOLT?", "+3.00000E+00\n"},
        {"VOLT 4", ""},
        {"FETCH:VOLT?", "+3.00000E+00\n"},
        {"FETC:CURR?", "+3.00000E-01\n"},
        {"MEAS:POW?", "+1.60000E+00\n"},
        {"FETCH:VOLT?", "+4.00000E+00\n"},
        {"FETCH:CURR?", "+4.00000E-01\n"},
        {"FETCH:POW?", "+1.60000E+00\n"},
        {"MEASure:SCALar:VOLTage:DC?", "+4.00000E+00\n"},
        {"MEAS:VOLT? CH1", "+0.00000E+00\n"}}},
      {"DisplayAndSystem",
       {{"DISP?", "1\n"},
        {"DISP OFF", ""},
        {"DISP?", "0\n"},
        {"DISP:TEXT \"Hello, \"\"World\"\"\"", ""},
        {"DISP:TEXT?", "\"Hello, \"\"World\"\"\"\n"},
        {"DISP:TEXT 'single'", ""},
        {"DISP:TEXT?", "\"single\"\n"},
        {"DISP:TEXT:CLE", ""},
        {"DISP:TEXT?", "\"\"\n"},
        {"DISP:TEXT \"" + std::string(41, 'x') + "\"", ""},
        {"SYST:ERR?", err(-223, "Too much data")},
        {"SYST:COMM:GPIB:RDEV:ADDR?", "5\n"},
        {"SYST:COMM:GPIB:RDEV:ADDR 7", ""},
        {"SYST:COMM:GPIB:RDEV:ADDR?", "7\n"},
        {"SYST:COMM:GPIB:RDEV:ADDR 31", ""},
        {"SYST:ERR?", err(-222, "Data out of range")},
        {"SYST:REM", ""},
        {"SYST:RWL", ""},
        {"SYST:LOC", ""},
        {"SYST:BEEP", ""},
        {"*WAI", ""},
        {"SYST:ERR?", kNoError}}},
  };
  return all;
}

void PrintTo(const Script& script, std::ostream* os) {
  *os << script.name;
}

class ScriptTest : public ::testing::TestWithParam<Script> {};

TEST_P(ScriptTest, RepliesMatch) {
  Instrument instrument;
  for (const Step& step : GetParam().steps) {
    EXPECT_EQ(instrument.execute(step.send), step.expect) << "after \"" << step.send << '"';
  }
}

INSTANTIATE_TEST_SUITE_P(Instrument, ScriptTest, ::testing::ValuesIn(scripts()),
                         [](const auto& info) { return info.param.name; });

double reply_value(Instrument& instrument, const std::string& query) {
  return std::stod(instrument.execute(query));
}

// Measured voltage, current and power agree with the load in both regulation modes.
TEST(InstrumentTest, MeasurementsFollowTheResistiveLoad) {
  struct Case {
    double volt;
    double curr;
    double ohms;
    bool constant_current;
  };
  const Case cases[] = {{1.5, 0.2, 10.0, false},   {12.0, 0.5, 10.0, true}, {5.0, 3.0, 2.0, false},
                        {30.0, 1.0, 100.0, false}, {20.0, 0.1, 47.0, true}, {3.3, 1.0, 0.5, true}};
  for (const Case& c : cases) {
    Instrument instrument;
    instrument.set_load(3, c.ohms);
    instrument.execute("INST ch3;VOLT " + std::to_string(c.volt) + ";CURR " +
                       std::to_string(c.curr) + ";OUTP ON");
    const double v = reply_value(instrument, "MEAS:VOLT?");
    const double i = reply_value(instrument, "MEAS:CURR?");
    const double p = reply_value(instrument, "MEAS:POW?");
    SCOPED_TRACE(testing::Message() << c.volt << " V, " << c.curr << " A, " << c.ohms << " ohm");
    EXPECT_NEAR(v, i * c.ohms, 1e-4 * c.volt + 1e-6);
    EXPECT_NEAR(p, v * i, 1e-4 * (v * i) + 1e-6);
    if (c.constant_current) {
      EXPECT_NEAR(i, c.curr, 1e-6);
      EXPECT_LT(v, c.volt);
      EXPECT_EQ(instrument.execute("STAT:OPER:INST:ISUM3:COND?"), "1024\n");
    } else {
      EXPECT_NEAR(v, c.volt, 1e-6);
      EXPECT_LE(i, c.curr);
      EXPECT_EQ(instrument.execute("STAT:OPER:INST:ISUM3:COND?"), "256\n");
    }
  }
}

TEST(InstrumentTest, OpenCircuitDrawsNoCurrent) {
  Instrument instrument;
  instrument.set_load(1, 0.0);
  instrument.execute("INST ch1;VOLT 9;OUTP ON");
  EXPECT_EQ(instrument.execute("MEAS:VOLT?;:MEAS:CURR?"), "+9.00000E+00;+0.00000E+00\n");
}

TEST(InstrumentTest, OutputTimerSwitchesTheOutputOff) {
  Instrument instrument;
  auto now = std::chrono::steady_clock::time_point{};
  instrument.set_clock([&now] { return now; });
  instrument.execute("INST ch2;OUTP:TIM:DATA 2;:OUTP:TIM ON;:OUTP ON");
  now += std::chrono::seconds(1);
  EXPECT_EQ(instrument.execute("OUTP?"), "1\n");
  now += std::chrono::seconds(2);
  EXPECT_EQ(instrument.execute("OUTP?"), "0\n");
}

TEST(InstrumentTest, SetIdnAndTstChangeTheReplies) {
  Instrument instrument;
  instrument.set_idn("Maker,M1,S1,2.5");
  instrument.set_tst("1,\"Output 3 failed\"");
  EXPECT_EQ(instrument.execute("*IDN?"), "Maker,M1,S1,2.5\n");
  EXPECT_EQ(instrument.execute("*TST?"), "1,\"Output 3 failed\"\n");
}

TEST(InstrumentTest, ArbitraryBytesNeverCrash) {
  Instrument instrument;
  std::string line;
  unsigned seed = 12345;
  for (int round = 0; round < 2000; ++round) {
    line.clear();
    const unsigned length = (seed >> 16) % 64;
    for (unsigned i = 0; i < length; ++i) {
      seed = seed * 1103515245 + 12345;
      // Mostly SCPI-ish characters, sometimes anything.
      static const char kAlphabet[] = "VOLTCURINSMEAPRQ:;?* ,.0123456789\"'#HEvolt";
      line.push_back((seed >> 24) % 8 == 0 ? static_cast<char>(seed >> 16)
                                           : kAlphabet[(seed >> 16) % (sizeof kAlphabet - 1)]);
    }
    const std::string reply = instrument.execute(line);
    if (!reply.empty()) {
      EXPECT_EQ(reply.back(), '\n');
    }
  }
  EXPECT_EQ(instrument.execute("*IDN?"), "Velharn, HLV3907, 0123456789AF, 1.00-1.00\n");
}

}  // namespace
}  // namespace zr48::sim
