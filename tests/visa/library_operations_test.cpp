// The operations libzr48visa serves beyond the driver's needs, against the simulated instrument:
// the bytes each one sends, what it reads back, and what the unserved ones answer.
#include <gtest/gtest.h>

#include <cstdlib>

#include <string>

#include "visa/visa.h"
#include "zr48sim/server.h"

namespace zr48::visa::testing {
namespace {

class LibraryOperations : public ::testing::Test {
 protected:
  void SetUp() override {
    // Searches see only what is open here, not this machine's serial ports or USB devices.
    ::setenv("ZR48_VISA_DEV_ROOT", "/nonexistent", 1);
    ::setenv("ZR48_VISA_SYS_ROOT", "/nonexistent", 1);
    ASSERT_EQ(viOpenDefaultRM(&rm_), VI_SUCCESS);
    ASSERT_EQ(viOpen(rm_, sim_.resource().c_str(), VI_NO_LOCK, 0, &vi_), VI_SUCCESS);
    ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_TMO_VALUE, 300), VI_SUCCESS);
  }
  void TearDown() override { viClose(rm_); }

  // The simulator has handled every line sent so far once a query sent after them is answered.
  void sync() {
    ViInt32 done = 0;
    ASSERT_EQ(viQueryf(vi_, "*OPC?\n", "%d%*c", &done), VI_SUCCESS);
    ASSERT_EQ(done, 1);
  }

  sim::Server sim_{0, "127.0.0.21"};
  ViSession rm_ = VI_NULL;
  ViSession vi_ = VI_NULL;
};

TEST_F(LibraryOperations, QueryfTakesWriteArgumentsThenReadArgumentsFromOneList) {
  ViReal64 volts = 0;
  ViChar channel[16] = "";
  ASSERT_EQ(viQueryf(vi_, "INST %s;VOLT %.1f\nVOLT?;INST?\n", "%lf;%15[^\n]%*c", "CH2", 2.5, &volts,
                     channel),
            VI_SUCCESS);
  EXPECT_DOUBLE_EQ(volts, 2.5);
  EXPECT_STREQ(channel, "CH2");
  EXPECT_EQ(sim_.received(), "INST CH2;VOLT 2.5\nVOLT?;INST?\n");
}

TEST_F(LibraryOperations, QueryfWithABadFormatSendsNothing) {
  ViInt32 value = 0;
  EXPECT_EQ(viQueryf(vi_, "*IDN?%y\n", "%d", &value), VI_ERROR_NSUP_FMT);
  EXPECT_EQ(viQueryf(vi_, "*IDN?\n", "%", &value), VI_ERROR_INV_FMT);
  sync();
  EXPECT_EQ(sim_.received(), "*OPC?\n");
}

TEST_F(LibraryOperations, ReadStbAsksWithStbQueryAndLeavesNothingBehind) {
  ASSERT_EQ(viPrintf(vi_, "*CLS;*ESE 1;*OPC\n"), VI_SUCCESS);
  ViUInt16 stb = 0;
  ASSERT_EQ(viReadSTB(vi_, &stb), VI_SUCCESS);
  EXPECT_EQ(stb & 0x20, 0x20);  // event summary: operation complete is enabled and set
  EXPECT_EQ(viReadSTB(vi_, nullptr), VI_ERROR_USER_BUF);
  sync();
  EXPECT_EQ(sim_.received(), "*CLS;*ESE 1;*OPC\n*STB?\n*OPC?\n");
}

TEST_F(LibraryOperations, ReadStbRefusesAReplyThatIsNoStatusByte) {
  sim_.push_reply("300\n");
  ViUInt16 stb = 0;
  EXPECT_EQ(viReadSTB(vi_, &stb), VI_ERROR_IO);
}

TEST_F(LibraryOperations, ClearDropsTheRestOfAReply) {
  ASSERT_EQ(viPrintf(vi_, "*IDN?\n"), VI_SUCCESS);
  ViByte head[3];
  ViUInt32 count = 0;
  ASSERT_EQ(viRead(vi_, head, sizeof head, &count), VI_SUCCESS_MAX_CNT);  // the reply is here
  ASSERT_EQ(viClear(vi_), VI_SUCCESS);
  sync();  // would read "harn, ..." without the clear
}

TEST_F(LibraryOperations, ClearDropsAReplyStillOnItsWay) {
  // The clear comes straight after the query, before its reply has (usually) arrived.
  ASSERT_EQ(viPrintf(vi_, "*IDN?\n"), VI_SUCCESS);
  ASSERT_EQ(viClear(vi_), VI_SUCCESS);
  sync();  // would read the identity without waiting for it in the clear
}

TEST_F(LibraryOperations, AssertTriggerSendsTrg) {
  EXPECT_EQ(viAssertTrigger(vi_, 5), VI_ERROR_INV_PROT);
  ASSERT_EQ(viAssertTrigger(vi_, VI_TRIG_PROT_DEFAULT), VI_SUCCESS);
  sync();
  EXPECT_EQ(sim_.received(), "*TRG\n*OPC?\n");
}

TEST_F(LibraryOperations, BufferedReadAndWriteKeepTheByteOrder) {
  ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_WR_BUF_OPER_MODE, VI_FLUSH_WHEN_FULL), VI_SUCCESS);
  ASSERT_EQ(viPrintf(vi_, "INST CH3;"), VI_SUCCESS);  // waits in the write buffer
  const std::string line = "VOLT 1.5\nVOLT?\n";
  ViUInt32 count = 0;
  ASSERT_EQ(viBufWrite(vi_, reinterpret_cast<ViConstBuf>(line.data()),
                       static_cast<ViUInt32>(line.size()), &count),
            VI_SUCCESS);
  EXPECT_EQ(count, line.size());
  ViByte reply[64] = {};
  ASSERT_EQ(viBufRead(vi_, reply, sizeof reply, &count), VI_SUCCESS_TERM_CHAR);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(reply), count), "+1.50000E+00\n");
  EXPECT_EQ(sim_.received(), "INST CH3;VOLT 1.5\nVOLT?\n");
}

struct ParseRow {
  const char* text;
  ViStatus status;
  ViUInt16 type;
  ViUInt16 board;
  const char* resource_class;
  const char* expanded;
};

TEST_F(LibraryOperations, ParseRsrcExGivesInterfaceBoardClassAndFullName) {
  const ParseRow rows[] = {
      {"tcpip::127.0.0.1::5025::socket", VI_SUCCESS, VI_INTF_TCPIP, 0, "SOCKET",
       "TCPIP0::127.0.0.1::5025::SOCKET"},
      {"TCPIP3::bench.example::inst0::INSTR", VI_SUCCESS, VI_INTF_TCPIP, 3, "INSTR",
       "TCPIP3::bench.example::inst0::INSTR"},
      {"GPIB::1::0::INSTR", VI_SUCCESS, 1, 0, "INSTR", "GPIB0::1::0::INSTR"},
      {"GPIB1::5::INSTR", VI_SUCCESS, 1, 1, "INSTR", "GPIB1::5::INSTR"},
      {"GPIB2::INTFC", VI_SUCCESS, 1, 2, "INTFC", "GPIB2::INTFC"},
      {"asrl/dev/ttyUSB0", VI_SUCCESS, VI_INTF_ASRL, 0, "INSTR", "ASRL/dev/ttyUSB0::INSTR"},
      {"usb::0x1234::0x5678::SN::INSTR", VI_SUCCESS, 7, 0, "INSTR",
       "USB0::0x1234::0x5678::SN::INSTR"},
      {"TCPIP::127.0.0.1::SOCKET", VI_ERROR_INV_RSRC_NAME, 0, 0, "", ""},
      {"NOPE::1", VI_ERROR_INV_RSRC_NAME, 0, 0, "", ""},
      {"", VI_ERROR_INV_RSRC_NAME, 0, 0, "", ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    ViUInt16 type = 0;
    ViUInt16 board = 0;
    ViChar resource_class[VI_FIND_BUFLEN] = "";
    ViChar expanded[VI_FIND_BUFLEN] = "";
    ViChar alias[VI_FIND_BUFLEN] = "x";
    ASSERT_EQ(viParseRsrcEx(rm_, row.text, &type, &board, resource_class, expanded, alias),
              row.status);
    if (row.status != VI_SUCCESS) continue;
    EXPECT_EQ(type, row.type);
    EXPECT_EQ(board, row.board);
    EXPECT_STREQ(resource_class, row.resource_class);
    EXPECT_STREQ(expanded, row.expanded);
    EXPECT_STREQ(alias, "");
    ViUInt16 short_type = 0;
    ViUInt16 short_board = 0;
    EXPECT_EQ(viParseRsrc(rm_, row.text, &short_type, &short_board), VI_SUCCESS);
    EXPECT_EQ(short_type, row.type);
    EXPECT_EQ(short_board, row.board);
  }
  ViUInt16 type = 0;
  ViUInt16 board = 0;
  EXPECT_EQ(viParseRsrc(vi_, "GPIB0::5::INSTR", &type, &board), VI_ERROR_NSUP_OPER);
  EXPECT_EQ(viParseRsrc(0x7777, "GPIB0::5::INSTR", &type, &board), VI_ERROR_INV_OBJECT);
  EXPECT_EQ(viParseRsrc(VI_NULL, "ASRL1", nullptr, nullptr), VI_ERROR_INV_OBJECT);
}

TEST_F(LibraryOperations, FindRsrcMatchesOpenResourcesWithVisaExpressions) {
  sim::Server other(0, "127.0.0.22");
  ViSession second = VI_NULL;
  ViSession same = VI_NULL;
  ASSERT_EQ(viOpen(rm_, other.resource().c_str(), VI_NO_LOCK, 0, &second), VI_SUCCESS);
  ASSERT_EQ(viOpen(rm_, sim_.resource().c_str(), VI_NO_LOCK, 0, &same), VI_SUCCESS);
  const struct {
    const char* expression;
    ViStatus status;
    ViUInt32 count;
  } rows[] = {
      {"?*", VI_SUCCESS, 2},  // the same resource open twice is listed once
      {"tcpip0::127.0.0.2?::*?*socket", VI_SUCCESS, 2},
      {"TCPIP[0-9]::127.0.0.22::?*", VI_SUCCESS, 1},
      {"GPIB?*|TCPIP?*127\\.0\\.0\\.21?*", VI_SUCCESS, 1},
      {"TCPIP0::127.0.0.2[^1]::?*", VI_SUCCESS, 1},
      {"?*::INSTR", VI_ERROR_RSRC_NFOUND, 0},
      {"127?*", VI_ERROR_RSRC_NFOUND, 0},  // the whole name must match
      {"(?*", VI_ERROR_INV_EXPR, 0},
      {"[?*", VI_ERROR_INV_EXPR, 0},
      {"?*{VI_ATTR_TCPIP_PORT > 0}", VI_ERROR_NSUP_OPER, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.expression);
    ViFindList list = 0x1234;
    ViUInt32 count = 99;
    ViChar first[VI_FIND_BUFLEN] = "";
    ASSERT_EQ(viFindRsrc(rm_, row.expression, &list, &count, first), row.status);
    EXPECT_EQ(count, row.count);
    if (row.status != VI_SUCCESS) {
      EXPECT_EQ(list, static_cast<ViFindList>(VI_NULL));
      continue;
    }
    std::string names = first;
    for (ViUInt32 i = 1; i < count; ++i) {
      ViChar next[VI_FIND_BUFLEN] = "";
      ASSERT_EQ(viFindNext(list, next), VI_SUCCESS);
      names += std::string(" ") + next;
    }
    ViChar past[VI_FIND_BUFLEN];
    EXPECT_EQ(viFindNext(list, past), VI_ERROR_RSRC_NFOUND);
    EXPECT_NE(names.find(row.count == 2 ? "127.0.0.22" : "TCPIP0::127.0.0.2"), std::string::npos);
    ViByte byte = 0;
    EXPECT_EQ(viRead(list, &byte, 1, nullptr), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(viClose(list), VI_SUCCESS);
    EXPECT_EQ(viFindNext(list, past), VI_ERROR_INV_OBJECT);
  }
  ViChar first[VI_FIND_BUFLEN];
  EXPECT_EQ(viFindRsrc(vi_, "?*", nullptr, nullptr, first), VI_ERROR_NSUP_OPER);
}

TEST_F(LibraryOperations, UnservedOperationsAnswerNotSupported) {
  ViByte buffer[8];
  ViUInt32 count = 0;
  for (const ViSession vi : {vi_, static_cast<ViSession>(0x7777)}) {
    const ViStatus expected = vi == vi_ ? VI_ERROR_NSUP_OPER : VI_ERROR_INV_OBJECT;
    SCOPED_TRACE(vi);
    EXPECT_EQ(viGpibControlREN(vi, 1), expected);
    EXPECT_EQ(viGpibControlATN(vi, 1), expected);
    EXPECT_EQ(viGpibSendIFC(vi), expected);
    EXPECT_EQ(viGpibCommand(vi, buffer, 1, &count), expected);
    EXPECT_EQ(viGpibPassControl(vi, 1, 0), expected);
    EXPECT_EQ(viAssertUtilSignal(vi, 0), expected);
    EXPECT_EQ(viAssertIntrSignal(vi, 0, 0), expected);
    EXPECT_EQ(viReadToFile(vi, "/dev/null", 1, &count), expected);
    EXPECT_EQ(viWriteFromFile(vi, "/dev/null", 1, &count), expected);
  }
  // With no event ever enabled, disabling and discarding have nothing to do; a raw socket has
  // no service requests.
  EXPECT_EQ(viEnableEvent(vi_, VI_EVENT_SERVICE_REQ, VI_QUEUE, VI_NULL), VI_ERROR_INV_EVENT);
  EXPECT_EQ(viDisableEvent(vi_, 0x3FFF7FFF, 0xFFFF), VI_SUCCESS_EVENT_DIS);
  EXPECT_EQ(viDiscardEvents(vi_, 0x3FFF7FFF, 0xFFFF), VI_SUCCESS_QUEUE_EMPTY);
  sync();
  EXPECT_EQ(sim_.received(), "*OPC?\n");  // none of them sent anything
}

}  // namespace
}  // namespace zr48::visa::testing
