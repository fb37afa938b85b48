// The simplest client an instrument programmer would write by hand: one blocking TCP socket
// with TCP_NODELAY, whole-line sends and line reads. Benchmarks use it as the baseline that the
// I/O layer and the driver are compared with.
#ifndef ZR48_BENCH_COMMON_PLAIN_SOCKET_CLIENT_H
#define ZR48_BENCH_COMMON_PLAIN_SOCKET_CLIENT_H

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>

namespace zr48::bench {

class PlainSocketClient {
 public:
  PlainSocketClient(const std::string& host, std::uint16_t port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) {
      throw std::runtime_error("plain client: cannot resolve " + host);
    }
    for (const addrinfo* a = found; a != nullptr && fd_ < 0; a = a->ai_next) {
      fd_ = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
      if (fd_ >= 0 && ::connect(fd_, a->ai_addr, a->ai_addrlen) != 0) {
        ::close(fd_);
        fd_ = -1;
      }
    }
    ::freeaddrinfo(found);
    if (fd_ < 0) throw std::runtime_error("plain client: cannot connect to " + host);
    const int on = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  }
  ~PlainSocketClient() {
    if (fd_ >= 0) ::close(fd_);
  }
  PlainSocketClient(const PlainSocketClient&) = delete;
  PlainSocketClient& operator=(const PlainSocketClient&) = delete;

  void send(std::string_view bytes) {
    while (!bytes.empty()) {
      const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (n <= 0) throw std::runtime_error("plain client: send failed");
      bytes.remove_prefix(static_cast<std::size_t>(n));
    }
  }

  // The next line, line feed included; valid until the next call.
  std::string_view read_line() {
    for (;;) {
      if (const void* end = std::memchr(buffer_ + begin_, '\n', end_ - begin_)) {
        const std::size_t length = static_cast<const char*>(end) - (buffer_ + begin_) + 1;
        const std::string_view line(buffer_ + begin_, length);
        begin_ += length;
        return line;
      }
      if (begin_ > 0) {
        std::memmove(buffer_, buffer_ + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
      }
      if (end_ == sizeof buffer_) throw std::runtime_error("plain client: line too long");
      const ssize_t n = ::recv(fd_, buffer_ + end_, sizeof buffer_ - end_, 0);
      if (n <= 0) throw std::runtime_error("plain client: connection closed");
      end_ += static_cast<std::size_t>(n);
    }
  }

 private:
  int fd_ = -1;
  char buffer_[4096];
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
};

}  // namespace zr48::bench

#endif
