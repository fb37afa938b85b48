// Socket plumbing shared by the simulator's services: a stop signal every wait watches, bounded
// sends and receives, listening sockets, and an acceptor that serves each connection on a thread.
#pragma once

#include <sys/socket.h>

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "unique_fd.h"

namespace zr48::sim {

[[noreturn]] void throw_errno(const char* what);

// Raised once when the server stops; every blocking wait in a service watches it.
class StopSignal {
 public:
  StopSignal();
  void raise();
  bool raised() const { return raised_.load(); }

  // Waits until `fd` is readable (or hung up) or `timeout_ms` passes (-1: forever). False once
  // the server stops.
  bool wait_readable(int fd, int timeout_ms) const;
  bool sleep_for(int milliseconds) const { return wait_readable(read_.get(), milliseconds); }
  // Sends every byte unless the peer goes away or the server stops.
  bool send_all(int fd, std::string_view bytes) const;
  // Receives exactly `size` bytes; false on close, error or stop.
  bool recv_exact(int fd, char* out, std::size_t size) const;

 private:
  UniqueFd read_;
  UniqueFd write_;
  std::atomic<bool> raised_{false};
};

// A connection's bytes read through a buffer, so that a message's header and payload usually
// arrive in one system call instead of one each.
class StreamReader {
 public:
  StreamReader(const StopSignal& stop, int fd) : stop_(stop), fd_(fd) {}
  // Receives exactly `size` bytes; false on close, error or stop.
  bool read_exact(char* out, std::size_t size);

 private:
  bool fill();

  const StopSignal& stop_;
  int fd_;
  std::array<char, 16 * 1024> buffer_{};
  std::size_t start_ = 0;
  std::size_t end_ = 0;
};

// Fills `storage` for a numeric IPv4 or IPv6 address; returns the family or -1.
int make_address(const std::string& text, std::uint16_t port, sockaddr_storage& storage,
                 socklen_t& length);

// A bound socket (`type` SOCK_STREAM listening, or SOCK_DGRAM) and the port it got.
struct BoundSocket {
  UniqueFd fd;
  std::uint16_t port = 0;
};
// Throws std::system_error when the address is bad or cannot be bound.
BoundSocket bind_socket(const std::string& address, std::uint16_t port, int type);

// "127.0.0.7" or "[::1]": the host part of a resource name or address.
std::string host_text(const std::string& address);

// Accepts connections on a listening socket and serves each on its own thread until the stop
// signal. At most `max_connections` are served at once; more are accepted and closed.
class TcpService {
 public:
  // Serves one connection and returns when it is done; `token` is what on_accept returned.
  using Handler = std::function<void(int fd, std::size_t token)>;
  // Runs on the accepting thread, in accept order, before the connection's thread starts.
  using OnAccept = std::function<std::size_t()>;

  TcpService(const StopSignal& stop, BoundSocket listener, Handler handler,
             std::size_t max_connections, OnAccept on_accept = {});
  ~TcpService();  // joins; raise the stop signal first
  TcpService(const TcpService&) = delete;
  TcpService& operator=(const TcpService&) = delete;

  std::uint16_t port() const { return port_; }
  void start();
  void join();

 private:
  struct Connection {
    UniqueFd fd;
    std::thread thread;
    std::atomic<bool> finished{false};
  };
  void accept_loop();
  void reap_finished();

  const StopSignal& stop_;
  UniqueFd listener_;
  std::uint16_t port_;
  Handler handler_;
  std::size_t max_connections_;
  OnAccept on_accept_;
  std::thread acceptor_;
  std::mutex mutex_;
  std::list<Connection> connections_;
};

}  // namespace zr48::sim
