// Pinning the calling thread to one CPU for a scope, so that a client and the simulator it talks
// to share that CPU: a round trip then measures the CPU work of both sides, not cross-CPU wake-ups.
#ifndef ZR48_BENCH_COMMON_CPU_PINNING_H
#define ZR48_BENCH_COMMON_CPU_PINNING_H

#include <sched.h>

namespace zr48::bench {

// The CPU that pinned clients and the pinned simulator share (scripts/bench.sh starts the
// simulator with `taskset -c 0`).
constexpr int kPinnedCpu = 0;

// Pins the calling thread to kPinnedCpu when `pin` is true and restores its previous CPU set on
// leaving the scope. Threads the pinned thread creates inherit the pinning.
class ScopedPinning {
 public:
  explicit ScopedPinning(bool pin) {
    if (!pin || ::sched_getaffinity(0, sizeof previous_, &previous_) != 0) return;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(kPinnedCpu, &one);
    active_ = ::sched_setaffinity(0, sizeof one, &one) == 0;
  }
  ~ScopedPinning() {
    if (active_) ::sched_setaffinity(0, sizeof previous_, &previous_);
  }
  ScopedPinning(const ScopedPinning&) = delete;
  ScopedPinning& operator=(const ScopedPinning&) = delete;

 private:
  cpu_set_t previous_{};
  bool active_ = false;
};

}  // namespace zr48::bench

#endif
