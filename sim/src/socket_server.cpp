// SOCKET: SCPI lines over a plain TCP connection, each reply a line.

#include <array>
#include <cerrno>

#include "services.h"
#include "zr48sim/server.h"

namespace zr48::sim {
namespace {

// The one place this service reaches the instrument.
std::string run_line(Device& device, std::string_view line) {
  return device.execute(line);
}

// The bytes of a line still to come. A line longer than Server::kMaxLineBytes is dropped up to
// its line feed with -363.
class LineBuffer {
 public:
  // Passes each line that `bytes` completes to `run` (which returns false to stop taking lines);
  // false when `run` did.
  template <typename Run>
  bool feed(Device& device, std::string_view bytes, Run run) {
    pending_.append(bytes);
    std::size_t start = 0;
    bool go_on = true;
    for (std::size_t stop; go_on && (stop = pending_.find('\n', start)) != std::string::npos;
         start = stop + 1) {
      if (std::exchange(discarding_, false)) continue;
      go_on = run(std::string_view(pending_).substr(start, stop - start + 1));
    }
    pending_.erase(0, start);
    if (pending_.size() > Server::kMaxLineBytes) {
      pending_.clear();
      if (!discarding_) device.report_input_overrun();
      discarding_ = true;
    }
    return go_on;
  }

 private:
  std::string pending_;
  bool discarding_ = false;  // inside an over-long line, up to its line feed
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
  bool handle_line(int fd, std::string_view line);  // false: close the connection

  Device& device_;
  TcpService tcp_;
};

void SocketService::serve(int fd, std::size_t session) {
  LineBuffer input;
  std::array<char, 4096> buffer{};
  bool open = true;
  while (open && device_.stop.wait_readable(fd, -1)) {
    const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    const std::string_view chunk(buffer.data(), static_cast<std::size_t>(n));
    device_.record(session, chunk);
    open = input.feed(device_, chunk, [&](std::string_view line) { return handle_line(fd, line); });
  }
}

bool SocketService::handle_line(int fd, std::string_view line) {
  if (device_.close_before_line()) return false;
  const std::string reply = run_line(device_, line);
  if (reply.empty() && line.find('?') == std::string_view::npos) return true;
  const ReplyHooks hooks = device_.take_reply_hooks();
  if (hooks.silent) return true;
  const std::string& bytes = hooks.wire ? *hooks.wire : hooks.replacement.value_or(reply);
  if (bytes.empty()) return true;  // a query that failed: nothing to say
  if (hooks.delay.count() > 0 && !device_.stop.sleep_for(static_cast<int>(hooks.delay.count()))) {
    return false;
  }
  if (hooks.cut) {
    device_.stop.send_all(fd,
                          std::string_view(bytes).substr(0, std::min(*hooks.cut, bytes.size())));
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
