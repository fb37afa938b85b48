// Cancellation of one transfer.
#include "visa/cancellation.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace zr48::visa {

Cancellation::Cancellation() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

Cancellation::~Cancellation() {
  if (fd_ >= 0) ::close(fd_);
}

void Cancellation::request() {
  requested_.store(true, std::memory_order_release);
  const std::uint64_t one = 1;
  if (fd_ >= 0) (void)!::write(fd_, &one, sizeof one);
}

void Cancellation::reset() {
  requested_.store(false, std::memory_order_release);
  std::uint64_t count = 0;
  if (fd_ >= 0) (void)!::read(fd_, &count, sizeof count);  // non-blocking: EAGAIN when clear
}

}  // namespace zr48::visa
