// A scripted TCP peer on 127.0.0.1 for tests that need byte-exact control the simulated
// instrument cannot give: replies split into segments, bytes without terminator, a close at
// an exact point.
#ifndef ZR48_TESTS_VISA_LOOPBACK_PEER_H
#define ZR48_TESTS_VISA_LOOPBACK_PEER_H

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "loopback_listener.h"

namespace zr48::visa::testing {

class LoopbackPeer {
 public:
  LoopbackPeer() = default;
  ~LoopbackPeer() { close_connection(); }
  LoopbackPeer(const LoopbackPeer&) = delete;
  LoopbackPeer& operator=(const LoopbackPeer&) = delete;

  std::uint16_t port() const { return listener_.port(); }
  std::string resource() const { return listener_.socket_resource(); }

  // Takes the connection the layer opened (the kernel queued it during viOpen).
  void accept() {
    connection_ = listener_.accept(std::chrono::milliseconds(2000));
    if (connection_ < 0) throw std::runtime_error("loopback peer: no connection");
  }

  void send(std::string_view bytes) const {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
      const ssize_t n = ::send(connection_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) return;
      sent += static_cast<std::size_t>(n);
    }
  }

  // Collects bytes until `count` have arrived or `wait` passes without any.
  std::string receive(std::size_t count,
                      std::chrono::milliseconds wait = std::chrono::milliseconds(2000)) const {
    std::string bytes;
    char chunk[4096];
    while (bytes.size() < count) {
      pollfd p{connection_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(wait.count())) != 1) break;
      const ssize_t n = ::recv(connection_, chunk, sizeof chunk, 0);
      if (n <= 0) break;
      bytes.append(chunk, static_cast<std::size_t>(n));
    }
    return bytes;
  }

  // Whatever arrives within a short while (to show that nothing was sent).
  std::string receive_pending() const { return receive(SIZE_MAX, std::chrono::milliseconds(50)); }

  void close_connection() {
    if (connection_ >= 0) ::close(connection_);
    connection_ = -1;
  }

 private:
  zr48::test::LoopbackListener listener_;
  int connection_ = -1;
};

}  // namespace zr48::visa::testing

#endif
