// Terminating asynchronous jobs while their transfer runs, over each LAN protocol against the
// simulated instrument and over a scripted socket peer: the job ends with VI_ERROR_ABORT, the
// link stays usable, and the rest of a reply the job had begun is never taken for the next
// answer. Job ids are unique in the process.
#include <gtest/gtest.h>

#include <poll.h>

#include <future>
#include <set>
#include <string>
#include <vector>

#include "lan_fixture.h"
#include "visa/async_jobs.h"
#include "visa/lookup.h"
#include "visa_fixture.h"

namespace zr48::visa::testing {
namespace {

struct Completion {
  ViJobId job = 0;
  ViStatus status = VI_SUCCESS;
  ViUInt32 count = 0;
};

Completion next_completion(ViSession vi) {
  Completion c;
  ViEvent event = VI_NULL;
  EXPECT_GE(viWaitOnEvent(vi, VI_EVENT_IO_COMPLETION, VI_TMO_INFINITE, nullptr, &event),
            VI_SUCCESS);
  EXPECT_EQ(viGetAttribute(event, VI_ATTR_JOB_ID, &c.job), VI_SUCCESS);
  EXPECT_EQ(viGetAttribute(event, VI_ATTR_STATUS, &c.status), VI_SUCCESS);
  EXPECT_EQ(viGetAttribute(event, VI_ATTR_RET_COUNT, &c.count), VI_SUCCESS);
  viClose(event);
  return c;
}

using Terminate = LanSession;

// Nothing was asked, so the read job would wait for ever. Terminated, it ends with
// VI_ERROR_ABORT and nothing read, and the next query on the same link gets its own answer.
TEST_P(Terminate, ARunningReadEndsAndTheLinkStaysUsable) {
  ASSERT_EQ(viEnableEvent(vi_, VI_EVENT_IO_COMPLETION, VI_QUEUE, VI_NULL), VI_SUCCESS);
  ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_TMO_VALUE, VI_TMO_INFINITE), VI_SUCCESS);
  ViByte reply[64];
  ViJobId job = 0;
  ASSERT_EQ(viReadAsync(vi_, reply, sizeof reply, &job), VI_SUCCESS);
  EXPECT_EQ(viTerminate(vi_, VI_NULL, job), VI_SUCCESS);
  const Completion done = next_completion(vi_);
  EXPECT_EQ(done.job, job);
  EXPECT_EQ(done.status, VI_ERROR_ABORT);
  EXPECT_EQ(done.count, 0U);
  EXPECT_EQ(viTerminate(vi_, VI_NULL, job), VI_ERROR_INV_JOB_ID);  // ended already

  ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_TMO_VALUE, 2000), VI_SUCCESS);
  ASSERT_EQ(write("*IDN?\n"), VI_SUCCESS);
  ViStatus status = VI_SUCCESS;
  EXPECT_EQ(read(status), server_->execute("*IDN?"));
  EXPECT_GE(status, VI_SUCCESS);
  EXPECT_EQ(server_->received(), "*IDN?\n");
}

// The same transfer with its cancellation requested before it starts: whichever moment the
// request comes, the transfer returns at its first wait (VXI-11: before its call goes out), and
// the link answers the next query.
TEST_P(Terminate, ACancelledTransferReturnsAtItsFirstWait) {
  ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_TMO_VALUE, VI_TMO_INFINITE), VI_SUCCESS);
  std::shared_ptr<Session> session;
  ASSERT_EQ(lookup_session(vi_, session), VI_SUCCESS);
  Cancellation cancellation;
  cancellation.request();
  ViByte reply[64];
  ViUInt32 returned = 1;
  EXPECT_EQ(session->read(reply, sizeof reply, returned, &cancellation), VI_ERROR_ABORT);
  EXPECT_EQ(returned, 0U);

  ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_TMO_VALUE, 2000), VI_SUCCESS);
  ASSERT_EQ(write("*IDN?\n"), VI_SUCCESS);
  ViStatus status = VI_SUCCESS;
  EXPECT_EQ(read(status), server_->execute("*IDN?"));
  EXPECT_GE(status, VI_SUCCESS);
  EXPECT_EQ(server_->received(), "*IDN?\n");
}

INSTANTIATE_TEST_SUITE_P(Lan, Terminate, ::testing::Values(kSocketForm, kVxi11Form, kHislipForm),
                         lan_form_name);

using TerminateOnSocket = PeerSession;

std::string read_text(ViSession vi, ViStatus& status) {
  std::string bytes(64, '\0');
  ViUInt32 returned = 0;
  status = viRead(vi, reinterpret_cast<ViBuf>(bytes.data()), 64, &returned);
  bytes.resize(returned);
  return bytes;
}

// A read cut short inside a reply counts the bytes it took; the rest of that reply, when it
// comes, is dropped before the next transfer, up to its terminator and no further.
TEST_F(TerminateOnSocket, TheRestOfAReplyBegunIsNotTheNextAnswer) {
  ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_TMO_VALUE, 2000), VI_SUCCESS);
  struct Case {
    const char* what;
    ViStatus (*next)(ViSession vi);  // what follows the cut-short read
  };
  const Case cases[] = {
      {"a read", [](ViSession) -> ViStatus { return VI_SUCCESS; }},
      {"a write",
       [](ViSession vi) {
         ViUInt32 count = 0;
         return viWrite(vi, reinterpret_cast<ViConstBuf>("Q?\n"), 3, &count);
       }},
      {"a discarding flush",
       [](ViSession vi) { return viFlush(vi, VI_READ_BUF_DISCARD | VI_WRITE_BUF_DISCARD); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    peer_.send("PARTIAL");
    ViByte head[2];
    ViUInt32 returned = 0;
    ASSERT_EQ(viRead(vi_, head, sizeof head, &returned), VI_SUCCESS_MAX_CNT);
    std::shared_ptr<Session> session;
    ASSERT_EQ(lookup_session(vi_, session), VI_SUCCESS);
    Cancellation cancellation;
    cancellation.request();
    ViByte rest[64];
    EXPECT_EQ(session->read(rest, sizeof rest, returned, &cancellation), VI_ERROR_ABORT);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(rest), returned), "RTIAL");

    peer_.send("-TAIL\n");
    EXPECT_EQ(c.next(vi_), VI_SUCCESS);
    peer_.send("ANSWER\n");
    ViStatus status = VI_SUCCESS;
    EXPECT_EQ(read_text(vi_, status), "ANSWER\n");
    EXPECT_EQ(status, VI_SUCCESS_TERM_CHAR);
  }
  EXPECT_EQ(peer_.receive(3), "Q?\n");
}

// A job id names one job in the process: sessions opened later never hand out an id of an
// earlier session, and neither VI_NULL nor a small number is ever one.
TEST_F(TerminateOnSocket, JobIdsAreUniqueInTheProcess) {
  std::set<ViJobId> seen;
  for (int round = 0; round < 2; ++round) {
    ViSession vi = VI_NULL;
    ASSERT_EQ(viOpen(rm_, peer_.resource().c_str(), VI_NO_LOCK, 0, &vi), VI_SUCCESS);
    ASSERT_EQ(viEnableEvent(vi, VI_EVENT_IO_COMPLETION, VI_QUEUE, VI_NULL), VI_SUCCESS);
    for (int k = 0; k < 2; ++k) {
      ViJobId job = VI_NULL;
      ASSERT_EQ(viWriteAsync(vi, reinterpret_cast<ViConstBuf>(""), 0, &job), VI_SUCCESS);
      EXPECT_GE(job, 0x10000U);  // never a small number a caller takes for "no such job"
      EXPECT_TRUE(seen.insert(job).second) << job;
      EXPECT_EQ(next_completion(vi).job, job);
    }
    EXPECT_EQ(viClose(vi), VI_SUCCESS);
  }
}

// The worker's side: a running job is cancelled, whatever it is waiting in, and reports the
// bytes its transfer counted. The runner stands in for a transport that waits in poll().
TEST(AsyncJobsTerminate, TheRunningJobIsCancelledAndKeepsItsCount) {
  auto events =
      std::make_shared<EventCenter>(VI_NULL, std::vector<ViEventType>{VI_EVENT_IO_COMPLETION});
  ASSERT_EQ(events->enable(VI_EVENT_IO_COMPLETION, VI_QUEUE), VI_SUCCESS);
  std::promise<void> started;
  AsyncJobs jobs(
      [&started](bool, ViBuf, ViUInt32, const Cancellation& cancellation, ViUInt32& returned) {
        returned = 3;
        started.set_value();
        pollfd p{cancellation.fd(), POLLIN, 0};
        while (::poll(&p, 1, -1) != 1) {
        }
        return cancellation.requested() ? VI_ERROR_ABORT : VI_ERROR_IO;
      },
      *events);
  ViByte buffer[8];
  ViJobId job = 0;
  ASSERT_EQ(jobs.submit(true, buffer, sizeof buffer, job), VI_SUCCESS);
  started.get_future().wait();
  EXPECT_EQ(jobs.terminate(job), VI_SUCCESS);
  ViEvent event = VI_NULL;
  ASSERT_EQ(events->wait(VI_EVENT_IO_COMPLETION, VI_TMO_INFINITE, nullptr, &event), VI_SUCCESS);
  ViStatus status = VI_SUCCESS;
  ViUInt32 count = 0;
  EXPECT_EQ(viGetAttribute(event, VI_ATTR_STATUS, &status), VI_SUCCESS);
  EXPECT_EQ(viGetAttribute(event, VI_ATTR_RET_COUNT, &count), VI_SUCCESS);
  EXPECT_EQ(status, VI_ERROR_ABORT);
  EXPECT_EQ(count, 3U);
  EXPECT_EQ(viClose(event), VI_SUCCESS);
  jobs.close();
  events->close();
}

}  // namespace
}  // namespace zr48::visa::testing
