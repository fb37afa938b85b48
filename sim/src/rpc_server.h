// ONC-RPC serving shared by the portmapper and the VXI-11 channels: records off a TCP stream,
// the checks every call header gets, and error replies.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "net.h"
#include "visa/wire/rpc.h"

namespace zr48::sim {

using Record = std::vector<std::uint8_t>;

// What to send for one call: whole records (empty: nothing), and whether to close afterwards.
struct RpcOutcome {
  Record bytes;
  bool close = false;
};
using RpcHandler = std::function<RpcOutcome(wire::Bytes record)>;

// Reads records from `fd` until it closes, a record is larger than `max_record` (the stream is
// lost) or the server stops, and sends what `handle` returns for each.
void serve_rpc_stream(const StopSignal& stop, int fd, std::size_t max_record,
                      const RpcHandler& handle);

// Decodes a call header for `program` and `version`. Returns nullopt when the call may go on
// (the reader then stands at the arguments), else the reply to send (empty for no reply).
std::optional<Record> check_call(wire::XdrReader& in, wire::rpc::CallHeader& call,
                                 std::uint32_t program, std::uint32_t version);

Record accepted_error(std::uint32_t xid, wire::rpc::AcceptStat stat);

// Decodes `Args` exactly (GARBAGE_ARGS otherwise) and replies with what `f(args)` returns.
template <typename Args, typename F>
Record reply_to(wire::XdrReader& in, std::uint32_t xid, F f) {
  Args args;
  if (!decode(in, args) || !in.finished()) {
    return accepted_error(xid, wire::rpc::AcceptStat::kGarbageArgs);
  }
  Record out;
  wire::rpc::build_reply(out, xid, f(args));
  return out;
}

}  // namespace zr48::sim
