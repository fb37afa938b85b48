// The SCPI-backed attributes through the public accessors, walking the driver's own rows with the
// simulated instrument as the judge of every byte: queries, commands, caching, simulation and
// faults.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>

#include "attribute_io.h"
#include "attributes/scpi_attributes.h"
#include "sim_session.h"

namespace zr48::test {
namespace {

using attributes::ReadShape;
using attributes::scpi_attribute_rows;
using attributes::ScpiAttribute;

// The bytes a write sends: the command with the text in place of "%s" (a command without one
// ignores the text).
std::string Command(const ScpiAttribute& row, const std::string& text) {
  std::string line = row.command;
  const std::size_t at = line.find("%s");
  if (at != std::string::npos) line.replace(at, 2, text);
  return line;
}

const char* ChannelOf(const ScpiAttribute& row) {
  return row.selects_channel() ? "ch3" : "";
}
std::string Selection(const ScpiAttribute& row) {
  return row.selects_channel() ? "INST ch3\n" : "";
}

// What the instrument found wrong in everything it parsed so far: its error queue, emptied.
std::string InstrumentErrors(sim::Server& sim) {
  std::string errors;
  for (int i = 0; i < 32; ++i) {
    const std::string error = sim.execute("SYST:ERR?");
    if (error.rfind("0,", 0) == 0) break;
    errors += error;
  }
  return errors;
}

// Status, event and condition registers change on the instrument by themselves (event registers
// clear when read), and so do the operation-complete and self-test answers; settings, the enable
// registers among them, change only when written.
bool ChangesByItself(const ScpiAttribute& row) {
  const std::string query = row.query != nullptr ? row.query : "";
  if (query.rfind("STAT:", 0) == 0) return query.find(":ENAB?") == std::string::npos;
  return query == "*ESR?\n" || query == "*OPC?\n" || query == "*STB?\n" || query == "*TST?\n";
}

using ScpiAttributeTest = SimSessionTest;

// Every row's query, as the driver sends it, is one the instrument knows, and its reply reaches
// the caller with its terminator; the second read comes from the cache, or, for state the
// instrument changes by itself, asks again and hands back the new answer.
TEST_F(ScpiAttributeTest, EveryQueryIsUnderstoodAndItsReplyReachesTheCaller) {
  OpenReal();
  (void)sim_.execute("NO:SUCH:COMMAND");
  ASSERT_NE(InstrumentErrors(sim_), "");  // the judge does judge
  for (const ScpiAttribute& row : scpi_attribute_rows()) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ((row.flags & IVI_VAL_NEVER_CACHE) != 0, ChangesByItself(row));
    sim_.clear_received();
    const StringRead read = ReadString(vi_, ChannelOf(row), row.id);
    EXPECT_EQ(read.status, VI_SUCCESS);
    if (row.read == ReadShape::kNone) {
      EXPECT_EQ(read.value, "");  // no default value and nothing asked
      EXPECT_EQ(Sent(), "");
      continue;
    }
    EXPECT_GT(read.value.size(), 1U);
    EXPECT_EQ(read.value.back(), '\n');
    const std::string exchange = Selection(row) + row.query;
    if ((row.flags & IVI_VAL_NEVER_CACHE) != 0) {
      sim_.push_reply("2\n");
      EXPECT_EQ(ReadStringOk(vi_, ChannelOf(row), row.id), "2\n");
      EXPECT_EQ(Arrived(sim_, exchange + exchange), exchange + exchange);
    } else {
      EXPECT_EQ(ReadStringOk(vi_, ChannelOf(row), row.id), read.value);
      EXPECT_EQ(Sent(), exchange);
    }
    EXPECT_EQ(InstrumentErrors(sim_), "");
  }
}

// Every row's command, with the value the instrument reports (or "1" for a write-only
// parameter), is one the instrument accepts; it goes out on every write.
TEST_F(ScpiAttributeTest, EveryCommandIsAcceptedByTheInstrumentEachTime) {
  OpenReal();
  for (const ScpiAttribute& row : scpi_attribute_rows()) {
    if (row.command == nullptr) continue;
    SCOPED_TRACE(row.name);
    std::string value = "1";
    if (row.read != ReadShape::kNone) {
      value = ReadStringOk(vi_, ChannelOf(row), row.id);
      if (!value.empty() && value.back() == '\n') value.pop_back();
    }
    for (int i = 0; i < 2; ++i) {
      sim_.clear_received();
      EXPECT_EQ(ZR48_SetAttributeViString(vi_, ChannelOf(row), row.id, value.c_str()), VI_SUCCESS);
      const std::string expected = Selection(row) + Command(row, value);
      EXPECT_EQ(Arrived(sim_, expected), expected);
    }
    EXPECT_EQ(InstrumentErrors(sim_), "");
  }
}

// The written text goes out as it is: no format directive in it is interpreted.
TEST_F(ScpiAttributeTest, WrittenTextIsSentVerbatim) {
  OpenReal();
  for (const std::string text : {"1 %d,\"x\"", ""}) {
    sim_.clear_received();
    EXPECT_EQ(ZR48_SetAttributeViString(vi_, "", ZR48_ATTR_ESE, text.c_str()), VI_SUCCESS);
    EXPECT_EQ(ZR48_SetAttributeViString(vi_, "ch3", ZR48_ATTR_OUTP, text.c_str()), VI_SUCCESS);
    const std::string expected = "*ESE " + text + "\nINST ch3\nOUTP " + text + "\n";
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

// The event status register clears when read: the second read sees the cleared register.
TEST_F(ScpiAttributeTest, AnEventRegisterReadsClearedTheSecondTime) {
  OpenReal();
  ASSERT_EQ(ZR48_WriteCmd(vi_, "NO:SUCH:COMMAND"), VI_SUCCESS);  // sets the command-error bit
  const std::string first = ReadStringOk(vi_, "", ZR48_ATTR_ESR);
  EXPECT_NE(std::stoi(first) & 32, 0) << first;  // command error
  EXPECT_EQ(ReadStringOk(vi_, "", ZR48_ATTR_ESR), "0\n");
}

TEST_F(ScpiAttributeTest, LongReplyIsCutAt511Bytes) {
  OpenReal();
  sim_.push_reply(std::string(600, 'x') + "\n");
  EXPECT_EQ(ReadStringOk(vi_, "", ZR48_ATTR_ESR), std::string(511, 'x'));
}

TEST_F(ScpiAttributeTest, SimulatedSessionSendsNothingAndReadsCachedValues) {
  OpenSimulated();
  for (const ScpiAttribute& row : scpi_attribute_rows()) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(ReadStringOk(vi_, ChannelOf(row), row.id), "");
    EXPECT_EQ(ZR48_SetAttributeViString(vi_, ChannelOf(row), row.id, "12"), VI_SUCCESS);
    EXPECT_EQ(ReadStringOk(vi_, ChannelOf(row), row.id), "12");
  }
  EXPECT_EQ(sim_.connection_count(), 0U);
}

// ---- Line breaks --------------------------------------------------------------------------
// An attribute value that would end the command line early and smuggle in a command of its own
// is refused with IVI_ERROR_INVALID_PARAMETER before anything is sent.

constexpr const char* kInjections[] = {"1\nOUTP ON", "1\rOUTP ON", "\n", "5\r\n*RST"};

// Instrument-wide and per-channel attribute values: refused, and the value written before stays.
TEST_F(ScpiAttributeTest, AttributeValuesWithALineBreakAreRefusedAndNotCached) {
  const ViSession vi = OpenReal();
  ASSERT_EQ(ZR48_SetAttributeViString(vi, "ch1", ZR48_ATTR_OUTP_TIM_DATA, "5"), VI_SUCCESS);
  ASSERT_EQ(ZR48_SetAttributeViString(vi, "", ZR48_ATTR_ESE, "16"), VI_SUCCESS);
  // Both settings have arrived (a serial line delivers them after the calls return).
  const std::string settings = "INST ch1\nOUTP:TIM:DATA 5\n*ESE 16\n";
  EXPECT_EQ(sim_.wait_for_received(settings.size(), std::chrono::seconds(5)), settings);
  sim_.clear_received();
  for (const char* text : kInjections) {
    SCOPED_TRACE(testing::PrintToString(std::string(text)));
    EXPECT_EQ(ZR48_SetAttributeViString(vi, "ch1", ZR48_ATTR_OUTP_TIM_DATA, text),
              IVI_ERROR_INVALID_PARAMETER);
    const ErrorInfo info = TakeErrorInfo(vi);
    EXPECT_EQ(info.secondary, VI_ERROR_PARAMETER4);
    EXPECT_EQ(info.elaboration, "Line feed or carriage return in the attribute value");
    EXPECT_EQ(ZR48_SetAttributeViString(vi, "", ZR48_ATTR_ESE, text), IVI_ERROR_INVALID_PARAMETER);
    (void)TakeErrorInfo(vi);
  }
  EXPECT_EQ(Sent(), "");
  // The refused value never became the attribute's: a read asks the instrument.
  EXPECT_EQ(ReadStringOk(vi, "ch1", ZR48_ATTR_OUTP_TIM_DATA), "+5.00000E+00\n");
  EXPECT_EQ(ReadStringOk(vi, "", ZR48_ATTR_ESE), "16\n");
}

// A command without a parameter ignores the written text, so nothing can be smuggled through it.
TEST_F(ScpiAttributeTest, ParameterlessCommandsIgnoreTheText) {
  const ViSession vi = OpenReal();
  EXPECT_EQ(ZR48_SetAttributeViString(vi, "", ZR48_ATTR_CLS, "x\n*RST"), VI_SUCCESS);
  EXPECT_EQ(Arrived(sim_, "*CLS\n"), "*CLS\n");
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
    EXPECT_EQ(ZR48_SetAttributeViString(vi_, "ch2", ZR48_ATTR_OUTP, "0"), LinkLost());
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
  ASSERT_EQ(SetIoTimeout(vi_, 200), VI_SUCCESS);
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
