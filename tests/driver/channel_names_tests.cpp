// Channel names in the instrument functions: resolved through the session's channel table as
// attribute access resolves them, the instrument's own name sent, anything else refused before a
// byte leaves.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "attribute_io.h"
#include "guarded_buffer.h"
#include "sim_session.h"

namespace zr48::test {
namespace {

// One instrument function of each prototype shape that carries a channel, and what it sends for
// "ch3".
struct ChannelCall {
  const char* name;
  std::function<ViStatus(ViSession, const char* channel)> call;
  const char* sent_for_ch3;
};

ViChar g_reply[512];  // only written: the calls' reply buffer

const ChannelCall kChannelCalls[] = {
    {"SetVoltage", [](ViSession vi, const char* c) { return ZR48_SetVoltage(vi, "4.0", c); },
     "INST ch3\nVOLT 4.0\n"},
    {"GetCurrent", [](ViSession vi, const char* c) { return ZR48_GetCurrent(vi, "", g_reply, c); },
     "INST ch3\nCURR? \n"},
    {"GetCurrTrig",
     [](ViSession vi, const char* c) { return ZR48_GetCurrTrig(vi, g_reply, "", c); },
     "INST ch3\nCURR:TRIG? \n"},
    {"SetVoltUp", [](ViSession vi, const char* c) { return ZR48_SetVoltUp(vi, c); },
     "INST ch3\nVOLT:UP\n"},
    {"SetOutpEnab", [](ViSession vi, const char* c) { return ZR48_SetOutpEnab(vi, c, "ON"); },
     "INST ch3\nOUTP:ENAB ON\n"},
    {"GetVoltLimitStat",
     [](ViSession vi, const char* c) { return ZR48_GetVoltLimitStat(vi, c, g_reply); },
     "INST ch3\nVOLT:LIMIT:STAT?\n"},
    {"MeasVolt", [](ViSession vi, const char* c) { return ZR48_MeasVolt(vi, g_reply, c); },
     "INST ch3\nMEAS:VOLT?\n"},
};

class ChannelNameTest : public SimSessionTest {};

// Names the supply would refuse, or take for another channel: none reaches it.
TEST_F(ChannelNameTest, UnknownNamesAreRefusedBeforeAnythingIsSent) {
  const ViSession vi = OpenReal();
  const std::string long_name(300, 'c');
  for (const ChannelCall& c : kChannelCalls) {
    for (const char* bad : {"ch9", "", "chX", "Ch 3", "CH3", "ch3 ", "ch0", long_name.c_str()}) {
      SCOPED_TRACE(std::string(c.name) + " '" + bad + "'");
      EXPECT_EQ(c.call(vi, bad), IVI_ERROR_BAD_CHANNEL_NAME);
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

TEST_F(ChannelNameTest, TheTableNamesAreSentUnchanged) {
  const ViSession vi = OpenReal();
  for (const ChannelCall& c : kChannelCalls) {
    SCOPED_TRACE(c.name);
    sim_.clear_received();
    EXPECT_EQ(c.call(vi, "ch3"), VI_SUCCESS);
    EXPECT_EQ(Arrived(sim_, c.sent_for_ch3), c.sent_for_ch3);
  }
}

// A refused name leaves the instrument's selected output alone: the level lands nowhere.
TEST_F(ChannelNameTest, ARefusedNameDoesNotProgramThePreviouslySelectedOutput) {
  const ViSession vi = OpenReal();
  ASSERT_EQ(ZR48_SetVoltage(vi, "2.0", "ch2"), VI_SUCCESS);
  EXPECT_EQ(ZR48_SetVoltage(vi, "4.0", "ch9"), IVI_ERROR_BAD_CHANNEL_NAME);
  ReplyBuffer level;
  ASSERT_EQ(ZR48_GetVoltage(vi, "", level.data(), "ch2"), VI_SUCCESS);
  EXPECT_EQ(level.text(), "+2.00000E+00");
}

TEST_F(ChannelNameTest, ASimulatedSessionRefusesTheSameNames) {
  const ViSession vi = OpenSimulated();
  EXPECT_EQ(ZR48_SetVoltage(vi, "4.0", "ch9"), IVI_ERROR_BAD_CHANNEL_NAME);
  EXPECT_EQ(ZR48_SetVoltage(vi, "4.0", "ch7"), VI_SUCCESS);
}

// Virtual names from the logical-name file stand for their channel, as in attribute access.
TEST_F(ChannelNameTest, AVirtualNameSendsItsChannel) {
  const LogicalNameFile config("[bench3]\nresource = \"" + sim_.resource() + "\"\n" +
                               "virtual-channels = { Load = \"ch3\", Output1 = \"ch1\" }\n");
  char name[] = "bench3";
  ASSERT_EQ(ZR48_InitWithOptions(name, VI_FALSE, VI_FALSE, "", &vi_), VI_SUCCESS);
  sim_.clear_received();
  for (const ChannelCall& c : kChannelCalls) {
    SCOPED_TRACE(c.name);
    sim_.clear_received();
    EXPECT_EQ(c.call(vi_, "Load"), VI_SUCCESS);
    EXPECT_EQ(Arrived(sim_, c.sent_for_ch3), c.sent_for_ch3);
  }
  // Virtual names compare exactly, like physical ones; the error lists both kinds.
  EXPECT_EQ(ZR48_SetVoltage(vi_, "1", "load"), IVI_ERROR_BAD_CHANNEL_NAME);
  const ErrorInfo info = TakeErrorInfo(vi_);
  EXPECT_NE(info.elaboration.find("Load = ch3"), std::string::npos) << info.elaboration;
  EXPECT_NE(info.elaboration.find("Output1 = ch1"), std::string::npos) << info.elaboration;
}

}  // namespace
}  // namespace zr48::test
