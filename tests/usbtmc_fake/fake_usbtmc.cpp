#include "fake_usbtmc.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <utility>

#include "visa/transports/usbtmc/ioctls.h"

namespace zr48::test {
namespace {

namespace fs = std::filesystem;
namespace ioc = visa::usbtmc;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kHeaderBytes = 12;
constexpr std::size_t kOldOutPiece = 2036;  // 2048-byte buffer less the header
constexpr std::size_t kOldInPiece = 2033;
constexpr std::uint8_t kSrqNotification = 0x81;

void signal_fd(int fd) {
  const std::uint64_t one = 1;
  (void)!::write(fd, &one, sizeof one);
}

std::string header(std::uint8_t id, std::uint8_t tag, std::uint32_t size, std::uint8_t attributes,
                   std::uint8_t term_char = 0) {
  return {static_cast<char>(id),
          static_cast<char>(tag),
          static_cast<char>(~tag),
          0,
          static_cast<char>(size & 0xFFU),
          static_cast<char>((size >> 8) & 0xFFU),
          static_cast<char>((size >> 16) & 0xFFU),
          static_cast<char>((size >> 24) & 0xFFU),
          static_cast<char>(attributes),
          static_cast<char>(term_char),
          0,
          0};
}

void write_file(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path) << text;
}

class FakeFile final : public visa::usbtmc::DeviceFile {
 public:
  FakeFile(std::shared_ptr<FakeUsbtmc::State> state, std::unique_ptr<sim::UsbtmcLink> link)
      : state_(std::move(state)),
        link_(std::move(link)),
        api_(state_->device.api_version),
        waker_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    {
      const std::lock_guard lock(state_->mutex);
      state_->wakers.push_back(waker_);
    }
    if (api_ >= 2 && state_->device.interrupt_endpoint) {
      link_->listen_interrupts(
          [this](std::string_view notification) { interrupt_in(notification); });
    }
  }

  ~FakeFile() override {
    link_.reset();  // no notification after this
    {
      const std::lock_guard lock(state_->mutex);
      std::erase(state_->wakers, waker_);
    }
    ::close(waker_);
  }
  FakeFile(const FakeFile&) = delete;
  FakeFile& operator=(const FakeFile&) = delete;

  ssize_t read(void* data, std::size_t size) override {
    const std::lock_guard io(io_);
    if (const int error = usable(); error != 0) return -error;
    if (state_->take_stall()) return -EPIPE;
    auto* out = static_cast<char*>(data);
    if (api_ >= 2) return read_message(out, size);
    // An old revision asks again until EOM or the count, and stops quietly at a bad header.
    std::size_t total = 0;
    while (total < size) {
      const ssize_t n = read_message(out + total, std::min(size - total, kOldInPiece));
      if (n <= 0) return total > 0 || n == 0 ? static_cast<ssize_t>(total) : n;
      total += static_cast<std::size_t>(n);
      if ((last_attributes_ & 1U) != 0) break;
    }
    return static_cast<ssize_t>(total);
  }

  ssize_t write(const void* data, std::size_t size) override {
    const std::lock_guard io(io_);
    if (const int error = usable(); error != 0) return -error;
    if (state_->take_stall()) return -EPIPE;
    if (size == 0) return 0;
    const std::string_view bytes(static_cast<const char*>(data), size);
    const std::size_t piece = api_ >= 2 ? size : kOldOutPiece;
    for (std::size_t at = 0; at < size; at += piece) {
      const std::string_view part = bytes.substr(at, piece);
      const bool last = at + part.size() == size;
      const bool eom = api_ >= 2 ? eom_ : last;
      std::string transfer =
          header(1, next_tag(), static_cast<std::uint32_t>(part.size()), eom ? 1 : 0);
      transfer += part;
      transfer.append((4 - transfer.size() % 4) % 4, '\0');
      if (const int error = send(transfer); error != 0) return -error;
    }
    return static_cast<ssize_t>(size);
  }

  int ioctl(unsigned long request, void* argument) override {
    if (request == ioc::kCancelIo && api_ >= 3) {
      const std::lock_guard lock(state_->mutex);
      cancelled_ = true;
      state_->changed.notify_all();
      return 0;
    }
    // The driver lets go of its I/O lock while it waits for a service request.
    if (request == ioc::kWaitSrq && api_ >= 2) return wait_srq(argument);
    const std::lock_guard io(io_);
    if (const int error = usable(); error != 0) return -error;
    if (api_ < 2 && request != ioc::kClear) return -ENOTTY;
    const auto byte = [argument] { return *static_cast<std::uint8_t*>(argument); };
    const auto put = [argument](std::uint8_t value) {
      *static_cast<std::uint8_t*>(argument) = value;
    };
    const FakeUsbtmcDevice& device = state_->device;
    const bool simple = (device.capabilities & ioc::kCapSimple) != 0;
    switch (request) {
      case ioc::kSetTimeout: {
        std::uint32_t ms = 0;
        std::memcpy(&ms, argument, sizeof ms);
        if (ms < ioc::kMinTimeoutMs) return -EINVAL;
        timeout_ms_ = ms;
        return 0;
      }
      case ioc::kEomEnable:
        if (byte() > 1) return -EINVAL;
        eom_ = byte() == 1;
        return 0;
      case ioc::kConfigTermChar: {
        ioc::TermChar t{};
        std::memcpy(&t, argument, sizeof t);
        if (t.term_char_enabled > 1 || (t.term_char_enabled == 1 && !device.termchar_capable)) {
          return -EINVAL;
        }
        term_char_ = t;
        return 0;
      }
      case ioc::kApiVersion: {
        const auto version = static_cast<std::uint32_t>(api_);
        std::memcpy(argument, &version, sizeof version);
        return 0;
      }
      case ioc::kGetCaps:
        put(device.capabilities);
        return 0;
      case ioc::kAutoAbort:  // a late reply is dropped with the next request anyway
        return 0;
      case ioc::kMsgInAttr:
        put(last_attributes_);
        return 0;
      case ioc::kReadStb: {
        if (api_ < 3) {  // that revision answers a pending request's status byte
          if (const auto srq = take_srq()) {
            put(*srq);
            return 0;
          }
        }
        state_->record("READ_STATUS_BYTE");
        std::uint8_t stb = link_->read_status_byte();
        if (api_ >= 3 && take_srq()) stb |= ioc::kRqs;
        put(stb);
        return 0;
      }
      case ioc::kGetStb:  // as READ_STB, leaving a pending service request alone
        if (api_ < 3) return -EBADRQC;
        state_->record("READ_STATUS_BYTE");
        put(link_->read_status_byte());
        return 0;
      case ioc::kGetSrqStb: {
        if (api_ < 3) return -EBADRQC;
        const auto srq = take_srq();
        if (!srq) return -ENOMSG;
        put(*srq);
        return 0;
      }
      case ioc::kRenControl:
        if (!simple) return -EINVAL;
        state_->record("REN_CONTROL " + std::to_string(byte() != 0 ? 1 : 0));
        return 0;
      case ioc::kGotoLocal:
      case ioc::kLocalLockout:
        if (!simple) return -EINVAL;
        state_->record(request == ioc::kGotoLocal ? "GOTO_LOCAL" : "LOCAL_LOCKOUT");
        return 0;
      case ioc::kTrigger: {
        if (const int error = send(header(128, next_tag(), 0, 0)); error != 0) return -error;
        return 0;
      }
      case ioc::kClear: {
        state_->record("INITIATE_CLEAR");
        link_->initiate_clear();
        const std::lock_guard lock(state_->mutex);
        return state_->clear_fails ? -EPERM : 0;
      }
      default:
        return -EBADRQC;
    }
  }

  int wait_events(short events, int wake_fd) override {
    for (;;) {
      std::uint64_t count = 0;
      (void)!::read(waker_, &count, sizeof count);
      short revents = 0;
      {
        const std::lock_guard io(io_);  // the driver's poll takes its I/O lock too
        const std::lock_guard lock(state_->mutex);
        if (state_->unplugged || zombie_) {
          revents = POLLHUP | POLLERR;
        } else if (srq_asserted_ && api_ >= 2) {
          revents = static_cast<short>(POLLPRI & events);
        }
      }
      if (revents != 0) return revents;
      pollfd fds[2] = {{waker_, POLLIN, 0}, {wake_fd, POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0) {
        if (errno == EINTR) continue;
        return -errno;
      }
      if (fds[1].revents != 0) return 0;
    }
  }

 private:
  std::uint8_t next_tag() {
    const std::uint8_t tag = tag_;
    tag_ = static_cast<std::uint8_t>(tag_ == 255 ? 1 : tag_ + 1);
    return tag;
  }

  // A notification on the interrupt-IN endpoint, as the driver's completion handler takes it.
  // Runs on the simulator's thread: only the state lock.
  void interrupt_in(std::string_view notification) {
    if (notification.size() < 2 || static_cast<std::uint8_t>(notification[0]) != kSrqNotification) {
      return;
    }
    const std::lock_guard lock(state_->mutex);
    state_->traffic.emplace_back(notification);
    srq_byte_ = static_cast<std::uint8_t>(notification[1]);
    srq_asserted_ = true;
    signal_fd(waker_);
    state_->changed.notify_all();
  }

  // The pending service request's status byte, taking it.
  std::optional<std::uint8_t> take_srq() {
    const std::lock_guard lock(state_->mutex);
    if (!std::exchange(srq_asserted_, false)) return std::nullopt;
    return srq_byte_;
  }

  int wait_srq(void* argument) {
    if (const int error = usable(); error != 0) return -error;
    if (!state_->device.interrupt_endpoint) return -EFAULT;
    std::uint32_t ms = 0;
    std::memcpy(&ms, argument, sizeof ms);
    std::unique_lock lock(state_->mutex);
    state_->changed.wait_for(lock, std::chrono::milliseconds(ms),
                             [this] { return srq_asserted_ || state_->unplugged; });
    if (state_->unplugged) return -ENODEV;
    return srq_asserted_ ? 0 : -ETIMEDOUT;
  }

  // The device is gone for this file: its poll reports it.
  void become_zombie() {
    zombie_ = true;
    signal_fd(waker_);
  }

  int usable() {
    const std::lock_guard lock(state_->mutex);
    if (state_->unplugged || zombie_) return ENODEV;
    return cancelled_ ? ECANCELED : 0;
  }

  int send(const std::string& transfer) {
    state_->record(transfer);
    switch (link_->bulk_out(transfer)) {
      case sim::UsbtmcLink::Result::kOk:
        return 0;
      case sim::UsbtmcLink::Result::kStall:
        return EPIPE;
      case sim::UsbtmcLink::Result::kGone:
        become_zombie();
        return ENODEV;
    }
    return EIO;
  }

  // One REQUEST_DEV_DEP_MSG_IN and the DEV_DEP_MSG_IN answering it.
  ssize_t read_message(char* out, std::size_t size) {
    const std::uint8_t tag = next_tag();
    const bool term = term_char_.term_char_enabled != 0;
    if (const int error = send(header(2, tag, static_cast<std::uint32_t>(size), term ? 2 : 0,
                                      term ? term_char_.term_char : 0));
        error != 0) {
      return -error;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms_);
    std::string transfer;
    for (;;) {
      sim::UsbtmcLink::BulkIn in = link_->bulk_in();
      if (in.result == sim::UsbtmcLink::Result::kGone) {
        become_zombie();
        return -ENODEV;
      }
      if (in.transfer) {
        transfer = std::move(*in.transfer);
        break;
      }
      std::unique_lock lock(state_->mutex);
      state_->changed.wait_until(lock, std::min(in.ready_at, deadline),
                                 [&] { return state_->unplugged || cancelled_; });
      if (state_->unplugged) return -ENODEV;
      if (cancelled_) return -ECANCELED;
      if (Clock::now() >= deadline) return -ETIMEDOUT;
    }
    // The driver drops a reply whose header is not its answer and reads 0 bytes.
    if (transfer.size() < kHeaderBytes || static_cast<std::uint8_t>(transfer[0]) != 2 ||
        static_cast<std::uint8_t>(transfer[1]) != tag) {
      return 0;
    }
    std::uint32_t count = 0;
    for (std::size_t i = 0; i < 4; ++i) {
      count |= static_cast<std::uint32_t>(static_cast<std::uint8_t>(transfer[4 + i])) << (8 * i);
    }
    if (count > size) return 0;
    if (transfer.size() < kHeaderBytes + count) {
      become_zombie();  // the device left in the middle of its reply
      return -ENODEV;
    }
    last_attributes_ = static_cast<std::uint8_t>(transfer[8]);
    std::memcpy(out, transfer.data() + kHeaderBytes, count);
    return static_cast<ssize_t>(count);
  }

  std::shared_ptr<FakeUsbtmc::State> state_;
  std::unique_ptr<sim::UsbtmcLink> link_;
  const int api_;
  std::mutex io_;  // one I/O at a time, as the driver's io_mutex
  std::uint32_t timeout_ms_ = 5000;
  bool eom_ = true;
  ioc::TermChar term_char_{'\n', 0};
  std::uint8_t tag_ = 1;
  std::uint8_t last_attributes_ = 0;
  std::atomic<bool> zombie_{false};  // the device left (for this file)
  bool cancelled_ = false;           // under state_->mutex
  bool srq_asserted_ = false;        // under state_->mutex
  std::uint8_t srq_byte_ = 0;        // under state_->mutex
  int waker_;                        // an eventfd: written when the poll state may have changed
};

}  // namespace

void FakeUsbtmc::State::record(std::string entry) {
  const std::lock_guard lock(mutex);
  traffic.push_back(std::move(entry));
}

bool FakeUsbtmc::State::take_stall() {
  const std::lock_guard lock(mutex);
  return std::exchange(stall, false);
}

FakeUsbtmc::FakeUsbtmc(fs::path root, FakeUsbtmcDevice device, Connect connect)
    : root_(std::move(root)), state_(std::make_shared<State>()), connect_(std::move(connect)) {
  fs::remove_all(root_);
  const fs::path usb = root_ / "sys/devices/pci0000:00/0000:00:14.0/usb1" / device.usb_device;
  std::array<char, 16> text{};
  std::snprintf(text.data(), text.size(), "%04x\n", device.vendor);
  write_file(usb / "idVendor", text.data());
  std::snprintf(text.data(), text.size(), "%04x\n", device.product);
  write_file(usb / "idProduct", text.data());
  if (!device.serial.empty()) write_file(usb / "serial", device.serial + "\n");
  const fs::path interface =
      usb / (device.usb_device + ":1." + std::to_string(device.interface_number));
  std::snprintf(text.data(), text.size(), "%02x\n", device.interface_number);
  write_file(interface / "bInterfaceNumber", text.data());
  fs::create_directories(root_ / "sys/class/usbmisc" / device.node);
  fs::create_directory_symlink(interface, root_ / "sys/class/usbmisc" / device.node / "device");
  write_file(root_ / "dev" / device.node, "");
  state_->device = std::move(device);
}

FakeUsbtmc::~FakeUsbtmc() {
  std::error_code ignored;
  fs::remove_all(root_, ignored);
}

std::string FakeUsbtmc::resource() const {
  std::array<char, 32> ids{};
  std::snprintf(ids.data(), ids.size(), "0x%04X::0x%04X", state_->device.vendor,
                state_->device.product);
  std::string name = "USB0::" + std::string(ids.data()) + "::" + state_->device.serial;
  if (state_->device.interface_number != 0) {
    name += "::" + std::to_string(state_->device.interface_number);
  }
  return name + "::INSTR";
}

int FakeUsbtmc::open(const std::string& path, std::unique_ptr<visa::usbtmc::DeviceFile>& out) {
  {
    const std::lock_guard lock(state_->mutex);
    if (path != (root_ / "dev" / state_->device.node).string()) return ENOENT;
    if (state_->unplugged) return ENODEV;
    if (state_->denied) return EACCES;
  }
  out = std::make_unique<FakeFile>(state_, connect_());
  return 0;
}

void FakeUsbtmc::deny_access(bool denied) {
  const std::lock_guard lock(state_->mutex);
  state_->denied = denied;
}

void FakeUsbtmc::unplug() {
  {
    const std::lock_guard lock(state_->mutex);
    state_->unplugged = true;
    state_->changed.notify_all();
    for (const int fd : state_->wakers) signal_fd(fd);
  }
  std::error_code ignored;
  fs::remove_all(root_ / "sys/class/usbmisc" / state_->device.node, ignored);
  fs::remove(root_ / "dev" / state_->device.node, ignored);
}

void FakeUsbtmc::stall_next() {
  const std::lock_guard lock(state_->mutex);
  state_->stall = true;
}

void FakeUsbtmc::fail_clear(bool failing) {
  const std::lock_guard lock(state_->mutex);
  state_->clear_fails = failing;
}

std::vector<std::string> FakeUsbtmc::traffic() const {
  const std::lock_guard lock(state_->mutex);
  return state_->traffic;
}

void FakeUsbtmc::clear_traffic() {
  const std::lock_guard lock(state_->mutex);
  state_->traffic.clear();
}

InstalledFakeUsbtmc::InstalledFakeUsbtmc(fs::path root, FakeUsbtmcDevice device,
                                         FakeUsbtmc::Connect connect)
    : fake_(std::make_shared<FakeUsbtmc>(std::move(root), std::move(device), std::move(connect))) {
  ::setenv("ZR48_VISA_DEV_ROOT", fake_->dev_root().c_str(), 1);
  ::setenv("ZR48_VISA_SYS_ROOT", fake_->sys_root().c_str(), 1);
  visa::usbtmc::install_device_files(fake_);
}

InstalledFakeUsbtmc::~InstalledFakeUsbtmc() {
  visa::usbtmc::install_device_files(nullptr);
  ::unsetenv("ZR48_VISA_DEV_ROOT");
  ::unsetenv("ZR48_VISA_SYS_ROOT");
}

fs::path UsbtmcTreeForThisTest() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = info != nullptr ? std::string(info->test_suite_name()) + "." + info->name()
                                     : std::string("none");
  std::replace(name.begin(), name.end(), '/', '_');
  return fs::temp_directory_path() / ("zr48-usbtmc-" + std::to_string(::getpid()) + "-" + name);
}

}  // namespace zr48::test
