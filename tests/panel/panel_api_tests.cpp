// The panel's HTTP interface against the simulated instrument: who may use it, what values it
// lets through, and the bytes its controls put on the wire.
#include <gmock/gmock.h>

#include <string>
#include <vector>

#include "panel_fixture.h"

namespace zr48::panel::test {
namespace {

using nlohmann::json;
using ::testing::HasSubstr;
using ::testing::Not;

json Body(const httplib::Result& result) {
  return json::parse(result->body, nullptr, false);
}

// ---- Who may use the panel -------------------------------------------------------------------

TEST_F(PanelTest, PageNeedsTheTokenAndCarriesItIntoItsAssets) {
  auto bare = client_->Get("/");
  ASSERT_TRUE(bare);
  EXPECT_EQ(bare->status, 403);
  EXPECT_THAT(Body(bare)["message"].get<std::string>(), HasSubstr("token is missing"));

  auto wrong = client_->Get(("/?token=" + std::string(64, '0')).c_str());
  ASSERT_TRUE(wrong);
  EXPECT_EQ(wrong->status, 403);

  auto page = client_->Get(WithToken("/").c_str());
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 200);
  EXPECT_THAT(page->body, HasSubstr("static/panel.js?token=" + service_->token()));
  EXPECT_THAT(page->body, Not(HasSubstr("%TOKEN%")));
  EXPECT_EQ(page->get_header_value("X-Frame-Options"), "DENY");

  for (const char* asset : {"/static/panel.js", "/static/dygraph.min.js", "/static/panel.css"}) {
    EXPECT_EQ(client_->Get(asset)->status, 403) << asset;
    EXPECT_EQ(client_->Get(WithToken(asset).c_str())->status, 200) << asset;
  }
}

TEST_F(PanelTest, EveryPathRefusesARequestWithoutTheToken) {
  for (const char* path : {"/api/info", "/api/state", "/api/history", "/api/history.csv", "/events",
                           "/static/panel.js", "/nothing"}) {
    auto result = client_->Get(path);
    ASSERT_TRUE(result) << path;
    EXPECT_EQ(result->status, 403) << path;
  }
  auto post = Post("/api/channel/2/voltage", {{"value", "1"}}, {{"X-ZR48-Token", "x"}});
  ASSERT_TRUE(post);
  EXPECT_EQ(post->status, 403);
  EXPECT_THAT(sim_.received(), Not(HasSubstr("VOLT 1\n")));
}

TEST_F(PanelTest, AHostHeaderNotNamingThePanelIsRefusedEvenWithTheToken) {
  const std::string port = std::to_string(service_->port());
  for (const std::string& host :
       std::vector<std::string>{"evil.example:" + port, "127.0.0.17", "127.0.0.17:1",
                                "localhost.evil.example:" + port, ""}) {
    auto result = client_->Get(WithToken("/api/state").c_str(), {{"Host", host}});
    ASSERT_TRUE(result) << host;
    EXPECT_EQ(result->status, 403) << host;
  }
  for (const std::string& host :
       std::vector<std::string>{"127.0.0.17:" + port, "localhost:" + port, "LOCALHOST:" + port}) {
    auto result = client_->Get(WithToken("/api/state").c_str(), {{"Host", host}});
    ASSERT_TRUE(result) << host;
    EXPECT_EQ(result->status, 200) << host;
  }
}

TEST_F(PanelTest, AChangeFromAnotherOriginOrWithoutOneIsRefused) {
  const std::string port = std::to_string(service_->port());
  for (const std::string& origin : std::vector<std::string>{
           "http://evil.example", "http://127.0.0.17:1", "https://127.0.0.17:" + port, "null",
           "http://127.0.0.17:" + port + ".evil.example"}) {
    auto result = Post("/api/channel/2/output", {{"on", true}}, {{"Origin", origin}});
    ASSERT_TRUE(result) << origin;
    EXPECT_EQ(result->status, 403) << origin;
    EXPECT_THAT(Body(result)["message"].get<std::string>(), HasSubstr("refused")) << origin;
  }
  // No Origin at all: browsers always send one with a POST, so this is not the panel's page.
  auto bare = client_->Post("/api/channel/2/output", {{"X-ZR48-Token", service_->token()}},
                            R"({"on":true})", "application/json");
  ASSERT_TRUE(bare);
  EXPECT_EQ(bare->status, 403);
  EXPECT_THAT(sim_.received(), Not(HasSubstr("OUTP 1\n")));
}

TEST_F(PanelTest, StateChangesAreNotServedOverGet) {
  auto result = client_->Get(WithToken("/api/channel/2/output").c_str());
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 404);
  EXPECT_THAT(sim_.received(), Not(HasSubstr("OUTP 1\n")));
}

// ---- Values checked before they reach the driver ---------------------------------------------

struct BadValue {
  const char* name;
  int channel;
  const char* setting;
  json value;
  const char* message;  // part of the refusal
};

class PanelBadValueTest : public PanelTest, public ::testing::WithParamInterface<BadValue> {};

TEST_P(PanelBadValueTest, IsRefusedWithAClearMessageAndNothingIsSent) {
  const BadValue& bad = GetParam();
  sim_.clear_received();
  const std::string path =
      "/api/channel/" + std::to_string(bad.channel) + "/" + std::string(bad.setting);
  auto result = Post(path, {{"value", bad.value}});
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 400);
  EXPECT_THAT(Body(result)["message"].get<std::string>(), HasSubstr(bad.message));
  const std::string sent = sim_.received();
  for (const char* header : {"\nVOLT ", "\nCURR ", "\nVOLT:PROT "}) {
    EXPECT_THAT(sent, Not(HasSubstr(header)));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Values, PanelBadValueTest,
    ::testing::Values(BadValue{"VoltageAboveRating", 2, "voltage", "30.01",
                               "from 0 to 30 V; 30.01 is out"},
                      BadValue{"AuxiliaryVoltageAboveRating", 7, "voltage", "6.5", "from 0 to 6 V"},
                      BadValue{"AuxiliaryCurrentAboveRating", 7, "current", 5.5, "from 0 to 5 A"},
                      BadValue{"CurrentAboveRating", 1, "current", "3.2", "from 0 to 3 A"},
                      BadValue{"OvpAboveLimit", 3, "ovp", "33.5", "from 0 to 33 V"},
                      BadValue{"Negative", 2, "voltage", "-1", "out of range"},
                      BadValue{"Word", 2, "voltage", "MAX", "must be a number"},
                      BadValue{"CommandInjection", 2, "voltage", "1;*RST", "must be a number"},
                      BadValue{"LineFeed", 2, "voltage", "1\nOUTP 1", "must be a number"},
                      BadValue{"NotANumber", 2, "voltage", "nan", "must be a number"},
                      BadValue{"Infinite", 2, "current", "inf", "must be a number"},
                      BadValue{"Hexadecimal", 2, "voltage", "0x10", "must be a number"},
                      BadValue{"WithUnit", 2, "voltage", "5V", "must be a number"},
                      BadValue{"Empty", 2, "voltage", "", "must be a number"},
                      BadValue{"Missing", 2, "voltage", nullptr, "must be a number"},
                      BadValue{"Overflow", 2, "voltage", "1e999", "must be a number"},
                      BadValue{"TwoPoints", 2, "voltage", "1.2.3", "must be a number"}),
    [](const ::testing::TestParamInfo<BadValue>& info) { return std::string(info.param.name); });

TEST_F(PanelTest, BadRequestsAreRefusedWithAReason) {
  struct Case {
    const char* path;
    const char* body;
    int status;
    const char* message;
  };
  for (const Case& c : {
           Case{"/api/channel/8/voltage", R"({"value":"1"})", 404, "channels are 1 to 7"},
           Case{"/api/channel/0/output", R"({"on":true})", 404, "channels are 1 to 7"},
           Case{"/api/channel/x/clear", "{}", 404, "channels are 1 to 7"},
           Case{"/api/channel/2/voltage", "not json", 400, "JSON object"},
           Case{"/api/channel/2/output", R"({"on":"yes"})", 400, "{\"on\": true}"},
       }) {
    auto result = client_->Post(c.path, {{"Origin", Origin()}, {"X-ZR48-Token", service_->token()}},
                                c.body, "application/json");
    ASSERT_TRUE(result) << c.path;
    EXPECT_EQ(result->status, c.status) << c.path;
    EXPECT_THAT(Body(result)["message"].get<std::string>(), HasSubstr(c.message)) << c.path;
  }
}

// ---- Controls reach the instrument -----------------------------------------------------------

TEST_F(PanelTest, ControlsReachTheSimulatorAsExactBytes) {
  struct Control {
    const char* path;
    json body;
    const char* bytes;
  };
  for (const Control& c : {
           Control{"/api/channel/2/voltage", {{"value", "12.5"}}, "INST ch2\nVOLT 12.5\n"},
           Control{"/api/channel/2/voltage", {{"value", 7.25}}, "INST ch2\nVOLT 7.25\n"},
           Control{"/api/channel/7/current", {{"value", "+4.5e0"}}, "INST ch7\nCURR 4.5\n"},
           Control{"/api/channel/3/ovp", {{"value", "32.5"}}, "INST ch3\nVOLT:PROT 32.5\n"},
           Control{"/api/channel/2/output", {{"on", true}}, "INST ch2\nOUTP 1\n"},
           Control{"/api/channel/2/output", {{"on", false}}, "INST ch2\nOUTP 0\n"},
           Control{"/api/channel/5/clear", json::object(), "INST ch5\nVOLT:PROT:CLE\n"},
       }) {
    sim_.clear_received();
    auto result = Post(c.path, c.body);
    ASSERT_TRUE(result) << c.path;
    EXPECT_EQ(result->status, 200) << c.path << " " << result->body;
    EXPECT_TRUE(Body(result)["ok"].get<bool>()) << c.path;
    EXPECT_THAT(sim_.received(), HasSubstr(c.bytes)) << c.path;
  }
}

TEST_F(PanelTest, AllOffSwitchesEveryOutputOff) {
  sim_.clear_received();
  auto result = Post("/api/all-off", json::object());
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 200);
  const std::string sent = sim_.received();
  for (int n = 1; n <= 7; ++n) {
    EXPECT_THAT(sent, HasSubstr("INST ch" + std::to_string(n) + "\nOUTP 0\n")) << n;
  }
}

TEST_F(PanelTest, ASettingShowsInTheStreamOfEveryPage) {
  ASSERT_EQ(Post("/api/channel/2/voltage", {{"value", "12.5"}})->status, 200);
  ASSERT_EQ(Post("/api/channel/2/output", {{"on", true}})->status, 200);
  // Two pages: each stream delivers the new reading (12.5 V into the simulator's 10 ohm load).
  for (int page = 0; page < 2; ++page) {
    const json state = WaitForState([](const json& s) { return s["channels"][1]["out"] == true; });
    const json& ch2 = state["channels"][1];
    EXPECT_DOUBLE_EQ(ch2["setV"].get<double>(), 12.5);
    EXPECT_DOUBLE_EQ(ch2["v"].get<double>(), 12.5);
    EXPECT_DOUBLE_EQ(ch2["i"].get<double>(), 1.25);
    EXPECT_EQ(ch2["mode"], "CV");
    EXPECT_EQ(state["channels"][0]["out"], false);
  }
}

TEST_F(PanelTest, InstrumentErrorsComeBackWithTheControlAndInTheLog) {
  // In series the second channel follows the first: the instrument refuses a setting of its own.
  sim_.execute("INST ch1;OUTP:SER 1");
  auto result = Post("/api/channel/2/voltage", {{"value", "5"}});
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 502);
  const json body = Body(result);
  EXPECT_FALSE(body["ok"].get<bool>());
  ASSERT_EQ(body["errors"].size(), 1U);
  EXPECT_THAT(body["errors"][0].get<std::string>(), HasSubstr("-221"));

  const json state = WaitForState(
      [](const json& s) { return !s["errors"].empty() && s["channels"][1]["comb"] == "series"; });
  EXPECT_EQ(state["errors"].back()["source"], "ch2 voltage");
  EXPECT_EQ(state["channels"][0]["comb"], "series");
}

TEST_F(PanelTest, HistoryAndCsvCoverTheRecordedWindow) {
  WaitForState([](const json& s) { return s["seq"].get<int>() >= 3; });
  auto history = client_->Get(WithToken("/api/history?seconds=60").c_str());
  ASSERT_TRUE(history);
  const json h = Body(history);
  ASSERT_GE(h["t"].size(), 3U);
  EXPECT_EQ(h["v"].size(), h["t"].size());
  EXPECT_EQ(h["v"][0].size(), 7U);

  auto csv = client_->Get(WithToken("/api/history.csv?seconds=60").c_str());
  ASSERT_TRUE(csv);
  EXPECT_EQ(csv->status, 200);
  EXPECT_THAT(csv->get_header_value("Content-Type"), HasSubstr("text/csv"));
  EXPECT_THAT(csv->body, ::testing::StartsWith("time_utc,ch1_V,ch1_A,ch1_W,ch1_output,ch2_V"));
  EXPECT_GE(std::count(csv->body.begin(), csv->body.end(), '\n'), 4);
}

TEST_F(PanelTest, InfoNamesTheInstrumentAndTheRatings) {
  auto info = client_->Get(WithToken("/api/info").c_str());
  ASSERT_TRUE(info);
  const json i = Body(info);
  EXPECT_EQ(i["idn"], "Velharn, HLV3907, 0123456789AF, 1.00-1.00");
  EXPECT_EQ(i["simulated"], false);
  ASSERT_EQ(i["ratings"].size(), 7U);
  EXPECT_DOUBLE_EQ(i["ratings"][1]["volt"].get<double>(), 30.0);
  EXPECT_DOUBLE_EQ(i["ratings"][6]["curr"].get<double>(), 5.0);
}

// ---- A simulated session -----------------------------------------------------------------------

TEST_F(PanelTest, ASimulatedSessionSendsNothingAndShowsWhatWasSet) {
  Stop();
  sim_.clear_received();
  Start("Simulate=1");
  ASSERT_EQ(Post("/api/channel/4/voltage", {{"value", "3.3"}})->status, 200);
  ASSERT_EQ(Post("/api/channel/4/output", {{"on", true}})->status, 200);
  const json state = WaitForState([](const json& s) { return s["channels"][3]["out"] == true; });
  EXPECT_DOUBLE_EQ(state["channels"][3]["setV"].get<double>(), 3.3);
  EXPECT_EQ(sim_.received(), "");
}

}  // namespace
}  // namespace zr48::panel::test
