// A one-connection loopback peer for the few checks the simulator cannot observe: it answers
// each line it receives from a script and reports whether the driver closed the link.
#ifndef ZR48_TESTS_DRIVER_LOOPBACK_PEER_H
#define ZR48_TESTS_DRIVER_LOOPBACK_PEER_H

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <deque>
#include <future>
#include <string>
#include <thread>

namespace zr48::test {

class LoopbackPeer {
 public:
  // `replies`: one reply per line received, in order; lines after them get no answer.
  explicit LoopbackPeer(std::deque<std::string> replies) : replies_(std::move(replies)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener_, 1) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      return;
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~LoopbackPeer() {
    ::shutdown(listener_, SHUT_RDWR);
    if (thread_.joinable()) thread_.join();
    ::close(listener_);
  }
  LoopbackPeer(const LoopbackPeer&) = delete;
  LoopbackPeer& operator=(const LoopbackPeer&) = delete;

  std::string resource() const { return "TCPIP::127.0.0.1::" + std::to_string(port_) + "::SOCKET"; }

  // Whether the driver closed the connection (waits at most `seconds` for it).
  bool closed_by_driver(int seconds = 5) {
    return closed_.get_future().wait_for(std::chrono::seconds(seconds)) ==
               std::future_status::ready &&
           closed_flag_;
  }

 private:
  void Serve() {
    pollfd listening{listener_, POLLIN, 0};
    if (::poll(&listening, 1, 5000) != 1 || (listening.revents & POLLIN) == 0) {
      closed_.set_value();
      return;
    }
    const int connection = ::accept(listener_, nullptr, nullptr);
    std::string line;
    char byte = 0;
    for (;;) {
      pollfd readable{connection, POLLIN, 0};
      if (::poll(&readable, 1, 5000) != 1) break;  // the driver kept the link open
      const ssize_t received = ::recv(connection, &byte, 1, 0);
      if (received == 0) {
        closed_flag_ = true;
        break;
      }
      if (received < 0) break;
      line += byte;
      if (byte != '\n') continue;
      line.clear();
      if (replies_.empty()) continue;
      const std::string reply = replies_.front();
      replies_.pop_front();
      (void)::send(connection, reply.data(), reply.size(), MSG_NOSIGNAL);
    }
    ::close(connection);
    closed_.set_value();
  }

  std::deque<std::string> replies_;
  int listener_ = -1;
  std::uint16_t port_ = 0;
  std::thread thread_;
  std::promise<void> closed_;
  bool closed_flag_ = false;
};

}  // namespace zr48::test

#endif  // ZR48_TESTS_DRIVER_LOOPBACK_PEER_H
