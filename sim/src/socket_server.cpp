// SOCKET: SCPI lines over a plain TCP connection, each reply a line.

#include <array>
#include <cerrno>

#include "services.h"

namespace zr48::sim {
namespace {

// The one place this service reaches the instrument.
std::string run_line(Device& device, std::string_view line) {
  return device.execute(line);
}

class SocketService final : public Service {
 public:
  SocketService(Device& device, BoundSocket listener)
      : device_(device),
        tcp_(
            device.stop, std::move(listener), [this](int fd) { serve(fd); }, kMaxConnections) {}
  std::uint16_t port() const { return tcp_.port(); }
  void start() override { tcp_.start(); }
  void join() override { tcp_.join(); }

 private:
  void serve(int fd);
  bool handle_line(int fd, std::string_view line);  // false: close the connection

  Device& device_;
  TcpService tcp_;
};

void SocketService::serve(int fd) {
  const std::size_t session = device_.open_session();
  InputBuffer input;
  std::array<char, 4096> buffer{};
  bool open = true;
  while (open && device_.stop.wait_readable(fd, -1)) {
    const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    const std::string_view chunk(buffer.data(), static_cast<std::size_t>(n));
    device_.record(session, chunk);
    open = input.feed(device_, chunk, false,
                      [&](std::string_view line) { return handle_line(fd, line); });
  }
}

bool SocketService::handle_line(int fd, std::string_view line) {
  if (device_.close_before_line()) return false;
  const std::string reply = run_line(device_, line);
  const auto shaped = device_.shape_reply(reply, line.find('?') != std::string_view::npos);
  if (!shaped) return true;
  const std::string& bytes = shaped->wire ? *shaped->wire : shaped->bytes;
  if (shaped->delay.count() > 0 &&
      !device_.stop.sleep_for(static_cast<int>(shaped->delay.count()))) {
    return false;
  }
  if (shaped->cut) {
    device_.stop.send_all(fd,
                          std::string_view(bytes).substr(0, std::min(*shaped->cut, bytes.size())));
    return false;
  }
  return device_.stop.send_all(fd, bytes);
}

}  // namespace

std::unique_ptr<Service> make_socket_service(Device& device, const std::string& address,
                                             std::uint16_t port, std::uint16_t& bound_port) {
  auto service = std::make_unique<SocketService>(device, bind_socket(address, port, SOCK_STREAM));
  bound_port = service->port();
  return service;
}

}  // namespace zr48::sim
