// SOCKET: SCPI lines over a plain TCP connection, each reply a line (see LineSession).

#include <array>
#include <cerrno>

#include "line_session.h"
#include "services.h"
#include "zr48sim/server.h"

namespace zr48::sim {
namespace {

// A connection's socket as the stream its lines are answered on.
class SocketStream final : public ByteStream {
 public:
  SocketStream(const StopSignal& stop, int fd) : stop_(stop), fd_(fd) {}
  bool send(std::string_view bytes) override { return stop_.send_all(fd_, bytes); }

 private:
  const StopSignal& stop_;
  int fd_;
};

class SocketService final : public Service {
 public:
  SocketService(Device& device, BoundSocket listener)
      : device_(device),
        tcp_(
            device.stop, std::move(listener),
            [this](int fd, std::size_t session) { serve(fd, session); }, kMaxConnections,
            [&device] { return device.open_session(); }) {}
  std::uint16_t port() const { return tcp_.port(); }
  void start() override { tcp_.start(); }
  void join() override { tcp_.join(); }

 private:
  void serve(int fd, std::size_t session);

  Device& device_;
  TcpService tcp_;
};

void SocketService::serve(int fd, std::size_t session) {
  SocketStream stream(device_.stop, fd);
  LineSession lines(device_, stream);
  std::array<char, 4096> buffer{};
  bool open = true;
  while (open && device_.stop.wait_readable(fd, -1)) {
    const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    const std::string_view chunk(buffer.data(), static_cast<std::size_t>(n));
    device_.record(session, chunk);
    open = lines.feed(chunk);
  }
}

}  // namespace

std::unique_ptr<Service> make_socket_service(Device& device, const std::string& address,
                                             std::uint16_t port, std::uint16_t& bound_port) {
  auto service = std::make_unique<SocketService>(device, bind_socket(address, port, SOCK_STREAM));
  bound_port = service->port();
  return service;
}

}  // namespace zr48::sim
