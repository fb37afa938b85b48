// Status, event and condition registers change on the instrument by themselves (event registers
// clear when read): every read asks, also with caching on. Settings keep the cache.
#include <gtest/gtest.h>

#include <string>

#include "attribute_io.h"
#include "sim_session.h"

namespace zr48::test {
namespace {

struct VolatileRow {
  ViAttr id;
  const char* query;
};

const VolatileRow kVolatile[] = {
    {ZR48_ATTR_ESR, "*ESR?\n"},
    {ZR48_ATTR_OPC, "*OPC?\n"},
    {ZR48_ATTR_STB, "*STB?\n"},
    {ZR48_ATTR_TST, "*TST?\n"},
    {ZR48_ATTR_STAT_QUES, "STAT:QUES?\n"},
    {ZR48_ATTR_STAT_QUES_COND, "STAT:QUES:COND?\n"},
    {ZR48_ATTR_STAT_QUES_INST, "STAT:QUES:INST?\n"},
    {ZR48_ATTR_STAT_QUES_INST_ISUM1, "STAT:QUES:INST:ISUM1?\n"},
    {ZR48_ATTR_STAT_QUES_INST_ISUM1_COND, "STAT:QUES:INST:ISUM1:COND?\n"},
    {ZR48_ATTR_STAT_QUES_INST_ISUM2, "STAT:QUES:INST:ISUM2?\n"},
    {ZR48_ATTR_STAT_QUES_INST_ISUM2_COND, "STAT:QUES:INST:ISUM2:COND?\n"},
    {ZR48_ATTR_STAT_QUES_INST_ISUM3, "STAT:QUES:INST:ISUM3?\n"},
    {ZR48_ATTR_STAT_QUES_INST_ISUM3_COND, "STAT:QUES:INST:ISUM3:COND?\n"},
    {ZR48_ATTR_STAT_OPER, "STAT:OPER?\n"},
    {ZR48_ATTR_STAT_OPER_COND, "STAT:OPER:COND?\n"},
    {ZR48_ATTR_STAT_OPER_INST, "STAT:OPER:INST?\n"},
    {ZR48_ATTR_STAT_OPER_INST_ISUM1, "STAT:OPER:INST:ISUM1?\n"},
    {ZR48_ATTR_STAT_OPER_INST_ISUM1_COND, "STAT:OPER:INST:ISUM1:COND?\n"},
    {ZR48_ATTR_STAT_OPER_INST_ISUM2, "STAT:OPER:INST:ISUM2?\n"},
    {ZR48_ATTR_STAT_OPER_INST_ISUM2_COND, "STAT:OPER:INST:ISUM2:COND?\n"},
    {ZR48_ATTR_STAT_OPER_INST_ISUM3, "STAT:OPER:INST:ISUM3?\n"},
    {ZR48_ATTR_STAT_OPER_INST_ISUM3_COND, "STAT:OPER:INST:ISUM3:COND?\n"},
};

using VolatileAttributeTest = SimSessionTest;

TEST_F(VolatileAttributeTest, EveryReadOfAStatusQueryAsksTheInstrument) {
  OpenReal();  // caching is on by default
  for (const VolatileRow& row : kVolatile) {
    SCOPED_TRACE(row.query);
    sim_.clear_received();
    sim_.push_reply("1\n");
    sim_.push_reply("2\n");
    EXPECT_EQ(ReadStringOk(vi_, "", row.id), "1\n");
    EXPECT_EQ(ReadStringOk(vi_, "", row.id), "2\n");
    const std::string sent = std::string(row.query) + row.query;
    EXPECT_EQ(Arrived(sim_, sent), sent);
  }
}

// The event status register clears when read: the second read sees the cleared register.
TEST_F(VolatileAttributeTest, AnEventRegisterReadsClearedTheSecondTime) {
  OpenReal();
  ASSERT_EQ(ZR48_WriteCmd(vi_, "NO:SUCH:COMMAND"), VI_SUCCESS);  // sets the command-error bit
  const std::string first = ReadStringOk(vi_, "", ZR48_ATTR_ESR);
  EXPECT_NE(std::stoi(first) & 32, 0) << first;  // command error
  EXPECT_EQ(ReadStringOk(vi_, "", ZR48_ATTR_ESR), "0\n");
}

TEST_F(VolatileAttributeTest, SettingsAreStillServedFromTheCache) {
  OpenReal();
  for (const auto& [id, channel] :
       {std::pair{ZR48_ATTR_ESE, ""}, std::pair{ZR48_ATTR_STAT_QUES_ENAB, ""},
        std::pair{ZR48_ATTR_STAT_OPER_INST_ISUM2_ENAB, ""}, std::pair{ZR48_ATTR_OUTP, "ch2"}}) {
    SCOPED_TRACE(id);
    sim_.clear_received();
    sim_.push_reply("1\n");
    EXPECT_EQ(ReadStringOk(vi_, channel, id), "1\n");
    EXPECT_EQ(ReadStringOk(vi_, channel, id), "1\n");
    EXPECT_EQ(Count(Sent(), "?"), 1u);
  }
}

}  // namespace
}  // namespace zr48::test
