// A TCP listener on 127.0.0.1 at a free port, under the test peers that stand in for an
// instrument where the simulator cannot produce a fault.
#ifndef ZR48_TESTS_LOOPBACK_LISTENER_H
#define ZR48_TESTS_LOOPBACK_LISTENER_H

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace zr48::test {

class LoopbackListener {
 public:
  LoopbackListener() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(fd_, 8) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      if (fd_ >= 0) ::close(fd_);
      throw std::runtime_error("loopback listener: cannot listen");
    }
    port_ = ntohs(address.sin_port);
  }
  ~LoopbackListener() { ::close(fd_); }
  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;

  std::uint16_t port() const { return port_; }
  std::string socket_resource() const {
    return "TCPIP::127.0.0.1::" + std::to_string(port_) + "::SOCKET";
  }

  // The next connection, or -1 when none comes within `wait` or the listener was shut.
  int accept(std::chrono::milliseconds wait) const {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(wait.count())) != 1 || (p.revents & POLLIN) == 0) {
      return -1;
    }
    return ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
  }
  // Wakes an accept in progress on another thread.
  void shut() const { ::shutdown(fd_, SHUT_RDWR); }

 private:
  int fd_ = -1;
  std::uint16_t port_ = 0;
};

}  // namespace zr48::test

#endif  // ZR48_TESTS_LOOPBACK_LISTENER_H
