#include "net.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <system_error>

namespace zr48::sim {

void throw_errno(const char* what) {
  throw std::system_error(errno, std::generic_category(), what);
}

StopSignal::StopSignal() {
  std::array<int, 2> fds{};
  if (::pipe2(fds.data(), O_CLOEXEC | O_NONBLOCK) != 0) throw_errno("pipe2");
  read_ = UniqueFd(fds[0]);
  write_ = UniqueFd(fds[1]);
}

void StopSignal::raise() {
  if (raised_.exchange(true)) return;
  const char byte = 1;
  while (::write(write_.get(), &byte, 1) < 0 && errno == EINTR) {
  }
}

bool StopSignal::wait_readable(int fd, int timeout_ms) const {
  std::array<pollfd, 2> fds{{{fd, POLLIN, 0}, {read_.get(), POLLIN, 0}}};
  for (;;) {
    const int n = ::poll(fds.data(), fds.size(), timeout_ms);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    return (fds[1].revents & POLLIN) == 0;  // readable, hung up, or simply time to go on
  }
}

bool StopSignal::send_all(int fd, std::string_view bytes) const {
  while (!bytes.empty()) {
    const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      // The peer is not reading: wait for room, or for the server to stop.
      std::array<pollfd, 2> fds{{{fd, POLLOUT, 0}, {read_.get(), POLLIN, 0}}};
      if (::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) return false;
      if ((fds[1].revents & POLLIN) != 0) return false;
      if ((fds[0].revents & (POLLERR | POLLHUP)) != 0) return false;
      continue;
    }
    return false;
  }
  return true;
}

bool StopSignal::recv_exact(int fd, char* out, std::size_t size) const {
  while (size > 0) {
    if (!wait_readable(fd, -1)) return false;
    const ssize_t n = ::recv(fd, out, size, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    out += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool StreamReader::read_exact(char* out, std::size_t size) {
  while (size > 0) {
    if (start_ == end_ && !fill()) return false;
    const std::size_t n = std::min(size, end_ - start_);
    std::memcpy(out, buffer_.data() + start_, n);
    start_ += n;
    out += n;
    size -= n;
  }
  return true;
}

bool StreamReader::fill() {
  start_ = 0;
  end_ = 0;
  for (;;) {
    if (!stop_.wait_readable(fd_, -1)) return false;
    const ssize_t n = ::recv(fd_, buffer_.data(), buffer_.size(), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    end_ = static_cast<std::size_t>(n);
    return true;
  }
}

int make_address(const std::string& text, std::uint16_t port, sockaddr_storage& storage,
                 socklen_t& length) {
  std::memset(&storage, 0, sizeof storage);
  auto* v4 = reinterpret_cast<sockaddr_in*>(&storage);
  if (::inet_pton(AF_INET, text.c_str(), &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
    v4->sin_port = htons(port);
    length = sizeof(sockaddr_in);
    return AF_INET;
  }
  auto* v6 = reinterpret_cast<sockaddr_in6*>(&storage);
  if (::inet_pton(AF_INET6, text.c_str(), &v6->sin6_addr) == 1) {
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(port);
    length = sizeof(sockaddr_in6);
    return AF_INET6;
  }
  return -1;
}

BoundSocket bind_socket(const std::string& address, std::uint16_t port, int type) {
  sockaddr_storage storage{};
  socklen_t length = 0;
  const int family = make_address(address, port, storage, length);
  if (family < 0) throw std::system_error(EINVAL, std::generic_category(), "bind address");

  BoundSocket bound{UniqueFd(::socket(family, type | SOCK_CLOEXEC, 0)), 0};
  if (!bound.fd.valid()) throw_errno("socket");
  const int yes = 1;
  ::setsockopt(bound.fd.get(), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  if (::bind(bound.fd.get(), reinterpret_cast<sockaddr*>(&storage), length) != 0) {
    throw_errno("bind");
  }
  if (type == SOCK_STREAM && ::listen(bound.fd.get(), SOMAXCONN) != 0) throw_errno("listen");
  sockaddr_storage actual{};
  socklen_t actual_length = sizeof actual;
  if (::getsockname(bound.fd.get(), reinterpret_cast<sockaddr*>(&actual), &actual_length) != 0) {
    throw_errno("getsockname");
  }
  bound.port = ntohs(family == AF_INET ? reinterpret_cast<sockaddr_in*>(&actual)->sin_port
                                       : reinterpret_cast<sockaddr_in6*>(&actual)->sin6_port);
  return bound;
}

std::string host_text(const std::string& address) {
  return address.find(':') != std::string::npos ? "[" + address + "]" : address;
}

TcpService::TcpService(const StopSignal& stop, BoundSocket listener, Handler handler,
                       std::size_t max_connections, OnAccept on_accept)
    : stop_(stop),
      listener_(std::move(listener.fd)),
      port_(listener.port),
      handler_(std::move(handler)),
      max_connections_(max_connections),
      on_accept_(std::move(on_accept)) {}

TcpService::~TcpService() {
  join();
}

void TcpService::start() {
  acceptor_ = std::thread([this] { accept_loop(); });
}

void TcpService::join() {
  if (acceptor_.joinable()) acceptor_.join();
  std::list<Connection> remaining;
  {
    const std::lock_guard lock(mutex_);
    remaining.swap(connections_);
  }
  for (auto& c : remaining) {
    if (c.thread.joinable()) c.thread.join();
  }
}

void TcpService::reap_finished() {
  std::list<Connection> finished;
  {
    const std::lock_guard lock(mutex_);
    for (auto it = connections_.begin(); it != connections_.end();) {
      auto next = std::next(it);
      if (it->finished.load()) finished.splice(finished.end(), connections_, it);
      it = next;
    }
  }
  for (auto& c : finished) c.thread.join();
}

void TcpService::accept_loop() {
  for (;;) {
    if (!stop_.wait_readable(listener_.get(), -1)) return;
    UniqueFd fd(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
    if (!fd.valid()) {
      // Out of descriptors: the listener stays readable, so pause instead of spinning.
      if ((errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) &&
          !stop_.sleep_for(50)) {
        return;
      }
      continue;  // or the peer gave up before we took it
    }
    reap_finished();
    const int yes = 1;
    ::setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);

    const std::lock_guard lock(mutex_);
    if (connections_.size() >= max_connections_) continue;  // closed by UniqueFd
    const std::size_t token = on_accept_ ? on_accept_() : 0;
    Connection& c = connections_.emplace_back();
    c.fd = std::move(fd);
    try {
      c.thread = std::thread([this, &c, token] {
        handler_(c.fd.get(), token);
        ::shutdown(c.fd.get(), SHUT_RDWR);
        {
          const std::lock_guard inner(mutex_);
          c.fd.reset();
        }
        c.finished.store(true);
      });
    } catch (const std::system_error&) {
      connections_.pop_back();  // no thread to serve it: the connection closes
    }
  }
}

}  // namespace zr48::sim
