// The attribute accessors' refusals and pass-through statuses, and raw I/O: ZR48_WriteCmd,
// ZR48_ReadCmd, ZR48_WriteInstrData and ZR48_ReadInstrData.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "attribute_io.h"
#include "sim_session.h"

namespace zr48::test {
namespace {

using AccessorTest = SimSessionTest;

struct Refusal {
  const char* what;
  const char* channel;
  ViAttr id;
  ViStatus read;   // status of a string read
  ViStatus write;  // status of a string write
};

TEST_F(AccessorTest, RefusalsFollowTheAttributeFlagsAndChannels) {
  const Refusal refusals[] = {
      {"identification response", "", ZR48_ATTR_ID_QUERY_RESPONSE, VI_SUCCESS,
       IVI_ERROR_ATTR_NOT_WRITEABLE},
      {"resource descriptor", "", ZR48_ATTR_IO_RESOURCE_DESCRIPTOR, VI_SUCCESS,
       IVI_ERROR_ATTR_NOT_WRITEABLE},
      {"unknown 1100002", "", 1100002, IVI_ERROR_INVALID_ATTRIBUTE, IVI_ERROR_INVALID_ATTRIBUTE},
      {"unknown 1100003", "", 1100003, IVI_ERROR_INVALID_ATTRIBUTE, IVI_ERROR_INVALID_ATTRIBUTE},
      {"unknown 1100004", "", 1100004, IVI_ERROR_INVALID_ATTRIBUTE, IVI_ERROR_INVALID_ATTRIBUTE},
      {"unknown 1150059", "", 1150059, IVI_ERROR_INVALID_ATTRIBUTE, IVI_ERROR_INVALID_ATTRIBUTE},
      {"per-channel without channel", "", ZR48_ATTR_OUTP, IVI_ERROR_CHANNEL_NAME_REQUIRED,
       IVI_ERROR_CHANNEL_NAME_REQUIRED},
      {"per-channel with null channel", nullptr, ZR48_ATTR_OUTP_CHAN,
       IVI_ERROR_CHANNEL_NAME_REQUIRED, IVI_ERROR_CHANNEL_NAME_REQUIRED},
      {"per-channel with unknown channel", "ch8", ZR48_ATTR_OUTP, IVI_ERROR_UNKNOWN_CHANNEL_NAME,
       IVI_ERROR_UNKNOWN_CHANNEL_NAME},
      {"instrument-wide with channel", "ch1", ZR48_ATTR_ESE, IVI_ERROR_CHANNEL_NAME_NOT_ALLOWED,
       IVI_ERROR_CHANNEL_NAME_NOT_ALLOWED},
      {"wrong type", "", ZR48_ATTR_SPECIFIC_DRIVER_CLASS_SPEC_MAJOR_VERSION,
       IVI_ERROR_TYPES_DO_NOT_MATCH, IVI_ERROR_TYPES_DO_NOT_MATCH},
  };
  OpenReal();
  for (const Refusal& refusal : refusals) {
    SCOPED_TRACE(refusal.what);
    EXPECT_EQ(ReadString(vi_, refusal.channel, refusal.id).status, refusal.read);
    EXPECT_EQ(ZR48_SetAttributeViString(vi_, refusal.channel, refusal.id, "1"), refusal.write);
    EXPECT_EQ(ZR48_CheckAttributeViString(vi_, refusal.channel, refusal.id, "1"), refusal.write);
  }
  EXPECT_EQ(Sent(), "*IDN?\n");  // only the identification response's read reaches the supply
}

TEST_F(AccessorTest, PrivateAttributesExistButAreNotUserAccessible) {
  OpenReal();
  for (ViAttr id : {1100001U, 1100005U, 1100006U, 1100007U, 1100008U}) {
    SCOPED_TRACE(id);
    ViInt32 value = -1;
    EXPECT_EQ(ZR48_GetAttributeViInt32(vi_, "", id, &value), IVI_ERROR_ATTR_NOT_READABLE);
    EXPECT_EQ(ZR48_SetAttributeViInt32(vi_, "", id, 1), IVI_ERROR_ATTR_NOT_WRITEABLE);
    EXPECT_EQ(ZR48_CheckAttributeViInt32(vi_, "", id, 1), IVI_ERROR_ATTR_NOT_WRITEABLE);
    EXPECT_EQ(Ivi_GetAttributeViInt32(vi_, "", id, 0, &value), VI_SUCCESS);  // the driver may
  }
  ViInt32 timeout = 0;
  EXPECT_EQ(Ivi_GetAttributeViInt32(vi_, "", 1100001, 0, &timeout), VI_SUCCESS);
  EXPECT_EQ(timeout, 5000);
}

TEST_F(AccessorTest, EngineStatusPassesThroughUnchanged) {
  OpenReal();
  // A too-small buffer: the engine's positive required size, not a normalised success.
  ViChar buffer[4];
  EXPECT_EQ(
      ZR48_GetAttributeViString(vi_, "", ZR48_ATTR_SPECIFIC_DRIVER_VENDOR, sizeof buffer, buffer),
      static_cast<ViStatus>(std::strlen("My Company & Co.") + 1));
  EXPECT_STREQ(buffer, "My ");
  EXPECT_EQ(ZR48_GetAttributeViString(vi_, "", ZR48_ATTR_SPECIFIC_DRIVER_VENDOR, 0, nullptr),
            static_cast<ViStatus>(std::strlen("My Company & Co.") + 1));
}

TEST_F(AccessorTest, EveryTypeReachesTheEngine) {
  OpenReal("Cache=1");
  ViSession io = VI_NULL;
  EXPECT_EQ(ZR48_GetAttributeViSession(vi_, "", IVI_ATTR_IO_SESSION, &io), VI_SUCCESS);
  EXPECT_EQ(io, Ivi_IOSession(vi_));
  EXPECT_EQ(ZR48_SetAttributeViSession(vi_, "", IVI_ATTR_IO_SESSION, io),
            IVI_ERROR_ATTR_NOT_WRITEABLE);
  EXPECT_EQ(ZR48_CheckAttributeViSession(vi_, "", IVI_ATTR_IO_SESSION, io),
            IVI_ERROR_ATTR_NOT_WRITEABLE);

  ViBoolean cache = VI_FALSE;
  EXPECT_EQ(ZR48_GetAttributeViBoolean(vi_, "", ZR48_ATTR_CACHE, &cache), VI_SUCCESS);
  EXPECT_EQ(cache, VI_TRUE);
  EXPECT_EQ(ZR48_CheckAttributeViBoolean(vi_, "ch1", ZR48_ATTR_OVP_ENABLED, VI_FALSE), VI_SUCCESS);
  EXPECT_EQ(ZR48_SetAttributeViBoolean(vi_, "ch1", ZR48_ATTR_OVP_ENABLED, VI_FALSE), VI_SUCCESS);
  ViBoolean ovp = VI_TRUE;
  EXPECT_EQ(ZR48_GetAttributeViBoolean(vi_, "ch1", ZR48_ATTR_OVP_ENABLED, &ovp), VI_SUCCESS);
  EXPECT_EQ(ovp, VI_FALSE);

  EXPECT_EQ(ZR48_CheckAttributeViString(vi_, "", ZR48_ATTR_ESE, "32"), VI_SUCCESS);
  ViReal64 real = 0.0;
  EXPECT_EQ(ZR48_GetAttributeViReal64(vi_, "", ZR48_ATTR_ESE, &real), IVI_ERROR_TYPES_DO_NOT_MATCH);
  EXPECT_EQ(Sent(), "");  // checks send nothing
}

// ---- WriteCmd and ReadCmd -------------------------------------------------------------------

TEST_F(AccessorTest, WriteCmdSendsTheTextAndOneLineFeed) {
  OpenReal();
  EXPECT_EQ(ZR48_WriteCmd(vi_, "*CLS"), VI_SUCCESS);
  EXPECT_EQ(ZR48_WriteCmd(vi_, "DISP:TEXT \"100% %s\""), VI_SUCCESS);
  EXPECT_EQ(ZR48_WriteCmd(vi_, ""), VI_SUCCESS);
  const std::string expected = "*CLS\nDISP:TEXT \"100% %s\"\n\n";
  EXPECT_EQ(Arrived(sim_, expected), expected);
}

TEST_F(AccessorTest, ReadCmdDeliversTheDigitTheLineFeedAndTheNul) {
  OpenReal();
  sim_.push_reply("7\n");
  ViChar reply[600];
  std::memset(reply, 'Z', sizeof reply);
  EXPECT_EQ(ZR48_ReadCmd(vi_, "*ESR?", reply), VI_SUCCESS);
  EXPECT_EQ(std::string(reply, 4), std::string("7\n\0Z", 4));
  EXPECT_EQ(Sent(), "*ESR?\n");
}

TEST_F(AccessorTest, ReadCmdWritesAtMost511BytesAndTheNul) {
  OpenReal();
  sim_.push_reply(std::string(600, 'y') + "\n");
  ViChar reply[600];
  std::memset(reply, 'Z', sizeof reply);
  EXPECT_EQ(ZR48_ReadCmd(vi_, "*IDN?", reply), VI_SUCCESS);
  EXPECT_EQ(std::string(reply), std::string(511, 'y'));
  EXPECT_EQ(reply[512], 'Z');
}

// A null text or reply: instrument_function_tests.cpp, with the rows of WriteCmd and ReadCmd.
TEST_F(AccessorTest, SimulatedCommandsSendNothingAndLeaveTheReply) {
  OpenSimulated();
  ViChar reply[512] = "earlier";
  EXPECT_EQ(ZR48_WriteCmd(vi_, "*CLS"), VI_SUCCESS);
  EXPECT_EQ(ZR48_ReadCmd(vi_, "*ESR?", reply), VI_SUCCESS);
  EXPECT_STREQ(reply, "earlier");
  EXPECT_EQ(sim_.connection_count(), 0U);
}

TEST_F(AccessorTest, ReadCmdTimeOutIsReturnedNotRecorded) {
  OpenReal();
  ASSERT_EQ(SetIoTimeout(vi_, 200), VI_SUCCESS);
  sim_.set_silent(true);
  ViChar reply[512] = "earlier";
  EXPECT_EQ(ZR48_ReadCmd(vi_, "*ESR?", reply), VI_ERROR_TMO);
  EXPECT_STREQ(reply, "earlier");
  EXPECT_EQ(TakeErrorInfo(vi_).primary, VI_SUCCESS);
  sim_.set_silent(false);
}

// ---- Raw data pass-throughs -------------------------------------------------------------------

// The engine's raw data calls go through the I/O session the driver opened, byte for byte.
TEST_F(AccessorTest, RawDataGoesThroughTheSessionsIoSession) {
  OpenReal();
  sim_.push_reply("ACME,1\n");
  EXPECT_EQ(ZR48_WriteInstrData(vi_, "*IDN?\n"), VI_SUCCESS);
  EXPECT_EQ(Arrived(sim_, "*IDN?\n"), "*IDN?\n");
  ViChar data[64] = "";
  ViInt32 count = -1;
  EXPECT_GE(ZR48_ReadInstrData(vi_, sizeof data - 1, data, &count), VI_SUCCESS);
  ASSERT_EQ(count, 7);
  EXPECT_EQ(std::string(data, 7), "ACME,1\n");
}

}  // namespace
}  // namespace zr48::test
