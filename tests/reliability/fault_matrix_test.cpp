// The fault matrix: each kind of exchange with the instrument against each fault the simulator
// can inject. Every case must return the status its function defines and record it where the
// function records errors, come back within the time-out plus a margin, leak no descriptor, and
// leave the session usable: after a lost connection every call reports VI_ERROR_CONN_LOST until
// the session is closed; after any other fault the next exchange gets its own, correct reply.
//
// Each case prints how long the faulty call took; run the binary directly to get the whole table.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "ZR48.h"
#include "engine/ivi_engine.h"
#include "visa/visa.h"
#include "zr48sim/server.h"

namespace zr48::test {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr ViUInt32 kTimeoutMs = 150;       // the session time-out set for the faulty call
constexpr ViUInt32 kInitTimeoutMs = 5000;  // initialisation configures its own
constexpr milliseconds kHangMargin{2000};  // hang guard on top of the time-out, not a speed test
constexpr milliseconds kSlowBy{250};       // how much later than the time-out a slow reply comes

// Where a function records a failure: nowhere (it only returns it), in the session's error
// information, or on the calling thread (initialisation, which has no session yet).
enum class Records { kNothing, kSession, kThread };

// What one exchange produced.
struct Outcome {
  ViStatus status = VI_SUCCESS;
  std::string reply;  // the text handed back (empty for commands)
};

// One kind of exchange: how many lines it sends, whether it reads a reply, and how to run it.
struct ExchangeKind {
  const char* name;
  std::size_t lines;
  bool has_reply;
  Records records;
  // Runs the exchange on `vi`. Initialisation opens the session instead and returns it in `vi`.
  Outcome (*run)(ViSession& vi, const std::string& resource);
};

Outcome Command(ViSession& vi, const std::string&) {
  return {ZR48_SetVoltage(vi, "1.5", "ch1"), ""};
}

Outcome WordQuery(ViSession& vi, const std::string&) {
  ViChar reply[512] = {};
  const ViStatus status = ZR48_GetVoltage(vi, "", reply, "ch1");
  return {status, reply};
}

Outcome RawQuery(ViSession& vi, const std::string&) {
  ViChar reply[512] = {};
  const ViStatus status = ZR48_ReadCmd(vi, "VOLT?", reply);
  return {status, reply};
}

Outcome ApplyQuery(ViSession& vi, const std::string&) {
  ViChar reply[512] = {};
  const ViStatus status = ZR48_GetApply(vi, "", reply);
  return {status, reply};
}

Outcome AttributeRead(ViSession& vi, const std::string&) {
  ViChar reply[512] = {};
  (void)ZR48_InvalidateAllAttributes(vi);  // so that the engine asks the instrument
  const ViStatus status = ZR48_GetAttributeViString(vi, "", ZR48_ATTR_ESE, sizeof reply, reply);
  return {status, reply};
}

Outcome AttributeWrite(ViSession& vi, const std::string&) {
  (void)ZR48_InvalidateAllAttributes(vi);  // so that the engine writes, whatever it cached
  return {ZR48_SetAttributeViString(vi, "", ZR48_ATTR_ESE, "0"), ""};
}

Outcome SelfTest(ViSession& vi, const std::string&) {
  ViInt16 result = -1;
  ViChar message[256] = {};
  const ViStatus status = ZR48_self_test(vi, &result, message);
  return {status, std::to_string(result) + ":" + message};
}

Outcome ErrorQuery(ViSession& vi, const std::string&) {
  ViInt32 code = -1;
  ViChar message[256] = {};
  const ViStatus status = ZR48_error_query(vi, &code, message);
  return {status, std::to_string(code) + ":" + message};
}

Outcome Init(ViSession& vi, const std::string& resource) {
  std::string name = resource;
  vi = VI_NULL;
  const ViStatus status = ZR48_InitWithOptions(name.data(), VI_TRUE, VI_TRUE, "", &vi);
  return {status, ""};
}

const ExchangeKind kExchanges[] = {
    {"command", 2, false, Records::kNothing, Command},
    {"word_query", 2, true, Records::kNothing, WordQuery},
    {"raw_query", 1, true, Records::kNothing, RawQuery},
    {"apply_query", 1, true, Records::kNothing, ApplyQuery},
    {"attribute_read", 1, true, Records::kSession, AttributeRead},
    {"attribute_write", 1, false, Records::kSession, AttributeWrite},
    {"self_test", 1, true, Records::kSession, SelfTest},
    {"error_query", 1, true, Records::kSession, ErrorQuery},
    {"init", 2, true, Records::kThread, Init},  // "*RST", then "*IDN?"
};

enum class Fault {
  kDropBefore,      // the instrument is gone before the call
  kDropOnLastLine,  // the connection closes when the exchange's last line arrives, unanswered
  kDropMidReply,    // the first bytes of the reply arrive, then the connection closes
  kDropAfter,       // the call completes, then the instrument goes away
  kSlow,            // the reply comes later than the time-out
  kReply511,        // replies of these sizes, line feed included
  kReply512,
  kReply4000,
  kReply65536,
  kNoTerminator,  // a reply without its line feed
  kBinary,        // every byte value in the reply
  kExtraLine,     // an unasked-for second line after the reply (stale bytes for the next call)
};

struct FaultKind {
  Fault fault;
  const char* name;
  bool needs_reply;  // only meaningful for exchanges that read a reply
  bool loses_connection;
};

const FaultKind kFaults[] = {
    {Fault::kDropBefore, "drop_before", false, true},
    {Fault::kDropOnLastLine, "drop_on_last_line", false, true},
    {Fault::kDropMidReply, "drop_mid_reply", true, true},
    {Fault::kDropAfter, "drop_after", false, true},
    {Fault::kSlow, "slow", true, false},
    {Fault::kReply511, "reply_511", true, false},
    {Fault::kReply512, "reply_512", true, false},
    {Fault::kReply4000, "reply_4000", true, false},
    {Fault::kReply65536, "reply_65536", true, false},
    {Fault::kNoTerminator, "no_terminator", true, false},
    {Fault::kBinary, "binary", true, false},
    {Fault::kExtraLine, "extra_line", true, false},
};

struct Case {
  const ExchangeKind* exchange;
  const FaultKind* fault;
};

std::vector<Case> AllCases() {
  std::vector<Case> cases;
  for (const ExchangeKind& exchange : kExchanges) {
    for (const FaultKind& fault : kFaults) {
      if (fault.needs_reply && !exchange.has_reply) continue;
      cases.push_back({&exchange, &fault});
    }
  }
  return cases;
}

// A reply of `size` bytes, line feed included. Initialisation must still recognise it: it begins
// with the expected identification, which is compared as a prefix.
std::string LongReply(const ExchangeKind& exchange, std::size_t size) {
  std::string text = exchange.records == Records::kThread
                         ? std::string("Velharn, HLV3907, 0123456789AF, 1.00-1.00")
                         : std::string("7");
  text.resize(size - 1, 'x');
  return text + "\n";
}

std::string BinaryReply() {
  std::string bytes;
  for (int value = 0; value < 256; ++value) {
    if (value != '\n') bytes.push_back(static_cast<char>(value));
  }
  return bytes + "\n";
}

std::size_t OpenDescriptors() {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    ++count;
  }
  return count;
}

// The figures of every case run in this process, printed at the end.
struct Figure {
  std::string name;
  ViStatus status;
  double milliseconds;
};
std::mutex figures_mutex;
std::vector<Figure>& Figures() {
  static std::vector<Figure> figures;
  return figures;
}

class FiguresPrinter : public ::testing::Environment {
 public:
  void TearDown() override {
    const std::lock_guard lock(figures_mutex);
    if (Figures().empty()) return;
    std::printf("\nfault matrix: %zu cases\n%-36s %-12s %s\n", Figures().size(), "case", "status",
                "ms");
    for (const Figure& figure : Figures()) {
      std::printf("%-36s 0x%08X %8.1f\n", figure.name.c_str(), static_cast<unsigned>(figure.status),
                  figure.milliseconds);
    }
  }
};
const auto* const kPrinter = ::testing::AddGlobalTestEnvironment(new FiguresPrinter);

class FaultMatrix : public ::testing::TestWithParam<Case> {
 protected:
  void SetUp() override {
    descriptors_before_ = OpenDescriptors();
    sim_ = std::make_unique<zr48::sim::Server>();
    resource_ = sim_->resource();
    sim_->set_idn("Velharn, HLV3907, 0123456789AF, 1.00-1.00");
  }

  void TearDown() override {
    if (vi_ != VI_NULL) {
      EXPECT_EQ(ZR48_close(vi_), VI_SUCCESS);
    }
    vi_ = VI_NULL;
    sim_.reset();
    EXPECT_EQ(OpenDescriptors(), descriptors_before_) << "a descriptor leaked";
  }

  void OpenSession() {
    ASSERT_EQ(ZR48_InitWithOptions(resource_.data(), VI_FALSE, VI_FALSE, "", &vi_), VI_SUCCESS);
    ASSERT_EQ(viSetAttribute(Ivi_IOSession(vi_), VI_ATTR_TMO_VALUE, kTimeoutMs), VI_SUCCESS);
  }

  // Sets the fault up just before the call.
  void Inject(const ExchangeKind& exchange, Fault fault) {
    switch (fault) {
      case Fault::kDropBefore:
        sim_.reset();
        break;
      case Fault::kDropOnLastLine:
        sim_->close_after_lines(exchange.lines);
        break;
      case Fault::kDropMidReply:
        sim_->close_mid_reply(1);
        break;
      case Fault::kDropAfter:
        break;
      case Fault::kSlow:
        sim_->set_reply_delay(milliseconds(TimeoutOf(exchange)) + kSlowBy);
        break;
      case Fault::kReply511:
      case Fault::kReply512:
      case Fault::kReply4000:
      case Fault::kReply65536: {
        const std::size_t size = fault == Fault::kReply511    ? 511
                                 : fault == Fault::kReply512  ? 512
                                 : fault == Fault::kReply4000 ? 4000
                                                              : 65536;
        PushForEveryQuery(exchange, LongReply(exchange, size));
        break;
      }
      case Fault::kNoTerminator:
        PushForEveryQuery(exchange, "7");
        break;
      case Fault::kBinary:
        PushForEveryQuery(exchange, BinaryReply());
        break;
      case Fault::kExtraLine:
        PushForEveryQuery(exchange, "7\nstale\n");
        break;
    }
  }

  // The self-test may ask twice; both answers are the faulty one.
  void PushForEveryQuery(const ExchangeKind& exchange, const std::string& reply) {
    sim_->push_reply(reply);
    if (std::string(exchange.name) == "self_test") sim_->push_reply(reply);
  }

  static ViUInt32 TimeoutOf(const ExchangeKind& exchange) {
    return exchange.records == Records::kThread ? kInitTimeoutMs : kTimeoutMs;
  }

  // The error information the function left where it records: must be `status` where it records
  // failures, nothing where it only returns them.
  // A connection found closed while stale input is discarded is reported (and recorded) by the
  // exchange's first transfer, like any other loss.
  void ExpectRecorded(const ExchangeKind& exchange, ViSession vi, ViStatus status) {
    ViStatus primary = VI_SUCCESS;
    ViChar text[1024] = {};
    const ViSession where = exchange.records == Records::kThread ? VI_NULL : vi;
    ASSERT_GE(ZR48_GetError(where, &primary, sizeof text, text), VI_SUCCESS);
    if (status < 0 && exchange.records != Records::kNothing) {
      EXPECT_EQ(primary, status) << "failure not recorded: " << text;
    } else if (exchange.records == Records::kNothing) {
      EXPECT_EQ(primary, VI_SUCCESS) << "a non-recording function recorded: " << text;
    }
  }

  std::unique_ptr<zr48::sim::Server> sim_;
  std::string resource_;
  ViSession vi_ = VI_NULL;
  std::size_t descriptors_before_ = 0;
};

TEST_P(FaultMatrix, DefinedStatusNoHangSessionRecovers) {
  const ExchangeKind& exchange = *GetParam().exchange;
  const FaultKind& fault = *GetParam().fault;
  const bool is_init = exchange.records == Records::kThread;

  // A healthy run first: the reply every later exchange must get again.
  if (!is_init) OpenSession();
  Outcome baseline;
  if (!is_init) {
    baseline = exchange.run(vi_, resource_);
    ASSERT_EQ(baseline.status, VI_SUCCESS);
  }
  (void)ZR48_ClearError(VI_NULL);
  if (vi_ != VI_NULL) (void)ZR48_ClearError(vi_);

  if (fault.fault == Fault::kDropAfter) {
    // The exchange itself succeeds; the instrument goes away afterwards.
    ViSession vi = vi_;
    const Outcome outcome = exchange.run(vi, resource_);
    ASSERT_EQ(outcome.status, VI_SUCCESS);
    if (is_init) vi_ = vi;
    sim_.reset();
  } else {
    Inject(exchange, fault.fault);
  }

  // The faulty call (after a drop, the first call that finds the connection gone).
  ViSession vi = vi_;
  const auto start = Clock::now();
  const Outcome outcome = is_init && fault.fault == Fault::kDropAfter ? RawQuery(vi, resource_)
                                                                      : exchange.run(vi, resource_);
  const auto elapsed = std::chrono::duration<double, std::milli>(Clock::now() - start);
  if (is_init && fault.fault != Fault::kDropAfter) vi_ = vi;
  {
    const std::lock_guard lock(figures_mutex);
    Figures().push_back(
        {std::string(exchange.name) + "/" + fault.name, outcome.status, elapsed.count()});
  }
  std::printf("%s/%s: status 0x%08X in %.1f ms\n", exchange.name, fault.name,
              static_cast<unsigned>(outcome.status), elapsed.count());
  EXPECT_LT(elapsed, milliseconds(TimeoutOf(exchange)) + kHangMargin) << "hang guard";

  if (fault.loses_connection) {
    // A clear error on this and every later call until the session is closed.
    if (is_init && fault.fault != Fault::kDropAfter) {
      EXPECT_LT(outcome.status, 0);
      EXPECT_EQ(vi_, VI_NULL) << "a failed initialisation returned a session";
      ExpectRecorded(exchange, VI_NULL, outcome.status);
      return;
    }
    const ExchangeKind& probe = is_init ? kExchanges[2] : exchange;
    if (!exchange.has_reply && fault.fault == Fault::kDropOnLastLine) {
      // A command needs no answer: its last line was handed to the connection before the
      // instrument closed it, and only the next exchange can find the connection gone. Give
      // the simulator time to close it (synchronisation, not a timed assertion).
      std::this_thread::sleep_for(milliseconds(50));
    } else {
      EXPECT_EQ(outcome.status, VI_ERROR_CONN_LOST);
      ExpectRecorded(is_init ? probe : exchange, vi_, outcome.status);
    }
    for (int again = 0; again < 3; ++again) {
      ViSession same = vi_;
      EXPECT_EQ(probe.run(same, resource_).status, VI_ERROR_CONN_LOST) << "call " << again;
    }
    return;
  }

  // Faults that leave the connection up: a defined status, recorded where defined ...
  if (outcome.status < 0) {
    EXPECT_TRUE(outcome.status == VI_ERROR_TMO || outcome.status == VI_ERROR_FAIL_ID_QUERY ||
                outcome.status == VI_ERROR_INV_RESPONSE || outcome.status == VI_ERROR_INV_FMT)
        << "status 0x" << std::hex << outcome.status;
    ExpectRecorded(exchange, is_init ? VI_NULL : vi_, outcome.status);
  }
  if (is_init) {
    if (vi_ == VI_NULL) {
      OpenSession();
    } else {
      ASSERT_EQ(viSetAttribute(Ivi_IOSession(vi_), VI_ATTR_TMO_VALUE, kTimeoutMs), VI_SUCCESS);
    }
  }
  // ... and once the instrument answers normally again, the next exchange gets its own reply,
  // not the rest of the faulty one.
  sim_->reset_faults();
  if (fault.fault == Fault::kSlow) {
    std::this_thread::sleep_for(kSlowBy + milliseconds(50));  // the late reply has come by now
  }
  ViSession same = vi_;
  const ExchangeKind& next = is_init ? kExchanges[2] : exchange;
  const Outcome again = next.run(same, resource_);
  EXPECT_EQ(again.status, VI_SUCCESS);
  if (!is_init) {
    EXPECT_EQ(again.reply, baseline.reply) << "the next exchange read stale bytes";
  }
  ViChar identification[512] = {};
  EXPECT_EQ(ZR48_ReadCmd(vi_, "*IDN?", identification), VI_SUCCESS);
  EXPECT_EQ(std::string(identification), "Velharn, HLV3907, 0123456789AF, 1.00-1.00\n");
}

std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
  return std::string(info.param.exchange->name) + "_" + info.param.fault->name;
}

INSTANTIATE_TEST_SUITE_P(EveryExchangeAndFault, FaultMatrix, ::testing::ValuesIn(AllCases()),
                         CaseName);

}  // namespace
}  // namespace zr48::test
