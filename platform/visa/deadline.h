// The point in time by which an I/O operation must finish, derived once from the session's
// time-out so that a reply arriving in many pieces cannot stretch the wait; and, for an
// asynchronous job, the cancellation that may end it sooner.
#ifndef ZR48_PLATFORM_VISA_DEADLINE_H
#define ZR48_PLATFORM_VISA_DEADLINE_H

#include <chrono>

#include "visa/cancellation.h"
#include "zr48_visatype.h"

namespace zr48::visa {

// The clock is first read when a wait is actually needed, so operations that never wait (a
// send the socket takes at once, a read served from the buffer) cost no clock reading.
class Deadline {
 public:
  // VI_TMO_INFINITE (0xFFFFFFFF) never expires; 0 means "do not wait at all".
  static Deadline after_ms(ViUInt32 timeout_ms) {
    Deadline d;
    d.timeout_ms_ = timeout_ms;
    return d;
  }

  // The same wait, ended early by `cancellation` too (which must outlive it).
  Deadline cancelled_by(const Cancellation* cancellation) const {
    Deadline d = *this;
    d.cancellation_ = cancellation;
    return d;
  }
  const Cancellation* cancellation() const { return cancellation_; }
  bool cancelled() const { return cancellation_ != nullptr && cancellation_->requested(); }

  // Milliseconds left, rounded up, in the form poll() takes: -1 forever, 0 expired.
  int poll_timeout() const {
    if (timeout_ms_ == 0xFFFFFFFFU) return -1;
    if (timeout_ms_ == 0) return 0;
    const auto now = std::chrono::steady_clock::now();
    if (!started_) {
      when_ = now + std::chrono::milliseconds(timeout_ms_);
      started_ = true;
    }
    const auto left = when_ - now;
    if (left <= std::chrono::steady_clock::duration::zero()) return 0;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return ms > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(ms);
  }

 private:
  ViUInt32 timeout_ms_ = 0;
  const Cancellation* cancellation_ = nullptr;
  mutable bool started_ = false;
  mutable std::chrono::steady_clock::time_point when_{};
};

}  // namespace zr48::visa

#endif
