// Small VXI-11 and HiSLIP clients for the simulator's tests, on TestClient and the wire codecs,
// and one message-session face over all three protocols so that a test can walk them.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "test_client.h"
#include "visa/wire/hislip.h"
#include "visa/wire/rpc.h"
#include "visa/wire/vxi11.h"
#include "zr48sim/server.h"

namespace zr48::sim::testing {

using Record = std::vector<std::uint8_t>;

// ONC-RPC calls over one TCP connection.
class RpcClient {
 public:
  explicit RpcClient(std::uint16_t port, const char* host = "127.0.0.1") : tcp_(port, host) {}
  bool valid() const { return tcp_.valid(); }
  TestClient& tcp() { return tcp_; }
  std::uint32_t last_xid() const { return xid_; }

  template <typename Args>
  std::optional<Record> call(std::uint32_t program, std::uint32_t version, std::uint32_t procedure,
                             const Args& args, int timeout_ms = TestClient::kWaitMs) {
    Record out;
    wire::rpc::build_call(out, {++xid_, program, version, procedure}, args);
    if (!tcp_.send({reinterpret_cast<const char*>(out.data()), out.size()})) return std::nullopt;
    return read_record(timeout_ms);
  }
  // The next record without its mark; nullopt on time-out or close.
  std::optional<Record> read_record(int timeout_ms = TestClient::kWaitMs);

 private:
  TestClient tcp_;
  std::uint32_t xid_ = 100;
};

// Decodes a reply; `result` only for an accepted SUCCESS.
template <typename Result>
bool decode_result(const Record& record, Result& result, wire::rpc::ReplyHeader* header = nullptr) {
  wire::XdrReader in(record);
  wire::rpc::ReplyHeader reply;
  if (!wire::rpc::decode_reply_header(in, reply)) return false;
  if (header != nullptr) *header = reply;
  if (!reply.success()) return false;
  return decode(in, result) && in.finished();
}

// One VXI-11 link on a fresh core connection.
class Vxi11Link {
 public:
  Vxi11Link(std::uint16_t core_port, const char* host = "127.0.0.1",
            std::string_view device = "inst0");
  std::int32_t create_error() const { return created_.error; }
  const wire::vxi11::CreateLinkResp& created() const { return created_; }
  RpcClient& rpc() { return rpc_; }

  // Each returns the reply's error code, or -1 when no well-formed reply came.
  std::int32_t write(std::string_view data, std::int32_t flags = wire::vxi11::kFlagEnd,
                     std::uint32_t lock_timeout = 0);
  // One device_read; `data` and `reason` filled in.
  std::int32_t read(std::string& data, std::int32_t& reason, std::uint32_t io_timeout = 3000,
                    std::uint32_t request_size = 4096, std::int32_t flags = 0,
                    std::uint8_t term_char = 0);
  template <typename Args, typename Result>
  std::int32_t simple(std::uint32_t procedure, const Args& args, Result& result) {
    const auto reply = rpc_.call(wire::vxi11::kCoreProgram, wire::vxi11::kVersion, procedure, args);
    return reply && decode_result(*reply, result) ? result.error : -1;
  }
  std::int32_t generic(std::uint32_t procedure, std::int32_t flags = 0);
  std::int32_t lock(std::int32_t flags, std::uint32_t lock_timeout);
  std::int32_t unlock();

 private:
  RpcClient rpc_;
  wire::vxi11::CreateLinkResp created_{-1, 0, 0, 0};
};

struct HislipMessage {
  wire::hislip::Header header;
  std::string payload;
};

// A HiSLIP session: both channels, initialized.
class HislipClient {
 public:
  HislipClient(std::uint16_t port, std::uint16_t version = wire::hislip::kVersion10,
               std::string_view sub_address = "hislip0", const char* host = "127.0.0.1");
  bool ready() const { return ready_; }
  const HislipMessage& init_response() const { return init_; }
  TestClient& sync() { return sync_; }
  TestClient& async() { return async_; }

  bool send(TestClient& channel, wire::hislip::MessageType type, std::uint8_t control,
            std::uint32_t parameter, std::string_view payload = {});
  std::optional<HislipMessage> read(TestClient& channel, int timeout_ms = TestClient::kWaitMs);
  // Data with END: sends `text` as DataEnd with the next MessageID.
  bool write(std::string_view text);
  std::uint32_t last_message_id() const { return message_id_ - 2; }

 private:
  TestClient sync_;
  TestClient async_;
  HislipMessage init_;
  bool ready_ = false;
  std::uint32_t message_id_ = wire::hislip::kFirstMessageId;
};

enum class Protocol { socket, vxi11, hislip };
std::string protocol_name(Protocol protocol);

// Sends program messages and reads whole replies, whatever the protocol.
class MessageSession {
 public:
  enum class Status { data, timeout, closed };
  struct Read {
    Status status = Status::timeout;
    std::string bytes;
  };
  virtual ~MessageSession() = default;
  virtual bool write(std::string_view text) = 0;
  virtual Read read(int timeout_ms = TestClient::kWaitMs) = 0;
};
std::unique_ptr<MessageSession> open_session(Protocol protocol, const Server& server);

}  // namespace zr48::sim::testing
