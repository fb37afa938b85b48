// The client's DEVICE_INTR server.
#include "visa/transports/vxi11/interrupt_server.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "visa/wire/rpc.h"
#include "visa/wire/vxi11.h"

namespace zr48::visa {

namespace rpc = wire::rpc;
namespace vxi = wire::vxi11;

ViStatus InterruptServer::start(const sockaddr_in& local, std::vector<std::uint8_t> handle,
                                std::function<void()> notify,
                                std::unique_ptr<InterruptServer>& out) {
  UniqueFd listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  UniqueFd wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (listener.get() < 0 || wake.get() < 0) return VI_ERROR_SYSTEM_ERROR;
  sockaddr_in address = local;
  address.sin_port = 0;
  socklen_t size = sizeof address;
  if (::bind(listener.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener.get(), 1) != 0 ||
      ::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    return VI_ERROR_SYSTEM_ERROR;
  }
  out.reset(new InterruptServer(std::move(listener), std::move(wake), std::move(handle),
                                std::move(notify)));
  out->address_ = ntohl(address.sin_addr.s_addr);
  out->port_ = ntohs(address.sin_port);
  out->thread_ = std::thread([server = out.get()] { server->run(); });
  return VI_SUCCESS;
}

InterruptServer::InterruptServer(UniqueFd listener, UniqueFd wake, std::vector<std::uint8_t> handle,
                                 std::function<void()> notify)
    : listener_(std::move(listener)),
      wake_(std::move(wake)),
      handle_(std::move(handle)),
      notify_(std::move(notify)) {}

InterruptServer::~InterruptServer() {
  const std::uint64_t one = 1;
  (void)!::write(wake_.get(), &one, sizeof one);
  if (thread_.joinable()) thread_.join();
}

bool InterruptServer::wait_readable(int fd) const {
  for (;;) {
    pollfd fds[2] = {{fd, POLLIN, 0}, {wake_.get(), POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (fds[1].revents != 0) return false;
    return true;
  }
}

void InterruptServer::run() {
  // The instrument connects once; should it connect again (a new channel), serve that one.
  while (wait_readable(listener_.get())) {
    const UniqueFd connection(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
    if (connection.get() < 0) continue;
    if (!serve(connection.get())) return;
  }
}

bool InterruptServer::serve(int connection) {
  rpc::RecordAssembler assembler(kMaxRecord);
  std::uint8_t buffer[1024];
  for (;;) {
    if (!wait_readable(connection)) return false;
    const ssize_t got = ::recv(connection, buffer, sizeof buffer, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return true;  // closed by the instrument
    wire::Bytes in(buffer, static_cast<std::size_t>(got));
    while (!in.empty()) {
      std::size_t consumed = 0;
      const auto state = assembler.feed(in, consumed);
      in = in.subspan(consumed);
      if (state == rpc::RecordAssembler::State::kTooLarge) return true;  // not RPC: drop it
      if (state == rpc::RecordAssembler::State::kComplete) take_call(assembler.record());
    }
  }
}

void InterruptServer::take_call(wire::Bytes record) {
  wire::XdrReader reader(record);
  rpc::CallHeader call;
  if (rpc::decode_call_header(reader, call) != rpc::CallCheck::kOk) return;
  if (call.program != vxi::kInterruptProgram || call.procedure != vxi::kDeviceIntrSrq) return;
  vxi::DeviceSrqParms parms;
  if (!vxi::decode(reader, parms)) return;
  if (std::ranges::equal(parms.handle, handle_)) notify_();
}

}  // namespace zr48::visa
