// The SCPI syntax layer: header patterns, parameter values and reply formats.

#include "scpi_syntax.h"

#include <gtest/gtest.h>

#include "scpi_errors.h"
#include "test_names.h"

namespace zr48::sim {
namespace {

using zr48::test::NamedBy;

struct HeaderCase {
  const char* pattern;
  const char* header;  // as parse_unit sees it
  int suffix;          // expected suffix, or 0 for no match
};

class HeaderPatternTest : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(HeaderPatternTest, Matches) {
  const HeaderCase& c = GetParam();
  const ProgramUnit unit = parse_unit(c.header);
  const auto suffix = HeaderPattern(c.pattern).match(unit.tokens);
  if (c.suffix == 0) {
    EXPECT_FALSE(suffix) << c.header;
  } else {
    ASSERT_TRUE(suffix) << c.header;
    EXPECT_EQ(*suffix, c.suffix);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Syntax, HeaderPatternTest,
    ::testing::Values(
        HeaderCase{"[SOURce:]VOLTage[:LEVel][:IMMediate]", "VOLT", 1},
        HeaderCase{"[SOURce:]VOLTage[:LEVel][:IMMediate]", "source:voltage:level:immediate", 1},
        HeaderCase{"[SOURce:]VOLTage[:LEVel][:IMMediate]", "SOUR:VOLT:IMM", 1},
        HeaderCase{"[SOURce:]VOLTage[:LEVel][:IMMediate]", "VOLTA", 0},
        HeaderCase{"[SOURce:]VOLTage[:LEVel][:IMMediate]", "VOLT:PROT", 0},
        HeaderCase{"[SOURce:]VOLTage[:LEVel][:IMMediate]", "VOLT1", 1},
        HeaderCase{"[SOURce:]VOLTage[:LEVel][:IMMediate]", "VOLT2", 0},
        HeaderCase{"STATus:QUEStionable:INSTrument:ISUMmary#:ENABle", "STAT:QUES:INST:ISUM3:ENAB",
                   3},
        HeaderCase{"STATus:QUEStionable:INSTrument:ISUMmary#:ENABle", "STAT:QUES:INST:ISUM:ENAB",
                   1},
        HeaderCase{"STATus:QUEStionable:INSTrument:ISUMmary#[:EVENt]", "STAT:QUES:INST:ISUM7?", 7},
        HeaderCase{"INSTrument:COMbine:PARAllel|PARallel", "INST:COM:PARA", 1},
        HeaderCase{"INSTrument:COMbine:PARAllel|PARallel", "INST:COM:PAR", 1},
        HeaderCase{"INSTrument:COMbine:PARAllel|PARallel", "INST:COMBINE:PARALLEL", 1},
        HeaderCase{"FETCh[:SCALar]:VOLTage[:DC]", "FETCH:VOLT?", 1},
        HeaderCase{"FETCh[:SCALar]:VOLTage[:DC]", "FETC:SCAL:VOLT:DC?", 1},
        HeaderCase{"*IDN", "*idn?", 1}, HeaderCase{"*IDN", "*IDNX?", 0}),
    NamedBy(&HeaderCase::header));

struct NumberCase {
  const char* text;
  char unit;
  double value;
  int error;  // 0 when the text parses
};

class NumberTest : public ::testing::TestWithParam<NumberCase> {};

TEST_P(NumberTest, Parses) {
  const NumberCase& c = GetParam();
  if (c.error == 0) {
    EXPECT_DOUBLE_EQ(parse_number(c.text, c.unit), c.value) << c.text;
  } else {
    try {
      parse_number(c.text, c.unit);
      ADD_FAILURE() << c.text << " parsed";
    } catch (const ScpiError& e) {
      EXPECT_EQ(e.code, c.error) << c.text;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Syntax, NumberTest,
    ::testing::Values(
        NumberCase{"1.5", 'V', 1.5, 0}, NumberCase{"+1.5E+00", 'V', 1.5, 0},
        NumberCase{"-2", 0, -2.0, 0}, NumberCase{".25", 'A', 0.25, 0},
        NumberCase{"5.", 'A', 5.0, 0}, NumberCase{"1500mV", 'V', 1.5, 0},
        NumberCase{"250 MA", 'A', 0.25, 0}, NumberCase{"2 v", 'V', 2.0, 0},
        NumberCase{"100 ms", 'S', 0.1, 0}, NumberCase{"1e400", 'V', 0, kDataOutOfRange},
        NumberCase{"1e-400", 'V', 0.0, 0}, NumberCase{"2.5E-3 V", 'V', 0.0025, 0},
        NumberCase{"0.0001e-320", 'V', 0.0, 0}, NumberCase{"1E32001", 'V', 0, kExponentTooLarge},
        NumberCase{"1E-99999999999999999999", 'V', 0, kExponentTooLarge},
        NumberCase{"\"1\"", 'V', 0, kDataTypeError}, NumberCase{"#210", 'V', 0, kDataTypeError},
        NumberCase{"1.5A", 'V', 0, kInvalidSuffix}, NumberCase{"1.5V", 0, 0, kSuffixNotAllowed},
        NumberCase{"1,5", 'V', 0, kInvalidCharacterInNumber},
        NumberCase{"1e", 'V', 0, kInvalidCharacterInNumber},
        NumberCase{"-", 'V', 0, kInvalidCharacterInNumber},
        NumberCase{"HIGH", 'V', 0, kDataTypeError}, NumberCase{"", 'V', 0, kMissingParameter}),
    NamedBy(&NumberCase::text));

TEST(SyntaxTest, UnitsSplitOutsideQuotes) {
  const auto units = split_units("DISP:TEXT \"a;b\";*IDN?; ;");
  ASSERT_EQ(units.size(), 2U);
  EXPECT_EQ(units[0], "DISP:TEXT \"a;b\"");
  EXPECT_EQ(units[1], "*IDN?");
}

TEST(SyntaxTest, UnitKeepsParametersAndQueryMark) {
  const ProgramUnit unit = parse_unit(" :APPL? ch2 , 1.5,\"x,y\" ");
  EXPECT_TRUE(unit.absolute);
  EXPECT_TRUE(unit.query);
  EXPECT_EQ(unit.tokens, std::vector<std::string>{"APPL"});
  EXPECT_EQ(unit.params, (std::vector<std::string>{"ch2", "1.5", "\"x,y\""}));
}

TEST(SyntaxTest, ValuesAndReplyForms) {
  EXPECT_EQ(parse_integer("#H1f"), 31);
  EXPECT_EQ(parse_integer("#B1010"), 10);
  EXPECT_EQ(parse_integer("7.6"), 8);
  EXPECT_TRUE(parse_bool("on"));
  EXPECT_FALSE(parse_bool("OFF"));
  EXPECT_TRUE(parse_bool("1"));
  EXPECT_EQ(parse_string("'it''s'"), "it's");
  EXPECT_EQ(parse_keyword("maximum"), Keyword::kMax);
  EXPECT_EQ(format_number(1.5), "+1.50000E+00");
  EXPECT_EQ(format_number(-0.0), "+0.00000E+00");
  EXPECT_EQ(format_number(-0.0225), "-2.25000E-02");
  EXPECT_EQ(quote("say \"hi\""), "\"say \"\"hi\"\"\"");
  EXPECT_EQ(format_error(-113), "-113,\"Undefined header\"");
}

}  // namespace
}  // namespace zr48::sim
