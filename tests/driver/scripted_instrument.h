// A fake instrument on a loopback port for faults the simulator does not produce: it answers
// each line it receives with the next scripted reply, sent in parts with pauses between them
// (a slow instrument whose long reply arrives in pieces).
#ifndef ZR48_TESTS_DRIVER_SCRIPTED_INSTRUMENT_H
#define ZR48_TESTS_DRIVER_SCRIPTED_INSTRUMENT_H

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zr48::test {

struct ReplyPart {
  std::chrono::milliseconds pause;  // before this part is sent
  std::string bytes;
};
using ScriptedReply = std::vector<ReplyPart>;

class ScriptedInstrument {
 public:
  // One reply per line received, in order; lines after them get no answer.
  explicit ScriptedInstrument(std::deque<ScriptedReply> replies) : replies_(std::move(replies)) {
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
  ~ScriptedInstrument() {
    ::shutdown(listener_, SHUT_RDWR);
    if (thread_.joinable()) thread_.join();
    ::close(listener_);
  }
  ScriptedInstrument(const ScriptedInstrument&) = delete;
  ScriptedInstrument& operator=(const ScriptedInstrument&) = delete;

  std::string resource() const { return "TCPIP::127.0.0.1::" + std::to_string(port_) + "::SOCKET"; }

  std::string received() const {
    const std::lock_guard lock(mutex_);
    return received_;
  }

 private:
  void Serve() {
    pollfd listening{listener_, POLLIN, 0};
    if (::poll(&listening, 1, 5000) != 1 || (listening.revents & POLLIN) == 0) return;
    const int connection = ::accept(listener_, nullptr, nullptr);
    char byte = 0;
    for (;;) {
      pollfd readable{connection, POLLIN, 0};
      if (::poll(&readable, 1, 5000) != 1) break;
      if (::recv(connection, &byte, 1, 0) <= 0) break;
      {
        const std::lock_guard lock(mutex_);
        received_ += byte;
      }
      if (byte != '\n' || replies_.empty()) continue;
      const ScriptedReply reply = replies_.front();
      replies_.pop_front();
      for (const ReplyPart& part : reply) {
        std::this_thread::sleep_for(part.pause);
        (void)::send(connection, part.bytes.data(), part.bytes.size(), MSG_NOSIGNAL);
      }
    }
    ::close(connection);
  }

  std::deque<ScriptedReply> replies_;
  int listener_ = -1;
  std::uint16_t port_ = 0;
  std::thread thread_;
  mutable std::mutex mutex_;
  std::string received_;
};

}  // namespace zr48::test

#endif  // ZR48_TESTS_DRIVER_SCRIPTED_INSTRUMENT_H
