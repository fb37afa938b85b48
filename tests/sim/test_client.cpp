#include "test_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <utility>

namespace zr48::sim::testing {

TestClient::TestClient(std::uint16_t port, const char* host) {
  sockaddr_storage address{};
  socklen_t length = 0;
  auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
  auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
  if (::inet_pton(AF_INET, host, &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
    v4->sin_port = htons(port);
    length = sizeof(sockaddr_in);
  } else if (::inet_pton(AF_INET6, host, &v6->sin6_addr) == 1) {
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(port);
    length = sizeof(sockaddr_in6);
  } else {
    return;
  }
  fd_ = ::socket(address.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ >= 0 && ::connect(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0) close();
}

TestClient::~TestClient() {
  close();
}

void TestClient::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool TestClient::send(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

TestClient::Fill TestClient::fill(int timeout_ms) {
  pollfd p{fd_, POLLIN, 0};
  const int ready = ::poll(&p, 1, timeout_ms);
  if (ready == 0) return Fill::timeout;
  if (ready < 0) return Fill::closed;
  std::array<char, 4096> chunk{};
  const ssize_t n = ::recv(fd_, chunk.data(), chunk.size(), 0);
  if (n <= 0) return Fill::closed;
  buffer_.append(chunk.data(), static_cast<std::size_t>(n));
  return Fill::data;
}

std::optional<std::string> TestClient::read_line(int timeout_ms) {
  for (;;) {
    if (const auto end = buffer_.find('\n'); end != std::string::npos) {
      std::string line = buffer_.substr(0, end + 1);
      buffer_.erase(0, end + 1);
      return line;
    }
    if (fill(timeout_ms) != Fill::data) return std::nullopt;
  }
}

std::optional<std::string> TestClient::read_until_closed(int timeout_ms) {
  for (;;) {
    switch (fill(timeout_ms)) {
      case Fill::data:
        continue;
      case Fill::closed:
        return std::exchange(buffer_, {});
      case Fill::timeout:
        return std::nullopt;
    }
  }
}

std::optional<std::string> TestClient::read_exact(std::size_t count, int timeout_ms) {
  while (buffer_.size() < count) {
    if (fill(timeout_ms) != Fill::data) return std::nullopt;
  }
  std::string out = buffer_.substr(0, count);
  buffer_.erase(0, count);
  return out;
}

}  // namespace zr48::sim::testing
