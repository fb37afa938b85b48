// A portmapper and VXI-11 core server on a loopback address of its own, answering every call
// plainly except one procedure, whose reply records a test scripts (knowing the call's xid),
// for faults the simulated instrument cannot produce: refusals and truncated results that
// must carry the right xid.
#ifndef ZR48_TESTS_VISA_SCRIPTED_RPC_PEER_H
#define ZR48_TESTS_VISA_SCRIPTED_RPC_PEER_H

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "visa/wire/portmap.h"
#include "visa/wire/rpc.h"
#include "visa/wire/vxi11.h"

namespace zr48::visa::testing {

class ScriptedRpcPeer {
 public:
  // Raw bytes to send for the first call of the scripted procedure, record mark included; an
  // empty string sends nothing. Later calls are answered plainly.
  using Script = std::function<std::string(std::uint32_t xid)>;

  ScriptedRpcPeer(const std::string& address, std::uint32_t procedure, Script script)
      : procedure_(procedure), script_(std::move(script)) {
    portmapper_ = listen_on(address, 111);
    core_ = listen_on(address, 0);
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    ::getsockname(core_, reinterpret_cast<sockaddr*>(&bound), &length);
    core_port_ = ntohs(bound.sin_port);
    if (::pipe(stop_) == 0 && portmapper_ >= 0 && core_ >= 0) {
      worker_ = std::thread([this] { serve(); });
    }
  }
  ~ScriptedRpcPeer() {
    if (worker_.joinable()) {
      (void)!::write(stop_[1], "x", 1);
      worker_.join();
    }
    for (int fd : {portmapper_, core_, stop_[0], stop_[1]}) {
      if (fd >= 0) ::close(fd);
    }
  }
  ScriptedRpcPeer(const ScriptedRpcPeer&) = delete;
  ScriptedRpcPeer& operator=(const ScriptedRpcPeer&) = delete;

  bool listening() const { return worker_.joinable(); }

  // A whole reply record: accepted, SUCCESS, then `results`.
  template <typename Result>
  static std::string reply(std::uint32_t xid, const Result& result) {
    std::vector<std::uint8_t> record;
    wire::rpc::build_reply(record, xid, result);
    return {record.begin(), record.end()};
  }
  // A record whose body is exactly these XDR words after the mark.
  static std::string record(const std::vector<std::uint32_t>& words) {
    std::vector<std::uint8_t> bytes;
    wire::rpc::begin_record(bytes);
    wire::XdrWriter writer(bytes);
    for (std::uint32_t w : words) writer.u32(w);
    wire::rpc::finish_record(bytes);
    return {bytes.begin(), bytes.end()};
  }

 private:
  static int listen_on(const std::string& address, std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    ::inet_pton(AF_INET, address.c_str(), &a.sin_addr);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 8) != 0) {
      ::close(fd);
      return -1;
    }
    return fd;
  }

  struct Connection {
    int fd;
    wire::rpc::RecordAssembler assembler{1 << 20};
  };

  void serve() {
    std::vector<Connection> connections;
    for (;;) {
      std::vector<pollfd> fds = {
          {stop_[0], POLLIN, 0}, {portmapper_, POLLIN, 0}, {core_, POLLIN, 0}};
      for (const auto& c : connections) fds.push_back({c.fd, POLLIN, 0});
      if (::poll(fds.data(), fds.size(), -1) < 0) continue;
      if (fds[0].revents != 0) break;
      for (int i : {1, 2}) {
        if (fds[i].revents != 0)
          connections.push_back({::accept4(fds[i].fd, nullptr, nullptr, SOCK_CLOEXEC)});
      }
      for (std::size_t i = 3; i < fds.size(); ++i) {
        if (fds[i].revents == 0) continue;
        Connection& c = connections[i - 3];
        std::uint8_t buffer[4096];
        const ssize_t n = ::recv(c.fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
          ::close(c.fd);
          c.fd = -1;
          continue;
        }
        wire::Bytes in(buffer, static_cast<std::size_t>(n));
        while (!in.empty()) {
          std::size_t used = 0;
          if (c.assembler.feed(in, used) == wire::rpc::RecordAssembler::State::kComplete) {
            answer(c.fd, c.assembler.record());
          }
          in = in.subspan(used);
        }
      }
      std::erase_if(connections, [](const Connection& c) { return c.fd < 0; });
    }
    for (const auto& c : connections) ::close(c.fd);
  }

  void answer(int fd, wire::Bytes record) {
    namespace vxi = wire::vxi11;
    wire::XdrReader in(record);
    wire::rpc::CallHeader call;
    if (wire::rpc::decode_call_header(in, call) != wire::rpc::CallCheck::kOk) return;
    std::string out;
    if (call.procedure == procedure_ && !scripted_) {
      scripted_ = true;
      out = script_(call.xid);
    } else if (call.program == wire::portmap::kProgram) {
      out = reply(call.xid, wire::portmap::PortResult{core_port_});
    } else if (call.procedure == vxi::kCreateLink) {
      out = reply(call.xid, vxi::CreateLinkResp{0, 7, 0, 4096});
    } else if (call.procedure == vxi::kDeviceWrite) {
      vxi::DeviceWriteParms write;
      (void)vxi::decode(in, write);
      out = reply(call.xid, vxi::DeviceWriteResp{0, static_cast<std::uint32_t>(write.data.size())});
    } else if (call.procedure == vxi::kDeviceRead) {
      static constexpr std::uint8_t kOk[] = {'O', 'K', '\n'};
      out = reply(call.xid, vxi::DeviceReadResp{0, vxi::kReasonEnd, wire::Bytes(kOk, 3)});
    } else {
      out = reply(call.xid, vxi::DeviceError{0});
    }
    if (!out.empty()) (void)!::send(fd, out.data(), out.size(), MSG_NOSIGNAL);
  }

  std::uint32_t procedure_;
  Script script_;
  bool scripted_ = false;
  int portmapper_ = -1;
  int core_ = -1;
  std::uint16_t core_port_ = 0;
  int stop_[2] = {-1, -1};
  std::thread worker_;
};

}  // namespace zr48::visa::testing

#endif
