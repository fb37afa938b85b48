// The SCPI-backed attributes through the public accessors: exact bytes on the wire, caching,
// simulation and faults, one table row per attribute.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "attribute_io.h"
#include "sim_session.h"

namespace zr48::test {
namespace {

struct ScpiRow {
  ViAttr id;
  const char* query;    // nullptr: write only
  const char* command;  // nullptr: read only; "%s" stands for the written text
  bool per_channel;
};

// clang-format off
const ScpiRow kRows[] = {
    {ZR48_ATTR_CLS, nullptr, "*CLS\n", false},
    {ZR48_ATTR_ESE, "*ESE?\n", "*ESE %s\n", false},
    {ZR48_ATTR_ESR, "*ESR?\n", nullptr, false},
    {ZR48_ATTR_IDN, "*IDN?\n", nullptr, false},
    {ZR48_ATTR_OPC, "*OPC?\n", "*OPC\n", false},
    {ZR48_ATTR_PSC, "*PSC?\n", "*PSC %s\n", false},
    {ZR48_ATTR_RST, nullptr, "*RST\n", false},
    {ZR48_ATTR_SRE, "*SRE?\n", "*SRE %s\n", false},
    {ZR48_ATTR_STB, "*STB?\n", nullptr, false},
    {ZR48_ATTR_TRG, nullptr, "*TRG\n", false},
    {ZR48_ATTR_SAV, nullptr, "*SAV %s\n", false},
    {ZR48_ATTR_RCL, nullptr, "*RCL %s\n", false},
    {ZR48_ATTR_TST, "*TST?\n", nullptr, false},
    {ZR48_ATTR_WAI, nullptr, "*WAI\n", false},
    {ZR48_ATTR_SYST_VERS, "SYST:VERS?\n", nullptr, false},
    {ZR48_ATTR_SYST_REM, nullptr, "SYST:REM\n", false},
    {ZR48_ATTR_SYST_LOC, nullptr, "SYST:LOC\n", false},
    {ZR48_ATTR_SYST_RWL, nullptr, "SYST:RWL\n", false},
    {ZR48_ATTR_SYST_GPIB_ADDR, "SYST:COMM:GPIB:RDEV:ADDR?\n", "SYST:COMM:GPIB:RDEV:ADDR %s\n", false},
    {ZR48_ATTR_SYST_MODU, "SYST:MODU?\n", nullptr, false},
    {ZR48_ATTR_SYST_BEEP, nullptr, "SYST:BEEP\n", false},
    {ZR48_ATTR_STAT_QUES, "STAT:QUES?\n", nullptr, false},
    {ZR48_ATTR_STAT_QUES_COND, "STAT:QUES:COND?\n", nullptr, false},
    {ZR48_ATTR_STAT_QUES_ENAB, "STAT:QUES:ENAB?\n", "STAT:QUES:ENAB %s\n", false},
    {ZR48_ATTR_STAT_PRES, nullptr, "STAT:PRES\n", false},
    {ZR48_ATTR_STAT_QUES_INST, "STAT:QUES:INST?\n", nullptr, false},
    {ZR48_ATTR_STAT_QUES_INST_ENAB, "STAT:QUES:INST:ENAB?\n", "STAT:QUES:INST:ENAB %s\n", false},
    {ZR48_ATTR_STAT_QUES_INST_ISUM1, "STAT:QUES:INST:ISUM1?\n", nullptr, false},
    {ZR48_ATTR_STAT_QUES_INST_ISUM1_ENAB, "STAT:QUES:INST:ISUM1:ENAB?\n",
     "STAT:QUES:INST:ISUM1:ENAB %s\n", false},
    {ZR48_ATTR_STAT_QUES_INST_ISUM1_COND, "STAT:QUES:INST:ISUM1:COND?\n", nullptr, false},
    {ZR48_ATTR_STAT_QUES_INST_ISUM2, "STAT:QUES:INST:ISUM2?\n", nullptr, false},
    {ZR48_ATTR_STAT_QUES_INST_ISUM2_ENAB, "STAT:QUES:INST:ISUM2:ENAB?\n",
     "STAT:QUES:INST:ISUM2:ENAB %s\n", false},
    {ZR48_ATTR_STAT_QUES_INST_ISUM2_COND, "STAT:QUES:INST:ISUM2:COND?\n", nullptr, false},
    {ZR48_ATTR_STAT_QUES_INST_ISUM3, "STAT:QUES:INST:ISUM3?\n", nullptr, false},
    {ZR48_ATTR_STAT_QUES_INST_ISUM3_ENAB, "STAT:QUES:INST:ISUM3:ENAB?\n",
     "STAT:QUES:INST:ISUM3:ENAB %s\n", false},
    {ZR48_ATTR_STAT_QUES_INST_ISUM3_COND, "STAT:QUES:INST:ISUM3:COND?\n", nullptr, false},
    {ZR48_ATTR_STAT_OPER, "STAT:OPER?\n", nullptr, false},
    {ZR48_ATTR_STAT_OPER_COND, "STAT:OPER:COND?\n", nullptr, false},
    {ZR48_ATTR_STAT_OPER_ENAB, "STAT:OPER:ENAB?\n", "STAT:OPER:ENAB %s\n", false},
    {ZR48_ATTR_STAT_OPER_INST, "STAT:OPER:INST?\n", nullptr, false},
    {ZR48_ATTR_STAT_OPER_INST_ENAB, "STAT:OPER:INST:ENAB?\n", "STAT:OPER:INST:ENAB %s\n", false},
    {ZR48_ATTR_STAT_OPER_INST_ISUM1, "STAT:OPER:INST:ISUM1?\n", nullptr, false},
    {ZR48_ATTR_STAT_OPER_INST_ISUM1_ENAB, "STAT:OPER:INST:ISUM1:ENAB?\n",
     "STAT:OPER:INST:ISUM1:ENAB %s\n", false},
    {ZR48_ATTR_STAT_OPER_INST_ISUM1_COND, "STAT:OPER:INST:ISUM1:COND?\n", nullptr, false},
    {ZR48_ATTR_STAT_OPER_INST_ISUM2, "STAT:OPER:INST:ISUM2?\n", nullptr, false},
    {ZR48_ATTR_STAT_OPER_INST_ISUM2_ENAB, "STAT:OPER:INST:ISUM2:ENAB?\n",
     "STAT:OPER:INST:ISUM2:ENAB %s\n", false},
    {ZR48_ATTR_STAT_OPER_INST_ISUM2_COND, "STAT:OPER:INST:ISUM2:COND?\n", nullptr, false},
    {ZR48_ATTR_STAT_OPER_INST_ISUM3, "STAT:OPER:INST:ISUM3?\n", nullptr, false},
    {ZR48_ATTR_STAT_OPER_INST_ISUM3_ENAB, "STAT:OPER:INST:ISUM3:ENAB?\n",
     "STAT:OPER:INST:ISUM3:ENAB %s\n", false},
    {ZR48_ATTR_STAT_OPER_INST_ISUM3_COND, "STAT:OPER:INST:ISUM3:COND?\n", nullptr, false},
    {ZR48_ATTR_OUTP, "OUTP?\n", "OUTP %s\n", true},
    {ZR48_ATTR_OUTP_TIM, "OUTP:TIM?\n", "OUTP:TIM %s\n", true},
    {ZR48_ATTR_OUTP_TIM_DATA, "OUTP:TIM:DATA?\n", "OUTP:TIM:DATA %s\n", true},
    {ZR48_ATTR_OUTP_TRAC, "OUTP:TRAC?\n", "OUTP:TRAC %s\n", true},
    {ZR48_ATTR_OUTP_SER, "OUTP:SER?\n", "OUTP:SER %s\n", true},
    {ZR48_ATTR_OUTP_PAR, "OUTP:PAR?\n", "OUTP:PAR %s\n", true},
    {ZR48_ATTR_OUTP_CHAN, "CHAN:OUTP?\n", "CHAN:OUTP %s\n", true},
};
// clang-format on

static_assert(std::size(kRows) == 57);

// The bytes a write sends: the command with the text in place of "%s" (a command without one
// ignores the text).
std::string Command(const ScpiRow& row, const std::string& text) {
  std::string line = row.command;
  const std::size_t at = line.find("%s");
  if (at != std::string::npos) line.replace(at, 2, text);
  return line;
}

const char* ChannelOf(const ScpiRow& row) {
  return row.per_channel ? "ch3" : "";
}
std::string Selection(const ScpiRow& row) {
  return row.per_channel ? "INST ch3\n" : "";
}
std::string Trace(const ScpiRow& row) {
  return "attribute " + std::to_string(row.id);
}

// Status, event and condition queries, which are never answered from the cache.
bool IsVolatile(const ScpiRow& row) {
  if (row.query == nullptr) return false;
  const std::string query = row.query;
  if (query.rfind("STAT:", 0) == 0) return query.find("ENAB") == std::string::npos;
  return query == "*ESR?\n" || query == "*STB?\n" || query == "*OPC?\n" || query == "*TST?\n";
}

using ScpiAttributeTest = SimSessionTest;

TEST_F(ScpiAttributeTest, EveryReadSendsItsQueryOnceAndKeepsTheReplyWithItsTerminator) {
  OpenReal();
  for (const ScpiRow& row : kRows) {
    SCOPED_TRACE(Trace(row));
    sim_.clear_received();
    const std::string reply = "+" + std::to_string(row.id) + " reply\n";
    if (row.query != nullptr) sim_.push_reply(reply);
    const std::string expected = row.query != nullptr ? reply : "";  // no default value
    EXPECT_EQ(ReadStringOk(vi_, ChannelOf(row), row.id), expected);
    if (IsVolatile(row)) continue;  // never cached: volatile_attribute_tests.cpp
    EXPECT_EQ(ReadStringOk(vi_, ChannelOf(row), row.id), expected);  // from the cache
    EXPECT_EQ(Sent(), row.query != nullptr ? Selection(row) + row.query : "");
  }
}

TEST_F(ScpiAttributeTest, EveryWriteSendsItsCommandEachTimeWithTheTextVerbatim) {
  OpenReal();
  for (const ScpiRow& row : kRows) {
    SCOPED_TRACE(Trace(row));
    for (const std::string text : {"1 %d,\"x\"", "1 %d,\"x\"", ""}) {
      sim_.clear_received();
      EXPECT_EQ(ZR48_SetAttributeViString(vi_, ChannelOf(row), row.id, text.c_str()), VI_SUCCESS);
      const std::string expected =
          row.command != nullptr ? Selection(row) + Command(row, text) : "";
      EXPECT_EQ(Arrived(sim_, expected), expected);
    }
  }
}

TEST_F(ScpiAttributeTest, ReadAfterWriteAsksTheInstrumentNotTheWrittenText) {
  OpenReal();
  ASSERT_EQ(ZR48_SetAttributeViString(vi_, "", ZR48_ATTR_STAT_QUES_ENAB, "255"), VI_SUCCESS);
  ASSERT_EQ(ZR48_InvalidateAllAttributes(vi_), VI_SUCCESS);
  ASSERT_EQ(Arrived(sim_, "STAT:QUES:ENAB 255\n"), "STAT:QUES:ENAB 255\n");
  sim_.clear_received();
  sim_.push_reply("+7\n");
  EXPECT_EQ(ReadStringOk(vi_, "", ZR48_ATTR_STAT_QUES_ENAB), "+7\n");
  EXPECT_EQ(Sent(), "STAT:QUES:ENAB?\n");
}

TEST_F(ScpiAttributeTest, ChannelSelectionUsesTheAddressedChannelAndStays) {
  OpenReal();
  for (const char* channel : {"ch1", "ch7"}) {
    sim_.clear_received();
    ASSERT_EQ(ZR48_SetAttributeViString(vi_, channel, ZR48_ATTR_OUTP_CHAN, "ON"), VI_SUCCESS);
    const std::string expected = std::string("INST ") + channel + "\nCHAN:OUTP ON\n";
    EXPECT_EQ(Arrived(sim_, expected), expected);
  }
}

struct Invalidation {
  const char* name;
  std::function<ViStatus(ViSession)> run;
  const char* sent;
};

TEST_F(ScpiAttributeTest, CachedValueIsAskedForAgainOnlyAfterInvalidation) {
  const Invalidation invalidations[] = {
      {"InvalidateAllAttributes", ZR48_InvalidateAllAttributes, ""},
      {"reset", ZR48_reset, "*RST\n"},
  };
  OpenReal();
  for (const Invalidation& invalidation : invalidations) {
    SCOPED_TRACE(invalidation.name);
    sim_.clear_received();
    ASSERT_EQ(invalidation.run(vi_), VI_SUCCESS);
    ASSERT_EQ(Arrived(sim_, invalidation.sent), invalidation.sent);
    sim_.clear_received();
    sim_.push_reply("1\n");
    sim_.push_reply("2\n");
    EXPECT_EQ(ReadStringOk(vi_, "", ZR48_ATTR_STAT_QUES_ENAB), "1\n");
    EXPECT_EQ(ReadStringOk(vi_, "", ZR48_ATTR_STAT_QUES_ENAB), "1\n");
    ASSERT_EQ(invalidation.run(vi_), VI_SUCCESS);
    EXPECT_EQ(ReadStringOk(vi_, "", ZR48_ATTR_STAT_QUES_ENAB), "2\n");
    const std::string expected =
        std::string("STAT:QUES:ENAB?\n") + invalidation.sent + "STAT:QUES:ENAB?\n";
    EXPECT_EQ(Arrived(sim_, expected), expected);
  }
}

TEST_F(ScpiAttributeTest, LongReplyIsCutAt511Bytes) {
  OpenReal();
  sim_.push_reply(std::string(600, 'x') + "\n");
  EXPECT_EQ(ReadStringOk(vi_, "", ZR48_ATTR_ESR), std::string(511, 'x'));
}

TEST_F(ScpiAttributeTest, SimulatedSessionSendsNothingAndReadsCachedValues) {
  OpenSimulated();
  for (const ScpiRow& row : kRows) {
    SCOPED_TRACE(Trace(row));
    EXPECT_EQ(ReadStringOk(vi_, ChannelOf(row), row.id), "");
    EXPECT_EQ(ZR48_SetAttributeViString(vi_, ChannelOf(row), row.id, "12"), VI_SUCCESS);
    EXPECT_EQ(ReadStringOk(vi_, ChannelOf(row), row.id), "12");
  }
  EXPECT_EQ(sim_.connection_count(), 0U);
}

// ---- Faults -----------------------------------------------------------------------------------

// The value the engine holds, without asking the instrument: a simulated session's reads yield
// the stored value. Switching to simulation is open to the driver (not to a user's call).
std::string StoredValue(ViSession vi, const char* channel, ViAttr id) {
  EXPECT_EQ(Ivi_SetAttributeViBoolean(vi, "", IVI_ATTR_SIMULATE, 0, VI_TRUE), VI_SUCCESS);
  return ReadStringOk(vi, channel, id);
}

TEST_F(ScpiAttributeTest, DroppedLinkHandsNoValueAndStopsLaterAccesses) {
  struct Case {
    const char* name;
    std::size_t lines_before_drop;  // lines the instrument still takes before it drops the link
    const char* sent;
  };
  const Case cases[] = {
      {"dropped on the channel selection", 0, "INST ch2\n"},
      {"dropped before the access", 1, "*CLS\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OpenReal();
    sim_.push_reply("1\n");
    ASSERT_EQ(ReadStringOk(vi_, "ch2", ZR48_ATTR_OUTP), "1\n");
    ASSERT_EQ(ZR48_InvalidateAllAttributes(vi_), VI_SUCCESS);
    sim_.clear_received();
    sim_.close_after_lines(c.lines_before_drop + 1);
    if (c.lines_before_drop > 0) {
      ASSERT_EQ(ZR48_WriteCmd(vi_, "*CLS"), VI_SUCCESS);
    }
    const StringRead read = ReadString(vi_, "ch2", ZR48_ATTR_OUTP);
    EXPECT_LT(read.status, 0);
    EXPECT_EQ(read.value, "(untouched)");
    // Once the loss is known, nothing more goes out: the flush already reports it.
    EXPECT_EQ(ZR48_SetAttributeViString(vi_, "ch2", ZR48_ATTR_OUTP, "0"), VI_ERROR_CONN_LOST);
    EXPECT_EQ(Sent().substr(0, std::string(c.sent).size()), c.sent);
    EXPECT_EQ(Count(Sent(), "OUTP 0"), 0U);
    EXPECT_EQ(StoredValue(vi_, "ch2", ZR48_ATTR_OUTP), "1\n");
    EXPECT_EQ(ZR48_close(vi_), VI_SUCCESS);
    vi_ = VI_NULL;
    sim_.reset_faults();
  }
}

TEST_F(ScpiAttributeTest, ReadTimeOutIsRecordedAndLeavesTheValue) {
  OpenReal();
  sim_.push_reply("5\n");
  ASSERT_EQ(ReadStringOk(vi_, "", ZR48_ATTR_ESE), "5\n");
  ASSERT_EQ(ZR48_InvalidateAllAttributes(vi_), VI_SUCCESS);
  ASSERT_EQ(viSetAttribute(Ivi_IOSession(vi_), VI_ATTR_TMO_VALUE, 200), VI_SUCCESS);
  (void)TakeErrorInfo(vi_);
  sim_.set_silent(true);
  const StringRead read = ReadString(vi_, "", ZR48_ATTR_ESE);
  EXPECT_EQ(read.status, VI_ERROR_TMO);
  EXPECT_EQ(read.value, "(untouched)");
  const ErrorInfo info = TakeErrorInfo(vi_);
  EXPECT_EQ(info.primary, VI_ERROR_TMO);
  EXPECT_EQ(info.secondary, VI_SUCCESS);
  sim_.set_silent(false);
  EXPECT_EQ(StoredValue(vi_, "", ZR48_ATTR_ESE), "5\n");
}

}  // namespace
}  // namespace zr48::test
