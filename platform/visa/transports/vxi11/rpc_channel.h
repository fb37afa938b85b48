// An ONC-RPC client on one TCP connection: one call at a time, each reply matched to its call
// by xid (replies to calls we stopped waiting for are dropped), records reassembled from
// fragments of any size up to a bound, every wait bounded by a deadline.
#ifndef ZR48_PLATFORM_VISA_TRANSPORTS_VXI11_RPC_CHANNEL_H
#define ZR48_PLATFORM_VISA_TRANSPORTS_VXI11_RPC_CHANNEL_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "visa/transports/tcp_socket.h"
#include "visa/wire/rpc.h"

namespace zr48::visa {

class RpcChannel {
 public:
  // Largest reply record taken; a longer one means the peer is not speaking RPC to us.
  static constexpr std::size_t kMaxRecord = std::size_t{16} << 20;

  static ViStatus connect(const std::string& host, ViUInt16 port, std::uint32_t program,
                          std::uint32_t version, const Deadline& deadline,
                          std::unique_ptr<RpcChannel>& out);

  // Sends one call and waits for its reply. VI_ERROR_IO: the reply refused the call or does
  // not decode; VI_ERROR_CONN_LOST: the connection or its record framing is gone.
  // Views in `result` stay valid until the next call.
  template <typename Args, typename Result>
  ViStatus call(std::uint32_t procedure, const Args& args, Result& result,
                const Deadline& deadline) {
    wire::rpc::build_call(out_, {next_xid(), program_, version_, procedure}, args);
    wire::Bytes results;
    ViStatus status = exchange(deadline, results);
    if (status != VI_SUCCESS) return status;
    wire::XdrReader reader(results);
    return decode(reader, result) ? VI_SUCCESS : VI_ERROR_IO;
  }

  // Waits for the reply to the call last sent (after a time-out, to resynchronise).
  ViStatus await_last_reply(const Deadline& deadline);

  void interrupt() { socket_->interrupt(); }
  TcpTransport& socket() { return *socket_; }
  const TcpTransport& socket() const { return *socket_; }
  bool broken() const { return broken_; }

 private:
  RpcChannel(std::unique_ptr<TcpTransport> socket, std::uint32_t program, std::uint32_t version);
  std::uint32_t next_xid() { return xid_ = xid_ + 1; }
  ViStatus exchange(const Deadline& deadline, wire::Bytes& results);
  ViStatus await_reply(const Deadline& deadline, wire::Bytes& results);
  ViStatus next_record(const Deadline& deadline, wire::Bytes& record);
  ViStatus lost();

  std::unique_ptr<TcpTransport> socket_;
  std::uint32_t program_;
  std::uint32_t version_;
  std::uint32_t xid_;
  bool broken_ = false;
  bool awaiting_ = false;  // a call was sent and its reply not read yet
  std::vector<std::uint8_t> out_;
  std::vector<std::uint8_t> pending_;  // bytes received but not yet assembled
  std::size_t pending_at_ = 0;
  std::size_t pending_size_ = 0;
  wire::rpc::RecordAssembler assembler_{kMaxRecord};
};

}  // namespace zr48::visa

#endif
