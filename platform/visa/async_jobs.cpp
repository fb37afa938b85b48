// The asynchronous-I/O worker of a session.
#include "visa/async_jobs.h"

#include <algorithm>
#include <atomic>
#include <utility>

namespace zr48::visa {
namespace {

// Ids begin well above the small numbers a caller may hold as constants (PyVISA's tests take
// job 1 for one never handed out), as other VISA libraries' opaque ids do.
constexpr ViJobId kFirstJobId = 0x10000;

// The next id of the process: PyVISA, for one, keeps a job's buffer by its id for as long as
// the library is loaded, so an id is never handed out twice. VI_NULL is never a job.
ViJobId next_job_id() {
  static std::atomic<ViJobId> last{kFirstJobId - 1};
  ViJobId id = last.fetch_add(1, std::memory_order_relaxed) + 1;
  while (id == VI_NULL) id = last.fetch_add(1, std::memory_order_relaxed) + 1;
  return id;
}

}  // namespace

ViStatus AsyncJobs::submit(bool read, ViBuf buffer, ViUInt32 count, ViJobId& job) {
  const std::lock_guard lock(mutex_);
  if (closed_) return VI_ERROR_INV_OBJECT;
  if (jobs_.size() >= kMaxWaiting) return VI_ERROR_QUEUE_ERROR;
  job = next_job_id();
  jobs_.push_back({job, read, buffer, count});
  if (!worker_.joinable()) worker_ = std::thread([this] { work(); });
  waiting_.notify_one();
  return VI_SUCCESS;
}

ViStatus AsyncJobs::terminate(ViJobId job) {
  std::unique_lock lock(mutex_);
  if (job != 0 && running_ == job) {
    abort_running_ = true;
    cancellation_.request();
    return VI_SUCCESS;
  }
  const auto it = std::ranges::find_if(jobs_, [job](const Job& j) { return j.id == job; });
  if (it == jobs_.end()) return VI_ERROR_INV_JOB_ID;
  const Job aborted = *it;
  jobs_.erase(it);
  lock.unlock();
  complete(aborted, VI_ERROR_ABORT, 0);
  return VI_SUCCESS;
}

void AsyncJobs::complete(const Job& job, ViStatus status, ViUInt32 returned) {
  events_.post({VI_EVENT_IO_COMPLETION, status, job.id, job.buffer, returned,
                job.read ? "viReadAsync" : "viWriteAsync"});
}

void AsyncJobs::work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    waiting_.wait(lock, [this] { return closed_ || !jobs_.empty(); });
    if (closed_) return;
    const Job job = jobs_.front();
    jobs_.pop_front();
    running_ = job.id;
    abort_running_ = false;
    cancellation_.reset();
    lock.unlock();
    ViUInt32 returned = 0;
    ViStatus status = runner_(job.read, job.buffer, job.count, cancellation_, returned);
    lock.lock();
    running_ = 0;
    // A transport that cannot be woken ran the transfer to its end: it still counts as
    // terminated, as viTerminate answered.
    if (std::exchange(abort_running_, false)) status = VI_ERROR_ABORT;
    lock.unlock();
    complete(job, status, returned);
    lock.lock();
  }
}

void AsyncJobs::close() {
  std::thread worker;
  {
    const std::lock_guard lock(mutex_);
    closed_ = true;
    jobs_.clear();
    worker = std::move(worker_);
    waiting_.notify_all();
  }
  if (worker.joinable()) worker.join();
}

}  // namespace zr48::visa
