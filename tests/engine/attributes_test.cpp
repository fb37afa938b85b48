// Attribute flags, caching and simulation, range checks, string values and the status check.
#include <cstring>
#include <string>

#include "engine_fixture.h"
#include "test_names.h"

namespace zr48::engine::test {
namespace {

using zr48::test::NamedBy;

enum class Op { Get, Set, Check };

struct FlagCase {
  IviAttrFlags flags;
  ViInt32 options;
  Op op;
  ViStatus expected;
};

class FlagMatrix : public EngineTest, public ::testing::WithParamInterface<FlagCase> {};

TEST_P(FlagMatrix, AccessFollowsFlagsAndCallKind) {
  const FlagCase& c = GetParam();
  open();
  ASSERT_EQ(Ivi_AddAttributeViInt32(vi, kInt, "INT", 5, c.flags, nullptr, nullptr, nullptr),
            VI_SUCCESS);
  ViInt32 value = 0;
  const ViStatus status = c.op == Op::Get ? Ivi_GetAttributeViInt32(vi, "", kInt, c.options, &value)
                          : c.op == Op::Set ? Ivi_SetAttributeViInt32(vi, "", kInt, c.options, 7)
                                            : Ivi_CheckAttributeViInt32(vi, "", kInt, c.options, 7);
  EXPECT_EQ(status, c.expected);
  const ThreadError e = takeError(vi);
  if (c.expected < 0) {
    EXPECT_EQ(e.primary, c.expected);
    EXPECT_NE(e.elaboration.find("INT"), std::string::npos) << e.elaboration;
  } else {
    EXPECT_EQ(e.primary, VI_SUCCESS);
  }
}

constexpr ViInt32 kUser = IVI_VAL_DIRECT_USER_CALL;
constexpr ViStatus kOk = VI_SUCCESS;
constexpr ViStatus kNotReadable = IVI_ERROR_ATTR_NOT_READABLE;
constexpr ViStatus kNotWritable = IVI_ERROR_ATTR_NOT_WRITEABLE;

INSTANTIATE_TEST_SUITE_P(
    Engine, FlagMatrix,
    ::testing::Values(
        FlagCase{0, 0, Op::Get, kOk}, FlagCase{0, kUser, Op::Get, kOk},
        FlagCase{0, 0, Op::Set, kOk}, FlagCase{0, kUser, Op::Set, kOk},
        FlagCase{IVI_VAL_NOT_READABLE, 0, Op::Get, kNotReadable},
        FlagCase{IVI_VAL_NOT_READABLE, kUser, Op::Get, kNotReadable},
        FlagCase{IVI_VAL_NOT_READABLE, kUser, Op::Set, kOk},
        FlagCase{IVI_VAL_NOT_WRITABLE, 0, Op::Set, kNotWritable},
        FlagCase{IVI_VAL_NOT_WRITABLE, kUser, Op::Set, kNotWritable},
        FlagCase{IVI_VAL_NOT_WRITABLE, 0, Op::Check, kNotWritable},
        FlagCase{IVI_VAL_NOT_WRITABLE, kUser, Op::Get, kOk},
        FlagCase{IVI_VAL_NOT_USER_READABLE, 0, Op::Get, kOk},
        FlagCase{IVI_VAL_NOT_USER_READABLE, kUser, Op::Get, kNotReadable},
        FlagCase{IVI_VAL_NOT_USER_WRITABLE, 0, Op::Set, kOk},
        FlagCase{IVI_VAL_NOT_USER_WRITABLE, kUser, Op::Set, kNotWritable},
        FlagCase{IVI_VAL_NOT_USER_WRITABLE, kUser, Op::Check, kNotWritable},
        FlagCase{IVI_VAL_NOT_USER_WRITABLE, kUser, Op::Get, kOk},
        FlagCase{IVI_VAL_HIDDEN, 0, Op::Get, kOk}, FlagCase{IVI_VAL_HIDDEN, 0, Op::Set, kOk},
        FlagCase{IVI_VAL_HIDDEN, kUser, Op::Get, kNotReadable},
        FlagCase{IVI_VAL_HIDDEN, kUser, Op::Set, kNotWritable},
        FlagCase{IVI_VAL_NOT_SUPPORTED, 0, Op::Get, IVI_ERROR_ATTRIBUTE_NOT_SUPPORTED},
        FlagCase{IVI_VAL_NOT_SUPPORTED, kUser, Op::Set, IVI_ERROR_ATTRIBUTE_NOT_SUPPORTED}),
    NamedBy([](const FlagCase& c) {
      return std::to_string(c.flags) + " options " + std::to_string(c.options);
    }));

TEST_F(EngineTest, RefusalsHaveTheirOwnCodes) {
  open();
  ASSERT_EQ(addReal(1.5), VI_SUCCESS);
  ASSERT_EQ(Ivi_AddAttributeViInt32(vi, kInt, "INT", 0, 0, nullptr, nullptr, nullptr), 0);
  ViReal64 real = 0;
  ViInt32 number = 0;
  const struct {
    ViStatus status;
    ViStatus expected;
  } rows[] = {
      {Ivi_GetAttributeViReal64(vi, "ch1", kUnknown, 0, &real), IVI_ERROR_INVALID_ATTRIBUTE},
      {Ivi_GetAttributeViInt32(vi, "ch1", kReal, 0, &number), IVI_ERROR_TYPES_DO_NOT_MATCH},
      {Ivi_SetAttributeViInt32(vi, "ch1", kReal, 0, 1), IVI_ERROR_TYPES_DO_NOT_MATCH},
      {Ivi_GetAttributeViReal64(vi, VI_NULL, kReal, 0, &real), IVI_ERROR_CHANNEL_NAME_REQUIRED},
      {Ivi_GetAttributeViReal64(vi, "", kReal, 0, &real), IVI_ERROR_CHANNEL_NAME_REQUIRED},
      {Ivi_GetAttributeViReal64(vi, "ch9", kReal, 0, &real), IVI_ERROR_UNKNOWN_CHANNEL_NAME},
      {Ivi_GetAttributeViReal64(vi, "CH1", kReal, 0, &real), IVI_ERROR_UNKNOWN_CHANNEL_NAME},
      {Ivi_GetAttributeViInt32(vi, "ch1", kInt, 0, &number), IVI_ERROR_CHANNEL_NAME_NOT_ALLOWED},
      {Ivi_GetAttributeViReal64(vi, "ch1", kReal, 0, nullptr), IVI_ERROR_INVALID_PARAMETER},
      {Ivi_AddAttributeViInt32(vi, kInt, "AGAIN", 0, 0, nullptr, nullptr, nullptr),
       IVI_ERROR_ITEM_ALREADY_EXISTS},
  };
  for (const auto& row : rows) EXPECT_EQ(row.status, row.expected);
  EXPECT_EQ(takeError(vi).primary, IVI_ERROR_INVALID_ATTRIBUTE);  // the first one is kept
}

TEST_F(EngineTest, MultiChannelAttributeNeedsChannelTable) {
  open("Simulate=1", false);
  EXPECT_EQ(addReal(0), IVI_ERROR_NO_CHANNEL_TABLE);
}

TEST_F(EngineTest, ChannelsHoldSeparateValuesStartingAtTheDefault) {
  open();
  ASSERT_EQ(addReal(2.5), VI_SUCCESS);
  ASSERT_EQ(Ivi_SetAttributeViReal64(vi, "ch2", kReal, 0, 7.0), VI_SUCCESS);
  for (const auto& [channel, expected] :
       {std::pair{"ch1", 2.5}, std::pair{"ch2", 7.0}, std::pair{"ch3", 2.5}}) {
    ViReal64 value = 0;
    ASSERT_EQ(Ivi_GetAttributeViReal64(vi, channel, kReal, 0, &value), VI_SUCCESS);
    EXPECT_EQ(value, expected) << channel;
  }
}

// Callback counts for a sequence of operations under each caching and simulation setting.
struct CacheCase {
  const char* options;
  IviAttrFlags flags;
  int readsAfterTwoGets;
  int writesAfterTwoEqualSets;
};

class CachingRules : public EngineTest, public ::testing::WithParamInterface<CacheCase> {};

TEST_P(CachingRules, CallbacksRunAsTheRulesSay) {
  const CacheCase& c = GetParam();
  open(c.options);
  ASSERT_EQ(addReal(1.0, c.flags, readReal, writeReal), VI_SUCCESS);
  ViReal64 value = 0;
  ASSERT_EQ(Ivi_GetAttributeViReal64(vi, "ch1", kReal, 0, &value), VI_SUCCESS);
  ASSERT_EQ(Ivi_GetAttributeViReal64(vi, "ch1", kReal, 0, &value), VI_SUCCESS);
  EXPECT_EQ(recorder().reads, c.readsAfterTwoGets);
  EXPECT_EQ(value, 1.0);  // a read callback that stores nothing leaves the value
  ASSERT_EQ(Ivi_SetAttributeViReal64(vi, "ch1", kReal, 0, 3.0), VI_SUCCESS);
  ASSERT_EQ(Ivi_SetAttributeViReal64(vi, "ch1", kReal, 0, 3.0), VI_SUCCESS);
  EXPECT_EQ(recorder().writes, c.writesAfterTwoEqualSets);
  ASSERT_EQ(Ivi_GetAttributeViReal64(vi, "ch1", kReal, 0, &value), VI_SUCCESS);
  EXPECT_EQ(value, 3.0);
}

INSTANTIATE_TEST_SUITE_P(
    Engine, CachingRules,
    ::testing::Values(CacheCase{"Simulate=0", 0, 1, 2}, CacheCase{"Simulate=0,Cache=0", 0, 2, 2},
                      CacheCase{"Simulate=0,Cache=0", IVI_VAL_ALWAYS_CACHE, 1, 2},
                      CacheCase{"Simulate=0", IVI_VAL_NEVER_CACHE, 2, 2},
                      CacheCase{"Simulate=1", 0, 0, 0},
                      CacheCase{"Simulate=1", IVI_VAL_USE_CALLBACKS_FOR_SIMULATION, 1, 2},
                      CacheCase{"Simulate=1,Cache=0", IVI_VAL_USE_CALLBACKS_FOR_SIMULATION, 2, 2}),
    NamedBy(&CacheCase::options));

TEST_F(EngineTest, ReadCallbackResultIsCachedAndInvalidationForcesANewRead) {
  open("Simulate=0");
  ASSERT_EQ(addReal(0, 0, readReal), VI_SUCCESS);
  recorder().setOnRead = true;
  recorder().readValue = 4.25;
  ViReal64 value = 0;
  ASSERT_EQ(Ivi_GetAttributeViReal64(vi, "ch3", kReal, 0, &value), VI_SUCCESS);
  EXPECT_EQ(value, 4.25);
  EXPECT_EQ(recorder().lastChannel, "ch3");
  ASSERT_EQ(Ivi_InvalidateAttribute(vi, "ch3", kReal), VI_SUCCESS);
  ASSERT_EQ(Ivi_GetAttributeViReal64(vi, "ch3", kReal, 0, &value), VI_SUCCESS);
  ASSERT_EQ(Ivi_GetAttributeViReal64(vi, "ch2", kReal, 0, &value), VI_SUCCESS);
  EXPECT_EQ(recorder().reads, 3);
  ASSERT_EQ(Ivi_InvalidateAllAttributes(vi), VI_SUCCESS);
  ASSERT_EQ(Ivi_InvalidateAttribute(vi, IVI_VAL_ALL_CHANNELS, kReal), VI_SUCCESS);
  ASSERT_EQ(Ivi_GetAttributeViReal64(vi, "ch2", kReal, 0, &value), VI_SUCCESS);
  EXPECT_EQ(recorder().reads, 4);
  EXPECT_EQ(Ivi_InvalidateAttribute(vi, "", kReal), IVI_ERROR_CHANNEL_NAME_REQUIRED);
}

TEST_F(EngineTest, FailingCallbacksLeaveTheCacheInvalid) {
  open("Simulate=0");
  ASSERT_EQ(addReal(1.0, 0, readReal, writeReal), VI_SUCCESS);
  recorder().result = IVI_ERROR_INSTRUMENT_STATUS;
  EXPECT_EQ(Ivi_SetAttributeViReal64(vi, "ch1", kReal, 0, 9.0), IVI_ERROR_INSTRUMENT_STATUS);
  ViReal64 value = 0;
  EXPECT_EQ(Ivi_GetAttributeViReal64(vi, "ch1", kReal, 0, &value), IVI_ERROR_INSTRUMENT_STATUS);
  recorder().result = VI_SUCCESS;
  ASSERT_EQ(Ivi_GetAttributeViReal64(vi, "ch1", kReal, 0, &value), VI_SUCCESS);
  EXPECT_EQ(value, 1.0);  // the failed set did not store
  EXPECT_EQ(recorder().reads, 2);
}

TEST_F(EngineTest, SetCacheOnlyStoresWithoutCallback) {
  open("Simulate=0");
  ASSERT_EQ(Ivi_AddAttributeViInt32(vi, kInt, "INT", 0, 0, readInt, writeInt, nullptr), 0);
  ASSERT_EQ(Ivi_SetAttributeViInt32(vi, "", kInt, IVI_VAL_SET_CACHE_ONLY, 12), VI_SUCCESS);
  ViInt32 value = 0;
  ASSERT_EQ(Ivi_GetAttributeViInt32(vi, "", kInt, 0, &value), VI_SUCCESS);
  EXPECT_EQ(value, 12);
  EXPECT_EQ(recorder().writes, 0);
  EXPECT_EQ(recorder().reads, 0);
}

// Range checks at and beyond the bounds. The tables end with the IVI end marker, a pointer made
// from an integer.
// NOLINTBEGIN(performance-no-int-to-ptr)
IviRangeTableEntry rangedEntries[] = {{0.0, 25.0, 0, VI_NULL, 0}, {IVI_RANGE_TABLE_LAST_ENTRY}};
IviRangeTable rangedTable = {IVI_VAL_RANGED, VI_TRUE, VI_TRUE, VI_NULL, rangedEntries};
IviRangeTableEntry discreteEntries[] = {{0, 0, 0, VI_NULL, 0},
                                        {1, 0, 0, VI_NULL, 0},
                                        {5, 0, 0, VI_NULL, 0},
                                        {IVI_RANGE_TABLE_LAST_ENTRY}};
IviRangeTable discreteTable = {IVI_VAL_DISCRETE, VI_TRUE, VI_TRUE, VI_NULL, discreteEntries};
IviRangeTableEntry coercedEntries[] = {
    {0, 10, 10, VI_NULL, 0}, {10.000001, 100, 100, VI_NULL, 0}, {IVI_RANGE_TABLE_LAST_ENTRY}};
IviRangeTable coercedTable = {IVI_VAL_COERCED, VI_TRUE, VI_TRUE, VI_NULL, coercedEntries};
// NOLINTEND(performance-no-int-to-ptr)

struct RangeCase {
  IviRangeTable* table;
  double value;
  bool valid;
};

class RangeChecks : public EngineTest, public ::testing::WithParamInterface<RangeCase> {};

TEST_P(RangeChecks, ValuesAtTheBoundsPassAndBeyondAreRefused) {
  const RangeCase& c = GetParam();
  open();
  ASSERT_EQ(addReal(0.0, 0, nullptr, nullptr, c.table), VI_SUCCESS);
  const ViStatus expected = c.valid ? VI_SUCCESS : IVI_ERROR_INVALID_VALUE;
  EXPECT_EQ(Ivi_CheckAttributeViReal64(vi, "ch1", kReal, 0, c.value), expected);
  EXPECT_EQ(Ivi_SetAttributeViReal64(vi, "ch1", kReal, 0, c.value), expected);
  ViReal64 stored = -1;
  ASSERT_EQ(Ivi_GetAttributeViReal64(vi, "ch1", kReal, 0, &stored), VI_SUCCESS);
  if (!c.valid) {
    EXPECT_EQ(stored, 0.0);  // the refused value is not stored
  }
}

INSTANTIATE_TEST_SUITE_P(
    Engine, RangeChecks,
    ::testing::Values(RangeCase{&rangedTable, 0.0, true}, RangeCase{&rangedTable, 25.0, true},
                      RangeCase{&rangedTable, 12.5, true},
                      RangeCase{&rangedTable, -0.000001, false},
                      RangeCase{&rangedTable, 25.000001, false}, RangeCase{&discreteTable, 0, true},
                      RangeCase{&discreteTable, 5, true}, RangeCase{&discreteTable, 2, false},
                      RangeCase{&discreteTable, 5.0001, false},
                      RangeCase{&discreteTable, -1, false}, RangeCase{&coercedTable, 0, true},
                      RangeCase{&coercedTable, 100, true}, RangeCase{&coercedTable, 100.5, false}),
    NamedBy([](const RangeCase& c) { return std::to_string(c.value); }));

TEST_F(EngineTest, DiscreteInt32TableAndRangeCheckOff) {
  open("Simulate=1,RangeCheck=0");
  ASSERT_EQ(Ivi_AddAttributeViInt32(vi, kInt, "INT", 0, 0, nullptr, nullptr, &discreteTable), 0);
  EXPECT_EQ(Ivi_SetAttributeViInt32(vi, "", kInt, 0, 3), VI_SUCCESS);  // not checked
  EXPECT_EQ(Ivi_CheckAttributeViInt32(vi, "", kInt, 0, 3), IVI_ERROR_INVALID_VALUE);
  EXPECT_EQ(Ivi_RangeChecking(vi), VI_FALSE);
}

TEST_F(EngineTest, CoercedValuesAreStoredAndRecorded) {
  open("Simulate=1,RecordCoercions=1");
  ASSERT_EQ(addReal(0.0, 0, nullptr, nullptr, &coercedTable), VI_SUCCESS);
  ASSERT_EQ(Ivi_SetAttributeViReal64(vi, "ch2", kReal, 0, 42.0), VI_SUCCESS);
  ViReal64 value = 0;
  ASSERT_EQ(Ivi_GetAttributeViReal64(vi, "ch2", kReal, 0, &value), VI_SUCCESS);
  EXPECT_EQ(value, 100.0);
  ViChar record[256];
  EXPECT_EQ(Ivi_GetNextCoercionString(vi, 0, nullptr), 58);  // size asked, nothing removed
  ASSERT_EQ(Ivi_GetNextCoercionString(vi, sizeof record, record), VI_SUCCESS);
  EXPECT_STREQ(record, "Attribute REAL on channel ch2 was coerced from 42 to 100.");
  ASSERT_EQ(Ivi_GetNextCoercionString(vi, sizeof record, record), VI_SUCCESS);
  EXPECT_STREQ(record, "");
}

TEST_F(EngineTest, StringValuesFollowTheBufferRule) {
  open();
  ASSERT_EQ(Ivi_AddAttributeViString(vi, kText, "TEXT", "123456", 0, nullptr, nullptr), 0);
  ViChar buf[16];
  EXPECT_EQ(Ivi_GetAttributeViString(vi, "", kText, 0, 0, nullptr), 7);
  std::memset(buf, 'x', sizeof buf);
  EXPECT_EQ(Ivi_GetAttributeViString(vi, "", kText, 0, 4, buf), 7);
  EXPECT_STREQ(buf, "123");
  EXPECT_EQ(buf[4], 'x');  // nothing past the given size
  EXPECT_EQ(Ivi_GetAttributeViString(vi, "", kText, 0, -1, buf), VI_SUCCESS);
  EXPECT_STREQ(buf, "123456");
  EXPECT_EQ(Ivi_GetAttributeViString(vi, "", kText, 0, 7, buf), VI_SUCCESS);
  EXPECT_EQ(Ivi_GetAttributeViString(vi, "", kText, 0, 5, nullptr), IVI_ERROR_INVALID_PARAMETER);
  ASSERT_EQ(Ivi_AddAttributeViString(vi, kText + 1, "NULLTEXT", VI_NULL, 0, nullptr, nullptr), 0);
  EXPECT_EQ(Ivi_GetAttributeViString(vi, "", kText + 1, 0, sizeof buf, buf), VI_SUCCESS);
  EXPECT_STREQ(buf, "");
}

TEST_F(EngineTest, StringReadCallbackHandsItsValueBack) {
  open("Simulate=0");
  ASSERT_EQ(Ivi_AddAttributeViString(vi, kText, "TEXT", "default", 0, readText, writeText), 0);
  ViChar buf[64];
  // A callback that succeeds without a value leaves the stored one and marks it valid.
  ASSERT_EQ(Ivi_GetAttributeViString(vi, "", kText, 0, sizeof buf, buf), VI_SUCCESS);
  EXPECT_STREQ(buf, "default");
  ASSERT_EQ(Ivi_GetAttributeViString(vi, "", kText, 0, sizeof buf, buf), VI_SUCCESS);
  EXPECT_EQ(recorder().reads, 1);
  recorder().textOnRead = "from the instrument\n";
  ASSERT_EQ(Ivi_InvalidateAllAttributes(vi), VI_SUCCESS);
  ASSERT_EQ(Ivi_GetAttributeViString(vi, "", kText, 0, sizeof buf, buf), VI_SUCCESS);
  EXPECT_STREQ(buf, "from the instrument\n");
  // Outside a read callback there is nothing to hand a value to.
  EXPECT_EQ(Ivi_SetValInStringCallback(vi, kText, "x"), IVI_ERROR_INVALID_PARAMETER);
  ASSERT_EQ(Ivi_SetAttributeViString(vi, "", kText, 0, "written"), VI_SUCCESS);
  EXPECT_EQ(recorder().lastWrittenText, "written");
}

TEST_F(EngineTest, StringCallbacksCanBeReplaced) {
  open("Simulate=0");
  ASSERT_EQ(Ivi_SetAttrReadCallbackViString(vi, IVI_ATTR_SPECIFIC_DRIVER_REVISION, readText), 0);
  recorder().textOnRead = "Driver: ZR48 1.0";
  ViChar buf[64];
  ASSERT_EQ(Ivi_GetAttributeViString(vi, "", IVI_ATTR_SPECIFIC_DRIVER_REVISION, 0, 64, buf), 0);
  EXPECT_STREQ(buf, "Driver: ZR48 1.0");
  EXPECT_EQ(Ivi_SetAttrReadCallbackViString(vi, IVI_ATTR_CACHE, readText),
            IVI_ERROR_TYPES_DO_NOT_MATCH);
}

// The status check after a user's call that ran a callback.
struct StatusCase {
  const char* options;
  ViInt32 callFlags;
  IviAttrFlags attrFlags;
  bool needToCheck;
  int expectedChecks;
};

class StatusCheck : public EngineTest, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(StatusCheck, RunsOnlyWhenDue) {
  const StatusCase& c = GetParam();
  open(c.options);
  ASSERT_EQ(Ivi_SetAttributeViAddr(vi, VI_NULL, IVI_ATTR_CHECK_STATUS_CALLBACK, 0,
                                   reinterpret_cast<ViAddr>(checkStatus)),
            VI_SUCCESS);
  ASSERT_EQ(Ivi_AddAttributeViInt32(vi, kInt, "INT", 0,
                                    c.attrFlags | IVI_VAL_USE_CALLBACKS_FOR_SIMULATION, readInt,
                                    writeInt, nullptr),
            VI_SUCCESS);
  ASSERT_EQ(Ivi_SetNeedToCheckStatus(vi, c.needToCheck ? VI_TRUE : VI_FALSE), VI_SUCCESS);
  ASSERT_EQ(Ivi_SetAttributeViInt32(vi, "", kInt, c.callFlags, 1), VI_SUCCESS);
  EXPECT_EQ(recorder().statusChecks, c.expectedChecks);
  EXPECT_EQ(Ivi_NeedToCheckStatus(vi), c.needToCheck && c.expectedChecks == 0);
}

INSTANTIATE_TEST_SUITE_P(
    Engine, StatusCheck,
    ::testing::Values(StatusCase{"Simulate=0,QueryInstrStatus=1", kUser, 0, true, 1},
                      StatusCase{"Simulate=0,QueryInstrStatus=1", 0, 0, true, 0},
                      StatusCase{"Simulate=0,QueryInstrStatus=0", kUser, 0, true, 0},
                      StatusCase{"Simulate=0,QueryInstrStatus=1", kUser, 0, false, 0},
                      StatusCase{"Simulate=1,QueryInstrStatus=1", kUser, 0, true, 0},
                      StatusCase{"Simulate=0,QueryInstrStatus=1", kUser, IVI_VAL_DONT_CHECK_STATUS,
                                 true, 0}),
    NamedBy(&StatusCase::options));

TEST_F(EngineTest, FailingStatusCheckIsReturnedAndLeavesTheFlagSet) {
  open("Simulate=0,QueryInstrStatus=1");
  ASSERT_EQ(Ivi_SetAttributeViAddr(vi, VI_NULL, IVI_ATTR_CHECK_STATUS_CALLBACK, 0,
                                   reinterpret_cast<ViAddr>(checkStatus)),
            VI_SUCCESS);
  ASSERT_EQ(Ivi_AddAttributeViInt32(vi, kInt, "INT", 0, 0, readInt, nullptr, nullptr), 0);
  ASSERT_EQ(Ivi_SetNeedToCheckStatus(vi, VI_TRUE), VI_SUCCESS);
  recorder().result = IVI_ERROR_INSTRUMENT_STATUS;
  ViInt32 value = 0;
  // The read callback fails first: its status comes back and no check runs.
  EXPECT_EQ(Ivi_GetAttributeViInt32(vi, "", kInt, kUser, &value), IVI_ERROR_INSTRUMENT_STATUS);
  EXPECT_EQ(recorder().statusChecks, 0);
  EXPECT_EQ(Ivi_NeedToCheckStatus(vi), VI_TRUE);
}

TEST_F(EngineTest, InherentAttributesHaveIviDefaultsAndFlags) {
  open("Simulate=1,DriverSetup=Model=X, Trace=1");
  struct BoolRow {
    ViAttr id;
    ViBoolean expected;
  };
  for (const BoolRow& row :
       {BoolRow{IVI_ATTR_RANGE_CHECK, VI_TRUE}, BoolRow{IVI_ATTR_QUERY_INSTRUMENT_STATUS, VI_FALSE},
        BoolRow{IVI_ATTR_CACHE, VI_TRUE}, BoolRow{IVI_ATTR_SIMULATE, VI_TRUE},
        BoolRow{IVI_ATTR_RECORD_COERCIONS, VI_FALSE},
        BoolRow{IVI_ATTR_INTERCHANGE_CHECK, VI_FALSE}}) {
    ViBoolean value = 2;
    ASSERT_EQ(Ivi_GetAttributeViBoolean(vi, "", row.id, kUser, &value), VI_SUCCESS) << row.id;
    EXPECT_EQ(value, row.expected) << row.id;
  }
  ViChar text[256];
  ASSERT_EQ(Ivi_GetAttributeViString(vi, "", IVI_ATTR_DRIVER_SETUP, kUser, 256, text), 0);
  EXPECT_STREQ(text, "Model=X, Trace=1");
  ASSERT_EQ(Ivi_GetAttributeViString(vi, "", IVI_ATTR_SPECIFIC_DRIVER_PREFIX, kUser, 256, text), 0);
  EXPECT_STREQ(text, "ZR48");
  ViInt32 count = 0;
  ASSERT_EQ(Ivi_GetAttributeViInt32(vi, "", IVI_ATTR_CHANNEL_COUNT, kUser, &count), 0);
  EXPECT_EQ(count, 3);
  for (ViAttr id :
       {IVI_ATTR_DRIVER_SETUP, IVI_ATTR_SPECIFIC_DRIVER_PREFIX, IVI_ATTR_IO_RESOURCE_DESCRIPTOR,
        IVI_ATTR_INSTRUMENT_MODEL, IVI_ATTR_ENGINE_REVISION, IVI_ATTR_SPECIFIC_DRIVER_REVISION}) {
    EXPECT_EQ(Ivi_SetAttributeViString(vi, "", id, kUser, "x"), IVI_ERROR_ATTR_NOT_WRITEABLE) << id;
  }
  EXPECT_EQ(Ivi_SetAttributeViInt32(vi, "", IVI_ATTR_CHANNEL_COUNT, kUser, 9),
            IVI_ERROR_ATTR_NOT_WRITEABLE);
  // The driver may set identity attributes, but not the resource descriptor until it changes
  // the flags.
  EXPECT_EQ(Ivi_SetAttributeViString(vi, "", IVI_ATTR_INSTRUMENT_MODEL, 0, "M"), VI_SUCCESS);
  EXPECT_EQ(Ivi_SetAttributeViString(vi, "", IVI_ATTR_IO_RESOURCE_DESCRIPTOR, 0, "r"),
            IVI_ERROR_ATTR_NOT_WRITEABLE);
  IviAttrFlags flags = 0;
  ASSERT_EQ(Ivi_GetAttributeFlags(vi, IVI_ATTR_IO_RESOURCE_DESCRIPTOR, &flags), VI_SUCCESS);
  ASSERT_EQ(Ivi_SetAttributeFlags(vi, IVI_ATTR_IO_RESOURCE_DESCRIPTOR, (flags & 0xFFFB) | 0x10),
            VI_SUCCESS);
  EXPECT_EQ(Ivi_SetAttributeViString(vi, "", IVI_ATTR_IO_RESOURCE_DESCRIPTOR, 0, "r"), 0);
  EXPECT_EQ(Ivi_SetAttributeViString(vi, "", IVI_ATTR_IO_RESOURCE_DESCRIPTOR, kUser, "r"),
            IVI_ERROR_ATTR_NOT_WRITEABLE);
  ViSession rm = 1;
  EXPECT_EQ(Ivi_GetAttributeViSession(vi, "", IVI_ATTR_VISA_RM_SESSION, kUser, &rm),
            IVI_ERROR_ATTR_NOT_READABLE);
  EXPECT_EQ(Ivi_GetAttributeViSession(vi, "", IVI_ATTR_VISA_RM_SESSION, 0, &rm), VI_SUCCESS);
  EXPECT_EQ(rm, VI_NULL);  // a simulated session opens no resource manager
}

TEST_F(EngineTest, SimulationStateCannotChangeThroughAUserCall) {
  open("Simulate=1");
  EXPECT_EQ(Ivi_SetAttributeViBoolean(vi, "", IVI_ATTR_SIMULATE, kUser, VI_FALSE),
            IVI_ERROR_CANNOT_CHANGE_SIMULATION_STATE);
  EXPECT_EQ(Ivi_SetAttributeViBoolean(vi, "", IVI_ATTR_SIMULATE, kUser, VI_TRUE), VI_SUCCESS);
  EXPECT_EQ(Ivi_Simulating(vi), VI_TRUE);
}

TEST_F(EngineTest, RealSessionHoldsTheResourceManager) {
  open("");
  ViSession rm = VI_NULL;
  ASSERT_EQ(Ivi_GetAttributeViSession(vi, "", IVI_ATTR_VISA_RM_SESSION, 0, &rm), VI_SUCCESS);
  EXPECT_NE(rm, VI_NULL);
  EXPECT_EQ(Ivi_Simulating(vi), VI_FALSE);
  EXPECT_EQ(Ivi_IOSession(vi), VI_NULL);
  ASSERT_EQ(Ivi_SetAttributeViSession(vi, "", IVI_ATTR_IO_SESSION, 0, 1234), VI_SUCCESS);
  EXPECT_EQ(Ivi_IOSession(vi), 1234U);
}

}  // namespace
}  // namespace zr48::engine::test
