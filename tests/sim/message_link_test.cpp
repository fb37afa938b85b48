// The message exchange that VXI-11 and HiSLIP servers drive: writes with and without END, reads
// of the output queue, MAV, -410, -420, device clear and trigger.

#include "zr48sim/message_link.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace zr48::sim {
namespace {

enum class Op { write, write_end, read, stb, clear, trigger };

struct Step {
  Op op;
  std::string bytes = {};  // write: what is sent; read: what must arrive
  std::size_t max = 0;     // read: request size
  bool end = false;        // read: END expected with the bytes
  int stb = 0;             // stb: expected status byte
};

Step write(std::string bytes) {
  return {Op::write, std::move(bytes)};
}
Step write_end(std::string bytes) {
  return {Op::write_end, std::move(bytes)};
}
Step read(std::size_t max, std::string bytes, bool end) {
  return {Op::read, std::move(bytes), max, end};
}
Step nothing_to_read() {
  return {Op::read, "", 100, false};
}
Step stb(int value) {
  return {Op::stb, "", 0, false, value};
}
Step clear() {
  return {Op::clear};
}
Step trigger() {
  return {Op::trigger};
}

struct Exchange {
  std::string name;
  std::vector<Step> steps;
  std::vector<int> errors;  // the error queue afterwards
  int esr = 0;
};

const std::string kIdn = "Velharn, HLV3907, 0123456789AF, 1.00-1.00\n";

const std::vector<Exchange>& exchanges() {
  static const std::vector<Exchange> all{
      {"ReplyWaitsWithMav",
       {stb(0), write_end("*IDN?\n"), stb(16), read(1000, kIdn, true), stb(0)},
       {},
       0},
      {"EndWithoutLineFeedEndsMessage", {write_end("*OPC?"), read(100, "1\n", true)}, {}, 0},
      {"LineFeedEndsMessageWithoutEnd", {write("*OPC?\n"), read(100, "1\n", true)}, {}, 0},
      {"MessageAcrossWrites",
       {write("VOL"), write("T?"), stb(0), write_end(""), read(100, "+0.00000E+00\n", true)},
       {},
       0},
      {"ReadInPieces",
       {write_end("*IDN?"), read(5, "Velha", false), stb(16), read(1000, kIdn.substr(5), true),
        nothing_to_read()},
       {-420},
       4},
      {"NewQueryInterruptsUnreadReply",
       {write_end("*IDN?\n"), write_end("*OPC?\n"), read(100, "1\n", true)},
       {-410},
       4},
      {"PartlyReadReplyIsInterrupted",
       {write_end("*IDN?\n"), read(3, "Vel", false), write_end("VOLT 1\n"), stb(4),
        nothing_to_read()},
       {-410, -420},
       4},
      {"TwoMessagesInOneWrite", {write_end("*IDN?\n*OPC?\n"), read(100, "1\n", true)}, {-410}, 4},
      {"CommandAfterReadReplyIsFine",
       {write_end("*OPC?\n"), read(100, "1\n", true), write_end("VOLT 1\n"), write_end("VOLT?\n"),
        read(100, "+1.00000E+00\n", true)},
       {},
       0},
      {"ReadWithNothingToSay", {nothing_to_read(), stb(4)}, {-420}, 4},
      {"ReadDuringUnendedMessage",
       {write("VOLT?"), nothing_to_read(), write_end(""), read(100, "+0.00000E+00\n", true)},
       {-420},
       4},
      {"ZeroByteReadTakesNothing",
       {write_end("*OPC?\n"), read(0, "", false), read(100, "1\n", true)},
       {},
       0},
      {"FailedQueryLeavesNothingToRead",
       {write_end("FOO?\n"), stb(4), nothing_to_read()},
       {-113, -420},
       32 | 4},
      {"MavRequestsService",
       {write_end("*SRE 16\n"), write_end("*OPC?\n"), stb(16 | 64), read(100, "1\n", true), stb(0)},
       {},
       0},
      {"DeviceClearEmptiesBothQueues",
       {write_end("*IDN?\n"), clear(), stb(0), write("VOLT 5"), clear(), write_end("*OPC?\n"),
        read(100, "1\n", true), write_end("VOLT?\n"), read(100, "+0.00000E+00\n", true)},
       {},
       0},
      {"DeviceClearKeepsStatus", {write_end("FOO\n"), clear(), stb(4)}, {-113}, 32},
      {"TriggerAppliesTriggeredLevels",
       {write_end("VOLT:TRIG 4\n"), trigger(), write_end("VOLT?\n"),
        read(100, "+4.00000E+00\n", true)},
       {},
       0},
      {"TriggerInterruptsUnreadReply",
       {write_end("*OPC?\n"), trigger(), stb(4), nothing_to_read()},
       {-410, -420},
       4},
      {"OverlongMessageIsDropped",
       {write(std::string(MessageLink::kMaxMessageBytes + 1, ' ')), write("*OPC?\n"),
        write_end("*OPC?\n"), read(100, "1\n", true)},
       {-363},
       8},
  };
  return all;
}

void PrintTo(const Exchange& exchange, std::ostream* os) {
  *os << exchange.name;
}

class MessageLinkTest : public ::testing::TestWithParam<Exchange> {};

TEST_P(MessageLinkTest, RepliesErrorsAndStatus) {
  Instrument instrument;
  instrument.execute("*CLS");  // the power-on event is not what these exchanges look at
  MessageLink link(instrument);
  int index = 0;
  for (const Step& step : GetParam().steps) {
    SCOPED_TRACE(testing::Message() << "step " << index++);
    switch (step.op) {
      case Op::write:
      case Op::write_end:
        link.write_message(step.bytes, step.op == Op::write_end);
        break;
      case Op::read: {
        const MessageLink::Response response = link.read_response(step.max);
        EXPECT_EQ(response.bytes, step.bytes);
        EXPECT_EQ(response.end, step.end);
        break;
      }
      case Op::stb:
        EXPECT_EQ(link.status_byte(), step.stb);
        break;
      case Op::clear:
        link.device_clear();
        break;
      case Op::trigger:
        link.trigger();
        break;
    }
  }
  std::vector<int> errors;
  for (int code; (code = std::stoi(instrument.execute("SYST:ERR?"))) != 0;) errors.push_back(code);
  EXPECT_EQ(errors, GetParam().errors);
  EXPECT_EQ(instrument.execute("*ESR?"), std::to_string(GetParam().esr) + "\n");
}

INSTANTIATE_TEST_SUITE_P(Sim, MessageLinkTest, ::testing::ValuesIn(exchanges()),
                         [](const auto& info) { return info.param.name; });

// Links share the instrument, each with its own output queue.
TEST(MessageLinkTest, EachLinkHasItsOwnOutputQueue) {
  Instrument instrument;
  MessageLink first(instrument);
  MessageLink second(instrument);
  first.write_message("*OPC?\n", true);
  second.write_message("VOLT 2\n", true);
  EXPECT_EQ(second.status_byte() & 16, 0);
  EXPECT_EQ(first.read_response(100).bytes, "1\n");
  second.write_message("VOLT?\n", true);
  EXPECT_EQ(second.read_response(100).bytes, "+2.00000E+00\n");
  EXPECT_EQ(instrument.execute("SYST:ERR?"), "0,\"No error\"\n");
}

}  // namespace
}  // namespace zr48::sim
