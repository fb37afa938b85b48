// The portmapper (program 100000, version 2) over TCP and UDP: NULL, GETPORT and DUMP for the
// VXI-11 core channel. Clients find the instrument's core port through it.

#include <netinet/in.h>

#include <array>
#include <cerrno>
#include <thread>

#include "rpc_server.h"
#include "services.h"
#include "visa/wire/portmap.h"
#include "visa/wire/vxi11.h"

namespace zr48::sim {
namespace {

namespace pm = wire::portmap;
namespace rpc = wire::rpc;

struct DumpList {
  std::vector<pm::Mapping> mappings;
};
// DUMP's result: an XDR list, each entry behind a TRUE, the end a FALSE.
void encode(wire::XdrWriter& out, const DumpList& list) {
  for (const auto& mapping : list.mappings) {
    out.boolean(true);
    pm::encode(out, mapping);
  }
  out.boolean(false);
}

class PortmapperService final : public Service {
 public:
  PortmapperService(Device& device, BoundSocket tcp, BoundSocket udp, std::uint16_t core_port)
      : device_(device),
        udp_(std::move(udp.fd)),
        mappings_{{{wire::vxi11::kCoreProgram, wire::vxi11::kVersion, pm::kIpProtoTcp, core_port}}},
        tcp_(
            device.stop, std::move(tcp),
            [this](int fd, std::size_t) {
              serve_rpc_stream(device_.stop, fd, 1024, [this](wire::Bytes record) {
                return RpcOutcome{answer(record), false};
              });
            },
            kMaxConnections) {}
  std::uint16_t port() const { return tcp_.port(); }
  void start() override {
    tcp_.start();
    udp_thread_ = std::thread([this] { serve_udp(); });
  }
  void join() override {
    tcp_.join();
    if (udp_thread_.joinable()) udp_thread_.join();
  }

 private:
  Record answer(wire::Bytes record) const;
  void serve_udp();

  Device& device_;
  UniqueFd udp_;
  std::vector<pm::Mapping> mappings_;
  TcpService tcp_;
  std::thread udp_thread_;
};

Record PortmapperService::answer(wire::Bytes record) const {
  wire::XdrReader in(record);
  rpc::CallHeader call;
  if (auto refused = check_call(in, call, pm::kProgram, pm::kVersion)) return *refused;
  switch (call.procedure) {
    case pm::kNull:
      return reply_to<rpc::Void>(in, call.xid, [](const rpc::Void&) { return rpc::Void{}; });
    case pm::kGetPort:
      return reply_to<pm::Mapping>(in, call.xid, [this](const pm::Mapping& wanted) {
        for (const auto& m : mappings_) {
          if (m.program == wanted.program && m.version == wanted.version &&
              m.protocol == wanted.protocol) {
            return pm::PortResult{m.port};
          }
        }
        return pm::PortResult{0};
      });
    case pm::kDump:
      return reply_to<rpc::Void>(in, call.xid,
                                 [this](const rpc::Void&) { return DumpList{mappings_}; });
    default:
      return accepted_error(call.xid, rpc::AcceptStat::kProcUnavail);
  }
}

void PortmapperService::serve_udp() {
  std::array<std::uint8_t, 1500> datagram{};
  while (device_.stop.wait_readable(udp_.get(), -1)) {
    sockaddr_storage from{};
    socklen_t from_length = sizeof from;
    const ssize_t n = ::recvfrom(udp_.get(), datagram.data(), datagram.size(), MSG_DONTWAIT,
                                 reinterpret_cast<sockaddr*>(&from), &from_length);
    if (n <= 0) continue;
    // A datagram is one call without a record mark; so is its reply.
    Record reply = answer(wire::Bytes(datagram.data(), static_cast<std::size_t>(n)));
    if (reply.size() <= rpc::kRecordMarkSize) continue;
    ::sendto(udp_.get(), reply.data() + rpc::kRecordMarkSize, reply.size() - rpc::kRecordMarkSize,
             MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from), from_length);
  }
}

}  // namespace

std::unique_ptr<Service> make_portmapper_service(Device& device, const std::string& address,
                                                 std::uint16_t port, std::uint16_t core_port,
                                                 std::uint16_t& bound_port) {
  BoundSocket tcp = bind_socket(address, port, SOCK_STREAM);
  BoundSocket udp = bind_socket(address, tcp.port, SOCK_DGRAM);
  auto service =
      std::make_unique<PortmapperService>(device, std::move(tcp), std::move(udp), core_port);
  bound_port = service->port();
  return service;
}

}  // namespace zr48::sim
