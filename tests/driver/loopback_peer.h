// A one-connection loopback instrument for the few checks the simulator cannot make: it answers
// each line it receives with the next scripted reply, sent whole or in parts with pauses between
// them (a slow instrument whose long reply arrives in pieces), keeps what it received and
// reports whether the driver closed the link.
#ifndef ZR48_TESTS_DRIVER_LOOPBACK_PEER_H
#define ZR48_TESTS_DRIVER_LOOPBACK_PEER_H

#include <chrono>
#include <deque>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "loopback_listener.h"

namespace zr48::test {

struct ReplyPart {
  std::chrono::milliseconds pause;  // before this part is sent
  std::string bytes;
};
using ScriptedReply = std::vector<ReplyPart>;

// A reply sent at once, in one piece.
inline ScriptedReply whole(std::string bytes) {
  return {{std::chrono::milliseconds(0), std::move(bytes)}};
}

class LoopbackPeer {
 public:
  // One reply per line received, in order; lines after them get no answer.
  explicit LoopbackPeer(std::deque<ScriptedReply> replies)
      : replies_(std::move(replies)), thread_([this] { serve(); }) {}
  ~LoopbackPeer() {
    listener_.shut();
    thread_.join();
  }
  LoopbackPeer(const LoopbackPeer&) = delete;
  LoopbackPeer& operator=(const LoopbackPeer&) = delete;

  std::string resource() const { return listener_.socket_resource(); }

  std::string received() const {
    const std::lock_guard lock(mutex_);
    return received_;
  }

  // Whether the driver closed the connection (waits at most `seconds` for the peer to finish).
  bool closed_by_driver(int seconds = 5) {
    return finished_.get_future().wait_for(std::chrono::seconds(seconds)) ==
               std::future_status::ready &&
           closed_by_driver_;
  }

 private:
  void serve() {
    const int connection = listener_.accept(std::chrono::seconds(5));
    if (connection >= 0) {
      answer(connection);
      ::close(connection);
    }
    finished_.set_value();
  }

  void answer(int connection) {
    char byte = 0;
    for (;;) {
      pollfd readable{connection, POLLIN, 0};
      if (::poll(&readable, 1, 5000) != 1) return;  // the driver kept the link open
      const ssize_t received = ::recv(connection, &byte, 1, 0);
      if (received == 0) closed_by_driver_ = true;
      if (received <= 0) return;
      {
        const std::lock_guard lock(mutex_);
        received_ += byte;
      }
      if (byte != '\n' || replies_.empty()) continue;
      const ScriptedReply reply = std::move(replies_.front());
      replies_.pop_front();
      for (const ReplyPart& part : reply) {
        std::this_thread::sleep_for(part.pause);
        (void)::send(connection, part.bytes.data(), part.bytes.size(), MSG_NOSIGNAL);
      }
    }
  }

  LoopbackListener listener_;
  std::deque<ScriptedReply> replies_;
  mutable std::mutex mutex_;
  std::string received_;
  std::promise<void> finished_;
  bool closed_by_driver_ = false;  // written before finished_ is set, read after
  std::thread thread_;             // last: starts once everything above exists
};

}  // namespace zr48::test

#endif  // ZR48_TESTS_DRIVER_LOOPBACK_PEER_H
