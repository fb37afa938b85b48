// ONC-RPC client channel.
#include "visa/transports/vxi11/rpc_channel.h"

#include <chrono>

namespace zr48::visa {

RpcChannel::RpcChannel(std::unique_ptr<TcpTransport> socket, std::uint32_t program,
                       std::uint32_t version)
    : socket_(std::move(socket)),
      program_(program),
      version_(version),
      // Distinct starting points keep a reused connection's replies apart between sessions.
      xid_(static_cast<std::uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count())),
      pending_(64 * 1024) {}

ViStatus RpcChannel::connect(const std::string& host, ViUInt16 port, std::uint32_t program,
                             std::uint32_t version, const Deadline& deadline,
                             std::unique_ptr<RpcChannel>& out) {
  std::unique_ptr<TcpTransport> socket;
  const ViStatus status = TcpTransport::connect(host, port, deadline, socket);
  if (status != VI_SUCCESS) return status;
  out.reset(new RpcChannel(std::move(socket), program, version));
  return VI_SUCCESS;
}

ViStatus RpcChannel::lost() {
  broken_ = true;
  socket_->interrupt();
  return VI_ERROR_CONN_LOST;
}

ViStatus RpcChannel::exchange(const Deadline& deadline, wire::Bytes& results) {
  if (broken_) return VI_ERROR_CONN_LOST;
  std::size_t sent = 0;
  // A cancellation ends the wait for the reply, never a record half sent.
  const ViStatus status = socket_->send_bytes(out_.data(), out_.size(), deadline, sent, false);
  if (status != VI_SUCCESS) {
    // Half a record on the wire cannot be taken back.
    return sent > 0 || status == VI_ERROR_CONN_LOST ? lost() : status;
  }
  awaiting_ = true;
  return await_reply(deadline, results);
}

ViStatus RpcChannel::await_last_reply(const Deadline& deadline) {
  if (!awaiting_) return VI_SUCCESS;
  wire::Bytes ignored;
  return await_reply(deadline, ignored);
}

ViStatus RpcChannel::await_reply(const Deadline& deadline, wire::Bytes& results) {
  for (;;) {
    wire::Bytes record;
    const ViStatus status = next_record(deadline, record);
    if (status != VI_SUCCESS) return status;
    wire::XdrReader reader(record);
    wire::rpc::ReplyHeader reply;
    const bool well_formed = wire::rpc::decode_reply_header(reader, reply);
    if (reply.xid != xid_) continue;  // a late reply to a call given up on: dropped
    awaiting_ = false;
    if (!well_formed || !reply.success()) return VI_ERROR_IO;
    results = record.subspan(record.size() - reader.remaining());
    return VI_SUCCESS;
  }
}

ViStatus RpcChannel::next_record(const Deadline& deadline, wire::Bytes& record) {
  for (;;) {
    if (pending_at_ < pending_size_) {
      std::size_t consumed = 0;
      const auto state = assembler_.feed(
          wire::Bytes(pending_.data() + pending_at_, pending_size_ - pending_at_), consumed);
      pending_at_ += consumed;
      if (state == wire::rpc::RecordAssembler::State::kTooLarge) return lost();
      if (state == wire::rpc::RecordAssembler::State::kComplete) {
        record = assembler_.record();
        return VI_SUCCESS;
      }
    }
    // A partial record stays assembled across a time-out; the next call continues it.
    std::size_t received = 0;
    const ViStatus status =
        socket_->receive_some(pending_.data(), pending_.size(), deadline, received);
    if (status == VI_ERROR_CONN_LOST) return lost();
    if (status != VI_SUCCESS) return status;
    pending_at_ = 0;
    pending_size_ = received;
  }
}

}  // namespace zr48::visa
