// HiSLIP: a synchronous and an asynchronous channel per session on one port. Program messages
// arrive as Data/DataEnd on the synchronous channel; each reply goes back as one DataEnd.
// Locks, status queries, device clear and size negotiation use the asynchronous channel.

#include <algorithm>
#include <array>
#include <atomic>
#include <limits>
#include <map>
#include <memory>

#include "exchange.h"
#include "services.h"
#include "visa/wire/hislip.h"

namespace zr48::sim {
namespace {

namespace hs = wire::hislip;
using hs::MessageType;

constexpr std::uint16_t kServerVersion = hs::kVersion10;
constexpr char kVendor[2] = {'Z', 'R'};
constexpr std::uint64_t kMaxMessage = hs::kDefaultMaxMessageSize;  // header included
constexpr std::uint64_t kMaxPayload = kMaxMessage - hs::kHeaderSize;
constexpr std::uint8_t kMav = 0x10;

// AsyncRemoteLocalControl's request codes, 0 to 6 (the numbers of VISA's REN modes): what
// each does to remote enable, local lockout and remote.
constexpr std::array kRemoteLocalCodes = {
    RemoteLocalChange{Flag::kOff, Flag::kOff, Flag::kOff},  // REN off
    RemoteLocalChange{Flag::kOn, Flag::kEep, Flag::kEep},   // REN on
    RemoteLocalChange{Flag::kOff, Flag::kOff, Flag::kOff},  // REN off, go to local
    RemoteLocalChange{Flag::kOn, Flag::kEep, Flag::kOn},    // REN on, address: remote
    RemoteLocalChange{Flag::kOn, Flag::kOn, Flag::kEep},    // REN on, local lockout
    RemoteLocalChange{Flag::kOn, Flag::kOn, Flag::kOn},     // REN on, lockout, remote
    RemoteLocalChange{Flag::kEep, Flag::kEep, Flag::kOff},  // go to local
};

// Remote/local requests a session keeps waiting for their message at most.
constexpr std::size_t kMaxDeferred = 16;

// Whether the message `id` is at or before `processed` (MessageIDs wrap).
bool reached(std::uint32_t processed, std::uint32_t id) {
  return static_cast<std::int32_t>(processed - id) >= 0;
}

std::string message(MessageType type, std::uint8_t control, std::uint32_t parameter,
                    std::string_view payload = {}) {
  std::vector<std::uint8_t> bytes;
  hs::append_message(bytes, {type, control, parameter, 0}, payload);
  return {bytes.begin(), bytes.end()};
}

// One end of a session. Any thread may send on it or shut it; the thread serving it detaches
// it before the connection closes, after any send in flight.
class Channel {
 public:
  void attach(int fd) {
    const std::lock_guard guard(fd_mutex_);
    fd_ = fd;
  }
  void detach() {
    const std::lock_guard send_guard(send_mutex_);
    const std::lock_guard guard(fd_mutex_);
    fd_ = -1;
  }
  bool send(const StopSignal& stop, std::string_view bytes) {
    const std::lock_guard send_guard(send_mutex_);
    int fd = -1;
    {
      const std::lock_guard guard(fd_mutex_);
      fd = fd_;
    }
    return fd >= 0 && stop.send_all(fd, bytes);
  }
  void shut() {
    const std::lock_guard guard(fd_mutex_);
    if (fd_ >= 0) ::shutdown(fd_, SHUT_RDWR);
  }

 private:
  std::mutex send_mutex_;
  std::mutex fd_mutex_;
  int fd_ = -1;
};

struct Session {
  std::uint16_t id = 0;
  std::size_t slot = 0;  // record slot; the lock owner derives from it
  Channel sync;
  Channel async;
  std::atomic<bool> async_established{false};
  std::mutex mutex;  // guards the state below
  bool overlapped = false;
  bool clearing = false;  // between AsyncDeviceClear and DeviceClearComplete
  bool mav = false;       // a reply went out and its RMT has not come back
  std::uint32_t server_message_id = hs::kFirstMessageId;  // overlapped mode
  std::uint64_t max_to_client = kMaxMessage;
  // The last Data/DataEnd/Trigger run, and remote/local requests waiting for a later one.
  std::uint32_t processed_id = hs::kMessageIdBeforeFirst;
  std::vector<std::pair<std::uint32_t, RemoteLocalChange>> deferred;

  void close_both() {
    sync.shut();
    async.shut();
  }
};

class HislipService final : public Service {
 public:
  HislipService(Device& device, BoundSocket listener, const HislipOptions& options)
      : device_(device),
        options_(options),
        tcp_(
            device.stop, std::move(listener), [this](int fd, std::size_t) { serve(fd); },
            2 * kMaxConnections) {}
  std::uint16_t port() const { return tcp_.port(); }
  void start() override { tcp_.start(); }
  void join() override { tcp_.join(); }

 private:
  enum class Read { kOk, kClosed, kRefused };
  // Reads one message; answers a malformed one (Error, or FatalError and `closed`).
  Read read_message(StreamReader& in, int fd, hs::Header& header, std::string& payload,
                    Session* session);
  bool send_fatal(int fd, Session* session, std::uint8_t code, std::string_view text);

  void serve(int fd);
  void serve_sync(StreamReader& in, int fd, const std::shared_ptr<Session>& session);
  void serve_async(StreamReader& in, int fd, const std::shared_ptr<Session>& session);
  // Sends the response a message made, if any; false closes the session.
  bool deliver(Session& session, Exchange& exchange, std::uint32_t message_id);
  // The message `id` has run: remote/local requests waiting for it take effect.
  void processed(Session& session, std::uint32_t id);
  // Applies a remote/local request now, or once the message it names has run.
  void remote_local(Session& session, std::uint8_t code, std::uint32_t after_id);
  std::shared_ptr<Session> find(std::uint16_t id);

  Device& device_;
  HislipOptions options_;
  TcpService tcp_;
  std::mutex sessions_mutex_;
  std::map<std::uint16_t, std::shared_ptr<Session>> sessions_;
  std::uint16_t next_id_ = 1;
};

HislipService::Read HislipService::read_message(StreamReader& in, int fd, hs::Header& header,
                                                std::string& payload, Session* session) {
  std::array<std::uint8_t, hs::kHeaderSize> raw{};
  if (!in.read_exact(reinterpret_cast<char*>(raw.data()), raw.size())) {
    return Read::kClosed;
  }
  const auto check = hs::parse_header(raw.data(), kMaxPayload, header);
  if (check == hs::HeaderCheck::kBadPrologue) {
    send_fatal(fd, session, hs::kFatalBadHeader, "bad prologue");
    return Read::kClosed;
  }
  if (check != hs::HeaderCheck::kOk || hs::is_vendor_type(header.type)) {
    // Skip the payload, then say why it was refused on the channel it came on.
    std::array<char, 4096> sink{};
    for (std::uint64_t left = header.length; left > 0;) {
      const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(left, sink.size()));
      if (!in.read_exact(sink.data(), n)) return Read::kClosed;
      left -= n;
    }
    const auto code = check == hs::HeaderCheck::kTooLarge      ? hs::kErrorMessageTooLarge
                      : check == hs::HeaderCheck::kUnknownType ? hs::kErrorUnknownType
                                                               : hs::kErrorUnknownVendorMessage;
    return device_.stop.send_all(fd, message(MessageType::kError, code, 0, "message refused"))
               ? Read::kRefused
               : Read::kClosed;
  }
  payload.resize(static_cast<std::size_t>(header.length));
  if (!in.read_exact(payload.data(), payload.size())) return Read::kClosed;
  return Read::kOk;
}

bool HislipService::send_fatal(int fd, Session* session, std::uint8_t code, std::string_view text) {
  const std::string fatal = message(MessageType::kFatalError, code, 0, text);
  if (session != nullptr) {
    session->sync.send(device_.stop, fatal);
    session->async.send(device_.stop, fatal);
    session->close_both();
  } else {
    device_.stop.send_all(fd, fatal);
  }
  return false;
}

std::shared_ptr<Session> HislipService::find(std::uint16_t id) {
  const std::lock_guard guard(sessions_mutex_);
  const auto it = sessions_.find(id);
  return it == sessions_.end() ? nullptr : it->second;
}

void HislipService::serve(int fd) {
  hs::Header header;
  std::string payload;
  StreamReader in(device_.stop, fd);
  if (read_message(in, fd, header, payload, nullptr) != Read::kOk) return;
  if (header.type == MessageType::kInitialize) {
    const std::string_view sub_address = payload;
    if (!sub_address.empty() && !sub_address.starts_with("hislip")) {
      send_fatal(fd, nullptr, hs::kFatalUnidentified, "no such sub-address");
      return;
    }
    auto session = std::make_shared<Session>();
    {
      const std::lock_guard guard(sessions_mutex_);
      if (sessions_.size() >= kMaxConnections) {
        send_fatal(fd, nullptr, hs::kFatalTooManyClients, "too many clients");
        return;
      }
      while (sessions_.contains(next_id_)) ++next_id_;
      session->id = next_id_++;
      session->slot = device_.open_session();
      session->overlapped = options_.prefer_overlapped;
      session->sync.attach(fd);
      sessions_.emplace(session->id, session);
    }
    const std::uint16_t version = std::min(hs::upper_half(header.parameter), kServerVersion);
    const std::uint8_t preference = options_.prefer_overlapped ? hs::kPreferOverlapped : 0;
    if (session->sync.send(device_.stop,
                           message(MessageType::kInitializeResponse, preference,
                                   hs::initialize_response_parameter(version, session->id)))) {
      serve_sync(in, fd, session);
    }
    session->sync.detach();
    session->async.shut();
    device_.lock.release_all(Device::owner_of(session->slot));
    const std::lock_guard guard(sessions_mutex_);
    sessions_.erase(session->id);
  } else if (header.type == MessageType::kAsyncInitialize) {
    const auto session = find(hs::lower_half(header.parameter));
    if (!session || session->async_established.exchange(true)) {
      send_fatal(fd, nullptr, hs::kFatalInvalidInitSequence, "unknown session");
      return;
    }
    session->async.attach(fd);
    const std::uint32_t vendor = (std::uint32_t{static_cast<std::uint8_t>(kVendor[0])} << 8) |
                                 static_cast<std::uint8_t>(kVendor[1]);
    if (session->async.send(device_.stop,
                            message(MessageType::kAsyncInitializeResponse, 0, vendor))) {
      // Service requests go out on this channel while it is served; not acknowledged.
      const auto listener = device_.service_requests.subscribe([this, session](std::uint8_t stb) {
        session->async.send(device_.stop, message(MessageType::kAsyncServiceRequest, stb, 0));
      });
      serve_async(in, fd, session);
      device_.service_requests.unsubscribe(listener);
    }
    // What the client sent on the synchronous channel before closing still runs: that channel
    // ends the session when its own peer closes.
    session->async.detach();
  } else {
    send_fatal(fd, nullptr, hs::kFatalInvalidInitSequence, "expected Initialize");
  }
}

void HislipService::serve_sync(StreamReader& in, int fd, const std::shared_ptr<Session>& session) {
  const DeviceLock::Owner owner = Device::owner_of(session->slot);
  Exchange exchange(device_);
  hs::Header header;
  std::string payload;
  for (;;) {
    const Read read = read_message(in, fd, header, payload, session.get());
    if (read == Read::kClosed) return;
    if (read == Read::kRefused) continue;
    if (auto fatal = device_.with_faults(
            [](Faults& f) { return std::exchange(f.fatal_error, std::nullopt); })) {
      send_fatal(fd, session.get(), fatal->first, fatal->second);
      return;
    }
    const bool data = header.type == MessageType::kData || header.type == MessageType::kDataEnd;
    if (data || header.type == MessageType::kTrigger) {
      if (!session->async_established.load()) {
        send_fatal(fd, session.get(), hs::kFatalChannelsNotEstablished,
                   "asynchronous channel not established");
        return;
      }
      {
        const std::lock_guard guard(session->mutex);
        if (session->clearing) continue;  // dropped until DeviceClearComplete
        if ((header.control & hs::kRmtDelivered) != 0) session->mav = false;
      }
      // Another client's lock holds this channel's messages back.
      if (!device_.lock.wait_access(owner, Clock::time_point::max())) return;
      const std::uint32_t id = header.parameter;
      device_.remote_local.addressed();
      bool open = true;
      if (data) {
        device_.record(session->slot, payload);
        // The message has run once its reply is made: requests naming it apply before the
        // client can see that reply.
        open = exchange.write(payload, header.type == MessageType::kDataEnd, [&] {
          processed(*session, id);
          return deliver(*session, exchange, id);
        });
      } else {
        exchange.trigger();
      }
      if (!open) {
        session->close_both();
        return;
      }
      processed(*session, id);
    } else if (header.type == MessageType::kDeviceClearComplete) {
      exchange.device_clear();
      const std::uint8_t agreed = header.control & hs::kPreferOverlapped;
      {
        const std::lock_guard guard(session->mutex);
        session->clearing = false;
        session->overlapped = agreed != 0;
        session->mav = false;
        session->server_message_id = hs::kFirstMessageId;
        // The messages those requests waited for were dropped with the clear.
        for (const auto& waiting : session->deferred) device_.remote_local.apply(waiting.second);
        session->deferred.clear();
        session->processed_id = hs::kMessageIdBeforeFirst;
      }
      if (!session->sync.send(device_.stop,
                              message(MessageType::kDeviceClearAcknowledge, agreed, 0))) {
        return;
      }
    } else if (!device_.stop.send_all(fd, message(MessageType::kError, hs::kErrorUnknownType, 0,
                                                  "not a synchronous-channel message"))) {
      return;
    }
  }
}

void HislipService::processed(Session& session, std::uint32_t id) {
  const std::lock_guard guard(session.mutex);
  session.processed_id = id;
  auto& deferred = session.deferred;
  const auto due =
      std::stable_partition(deferred.begin(), deferred.end(),
                            [&](const auto& waiting) { return !reached(id, waiting.first); });
  for (auto it = due; it != deferred.end(); ++it) device_.remote_local.apply(it->second);
  deferred.erase(due, deferred.end());
}

void HislipService::remote_local(Session& session, std::uint8_t code, std::uint32_t after_id) {
  const RemoteLocalChange& change = kRemoteLocalCodes.at(code);
  const std::lock_guard guard(session.mutex);
  // A client naming messages it never sends cannot pile requests up: past a few, they apply.
  if (reached(session.processed_id, after_id) || session.deferred.size() >= kMaxDeferred) {
    device_.remote_local.apply(change);
  } else {
    session.deferred.emplace_back(after_id, change);
  }
}

bool HislipService::deliver(Session& session, Exchange& exchange, std::uint32_t message_id) {
  if (!exchange.waiting()) return true;
  if (device_.with_faults([](Faults& f) { return std::exchange(f.interrupt_next, false); })) {
    exchange.device_clear();
    session.async.send(device_.stop, message(MessageType::kAsyncInterrupted, 0, message_id));
    return session.sync.send(device_.stop, message(MessageType::kInterrupted, 0, message_id));
  }
  const auto wait =
      std::chrono::duration_cast<std::chrono::milliseconds>(exchange.ready_at() - Clock::now());
  if (wait.count() > 0 && !device_.stop.sleep_for(static_cast<int>(wait.count()))) return false;
  const auto chunk = exchange.take(std::numeric_limits<std::size_t>::max());
  std::uint32_t id = message_id;
  {
    const std::lock_guard guard(session.mutex);
    if (session.overlapped) {
      id = session.server_message_id;
      session.server_message_id += 2;
    }
    session.mav = true;
  }
  const std::string bytes =
      chunk.wire ? *chunk.wire : message(MessageType::kDataEnd, 0, id, chunk.bytes);
  if (chunk.cut) {
    session.sync.send(device_.stop,
                      std::string_view(bytes).substr(0, std::min(*chunk.cut, bytes.size())));
    return false;
  }
  return session.sync.send(device_.stop, bytes);
}

void HislipService::serve_async(StreamReader& in, int fd, const std::shared_ptr<Session>& session) {
  const DeviceLock::Owner owner = Device::owner_of(session->slot);
  hs::Header header;
  std::string payload;
  for (;;) {
    const Read read = read_message(in, fd, header, payload, session.get());
    if (read == Read::kClosed) return;
    if (read == Read::kRefused) continue;
    std::string answer;
    switch (header.type) {
      case MessageType::kAsyncMaximumMessageSize: {
        if (payload.size() != 8) {
          answer = message(MessageType::kError, hs::kErrorUnidentified, 0, "size must be 8 bytes");
          break;
        }
        const auto size = wire::get_u64(reinterpret_cast<const std::uint8_t*>(payload.data()));
        std::array<std::uint8_t, 8> ours{};
        wire::put_u64(ours.data(), kMaxMessage);
        {
          const std::lock_guard guard(session->mutex);
          session->max_to_client = size;
        }
        answer = message(MessageType::kAsyncMaximumMessageSizeResponse, 0, 0,
                         std::string_view(reinterpret_cast<const char*>(ours.data()), ours.size()));
        break;
      }
      case MessageType::kAsyncLock: {
        std::array<std::uint8_t, hs::kHeaderSize> raw{};
        hs::encode_header(raw.data(), header);
        device_.lock.record(std::string(raw.begin(), raw.end()) + payload);
        device_.remote_local.addressed();
        std::uint8_t code = hs::kLockError;
        if (header.control == hs::kLockRequest) {
          const auto result = device_.lock.lock(
              owner, payload, deadline_after(std::chrono::milliseconds(header.parameter)));
          if (result == DeviceLock::Result::kStopped) return;
          code = result == DeviceLock::Result::kGranted    ? hs::kLockGranted
                 : result == DeviceLock::Result::kTimedOut ? hs::kLockFailed
                                                           : hs::kLockError;
        } else {
          const auto released = device_.lock.unlock(owner);
          code = released == DeviceLock::Release::kExclusive ? hs::kLockGranted
                 : released == DeviceLock::Release::kShared  ? hs::kLockSharedReleased
                                                             : hs::kLockError;
        }
        answer = message(MessageType::kAsyncLockResponse, code, 0);
        break;
      }
      case MessageType::kAsyncLockInfo:
        answer = message(MessageType::kAsyncLockInfoResponse, device_.lock.exclusive_held() ? 1 : 0,
                         static_cast<std::uint32_t>(device_.lock.holders()));
        break;
      case MessageType::kAsyncStatusQuery: {
        device_.remote_local.addressed();
        bool mav = false;
        {
          const std::lock_guard guard(session->mutex);
          if ((header.control & hs::kRmtDelivered) != 0) session->mav = false;
          mav = session->mav;
        }
        const std::uint8_t stb = device_.status_byte() | (mav ? kMav : 0);
        answer = message(MessageType::kAsyncStatusResponse, stb, 0);
        break;
      }
      case MessageType::kAsyncDeviceClear: {
        device_.remote_local.addressed();
        {
          const std::lock_guard guard(session->mutex);
          session->clearing = true;
          session->mav = false;
        }
        const std::uint8_t preference = options_.prefer_overlapped ? hs::kPreferOverlapped : 0;
        answer = message(MessageType::kAsyncDeviceClearAcknowledge, preference, 0);
        break;
      }
      case MessageType::kAsyncRemoteLocalControl: {
        std::array<std::uint8_t, hs::kHeaderSize> raw{};
        hs::encode_header(raw.data(), header);
        device_.remote_local.record(std::string(raw.begin(), raw.end()));
        if (header.control >= kRemoteLocalCodes.size()) {
          answer = message(MessageType::kError, hs::kErrorUnknownControlCode, 0,
                           "no such remote/local request");
          break;
        }
        // Answered at once; the change waits for the message the request names.
        remote_local(*session, header.control, header.parameter);
        answer = message(MessageType::kAsyncRemoteLocalResponse, 0, 0);
        break;
      }
      default:
        answer = message(MessageType::kError, hs::kErrorUnknownType, 0,
                         "not an asynchronous-channel message");
        break;
    }
    if (!session->async.send(device_.stop, answer)) return;
  }
}

}  // namespace

std::unique_ptr<Service> make_hislip_service(Device& device, const std::string& address,
                                             const HislipOptions& options,
                                             std::uint16_t& bound_port) {
  auto service = std::make_unique<HislipService>(
      device, bind_socket(address, options.port, SOCK_STREAM), options);
  bound_port = service->port();
  return service;
}

}  // namespace zr48::sim
