// The simulated supply served over TCP on a loopback address, with the bytes it received and
// fault injection for tests.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zr48::sim {

class Server {
 public:
  // Listens on 127.0.0.1 (or the given loopback address, e.g. "::1") at `port`; 0 picks a free
  // port. Serves every connection on its own thread; all connections share one instrument.
  // Throws std::system_error when the address cannot be bound.
  explicit Server(std::uint16_t port = 0, std::string bind_address = "127.0.0.1");
  ~Server();  // stops, closes every connection, joins threads
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  std::uint16_t port() const;
  std::string resource()
      const;  // "TCPIP::127.0.0.1::<port>::SOCKET", IPv6 "TCPIP::[::1]::<port>::SOCKET"

  // Every byte received, exactly as received.
  std::string received() const;  // all connections, in arrival order
  // received() once it holds at least `bytes` bytes, or when `limit` has passed.
  std::string wait_for_received(std::size_t bytes, std::chrono::milliseconds limit) const;
  std::vector<std::string> received_by_connection()
      const;                             // one string per connection, accept order
  std::size_t connection_count() const;  // connections accepted so far
  void clear_received();

  // Fault injection (thread-safe; applies from the next query on, to every connection).
  void set_reply_delay(std::chrono::milliseconds delay);  // wait this long before each reply
  void set_silent(bool silent);                           // run queries but never answer them
  // Answers the next query with exactly these bytes instead of the model's reply (no terminator
  // added). Queued: each query takes the next one.
  void push_reply(std::string raw);
  // After `lines` more complete lines arrive (on any connection), closes the connection that
  // received the last one without running or answering it (1 = close on the next line).
  void close_after_lines(std::size_t lines);
  // Sends only the first `bytes` of the next reply, then closes that connection.
  void close_mid_reply(std::size_t bytes);
  void set_idn(std::string text);  // *IDN? reply without line feed
  void set_tst(std::string text);  // *TST? reply without line feed; default "0"
  void reset_faults();

  // The resistive load on a channel (1..7); zero or infinite ohms is an open circuit.
  void set_load(int channel, double ohms);

  // Runs one line as if received, bypassing the sockets and the fault hooks; returns the reply
  // bytes ("" for commands).
  std::string execute(std::string_view line);

  // Lines longer than this (without a line feed) are dropped with -363 "Input buffer overrun".
  static constexpr std::size_t kMaxLineBytes = 64 * 1024;
  // Connections beyond this many at once are accepted and closed at once.
  static constexpr std::size_t kMaxConnections = 128;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace zr48::sim
