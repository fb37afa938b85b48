// VXI-11: the core channel (links, write, read, status byte, trigger, clear, locks) and the
// abort channel, each an ONC-RPC service on its own port. Replies wait in the link's output
// queue until device_read takes them.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <condition_variable>
#include <map>
#include <set>

#include "exchange.h"
#include "rpc_server.h"
#include "services.h"
#include "unique_fd.h"
#include "visa/wire/vxi11.h"

namespace zr48::sim {
namespace {

namespace rpc = wire::rpc;
namespace vx = wire::vxi11;

constexpr std::size_t kMaxLinks = 256;
constexpr std::int32_t kChannelAlreadyEstablished = 29;

// The instrument's end of an interrupt channel: a connection to the client's DEVICE_INTR
// server, on which device_intr_srq calls go out, one-way (never answered).
class InterruptChannel {
 public:
  // Connects to a loopback address only: the simulator talks to nothing else.
  static std::shared_ptr<InterruptChannel> connect(std::uint32_t address, std::uint32_t port) {
    if ((address >> 24) != 127 || port == 0 || port > 0xFFFF) return nullptr;
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_addr.s_addr = htonl(address);
    peer.sin_port = htons(static_cast<std::uint16_t>(port));
    if (fd.get() < 0 ||
        ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
      return nullptr;
    }
    return std::make_shared<InterruptChannel>(std::move(fd));
  }
  explicit InterruptChannel(UniqueFd fd) : fd_(std::move(fd)) {}

  void service_request(const StopSignal& stop, wire::Bytes handle) {
    const std::lock_guard guard(mutex_);
    Record call;
    rpc::build_call(call, {++xid_, vx::kInterruptProgram, vx::kVersion, vx::kDeviceIntrSrq},
                    vx::DeviceSrqParms{handle});
    (void)stop.send_all(fd_.get(), {reinterpret_cast<const char*>(call.data()), call.size()});
  }

 private:
  std::mutex mutex_;
  UniqueFd fd_;
  std::uint32_t xid_ = 0;
};

// What belongs to one core connection: its links and its interrupt channel.
struct CoreConnection {
  std::set<std::int32_t> links;
  std::shared_ptr<InterruptChannel> interrupts;
};

// VXI-11 has no REN line: device_remote enables remote and goes there (its remote state
// disables every local control), device_local returns to local.
constexpr RemoteLocalChange kDeviceRemote{Flag::kOn, Flag::kEep, Flag::kOn};
constexpr RemoteLocalChange kDeviceLocal{Flag::kEep, Flag::kEep, Flag::kOff};

struct Link {
  Link(Device& device, std::size_t record_slot) : slot(record_slot), exchange(device) {}
  std::size_t slot;  // record slot; the lock owner derives from it
  Exchange exchange;
  bool busy = false;  // a read is in progress (device_abort may end it)
  bool aborted = false;
  std::optional<std::uint64_t> srq_listener;  // service requests enabled
};

// Device_DocmdResp: no commands are served, so no data comes back.
struct DocmdResp {
  std::int32_t error = vx::kOperationNotSupported;
};
void encode(wire::XdrWriter& out, const DocmdResp& value) {
  out.i32(value.error);
  out.opaque({});
}

// What one core-channel call did beyond its reply.
struct CallFaults {
  std::optional<std::string> wire;
  std::optional<std::size_t> cut;
  bool close = false;
};

class Vxi11Service final : public Service {
 public:
  Vxi11Service(Device& device, BoundSocket core, BoundSocket abort, const Vxi11Options& options)
      : device_(device),
        options_(options),
        abort_port_(abort.port),
        core_(
            device.stop, std::move(core), [this](int fd, std::size_t) { serve_core(fd); },
            kMaxConnections),
        abort_(
            device.stop, std::move(abort), [this](int fd, std::size_t) { serve_abort(fd); },
            kMaxConnections) {}
  Vxi11Ports ports() const { return {core_.port(), abort_.port()}; }
  void start() override {
    core_.start();
    abort_.start();
  }
  void wake() override {
    { const std::lock_guard guard(mutex_); }
    changed_.notify_all();
  }
  void join() override {
    core_.join();
    abort_.join();
  }

 private:
  void serve_core(int fd);
  void serve_abort(int fd);
  RpcOutcome core_call(wire::Bytes record, CoreConnection& connection, Record& last_reply);
  Record dispatch(wire::XdrReader& in, const rpc::CallHeader& call, CoreConnection& connection,
                  CallFaults& faults);
  std::int32_t enable_srq(const vx::DeviceEnableSrqParms& p, const CoreConnection& connection);

  vx::CreateLinkResp create_link(const vx::CreateLinkParms& p, std::set<std::int32_t>& links);
  vx::DeviceWriteResp write(const vx::DeviceWriteParms& p, CallFaults& faults);
  vx::DeviceReadResp read(const vx::DeviceReadParms& p, std::string& data, CallFaults& faults);
  std::int32_t lock(std::int32_t lid, std::int32_t flags, std::uint32_t lock_timeout);
  std::int32_t destroy(std::int32_t lid, std::set<std::int32_t>& links);
  // Waits for the lock as the flags say; kNoError when this link may go on.
  std::int32_t wait_access(std::size_t slot, std::int32_t flags, std::uint32_t lock_timeout);
  std::optional<std::size_t> slot_of(std::int32_t lid);

  Device& device_;
  Vxi11Options options_;
  std::uint16_t abort_port_;
  TcpService core_;
  TcpService abort_;
  std::mutex mutex_;  // guards links_ and their state
  std::condition_variable changed_;
  std::map<std::int32_t, Link> links_;
  std::int32_t next_lid_ = 1;
};

void Vxi11Service::serve_core(int fd) {
  CoreConnection connection;  // links are destroyed when it closes
  Record last_reply;
  serve_rpc_stream(device_.stop, fd, options_.max_recv_size + 1024,
                   [&](wire::Bytes record) { return core_call(record, connection, last_reply); });
  while (!connection.links.empty()) destroy(*connection.links.begin(), connection.links);
}

RpcOutcome Vxi11Service::core_call(wire::Bytes record, CoreConnection& connection,
                                   Record& last_reply) {
  wire::XdrReader in(record);
  rpc::CallHeader call;
  if (auto refused = check_call(in, call, vx::kCoreProgram, vx::kVersion)) return {*refused};
  if (call.procedure == vx::kDeviceRemote || call.procedure == vx::kDeviceLocal) {
    device_.remote_local.record(std::string(record.begin() + 4, record.end()));
  }
  if (call.procedure == vx::kDeviceLock || call.procedure == vx::kDeviceUnlock) {
    device_.lock.record(std::string(record.begin() + 4, record.end()));
  }
  CallFaults faults;
  Record reply = dispatch(in, call, connection, faults);
  if (faults.close) return {{}, true};
  if (faults.wire) reply.assign(faults.wire->begin(), faults.wire->end());
  RpcOutcome outcome;
  if (device_.with_faults([](Faults& f) { return std::exchange(f.stale_xid, false); })) {
    // A late reply to an earlier call: the previous one, or this one under the xid before it.
    Record stale = last_reply;
    if (stale.size() < rpc::kRecordMarkSize + 4) {
      stale = reply;
      if (stale.size() >= rpc::kRecordMarkSize + 4) {
        wire::put_u32(stale.data() + rpc::kRecordMarkSize, call.xid - 1);
      }
    }
    outcome.bytes = std::move(stale);
  }
  last_reply = reply;
  if (faults.cut) {
    reply.resize(std::min(*faults.cut, reply.size()));
    outcome.close = true;
  }
  outcome.bytes.insert(outcome.bytes.end(), reply.begin(), reply.end());
  return outcome;
}

Record Vxi11Service::dispatch(wire::XdrReader& in, const rpc::CallHeader& call,
                              CoreConnection& connection, CallFaults& faults) {
  const std::uint32_t xid = call.xid;
  auto& links = connection.links;
  const auto generic = [&](auto f) {
    return reply_to<vx::DeviceGenericParms>(in, xid, [&](const vx::DeviceGenericParms& p) {
      const auto slot = slot_of(p.lid);
      if (!slot) return vx::DeviceError{vx::kInvalidLinkId};
      const std::int32_t access = wait_access(*slot, p.flags, p.lock_timeout);
      return vx::DeviceError{access != vx::kNoError ? access : f(p)};
    });
  };
  switch (call.procedure) {
    case vx::kCreateLink:
      return reply_to<vx::CreateLinkParms>(
          in, xid, [&](const vx::CreateLinkParms& p) { return create_link(p, links); });
    case vx::kDeviceWrite:
      return reply_to<vx::DeviceWriteParms>(
          in, xid, [&](const vx::DeviceWriteParms& p) { return write(p, faults); });
    case vx::kDeviceRead: {
      std::string data;  // the reply's data points into it
      return reply_to<vx::DeviceReadParms>(
          in, xid, [&](const vx::DeviceReadParms& p) { return read(p, data, faults); });
    }
    case vx::kDeviceReadStb:
      return reply_to<vx::DeviceGenericParms>(in, xid, [&](const vx::DeviceGenericParms& p) {
        vx::DeviceReadStbResp resp;
        const auto slot = slot_of(p.lid);
        if (!slot) return vx::DeviceReadStbResp{vx::kInvalidLinkId, 0};
        resp.error = wait_access(*slot, p.flags, p.lock_timeout);
        if (resp.error != vx::kNoError) return resp;
        const std::lock_guard guard(mutex_);
        const auto it = links_.find(p.lid);
        if (it == links_.end()) return vx::DeviceReadStbResp{vx::kInvalidLinkId, 0};
        resp.stb = it->second.exchange.status_byte();
        return resp;
      });
    case vx::kDeviceTrigger:
      return generic([&](const vx::DeviceGenericParms& p) {
        const std::lock_guard guard(mutex_);
        const auto it = links_.find(p.lid);
        if (it == links_.end()) return vx::kInvalidLinkId;
        it->second.exchange.trigger();
        device_.remote_local.addressed();
        return vx::kNoError;
      });
    case vx::kDeviceClear:
      return generic([&](const vx::DeviceGenericParms& p) {
        const std::lock_guard guard(mutex_);
        const auto it = links_.find(p.lid);
        if (it == links_.end()) return vx::kInvalidLinkId;
        it->second.exchange.device_clear();
        device_.remote_local.addressed();
        return vx::kNoError;
      });
    case vx::kDeviceRemote:
    case vx::kDeviceLocal:
      return generic([&](const vx::DeviceGenericParms&) {
        device_.remote_local.apply(call.procedure == vx::kDeviceRemote ? kDeviceRemote
                                                                       : kDeviceLocal);
        return vx::kNoError;
      });
    case vx::kDeviceLock:
      return reply_to<vx::DeviceLockParms>(in, xid, [&](const vx::DeviceLockParms& p) {
        return vx::DeviceError{lock(p.lid, p.flags, p.lock_timeout)};
      });
    case vx::kDeviceUnlock:
      return reply_to<vx::DeviceLink>(in, xid, [&](const vx::DeviceLink& p) {
        const auto slot = slot_of(p.lid);
        if (!slot) return vx::DeviceError{vx::kInvalidLinkId};
        const auto released = device_.lock.unlock(Device::owner_of(*slot));
        return vx::DeviceError{released == DeviceLock::Release::kNotHeld ? vx::kNoLockHeld
                                                                         : vx::kNoError};
      });
    case vx::kDestroyLink:
      return reply_to<vx::DeviceLink>(
          in, xid, [&](const vx::DeviceLink& p) { return vx::DeviceError{destroy(p.lid, links)}; });
    case vx::kDeviceEnableSrq:
      return reply_to<vx::DeviceEnableSrqParms>(in, xid, [&](const vx::DeviceEnableSrqParms& p) {
        return vx::DeviceError{enable_srq(p, connection)};
      });
    case vx::kCreateIntrChan:
      return reply_to<vx::DeviceRemoteFunc>(in, xid, [&](const vx::DeviceRemoteFunc& p) {
        if (connection.interrupts != nullptr) return vx::DeviceError{kChannelAlreadyEstablished};
        if (p.prog_num != vx::kInterruptProgram || p.prog_vers != vx::kVersion ||
            p.prog_family != vx::kFamilyTcp) {
          return vx::DeviceError{vx::kOperationNotSupported};
        }
        connection.interrupts = InterruptChannel::connect(p.host_addr, p.host_port);
        return vx::DeviceError{connection.interrupts != nullptr ? vx::kNoError
                                                                : vx::kChannelNotEstablished};
      });
    case vx::kDestroyIntrChan: {
      // Listeners hold the channel weakly: they fall silent with it.
      const bool had = connection.interrupts != nullptr;
      connection.interrupts.reset();
      Record out;
      rpc::build_reply(out, xid, vx::DeviceError{had ? vx::kNoError : vx::kChannelNotEstablished});
      return out;
    }
    case vx::kDeviceDocmd: {
      Record out;
      rpc::build_reply(out, xid, DocmdResp{});
      return out;
    }
    default:
      return accepted_error(xid, rpc::AcceptStat::kProcUnavail);
  }
}

std::optional<std::size_t> Vxi11Service::slot_of(std::int32_t lid) {
  const std::lock_guard guard(mutex_);
  const auto it = links_.find(lid);
  if (it == links_.end()) return std::nullopt;
  return it->second.slot;
}

std::int32_t Vxi11Service::wait_access(std::size_t slot, std::int32_t flags,
                                       std::uint32_t lock_timeout) {
  const auto wait = (flags & vx::kFlagWaitLock) != 0 ? std::chrono::milliseconds(lock_timeout)
                                                     : std::chrono::milliseconds(0);
  return device_.lock.wait_access(Device::owner_of(slot), deadline_after(wait)) ? vx::kNoError
                                                                                : vx::kDeviceLocked;
}

vx::CreateLinkResp Vxi11Service::create_link(const vx::CreateLinkParms& p,
                                             std::set<std::int32_t>& links) {
  vx::CreateLinkResp resp{vx::kNoError, 0, abort_port_, options_.max_recv_size};
  std::string device(p.device);
  std::ranges::transform(device, device.begin(), [](unsigned char c) { return std::tolower(c); });
  if (device != "inst0") {
    resp.error = vx::kDeviceNotAccessible;
    return resp;
  }
  {
    const std::lock_guard guard(mutex_);
    if (links_.size() >= kMaxLinks) {
      resp.error = vx::kOutOfResources;
      return resp;
    }
  }
  const std::size_t slot = device_.open_session();
  if (p.lock_device) {
    const auto result = device_.lock.lock(
        Device::owner_of(slot), "", deadline_after(std::chrono::milliseconds(p.lock_timeout)));
    if (result != DeviceLock::Result::kGranted) {
      resp.error = vx::kDeviceLocked;
      return resp;
    }
  }
  const std::lock_guard guard(mutex_);
  while (links_.contains(next_lid_)) next_lid_ = next_lid_ == INT32_MAX ? 1 : next_lid_ + 1;
  resp.lid = next_lid_++;
  links_.try_emplace(resp.lid, device_, slot);
  links.insert(resp.lid);
  return resp;
}

std::int32_t Vxi11Service::enable_srq(const vx::DeviceEnableSrqParms& p,
                                      const CoreConnection& connection) {
  std::optional<std::uint64_t> old;
  {
    const std::lock_guard guard(mutex_);
    const auto it = links_.find(p.lid);
    if (it == links_.end()) return vx::kInvalidLinkId;
    old = std::exchange(it->second.srq_listener, std::nullopt);
  }
  if (old) device_.service_requests.unsubscribe(*old);
  if (!p.enable) return vx::kNoError;
  if (connection.interrupts == nullptr) return vx::kChannelNotEstablished;
  const std::uint64_t listener = device_.service_requests.subscribe(
      [this, channel = std::weak_ptr<InterruptChannel>(connection.interrupts),
       handle = std::vector<std::uint8_t>(p.handle.begin(), p.handle.end())](std::uint8_t) {
        if (const auto open = channel.lock()) open->service_request(device_.stop, handle);
      });
  const std::lock_guard guard(mutex_);
  const auto it = links_.find(p.lid);
  if (it == links_.end()) {
    device_.service_requests.unsubscribe(listener);
    return vx::kInvalidLinkId;
  }
  it->second.srq_listener = listener;
  return vx::kNoError;
}

std::int32_t Vxi11Service::destroy(std::int32_t lid, std::set<std::int32_t>& links) {
  std::size_t slot = 0;
  std::optional<std::uint64_t> listener;
  {
    const std::lock_guard guard(mutex_);
    const auto it = links_.find(lid);
    if (it == links_.end()) return vx::kInvalidLinkId;
    slot = it->second.slot;
    listener = it->second.srq_listener;
    links_.erase(it);
  }
  if (listener) device_.service_requests.unsubscribe(*listener);
  links.erase(lid);
  device_.lock.release_all(Device::owner_of(slot));
  return vx::kNoError;
}

std::int32_t Vxi11Service::lock(std::int32_t lid, std::int32_t flags, std::uint32_t lock_timeout) {
  const auto slot = slot_of(lid);
  if (!slot) return vx::kInvalidLinkId;
  const auto wait = (flags & vx::kFlagWaitLock) != 0 ? std::chrono::milliseconds(lock_timeout)
                                                     : std::chrono::milliseconds(0);
  const auto result = device_.lock.lock(Device::owner_of(*slot), "", deadline_after(wait));
  return result == DeviceLock::Result::kGranted ? vx::kNoError : vx::kDeviceLocked;
}

vx::DeviceWriteResp Vxi11Service::write(const vx::DeviceWriteParms& p, CallFaults& faults) {
  const auto slot = slot_of(p.lid);
  if (!slot) return {vx::kInvalidLinkId, 0};
  if (const auto access = wait_access(*slot, p.flags, p.lock_timeout); access != vx::kNoError) {
    return {access, 0};
  }
  if (p.data.size() > options_.max_recv_size) return {vx::kParameterError, 0};
  const std::string_view data(reinterpret_cast<const char*>(p.data.data()), p.data.size());
  device_.record(*slot, data);
  device_.remote_local.addressed();

  {
    const std::lock_guard guard(mutex_);
    const auto it = links_.find(p.lid);
    if (it == links_.end()) return {vx::kInvalidLinkId, 0};
    faults.close = !it->second.exchange.write(data, (p.flags & vx::kFlagEnd) != 0);
  }
  changed_.notify_all();
  return {vx::kNoError, static_cast<std::uint32_t>(p.data.size())};
}

vx::DeviceReadResp Vxi11Service::read(const vx::DeviceReadParms& p, std::string& data,
                                      CallFaults& faults) {
  const auto slot = slot_of(p.lid);
  if (!slot) return {vx::kInvalidLinkId, 0, {}};
  if (const auto access = wait_access(*slot, p.flags, p.lock_timeout); access != vx::kNoError) {
    return {access, 0, {}};
  }
  const bool hang = device_.with_faults([](Faults& f) { return f.hang_until_abort; });
  const auto deadline =
      hang ? Clock::time_point::max() : deadline_after(std::chrono::milliseconds(p.io_timeout));

  std::unique_lock guard(mutex_);
  auto it = links_.find(p.lid);
  if (it == links_.end()) return {vx::kInvalidLinkId, 0, {}};
  Link* link = &it->second;
  if (!link->exchange.waiting()) link->exchange.read_nothing();
  link->busy = true;
  link->aborted = false;
  for (;;) {
    if (device_.stop.raised()) {
      faults.close = true;
      link->busy = false;
      return {vx::kIoError, 0, {}};
    }
    if (link->aborted) {
      link->busy = false;
      link->aborted = false;
      return {vx::kAbort, 0, {}};
    }
    const auto now = Clock::now();
    const bool waiting = link->exchange.waiting();
    if (waiting && link->exchange.ready_at() <= now) break;
    if (now >= deadline) {
      link->busy = false;
      return {vx::kIoTimeout, 0, {}};
    }
    const auto until = waiting ? std::min(deadline, link->exchange.ready_at()) : deadline;
    if (until == Clock::time_point::max()) {
      changed_.wait(guard);
    } else {
      changed_.wait_until(guard, until);
    }
    it = links_.find(p.lid);  // destroyed meanwhile by another connection?
    if (it == links_.end()) return {vx::kInvalidLinkId, 0, {}};
    link = &it->second;
  }
  link->busy = false;
  const bool term_set = (p.flags & vx::kFlagTermCharSet) != 0;
  auto chunk = link->exchange.take(
      p.request_size, term_set ? std::optional(static_cast<char>(p.term_char)) : std::nullopt);
  faults.cut = chunk.cut;
  if (chunk.wire) {
    faults.wire = std::move(chunk.wire);
    return {vx::kNoError, vx::kReasonEnd, {}};
  }
  std::int32_t reason = chunk.end ? vx::kReasonEnd : 0;
  if (term_set && !chunk.bytes.empty() && chunk.bytes.back() == static_cast<char>(p.term_char)) {
    reason |= vx::kReasonTermChar;
  }
  if (reason == 0 && chunk.bytes.size() == p.request_size) reason = vx::kReasonRequestCount;
  data = std::move(chunk.bytes);
  return {vx::kNoError, reason,
          wire::Bytes(reinterpret_cast<const std::uint8_t*>(data.data()), data.size())};
}

void Vxi11Service::serve_abort(int fd) {
  serve_rpc_stream(device_.stop, fd, 1024, [this](wire::Bytes record) {
    wire::XdrReader in(record);
    rpc::CallHeader call;
    if (auto refused = check_call(in, call, vx::kAbortProgram, vx::kVersion)) {
      return RpcOutcome{*refused};
    }
    if (call.procedure != vx::kDeviceAbort) {
      return RpcOutcome{accepted_error(call.xid, rpc::AcceptStat::kProcUnavail)};
    }
    return RpcOutcome{reply_to<vx::DeviceLink>(in, call.xid, [this](const vx::DeviceLink& p) {
      {
        const std::lock_guard guard(mutex_);
        const auto it = links_.find(p.lid);
        if (it == links_.end()) return vx::DeviceError{vx::kInvalidLinkId};
        if (it->second.busy) it->second.aborted = true;
      }
      changed_.notify_all();
      return vx::DeviceError{vx::kNoError};
    })};
  });
}

}  // namespace

std::unique_ptr<Service> make_vxi11_service(Device& device, const std::string& address,
                                            const Vxi11Options& options, Vxi11Ports& bound) {
  BoundSocket core = bind_socket(address, options.core_port, SOCK_STREAM);
  BoundSocket abort = bind_socket(address, options.abort_port, SOCK_STREAM);
  auto service = std::make_unique<Vxi11Service>(device, std::move(core), std::move(abort), options);
  bound = service->ports();
  return service;
}

}  // namespace zr48::sim
