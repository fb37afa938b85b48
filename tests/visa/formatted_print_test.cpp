// viPrintf: each conversion (table), escapes, format errors, and both write-buffer modes.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "visa_fixture.h"

namespace zr48::visa::testing {
namespace {

using Print = PeerSession;

struct Row {
  std::string expected;
  std::function<ViStatus(ViSession)> print;
};

TEST_F(Print, Conversions) {
  ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_WR_BUF_OPER_MODE, VI_FLUSH_ON_ACCESS), VI_SUCCESS);
  const Row rows[] = {
      {"INST ch2\n", [](ViSession vi) { return viPrintf(vi, "INST %s\n", "ch2"); }},
      {"DISP:TEXT 50%d\n", [](ViSession vi) { return viPrintf(vi, "DISP:TEXT %s\n", "50%d"); }},
      {"[   ab][ab   ][ab][  ab][xy   ]",
       [](ViSession vi) {
         return viPrintf(vi, "[%5s][%-5s][%.2s][%*s][%-*.*s]", "ab", "ab", "abcdef", 4, "ab", 5, 2,
                         "xyz");
       }},
      {"-5 7 4000000000",
       [](ViSession vi) { return viPrintf(vi, "%d %i %u", -5, 7, 4000000000U); }},
      {"ff FF 10 0xff",
       [](ViSession vi) { return viPrintf(vi, "%x %X %o %#x", 255, 255, 8, 255); }},
      {"-1 1 1", [](ViSession vi) { return viPrintf(vi, "%hd %hu %hhd", 65535, 65537, 257); }},
      {"-3000000000 -9000000000000 18446744073709551615",
       [](ViSession vi) {
         return viPrintf(vi, "%ld %lld %llu", -3000000000L, -9000000000000LL,
                         18446744073709551615ULL);
       }},
      {"OK", [](ViSession vi) { return viPrintf(vi, "%c%c", 'O', 'K'); }},
      {"1.500000 1.234500e+03 1.200000E-04 0.0001 1E+20",
       [](ViSession vi) {
         return viPrintf(vi, "%f %e %E %g %G", 1.5, 1234.5, 0.00012, 0.0001, 1e20);
       }},
      {"3.142 -0002.50 +5 2.000000",
       [](ViSession vi) { return viPrintf(vi, "%.3f %08.2f %+d %lf", 3.14159, -2.5, 5, 2.0); }},
      {"   42|42   |00042", [](ViSession vi) { return viPrintf(vi, "%5d|%-5d|%05d", 42, 42, 42); }},
      {"100%", [](ViSession vi) { return viPrintf(vi, "100%%"); }},
      {"a\nb\r\t\\\"A\001",
       [](ViSession vi) { return viPrintf(vi, "a\\nb\\r\\t\\\\\\\"\\101\\1"); }},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(row.print(vi_), VI_SUCCESS) << row.expected;
    EXPECT_EQ(peer_.receive(row.expected.size()), row.expected);
  }
}

TEST_F(Print, BadFormatsSendNothing) {
  const struct {
    const char* format;
    ViStatus status;
  } rows[] = {
      {"%q", VI_ERROR_NSUP_FMT},   {"VOLT %b\n", VI_ERROR_NSUP_FMT}, {"%@1d", VI_ERROR_NSUP_FMT},
      {"%,3d", VI_ERROR_NSUP_FMT}, {"%ls", VI_ERROR_NSUP_FMT},       {"%", VI_ERROR_INV_FMT},
      {"abc%5", VI_ERROR_INV_FMT}, {"%hf", VI_ERROR_INV_FMT},        {"%5%", VI_ERROR_INV_FMT},
      {"\\q", VI_ERROR_INV_FMT},   {"trailing\\", VI_ERROR_INV_FMT}, {"%!", VI_ERROR_INV_FMT},
      {nullptr, VI_ERROR_INV_FMT},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(viPrintf(vi_, row.format, 1), row.status) << (row.format ? row.format : "null");
  }
  EXPECT_EQ(viPrintf(vi_, "%s\n", static_cast<const char*>(nullptr)), VI_ERROR_INV_PARAMETER);
  ASSERT_EQ(viPrintf(vi_, "OK\n"), VI_SUCCESS);
  EXPECT_EQ(peer_.receive(3), "OK\n");
}

TEST_F(Print, FlushWhenFullSendsAtTheFormatsLineFeed) {
  ASSERT_EQ(viPrintf(vi_, "VOLT %s", "1.5"), VI_SUCCESS);
  EXPECT_EQ(peer_.receive_pending(), "");
  ASSERT_EQ(viPrintf(vi_, "%s", "A\nB"), VI_SUCCESS);  // a line feed in an argument is data
  EXPECT_EQ(peer_.receive_pending(), "");
  ASSERT_EQ(viPrintf(vi_, "\n"), VI_SUCCESS);
  EXPECT_EQ(peer_.receive(12), "VOLT 1.5A\nB\n");
}

TEST_F(Print, FlushWhenFullSendsAFullBuffer) {
  ASSERT_EQ(viSetBuf(vi_, VI_WRITE_BUF, 8), VI_SUCCESS);
  ASSERT_EQ(viPrintf(vi_, "%s", "0123456789ABCDEFGHIJ"), VI_SUCCESS);
  EXPECT_EQ(peer_.receive(16), "0123456789ABCDEF");
  EXPECT_EQ(peer_.receive_pending(), "");
  ASSERT_EQ(viFlush(vi_, VI_WRITE_BUF), VI_SUCCESS);
  EXPECT_EQ(peer_.receive(4), "GHIJ");
}

TEST_F(Print, FlushOnAccessSendsEachCallWhole) {
  ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_WR_BUF_OPER_MODE, VI_FLUSH_ON_ACCESS), VI_SUCCESS);
  ASSERT_EQ(viPrintf(vi_, "VOLT %s", "1.5"), VI_SUCCESS);
  EXPECT_EQ(peer_.receive(8), "VOLT 1.5");
  ASSERT_EQ(use_driver_settings(vi_), VI_SUCCESS);
  const std::string text(10000, 't');
  ASSERT_EQ(viPrintf(vi_, "%s\n", text.c_str()), VI_SUCCESS);
  EXPECT_EQ(peer_.receive(text.size() + 1), text + "\n");
}

TEST_F(Print, VPrintfTakesAVaList) {
  const auto call = [this](const char* format, ...) {
    va_list args;
    va_start(args, format);
    const ViStatus status = viVPrintf(vi_, format, args);
    va_end(args);
    return status;
  };
  ASSERT_EQ(call("CURR %s;%d\n", "2.5", 3), VI_SUCCESS);
  EXPECT_EQ(peer_.receive(11), "CURR 2.5;3\n");
}

}  // namespace
}  // namespace zr48::visa::testing
