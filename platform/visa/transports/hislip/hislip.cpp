// HiSLIP client transport.
#include "visa/transports/hislip/hislip.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include <algorithm>
#include <cstring>

#include "visa/attribute_value.h"
#include "visa/transport_table.h"

namespace zr48::visa {
namespace {

namespace hs = wire::hislip;
using hs::MessageType;

constexpr char kVendor[2] = {'Z', 'R'};
// The largest message we take (header included); asked for right after initialisation.
constexpr std::uint64_t kMaxMessage = hs::kDefaultMaxMessageSize;
// Asynchronous messages carry a status, a lock string or an error text at most.
constexpr std::uint64_t kMaxAsyncPayload = 4096;
// Bounds on what a server may ask us to split writes into.
constexpr std::uint64_t kSmallestSendPayload = 256;
constexpr std::uint64_t kLargestSendPayload = std::uint64_t{1} << 26;
// How much longer than a lock's own time-out we wait for the server's answer.
constexpr ViUInt32 kReplyGraceMs = 500;
// How long a close waits for the server to finish what the synchronous channel carried.
constexpr ViUInt32 kCloseWaitMs = 500;
// VI_ATTR_TCPIP_HISLIP_VERSION's form of protocol 1.0.
constexpr ViUInt32 kVersionAttribute = 0x00100000;

bool split_device(const std::string& device, std::string& sub_address, ViUInt16& port) {
  const auto comma = device.find(',');
  sub_address = device.substr(0, comma);
  port = hs::kDefaultPort;
  if (comma == std::string::npos) return true;
  const std::string digits = device.substr(comma + 1);
  if (digits.empty() || digits.size() > 5 ||
      !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return false;
  }
  const unsigned long value = std::stoul(digits);
  if (value == 0 || value > 0xFFFF) return false;
  port = static_cast<ViUInt16>(value);
  return true;
}

bool starts_with_hislip(const std::string& device) {
  constexpr std::string_view kPrefix = "hislip";
  return device.size() >= kPrefix.size() &&
         std::equal(kPrefix.begin(), kPrefix.end(), device.begin(),
                    [](char a, char b) { return a == (b | 0x20); });
}

wire::Bytes text_bytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// The status an open ends with when the server refuses or does not speak HiSLIP.
ViStatus open_failure(ViStatus status) {
  return status == VI_ERROR_TMO || status == VI_ERROR_ALLOC ? status : VI_ERROR_RSRC_NFOUND;
}

// Waits for the one message an initialisation step expects.
ViStatus expect(HislipChannel& channel, MessageType type, const Deadline& deadline,
                hs::Header& header, wire::Bytes& payload) {
  for (;;) {
    const ViStatus status = channel.next(deadline, header, payload);
    if (status != VI_SUCCESS) return open_failure(status);
    if (header.type == type) return VI_SUCCESS;
    if (header.type == MessageType::kFatalError) {
      channel.lost();
      return header.control == hs::kFatalTooManyClients ? VI_ERROR_RSRC_BUSY : VI_ERROR_RSRC_NFOUND;
    }
    if (header.type == MessageType::kError) return VI_ERROR_RSRC_NFOUND;
    // Anything else is out of place during initialisation: skipped.
  }
}

}  // namespace

ViStatus accepts_hislip(const ResourceName& name) {
  if (name.interface_type != Interface::kTcpip || name.resource_class != "INSTR" || name.secure ||
      !starts_with_hislip(name.device)) {
    return VI_ERROR_RSRC_NFOUND;
  }
  std::string sub_address;
  ViUInt16 port = 0;
  return split_device(name.device, sub_address, port) ? VI_SUCCESS : VI_ERROR_INV_RSRC_NAME;
}

ViStatus open_hislip(const OpenRequest& request, std::unique_ptr<Transport>& out) {
  HislipTransport::Settings settings;
  if (!split_device(request.name.device, settings.sub_address, settings.port)) {
    return VI_ERROR_INV_RSRC_NAME;
  }
  const Deadline& deadline = request.deadline;
  std::unique_ptr<TcpTransport> socket;
  ViStatus status = TcpTransport::connect(request.name.host, settings.port, deadline, socket);
  if (status != VI_SUCCESS) return open_failure(status);
  auto sync = std::make_unique<HislipChannel>(std::move(socket), kMaxMessage);
  status = sync->send({MessageType::kInitialize, 0,
                       hs::initialize_parameter(hs::kVersion10, kVendor[0], kVendor[1])},
                      text_bytes(settings.sub_address), deadline);
  if (status != VI_SUCCESS) return open_failure(status);
  hs::Header header;
  wire::Bytes payload;
  status = expect(*sync, MessageType::kInitializeResponse, deadline, header, payload);
  if (status != VI_SUCCESS) return status;
  // Both ends speak the lower version; a newer server answers 1.0 clients as 1.0.
  const std::uint16_t session_id = hs::lower_half(header.parameter);
  settings.overlapped = (header.control & hs::kPreferOverlapped) != 0;

  status = TcpTransport::connect(request.name.host, settings.port, deadline, socket);
  if (status != VI_SUCCESS) return open_failure(status);
  auto async = std::make_unique<HislipChannel>(std::move(socket), kMaxAsyncPayload);
  status = async->send({MessageType::kAsyncInitialize, 0, session_id}, {}, deadline);
  if (status != VI_SUCCESS) return open_failure(status);
  status = expect(*async, MessageType::kAsyncInitializeResponse, deadline, header, payload);
  if (status != VI_SUCCESS) return status;

  std::uint8_t size[8];
  wire::put_u64(size, kMaxMessage);
  status =
      async->send({MessageType::kAsyncMaximumMessageSize, 0, 0}, wire::Bytes(size, 8), deadline);
  if (status != VI_SUCCESS) return open_failure(status);
  status = expect(*async, MessageType::kAsyncMaximumMessageSizeResponse, deadline, header, payload);
  if (status != VI_SUCCESS) return status;
  if (payload.size() != 8) return VI_ERROR_RSRC_NFOUND;
  // The server's size counts the header too.
  const std::uint64_t server_max = wire::get_u64(payload.data());
  settings.max_send_payload =
      std::clamp(server_max > hs::kHeaderSize ? server_max - hs::kHeaderSize : 0,
                 kSmallestSendPayload, kLargestSendPayload);
  out = std::make_unique<HislipTransport>(std::move(sync), std::move(async), std::move(settings));
  return VI_SUCCESS;
}

HislipTransport::HislipTransport(std::unique_ptr<HislipChannel> sync,
                                 std::unique_ptr<HislipChannel> async, Settings settings)
    : sync_(std::move(sync)), async_(std::move(async)), settings_(std::move(settings)) {}

HislipTransport::~HislipTransport() {
  stop_watching();
  sync_.reset();
  async_.reset();
}

ViStatus HislipTransport::broken() const {
  return sync_->broken() || async_->broken() ? VI_ERROR_CONN_LOST : VI_SUCCESS;
}

ViStatus HislipTransport::send_numbered(MessageType type, wire::Bytes payload,
                                        const Deadline& deadline) {
  // A new message makes any reply still buffered stale.
  pending_ = {};
  pending_end_ = false;
  const std::uint32_t id = next_id_;
  const ViStatus status =
      sync_->send({type, static_cast<std::uint8_t>(rmt_delivered_ ? hs::kRmtDelivered : 0), id},
                  payload, deadline);
  if (status != VI_SUCCESS) return status;
  rmt_delivered_ = false;
  last_sent_id_ = id;
  next_id_ = id + 2;
  return VI_SUCCESS;
}

ViStatus HislipTransport::send(const ViByte* data, std::size_t size, bool end,
                               const Deadline& deadline, std::size_t& sent) {
  sent = 0;
  if (const ViStatus state = broken(); state != VI_SUCCESS) return state;
  if (size == 0 && !end) return VI_SUCCESS;
  do {
    // Between messages, not within one: a message half sent would break the framing.
    if (deadline.cancelled()) return VI_ERROR_ABORT;
    const std::size_t piece =
        static_cast<std::size_t>(std::min<std::uint64_t>(size - sent, settings_.max_send_payload));
    const bool last = sent + piece == size;
    const ViStatus status = send_numbered(last && end ? MessageType::kDataEnd : MessageType::kData,
                                          wire::Bytes(data + sent, piece), deadline);
    if (status != VI_SUCCESS) return status;
    sent += piece;
  } while (sent < size);
  return VI_SUCCESS;
}

// Synchronized mode takes a reply only to the last message sent (Data may also carry the
// "unknown" ID); overlapped mode takes every reply in order.
bool HislipTransport::takes(const hs::Header& header) const {
  if (settings_.overlapped) return true;
  return header.parameter == last_sent_id_ ||
         (header.type == MessageType::kData && header.parameter == hs::kUnknownMessageId);
}

ViStatus HislipTransport::unexpected(HislipChannel& channel, const hs::Header& header) {
  switch (header.type) {
    case MessageType::kFatalError:
      channel.lost();
      (&channel == sync_.get() ? async_ : sync_)->lost();
      return VI_ERROR_CONN_LOST;
    case MessageType::kError:
      return VI_ERROR_IO;  // the server refused what we sent last
    default:
      return VI_SUCCESS;  // service requests, interrupts, late replies: nothing to do
  }
}

ViStatus HislipTransport::receive(ViByte* data, std::size_t capacity,
                                  const ReadTermination& /*termination*/, const Deadline& deadline,
                                  Received& received) {
  received = {};
  while (pending_.empty() && !pending_end_) {
    if (const ViStatus state = broken(); state != VI_SUCCESS) return state;
    hs::Header header;
    wire::Bytes payload;
    const ViStatus status = sync_->next(deadline, header, payload);
    if (status != VI_SUCCESS) return status;
    const bool data_message =
        header.type == MessageType::kData || header.type == MessageType::kDataEnd;
    if (!data_message) {
      const ViStatus refused = unexpected(*sync_, header);
      if (refused != VI_SUCCESS) return refused;
      continue;
    }
    if (!takes(header)) continue;  // the late reply to a query given up on
    pending_ = payload;
    pending_end_ = header.type == MessageType::kDataEnd;
    if (settings_.overlapped) last_delivered_id_ = header.parameter;
    if (pending_.empty() && !pending_end_) continue;
  }
  const std::size_t n = std::min(capacity, pending_.size());
  if (n > 0) std::memcpy(data, pending_.data(), n);
  pending_ = pending_.subspan(n);
  received.size = n;
  if (pending_.empty() && pending_end_) {
    pending_end_ = false;
    rmt_delivered_ = true;  // the whole response reached the application
    received.end = ReadEnd::kEnd;
  } else if (n == capacity) {
    received.end = ReadEnd::kCount;
  }
  return VI_SUCCESS;
}

ViStatus HislipTransport::discard_ready() {
  pending_ = {};
  pending_end_ = false;
  return broken();
}

void HislipTransport::shutdown() {
  stop_watching();
  if (broken() != VI_SUCCESS) return;
  // Half-close the synchronous channel and wait for the server to close its end: it has then
  // run every message sent, which closing both channels at once does not promise.
  ::shutdown(sync_->socket().native_handle(), SHUT_WR);
  const auto deadline = Deadline::after_ms(kCloseWaitMs);
  ViByte scratch[1024];
  std::size_t received = 0;
  while (sync_->socket().receive_some(scratch, sizeof scratch, deadline, received) == VI_SUCCESS) {
  }
}

void HislipTransport::interrupt() {
  sync_->interrupt();
  async_->interrupt();
}

ViStatus HislipTransport::ask(const hs::Header& request, wire::Bytes payload, MessageType expected,
                              const Deadline& deadline, hs::Header& response) {
  if (const ViStatus state = broken(); state != VI_SUCCESS) return state;
  const std::lock_guard lock(async_mutex_);
  ViStatus status = async_->send(request, payload, deadline);
  if (status != VI_SUCCESS) return status;
  for (;;) {
    wire::Bytes ignored;
    status = async_->next(deadline, response, ignored);
    if (status != VI_SUCCESS) return status;
    if (response.type == expected) return VI_SUCCESS;
    if (response.type == MessageType::kAsyncServiceRequest && notify_) notify_();
    status = unexpected(*async_, response);
    if (status != VI_SUCCESS) return status;
  }
}

ViStatus HislipTransport::start_service_requests(const std::function<void()>& notify,
                                                 const Deadline& /*deadline*/) {
  if (const ViStatus state = broken(); state != VI_SUCCESS) return state;
  if (watcher_.joinable()) return VI_SUCCESS;
  UniqueFd wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (wake.get() < 0) return VI_ERROR_SYSTEM_ERROR;
  wake_ = std::move(wake);
  {
    const std::lock_guard lock(async_mutex_);
    notify_ = notify;
  }
  watcher_ = std::thread([this] { watch_service_requests(); });
  return VI_SUCCESS;
}

void HislipTransport::watch_service_requests() {
  const int channel = async_->socket().native_handle();
  for (;;) {
    pollfd fds[2] = {{channel, POLLIN, 0}, {wake_.get(), POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents != 0) return;
    const std::lock_guard lock(async_mutex_);
    // Every whole message there is, without waiting; a request in progress may have taken
    // what woke us, and a message still arriving is finished on the next turn.
    for (;;) {
      hs::Header header;
      wire::Bytes payload;
      const ViStatus status = async_->next(Deadline::after_ms(0), header, payload);
      if (status == VI_ERROR_TMO) break;
      if (status != VI_SUCCESS) return;  // the connection is gone: the session finds out
      if (header.type == MessageType::kAsyncServiceRequest && notify_) notify_();
    }
  }
}

void HislipTransport::stop_watching() {
  if (!watcher_.joinable()) return;
  const std::uint64_t one = 1;
  (void)!::write(wake_.get(), &one, sizeof one);
  watcher_.join();
}

ViStatus HislipTransport::read_status_byte(const Deadline& deadline, ViUInt16& status) {
  const std::uint32_t id = settings_.overlapped ? last_delivered_id_ : last_sent_id_;
  hs::Header response;
  const ViStatus result =
      ask({MessageType::kAsyncStatusQuery,
           static_cast<std::uint8_t>(rmt_delivered_ ? hs::kRmtDelivered : 0), id},
          {}, MessageType::kAsyncStatusResponse, deadline, response);
  if (result != VI_SUCCESS) return result;
  rmt_delivered_ = false;
  status = response.control;
  return VI_SUCCESS;
}

ViStatus HislipTransport::trigger(const Deadline& deadline) {
  if (const ViStatus state = broken(); state != VI_SUCCESS) return state;
  return send_numbered(MessageType::kTrigger, {}, deadline);
}

ViStatus HislipTransport::clear(const Deadline& deadline) {
  hs::Header acknowledge;
  ViStatus status = ask({MessageType::kAsyncDeviceClear, 0, 0}, {},
                        MessageType::kAsyncDeviceClearAcknowledge, deadline, acknowledge);
  if (status != VI_SUCCESS) return status;
  pending_ = {};
  pending_end_ = false;
  // Ask for the mode the server prefers; it says which one both use from now on.
  const std::uint8_t wanted = acknowledge.control & hs::kPreferOverlapped;
  status = sync_->send({MessageType::kDeviceClearComplete, wanted, 0}, {}, deadline);
  if (status != VI_SUCCESS) return status;
  for (;;) {
    hs::Header header;
    wire::Bytes ignored;
    status = sync_->next(deadline, header, ignored);
    if (status != VI_SUCCESS) return status;
    if (header.type == MessageType::kDeviceClearAcknowledge) {
      settings_.overlapped = (header.control & hs::kPreferOverlapped) != 0;
      break;
    }
    if (header.type == MessageType::kFatalError) return unexpected(*sync_, header);
    // Replies and interrupts from before the clear are dropped.
  }
  next_id_ = hs::kFirstMessageId;
  last_sent_id_ = hs::kMessageIdBeforeFirst;
  last_delivered_id_ = hs::kMessageIdBeforeFirst;
  rmt_delivered_ = false;
  return VI_SUCCESS;
}

ViStatus HislipTransport::lock(LockKind kind, std::string_view key, ViUInt32 timeout_ms,
                               const Deadline& deadline) {
  (void)deadline;
  // The server answers when it grants the lock or its time-out passes.
  const Deadline wait = Deadline::after_ms(
      timeout_ms >= VI_TMO_INFINITE - kReplyGraceMs ? VI_TMO_INFINITE : timeout_ms + kReplyGraceMs);
  const std::string_view lock_string = kind == LockKind::kShared ? key : std::string_view{};
  hs::Header response;
  const ViStatus status =
      ask({MessageType::kAsyncLock, hs::kLockRequest, timeout_ms}, text_bytes(lock_string),
          MessageType::kAsyncLockResponse, wait, response);
  if (status != VI_SUCCESS) return status;
  switch (response.control) {
    case hs::kLockGranted:
      return VI_SUCCESS;
    case hs::kLockFailed:
      return VI_ERROR_RSRC_LOCKED;
    default:
      return VI_ERROR_IO;  // a request the server found redundant
  }
}

ViStatus HislipTransport::unlock(const Deadline& deadline) {
  hs::Header response;
  const ViStatus status = ask({MessageType::kAsyncLock, hs::kLockRelease, last_sent_id_}, {},
                              MessageType::kAsyncLockResponse, deadline, response);
  if (status != VI_SUCCESS) return status;
  return response.control == hs::kLockGranted || response.control == hs::kLockSharedReleased
             ? VI_SUCCESS
             : VI_ERROR_SESN_NLOCKED;
}

ViStatus HislipTransport::control_ren(ViUInt16 mode, const Deadline& deadline) {
  if (mode > hs::kLastRemoteLocalCode) return VI_ERROR_INV_MODE;
  // The request names the last message sent: the server acts once that one has run.
  hs::Header response;
  return ask(
      {MessageType::kAsyncRemoteLocalControl, static_cast<std::uint8_t>(mode), last_sent_id_}, {},
      MessageType::kAsyncRemoteLocalResponse, deadline, response);
}

ViStatus HislipTransport::get_attribute(ViAttr attribute, void* value) const {
  switch (attribute) {
    case VI_ATTR_TCPIP_DEVICE_NAME:
      store_attribute_text(value, settings_.sub_address);
      return VI_SUCCESS;
    case VI_ATTR_TCPIP_PORT:
      store_attribute<ViUInt16>(value, settings_.port);
      return VI_SUCCESS;
    case VI_ATTR_TCPIP_IS_HISLIP:
      store_attribute<ViBoolean>(value, VI_TRUE);
      return VI_SUCCESS;
    case VI_ATTR_TCPIP_HISLIP_OVERLAP_EN:
      store_attribute<ViBoolean>(value, settings_.overlapped ? VI_TRUE : VI_FALSE);
      return VI_SUCCESS;
    case VI_ATTR_TCPIP_HISLIP_VERSION:
      store_attribute<ViVersion>(value, kVersionAttribute);
      return VI_SUCCESS;
    case VI_ATTR_TCPIP_HISLIP_MAX_MESSAGE_KB:
      store_attribute<ViUInt32>(value, static_cast<ViUInt32>(kMaxMessage / 1024));
      return VI_SUCCESS;
    default:
      return sync_->socket().get_attribute(attribute, value);
  }
}

ViStatus HislipTransport::set_attribute(ViAttr attribute, ViAttrState value) {
  switch (attribute) {
    case VI_ATTR_TCPIP_DEVICE_NAME:
    case VI_ATTR_TCPIP_PORT:
    case VI_ATTR_TCPIP_IS_HISLIP:
    case VI_ATTR_TCPIP_HISLIP_VERSION:
    case VI_ATTR_TCPIP_HISLIP_OVERLAP_EN:  // changes only through a device clear
    case VI_ATTR_TCPIP_HISLIP_MAX_MESSAGE_KB:
      return VI_ERROR_ATTR_READONLY;
    default: {
      // Both channels carry the same socket options.
      const ViStatus status = sync_->socket().set_attribute(attribute, value);
      return status == VI_SUCCESS ? async_->socket().set_attribute(attribute, value) : status;
    }
  }
}

}  // namespace zr48::visa
