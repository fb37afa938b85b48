// A minimal blocking TCP client for the server tests. Every wait is bounded so that a fault
// never hangs a test; no test asserts on how long anything took.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zr48::sim::testing {

class TestClient {
 public:
  static constexpr int kWaitMs = 3000;  // generous bound for replies that must come
  static constexpr int kQuietMs = 150;  // how long to listen for replies that must not come

  // Connects to `host` ("127.0.0.1" or "::1") at `port`; valid() tells whether it worked.
  TestClient(std::uint16_t port, const char* host = "127.0.0.1");
  ~TestClient();
  TestClient(const TestClient&) = delete;
  TestClient& operator=(const TestClient&) = delete;

  bool valid() const { return fd_ >= 0; }
  bool send(std::string_view bytes);

  // Bytes up to and including the next line feed; nullopt on time-out or when the peer closed
  // first (what arrived before that stays in `partial()`).
  std::optional<std::string> read_line(int timeout_ms = kWaitMs);
  // Sends a line and reads the reply line.
  std::optional<std::string> query(std::string_view line) {
    if (!send(line)) return std::nullopt;
    return read_line();
  }
  // Reads until the peer closes; nullopt on time-out.
  std::optional<std::string> read_until_closed(int timeout_ms = kWaitMs);
  // Exactly `count` bytes; nullopt on time-out or close.
  std::optional<std::string> read_exact(std::size_t count, int timeout_ms = kWaitMs);
  const std::string& partial() const { return buffer_; }
  void close();

 private:
  enum class Fill { data, timeout, closed };
  Fill fill(int timeout_ms);

  int fd_ = -1;
  std::string buffer_;
};

}  // namespace zr48::sim::testing
