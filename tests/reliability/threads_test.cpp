// Threads on one session and sessions in parallel, against the simulated supply.
//
// Each worker owns one channel and knows the exact bytes each of its exchanges sends, so the
// simulator's per-connection record must be an interleaving of whole exchanges: every block starts
// with the worker's own "INST chN" line and is followed by exactly the rest of that exchange. A
// query's reply must be the owner's own value, and the instrument's final state must be what the
// workers' command sequences leave behind. Nothing may be lost, repeated or mixed.
//
// ZR48_THREAD_OPS overrides the operations per worker (default 240) for longer runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ZR48.h"
#include "engine/ivi_engine.h"
#include "zr48sim/server.h"

namespace {

constexpr double kVoltStep = 0.001;  // VOLT:UP increment each worker programs first
constexpr double kTolerance = 5e-5;  // the supply answers with six significant digits

int OperationsPerWorker() {
  const char* text = std::getenv("ZR48_THREAD_OPS");
  const int value = text != nullptr ? std::atoi(text) : 0;
  return value > 0 ? value : 240;
}

std::string Trimmed(const char* text) {
  std::string s(text);
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
  return s;
}

// One worker's channel, its expected exchanges and the state its commands should leave.
class Worker {
 public:
  Worker(ViSession vi, int channel, bool simulated)
      : vi_(vi), channel_(channel), simulated_(simulated), name_("ch" + std::to_string(channel)) {}

  void Run(int operations) {
    Expect(ZR48_SetVoltStep(vi_, "0.001", name_.c_str()), Select() + "VOLT:STEP 0.001\n");
    for (int i = 0; i < operations; ++i) Operation(i);
  }

  // Exchanges in the order this worker made them, each the exact bytes it sent.
  const std::vector<std::string>& blocks() const { return blocks_; }
  const std::vector<std::string>& failures() const { return failures_; }
  const std::string& name() const { return name_; }
  double volt() const { return volt_; }
  bool output() const { return output_; }
  int ups() const { return ups_; }
  int exchanges() const { return static_cast<int>(blocks_.size()); }

 private:
  std::string Select() const { return "INST " + name_ + "\n"; }

  // Levels 0.5 V apart per channel, so a reply names the channel it came from.
  std::string Level(int i) const {
    std::array<char, 32> text{};
    std::snprintf(text.data(), text.size(), "%.4f", 0.5 * channel_ + 0.0001 * (i % 1000));
    return text.data();
  }

  void Operation(int i) {
    switch (i % 6) {
      case 0: {  // instrument function, command
        const std::string level = Level(i);
        Expect(ZR48_SetVoltage(vi_, level.c_str(), name_.c_str()),
               Select() + "VOLT " + level + "\n");
        volt_ = std::stod(level);
        break;
      }
      case 1:  // instrument function without an argument
        Expect(ZR48_SetVoltUp(vi_, name_.c_str()), Select() + "VOLT:UP\n");
        Step();
        break;
      case 2: {  // instrument function, query
        Reply reply;
        Expect(ZR48_GetVoltage(vi_, "", reply.data(), name_.c_str()), Select() + "VOLT? \n");
        CheckVolt(reply);
        break;
      }
      case 3: {  // attribute write on a channel
        const bool on = !output_;
        Expect(ZR48_SetAttributeViString(vi_, name_.c_str(), ZR48_ATTR_OUTP, on ? "ON" : "OFF"),
               Select() + (on ? "OUTP ON\n" : "OUTP OFF\n"));
        output_ = on;
        break;
      }
      case 4: {  // attribute read on a channel
        Reply reply;
        Expect(ZR48_GetAttributeViString(vi_, name_.c_str(), ZR48_ATTR_OUTP, 512, reply.data()),
               Select() + "OUTP?\n");
        if (!simulated_ && Trimmed(reply.data()) != (output_ ? "1" : "0")) {
          Fail("OUTP? answered '" + Trimmed(reply.data()) + "'");
        }
        break;
      }
      default:
        LockedSequence();
        break;
    }
  }

  // Four calls under a lock held across them: the selection this worker makes must still be in
  // force when it asks for it.
  void LockedSequence() {
    ViBoolean has_lock = VI_FALSE;
    if (ZR48_LockSession(vi_, &has_lock) != VI_SUCCESS || has_lock != VI_TRUE) {
      Fail("LockSession failed");
      return;
    }
    std::string block = Select();
    bool ok = ZR48_SetChannel(vi_, name_.c_str()) == VI_SUCCESS;
    Reply channel;
    block += "INST?\n";
    ok = ZR48_GetChannel(vi_, channel.data()) == VI_SUCCESS && ok;
    block += Select() + "VOLT:UP\n";
    ok = ZR48_SetVoltUp(vi_, name_.c_str()) == VI_SUCCESS && ok;
    Step();
    Reply volt;
    block += Select() + "VOLT? \n";
    ok = ZR48_GetVoltage(vi_, "", volt.data(), name_.c_str()) == VI_SUCCESS && ok;
    if (ZR48_UnlockSession(vi_, &has_lock) != VI_SUCCESS || has_lock != VI_FALSE) {
      Fail("UnlockSession failed");
    }
    if (!ok) Fail("a call in the locked sequence failed");
    if (!simulated_) {
      std::string upper = name_;
      std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
      if (Trimmed(channel.data()) != upper)
        Fail("INST? answered '" + Trimmed(channel.data()) + "'");
      CheckVolt(volt);
    }
    blocks_.push_back(std::move(block));
  }

  // A reply buffer whose sentinel shows whether a simulated session wrote to it.
  struct Reply {
    std::array<ViChar, 512> bytes{};
    Reply() {
      bytes.fill('\x5a');
      bytes.back() = '\0';
    }
    ViChar* data() { return bytes.data(); }
  };

  void Step() {
    volt_ += kVoltStep;
    ++ups_;
  }

  void CheckVolt(Reply& reply) {
    if (simulated_) {
      if (reply.bytes[0] != '\x5a') Fail("a simulated query wrote to the reply buffer");
      return;
    }
    const double value = std::atof(reply.data());
    if (std::fabs(value - volt_) > kTolerance) {
      Fail("VOLT? answered " + Trimmed(reply.data()) + ", expected " + std::to_string(volt_));
    }
  }

  void Expect(ViStatus status, std::string block) {
    if (status != VI_SUCCESS) Fail("status " + std::to_string(status) + " for " + block);
    blocks_.push_back(std::move(block));
  }

  void Fail(std::string what) { failures_.push_back(name_ + ": " + std::move(what)); }

  ViSession vi_;
  int channel_;
  bool simulated_;
  std::string name_;
  double volt_ = 0.0;
  bool output_ = false;
  int ups_ = 0;
  std::vector<std::string> blocks_;
  std::vector<std::string> failures_;
};

// A simulated supply with one driver session on it.
struct Rig {
  explicit Rig(const std::string& options = "Cache=0, QueryInstrStatus=0") {
    std::string resource = server.resource();
    status = ZR48_InitWithOptions(resource.data(), VI_FALSE, VI_FALSE, options.c_str(), &vi);
    server.clear_received();
  }
  ~Rig() {
    if (vi != VI_NULL) ZR48_close(vi);
  }
  Rig(const Rig&) = delete;
  Rig& operator=(const Rig&) = delete;

  zr48::sim::Server server;
  ViSession vi = VI_NULL;
  ViStatus status = IVI_ERROR_INVALID_SESSION_HANDLE;  // until init says otherwise
};

// Runs the workers, one thread each, and returns when all are done.
void RunAll(std::vector<std::unique_ptr<Worker>>& workers, int operations) {
  std::atomic<int> ready{0};
  std::vector<std::thread> threads;
  for (auto& worker : workers) {
    threads.emplace_back([&, w = worker.get()] {
      // Start together so that the workers really contend.
      ready.fetch_add(1);
      while (ready.load() < static_cast<int>(workers.size())) std::this_thread::yield();
      w->Run(operations);
    });
  }
  for (std::thread& thread : threads) thread.join();
}

// Checks that `received` is exactly the workers' exchanges, each whole, in each worker's order.
// Returns the first problem, or "" when the record matches.
std::string CheckRecord(const std::string& received, const std::vector<Worker*>& workers) {
  std::vector<std::size_t> next(workers.size(), 0);
  std::size_t pos = 0;
  while (pos < received.size()) {
    const std::size_t eol = received.find('\n', pos);
    const std::string first = received.substr(pos, eol == std::string::npos ? eol : eol - pos + 1);
    auto owner = std::find_if(workers.begin(), workers.end(),
                              [&](const Worker* w) { return first == "INST " + w->name() + "\n"; });
    if (owner == workers.end()) {
      return "byte " + std::to_string(pos) + ": '" + first + "' starts no worker's exchange";
    }
    const auto index = static_cast<std::size_t>(owner - workers.begin());
    const auto& blocks = (*owner)->blocks();
    if (next[index] == blocks.size()) return "byte " + std::to_string(pos) + ": an extra exchange";
    const std::string& block = blocks[next[index]];
    if (received.compare(pos, block.size(), block) != 0) {
      return "byte " + std::to_string(pos) + ": expected '" + block + "', got '" +
             received.substr(pos, block.size()) + "'";
    }
    pos += block.size();
    ++next[index];
  }
  for (std::size_t i = 0; i < workers.size(); ++i) {
    if (next[i] != workers[i]->blocks().size()) {
      return workers[i]->name() + ": " + std::to_string(workers[i]->blocks().size() - next[i]) +
             " exchanges lost";
    }
  }
  return "";
}

// The instrument's final state must be what each worker's commands left: its last level plus
// every step since, and its output state.
void ExpectFinalState(zr48::sim::Server& server, const std::vector<Worker*>& workers) {
  for (const Worker* w : workers) {
    const double volt = std::atof(server.execute("INST " + w->name() + ";VOLT?").c_str());
    EXPECT_NEAR(volt, w->volt(), kTolerance) << w->name();
    EXPECT_EQ(server.execute("INST " + w->name() + ";OUTP?"), w->output() ? "1\n" : "0\n")
        << w->name();
  }
}

void ExpectNoFailures(const std::vector<std::unique_ptr<Worker>>& workers) {
  for (const auto& w : workers) {
    EXPECT_TRUE(w->failures().empty())
        << w->failures().size() << " failures, first: " << w->failures().front();
  }
}

// A command needs no answer, so a worker's last commands may still be on their way when it
// returns: wait (bounded) until every byte the workers sent has reached the simulator.
void AwaitArrival(const zr48::sim::Server& server, const std::vector<Worker*>& workers) {
  std::size_t sent = 0;
  for (const Worker* w : workers) {
    for (const std::string& block : w->blocks()) sent += block.size();
  }
  (void)server.wait_for_received(sent, std::chrono::seconds(5));
}

int TotalExchanges(const std::vector<std::unique_ptr<Worker>>& workers) {
  int total = 0;
  for (const auto& w : workers) total += w->exchanges();
  return total;
}

TEST(Threads, SevenThreadsOnOneSessionLoseAndMixNothing) {
  Rig rig;
  ASSERT_EQ(rig.status, VI_SUCCESS);
  const int operations = OperationsPerWorker();
  std::vector<std::unique_ptr<Worker>> workers;
  for (int channel = 1; channel <= 7; ++channel) {
    workers.push_back(std::make_unique<Worker>(rig.vi, channel, false));
  }
  RunAll(workers, operations);
  ExpectNoFailures(workers);

  std::vector<Worker*> view;
  for (auto& w : workers) view.push_back(w.get());
  AwaitArrival(rig.server, view);
  EXPECT_EQ(CheckRecord(rig.server.received(), view), "");
  ExpectFinalState(rig.server, view);
  std::printf("threads: 7 threads x %d operations on one session: %d exchanges, none lost\n",
              operations, TotalExchanges(workers));
}

TEST(Threads, SessionsInParallelEachKeepTheirOwnTraffic) {
  constexpr int kSessions = 4;
  constexpr int kThreadsPerSession = 2;
  const int operations = OperationsPerWorker();
  std::vector<std::unique_ptr<Rig>> rigs;
  std::vector<std::unique_ptr<Worker>> workers;
  for (int s = 0; s < kSessions; ++s) {
    rigs.push_back(std::make_unique<Rig>());
    ASSERT_EQ(rigs.back()->status, VI_SUCCESS);
    for (int channel = 1; channel <= kThreadsPerSession; ++channel) {
      // Sessions use different channels too, so that crossed connections would show.
      const int spread = (s * kThreadsPerSession + channel - 1) % 7 + 1;
      workers.push_back(std::make_unique<Worker>(rigs.back()->vi, spread, false));
    }
  }
  RunAll(workers, operations);
  ExpectNoFailures(workers);

  for (int s = 0; s < kSessions; ++s) {
    std::vector<Worker*> view;
    for (int t = 0; t < kThreadsPerSession; ++t) {
      view.push_back(workers[static_cast<std::size_t>(s * kThreadsPerSession + t)].get());
    }
    AwaitArrival(rigs[s]->server, view);
    const std::vector<std::string> connections = rigs[s]->server.received_by_connection();
    ASSERT_EQ(connections.size(), 1u) << "session " << s;
    EXPECT_EQ(CheckRecord(connections[0], view), "") << "session " << s;
    ExpectFinalState(rigs[s]->server, view);
  }
  std::printf("threads: %d sessions x %d threads x %d operations: %d exchanges, none lost\n",
              kSessions, kThreadsPerSession, operations, TotalExchanges(workers));
}

TEST(Threads, SimulatedSessionsInParallelSendNothingAndTouchNoBuffer) {
  constexpr int kSessions = 3;
  constexpr int kThreadsPerSession = 2;
  zr48::sim::Server server;
  std::vector<std::unique_ptr<Worker>> workers;
  std::vector<ViSession> sessions;
  for (int s = 0; s < kSessions; ++s) {
    ViSession vi = VI_NULL;
    std::string resource = server.resource();
    ASSERT_EQ(ZR48_InitWithOptions(resource.data(), VI_FALSE, VI_FALSE, "Simulate=1", &vi),
              VI_SUCCESS);
    sessions.push_back(vi);
    for (int channel = 1; channel <= kThreadsPerSession; ++channel) {
      workers.push_back(std::make_unique<Worker>(vi, channel, true));
    }
  }
  const int operations = OperationsPerWorker();
  RunAll(workers, operations);
  ExpectNoFailures(workers);
  for (ViSession vi : sessions) EXPECT_EQ(ZR48_close(vi), VI_SUCCESS);
  EXPECT_EQ(server.connection_count(), 0u);
  EXPECT_EQ(server.received(), "");
}

// Closing a session while other threads use it: calls already inside finish whole, every call
// after the close fails cleanly, and the simulator saw only whole exchanges.
TEST(Threads, CloseWhileOtherThreadsUseTheSession) {
  Rig rig;
  ASSERT_EQ(rig.status, VI_SUCCESS);
  constexpr int kThreads = 4;
  std::atomic<int> calls{0};
  std::atomic<bool> closed{false};
  std::atomic<int> failures_after_close{0};
  std::atomic<int> successes_after_close{0};
  std::vector<std::thread> threads;
  for (int t = 1; t <= kThreads; ++t) {
    threads.emplace_back([&, t] {
      const std::string name = "ch" + std::to_string(t);
      std::array<ViChar, 512> reply{};
      // Keep going until the close is seen and a few more calls have failed.
      for (int after = 0; after < 20;) {
        const bool was_closed = closed.load();
        const ViStatus status = (calls.fetch_add(1) % 2 == 0)
                                    ? ZR48_SetVoltage(rig.vi, "1.0", name.c_str())
                                    : ZR48_GetVoltage(rig.vi, "", reply.data(), name.c_str());
        if (was_closed) {
          ++after;
          (status == IVI_ERROR_INVALID_SESSION_HANDLE ? failures_after_close
                                                      : successes_after_close)
              .fetch_add(1);
        }
      }
    });
  }
  while (calls.load() < 200) std::this_thread::yield();
  EXPECT_EQ(ZR48_close(rig.vi), VI_SUCCESS);
  closed.store(true);
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(successes_after_close.load(), 0);
  EXPECT_EQ(failures_after_close.load(), kThreads * 20);
  EXPECT_NE(ZR48_close(rig.vi), VI_SUCCESS);  // a closed handle stays closed
  rig.vi = VI_NULL;

  // Whole exchanges only: a selection is always followed by its own command.
  const std::string received = rig.server.received();
  std::size_t pos = 0;
  int exchanges = 0;
  while (pos < received.size()) {
    const std::size_t first = received.find('\n', pos);
    ASSERT_NE(first, std::string::npos);
    const std::size_t second = received.find('\n', first + 1);
    ASSERT_NE(second, std::string::npos) << "a selection without its command at byte " << pos;
    const std::string select = received.substr(pos, first - pos);
    const std::string command = received.substr(first + 1, second - first - 1);
    ASSERT_EQ(select.rfind("INST ch", 0), 0u) << select;
    ASSERT_TRUE(command == "VOLT 1.0" || command == "VOLT? ") << command;
    pos = second + 1;
    ++exchanges;
  }
  EXPECT_GE(exchanges, 200 - kThreads);
}

// Sessions opened and closed on many threads at once get distinct handles and never disturb
// another thread's session.
TEST(Threads, ConcurrentInitAndCloseKeepHandlesApart) {
  zr48::sim::Server server;
  constexpr int kThreads = 4;
  constexpr int kCycles = 25;
  std::vector<std::vector<std::string>> failures(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      std::string resource = server.resource();
      const bool simulated = t % 2 == 1;
      for (int c = 0; c < kCycles; ++c) {
        ViSession vi = VI_NULL;
        if (ZR48_InitWithOptions(resource.data(), VI_FALSE, VI_FALSE, simulated ? "Simulate=1" : "",
                                 &vi) != VI_SUCCESS) {
          failures[t].push_back("init failed");
          continue;
        }
        std::array<ViChar, 512> name{};
        if (ZR48_GetAttributeViString(vi, "", ZR48_ATTR_SPECIFIC_DRIVER_PREFIX, 512, name.data()) !=
                VI_SUCCESS ||
            std::string(name.data()) != "ZR48") {
          failures[t].push_back("prefix read failed");
        }
        ViBoolean simulate = VI_FALSE;
        if (ZR48_GetAttributeViBoolean(vi, "", ZR48_ATTR_SIMULATE, &simulate) != VI_SUCCESS ||
            simulate != (simulated ? VI_TRUE : VI_FALSE)) {
          failures[t].push_back("another session's settings seen");
        }
        if (ZR48_close(vi) != VI_SUCCESS) failures[t].push_back("close failed");
        if (ZR48_GetAttributeViBoolean(vi, "", ZR48_ATTR_SIMULATE, &simulate) >= 0) {
          failures[t].push_back("a closed handle still answered");
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_TRUE(failures[t].empty()) << "thread " << t << ": " << failures[t].front();
  }
}

}  // namespace
