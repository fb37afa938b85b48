// The point in time by which an I/O operation must finish, derived once from the session's
// time-out so that a reply arriving in many pieces cannot stretch the wait.
#ifndef ZR48_PLATFORM_VISA_DEADLINE_H
#define ZR48_PLATFORM_VISA_DEADLINE_H

#include <chrono>

#include "zr48_visatype.h"

namespace zr48::visa {

class Deadline {
 public:
  // VI_TMO_INFINITE (0xFFFFFFFF) never expires; 0 means "do not wait at all".
  static Deadline after_ms(ViUInt32 timeout_ms) {
    Deadline d;
    if (timeout_ms == 0xFFFFFFFFU) {
      d.infinite_ = true;
    } else {
      d.when_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    }
    return d;
  }

  // Milliseconds left, rounded up, in the form poll() takes: -1 forever, 0 expired.
  int poll_timeout() const {
    if (infinite_) return -1;
    const auto left = when_ - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) return 0;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return ms > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(ms);
  }

 private:
  bool infinite_ = false;
  std::chrono::steady_clock::time_point when_{};
};

}  // namespace zr48::visa

#endif
