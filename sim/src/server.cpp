#include "zr48sim/server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <list>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

#include "unique_fd.h"
#include "zr48sim/instrument.h"

namespace zr48::sim {
namespace {

[[noreturn]] void throw_errno(const char* what) {
  throw std::system_error(errno, std::generic_category(), what);
}

// Fills `storage` for a numeric IPv4 or IPv6 address; returns the family or -1.
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

struct Faults {
  std::chrono::milliseconds delay{0};
  bool silent = false;
  std::deque<std::string> replies;
  std::optional<std::size_t> close_after_lines;
  std::optional<std::size_t> close_mid_reply;
};

// What the connection does after one line.
enum class After { keep_open, close };

}  // namespace

struct Server::Impl {
  struct Connection {
    std::size_t index = 0;
    UniqueFd fd;
    std::thread thread;
    std::atomic<bool> finished{false};
  };

  std::string bind_address;
  std::uint16_t port = 0;
  UniqueFd listener;
  UniqueFd wake_read;  // readable once the server stops
  UniqueFd wake_write;
  std::thread acceptor;

  mutable std::mutex instrument_mutex;
  Instrument instrument;

  mutable std::mutex record_mutex;
  std::string received;
  std::vector<std::string> by_connection;
  std::condition_variable arrived;  // notified whenever bytes are recorded

  std::mutex faults_mutex;
  Faults faults;

  std::mutex connections_mutex;
  std::list<Connection> connections;

  void start(std::uint16_t requested_port);
  void stop();
  void accept_loop();
  void serve(Connection& connection);
  After handle_line(int fd, std::string_view line);
  void record(std::size_t index, const char* data, std::size_t size);
  bool wait_readable(int fd, int timeout_ms) const;  // false when the server stops first
  bool send_all(int fd, std::string_view bytes) const;
  void reap_finished();
};

void Server::Impl::start(std::uint16_t requested_port) {
  sockaddr_storage address{};
  socklen_t length = 0;
  const int family = make_address(bind_address, requested_port, address, length);
  if (family < 0) throw std::system_error(EINVAL, std::generic_category(), "bind address");

  listener = UniqueFd(::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!listener.valid()) throw_errno("socket");
  const int yes = 1;
  ::setsockopt(listener.get(), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  if (::bind(listener.get(), reinterpret_cast<sockaddr*>(&address), length) != 0) {
    throw_errno("bind");
  }
  if (::listen(listener.get(), SOMAXCONN) != 0) throw_errno("listen");
  sockaddr_storage bound{};
  socklen_t bound_length = sizeof bound;
  if (::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&bound), &bound_length) != 0) {
    throw_errno("getsockname");
  }
  port = ntohs(family == AF_INET ? reinterpret_cast<sockaddr_in*>(&bound)->sin_port
                                 : reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port);

  std::array<int, 2> pipe_fds{};
  if (::pipe2(pipe_fds.data(), O_CLOEXEC | O_NONBLOCK) != 0) throw_errno("pipe2");
  wake_read = UniqueFd(pipe_fds[0]);
  wake_write = UniqueFd(pipe_fds[1]);
  acceptor = std::thread([this] { accept_loop(); });
}

void Server::Impl::stop() {
  if (wake_write.valid()) {
    const char byte = 1;
    while (::write(wake_write.get(), &byte, 1) < 0 && errno == EINTR) {
    }
  }
  if (acceptor.joinable()) acceptor.join();
  std::list<Connection> remaining;
  {
    const std::lock_guard lock(connections_mutex);
    remaining.swap(connections);
  }
  for (auto& c : remaining) {
    if (c.thread.joinable()) c.thread.join();
  }
}

bool Server::Impl::wait_readable(int fd, int timeout_ms) const {
  std::array<pollfd, 2> fds{{{fd, POLLIN, 0}, {wake_read.get(), POLLIN, 0}}};
  for (;;) {
    const int n = ::poll(fds.data(), fds.size(), timeout_ms);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if ((fds[1].revents & POLLIN) != 0) return false;
    return true;  // readable, hung up, or (with a timeout) simply time to go on
  }
}

bool Server::Impl::send_all(int fd, std::string_view bytes) const {
  while (!bytes.empty()) {
    const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      // The peer is not reading: wait for room, or for the server to stop.
      std::array<pollfd, 2> fds{{{fd, POLLOUT, 0}, {wake_read.get(), POLLIN, 0}}};
      if (::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) return false;
      if ((fds[1].revents & POLLIN) != 0) return false;
      if ((fds[0].revents & (POLLERR | POLLHUP)) != 0) return false;
      continue;
    }
    return false;
  }
  return true;
}

void Server::Impl::reap_finished() {
  std::list<Connection> finished;
  {
    const std::lock_guard lock(connections_mutex);
    for (auto it = connections.begin(); it != connections.end();) {
      auto next = std::next(it);
      if (it->finished.load()) finished.splice(finished.end(), connections, it);
      it = next;
    }
  }
  for (auto& c : finished) c.thread.join();
}

void Server::Impl::accept_loop() {
  for (;;) {
    if (!wait_readable(listener.get(), -1)) return;
    UniqueFd fd(::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
    if (!fd.valid()) {
      // Out of descriptors: the listener stays readable, so pause instead of spinning.
      if ((errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) &&
          !wait_readable(wake_read.get(), 50)) {
        return;
      }
      continue;  // or the peer gave up before we took it
    }
    reap_finished();
    const int yes = 1;
    ::setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);

    const std::lock_guard lock(connections_mutex);
    if (connections.size() >= kMaxConnections) continue;  // closed by UniqueFd
    std::size_t index = 0;
    {
      const std::lock_guard record_lock(record_mutex);
      index = by_connection.size();
      by_connection.emplace_back();
    }
    Connection& c = connections.emplace_back();
    c.index = index;
    c.fd = std::move(fd);
    try {
      c.thread = std::thread([this, &c] { serve(c); });
    } catch (const std::system_error&) {
      connections.pop_back();  // no thread to serve it: the connection closes
    }
  }
}

void Server::Impl::record(std::size_t index, const char* data, std::size_t size) {
  {
    const std::lock_guard lock(record_mutex);
    received.append(data, size);
    by_connection.at(index).append(data, size);
  }
  arrived.notify_all();
}

void Server::Impl::serve(Connection& connection) {
  const int fd = connection.fd.get();
  std::string pending;
  bool discarding = false;  // inside an over-long line, up to its line feed
  std::array<char, 4096> buffer{};
  bool open = true;
  while (open && wait_readable(fd, -1)) {
    const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    record(connection.index, buffer.data(), static_cast<std::size_t>(n));
    pending.append(buffer.data(), static_cast<std::size_t>(n));

    std::size_t start = 0;
    for (std::size_t end; open && (end = pending.find('\n', start)) != std::string::npos;
         start = end + 1) {
      if (discarding) {
        discarding = false;
        continue;
      }
      open = handle_line(fd, std::string_view(pending).substr(start, end - start + 1)) ==
             After::keep_open;
    }
    pending.erase(0, start);
    if (pending.size() > kMaxLineBytes) {
      pending.clear();
      if (!discarding) {
        const std::lock_guard lock(instrument_mutex);
        instrument.report_input_overrun();
      }
      discarding = true;
    }
  }
  ::shutdown(fd, SHUT_RDWR);
  {
    const std::lock_guard lock(connections_mutex);
    connection.fd.reset();
  }
  connection.finished.store(true);
}

After Server::Impl::handle_line(int fd, std::string_view line) {
  {
    const std::lock_guard lock(faults_mutex);
    if (faults.close_after_lines && --*faults.close_after_lines == 0) {
      faults.close_after_lines.reset();
      return After::close;
    }
  }
  std::string reply;
  {
    const std::lock_guard lock(instrument_mutex);
    reply = instrument.execute(line);
  }
  if (reply.empty() && line.find('?') == std::string_view::npos) return After::keep_open;

  std::chrono::milliseconds delay{0};
  std::optional<std::size_t> cut;
  {
    const std::lock_guard lock(faults_mutex);
    if (faults.silent) return After::keep_open;
    if (!faults.replies.empty()) {
      reply = std::move(faults.replies.front());
      faults.replies.pop_front();
    }
    delay = faults.delay;
    cut = std::exchange(faults.close_mid_reply, std::nullopt);
  }
  if (reply.empty()) return After::keep_open;  // a query that failed: nothing to say
  if (delay.count() > 0 && !wait_readable(wake_read.get(), static_cast<int>(delay.count()))) {
    return After::close;
  }
  if (cut) {
    send_all(fd, std::string_view(reply).substr(0, std::min(*cut, reply.size())));
    return After::close;
  }
  return send_all(fd, reply) ? After::keep_open : After::close;
}

Server::Server(std::uint16_t port, std::string bind_address) : impl_(std::make_unique<Impl>()) {
  impl_->bind_address = std::move(bind_address);
  try {
    impl_->start(port);
  } catch (...) {
    impl_->stop();
    throw;
  }
}

Server::~Server() {
  impl_->stop();
}

std::uint16_t Server::port() const {
  return impl_->port;
}

std::string Server::resource() const {
  const bool v6 = impl_->bind_address.find(':') != std::string::npos;
  const std::string host = v6 ? "[" + impl_->bind_address + "]" : impl_->bind_address;
  return "TCPIP::" + host + "::" + std::to_string(impl_->port) + "::SOCKET";
}

std::string Server::received() const {
  const std::lock_guard lock(impl_->record_mutex);
  return impl_->received;
}

std::string Server::wait_for_received(std::size_t bytes, std::chrono::milliseconds limit) const {
  std::unique_lock lock(impl_->record_mutex);
  impl_->arrived.wait_for(lock, limit, [&] { return impl_->received.size() >= bytes; });
  return impl_->received;
}

std::vector<std::string> Server::received_by_connection() const {
  const std::lock_guard lock(impl_->record_mutex);
  return impl_->by_connection;
}

std::size_t Server::connection_count() const {
  const std::lock_guard lock(impl_->record_mutex);
  return impl_->by_connection.size();
}

void Server::clear_received() {
  const std::lock_guard lock(impl_->record_mutex);
  impl_->received.clear();
  for (auto& text : impl_->by_connection) text.clear();
}

void Server::set_reply_delay(std::chrono::milliseconds delay) {
  const std::lock_guard lock(impl_->faults_mutex);
  impl_->faults.delay = delay;
}

void Server::set_silent(bool silent) {
  const std::lock_guard lock(impl_->faults_mutex);
  impl_->faults.silent = silent;
}

void Server::push_reply(std::string raw) {
  const std::lock_guard lock(impl_->faults_mutex);
  impl_->faults.replies.push_back(std::move(raw));
}

void Server::close_after_lines(std::size_t lines) {
  const std::lock_guard lock(impl_->faults_mutex);
  impl_->faults.close_after_lines = lines == 0 ? std::nullopt : std::optional(lines);
}

void Server::close_mid_reply(std::size_t bytes) {
  const std::lock_guard lock(impl_->faults_mutex);
  impl_->faults.close_mid_reply = bytes;
}

void Server::reset_faults() {
  const std::lock_guard lock(impl_->faults_mutex);
  impl_->faults = Faults{};
}

void Server::set_idn(std::string text) {
  const std::lock_guard lock(impl_->instrument_mutex);
  impl_->instrument.set_idn(std::move(text));
}

void Server::set_tst(std::string text) {
  const std::lock_guard lock(impl_->instrument_mutex);
  impl_->instrument.set_tst(std::move(text));
}

void Server::set_load(int channel, double ohms) {
  const std::lock_guard lock(impl_->instrument_mutex);
  impl_->instrument.set_load(channel, ohms);
}

std::string Server::execute(std::string_view line) {
  const std::lock_guard lock(impl_->instrument_mutex);
  return impl_->instrument.execute(line);
}

}  // namespace zr48::sim
