// VXI-11 and HiSLIP sessions against the simulated instrument, and the exchanges every LAN
// form shares: the same assertions over each resource form.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "lan_fixture.h"

namespace zr48::visa::testing {
namespace {

constexpr std::string_view kIdn = "ZR48";

// ---- Every LAN form ---------------------------------------------------------------------

using EveryLanForm = LanSession;

TEST_P(EveryLanForm, QueryAndFormattedQuery) {
  server_->set_idn("ZR48,SIM,1,1.0");
  ASSERT_EQ(write("*IDN?\n"), VI_SUCCESS);
  ViStatus status = VI_SUCCESS;
  EXPECT_EQ(read(status), "ZR48,SIM,1,1.0\n");
  EXPECT_EQ(status, GetParam().instrument ? VI_SUCCESS : VI_SUCCESS_TERM_CHAR);

  ASSERT_EQ(viPrintf(vi_, "*ESE %d\n", 36), VI_SUCCESS);
  ASSERT_EQ(viPrintf(vi_, "*ESE?\n"), VI_SUCCESS);
  int mask = 0;
  ASSERT_EQ(viScanf(vi_, "%d", &mask), VI_SUCCESS);
  EXPECT_EQ(mask, 36);
  EXPECT_EQ(server_->received(), "*IDN?\n*ESE 36\n*ESE?\n");
}

TEST_P(EveryLanForm, LongWriteArrivesWhole) {
  // Longer than the VXI-11 server's maxRecvSize and than one write buffer.
  std::string line = "SYST:ERR?";
  std::string command(5000, ' ');
  command = line + command + "\n";
  ASSERT_EQ(write(command), VI_SUCCESS);
  ViStatus status = VI_SUCCESS;
  EXPECT_FALSE(read(status).empty());
  EXPECT_GE(status, VI_SUCCESS);
  EXPECT_EQ(server_->received(), command);
}

TEST_P(EveryLanForm, SilentInstrumentTimesOutAndTheSessionRecovers) {
  ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_TMO_VALUE, 200), VI_SUCCESS);
  server_->set_silent(true);
  ASSERT_EQ(write("*IDN?\n"), VI_SUCCESS);
  ViStatus status = VI_SUCCESS;
  read(status);
  EXPECT_EQ(status, VI_ERROR_TMO);
  server_->set_silent(false);
  server_->set_idn("ZR48,AFTER");
  ASSERT_EQ(write("*IDN?\n"), VI_SUCCESS);
  EXPECT_EQ(read(status), "ZR48,AFTER\n");
  EXPECT_GE(status, VI_SUCCESS);
}

TEST_P(EveryLanForm, DroppedConnectionIsLostOnEveryLaterCall) {
  server_->close_after_lines(1);
  (void)write("*IDN?\n");
  ViStatus status = VI_SUCCESS;
  read(status);
  EXPECT_EQ(status, VI_ERROR_CONN_LOST);
  EXPECT_EQ(write("*IDN?\n"), VI_ERROR_CONN_LOST);
  read(status);
  EXPECT_EQ(status, VI_ERROR_CONN_LOST);
}

INSTANTIATE_TEST_SUITE_P(Lan, EveryLanForm, ::testing::Values(kSocketForm, kVxi11Form, kHislipForm),
                         lan_form_name);

// ---- INSTR forms: END, termination, optional operations ----------------------------------

using InstrForm = LanSession;

TEST_P(InstrForm, DefaultsAreVisaInstrDefaults) {
  const struct {
    ViAttr attribute;
    ViAttrState value;
  } rows[] = {
      {VI_ATTR_TERMCHAR_EN, VI_FALSE},  {VI_ATTR_SUPPRESS_END_EN, VI_FALSE},
      {VI_ATTR_SEND_END_EN, VI_TRUE},   {VI_ATTR_TERMCHAR, '\n'},
      {VI_ATTR_TCPIP_NODELAY, VI_TRUE}, {VI_ATTR_RSRC_LOCK_STATE, VI_NO_LOCK},
  };
  for (const auto& row : rows) {
    ViAttrState value = 0;
    EXPECT_EQ(viGetAttribute(vi_, row.attribute, &value), VI_SUCCESS);
    EXPECT_EQ(value, row.value) << std::hex << row.attribute;
  }
  char text[256];
  ASSERT_EQ(viGetAttribute(vi_, VI_ATTR_RSRC_CLASS, text), VI_SUCCESS);
  EXPECT_STREQ(text, "INSTR");
  ASSERT_EQ(viGetAttribute(vi_, VI_ATTR_TCPIP_DEVICE_NAME, text), VI_SUCCESS);
  EXPECT_STREQ(text, GetParam().resource == kVxi11Form.resource ? "inst0" : "hislip0");
  ViBoolean hislip = VI_FALSE;
  ASSERT_EQ(viGetAttribute(vi_, VI_ATTR_TCPIP_IS_HISLIP, &hislip), VI_SUCCESS);
  EXPECT_EQ(hislip, GetParam().resource == kHislipForm.resource ? VI_TRUE : VI_FALSE);
}

// VISA's viRead rules: END wins over the termination character and the count; without END the
// termination character, then the count.
TEST_P(InstrForm, ReadEndsAtEndTermCharOrCount) {
  server_->set_idn("AB\nCD");
  const struct {
    const char* name;
    ViBoolean termchar_enabled;
    ViBoolean suppress_end;
    ViUInt32 count;
    std::vector<std::pair<std::string, ViStatus>> reads;
  } rows[] = {
      {"END", VI_FALSE, VI_FALSE, 512, {{"AB\nCD\n", VI_SUCCESS}}},
      {"count, then END",
       VI_FALSE,
       VI_FALSE,
       4,
       {{"AB\nC", VI_SUCCESS_MAX_CNT}, {"D\n", VI_SUCCESS}}},
      {"END on the counted byte", VI_FALSE, VI_FALSE, 6, {{"AB\nCD\n", VI_SUCCESS}}},
      {"termchar, then END with it",
       VI_TRUE,
       VI_FALSE,
       512,
       {{"AB\n", VI_SUCCESS_TERM_CHAR}, {"CD\n", VI_SUCCESS}}},
      {"END suppressed",
       VI_TRUE,
       VI_TRUE,
       512,
       {{"AB\n", VI_SUCCESS_TERM_CHAR}, {"CD\n", VI_SUCCESS_TERM_CHAR}}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_TERMCHAR_EN, row.termchar_enabled), VI_SUCCESS);
    ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_SUPPRESS_END_EN, row.suppress_end), VI_SUCCESS);
    ASSERT_EQ(write("*IDN?\n"), VI_SUCCESS);
    for (const auto& [bytes, expected] : row.reads) {
      ViStatus status = VI_SUCCESS;
      EXPECT_EQ(read(status, row.count), bytes);
      EXPECT_EQ(status, expected);
    }
  }
}

TEST_P(InstrForm, LongReplyArrivesWholeThroughASmallBuffer) {
  const std::string idn = "ZR48," + std::string(9000, 'x');
  server_->set_idn(idn);
  ASSERT_EQ(viSetBuf(vi_, VI_READ_BUF, 100), VI_SUCCESS);
  ASSERT_EQ(viPrintf(vi_, "*IDN?\n"), VI_SUCCESS);
  std::string reply(10000, '\0');
  ASSERT_EQ(viScanf(vi_, "%10000[^\n]", reply.data()), VI_SUCCESS);
  EXPECT_EQ(std::string(reply.c_str()), idn);
}

TEST_P(InstrForm, OptionalOperations) {
  ViUInt16 stb = 0xFFFF;
  // The status byte is read beside the message channel: the query makes sure the commands ran.
  ASSERT_EQ(viPrintf(vi_, "*ESE 1;*SRE 32;*OPC;*OPC?\n"), VI_SUCCESS);
  int done = 0;
  ASSERT_EQ(viScanf(vi_, "%d", &done), VI_SUCCESS);
  EXPECT_EQ(viReadSTB(vi_, &stb), VI_SUCCESS);
  EXPECT_EQ(stb & 0x20, 0x20) << stb;  // ESB after *OPC
  EXPECT_EQ(viAssertTrigger(vi_, VI_TRIG_PROT_DEFAULT), VI_SUCCESS);
  EXPECT_EQ(viClear(vi_), VI_SUCCESS);

  // Locks nest; the device is unlocked by the last unlock.
  EXPECT_EQ(viLock(vi_, VI_EXCLUSIVE_LOCK, 0, nullptr, nullptr), VI_SUCCESS);
  EXPECT_EQ(viLock(vi_, VI_EXCLUSIVE_LOCK, 0, nullptr, nullptr), VI_SUCCESS_NESTED_EXCLUSIVE);
  ViAttrState state = 0;
  ASSERT_EQ(viGetAttribute(vi_, VI_ATTR_RSRC_LOCK_STATE, &state), VI_SUCCESS);
  EXPECT_EQ(state, static_cast<ViAttrState>(VI_EXCLUSIVE_LOCK));
  EXPECT_EQ(viUnlock(vi_), VI_SUCCESS_NESTED_EXCLUSIVE);
  EXPECT_EQ(viUnlock(vi_), VI_SUCCESS);
  EXPECT_EQ(viUnlock(vi_), VI_ERROR_SESN_NLOCKED);

  // Still a working session.
  server_->set_idn("ZR48,OK");
  ASSERT_EQ(write("*IDN?\n"), VI_SUCCESS);
  ViStatus status = VI_SUCCESS;
  EXPECT_EQ(read(status), "ZR48,OK\n");
}

TEST_P(InstrForm, DeviceLockedByAnotherClient) {
  server_->lock_from_other_client(true);
  EXPECT_EQ(viLock(vi_, VI_EXCLUSIVE_LOCK, 100, nullptr, nullptr), VI_ERROR_RSRC_LOCKED);
  server_->lock_from_other_client(false);
  EXPECT_EQ(viLock(vi_, VI_EXCLUSIVE_LOCK, 100, nullptr, nullptr), VI_SUCCESS);
  EXPECT_EQ(viUnlock(vi_), VI_SUCCESS);
}

TEST_P(InstrForm, TwoSessionsExcludeEachOtherWhileLocked) {
  ViSession other = VI_NULL;
  ASSERT_EQ(viOpen(rm_, resource_.c_str(), VI_EXCLUSIVE_LOCK, 500, &other), VI_SUCCESS);
  ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_TMO_VALUE, 200), VI_SUCCESS);
  EXPECT_EQ(viLock(vi_, VI_EXCLUSIVE_LOCK, 100, nullptr, nullptr), VI_ERROR_TMO);
  EXPECT_EQ(viClose(other), VI_SUCCESS);  // closing releases the lock
  EXPECT_EQ(viLock(vi_, VI_EXCLUSIVE_LOCK, 500, nullptr, nullptr), VI_SUCCESS);
}

TEST_P(InstrForm, LateReplyAfterATimeOutIsNotTakenForTheNextOne) {
  ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_TMO_VALUE, 200), VI_SUCCESS);
  server_->set_reply_delay(std::chrono::milliseconds(400));
  server_->set_idn("FIRST");
  ASSERT_EQ(write("*IDN?\n"), VI_SUCCESS);
  ViStatus status = VI_SUCCESS;
  read(status);
  EXPECT_EQ(status, VI_ERROR_TMO);
  server_->set_reply_delay(std::chrono::milliseconds(0));
  ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_TMO_VALUE, 2000), VI_SUCCESS);
  // A VXI-11 instrument keeps the late reply in its output queue until a device clear; HiSLIP
  // drops it by its MessageID.
  if (GetParam().resource == kVxi11Form.resource) {
    EXPECT_EQ(viClear(vi_), VI_SUCCESS);
  }
  server_->set_idn("SECOND");
  ASSERT_EQ(write("*IDN?\n"), VI_SUCCESS);
  EXPECT_EQ(read(status), "SECOND\n");
}

INSTANTIATE_TEST_SUITE_P(Lan, InstrForm, ::testing::Values(kVxi11Form, kHislipForm), lan_form_name);

}  // namespace
}  // namespace zr48::visa::testing
