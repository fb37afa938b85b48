// Events through the C interface against the simulated instrument: the queue and handler
// mechanisms, event objects, asynchronous reads and writes, and service requests over the
// protocols that carry them (the LAN ones, and USBTMC through the kernel driver's stand-in).
#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fake_usbtmc.h"
#include "lan_fixture.h"

namespace zr48::visa::testing {
namespace {

using Events = LanSession;

// The USB form: the stand-in for the kernel's usbtmc driver, with its default device, serving
// the same simulated instrument.
const LanForm kUsbtmcForm{
    "usbtmc", [](const sim::Server&) { return std::string("USB0::0x1234::0x5678::SN123::INSTR"); },
    true,
    [](sim::Server& server) -> std::shared_ptr<void> {
      return std::make_shared<test::InstalledFakeUsbtmc>(
          test::UsbtmcTreeForThisTest(), test::FakeUsbtmcDevice{},
          [&server] { return server.usbtmc_link(); });
    }};

// Collects what handlers saw; the test thread waits for a count of calls.
struct HandlerLog {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<ViJobId> jobs;
  std::vector<ViEventType> types;
  std::vector<ViSession> sessions;

  void add(ViSession vi, ViEventType type, ViEvent event) {
    ViJobId job = 0;
    viGetAttribute(event, VI_ATTR_JOB_ID, &job);
    const std::lock_guard lock(mutex);
    jobs.push_back(job);
    types.push_back(type);
    sessions.push_back(vi);
    changed.notify_all();
  }
  void wait_for(std::size_t calls) {
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return types.size() >= calls; });
  }
};

ViStatus log_event(ViSession vi, ViEventType type, ViEvent event, ViAddr user) {
  static_cast<HandlerLog*>(user)->add(vi, type, event);
  return VI_SUCCESS;
}

// Passes the first event it sees on to no other handler.
ViStatus stop_first_job(ViSession vi, ViEventType type, ViEvent event, ViAddr user) {
  auto* log = static_cast<HandlerLog*>(user);
  log->add(vi, type, event);
  const std::lock_guard lock(log->mutex);
  return log->jobs.size() == 1 ? VI_SUCCESS_NCHAIN : VI_SUCCESS;
}

// Distinct user handles for the handler rows.
int user_a = 0;
int user_b = 0;

struct MechanismCase {
  const char* what;
  ViStatus (*call)(ViSession vi);
  ViStatus expected;
};

// In order, on one raw-socket session (I/O completion only, no service requests).
const MechanismCase kMechanismCases[] = {
    {"service requests on a raw socket",
     [](ViSession vi) { return viEnableEvent(vi, VI_EVENT_SERVICE_REQ, VI_QUEUE, VI_NULL); },
     VI_ERROR_INV_EVENT},
    {"enable for VI_ALL_ENABLED_EVENTS",
     [](ViSession vi) { return viEnableEvent(vi, VI_ALL_ENABLED_EVENTS, VI_QUEUE, VI_NULL); },
     VI_ERROR_INV_EVENT},
    {"no mechanism",
     [](ViSession vi) { return viEnableEvent(vi, VI_EVENT_IO_COMPLETION, 0, VI_NULL); },
     VI_ERROR_INV_MECH},
    {"both handler mechanisms",
     [](ViSession vi) {
       return viEnableEvent(vi, VI_EVENT_IO_COMPLETION, VI_HNDLR | VI_SUSPEND_HNDLR, VI_NULL);
     },
     VI_ERROR_INV_MECH},
    {"handler mechanism without a handler",
     [](ViSession vi) { return viEnableEvent(vi, VI_EVENT_IO_COMPLETION, VI_HNDLR, VI_NULL); },
     VI_ERROR_HNDLR_NINSTALLED},
    {"wait before enabling",
     [](ViSession vi) { return viWaitOnEvent(vi, VI_EVENT_IO_COMPLETION, 0, nullptr, nullptr); },
     VI_ERROR_NENABLED},
    {"enable the queue",
     [](ViSession vi) { return viEnableEvent(vi, VI_EVENT_IO_COMPLETION, VI_QUEUE, VI_NULL); },
     VI_SUCCESS},
    {"enable it again",
     [](ViSession vi) { return viEnableEvent(vi, VI_EVENT_IO_COMPLETION, VI_QUEUE, VI_NULL); },
     VI_SUCCESS_EVENT_EN},
    {"wait on an empty queue, no time",
     [](ViSession vi) {
       return viWaitOnEvent(vi, VI_ALL_ENABLED_EVENTS, VI_TMO_IMMEDIATE, nullptr, nullptr);
     },
     VI_ERROR_TMO},
    {"discard an empty queue",
     [](ViSession vi) { return viDiscardEvents(vi, VI_EVENT_IO_COMPLETION, VI_QUEUE); },
     VI_SUCCESS_QUEUE_EMPTY},
    {"uninstall what was never installed",
     [](ViSession vi) {
       return viUninstallHandler(vi, VI_EVENT_IO_COMPLETION, log_event, nullptr);
     },
     VI_ERROR_INV_HNDLR_REF},
    {"disable", [](ViSession vi) { return viDisableEvent(vi, VI_ALL_ENABLED_EVENTS, VI_ALL_MECH); },
     VI_SUCCESS},
    {"disable again",
     [](ViSession vi) { return viDisableEvent(vi, VI_EVENT_IO_COMPLETION, VI_QUEUE); },
     VI_SUCCESS_EVENT_DIS},
    {"unknown job", [](ViSession vi) { return viTerminate(vi, VI_NULL, 4711); },
     VI_ERROR_INV_JOB_ID},
    // Handlers: an (event type, handler, user handle) triple; every session has exceptions.
    {"exceptions are never queued",
     [](ViSession vi) { return viEnableEvent(vi, VI_EVENT_EXCEPTION, VI_QUEUE, VI_NULL); },
     VI_ERROR_INV_MECH},
    {"any handler, none installed",
     [](ViSession vi) { return viUninstallHandler(vi, VI_EVENT_EXCEPTION, nullptr, nullptr); },
     VI_SUCCESS},
    {"install for exceptions",
     [](ViSession vi) { return viInstallHandler(vi, VI_EVENT_EXCEPTION, log_event, &user_a); },
     VI_SUCCESS},
    {"install another for exceptions",
     [](ViSession vi) { return viInstallHandler(vi, VI_EVENT_EXCEPTION, stop_first_job, &user_a); },
     VI_SUCCESS},
    {"install for completions",
     [](ViSession vi) { return viInstallHandler(vi, VI_EVENT_IO_COMPLETION, log_event, &user_a); },
     VI_SUCCESS},
    {"uninstall with another user handle",
     [](ViSession vi) { return viUninstallHandler(vi, VI_EVENT_EXCEPTION, log_event, &user_b); },
     VI_ERROR_INV_HNDLR_REF},
    {"uninstall a handler of another type",
     [](ViSession vi) { return viUninstallHandler(vi, VI_EVENT_SERVICE_REQ, log_event, &user_a); },
     VI_ERROR_INV_EVENT},
    {"uninstall the exact triple",
     [](ViSession vi) { return viUninstallHandler(vi, VI_EVENT_EXCEPTION, log_event, &user_a); },
     VI_SUCCESS},
    {"uninstall it again",
     [](ViSession vi) { return viUninstallHandler(vi, VI_EVENT_EXCEPTION, log_event, &user_a); },
     VI_ERROR_INV_HNDLR_REF},
    {"enable exception handlers",
     [](ViSession vi) { return viEnableEvent(vi, VI_EVENT_EXCEPTION, VI_HNDLR, VI_NULL); },
     VI_SUCCESS},
    {"uninstall every exception handler",
     [](ViSession vi) { return viUninstallHandler(vi, VI_EVENT_EXCEPTION, nullptr, nullptr); },
     VI_SUCCESS},
    {"the exception handlers are gone",
     [](ViSession vi) {
       return viUninstallHandler(vi, VI_EVENT_EXCEPTION, stop_first_job, &user_a);
     },
     VI_ERROR_INV_HNDLR_REF},
    {"the completion handler stays",
     [](ViSession vi) { return viEnableEvent(vi, VI_EVENT_IO_COMPLETION, VI_HNDLR, VI_NULL); },
     VI_SUCCESS},
    {"uninstall it by its triple",
     [](ViSession vi) {
       return viUninstallHandler(vi, VI_EVENT_IO_COMPLETION, log_event, &user_a);
     },
     VI_SUCCESS},
    {"terminate with a degree", [](ViSession vi) { return viTerminate(vi, 1, 1); },
     VI_ERROR_INV_DEGREE},
};

TEST_P(Events, MechanismsAnswerAsVisaDefines) {
  if (GetParam().instrument) GTEST_SKIP() << "raw-socket sessions only";
  for (const MechanismCase& c : kMechanismCases) {
    EXPECT_EQ(c.call(vi_), c.expected) << c.what;
  }
}

// A write and a read run asynchronously, in order; their completion events carry the outcome.
TEST_P(Events, AsynchronousWriteAndReadCompleteAsEvents) {
  ASSERT_EQ(viEnableEvent(vi_, VI_EVENT_IO_COMPLETION, VI_QUEUE, VI_NULL), VI_SUCCESS);
  static const char kQuery[] = "*IDN?\n";
  ViByte reply[64] = {};
  ViJobId write_job = 0;
  ViJobId read_job = 0;
  ASSERT_EQ(viWriteAsync(vi_, reinterpret_cast<ViConstBuf>(kQuery), sizeof kQuery - 1, &write_job),
            VI_SUCCESS);
  ASSERT_EQ(viReadAsync(vi_, reply, sizeof reply, &read_job), VI_SUCCESS);
  EXPECT_NE(write_job, read_job);

  struct Expected {
    ViJobId job;
    ViBuf buffer;
    const char* operation;
  };
  const Expected expected[] = {
      {write_job, reinterpret_cast<ViBuf>(const_cast<char*>(kQuery)), "viWriteAsync"},
      {read_job, reply, "viReadAsync"}};
  ViUInt32 read_count = 0;
  for (const Expected& e : expected) {
    ViEventType type = 0;
    ViEvent event = VI_NULL;
    const ViStatus waited =
        viWaitOnEvent(vi_, VI_EVENT_IO_COMPLETION, VI_TMO_INFINITE, &type, &event);
    // The other job's event may be queued already.
    ASSERT_TRUE(waited == VI_SUCCESS || waited == VI_SUCCESS_QUEUE_NEMPTY) << waited;
    EXPECT_EQ(type, VI_EVENT_IO_COMPLETION);
    ViEventType event_type = 0;
    ViStatus status = -1;
    ViJobId job = 0;
    ViBuf buffer = nullptr;
    ViUInt32 count = 0;
    ViChar name[256] = "";
    EXPECT_EQ(viGetAttribute(event, VI_ATTR_EVENT_TYPE, &event_type), VI_SUCCESS);
    EXPECT_EQ(viGetAttribute(event, VI_ATTR_STATUS, &status), VI_SUCCESS);
    EXPECT_EQ(viGetAttribute(event, VI_ATTR_JOB_ID, &job), VI_SUCCESS);
    EXPECT_EQ(viGetAttribute(event, VI_ATTR_BUFFER, &buffer), VI_SUCCESS);
    EXPECT_EQ(viGetAttribute(event, VI_ATTR_RET_COUNT, &count), VI_SUCCESS);
    EXPECT_EQ(viGetAttribute(event, VI_ATTR_OPER_NAME, name), VI_SUCCESS);
    EXPECT_EQ(viSetAttribute(event, VI_ATTR_STATUS, 0), VI_ERROR_ATTR_READONLY);
    EXPECT_EQ(event_type, VI_EVENT_IO_COMPLETION);
    EXPECT_GE(status, VI_SUCCESS);
    EXPECT_EQ(job, e.job);
    EXPECT_EQ(buffer, e.buffer);
    EXPECT_STREQ(name, e.operation);
    if (e.job == write_job) {
      EXPECT_EQ(count, sizeof kQuery - 1);
    } else {
      read_count = count;
    }
    EXPECT_EQ(viClose(event), VI_SUCCESS);
    EXPECT_EQ(viGetAttribute(event, VI_ATTR_EVENT_TYPE, &event_type), VI_ERROR_INV_OBJECT);
  }
  EXPECT_EQ(std::string(reinterpret_cast<char*>(reply), read_count), server_->execute("*IDN?"));
  EXPECT_EQ(server_->received(), kQuery);
}

// A job still waiting ends at once with VI_ERROR_ABORT; the one running is not disturbed.
TEST_P(Events, TerminateAbortsAWaitingJob) {
  ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_TMO_VALUE, 100), VI_SUCCESS);
  ASSERT_EQ(viEnableEvent(vi_, VI_EVENT_IO_COMPLETION, VI_QUEUE, VI_NULL), VI_SUCCESS);
  ViByte first[16];
  ViByte second[16];
  ViJobId running = 0;
  ViJobId waiting = 0;
  ASSERT_EQ(viReadAsync(vi_, first, sizeof first, &running), VI_SUCCESS);  // nothing to read
  ASSERT_EQ(viReadAsync(vi_, second, sizeof second, &waiting), VI_SUCCESS);
  const ViStatus terminated = viTerminate(vi_, VI_NULL, waiting);
  EXPECT_EQ(terminated, VI_SUCCESS);
  std::vector<std::pair<ViJobId, ViStatus>> outcomes;
  for (int i = 0; i < 2; ++i) {
    ViEvent event = VI_NULL;
    ASSERT_GE(viWaitOnEvent(vi_, VI_EVENT_IO_COMPLETION, VI_TMO_INFINITE, nullptr, &event),
              VI_SUCCESS);
    ViJobId job = 0;
    ViStatus status = VI_SUCCESS;
    viGetAttribute(event, VI_ATTR_JOB_ID, &job);
    viGetAttribute(event, VI_ATTR_STATUS, &status);
    outcomes.emplace_back(job, status);
    viClose(event);
  }
  std::sort(outcomes.begin(), outcomes.end());
  const std::vector<std::pair<ViJobId, ViStatus>> expected = {{running, VI_ERROR_TMO},
                                                              {waiting, VI_ERROR_ABORT}};
  EXPECT_EQ(outcomes, expected);
}

// Handlers run on a thread of the layer, the latest installed first; VI_SUCCESS_NCHAIN stops
// the chain. Queue and handlers may be enabled together.
TEST_P(Events, HandlersChainAndTheQueueOverflows) {
  HandlerLog earlier;
  HandlerLog later;
  ASSERT_EQ(viInstallHandler(vi_, VI_EVENT_IO_COMPLETION, log_event, &earlier), VI_SUCCESS);
  ASSERT_EQ(viInstallHandler(vi_, VI_EVENT_IO_COMPLETION, stop_first_job, &later), VI_SUCCESS);
  ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_MAX_QUEUE_LENGTH, 1), VI_SUCCESS);
  ASSERT_EQ(viEnableEvent(vi_, VI_EVENT_IO_COMPLETION, VI_QUEUE | VI_HNDLR, VI_NULL), VI_SUCCESS);
  static const char kLine[] = "*CLS\n";
  ViJobId jobs[2] = {};
  for (ViJobId& job : jobs) {
    ASSERT_EQ(viWriteAsync(vi_, reinterpret_cast<ViConstBuf>(kLine), sizeof kLine - 1, &job),
              VI_SUCCESS);
  }
  later.wait_for(2);
  earlier.wait_for(1);
  EXPECT_EQ(later.jobs, (std::vector<ViJobId>{jobs[0], jobs[1]}));
  EXPECT_EQ(earlier.jobs, (std::vector<ViJobId>{jobs[1]}));  // the first job's chain stopped
  EXPECT_EQ(later.sessions, (std::vector<ViSession>{vi_, vi_}));
  // The queue held one event; the second was dropped, and the wait says so.
  ViEvent event = VI_NULL;
  EXPECT_EQ(viWaitOnEvent(vi_, VI_EVENT_IO_COMPLETION, VI_TMO_INFINITE, nullptr, &event),
            VI_WARN_QUEUE_OVERFLOW);
  ViJobId job = 0;
  EXPECT_EQ(viGetAttribute(event, VI_ATTR_JOB_ID, &job), VI_SUCCESS);
  EXPECT_EQ(job, jobs[0]);
  EXPECT_EQ(viUninstallHandler(vi_, VI_EVENT_IO_COMPLETION, log_event, &earlier), VI_SUCCESS);
  EXPECT_EQ(viUninstallHandler(vi_, VI_EVENT_IO_COMPLETION, nullptr, nullptr), VI_SUCCESS);
  // Closing the session closes the event objects it handed out.
  EXPECT_EQ(viClose(vi_), VI_SUCCESS);
  EXPECT_EQ(viGetAttribute(event, VI_ATTR_JOB_ID, &job), VI_ERROR_INV_OBJECT);
}

// Closing a session ends a wait on another thread; on an instrument, service requests are
// enabled, so what delivers them stops with the session too.
TEST_P(Events, CloseEndsAWait) {
  const ViEventType type = GetParam().instrument ? VI_EVENT_SERVICE_REQ : VI_EVENT_IO_COMPLETION;
  ASSERT_EQ(viEnableEvent(vi_, type, VI_QUEUE, VI_NULL), VI_SUCCESS);
  ViStatus waited = VI_SUCCESS;
  std::thread waiter([&] { waited = viWaitOnEvent(vi_, type, VI_TMO_INFINITE, nullptr, nullptr); });
  EXPECT_EQ(viClose(vi_), VI_SUCCESS);
  waiter.join();
  EXPECT_EQ(waited, VI_ERROR_INV_OBJECT);
}

// The status model raises a service request when an event enabled in *SRE becomes true; the
// simulator's hook raises one on demand. Both arrive as VI_EVENT_SERVICE_REQ, by queue and by
// handler.
TEST_P(Events, ServiceRequestsArrive) {
  if (!GetParam().instrument) GTEST_SKIP() << "a raw socket has no service requests";
  HandlerLog handled;
  ASSERT_EQ(viInstallHandler(vi_, VI_EVENT_SERVICE_REQ, log_event, &handled), VI_SUCCESS);
  ASSERT_EQ(viEnableEvent(vi_, VI_EVENT_SERVICE_REQ, VI_QUEUE | VI_HNDLR, VI_NULL), VI_SUCCESS);
  ASSERT_EQ(write("*SRE 32;*ESE 1;*OPC\n"), VI_SUCCESS);  // ESB summary: a request
  ViEventType type = 0;
  ViEvent event = VI_NULL;
  ASSERT_EQ(viWaitOnEvent(vi_, VI_EVENT_SERVICE_REQ, VI_TMO_INFINITE, &type, &event), VI_SUCCESS);
  EXPECT_EQ(type, VI_EVENT_SERVICE_REQ);
  ViStatus status = VI_SUCCESS;
  EXPECT_EQ(viGetAttribute(event, VI_ATTR_STATUS, &status), VI_ERROR_NSUP_ATTR);
  EXPECT_EQ(viClose(event), VI_SUCCESS);
  ViUInt16 stb = 0;
  ASSERT_EQ(viReadSTB(vi_, &stb), VI_SUCCESS);
  EXPECT_EQ(stb & 0x60, 0x60);  // ESB and the summary

  server_->raise_service_request();
  ASSERT_EQ(viWaitOnEvent(vi_, VI_ALL_ENABLED_EVENTS, VI_TMO_INFINITE, &type, nullptr), VI_SUCCESS);
  EXPECT_EQ(type, VI_EVENT_SERVICE_REQ);
  handled.wait_for(2);
  EXPECT_EQ(handled.types, (std::vector<ViEventType>{VI_EVENT_SERVICE_REQ, VI_EVENT_SERVICE_REQ}));
  // The summary holds while its event does; once the status is cleared, no request shows.
  ASSERT_EQ(viReadSTB(vi_, &stb), VI_SUCCESS);
  EXPECT_EQ(stb & 0x60, 0x60);
  ASSERT_EQ(write("*CLS;*OPC?\n"), VI_SUCCESS);  // the reply: the status is cleared by now
  EXPECT_EQ(read(status), "1\n");
  ASSERT_EQ(viReadSTB(vi_, &stb), VI_SUCCESS);
  EXPECT_EQ(stb, 0);
  EXPECT_EQ(server_->received(), "*SRE 32;*ESE 1;*OPC\n*CLS;*OPC?\n");
}

INSTANTIATE_TEST_SUITE_P(Lan, Events,
                         ::testing::Values(kSocketForm, kVxi11Form, kHislipForm, kUsbtmcForm),
                         lan_form_name);

}  // namespace
}  // namespace zr48::visa::testing
