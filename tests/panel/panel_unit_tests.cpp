// The panel's pure parts: value checks, the request guard, the bounded history, --listen.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "channel_limits.h"
#include "history.h"
#include "request_guard.h"
#include "service.h"

namespace zr48::panel::test {
namespace {

using ::testing::HasSubstr;

TEST(PanelValues, GoodValuesGoOutInTheirShortestForm) {
  struct Case {
    int channel;
    Setting setting;
    const char* text;
    const char* sent;
  };
  for (const Case& c : {
           Case{2, Setting::kVoltage, "12.5", "12.5"},
           Case{2, Setting::kVoltage, "30", "30"},
           Case{2, Setting::kVoltage, "012.50", "12.5"},
           Case{2, Setting::kVoltage, "-0", "0"},
           Case{2, Setting::kVoltage, "1e1", "10"},
           Case{7, Setting::kVoltage, "6", "6"},
           Case{7, Setting::kCurrent, "5", "5"},
           Case{7, Setting::kOvp, "6.6", "6.6"},
           Case{1, Setting::kOvp, "33", "33"},
           Case{1, Setting::kCurrent, ".001", "0.001"},
       }) {
    const CheckedValue value = check_value(c.channel, c.setting, c.text);
    EXPECT_EQ(value.error, "") << c.text;
    EXPECT_EQ(value.text, c.sent) << c.text;
  }
}

TEST(PanelValues, EachChannelHasItsOwnRange) {
  EXPECT_THAT(check_value(7, Setting::kVoltage, "6.01").error, HasSubstr("ch7"));
  EXPECT_EQ(check_value(6, Setting::kVoltage, "6.01").error, "");
  EXPECT_THAT(check_value(6, Setting::kCurrent, "3.01").error, HasSubstr("0 to 3 A"));
  EXPECT_EQ(check_value(7, Setting::kCurrent, "3.01").error, "");
  EXPECT_FALSE(parse_setting("volt").has_value());
  EXPECT_EQ(parse_setting("ovp"), Setting::kOvp);
}

TEST(PanelGuard, TokensAreLongAndDifferent) {
  const std::string a = new_token();
  EXPECT_EQ(a.size(), 64U);
  EXPECT_NE(a, new_token());
}

TEST(PanelGuard, ChecksHostTokenMethodAndOrigin) {
  const RequestGuard guard("secret", "127.0.0.1", 8048);
  struct Case {
    const char* method;
    const char* host;
    const char* origin;
    const char* token;
    int status;
  };
  for (const Case& c : {
           Case{"GET", "127.0.0.1:8048", "", "secret", 200},
           Case{"GET", "localhost:8048", "", "secret", 200},
           Case{"GET", "[::1]:8048", "", "secret", 200},
           Case{"GET", "127.0.0.1:8048", "", "secreT", 403},
           Case{"GET", "127.0.0.1:8048", "", "secret2", 403},
           Case{"GET", "127.0.0.1:8048", "", "", 403},
           Case{"GET", "attacker.example:8048", "", "secret", 403},
           Case{"POST", "127.0.0.1:8048", "http://127.0.0.1:8048", "secret", 200},
           Case{"POST", "127.0.0.1:8048", "http://localhost:8048", "secret", 200},
           Case{"POST", "127.0.0.1:8048", "http://attacker.example", "secret", 403},
           Case{"POST", "127.0.0.1:8048", "", "secret", 403},
           Case{"POST", "127.0.0.1:8048", "http://127.0.0.1:8048", "", 403},
           Case{"DELETE", "127.0.0.1:8048", "http://127.0.0.1:8048", "secret", 405},
       }) {
    EXPECT_EQ(guard.check(c.method, c.host, c.origin, c.token).status, c.status)
        << c.method << " " << c.host << " " << c.origin << " " << c.token;
  }
  // Listening on a lab machine's own address: only that address is the panel's.
  const RequestGuard lab("secret", "192.0.2.10", 80);
  EXPECT_EQ(lab.check("GET", "192.0.2.10:80", "", "secret").status, 200);
  EXPECT_EQ(lab.check("GET", "localhost:80", "", "secret").status, 403);
}

Sample At(double time) {
  Sample s;
  s.time = time;
  s.volt.fill(1.0);
  return s;
}

TEST(PanelHistory, KeepsTheSpanAndNoMoreThanItsCapacity) {
  History history(60.0, 1000);
  for (int t = 0; t <= 200; ++t) history.add(At(t));
  EXPECT_EQ(history.size(), 61U);  // 140 .. 200
  EXPECT_EQ(history.window(10.0).size(), 11U);
  EXPECT_EQ(history.window(1000.0).front().time, 140.0);

  History small(3600.0, 5);
  for (int t = 0; t < 20; ++t) small.add(At(t));
  EXPECT_EQ(small.size(), 5U);
  EXPECT_EQ(small.window(3600.0).front().time, 15.0);
}

TEST(PanelHistory, CsvHasOneRowPerSampleInUtc) {
  Sample s = At(1700000000.25);
  s.output[1] = true;
  s.curr[1] = 1.25;
  const std::string csv = History::csv({s});
  EXPECT_THAT(csv, HasSubstr("\r\n2023-11-14T22:13:20.250Z,1,0,0,0,1,1.25,0,1,"));
}

TEST(PanelListen, ParsesHostAndPort) {
  struct Case {
    const char* text;
    bool ok;
    const char* host;
    int port;
  };
  for (const Case& c : {
           Case{"127.0.0.1:8048", true, "127.0.0.1", 8048},
           Case{"[::1]:0", true, "::1", 0},
           Case{"localhost:80", true, "localhost", 80},
           Case{"127.0.0.1", false, "", 0},
           Case{":8048", false, "", 0},
           Case{"::1:8048", false, "", 0},
           Case{"127.0.0.1:65536", false, "", 0},
           Case{"127.0.0.1:80x", false, "", 0},
       }) {
    std::string host;
    int port = -1;
    EXPECT_EQ(parse_listen(c.text, host, port), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(host, c.host) << c.text;
      EXPECT_EQ(port, c.port) << c.text;
    }
  }
}

}  // namespace
}  // namespace zr48::panel::test
