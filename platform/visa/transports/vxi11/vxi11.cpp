// VXI-11 client transport.
#include "visa/transports/vxi11/vxi11.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "visa/attribute_value.h"
#include "visa/transport_table.h"
#include "visa/wire/portmap.h"

namespace zr48::visa {
namespace {

namespace vxi = wire::vxi11;
namespace portmap = wire::portmap;

// How much longer than the time-out sent to the server we wait for its answer: the server
// answers a time-out itself (error 15), which must have time to arrive.
constexpr int kReplyGraceMs = 500;
// Bounds for the steps after a time-out and for closing.
constexpr ViUInt32 kAbortWaitMs = 1000;
// device_abort ends only a call the server has begun; one that was still on its way when the
// abort came is aborted again, up to this many times within kAbortWaitMs.
constexpr int kAbortAttempts = 4;
constexpr ViUInt32 kCloseWaitMs = 1000;
// create_intr_chan's answer when the connection has its channel already: it is reused.
constexpr std::int32_t kChannelAlreadyEstablished = 29;
// Largest single device_read asked for; replies need not fit in one.
constexpr std::uint32_t kMaxReadRequest = 1U << 20;
// maxRecvSize as servers report it is not always sane: below the 1024 every server must take,
// or so large that one write would be held in memory twice.
constexpr std::uint32_t kMaxWritePiece = 1U << 20;

struct ErrorRow {
  std::int32_t error;
  ViStatus status;
};

constexpr std::array kErrors = {
    ErrorRow{vxi::kNoError, VI_SUCCESS},
    ErrorRow{vxi::kSyntaxError, VI_ERROR_INV_FMT},
    ErrorRow{vxi::kDeviceNotAccessible, VI_ERROR_RSRC_NFOUND},
    // The server no longer knows our link: nothing more can go over it.
    ErrorRow{vxi::kInvalidLinkId, VI_ERROR_CONN_LOST},
    ErrorRow{vxi::kParameterError, VI_ERROR_INV_PARAMETER},
    ErrorRow{vxi::kChannelNotEstablished, VI_ERROR_HNDLR_NINSTALLED},
    ErrorRow{vxi::kOperationNotSupported, VI_ERROR_NSUP_OPER},
    ErrorRow{vxi::kOutOfResources, VI_ERROR_RSRC_BUSY},
    ErrorRow{vxi::kDeviceLocked, VI_ERROR_RSRC_LOCKED},
    ErrorRow{vxi::kNoLockHeld, VI_ERROR_SESN_NLOCKED},
    ErrorRow{vxi::kIoTimeout, VI_ERROR_TMO},
    ErrorRow{vxi::kIoError, VI_ERROR_IO},
    ErrorRow{vxi::kAbort, VI_ERROR_ABORT},
};

// What each viGpibControlREN mode becomes on a link. VXI-11 has no REN line: device_remote
// puts the device in remote, where every local control is disabled (so lockout comes with
// remote), and device_local returns it to local. Enabling remote alone changes nothing on the
// device; lockout without remote has no call.
struct RenRow {
  ViUInt16 mode;
  std::uint32_t procedure;  // 0: nothing to send
  ViStatus status;
};

constexpr std::array kRenModes = {
    RenRow{VI_GPIB_REN_DEASSERT, vxi::kDeviceLocal, VI_SUCCESS},
    RenRow{VI_GPIB_REN_ASSERT, 0, VI_SUCCESS},
    RenRow{VI_GPIB_REN_DEASSERT_GTL, vxi::kDeviceLocal, VI_SUCCESS},
    RenRow{VI_GPIB_REN_ASSERT_ADDRESS, vxi::kDeviceRemote, VI_SUCCESS},
    RenRow{VI_GPIB_REN_ASSERT_LLO, 0, VI_ERROR_NSUP_OPER},
    RenRow{VI_GPIB_REN_ASSERT_ADDRESS_LLO, vxi::kDeviceRemote, VI_SUCCESS},
    RenRow{VI_GPIB_REN_ADDRESS_GTL, vxi::kDeviceLocal, VI_SUCCESS},
};

// The I/O time-out to send for what is left of `deadline`, and how long to wait for the reply.
struct CallTimes {
  std::uint32_t io_timeout_ms;
  Deadline reply_deadline;
};

CallTimes call_times(const Deadline& deadline) {
  const int left = deadline.poll_timeout();
  const Cancellation* cancellation = deadline.cancellation();
  if (left < 0) {
    return {VI_TMO_INFINITE, Deadline::after_ms(VI_TMO_INFINITE).cancelled_by(cancellation)};
  }
  return {
      static_cast<std::uint32_t>(left),
      Deadline::after_ms(static_cast<ViUInt32>(left) + kReplyGraceMs).cancelled_by(cancellation)};
}

bool starts_with_hislip(const std::string& device) {
  constexpr std::string_view kPrefix = "hislip";
  return device.size() >= kPrefix.size() &&
         std::equal(kPrefix.begin(), kPrefix.end(), device.begin(),
                    [](char a, char b) { return a == (b | 0x20); });
}

// Failing to reach a service during open: nothing there (refused, or a portmapper or server
// that does not speak the protocol) is RSRC_NFOUND; no answer in time stays TMO.
ViStatus open_status(ViStatus status) {
  return status == VI_ERROR_TMO || status == VI_ERROR_ALLOC ? status : VI_ERROR_RSRC_NFOUND;
}

}  // namespace

ViStatus vxi11_status(std::int32_t error) {
  for (const ErrorRow& row : kErrors) {
    if (row.error == error) return row.status;
  }
  return VI_ERROR_IO;
}

ViStatus accepts_vxi11(const ResourceName& name) {
  if (name.interface_type != Interface::kTcpip || name.resource_class != "INSTR" || name.secure ||
      starts_with_hislip(name.device)) {
    return VI_ERROR_RSRC_NFOUND;
  }
  return VI_SUCCESS;
}

ViStatus open_vxi11(const OpenRequest& request, std::unique_ptr<Transport>& out) {
  const std::string& host = request.name.host;
  std::unique_ptr<RpcChannel> portmapper;
  ViStatus status = RpcChannel::connect(host, portmap::kPort, portmap::kProgram, portmap::kVersion,
                                        request.deadline, portmapper);
  if (status != VI_SUCCESS) return open_status(status);
  portmap::PortResult port;
  status =
      portmapper->call(portmap::kGetPort,
                       portmap::Mapping{vxi::kCoreProgram, vxi::kVersion, portmap::kIpProtoTcp, 0},
                       port, request.deadline);
  portmapper.reset();
  if (status != VI_SUCCESS) return open_status(status);
  if (port.port == 0 || port.port > 0xFFFF) return VI_ERROR_RSRC_NFOUND;

  std::unique_ptr<RpcChannel> core;
  status = RpcChannel::connect(host, static_cast<ViUInt16>(port.port), vxi::kCoreProgram,
                               vxi::kVersion, request.deadline, core);
  if (status != VI_SUCCESS) return open_status(status);
  const std::string device = request.name.device.empty() ? "inst0" : request.name.device;
  vxi::CreateLinkResp link;
  status = core->call(vxi::kCreateLink,
                      vxi::CreateLinkParms{static_cast<std::int32_t>(::getpid()), false, 0, device},
                      link, request.deadline);
  if (status != VI_SUCCESS) return open_status(status);
  if (link.error != vxi::kNoError) return vxi11_status(link.error);
  out = std::make_unique<Vxi11Transport>(std::move(core), device, link);
  return VI_SUCCESS;
}

Vxi11Transport::Vxi11Transport(std::unique_ptr<RpcChannel> core, std::string device,
                               const wire::vxi11::CreateLinkResp& link)
    : core_(std::move(core)),
      device_(std::move(device)),
      lid_(link.lid),
      abort_port_(link.abort_port),
      max_write_(std::clamp(link.max_recv_size, vxi::kMinMaxRecvSize, kMaxWritePiece)) {}

template <typename Args, typename Result>
ViStatus Vxi11Transport::core_call(std::uint32_t procedure, const Args& args, Result& result,
                                   const Deadline& deadline) {
  if (deadline.cancelled()) return VI_ERROR_ABORT;  // nothing sent: nothing to abort
  const ViStatus status = core_->call(procedure, args, result, deadline);
  if (status != VI_ERROR_TMO && status != VI_ERROR_ABORT) return status;
  // The server kept the call past its time-out, or the caller gave up on it: abort it so that
  // the link stays usable, and take its reply (error 23) so that the channel is in step for
  // the next call. A reply that comes later still is dropped by its xid.
  for (int attempt = 0; attempt < kAbortAttempts; ++attempt) {
    (void)abort_call();
    if (core_->await_last_reply(Deadline::after_ms(kAbortWaitMs / kAbortAttempts)) !=
        VI_ERROR_TMO) {
      break;
    }
  }
  return status;
}

ViStatus Vxi11Transport::abort_call() {
  const auto deadline = Deadline::after_ms(kAbortWaitMs);
  if (abort_ == nullptr || abort_->broken()) {
    const ViStatus status =
        RpcChannel::connect(core_->socket().address(), abort_port_, vxi::kAbortProgram,
                            vxi::kVersion, deadline, abort_);
    if (status != VI_SUCCESS) return status;
  }
  vxi::DeviceError error;
  const ViStatus status = abort_->call(vxi::kDeviceAbort, vxi::DeviceLink{lid_}, error, deadline);
  return status != VI_SUCCESS ? status : vxi11_status(error.error);
}

ViStatus Vxi11Transport::send(const ViByte* data, std::size_t size, bool end,
                              const Deadline& deadline, std::size_t& sent) {
  sent = 0;
  do {
    if (deadline.cancelled()) return VI_ERROR_ABORT;
    const std::size_t piece = std::min<std::size_t>(size - sent, max_write_);
    const bool last = sent + piece == size;
    const CallTimes times = call_times(deadline);
    vxi::DeviceWriteResp reply;
    const ViStatus status = core_call(
        vxi::kDeviceWrite,
        vxi::DeviceWriteParms{lid_, times.io_timeout_ms, 0, last && end ? vxi::kFlagEnd : 0,
                              wire::Bytes(data + sent, piece)},
        reply, times.reply_deadline);
    if (status != VI_SUCCESS) return status;
    const std::size_t accepted = std::min<std::size_t>(reply.size, piece);
    sent += accepted;
    if (reply.error != vxi::kNoError) return vxi11_status(reply.error);
    if (accepted == 0 && piece > 0) return VI_ERROR_IO;  // a server that takes nothing
  } while (sent < size);
  return VI_SUCCESS;
}

ViStatus Vxi11Transport::receive(ViByte* data, std::size_t capacity,
                                 const ReadTermination& termination, const Deadline& deadline,
                                 Received& received) {
  received = {};
  if (surplus_at_ < surplus_.size()) {
    const std::size_t n = std::min(capacity, surplus_.size() - surplus_at_);
    std::memcpy(data, surplus_.data() + surplus_at_, n);
    surplus_at_ += n;
    received.size = n;
    if (surplus_at_ == surplus_.size()) {
      received.end = surplus_end_;
      surplus_.clear();
      surplus_at_ = 0;
    }
    return VI_SUCCESS;
  }
  const std::uint32_t request =
      static_cast<std::uint32_t>(std::min<std::size_t>(capacity, kMaxReadRequest));
  for (;;) {
    const CallTimes times = call_times(deadline);
    vxi::DeviceReadResp reply;
    const ViStatus status = core_call(
        vxi::kDeviceRead,
        vxi::DeviceReadParms{lid_, request, times.io_timeout_ms, 0,
                             termination.enabled ? vxi::kFlagTermCharSet : 0, termination.termchar},
        reply, times.reply_deadline);
    if (status != VI_SUCCESS) return status;
    const std::size_t n = std::min(reply.data.size(), capacity);
    if (n > 0) std::memcpy(data, reply.data.data(), n);
    received.size = n;
    if (reply.error != vxi::kNoError) return vxi11_status(reply.error);  // with the bytes so far
    ReadEnd end = ReadEnd::kChunk;
    if ((reply.reason & vxi::kReasonEnd) != 0) {
      end = ReadEnd::kEnd;
    } else if ((reply.reason & vxi::kReasonTermChar) != 0) {
      end = ReadEnd::kTermChar;
    } else if ((reply.reason & vxi::kReasonRequestCount) != 0) {
      end = ReadEnd::kCount;
    }
    if (n < reply.data.size()) {  // more than asked for: kept for the next read
      surplus_.assign(reply.data.begin() + static_cast<std::ptrdiff_t>(n), reply.data.end());
      surplus_at_ = 0;
      surplus_end_ = end;
      end = ReadEnd::kCount;
    }
    received.end = end;
    // Nothing yet and no reason (the server's buffer was empty): ask again until the deadline.
    if (n > 0 || end != ReadEnd::kChunk) return VI_SUCCESS;
    if (deadline.poll_timeout() == 0) return VI_ERROR_TMO;
    if (deadline.cancelled()) return VI_ERROR_ABORT;
  }
}

ViStatus Vxi11Transport::discard_ready() {
  // Replies the server still holds stay there; only what this side kept is dropped.
  surplus_.clear();
  surplus_at_ = 0;
  return core_->broken() ? VI_ERROR_CONN_LOST : VI_SUCCESS;
}

void Vxi11Transport::interrupt() {
  core_->interrupt();
}

void Vxi11Transport::shutdown() {
  if (core_->broken()) return;
  if (interrupts_ != nullptr) {
    vxi::DeviceError error;
    const auto deadline = Deadline::after_ms(kCloseWaitMs);
    (void)core_->call(vxi::kDeviceEnableSrq, vxi::DeviceEnableSrqParms{lid_, false, {}}, error,
                      deadline);
    (void)core_->call(vxi::kDestroyIntrChan, wire::rpc::Void{}, error, deadline);
    interrupts_.reset();
  }
  // Servers that keep links of vanished clients run out of them: always say goodbye.
  vxi::DeviceError error;
  (void)core_->call(vxi::kDestroyLink, vxi::DeviceLink{lid_}, error,
                    Deadline::after_ms(kCloseWaitMs));
}

ViStatus Vxi11Transport::start_service_requests(const std::function<void()>& notify,
                                                const Deadline& deadline) {
  if (interrupts_ != nullptr) return VI_SUCCESS;
  // The instrument connects back to the address our core connection comes from.
  sockaddr_in local{};
  socklen_t size = sizeof local;
  if (::getsockname(core_->socket().native_handle(), reinterpret_cast<sockaddr*>(&local), &size) !=
          0 ||
      local.sin_family != AF_INET) {
    return VI_ERROR_SYSTEM_ERROR;
  }
  std::vector<std::uint8_t> handle(4);
  const auto lid = static_cast<std::uint32_t>(lid_);
  for (std::size_t i = 0; i < handle.size(); ++i) {
    handle[i] = static_cast<std::uint8_t>(lid >> (24 - 8 * i));
  }
  std::unique_ptr<InterruptServer> server;
  ViStatus status = InterruptServer::start(local, handle, notify, server);
  if (status != VI_SUCCESS) return status;
  const CallTimes times = call_times(deadline);
  vxi::DeviceError error;
  status = core_call(vxi::kCreateIntrChan, vxi::DeviceRemoteFunc{server->address(), server->port()},
                     error, times.reply_deadline);
  if (status != VI_SUCCESS) return status;
  if (error.error != vxi::kNoError && error.error != kChannelAlreadyEstablished) {
    return vxi11_status(error.error);
  }
  status = core_call(vxi::kDeviceEnableSrq, vxi::DeviceEnableSrqParms{lid_, true, handle}, error,
                     times.reply_deadline);
  if (status != VI_SUCCESS) return status;
  if (error.error != vxi::kNoError) return vxi11_status(error.error);
  interrupts_ = std::move(server);
  return VI_SUCCESS;
}

ViStatus Vxi11Transport::generic(std::uint32_t procedure, const Deadline& deadline) {
  const CallTimes times = call_times(deadline);
  vxi::DeviceError error;
  const ViStatus status =
      core_call(procedure, vxi::DeviceGenericParms{lid_, 0, 0, times.io_timeout_ms}, error,
                times.reply_deadline);
  return status != VI_SUCCESS ? status : vxi11_status(error.error);
}

ViStatus Vxi11Transport::clear(const Deadline& deadline) {
  surplus_.clear();
  surplus_at_ = 0;
  return generic(vxi::kDeviceClear, deadline);
}

ViStatus Vxi11Transport::trigger(const Deadline& deadline) {
  return generic(vxi::kDeviceTrigger, deadline);
}

ViStatus Vxi11Transport::read_status_byte(const Deadline& deadline, ViUInt16& status) {
  const CallTimes times = call_times(deadline);
  vxi::DeviceReadStbResp reply;
  const ViStatus result =
      core_call(vxi::kDeviceReadStb, vxi::DeviceGenericParms{lid_, 0, 0, times.io_timeout_ms},
                reply, times.reply_deadline);
  if (result != VI_SUCCESS) return result;
  if (reply.error != vxi::kNoError) return vxi11_status(reply.error);
  status = reply.stb;
  return VI_SUCCESS;
}

ViStatus Vxi11Transport::lock(LockKind kind, std::string_view /*key*/, ViUInt32 timeout_ms,
                              const Deadline& deadline) {
  // VXI-11 locks are exclusive only.
  if (kind != LockKind::kExclusive) return VI_ERROR_INV_LOCK_TYPE;
  const CallTimes times = call_times(deadline);
  vxi::DeviceError error;
  const ViStatus status =
      core_call(vxi::kDeviceLock,
                vxi::DeviceLockParms{lid_, timeout_ms > 0 ? vxi::kFlagWaitLock : 0, timeout_ms},
                error, times.reply_deadline);
  return status != VI_SUCCESS ? status : vxi11_status(error.error);
}

ViStatus Vxi11Transport::unlock(const Deadline& deadline) {
  const CallTimes times = call_times(deadline);
  vxi::DeviceError error;
  const ViStatus status =
      core_call(vxi::kDeviceUnlock, vxi::DeviceLink{lid_}, error, times.reply_deadline);
  return status != VI_SUCCESS ? status : vxi11_status(error.error);
}

ViStatus Vxi11Transport::control_ren(ViUInt16 mode, const Deadline& deadline) {
  const auto row = std::ranges::find(kRenModes, mode, &RenRow::mode);
  if (row == kRenModes.end()) return VI_ERROR_INV_MODE;
  if (row->procedure == 0) return row->status;
  return generic(row->procedure, deadline);
}

ViStatus Vxi11Transport::get_attribute(ViAttr attribute, void* value) const {
  switch (attribute) {
    case VI_ATTR_TCPIP_DEVICE_NAME:
      store_attribute_text(value, device_);
      return VI_SUCCESS;
    case VI_ATTR_TCPIP_IS_HISLIP:
      store_attribute<ViBoolean>(value, VI_FALSE);
      return VI_SUCCESS;
    case VI_ATTR_TCPIP_PORT:  // a SOCKET and HiSLIP attribute
      return VI_ERROR_NSUP_ATTR;
    default:
      return core_->socket().get_attribute(attribute, value);
  }
}

ViStatus Vxi11Transport::set_attribute(ViAttr attribute, ViAttrState value) {
  switch (attribute) {
    case VI_ATTR_TCPIP_DEVICE_NAME:
    case VI_ATTR_TCPIP_IS_HISLIP:
      return VI_ERROR_ATTR_READONLY;
    case VI_ATTR_TCPIP_PORT:
      return VI_ERROR_NSUP_ATTR;
    default:
      return core_->socket().set_attribute(attribute, value);
  }
}

}  // namespace zr48::visa
