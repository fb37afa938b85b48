// TCP socket transport. Sends never block (MSG_DONTWAIT, then poll() bounded by the deadline);
// a reply is awaited in recv() itself, bounded by SO_RCVTIMEO, which saves a poll() per read.
// TCP_NODELAY is always on (a write-write-read exchange must not wait for delayed ACKs).
#include "visa/transports/tcp_socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <array>

#include "visa/attribute_value.h"
#include "visa/transport_table.h"
#include "visa/visa.h"

namespace zr48::visa {
namespace {

ViStatus status_from_errno(int error) {
  switch (error) {
    case ECONNRESET:
    case EPIPE:
    case ENOTCONN:
    case ESHUTDOWN:
    case ECONNABORTED:
    case ETIMEDOUT:  // keep-alive gave up on the peer
      return VI_ERROR_CONN_LOST;
    default:
      return VI_ERROR_IO;
  }
}

// Waits until the non-blocking connect on `fd` completes; returns the connect error or 0.
int finish_connect(int fd, const Deadline& deadline, bool& timed_out) {
  pollfd p{fd, POLLOUT, 0};
  for (;;) {
    const int ready = ::poll(&p, 1, deadline.poll_timeout());
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return errno;
    if (ready == 0) {
      timed_out = true;
      return ETIMEDOUT;
    }
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return errno;
    return error;
  }
}

// How long recv() may block by itself when `left_ms` remain. SO_RCVTIMEO runs on the kernel's
// coarse timers: rounded up to a jiffy (10 ms at worst) and then by up to an eighth of the time.
// Blocking for at most 7/8 of what is left, less 10 ms, never overshoots the deadline; poll()
// waits out the rest exactly. 0: do not block in recv() at all.
int blocking_receive_ms(int left_ms) {
  constexpr int kJiffyMs = 10;
  const int budget = left_ms - left_ms / 8 - kJiffyMs;
  return budget > 0 ? budget : 0;
}

bool make_blocking(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  return flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

std::string numeric_address(const sockaddr* address, socklen_t length) {
  std::array<char, NI_MAXHOST> text{};
  if (::getnameinfo(address, length, text.data(), text.size(), nullptr, 0, NI_NUMERICHOST) != 0) {
    return {};
  }
  return text.data();
}

}  // namespace

void UniqueFd::reset(int fd) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
}

TcpTransport::TcpTransport(UniqueFd fd, std::string host, ViUInt16 port, std::string address)
    : fd_(std::move(fd)), host_(std::move(host)), port_(port), address_(std::move(address)) {}

ViStatus TcpTransport::connect(const std::string& host, ViUInt16 port, const Deadline& deadline,
                               std::unique_ptr<TcpTransport>& out) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  const std::string service = std::to_string(port);
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0) {
    return VI_ERROR_RSRC_NFOUND;
  }
  const std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> addresses(found, ::freeaddrinfo);

  ViStatus status = VI_ERROR_RSRC_NFOUND;
  for (const addrinfo* a = addresses.get(); a != nullptr; a = a->ai_next) {
    UniqueFd fd(
        ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol));
    if (fd.get() < 0) {
      status = VI_ERROR_SYSTEM_ERROR;
      continue;
    }
    int error = 0;
    bool timed_out = false;
    if (::connect(fd.get(), a->ai_addr, a->ai_addrlen) != 0) {
      error = errno;
      if (error == EINPROGRESS || error == EINTR)
        error = finish_connect(fd.get(), deadline, timed_out);
    }
    if (timed_out) return VI_ERROR_TMO;
    if (error != 0) continue;  // refused or unreachable: try the next address

    const int on = 1;
    if (::setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) != 0 ||
        !make_blocking(fd.get())) {
      return VI_ERROR_SYSTEM_ERROR;
    }
    out.reset(
        new TcpTransport(std::move(fd), host, port, numeric_address(a->ai_addr, a->ai_addrlen)));
    return VI_SUCCESS;
  }
  return status;
}

ViStatus TcpTransport::wait(short events, const Deadline& deadline, bool cancellable) const {
  // A cancellable wait watches the cancellation's eventfd beside the socket.
  const Cancellation* cancellation = cancellable ? deadline.cancellation() : nullptr;
  std::array<pollfd, 2> p{pollfd{fd_.get(), events, 0},
                          pollfd{cancellation != nullptr ? cancellation->fd() : -1, POLLIN, 0}};
  const nfds_t count = cancellation != nullptr ? 2 : 1;
  for (;;) {
    if (cancellation != nullptr && cancellation->requested()) return VI_ERROR_ABORT;
    const int ready = ::poll(p.data(), count, deadline.poll_timeout());
    if (cancellation != nullptr && cancellation->requested()) return VI_ERROR_ABORT;
    if (ready > 0) return VI_SUCCESS;  // readiness or an error: the next call reports which
    if (ready == 0) return VI_ERROR_TMO;
    if (errno != EINTR) return VI_ERROR_IO;
  }
}

ViStatus open_tcp_socket(const OpenRequest& request, std::unique_ptr<Transport>& out) {
  std::unique_ptr<TcpTransport> socket;
  const ViStatus status =
      TcpTransport::connect(request.name.host, request.name.port, request.deadline, socket);
  out = std::move(socket);
  return status;
}

ViStatus TcpTransport::send(const ViByte* data, std::size_t size, bool /*end*/,
                            const Deadline& deadline, std::size_t& sent) {
  return send_bytes(data, size, deadline, sent);
}

ViStatus TcpTransport::receive(ViByte* data, std::size_t capacity,
                               const ReadTermination& /*termination*/, const Deadline& deadline,
                               Received& received) {
  received = {};
  return receive_some(data, capacity, deadline, received.size);
}

ViStatus TcpTransport::receive_exact(ViByte* data, std::size_t size, const Deadline& deadline) {
  for (std::size_t got = 0; got < size;) {
    std::size_t n = 0;
    const ViStatus status = receive_some(data + got, size - got, deadline, n);
    if (status != VI_SUCCESS) return status;
    got += n;
  }
  return VI_SUCCESS;
}

ViStatus TcpTransport::send_bytes(const ViByte* data, std::size_t size, const Deadline& deadline,
                                  std::size_t& sent, bool cancellable) {
  sent = 0;
  while (sent < size) {
    const ssize_t n = ::send(fd_.get(), data + sent, size - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return status_from_errno(errno);
    const ViStatus status = wait(POLLOUT, deadline, cancellable);
    if (status != VI_SUCCESS) return status;
  }
  return VI_SUCCESS;
}

ViStatus TcpTransport::receive_some(ViByte* data, std::size_t capacity, const Deadline& deadline,
                                    std::size_t& received) {
  received = 0;
  for (;;) {
    // A reply is rarely there yet right after its query was sent: block in recv() itself for
    // most of the time left, and in poll() for the last stretch or a short time-out.
    const int left_ms = deadline.poll_timeout();  // -1: no time-out
    const int block_ms = left_ms < 0 ? 0 : blocking_receive_ms(left_ms);
    // recv() cannot be woken by a cancellation: a cancellable receive always waits in poll().
    const bool block_in_recv = (left_ms < 0 || block_ms > 0) && deadline.cancellation() == nullptr;
    ssize_t n = 0;
    // SO_RCVTIMEO 0 means no limit, as wanted without a time-out.
    if (block_in_recv && set_receive_timeout(block_ms)) {
      n = ::recv(fd_.get(), data, capacity, 0);
    } else {
      const ViStatus status = wait(POLLIN, deadline, true);
      if (status != VI_SUCCESS) return status;
      n = ::recv(fd_.get(), data, capacity, MSG_DONTWAIT);
    }
    if (n > 0) {
      received = static_cast<std::size_t>(n);
      return VI_SUCCESS;
    }
    if (n == 0) return VI_ERROR_CONN_LOST;
    if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) return status_from_errno(errno);
  }
}

ViStatus TcpTransport::discard_ready() {
  // Almost always nothing is waiting; poll() tells so more cheaply than a failing recv().
  pollfd p{fd_.get(), POLLIN, 0};
  if (::poll(&p, 1, 0) == 0) return VI_SUCCESS;
  std::array<ViByte, 4096> scratch;  // NOLINT: only written to
  // Bounded, so that a peer streaming without pause cannot keep us here.
  for (std::size_t dropped = 0; dropped < (std::size_t{1} << 20);) {
    const ssize_t n = ::recv(fd_.get(), scratch.data(), scratch.size(), MSG_DONTWAIT);
    if (n > 0) {
      dropped += static_cast<std::size_t>(n);
      continue;
    }
    if (n == 0) return VI_ERROR_CONN_LOST;
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return VI_SUCCESS;
    return status_from_errno(errno);
  }
  return VI_SUCCESS;
}

bool TcpTransport::set_receive_timeout(int ms) {
  if (ms == receive_timeout_ms_) return true;
  const timeval limit{ms / 1000, (ms % 1000) * 1000};
  if (::setsockopt(fd_.get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) != 0) return false;
  receive_timeout_ms_ = ms;
  return true;
}

void TcpTransport::interrupt() {
  ::shutdown(fd_.get(), SHUT_RDWR);
}

ViStatus TcpTransport::get_flag(int level, int option, void* value) const {
  int flag = 0;
  socklen_t length = sizeof flag;
  if (::getsockopt(fd_.get(), level, option, &flag, &length) != 0) return VI_ERROR_SYSTEM_ERROR;
  store_attribute<ViBoolean>(value, flag != 0 ? VI_TRUE : VI_FALSE);
  return VI_SUCCESS;
}

ViStatus TcpTransport::set_flag(int level, int option, ViAttrState value) {
  if (!is_boolean(value)) return VI_ERROR_NSUP_ATTR_STATE;
  const int flag = value == VI_TRUE ? 1 : 0;
  if (::setsockopt(fd_.get(), level, option, &flag, sizeof flag) != 0) return VI_ERROR_SYSTEM_ERROR;
  return VI_SUCCESS;
}

ViStatus TcpTransport::get_attribute(ViAttr attribute, void* value) const {
  switch (attribute) {
    case VI_ATTR_TCPIP_ADDR:
      store_attribute_text(value, address_);
      return VI_SUCCESS;
    case VI_ATTR_TCPIP_HOSTNAME:
      store_attribute_text(value, host_);
      return VI_SUCCESS;
    case VI_ATTR_TCPIP_PORT:
      store_attribute<ViUInt16>(value, port_);
      return VI_SUCCESS;
    case VI_ATTR_TCPIP_NODELAY:  // read back from the socket, not from a copy
      return get_flag(IPPROTO_TCP, TCP_NODELAY, value);
    case VI_ATTR_TCPIP_KEEPALIVE:
      return get_flag(SOL_SOCKET, SO_KEEPALIVE, value);
    default:
      return VI_ERROR_NSUP_ATTR;
  }
}

ViStatus TcpTransport::set_attribute(ViAttr attribute, ViAttrState value) {
  switch (attribute) {
    case VI_ATTR_TCPIP_ADDR:
    case VI_ATTR_TCPIP_HOSTNAME:
    case VI_ATTR_TCPIP_PORT:
      return VI_ERROR_ATTR_READONLY;
    case VI_ATTR_TCPIP_NODELAY:
      return set_flag(IPPROTO_TCP, TCP_NODELAY, value);
    case VI_ATTR_TCPIP_KEEPALIVE:
      return set_flag(SOL_SOCKET, SO_KEEPALIVE, value);
    default:
      return VI_ERROR_NSUP_ATTR;
  }
}

}  // namespace zr48::visa
