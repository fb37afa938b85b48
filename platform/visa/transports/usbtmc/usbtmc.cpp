// USBTMC transport over the kernel's usbtmc driver. The driver does the bulk transfers: a
// write() is one message (EOM as set by ioctl), a read() requests one reply message and returns
// what the device sent, with its EOM bit available afterwards. The driver's per-open time-out
// is set from each operation's deadline before the call. Newer ioctls that an older driver
// lacks (ENOTTY, EBADRQC; EINVAL where the device lacks the feature) switch that feature off
// for the session: what can be done another way is (IEEE 488.2 strings for the status byte and
// trigger, held output for writes without END), the rest is VI_ERROR_NSUP_OPER.
// Service requests: the driver flags one it received on the interrupt-IN endpoint, and poll()
// reports the flag as POLLPRI until it is taken. A watcher thread polls for it (with an eventfd
// to stop it), takes it and raises the event; it never touches the session's I/O and ends on
// close or when the device is unplugged.
#include "visa/transports/usbtmc/usbtmc.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "visa/attribute_value.h"
#include "visa/find.h"
#include "visa/trace.h"
#include "visa/transport_table.h"
#include "visa/transports/tcp_socket.h"
#include "visa/transports/usbtmc/device_file.h"
#include "visa/transports/usbtmc/ioctls.h"
#include "visa/transports/usbtmc/sysfs.h"
#include "visa/visa.h"

namespace zr48::visa {
namespace {

using usbtmc::DeviceFile;

// A day stands in for "no time-out": the driver passes the value on as a USB transfer time-out,
// where 0 would mean forever and large values overflow.
constexpr std::uint32_t kLongestTimeoutMs = 24U * 60U * 60U * 1000U;
constexpr std::uint32_t kTimeoutStepMs = 100;
constexpr ViStatus kErrorInvMode = _VI_ERROR + 0x3FFF0091L;  // VI_ERROR_INV_MODE

// Whether an ioctl's errno says this driver revision or device lacks the operation.
bool absent(int error) {
  return error == ENOTTY || error == EBADRQC || error == EINVAL;
}

ViStatus status_from_errno(int error) {
  switch (error) {
    case ETIMEDOUT:
    case ETIME:  // older revisions' status-byte wait
      return VI_ERROR_TMO;
    case ENODEV:  // unplugged: the driver keeps the file as a zombie
    case ESHUTDOWN:
      return VI_ERROR_CONN_LOST;
    case ECANCELED:
      return VI_ERROR_ABORT;
    case EBUSY:
      return VI_ERROR_RSRC_BUSY;
    default:  // EPIPE (stall), EPERM (a clear the device refused), EIO, EPROTO...
      return VI_ERROR_IO;
  }
}

ViStatus open_status(int error) {
  switch (error) {
    case EACCES:
    case EPERM:
      return VI_ERROR_NPERMISSION;
    case EBUSY:
      return VI_ERROR_RSRC_BUSY;
    default:  // ENOENT, ENODEV, ENXIO: gone between sysfs and open
      return VI_ERROR_RSRC_NFOUND;
  }
}

// Whether the device and the driver can deliver service requests.
enum class SrqSupport { kAvailable, kNoInterruptEndpoint, kOldDriver };

class UsbtmcTransport final : public Transport {
 public:
  UsbtmcTransport(std::unique_ptr<DeviceFile> file, usbtmc::Interface interface)
      : file_(std::move(file)), interface_(std::move(interface)) {}
  ~UsbtmcTransport() override { stop_watching(); }
  UsbtmcTransport(const UsbtmcTransport&) = delete;
  UsbtmcTransport& operator=(const UsbtmcTransport&) = delete;

  // Learns the device's capabilities, turns automatic aborts on and EOM on.
  ViStatus start();

  ViStatus send(const ViByte* data, std::size_t size, bool end, const Deadline& deadline,
                std::size_t& sent) override;
  ViStatus receive(ViByte* data, std::size_t capacity, const ReadTermination& termination,
                   const Deadline& deadline, Received& received) override;
  // The driver holds nothing unread: a reply moves only when a read requests it.
  ViStatus discard_ready() override { return VI_SUCCESS; }
  void interrupt() override;
  void shutdown() override { stop_watching(); }
  ViStatus get_attribute(ViAttr attribute, void* value) const override;
  ViStatus set_attribute(ViAttr attribute, ViAttrState value) override;

  ViStatus clear(const Deadline& deadline) override;
  ViStatus read_status_byte(const Deadline& deadline, ViUInt16& status) override;
  ViStatus trigger(const Deadline& deadline) override;
  ViStatus control_ren(ViUInt16 mode, const Deadline& deadline) override;

  bool has_service_requests() const override { return srq_ == SrqSupport::kAvailable; }
  std::string service_requests_missing() const override;
  ViStatus start_service_requests(const std::function<void()>& notify,
                                  const Deadline& deadline) override;

 private:
  // Takes a pending service request from the driver, noting the RQS the next status byte owes:
  // 1 when one was pending, 0 when none, or -errno. srq_mutex_ held.
  int take_service_request();
  void watch_service_requests();
  void stop_watching();
  // The status byte from the device: READ_STB, or with the watcher running GET_STB, which
  // leaves a request that has just come in to the watcher.
  ViStatus read_device_status_byte(const Deadline& deadline, ViUInt16& status);

  ViStatus set_timeout(const Deadline& deadline);
  ViStatus set_eom(bool end);
  ViStatus set_termchar(const ReadTermination& termination);
  ViStatus write_message(const ViByte* data, std::size_t size, bool end, const Deadline& deadline);
  // A plain ioctl without argument or with a byte; VI_ERROR_NSUP_OPER when absent.
  ViStatus command(unsigned long request, std::uint8_t* argument, const Deadline& deadline);
  // Sends `text` as a message and, for a query, reads the one-message reply.
  ViStatus exchange(std::string_view text, const Deadline& deadline, std::string* reply);

  std::unique_ptr<DeviceFile> file_;
  usbtmc::Interface interface_;
  std::atomic<bool> interrupted_{false};
  std::uint8_t capabilities_ = 0;
  bool capabilities_known_ = false;
  bool has_timeout_ = true;
  bool has_eom_ = true;
  bool has_termchar_ = true;
  bool has_msg_in_attr_ = true;
  bool has_read_stb_ = true;
  bool has_trigger_ = true;
  std::uint32_t timeout_ms_ = 0;  // as last set; 0 before the first
  int eom_ = -1;                  // as last set
  usbtmc::TermChar termchar_{'\n', 0};
  bool termchar_set_ = false;
  std::vector<ViByte> held_;  // written without END where the driver cannot leave EOM off

  SrqSupport srq_ = SrqSupport::kOldDriver;
  bool has_get_stb_ = true;
  std::function<void()> notify_;  // set before the watcher starts, then only read
  UniqueFd wake_;                 // an eventfd: written to stop the watcher
  // Taking a request and the RQS it owes, between the watcher and read_status_byte().
  std::mutex srq_mutex_;
  bool rqs_owed_ = false;        // a taken request's RQS, for the next status byte
  bool has_get_srq_stb_ = true;  // else the revision's READ_STB takes the request
  std::thread watcher_;          // last: joined before the members it uses go
};

ViStatus UsbtmcTransport::start() {
  std::uint8_t caps = 0;
  const int result = file_->ioctl(usbtmc::kGetCaps, &caps);
  if (result >= 0) {
    capabilities_ = caps;
    capabilities_known_ = true;
  } else if (!absent(-result)) {
    return status_from_errno(-result);
  }
  // After a time-out the device may still answer the old request; aborted by the driver, that
  // late reply never meets the next request (whose tag it would not carry).
  std::uint8_t on = 1;
  const int abort = file_->ioctl(usbtmc::kAutoAbort, &on);
  if (abort < 0 && !absent(-abort)) return status_from_errno(-abort);
  // A wait of no time says whether service requests can come: the driver answers EFAULT for a
  // device without an interrupt-IN endpoint, older revisions do not know the request.
  std::uint32_t no_wait = 0;
  const int probe = file_->ioctl(usbtmc::kWaitSrq, &no_wait);
  if (probe >= 0 || probe == -ETIMEDOUT) {
    srq_ = SrqSupport::kAvailable;
  } else if (probe == -EFAULT) {
    srq_ = SrqSupport::kNoInterruptEndpoint;
  } else if (!absent(-probe)) {
    return status_from_errno(-probe);
  }
  return set_eom(true);
}

std::string UsbtmcTransport::service_requests_missing() const {
  const std::string node = "/dev/" + interface_.node;
  switch (srq_) {
    case SrqSupport::kAvailable:
      return {};
    case SrqSupport::kNoInterruptEndpoint:
      return node + ": the device has no interrupt-IN endpoint, so it cannot request service";
    case SrqSupport::kOldDriver:
      break;
  }
  return node +
         ": this revision of the kernel's usbtmc driver cannot wait for service requests "
         "(no USBTMC488_IOCTL_WAIT_SRQ)";
}

ViStatus UsbtmcTransport::start_service_requests(const std::function<void()>& notify,
                                                 const Deadline& /*deadline*/) {
  if (watcher_.joinable()) return VI_SUCCESS;
  if (srq_ != SrqSupport::kAvailable) return VI_ERROR_NSUP_OPER;
  std::uint32_t no_wait = 0;
  const int probe = file_->ioctl(usbtmc::kWaitSrq, &no_wait);
  if (probe < 0 && probe != -ETIMEDOUT) return status_from_errno(-probe);  // unplugged
  UniqueFd wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (wake.get() < 0) return VI_ERROR_SYSTEM_ERROR;
  {
    // One that came before the event was enabled is no event, but its RQS still shows once.
    const std::lock_guard lock(srq_mutex_);
    const int taken = take_service_request();
    if (taken < 0) return status_from_errno(-taken);
  }
  wake_ = std::move(wake);
  notify_ = notify;
  watcher_ = std::thread([this] { watch_service_requests(); });
  return VI_SUCCESS;
}

int UsbtmcTransport::take_service_request() {
  std::uint8_t stb = 0;
  if (has_get_srq_stb_) {
    const int result = file_->ioctl(usbtmc::kGetSrqStb, &stb);
    if (result >= 0) {
      rqs_owed_ = true;
      return 1;
    }
    if (result == -ENOMSG) return 0;
    if (!absent(-result)) return result;
    has_get_srq_stb_ = false;
  }
  // The revision before answers a pending request's status byte to READ_STB and takes it; without
  // one pending, READ_STB would ask the device, so ask the driver first.
  std::uint32_t no_wait = 0;
  const int pending = file_->ioctl(usbtmc::kWaitSrq, &no_wait);
  if (pending == -ETIMEDOUT) return 0;
  if (pending < 0) return pending;
  const int result = file_->ioctl(usbtmc::kReadStb, &stb);
  if (result < 0) return result;
  rqs_owed_ = true;
  return 1;
}

void UsbtmcTransport::watch_service_requests() {
  const std::string node = "/dev/" + interface_.node;
  for (;;) {
    const int events = file_->wait_events(POLLPRI, wake_.get());
    if (events == 0) return;  // stopped
    if (events < 0 || (events & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
      trace::note("viEnableEvent", VI_NULL, VI_ERROR_CONN_LOST,
                  node + ": service requests end, the device is gone (or cannot be polled)");
      return;
    }
    if ((events & POLLPRI) == 0) continue;
    // Raised under the lock: once read_status_byte() has returned, every request taken so far
    // has been raised.
    const std::lock_guard lock(srq_mutex_);
    const int taken = take_service_request();
    if (taken > 0) notify_();
    if (taken < 0) {
      // The flag stays up while it cannot be taken: polling again would spin.
      const ViStatus status = status_from_errno(-taken);
      trace::note("viEnableEvent", VI_NULL, status,
                  node + ": service requests end, the pending one cannot be taken");
      return;
    }
  }
}

void UsbtmcTransport::stop_watching() {
  if (!watcher_.joinable()) return;
  const std::uint64_t one = 1;
  (void)!::write(wake_.get(), &one, sizeof one);
  watcher_.join();
}

ViStatus UsbtmcTransport::set_timeout(const Deadline& deadline) {
  if (interrupted_) return VI_ERROR_ABORT;
  if (!has_timeout_) return VI_SUCCESS;
  const int left = deadline.poll_timeout();
  std::uint32_t ms = left < 0 ? kLongestTimeoutMs : static_cast<std::uint32_t>(left);
  // Whole steps (at least the driver's least) spare an ioctl per call within one operation.
  ms = std::max(usbtmc::kMinTimeoutMs, (ms + kTimeoutStepMs - 1) / kTimeoutStepMs * kTimeoutStepMs);
  ms = std::min(ms, kLongestTimeoutMs);
  if (ms == timeout_ms_) return VI_SUCCESS;
  const int result = file_->ioctl(usbtmc::kSetTimeout, &ms);
  if (result < 0) {
    if (!absent(-result)) return status_from_errno(-result);
    has_timeout_ = false;  // the driver's fixed time-out applies
    return VI_SUCCESS;
  }
  timeout_ms_ = ms;
  return VI_SUCCESS;
}

ViStatus UsbtmcTransport::set_eom(bool end) {
  if (!has_eom_ || eom_ == static_cast<int>(end)) return VI_SUCCESS;
  std::uint8_t value = end ? 1 : 0;
  const int result = file_->ioctl(usbtmc::kEomEnable, &value);
  if (result < 0) {
    if (!absent(-result)) return status_from_errno(-result);
    has_eom_ = false;  // such a driver ends every write with EOM
    return VI_SUCCESS;
  }
  eom_ = value;
  return VI_SUCCESS;
}

ViStatus UsbtmcTransport::set_termchar(const ReadTermination& termination) {
  if (!has_termchar_) return VI_SUCCESS;
  const usbtmc::TermChar wanted{termination.termchar,
                                static_cast<std::uint8_t>(termination.enabled ? 1 : 0)};
  if (termchar_set_ && wanted.term_char == termchar_.term_char &&
      wanted.term_char_enabled == termchar_.term_char_enabled) {
    return VI_SUCCESS;
  }
  usbtmc::TermChar argument = wanted;
  const int result = file_->ioctl(usbtmc::kConfigTermChar, &argument);
  if (result < 0) {
    if (!absent(-result)) return status_from_errno(-result);
    // No termination character at the device: the whole message comes, and the session stops at
    // the character in what arrived.
    has_termchar_ = false;
    return VI_SUCCESS;
  }
  termchar_ = wanted;
  termchar_set_ = true;
  return VI_SUCCESS;
}

ViStatus UsbtmcTransport::write_message(const ViByte* data, std::size_t size, bool end,
                                        const Deadline& deadline) {
  ViStatus status = set_timeout(deadline);
  if (status == VI_SUCCESS) status = set_eom(end);
  if (status != VI_SUCCESS) return status;
  while (size > 0) {
    // One write() is one message to the driver; a count past INT_MAX goes in pieces.
    const std::size_t count = std::min<std::size_t>(size, INT_MAX);
    const ssize_t n = file_->write(data, count);
    if (n < 0) return status_from_errno(static_cast<int>(-n));
    if (n == 0) return VI_ERROR_IO;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return VI_SUCCESS;
}

ViStatus UsbtmcTransport::send(const ViByte* data, std::size_t size, bool end,
                               const Deadline& deadline, std::size_t& sent) {
  sent = 0;
  if (interrupted_) return VI_ERROR_ABORT;
  if (size == 0 && held_.empty()) return VI_SUCCESS;
  const ViStatus status = set_eom(end);
  if (status != VI_SUCCESS) return status;
  if (!has_eom_ && !end) {
    held_.insert(held_.end(), data, data + size);  // goes out with the message's last bytes
    sent = size;
    return VI_SUCCESS;
  }
  if (!held_.empty()) {
    held_.insert(held_.end(), data, data + size);
    std::vector<ViByte> message;
    message.swap(held_);
    const ViStatus result = write_message(message.data(), message.size(), end, deadline);
    if (result == VI_SUCCESS) sent = size;
    return result;
  }
  const ViStatus result = write_message(data, size, end, deadline);
  if (result == VI_SUCCESS) sent = size;
  return result;
}

ViStatus UsbtmcTransport::receive(ViByte* data, std::size_t capacity,
                                  const ReadTermination& termination, const Deadline& deadline,
                                  Received& received) {
  received = {};
  if (capacity == 0) return VI_SUCCESS;
  ViStatus status = set_timeout(deadline);
  if (status == VI_SUCCESS) status = set_termchar(termination);
  if (status != VI_SUCCESS) return status;
  const std::size_t count = std::min<std::size_t>(capacity, INT_MAX);
  const ssize_t n = file_->read(data, count);
  if (n < 0) return status_from_errno(static_cast<int>(-n));
  if (n == 0) {
    // The driver found the reply's header malformed (wrong MsgID or bTag, too short, or more
    // bytes than asked for) and dropped it.
    trace::note("viRead", VI_NULL, VI_ERROR_IO,
                "/dev/" + interface_.node + ": the device's reply had a malformed header");
    return VI_ERROR_IO;
  }
  const auto size = static_cast<std::size_t>(n);
  ReadEnd end = size == capacity ? ReadEnd::kCount : ReadEnd::kChunk;
  std::uint8_t attributes = 0;
  const int result = has_msg_in_attr_ ? file_->ioctl(usbtmc::kMsgInAttr, &attributes) : -ENOTTY;
  if (result >= 0) {
    if ((attributes & 1U) != 0) {
      end = ReadEnd::kEnd;
    } else if (termchar_set_ && termchar_.term_char_enabled != 0 &&
               data[size - 1] == termchar_.term_char) {
      end = ReadEnd::kTermChar;
    }
  } else if (absent(-result)) {
    // Older revisions read on until EOM themselves: a short read ended the message.
    has_msg_in_attr_ = false;
    if (size < capacity) end = ReadEnd::kEnd;
  } else {
    return status_from_errno(-result);
  }
  received = {size, end};
  return VI_SUCCESS;
}

void UsbtmcTransport::interrupt() {
  interrupted_ = true;
  // Ends a transfer in flight; drivers without the ioctl finish at their time-out.
  [[maybe_unused]] const int result = file_->ioctl(usbtmc::kCancelIo, nullptr);
}

ViStatus UsbtmcTransport::command(unsigned long request, std::uint8_t* argument,
                                  const Deadline& deadline) {
  const ViStatus status = set_timeout(deadline);
  if (status != VI_SUCCESS) return status;
  const int result = file_->ioctl(request, argument);
  if (result >= 0) return VI_SUCCESS;
  return absent(-result) ? VI_ERROR_NSUP_OPER : status_from_errno(-result);
}

ViStatus UsbtmcTransport::exchange(std::string_view text, const Deadline& deadline,
                                   std::string* reply) {
  std::size_t sent = 0;
  ViStatus status =
      send(reinterpret_cast<const ViByte*>(text.data()), text.size(), true, deadline, sent);
  if (status != VI_SUCCESS || reply == nullptr) return status;
  std::array<ViByte, 64> buffer{};
  Received received;
  status = receive(buffer.data(), buffer.size(), ReadTermination{}, deadline, received);
  if (status != VI_SUCCESS) return status;
  if (received.end != ReadEnd::kEnd) return VI_ERROR_IO;  // not a status byte
  reply->assign(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(received.size));
  return VI_SUCCESS;
}

ViStatus UsbtmcTransport::clear(const Deadline& deadline) {
  held_.clear();
  const ViStatus status = command(usbtmc::kClear, nullptr, deadline);
  return status == VI_ERROR_NSUP_OPER ? VI_ERROR_IO : status;  // every revision has it
}

ViStatus UsbtmcTransport::read_status_byte(const Deadline& deadline, ViUInt16& status) {
  if (!watcher_.joinable()) return read_device_status_byte(deadline, status);
  // A request the watcher has not taken yet is taken here, so that this status byte and the
  // event agree; a taken request's RQS shows once, as a serial poll shows it.
  const std::lock_guard lock(srq_mutex_);
  if (take_service_request() > 0) notify_();
  const ViStatus result = read_device_status_byte(deadline, status);
  if (result == VI_SUCCESS && std::exchange(rqs_owed_, false)) status |= usbtmc::kRqs;
  return result;
}

ViStatus UsbtmcTransport::read_device_status_byte(const Deadline& deadline, ViUInt16& status) {
  if (has_get_stb_ && watcher_.joinable()) {
    std::uint8_t stb = 0;
    const ViStatus result = command(usbtmc::kGetStb, &stb, deadline);
    if (result == VI_SUCCESS) status = stb;
    if (result != VI_ERROR_NSUP_OPER) return result;
    has_get_stb_ = false;
  }
  if (has_read_stb_) {
    std::uint8_t stb = 0;
    const ViStatus result = command(usbtmc::kReadStb, &stb, deadline);
    if (result == VI_SUCCESS) status = stb;
    if (result != VI_ERROR_NSUP_OPER) return result;
    has_read_stb_ = false;
  }
  // Without USB488's READ_STATUS_BYTE, as over a serial line.
  std::string reply;
  const ViStatus result = exchange("*STB?\n", deadline, &reply);
  if (result != VI_SUCCESS) return result;
  char* end = nullptr;
  const long value = std::strtol(reply.c_str(), &end, 10);
  if (end == reply.c_str() || value < 0 || value > 255) return VI_ERROR_IO;
  status = static_cast<ViUInt16>(value);
  return VI_SUCCESS;
}

ViStatus UsbtmcTransport::trigger(const Deadline& deadline) {
  const bool bus_trigger =
      has_trigger_ && (!capabilities_known_ || (capabilities_ & usbtmc::kCapTrigger) != 0);
  if (bus_trigger) {
    const ViStatus result = command(usbtmc::kTrigger, nullptr, deadline);
    if (result != VI_ERROR_NSUP_OPER) return result;
    has_trigger_ = false;
  }
  return exchange("*TRG\n", deadline, nullptr);
}

ViStatus UsbtmcTransport::control_ren(ViUInt16 mode, const Deadline& deadline) {
  if (capabilities_known_ && (capabilities_ & usbtmc::kCapSimple) == 0) return VI_ERROR_NSUP_OPER;
  std::uint8_t on = 1;
  std::uint8_t off = 0;
  // The USB488 requests each mode takes, in order.
  struct Step {
    unsigned long request;
    std::uint8_t* argument;
  };
  std::array<Step, 2> steps{};
  std::size_t count = 0;
  switch (mode) {
    case kRenDeassert:
      steps[count++] = {usbtmc::kRenControl, &off};
      break;
    case kRenAssert:
    case kRenAssertAddress:  // the device turns remote with the next message
      steps[count++] = {usbtmc::kRenControl, &on};
      break;
    case kRenDeassertGtl:
      steps[count++] = {usbtmc::kGotoLocal, nullptr};
      steps[count++] = {usbtmc::kRenControl, &off};
      break;
    case kRenAssertLlo:
    case kRenAssertAddressLlo:
      steps[count++] = {usbtmc::kRenControl, &on};
      steps[count++] = {usbtmc::kLocalLockout, nullptr};
      break;
    case kRenAddressGtl:
      steps[count++] = {usbtmc::kGotoLocal, nullptr};
      break;
    default:
      return kErrorInvMode;
  }
  for (std::size_t i = 0; i < count; ++i) {
    const ViStatus status = command(steps[i].request, steps[i].argument, deadline);
    if (status != VI_SUCCESS) return status;
  }
  return VI_SUCCESS;
}

ViStatus UsbtmcTransport::get_attribute(ViAttr attribute, void* value) const {
  const bool usb488 = capabilities_known_ && (capabilities_ & usbtmc::kCap4882) != 0;
  switch (attribute) {
    case kAttrManfId:
      store_attribute<ViUInt16>(value, static_cast<ViUInt16>(interface_.vendor));
      return VI_SUCCESS;
    case kAttrModelCode:
      store_attribute<ViUInt16>(value, static_cast<ViUInt16>(interface_.product));
      return VI_SUCCESS;
    case kAttrUsbSerialNum:
      store_attribute_text(value, interface_.serial);
      return VI_SUCCESS;
    case kAttrUsbIntfcNum:
      store_attribute<ViInt16>(value, static_cast<ViInt16>(interface_.number));
      return VI_SUCCESS;
    case kAttrUsbProtocol:  // 1: USB488, 0: plain USBTMC
      store_attribute<ViInt16>(value, usb488 ? 1 : 0);
      return VI_SUCCESS;
    case kAttr4882Compliant:
      store_attribute<ViBoolean>(value, usb488 ? VI_TRUE : VI_FALSE);
      return VI_SUCCESS;
    default:
      return VI_ERROR_NSUP_ATTR;
  }
}

ViStatus UsbtmcTransport::set_attribute(ViAttr attribute, ViAttrState /*value*/) {
  std::array<char, kAttributeTextSize> scratch{};
  return get_attribute(attribute, scratch.data()) == VI_SUCCESS ? VI_ERROR_ATTR_READONLY
                                                                : VI_ERROR_NSUP_ATTR;
}

}  // namespace

ViStatus accepts_usbtmc(const ResourceName& name) {
  if (name.interface_type != Interface::kUsb || name.resource_class != "INSTR") {
    return VI_ERROR_RSRC_NFOUND;
  }
  usbtmc::Address address;
  return usbtmc::parse_address(name, address) ? VI_SUCCESS : VI_ERROR_INV_RSRC_NAME;
}

ViStatus open_usbtmc(const OpenRequest& request, std::unique_ptr<Transport>& out) {
  usbtmc::Address address;
  if (!usbtmc::parse_address(request.name, address)) return VI_ERROR_INV_RSRC_NAME;
  const FindSettings settings = FindSettings::from_environment();
  const std::vector<usbtmc::Interface> interfaces = usbtmc::list_interfaces(settings.sys_root);
  const usbtmc::Interface* interface = usbtmc::find_interface(interfaces, address);
  if (interface == nullptr) {
    trace::note("viOpen", VI_NULL, VI_ERROR_RSRC_NFOUND,
                request.name.canonical +
                    ": no such device bound to the usbtmc driver (is it plugged in? lsusb lists "
                    "it, /sys/class/usbmisc/usbtmc* should)");
    return VI_ERROR_RSRC_NFOUND;
  }
  const std::string path = settings.dev_root + "/" + interface->node;
  std::unique_ptr<DeviceFile> file;
  const int error = usbtmc::device_files()->open(path, file);
  if (error != 0) {
    const ViStatus status = open_status(error);
    if (status == VI_ERROR_NPERMISSION) {
      trace::note("viOpen", VI_NULL, status,
                  path +
                      ": permission denied; install a udev rule such as "
                      "/etc/udev/rules.d/99-usbtmc.rules: KERNEL==\"usbtmc[0-9]*\", "
                      "GROUP=\"plugdev\", MODE=\"0660\" (then udevadm control --reload && "
                      "udevadm trigger), and be in the plugdev group");
    }
    return status;
  }
  auto transport = std::make_unique<UsbtmcTransport>(std::move(file), *interface);
  const ViStatus status = transport->start();
  if (status != VI_SUCCESS) return status;
  out = std::move(transport);
  return VI_SUCCESS;
}

}  // namespace zr48::visa
