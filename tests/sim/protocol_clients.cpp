#include "protocol_clients.h"

namespace zr48::sim::testing {

namespace rpc = wire::rpc;
namespace vx = wire::vxi11;
namespace hs = wire::hislip;

std::optional<Record> RpcClient::read_record(int timeout_ms) {
  Record record;
  for (bool last = false; !last;) {
    const auto mark = tcp_.read_exact(rpc::kRecordMarkSize, timeout_ms);
    if (!mark) return std::nullopt;
    const auto header =
        rpc::parse_fragment_header(reinterpret_cast<const std::uint8_t*>(mark->data()));
    const auto body = tcp_.read_exact(header.length, timeout_ms);
    if (!body) return std::nullopt;
    record.insert(record.end(), body->begin(), body->end());
    last = header.last;
  }
  return record;
}

Vxi11Link::Vxi11Link(std::uint16_t core_port, const char* host, std::string_view device)
    : rpc_(core_port, host) {
  simple(vx::kCreateLink, vx::CreateLinkParms{7, false, 0, device}, created_);
}

std::int32_t Vxi11Link::write(std::string_view data, std::int32_t flags,
                              std::uint32_t lock_timeout) {
  vx::DeviceWriteResp resp;
  const wire::Bytes bytes(reinterpret_cast<const std::uint8_t*>(data.data()), data.size());
  return simple(vx::kDeviceWrite,
                vx::DeviceWriteParms{created_.lid, 3000, lock_timeout, flags, bytes}, resp);
}

std::int32_t Vxi11Link::read(std::string& data, std::int32_t& reason, std::uint32_t io_timeout,
                             std::uint32_t request_size, std::int32_t flags,
                             std::uint8_t term_char) {
  const auto reply =
      rpc_.call(vx::kCoreProgram, vx::kVersion, vx::kDeviceRead,
                vx::DeviceReadParms{created_.lid, request_size, io_timeout, 0, flags, term_char},
                static_cast<int>(io_timeout) + TestClient::kWaitMs);
  vx::DeviceReadResp resp;
  if (!reply || !decode_result(*reply, resp)) return -1;
  data.assign(reinterpret_cast<const char*>(resp.data.data()), resp.data.size());
  reason = resp.reason;
  return resp.error;
}

std::int32_t Vxi11Link::generic(std::uint32_t procedure, std::int32_t flags) {
  vx::DeviceError resp;
  return simple(procedure, vx::DeviceGenericParms{created_.lid, flags, 0, 1000}, resp);
}

std::int32_t Vxi11Link::lock(std::int32_t flags, std::uint32_t lock_timeout) {
  vx::DeviceError resp;
  return simple(vx::kDeviceLock, vx::DeviceLockParms{created_.lid, flags, lock_timeout}, resp);
}

std::int32_t Vxi11Link::unlock() {
  vx::DeviceError resp;
  return simple(vx::kDeviceUnlock, vx::DeviceLink{created_.lid}, resp);
}

HislipClient::HislipClient(std::uint16_t port, std::uint16_t version, std::string_view sub_address,
                           const char* host)
    : sync_(port, host), async_(port, host) {
  if (!send(sync_, hs::MessageType::kInitialize, 0, hs::initialize_parameter(version, 'T', 'C'),
            sub_address)) {
    return;
  }
  const auto init = read(sync_);
  if (!init || init->header.type != hs::MessageType::kInitializeResponse) return;
  init_ = *init;
  const std::uint16_t session = hs::lower_half(init->header.parameter);
  const auto async_init =
      send(async_, hs::MessageType::kAsyncInitialize, 0, session) ? read(async_) : std::nullopt;
  ready_ = async_init && async_init->header.type == hs::MessageType::kAsyncInitializeResponse;
}

bool HislipClient::send(TestClient& channel, hs::MessageType type, std::uint8_t control,
                        std::uint32_t parameter, std::string_view payload) {
  std::vector<std::uint8_t> bytes;
  hs::append_message(bytes, {type, control, parameter, 0}, payload);
  return channel.send({reinterpret_cast<const char*>(bytes.data()), bytes.size()});
}

std::optional<HislipMessage> HislipClient::read(TestClient& channel, int timeout_ms) {
  const auto raw = channel.read_exact(hs::kHeaderSize, timeout_ms);
  if (!raw) return std::nullopt;
  HislipMessage message;
  if (hs::parse_header(reinterpret_cast<const std::uint8_t*>(raw->data()), UINT32_MAX,
                       message.header) != hs::HeaderCheck::kOk) {
    return std::nullopt;
  }
  const auto payload = channel.read_exact(message.header.length, timeout_ms);
  if (!payload) return std::nullopt;
  message.payload = *payload;
  return message;
}

bool HislipClient::write(std::string_view text) {
  const bool sent = send(sync_, hs::MessageType::kDataEnd, 0, message_id_, text);
  message_id_ += 2;
  return sent;
}

std::string protocol_name(Protocol protocol) {
  switch (protocol) {
    case Protocol::socket:
      return "Socket";
    case Protocol::vxi11:
      return "Vxi11";
    case Protocol::hislip:
      return "Hislip";
  }
  return "";
}

namespace {

class SocketSession final : public MessageSession {
 public:
  explicit SocketSession(const Server& server) : tcp_(server.port()) {}
  bool write(std::string_view text) override { return tcp_.send(text); }
  Read read(int timeout_ms) override {
    if (auto line = tcp_.read_line(timeout_ms)) return {Status::data, *line};
    // Either quiet or closed: a closed peer reads as end of stream at once.
    if (auto rest = tcp_.read_until_closed(0)) return {Status::closed, *rest};
    return {Status::timeout, tcp_.partial()};
  }

 private:
  TestClient tcp_;
};

class Vxi11Session final : public MessageSession {
 public:
  explicit Vxi11Session(const Server& server) : link_(server.vxi11_core_port()) {}
  bool write(std::string_view text) override { return link_.write(text) == vx::kNoError; }
  Read read(int timeout_ms) override {
    Read result;
    for (;;) {
      std::string data;
      std::int32_t reason = 0;
      const auto error = link_.read(data, reason, static_cast<std::uint32_t>(timeout_ms));
      if (error < 0) return {Status::closed, result.bytes};
      if (error == vx::kIoTimeout) return {Status::timeout, result.bytes};
      if (error != vx::kNoError) return {Status::closed, result.bytes};
      result.bytes += data;
      if ((reason & vx::kReasonEnd) != 0) return {Status::data, result.bytes};
    }
  }

 private:
  Vxi11Link link_;
};

class HislipSession final : public MessageSession {
 public:
  explicit HislipSession(const Server& server) : client_(server.hislip_port()) {}
  bool write(std::string_view text) override { return client_.ready() && client_.write(text); }
  Read read(int timeout_ms) override {
    std::string bytes;
    for (;;) {
      const auto message = client_.read(client_.sync(), timeout_ms);
      if (!message) {
        const bool closed = client_.sync().read_until_closed(0).has_value();
        return {closed ? Status::closed : Status::timeout, bytes};
      }
      if (message->header.type != hs::MessageType::kData &&
          message->header.type != hs::MessageType::kDataEnd) {
        return {Status::closed, bytes};
      }
      bytes += message->payload;
      if (message->header.type == hs::MessageType::kDataEnd) return {Status::data, bytes};
    }
  }

 private:
  HislipClient client_;
};

}  // namespace

std::unique_ptr<MessageSession> open_session(Protocol protocol, const Server& server) {
  switch (protocol) {
    case Protocol::socket:
      return std::make_unique<SocketSession>(server);
    case Protocol::vxi11:
      return std::make_unique<Vxi11Session>(server);
    case Protocol::hislip:
      return std::make_unique<HislipSession>(server);
  }
  return nullptr;
}

}  // namespace zr48::sim::testing
