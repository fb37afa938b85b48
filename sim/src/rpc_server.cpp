#include "rpc_server.h"

#include <array>
#include <cerrno>
#include <string_view>

namespace zr48::sim {

namespace rpc = wire::rpc;

void serve_rpc_stream(const StopSignal& stop, int fd, std::size_t max_record,
                      const RpcHandler& handle) {
  rpc::RecordAssembler assembler(max_record);
  std::array<std::uint8_t, 64 * 1024> buffer{};
  while (stop.wait_readable(fd, -1)) {
    const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    wire::Bytes in(buffer.data(), static_cast<std::size_t>(n));
    while (!in.empty()) {
      std::size_t consumed = 0;
      const auto state = assembler.feed(in, consumed);
      in = in.subspan(consumed);
      if (state == rpc::RecordAssembler::State::kTooLarge) return;
      if (state == rpc::RecordAssembler::State::kNeedMore) break;
      const RpcOutcome outcome = handle(assembler.record());
      if (!outcome.bytes.empty() &&
          !stop.send_all(fd, std::string_view(reinterpret_cast<const char*>(outcome.bytes.data()),
                                              outcome.bytes.size()))) {
        return;
      }
      if (outcome.close) return;
    }
  }
}

std::optional<Record> check_call(wire::XdrReader& in, rpc::CallHeader& call, std::uint32_t program,
                                 std::uint32_t version) {
  switch (rpc::decode_call_header(in, call)) {
    case rpc::CallCheck::kOk:
      break;
    case rpc::CallCheck::kGarbage:
    case rpc::CallCheck::kNotCall:
      return Record{};
    case rpc::CallCheck::kRpcMismatch: {
      Record out;
      rpc::begin_record(out);
      wire::XdrWriter writer(out);
      rpc::encode_denied_reply(writer, call.xid, rpc::RejectStat::kRpcMismatch, rpc::kRpcVersion,
                               rpc::kRpcVersion);
      rpc::finish_record(out);
      return out;
    }
  }
  if (call.program != program) return accepted_error(call.xid, rpc::AcceptStat::kProgUnavail);
  if (call.version != version) {
    Record out;
    rpc::begin_record(out);
    wire::XdrWriter writer(out);
    rpc::encode_accepted_reply(writer, call.xid, rpc::AcceptStat::kProgMismatch, version, version);
    rpc::finish_record(out);
    return out;
  }
  return std::nullopt;
}

Record accepted_error(std::uint32_t xid, rpc::AcceptStat stat) {
  Record out;
  rpc::begin_record(out);
  wire::XdrWriter writer(out);
  rpc::encode_accepted_reply(writer, xid, stat);
  rpc::finish_record(out);
  return out;
}

}  // namespace zr48::sim
