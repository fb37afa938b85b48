// Asynchronous reads and writes of one session (viReadAsync, viWriteAsync): jobs run one after
// another on a worker thread of the session's, started with the first job, and each ends with
// an I/O-completion event. The number of jobs waiting is bounded. Job ids are unique in the
// process, so that an id a caller still keeps from a closed session never names a new job.
#ifndef ZR48_PLATFORM_VISA_ASYNC_JOBS_H
#define ZR48_PLATFORM_VISA_ASYNC_JOBS_H

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "visa/cancellation.h"
#include "visa/events.h"
#include "visa/visa.h"

namespace zr48::visa {

class AsyncJobs {
 public:
  static constexpr std::size_t kMaxWaiting = 64;

  // Runs one job: a read into or a write from `buffer`, `count` bytes; `returned` counts them.
  // The transfer ends early with VI_ERROR_ABORT once `cancellation` is requested.
  using Runner = std::function<ViStatus(bool read, ViBuf buffer, ViUInt32 count,
                                        const Cancellation& cancellation, ViUInt32& returned)>;

  AsyncJobs(Runner runner, EventCenter& events) : runner_(std::move(runner)), events_(events) {}
  AsyncJobs(const AsyncJobs&) = delete;
  AsyncJobs& operator=(const AsyncJobs&) = delete;
  ~AsyncJobs() { close(); }

  // Queues a job; VI_ERROR_QUEUE_ERROR when kMaxWaiting jobs wait already.
  ViStatus submit(bool read, ViBuf buffer, ViUInt32 count, ViJobId& job);
  // A waiting job ends at once; a running one is cancelled, and ends as soon as its transfer
  // sees that (at its next wait, where the transport watches the cancellation). Either reports
  // VI_ERROR_ABORT, the running one with the bytes moved so far. VI_ERROR_INV_JOB_ID for a job
  // that is not waiting or running.
  ViStatus terminate(ViJobId job);
  // No more jobs: those waiting are dropped, the running one is finished (the caller
  // interrupts its transfer) and the worker joined.
  void close();

 private:
  struct Job {
    ViJobId id = 0;
    bool read = false;
    ViBuf buffer = nullptr;
    ViUInt32 count = 0;
  };
  void work();
  void complete(const Job& job, ViStatus status, ViUInt32 returned);

  Runner runner_;
  EventCenter& events_;
  std::mutex mutex_;
  std::condition_variable waiting_;
  std::deque<Job> jobs_;
  ViJobId running_ = 0;
  bool abort_running_ = false;
  Cancellation cancellation_;  // of the running job
  bool closed_ = false;
  std::thread worker_;
};

}  // namespace zr48::visa

#endif
