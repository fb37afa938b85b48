// The attribute table: inherent values, IviDCPwr class attributes and their range tables, the
// identity attributes, and which identifiers exist; the accessors' refusals and pass-through
// statuses, and raw I/O: ZR48_WriteCmd, ZR48_ReadCmd, ZR48_WriteInstrData, ZR48_ReadInstrData.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "attribute_io.h"
#include "attributes/class_attributes.h"
#include "sim_session.h"

namespace zr48::test {
namespace {

// Runs each test once against the simulator and once in a simulated session.
class AttributeTest : public SimSessionTest, public ::testing::WithParamInterface<bool> {
 protected:
  bool simulated() const { return GetParam(); }
  void Open() {
    if (simulated()) {
      OpenSimulated();
    } else {
      OpenReal();
    }
  }
};

INSTANTIATE_TEST_SUITE_P(Sessions, AttributeTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Simulated" : "Real"; });

// ---- Inherent attributes ---------------------------------------------------------------------

TEST_P(AttributeTest, InherentIdentityValues) {
  Open();
  const struct {
    ViAttr id;
    const char* value;
  } texts[] = {
      {ZR48_ATTR_SUPPORTED_INSTRUMENT_MODELS, "MODEL1,MODEL2,MODEL3,MODEL4"},
      {ZR48_ATTR_SPECIFIC_DRIVER_VENDOR, "My Company & Co."},
      {ZR48_ATTR_SPECIFIC_DRIVER_DESCRIPTION, "Description"},
      {ZR48_ATTR_GROUP_CAPABILITIES,
       "IviDCPwrBase,IviDCPwrTrigger,IviDCPwrSoftwareTrigger,IviDCPwrMeasurement"},
      {ZR48_ATTR_SPECIFIC_DRIVER_PREFIX, "ZR48"},
  };
  for (const auto& text : texts) {
    EXPECT_EQ(ReadStringOk(vi_, "", text.id), text.value) << text.id;
  }
  ViInt32 major = -1;
  ViInt32 minor = -1;
  ViInt32 channels = -1;
  EXPECT_EQ(
      ZR48_GetAttributeViInt32(vi_, "", ZR48_ATTR_SPECIFIC_DRIVER_CLASS_SPEC_MAJOR_VERSION, &major),
      VI_SUCCESS);
  EXPECT_EQ(
      ZR48_GetAttributeViInt32(vi_, "", ZR48_ATTR_SPECIFIC_DRIVER_CLASS_SPEC_MINOR_VERSION, &minor),
      VI_SUCCESS);
  EXPECT_EQ(ZR48_GetAttributeViInt32(vi_, "", ZR48_ATTR_CHANNEL_COUNT, &channels), VI_SUCCESS);
  EXPECT_EQ(major, 2);
  EXPECT_EQ(minor, 0);
  EXPECT_EQ(channels, 7);
  EXPECT_EQ(Sent(), "");
}

// The engine revision in the driver's text is the one the engine reports.
TEST_P(AttributeTest, DriverRevisionNamesTheCompilerAndTheEnginesRevision) {
  Open();
  const std::string engine = ReadStringOk(vi_, "", IVI_ATTR_ENGINE_REVISION);
  EXPECT_EQ(engine, "4.00");
  const std::string text = ReadStringOk(vi_, "", ZR48_ATTR_SPECIFIC_DRIVER_REVISION);
  EXPECT_EQ(text.rfind("Driver: ZR48 1.0, Compiler: ", 0), 0U) << text;
  EXPECT_NE(text.find(", Components: IVIEngine " + engine + ", VISA-Spec 4.00"), std::string::npos)
      << text;
  EXPECT_EQ(Sent(), "");
}

// ---- IviDCPwr class attributes: cache-only values per channel --------------------------------

using attributes::class_attribute_rows;
using attributes::ClassAttribute;
using attributes::ValueType;

// A class attribute's value on a channel, as a number; NaN when the read fails.
double ReadClass(ViSession vi, const char* channel, const ClassAttribute& row) {
  ViBoolean flag = VI_FALSE;
  ViInt32 integer = 0;
  ViReal64 real = 0.0;
  ViStatus status = VI_SUCCESS;
  switch (row.type) {
    case ValueType::kBoolean:
      status = ZR48_GetAttributeViBoolean(vi, channel, row.id, &flag);
      real = flag;
      break;
    case ValueType::kInt32:
      status = ZR48_GetAttributeViInt32(vi, channel, row.id, &integer);
      real = integer;
      break;
    case ValueType::kReal64:
      status = ZR48_GetAttributeViReal64(vi, channel, row.id, &real);
      break;
  }
  return status == VI_SUCCESS ? real : std::nan("");
}

// Checks and then writes `value`; the status both gave, or a mismatch between them.
ViStatus WriteClass(ViSession vi, const char* channel, const ClassAttribute& row, double value) {
  const bool integer = row.type == ValueType::kInt32;
  const auto as_int = static_cast<ViInt32>(value);
  const ViStatus check = integer ? ZR48_CheckAttributeViInt32(vi, channel, row.id, as_int)
                                 : ZR48_CheckAttributeViReal64(vi, channel, row.id, value);
  const ViStatus set = integer ? ZR48_SetAttributeViInt32(vi, channel, row.id, as_int)
                               : ZR48_SetAttributeViReal64(vi, channel, row.id, value);
  return check == set ? set : VI_ERROR_SYSTEM_ERROR;
}

TEST_P(AttributeTest, ClassAttributesStartAtTheirDefaultsOnEveryChannel) {
  Open();
  for (const char* channel : {"ch1", "ch3", "ch7"}) {
    for (const ClassAttribute& row : class_attribute_rows()) {
      EXPECT_EQ(ReadClass(vi_, channel, row), row.default_value) << row.name << " " << channel;
    }
  }
  EXPECT_EQ(Sent(), "");
}

TEST_P(AttributeTest, ClassAttributesHoldOneValuePerChannelAndSendNothing) {
  Open();
  ASSERT_EQ(ZR48_SetAttributeViReal64(vi_, "ch2", ZR48_ATTR_VOLTAGE_LEVEL, 12.5), VI_SUCCESS);
  ASSERT_EQ(ZR48_SetAttributeViReal64(vi_, "ch1", ZR48_ATTR_VOLTAGE_LEVEL, 3.0), VI_SUCCESS);
  ViReal64 level = -1.0;
  EXPECT_EQ(ZR48_GetAttributeViReal64(vi_, "ch2", ZR48_ATTR_VOLTAGE_LEVEL, &level), VI_SUCCESS);
  EXPECT_EQ(level, 12.5);
  EXPECT_EQ(ZR48_GetAttributeViReal64(vi_, "ch1", ZR48_ATTR_VOLTAGE_LEVEL, &level), VI_SUCCESS);
  EXPECT_EQ(level, 3.0);
  EXPECT_EQ(ZR48_GetAttributeViReal64(vi_, "ch3", ZR48_ATTR_VOLTAGE_LEVEL, &level), VI_SUCCESS);
  EXPECT_EQ(level, 0.0);
  EXPECT_EQ(Sent(), "");
}

// Each row's range table bounds it: every bound and discrete value is accepted, a value just
// outside is refused and leaves the cached value as it was.
TEST_P(AttributeTest, RangeTablesBoundTheClassAttributes) {
  Open();
  for (const ClassAttribute& row : class_attribute_rows()) {
    if (row.range == nullptr) continue;
    std::vector<std::pair<double, bool>> cases;  // value, accepted
    for (const IviRangeTableEntry* entry = row.range->rangeValues;
         entry->cmdString != IVI_RANGE_TABLE_END_STRING; ++entry) {
      const double low = entry->discreteOrMinValue;
      const double high = row.range->type == IVI_VAL_DISCRETE ? low : entry->maxValue;
      const double step = row.type == ValueType::kInt32 ? 1.0 : 0.01;
      cases.insert(cases.end(), {{low, true}, {high, true}});
      if (row.range->type != IVI_VAL_DISCRETE) {
        cases.insert(cases.end(), {{low - step, false}, {high + step, false}});
      }
    }
    if (row.range->type == IVI_VAL_DISCRETE) cases.insert(cases.end(), {{-1, false}, {99, false}});
    for (const auto& [value, accepted] : cases) {
      SCOPED_TRACE(std::string(row.name) + " = " + std::to_string(value));
      const double before = ReadClass(vi_, "ch3", row);
      EXPECT_EQ(WriteClass(vi_, "ch3", row, value),
                accepted ? VI_SUCCESS : IVI_ERROR_INVALID_VALUE);
      EXPECT_EQ(ReadClass(vi_, "ch3", row), accepted ? value : before);
    }
  }
  EXPECT_EQ(Sent(), "");
}

TEST_P(AttributeTest, RangeCheckingOffAcceptsAnyValue) {
  if (simulated()) {
    OpenSimulated("RangeCheck=0");
  } else {
    OpenReal("RangeCheck=0");
  }
  EXPECT_EQ(ZR48_SetAttributeViReal64(vi_, "ch1", ZR48_ATTR_VOLTAGE_LEVEL, 99.0), VI_SUCCESS);
  EXPECT_EQ(ZR48_SetAttributeViInt32(vi_, "ch1", ZR48_ATTR_TRIGGER_SOURCE, 21), VI_SUCCESS);
}

// ---- Identifiers -----------------------------------------------------------------------------

TEST_P(AttributeTest, DriverIdentifiersExistWithoutGaps) {
  Open();
  IviAttrFlags flags = 0;
  for (ViAttr id = ZR48_ATTR_ID_QUERY_RESPONSE; id <= ZR48_ATTR_OUTP_CHAN; ++id) {
    EXPECT_EQ(Ivi_GetAttributeFlags(vi_, id, &flags), VI_SUCCESS) << id;
    const bool per_channel = id >= ZR48_ATTR_OUTP;
    EXPECT_EQ((flags & IVI_VAL_MULTI_CHANNEL) != 0, per_channel) << id;
  }
  // The gaps (1100002 to 1100004, 1150059) are refused: RefusalsFollowTheAttributeFlagsAndChannels.
  for (ViAttr id = ZR48_ATTR_VOLTAGE_LEVEL; id <= ZR48_ATTR_OUTPUT_ENABLED; ++id) {
    ASSERT_EQ(Ivi_GetAttributeFlags(vi_, id, &flags), VI_SUCCESS) << id;
    EXPECT_EQ(flags, IVI_VAL_MULTI_CHANNEL) << id;
  }
}

// ---- Identity --------------------------------------------------------------------------------

using IdentityTest = SimSessionTest;

TEST_F(IdentityTest, SimulatedIdentityKeepsLeadingBlanks) {
  OpenSimulated();
  EXPECT_EQ(ReadStringOk(vi_, "", ZR48_ATTR_INSTRUMENT_MANUFACTURER), "Velharn");
  EXPECT_EQ(ReadStringOk(vi_, "", ZR48_ATTR_INSTRUMENT_MODEL), " HLV3907");
  EXPECT_EQ(ReadStringOk(vi_, "", ZR48_ATTR_INSTRUMENT_FIRMWARE_REVISION), " 1.00-1.00");
  EXPECT_EQ(ReadStringOk(vi_, "", ZR48_ATTR_ID_QUERY_RESPONSE),
            "Velharn, HLV3907, 0123456789AF, 1.00-1.00");
  EXPECT_EQ(sim_.connection_count(), 0U);
}

struct IdentityCase {
  std::string idn;
  std::string manufacturer;
  std::string model;
  std::string firmware;
};

TEST_F(IdentityTest, RealIdentityFieldsComeFromOneIdentificationQuery) {
  const std::string a300(300, 'a');
  const std::string a256(256, 'a');
  const IdentityCase cases[] = {
      {"Maker,M1,S1,2.5", "Maker", "M1", "2.5"},
      {" Maker,  M1, S1,  2.5 beta", " Maker", "  M1", "  2.5 beta"},
      {a300 + ",M,S,F", a256, "M", "F"},
      {"Maker," + a300 + ",S,F", "Maker", a256, "F"},
      {"Maker,M,S," + a300, "Maker", "M", a256},
      {"Maker,M,S,F,extra", "Maker", "M", "F,extra"},
      // A last field runs to the end of the reply, its line feed included.
      {"Maker", "Maker\n", "", ""},
      {"Maker,M", "Maker", "M\n", ""},
      {"Maker,,S,F", "Maker", "", ""},  // an empty field stops the scan
      {"Maker,M,S,", "Maker", "M", ""},
  };
  OpenReal();
  for (const IdentityCase& c : cases) {
    SCOPED_TRACE(c.idn);
    sim_.set_idn(c.idn);
    ASSERT_EQ(ZR48_InvalidateAllAttributes(vi_), VI_SUCCESS);
    sim_.clear_received();
    EXPECT_EQ(ReadStringOk(vi_, "", ZR48_ATTR_INSTRUMENT_MANUFACTURER), c.manufacturer);
    EXPECT_EQ(ReadStringOk(vi_, "", ZR48_ATTR_INSTRUMENT_MODEL), c.model);
    EXPECT_EQ(ReadStringOk(vi_, "", ZR48_ATTR_INSTRUMENT_FIRMWARE_REVISION), c.firmware);
    EXPECT_EQ(ReadStringOk(vi_, "", ZR48_ATTR_ID_QUERY_RESPONSE), c.idn + "\n");
    EXPECT_EQ(Sent(), "*IDN?\n");  // asked once while the cache is valid
  }
}

TEST_F(IdentityTest, IdentityIsAskedAgainAfterReset) {
  OpenReal("", /*id_query=*/true);
  EXPECT_EQ(ReadStringOk(vi_, "", ZR48_ATTR_INSTRUMENT_MODEL), " HLV3907");
  EXPECT_EQ(Sent(), "");  // the identification check filled the cache
  ASSERT_EQ(ZR48_reset(vi_), VI_SUCCESS);
  EXPECT_EQ(ReadStringOk(vi_, "", ZR48_ATTR_INSTRUMENT_MODEL), " HLV3907");
  EXPECT_EQ(Sent(), "*RST\n*IDN?\n");
}

TEST_F(IdentityTest, FailedIdentificationReadLeavesTheFieldsFailing) {
  OpenReal();
  ASSERT_EQ(SetIoTimeout(vi_, 200), VI_SUCCESS);
  sim_.set_silent(true);
  EXPECT_EQ(ReadString(vi_, "", ZR48_ATTR_INSTRUMENT_MANUFACTURER).status, VI_ERROR_TMO);
  EXPECT_EQ(TakeErrorInfo(vi_).primary, VI_ERROR_TMO);
  sim_.set_silent(false);
}

// ---- Accessors' refusals and pass-through statuses, and raw I/O ------------------------------

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
