// viScanf: each conversion (table), the VISA width rule, format errors, both read-buffer modes,
// time-outs and a lost connection.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "visa_fixture.h"

namespace zr48::visa::testing {
namespace {

using Scan = PeerSession;

struct Row {
  const char* reply;
  std::function<void(ViSession)> scan_and_check;
};

TEST_F(Scan, Conversions) {
  ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_RD_BUF_OPER_MODE, VI_FLUSH_ON_ACCESS), VI_SUCCESS);
  const Row rows[] = {
      {"+1.2340E+00,OFF\n",
       [](ViSession vi) {
         char word[64] = {};
         EXPECT_EQ(viScanf(vi, "%s", word), VI_SUCCESS);
         EXPECT_STREQ(word, "+1.2340E+00,OFF");
       }},
      {"  SOURCE 1\n",
       [](ViSession vi) {
         char word[64] = {};
         EXPECT_EQ(viScanf(vi, "%s", word), VI_SUCCESS);
         EXPECT_STREQ(word, "SOURCE");
       }},
      {"-42 0x1F 010 4000000000 ff 17\n",
       [](ViSession vi) {
         int d = 0, i = 0, octal = 0;
         unsigned u = 0, x = 0, o = 0;
         EXPECT_EQ(viScanf(vi, "%d %i %i %u %x %o", &d, &i, &octal, &u, &x, &o), VI_SUCCESS);
         EXPECT_EQ(d, -42);
         EXPECT_EQ(i, 31);
         EXPECT_EQ(octal, 8);
         EXPECT_EQ(u, 4000000000U);
         EXPECT_EQ(x, 255U);
         EXPECT_EQ(o, 15U);
       }},
      {"-7 65535 -3000000000 -9000000000000 18446744073709551615 300\n",
       [](ViSession vi) {
         short h = 0;
         unsigned short hu = 0;
         long l = 0;
         long long ll = 0;
         unsigned long long ull = 0;
         signed char hh = 0;
         EXPECT_EQ(viScanf(vi, "%hd%hu%ld%lld%llu%hhd", &h, &hu, &l, &ll, &ull, &hh), VI_SUCCESS);
         EXPECT_EQ(h, -7);
         EXPECT_EQ(hu, 65535);
         EXPECT_EQ(l, -3000000000L);
         EXPECT_EQ(ll, -9000000000000LL);
         EXPECT_EQ(ull, 18446744073709551615ULL);
         EXPECT_EQ(hh, static_cast<signed char>(300));
       }},
      {"1.5 2.5e-3 -1E+2 .25\n",
       [](ViSession vi) {
         float f = 0;
         double e = 0, big = 0, g = 0;
         EXPECT_EQ(viScanf(vi, "%f%le%lE%lg", &f, &e, &big, &g), VI_SUCCESS);
         EXPECT_EQ(f, 1.5f);
         EXPECT_DOUBLE_EQ(e, 2.5e-3);
         EXPECT_DOUBLE_EQ(big, -100.0);
         EXPECT_DOUBLE_EQ(g, 0.25);
       }},
      {" xyz\n",
       [](ViSession vi) {
         char c = 0;
         char three[3] = {};
         EXPECT_EQ(viScanf(vi, "%c%3c", &c, three), VI_SUCCESS);
         EXPECT_EQ(c, ' ');
         EXPECT_EQ(std::string(three, 3), "xyz");
       }},
      {"abc,def ghi\n",
       [](ViSession vi) {
         char a[16] = {}, b[16] = {};
         EXPECT_EQ(viScanf(vi, "%[^,],%s", a, b), VI_SUCCESS);
         EXPECT_STREQ(a, "abc");
         EXPECT_STREQ(b, "def");
       }},
      {"]a]b\n",
       [](ViSession vi) {
         char a[16] = {};
         EXPECT_EQ(viScanf(vi, "%[]a]", a), VI_SUCCESS);
         EXPECT_STREQ(a, "]a]");
       }},
      {"123abc\n",
       [](ViSession vi) {
         char digits[16] = {}, rest[16] = {};
         EXPECT_EQ(viScanf(vi, "%[0-9]%s", digits, rest), VI_SUCCESS);
         EXPECT_STREQ(digits, "123");
         EXPECT_STREQ(rest, "abc");
       }},
      {"1 2 3,4\n",
       [](ViSession vi) {
         int second = 0, a = 0, b = 0;
         EXPECT_EQ(viScanf(vi, "%*d %d %d,%d", &second, &a, &b), VI_SUCCESS);
         EXPECT_EQ(second, 2);
         EXPECT_EQ(a, 3);
         EXPECT_EQ(b, 4);
       }},
      {"12345\n",
       [](ViSession vi) {
         int head = 0, tail = 0;
         EXPECT_EQ(viScanf(vi, "%3d%d", &head, &tail), VI_SUCCESS);
         EXPECT_EQ(head, 123);
         EXPECT_EQ(tail, 45);
       }},
      {"100%\n",
       [](ViSession vi) {
         int n = 0;
         EXPECT_EQ(viScanf(vi, "%d%%", &n), VI_SUCCESS);
         EXPECT_EQ(n, 100);
       }},
      // A literal that does not match ends the scan; the rest stays untouched (VISA).
      {"3,4\n",
       [](ViSession vi) {
         int a = 0, b = -1;
         EXPECT_EQ(viScanf(vi, "%d;%d", &a, &b), VI_SUCCESS);
         EXPECT_EQ(a, 3);
         EXPECT_EQ(b, -1);
       }},
      // The message ends before the second conversion: success, second argument untouched.
      {"123\n",
       [](ViSession vi) {
         int a = 0, b = -1;
         EXPECT_EQ(viScanf(vi, "%d%d", &a, &b), VI_SUCCESS);
         EXPECT_EQ(a, 123);
         EXPECT_EQ(b, -1);
       }},
      // The self-test reply as the driver reads it.
      {"0,\"Self test passed\"\n",
       [](ViSession vi) {
         short result = -1;
         char message[256] = {};
         EXPECT_EQ(viScanf(vi, "%hd,\"%256[^\"]", &result, message), VI_SUCCESS);
         EXPECT_EQ(result, 0);
         EXPECT_STREQ(message, "Self test passed");
       }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.reply);
    peer_.send(row.reply);
    row.scan_and_check(vi_);
  }
}

// %Ns and %N[...]: N is the destination size including the NUL; the rest of the field is
// consumed and dropped, never written past the destination.
TEST_F(Scan, WidthIsTheDestinationSize) {
  struct Guarded {
    char text[8];
    char guard[8];
  };
  Guarded g{};
  std::memset(g.guard, 'G', sizeof g.guard);
  char next[16] = {};
  ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_RD_BUF_OPER_MODE, VI_FLUSH_ON_ACCESS), VI_SUCCESS);
  peer_.send("abcdefghijkl next\n");
  ASSERT_EQ(viScanf(vi_, "%8s%s", g.text, next), VI_SUCCESS);
  EXPECT_STREQ(g.text, "abcdefg");
  EXPECT_EQ(std::string(g.guard, 8), "GGGGGGGG");
  EXPECT_STREQ(next, "next");

  const std::string long_message(300, 'm');
  peer_.send("1,\"" + long_message + "\"\n");
  short result = -1;
  char message[257];
  std::memset(message, 'G', sizeof message);
  ASSERT_EQ(viScanf(vi_, "%hd,\"%256[^\"]", &result, message), VI_SUCCESS);
  EXPECT_EQ(std::string(message), long_message.substr(0, 255));
  EXPECT_EQ(message[256], 'G');
}

TEST_F(Scan, BadFormatsConsumeNothing) {
  const struct {
    const char* format;
    ViStatus status;
  } rows[] = {
      {"%q", VI_ERROR_NSUP_FMT},  {"%t", VI_ERROR_NSUP_FMT},   {"%ls", VI_ERROR_NSUP_FMT},
      {"%Lf", VI_ERROR_NSUP_FMT}, {"%#s", VI_ERROR_NSUP_FMT},  {"%", VI_ERROR_INV_FMT},
      {"%0s", VI_ERROR_INV_FMT},  {"%[abc", VI_ERROR_INV_FMT}, {"%hf", VI_ERROR_INV_FMT},
      {"%!", VI_ERROR_INV_FMT},   {"\\q", VI_ERROR_INV_FMT},   {nullptr, VI_ERROR_INV_FMT},
  };
  peer_.send("kept\n");
  char word[16] = {};
  for (const auto& row : rows) {
    EXPECT_EQ(viScanf(vi_, row.format, word), row.status) << (row.format ? row.format : "null");
  }
  ASSERT_EQ(viScanf(vi_, "%s", word), VI_SUCCESS);
  EXPECT_STREQ(word, "kept");
}

TEST_F(Scan, FlushDisableKeepsTheRestForTheNextCall) {
  peer_.send("SOURCE 1\n");
  char word[16] = {};
  int n = 0;
  ASSERT_EQ(viScanf(vi_, "%s", word), VI_SUCCESS);
  ASSERT_EQ(viScanf(vi_, "%d", &n), VI_SUCCESS);
  EXPECT_STREQ(word, "SOURCE");
  EXPECT_EQ(n, 1);
  // Raw reads are served from what formatted reads left: here the line feed, then " B\n".
  ViByte rest[16] = {};
  ViUInt32 count = 0;
  EXPECT_EQ(viRead(vi_, rest, sizeof rest, &count), VI_SUCCESS_TERM_CHAR);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(rest), count), "\n");
  peer_.send("A B\n");
  ASSERT_EQ(viScanf(vi_, "%s", word), VI_SUCCESS);
  EXPECT_STREQ(word, "A");
  EXPECT_EQ(viRead(vi_, rest, sizeof rest, &count), VI_SUCCESS_TERM_CHAR);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(rest), count), " B\n");
}

TEST_F(Scan, FlushOnAccessDropsTheRestOfTheReply) {
  ASSERT_EQ(use_driver_settings(vi_), VI_SUCCESS);
  peer_.send("SOURCE 1\n");
  char word[16] = {};
  ASSERT_EQ(viScanf(vi_, "%s", word), VI_SUCCESS);
  EXPECT_STREQ(word, "SOURCE");
  peer_.send("2\n");
  int n = 0;
  ASSERT_EQ(viScanf(vi_, "%d", &n), VI_SUCCESS);
  EXPECT_EQ(n, 2);
}

TEST_F(Scan, TokenLongerThanTheReadBufferAndSplitAcrossSegments) {
  ASSERT_EQ(viSetBuf(vi_, VI_READ_BUF, 16), VI_SUCCESS);
  const std::string token(100, 'k');
  peer_.send(token.substr(0, 40));
  std::thread later([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    peer_.send(token.substr(40) + "\n");
  });
  char word[128] = {};
  EXPECT_EQ(viScanf(vi_, "%s", word), VI_SUCCESS);
  later.join();
  EXPECT_EQ(std::string(word), token);
}

TEST_F(Scan, TimeOutsAndLoss) {
  char word[16] = {};
  EXPECT_EQ(viScanf(vi_, "%s", word), VI_ERROR_TMO);  // nothing arrives
  peer_.send("unterminated");
  EXPECT_EQ(viScanf(vi_, "%s", word), VI_ERROR_TMO);  // no end of the token in time
  peer_.close_connection();
  EXPECT_EQ(viScanf(vi_, "%s", word), VI_ERROR_CONN_LOST);
}

}  // namespace
}  // namespace zr48::visa::testing
