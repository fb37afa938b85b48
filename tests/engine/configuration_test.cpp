// Option strings, logical names from configuration files, channel tables and virtual names,
// the default set-up and the remaining services.
#include <cstring>
#include <string>

#include "engine_fixture.h"
#include "test_names.h"

namespace zr48::engine::test {
namespace {

using zr48::test::NamedBy;

constexpr ViInt32 kUser = IVI_VAL_DIRECT_USER_CALL;

ViBoolean boolAttribute(ViSession vi, ViAttr id) {
  ViBoolean value = 2;
  EXPECT_EQ(Ivi_GetAttributeViBoolean(vi, "", id, 0, &value), VI_SUCCESS);
  return value;
}

std::string stringAttribute(ViSession vi, ViAttr id) {
  ViChar text[512] = {};
  EXPECT_GE(Ivi_GetAttributeViString(vi, "", id, 0, sizeof text, text), VI_SUCCESS);
  return text;
}

struct OptionCase {
  const char* options;
  ViStatus status;
  ViBoolean simulate;  // checked on success
  ViBoolean rangeCheck;
  const char* driverSetup;
};

class OptionStrings : public EngineTest, public ::testing::WithParamInterface<OptionCase> {};

TEST_P(OptionStrings, ParseToSettingsOrTheStandardError) {
  const OptionCase& c = GetParam();
  // Simulate on by default here so that cases without it need no VISA.
  const std::string options = std::string("Simulate=1,") + c.options;
  ViSession s = VI_NULL;
  ASSERT_EQ(Ivi_SpecificDriverNew("ZR48", options.c_str(), &s), c.status) << c.options;
  if (c.status < 0) {
    EXPECT_EQ(s, VI_NULL);
    EXPECT_EQ(takeError(VI_NULL).primary, c.status);
    // Ivi_GetInfoFromResourceName checks the caller's options the same way.
    EXPECT_EQ(resolve("TCPIP::h::5025::SOCKET", c.options).status, c.status);
    return;
  }
  vi = s;
  EXPECT_EQ(boolAttribute(s, IVI_ATTR_SIMULATE), c.simulate);
  EXPECT_EQ(boolAttribute(s, IVI_ATTR_RANGE_CHECK), c.rangeCheck);
  EXPECT_EQ(stringAttribute(s, IVI_ATTR_DRIVER_SETUP), c.driverSetup);
}

INSTANTIATE_TEST_SUITE_P(
    Engine, OptionStrings,
    ::testing::Values(OptionCase{"", VI_SUCCESS, VI_TRUE, VI_TRUE, ""},
                      OptionCase{"RangeCheck=0", VI_SUCCESS, VI_TRUE, VI_FALSE, ""},
                      OptionCase{" range check = false ", VI_SUCCESS, VI_TRUE, VI_FALSE, ""},
                      OptionCase{"RANGECHECK=VI_FALSE", VI_SUCCESS, VI_TRUE, VI_FALSE, ""},
                      OptionCase{"rangecheck=vi_false,RangeCheck=True", VI_SUCCESS, VI_TRUE,
                                 VI_TRUE, ""},
                      OptionCase{"Cache=1,,QueryInstrStatus=0,", VI_SUCCESS, VI_TRUE, VI_TRUE, ""},
                      OptionCase{"DriverSetup=", VI_SUCCESS, VI_TRUE, VI_TRUE, ""},
                      OptionCase{"DriverSetup=a=1, b = 2,RangeCheck=0", VI_SUCCESS, VI_TRUE,
                                 VI_TRUE, "a=1, b = 2,RangeCheck=0"},
                      OptionCase{"RecordCoercions=1, InterchangeCheck=1, driversetup = x",
                                 VI_SUCCESS, VI_TRUE, VI_TRUE, " x"},
                      OptionCase{"=1", IVI_ERROR_MISSING_OPTION_NAME, 0, 0, ""},
                      OptionCase{" = true", IVI_ERROR_MISSING_OPTION_NAME, 0, 0, ""},
                      OptionCase{"Cache", IVI_ERROR_MISSING_OPTION_VALUE, 0, 0, ""},
                      OptionCase{"Cache=", IVI_ERROR_MISSING_OPTION_VALUE, 0, 0, ""},
                      OptionCase{"Cache= ,Simulate=1", IVI_ERROR_MISSING_OPTION_VALUE, 0, 0, ""},
                      OptionCase{"DriverSetup", IVI_ERROR_MISSING_OPTION_VALUE, 0, 0, ""},
                      OptionCase{"Turbo=1", IVI_ERROR_BAD_OPTION_NAME, 0, 0, ""},
                      OptionCase{"Cache=yes", IVI_ERROR_BAD_OPTION_VALUE, 0, 0, ""},
                      OptionCase{"Cache=2", IVI_ERROR_BAD_OPTION_VALUE, 0, 0, ""},
                      OptionCase{"Cache=1=1", IVI_ERROR_BAD_OPTION_VALUE, 0, 0, ""}),
    NamedBy(&OptionCase::options));

TEST_F(EngineTest, LogicalNameEntryIsEnginePrivate) {
  EXPECT_EQ(resolve("ASRL1::INSTR", "LogicalName=x").status, IVI_ERROR_BAD_OPTION_NAME);
  ViSession s = VI_NULL;
  EXPECT_EQ(Ivi_SpecificDriverNew("ZR48", "LogicalName=nowhere", &s),
            IVI_ERROR_INVALID_CONFIGURATION);
}

TEST_F(EngineTest, OptionStringTooLongForTheResultIsAnError) {
  const std::string longOptions = "DriverSetup=" + std::string(300, 'x');
  const Resolved tooLong = resolve("ASRL1::INSTR", longOptions.c_str());
  EXPECT_EQ(tooLong.status, IVI_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(tooLong.options, "");
  EXPECT_EQ(resolve(nullptr).status, IVI_ERROR_INVALID_PARAMETER);
  ViChar options[256];
  ViBoolean logical = VI_TRUE;
  EXPECT_EQ(Ivi_GetInfoFromResourceName(const_cast<ViRsrc>("x"), "", nullptr, options, &logical),
            IVI_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(Ivi_SpecificDriverNew("ZR48", "", nullptr), IVI_ERROR_INVALID_PARAMETER);
  ViSession s = 5;
  EXPECT_EQ(Ivi_SpecificDriverNew(nullptr, "", &s), IVI_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(s, VI_NULL);
}

constexpr const char* kBench = R"(
[bench1]
resource = "TCPIP0::127.0.0.1::5025::SOCKET"
options = { Simulate = true, RangeCheck = false, DriverSetup = "Model=HLV3907" }
virtual-channels = { Output1 = "ch1", Load = "ch3" }
default-setup = [
  { attribute = "REAL", channel = "Output1", value = 12 },
  { attribute = 1150004, value = true },
  { attribute = "TEXT", value = "configured" },
]

[broken]
resource = 42
)";

TEST_F(EngineTest, LogicalNameResolvesAndAppliesItsSettings) {
  const TempConfig config(kBench);
  const Resolved bench = resolve("bench1", "RangeCheck=1");
  ASSERT_EQ(bench.status, VI_SUCCESS);
  EXPECT_EQ(bench.logical, VI_TRUE);
  EXPECT_EQ(bench.name, "TCPIP0::127.0.0.1::5025::SOCKET");
  ASSERT_EQ(Ivi_SpecificDriverNew("ZR48", bench.options.c_str(), &vi), VI_SUCCESS);
  EXPECT_EQ(boolAttribute(vi, IVI_ATTR_SIMULATE), VI_TRUE);     // from the configuration
  EXPECT_EQ(boolAttribute(vi, IVI_ATTR_RANGE_CHECK), VI_TRUE);  // the caller's option wins
  EXPECT_EQ(boolAttribute(vi, IVI_ATTR_CACHE), VI_TRUE);        // default
  EXPECT_EQ(stringAttribute(vi, IVI_ATTR_DRIVER_SETUP), "Model=HLV3907");
  EXPECT_EQ(stringAttribute(vi, IVI_ATTR_LOGICAL_NAME), "bench1");
  EXPECT_EQ(stringAttribute(vi, IVI_ATTR_IO_RESOURCE_DESCRIPTOR),
            "TCPIP0::127.0.0.1::5025::SOCKET");

  // Virtual channel names: accepted for attribute access, physical names reach callbacks.
  ASSERT_EQ(Ivi_BuildChannelTable(vi, "ch1, ch2,ch3", VI_FALSE, VI_NULL), VI_SUCCESS);
  ASSERT_EQ(Ivi_AddAttributeViReal64(vi, kReal, "REAL", 0,
                                     IVI_VAL_MULTI_CHANNEL | IVI_VAL_USE_CALLBACKS_FOR_SIMULATION,
                                     nullptr, writeReal, nullptr, 0),
            VI_SUCCESS);
  ASSERT_EQ(Ivi_AddAttributeViBoolean(vi, kFlag, "FLAG", VI_FALSE, 0, nullptr, nullptr), 0);
  ASSERT_EQ(Ivi_AddAttributeViString(vi, kText, "TEXT", "", 0, nullptr, nullptr), 0);
  ASSERT_EQ(Ivi_SetAttributeViReal64(vi, "Load", kReal, kUser, 3.0), VI_SUCCESS);
  EXPECT_EQ(recorder().lastChannel, "ch3");
  ViReal64 value = 0;
  ASSERT_EQ(Ivi_GetAttributeViReal64(vi, "ch3", kReal, kUser, &value), VI_SUCCESS);
  EXPECT_EQ(value, 3.0);
  ViConstString user = nullptr;
  ASSERT_EQ(Ivi_GetUserChannelName(vi, "ch1", &user), VI_SUCCESS);
  EXPECT_STREQ(user, "Output1");
  ASSERT_EQ(Ivi_GetUserChannelName(vi, "ch2", &user), VI_SUCCESS);
  EXPECT_STREQ(user, "ch2");

  ASSERT_EQ(Ivi_ApplyDefaultSetup(vi), VI_SUCCESS);
  ASSERT_EQ(Ivi_GetAttributeViReal64(vi, "ch1", kReal, 0, &value), VI_SUCCESS);
  EXPECT_EQ(value, 12.0);
  EXPECT_EQ(recorder().lastChannel, "ch1");
  EXPECT_EQ(boolAttribute(vi, kFlag), VI_TRUE);
  EXPECT_EQ(stringAttribute(vi, kText), "configured");
}

TEST_F(EngineTest, PlainResourceNamesPassThrough) {
  const TempConfig config(kBench);
  const Resolved plain = resolve("TCPIP::10.0.0.1::5025::SOCKET", "Simulate=1");
  ASSERT_EQ(plain.status, VI_SUCCESS);
  EXPECT_EQ(plain.logical, VI_FALSE);
  EXPECT_EQ(plain.name, "TCPIP::10.0.0.1::5025::SOCKET");
  EXPECT_EQ(plain.options, "Simulate=1");
  const Resolved otherCase = resolve("Bench1", nullptr);  // names compare exactly
  ASSERT_EQ(otherCase.status, VI_SUCCESS);
  EXPECT_EQ(otherCase.logical, VI_FALSE);
  open();
  EXPECT_EQ(Ivi_ApplyDefaultSetup(vi), VI_SUCCESS);  // no logical name: nothing to do
}

TEST_F(EngineTest, MissingConfigurationFileIsNotAnError) {
  const zr48::test::EnvironmentVariable config("ZR48_CONFIG",
                                               "/nonexistent/zr48/logical-names.toml");
  const Resolved missing = resolve("bench1");
  EXPECT_EQ(missing.status, VI_SUCCESS);
  EXPECT_EQ(missing.logical, VI_FALSE);
  EXPECT_EQ(missing.name, "bench1");
}

struct ConfigCase {
  const char* text;
  ViStatus status;
  const char* mentions;  // the elaboration names the problem
};

class MalformedConfigurations : public EngineTest,
                                public ::testing::WithParamInterface<ConfigCase> {};

TEST_P(MalformedConfigurations, GiveAClearError) {
  const ConfigCase& c = GetParam();
  const TempConfig config(c.text);
  const Resolved resolved = resolve("bench1");
  EXPECT_EQ(resolved.status, c.status);
  EXPECT_EQ(resolved.logical, c.status < 0 ? VI_FALSE : VI_TRUE);
  const ThreadError e = takeError(VI_NULL);
  EXPECT_EQ(e.primary, c.status);
  EXPECT_NE(e.elaboration.find(c.mentions), std::string::npos) << e.elaboration;
}

INSTANTIATE_TEST_SUITE_P(
    Engine, MalformedConfigurations,
    ::testing::Values(
        ConfigCase{"[bench1\nresource = 1", IVI_ERROR_ERROR_READING_CONFIG_FILE, "line 1"},
        ConfigCase{"[bench1]\nresource = \"a\"\nresource = \"b\"\n",
                   IVI_ERROR_ERROR_READING_CONFIG_FILE, "logical-names.toml"},
        ConfigCase{"bench1 = 3\n", IVI_ERROR_INVALID_CONFIGURATION, "not a table"},
        ConfigCase{"[bench1]\nresource = 42\n", IVI_ERROR_INVALID_CONFIGURATION, "resource"},
        ConfigCase{"[bench1]\nresourse = \"x\"\n", IVI_ERROR_INVALID_CONFIGURATION, "resourse"},
        ConfigCase{"[bench1]\noptions = { Simulate = \"yes\" }\n",
                   IVI_ERROR_BAD_BOOLEAN_IN_CONFIG_FILE, "Simulate"},
        ConfigCase{"[bench1]\noptions = { Turbo = true }\n", IVI_ERROR_INVALID_CONFIGURATION,
                   "Turbo"},
        ConfigCase{"[bench1]\nvirtual-channels = { Out = 1 }\n", IVI_ERROR_INVALID_CONFIGURATION,
                   "Out"},
        ConfigCase{"[bench1]\ndefault-setup = [ { value = 1 } ]\n",
                   IVI_ERROR_UNKNOWN_DEFAULT_SETUP_ATTR, "names no attribute"},
        ConfigCase{"[bench1]\ndefault-setup = [ { attribute = \"A\", value = [1] } ]\n",
                   IVI_ERROR_INVALID_DEFAULT_SETUP_VAL, "value"},
        // A broken entry for another name does not matter.
        ConfigCase{"[bench1]\nresource = \"a\"\n[other]\nresource = 5\n", VI_SUCCESS, ""}),
    NamedBy(&ConfigCase::mentions));

TEST_F(EngineTest, MalformedFileBreaksPlainNamesToo) {
  const TempConfig config("not toml at all [");
  EXPECT_EQ(resolve("TCPIP::h::1::SOCKET").status, IVI_ERROR_ERROR_READING_CONFIG_FILE);
}

struct VirtualCase {
  const char* virtualChannels;
  ViBoolean allowUnknown;
  ViStatus status;
};

class VirtualChannelErrors : public EngineTest,
                             public ::testing::WithParamInterface<VirtualCase> {};

TEST_P(VirtualChannelErrors, AreReportedWhenTheChannelTableIsBuilt) {
  const VirtualCase& c = GetParam();
  const TempConfig config(std::string("[bench1]\noptions = { Simulate = true }\n"
                                      "virtual-channels = ") +
                          c.virtualChannels + "\n");
  const Resolved bench = resolve("bench1");
  ASSERT_EQ(bench.status, VI_SUCCESS);
  ASSERT_EQ(Ivi_SpecificDriverNew("ZR48", bench.options.c_str(), &vi), VI_SUCCESS);
  EXPECT_EQ(Ivi_BuildChannelTable(vi, "ch1,ch2", c.allowUnknown, VI_NULL), c.status);
}

INSTANTIATE_TEST_SUITE_P(
    Engine, VirtualChannelErrors,
    ::testing::Values(VirtualCase{"{ A = \"ch1\", B = \"ch2\" }", VI_FALSE, VI_SUCCESS},
                      VirtualCase{"{ A = \"ch9\" }", VI_FALSE, IVI_ERROR_BAD_VIRT_CHAN_ASSIGNMENT},
                      VirtualCase{"{ A = \"ch9\" }", VI_TRUE, VI_SUCCESS},
                      VirtualCase{"{ \"bad name\" = \"ch1\" }", VI_FALSE,
                                  IVI_ERROR_BAD_VIRT_CHAN_NAME},
                      VirtualCase{"{ A = \"\" }", VI_FALSE, IVI_ERROR_UNASSIGNED_VIRT_CHAN_NAME}),
    NamedBy(&VirtualCase::virtualChannels));

TEST_F(EngineTest, DefaultSetupErrors) {
  const TempConfig config(R"(
[unknown]
options = { Simulate = true }
default-setup = [ { attribute = "NOPE", value = 1 } ]
[badtype]
options = { Simulate = true }
default-setup = [ { attribute = "INT", value = "text" } ]
[outofrange]
options = { Simulate = true }
default-setup = [ { attribute = "INT", value = 3 } ]
)");
  IviRangeTableEntry entries[] = {
      {0, 1, 0, VI_NULL, 0}, {IVI_RANGE_TABLE_LAST_ENTRY}};  // NOLINT(performance-no-int-to-ptr)
  IviRangeTable table = {IVI_VAL_RANGED, VI_TRUE, VI_TRUE, VI_NULL, entries};
  const std::pair<const char*, ViStatus> rows[] = {
      {"unknown", IVI_ERROR_UNKNOWN_DEFAULT_SETUP_ATTR},
      {"badtype", IVI_ERROR_INVALID_DEFAULT_SETUP_VAL},
      {"outofrange", IVI_ERROR_INVALID_DEFAULT_SETUP_VAL}};
  for (const auto& [logicalName, expected] : rows) {
    const Resolved resolved = resolve(logicalName);
    ASSERT_EQ(resolved.status, VI_SUCCESS);
    ViSession s = VI_NULL;
    ASSERT_EQ(Ivi_SpecificDriverNew("ZR48", resolved.options.c_str(), &s), VI_SUCCESS);
    ASSERT_EQ(Ivi_AddAttributeViInt32(s, kInt, "INT", 0, 0, nullptr, nullptr, &table), 0);
    EXPECT_EQ(Ivi_ApplyDefaultSetup(s), expected) << logicalName;
    EXPECT_EQ(takeError(s).primary, expected);
    Ivi_Dispose(s);
  }
}

TEST_F(EngineTest, ChannelTableRules) {
  open("Simulate=1", false);
  const std::pair<const char*, ViStatus> rows[] = {{"", IVI_ERROR_EMPTY_CHANNEL_LIST},
                                                   {"  ", IVI_ERROR_EMPTY_CHANNEL_LIST},
                                                   {"a,b,a", IVI_ERROR_DUPLICATE_CHANNEL_STRING},
                                                   {"a,,b", IVI_ERROR_BAD_CHANNEL_NAME},
                                                   {"a b", IVI_ERROR_BAD_CHANNEL_NAME},
                                                   {nullptr, IVI_ERROR_INVALID_PARAMETER}};
  for (const auto& [list, expected] : rows) {
    EXPECT_EQ(Ivi_BuildChannelTable(vi, list, VI_FALSE, VI_NULL), expected) << (list ? list : "");
  }
  ASSERT_EQ(Ivi_BuildChannelTable(vi, "ch1,ch2,ch3,ch4,ch5,ch6,ch7", VI_FALSE, VI_NULL), 0);
  EXPECT_EQ(Ivi_BuildChannelTable(vi, "x", VI_FALSE, VI_NULL), IVI_ERROR_ITEM_ALREADY_EXISTS);
  ViConstString name = nullptr;
  const std::pair<ViInt32, ViStatus> indexRows[] = {{1, VI_SUCCESS},
                                                    {7, VI_SUCCESS},
                                                    {0, IVI_ERROR_INDEX_IS_ONE_BASED},
                                                    {-5, IVI_ERROR_INDEX_IS_ONE_BASED},
                                                    {8, IVI_ERROR_INDEX_IS_TOO_HIGH}};
  for (const auto& [index, expected] : indexRows) {
    EXPECT_EQ(Ivi_GetNthChannelString(vi, index, &name), expected) << index;
  }
  ASSERT_EQ(Ivi_GetNthChannelString(vi, 7, &name), VI_SUCCESS);
  EXPECT_STREQ(name, "ch7");
  EXPECT_EQ(Ivi_GetNthChannelString(vi, 1, nullptr), IVI_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(Ivi_GetUserChannelName(vi, "ch8", &name), IVI_ERROR_UNKNOWN_CHANNEL_NAME);
  ViInt32 count = 0;
  ASSERT_EQ(Ivi_GetAttributeViInt32(vi, "", IVI_ATTR_CHANNEL_COUNT, 0, &count), VI_SUCCESS);
  EXPECT_EQ(count, 7);
}

TEST_F(EngineTest, RecordQueuesStartEmpty) {
  open();
  ViChar text[8] = "junk";
  EXPECT_EQ(Ivi_GetNextInterchangeCheckString(vi, sizeof text, text), VI_SUCCESS);
  EXPECT_STREQ(text, "");
  EXPECT_EQ(Ivi_GetNextInterchangeCheckString(vi, 0, nullptr), 1);
  EXPECT_EQ(Ivi_GetNextCoercionString(vi, 5, nullptr), IVI_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(Ivi_ResetInterchangeCheck(vi), VI_SUCCESS);
  EXPECT_EQ(Ivi_ClearInterchangeWarnings(vi), VI_SUCCESS);
}

TEST_F(EngineTest, RawInstrumentDataWhileSimulatingAndWithoutIo) {
  open();
  ViChar buf[16] = "keep";
  ViInt32 count = -1;
  EXPECT_EQ(Ivi_WriteInstrData(vi, "*RST\n"), VI_SUCCESS);
  EXPECT_EQ(Ivi_ReadInstrData(vi, sizeof buf, buf, &count), VI_SUCCESS);
  EXPECT_EQ(count, 0);
  EXPECT_STREQ(buf, "keep");
  EXPECT_EQ(Ivi_WriteInstrData(vi, nullptr), IVI_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(Ivi_ReadInstrData(vi, 4, nullptr, &count), IVI_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(Ivi_ReadInstrData(vi, 4, buf, nullptr), IVI_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(Ivi_ReadInstrData(vi, -1, buf, &count), IVI_ERROR_INVALID_PARAMETER);
  Ivi_Dispose(vi);
  open("");  // a real session without an I/O session yet
  EXPECT_EQ(Ivi_WriteInstrData(vi, "*RST\n"), IVI_ERROR_NOT_INITIALIZED);
  EXPECT_EQ(Ivi_ReadInstrData(vi, 4, buf, &count), IVI_ERROR_NOT_INITIALIZED);
}

TEST(EngineDescription, OneParagraphWithTheBufferRule) {
  const ViInt32 size = Ivi_GetEngineDescription(0, nullptr);
  ASSERT_GT(size, 100);
  std::string text(static_cast<size_t>(size), '\0');
  ASSERT_EQ(Ivi_GetEngineDescription(size, text.data()), VI_SUCCESS);
  EXPECT_NE(text.find("ZR48_CONFIG"), std::string::npos);
  EXPECT_NE(text.find("/etc/zr48/logical-names.toml"), std::string::npos);
  ViChar small[10];
  EXPECT_EQ(Ivi_GetEngineDescription(sizeof small, small), size);
  EXPECT_EQ(std::strlen(small), 9U);
}

}  // namespace
}  // namespace zr48::engine::test
