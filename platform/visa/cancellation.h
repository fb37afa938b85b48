// A request to stop one transfer early without ending the connection (viTerminate of a
// running asynchronous job). Its eventfd joins the poll sets of the transports that wait in
// poll(); the flag is for the others, checked between the pieces of a transfer.
#ifndef ZR48_PLATFORM_VISA_CANCELLATION_H
#define ZR48_PLATFORM_VISA_CANCELLATION_H

#include <atomic>

namespace zr48::visa {

class Cancellation {
 public:
  Cancellation();
  Cancellation(const Cancellation&) = delete;
  Cancellation& operator=(const Cancellation&) = delete;
  ~Cancellation();

  // Callable from any thread; wakes a poll() on fd() until reset().
  void request();
  bool requested() const { return requested_.load(std::memory_order_acquire); }
  // Ready for the next transfer: not requested, fd() not readable.
  void reset();
  // Readable once requested; -1 if no eventfd could be had (then only the flag works).
  int fd() const { return fd_; }

 private:
  int fd_;
  std::atomic<bool> requested_{false};
};

}  // namespace zr48::visa

#endif
