// A stand-in for the Linux usbtmc driver behind the transport's device-file interface: one
// USBTMC device, with the sysfs entries and /dev node the driver would make laid out under a
// temporary directory, serving the simulated supply's USBTMC function in process. It plays the
// driver's documented behaviour: per-file time-out, EOM and termination character; one
// DEV_DEP_MSG_OUT per write(); one REQUEST_DEV_DEP_MSG_IN and one DEV_DEP_MSG_IN per read()
// (an older revision loops to EOM in 2033-byte requests and has no newer ioctls); a malformed
// reply header read as 0 bytes; ETIMEDOUT, ENODEV once unplugged, EACCES, EPIPE on a stall.
// A service request the simulated device sends on its interrupt-IN endpoint is flagged per open
// file as the driver does: POLLPRI from poll(), WAIT_SRQ returns, GET_SRQ_STB takes it, READ_STB
// takes it too (ORing RQS into the status byte; the revision before answers its status byte).
// Every bulk-out transfer and class request is recorded, so tests see the bus traffic.
#ifndef ZR48_TESTS_USBTMC_FAKE_FAKE_USBTMC_H
#define ZR48_TESTS_USBTMC_FAKE_FAKE_USBTMC_H

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "visa/transports/usbtmc/device_file.h"
#include "zr48sim/server.h"

namespace zr48::test {

struct FakeUsbtmcDevice {
  std::string node = "usbtmc0";
  std::string usb_device = "1-1";  // sysfs name of the USB device
  unsigned vendor = 0x1234;
  unsigned product = 0x5678;
  std::string serial = "SN123";
  unsigned interface_number = 0;
  int api_version = 3;                    // 0: an old revision (clear and abort ioctls only)
  std::uint8_t capabilities = 1 | 2 | 4;  // GET_CAPS: trigger, REN/GTL/LLO, USB488
  bool termchar_capable = true;           // the device can end a reply at TermChar
  bool interrupt_endpoint = true;         // without: no service requests, WAIT_SRQ says EFAULT
};

class FakeUsbtmc final : public visa::usbtmc::DeviceFiles {
 public:
  using Connect = std::function<std::unique_ptr<sim::UsbtmcLink>()>;

  // Lays out <root>/sys and <root>/dev; removes `root` when destroyed.
  FakeUsbtmc(std::filesystem::path root, FakeUsbtmcDevice device, Connect connect);
  ~FakeUsbtmc() override;
  FakeUsbtmc(const FakeUsbtmc&) = delete;
  FakeUsbtmc& operator=(const FakeUsbtmc&) = delete;

  std::string dev_root() const { return (root_ / "dev").string(); }
  std::string sys_root() const { return (root_ / "sys").string(); }
  // "USB0::0x1234::0x5678::SN123::INSTR" (the interface number added when not 0).
  std::string resource() const;

  int open(const std::string& path, std::unique_ptr<visa::usbtmc::DeviceFile>& out) override;

  // Faults.
  void deny_access(bool denied);  // open() answers EACCES, as without a udev rule
  void unplug();                  // open files answer ENODEV from now on; sysfs forgets it
  void stall_next();              // the next bulk transfer halts: EPIPE
  void fail_clear(bool failing);  // USBTMC_IOCTL_CLEAR answers EPERM

  // The bus traffic so far: bulk-out transfers as bytes, class requests as names
  // ("INITIATE_CLEAR", "READ_STATUS_BYTE", "REN_CONTROL 1", "GOTO_LOCAL", "LOCAL_LOCKOUT"),
  // interrupt-IN notifications as bytes (0x81 and the status byte).
  std::vector<std::string> traffic() const;
  void clear_traffic();

  // Shared with the open files.
  struct State {
    FakeUsbtmcDevice device;
    mutable std::mutex mutex;
    std::condition_variable changed;
    bool unplugged = false;
    bool denied = false;
    bool stall = false;
    bool clear_fails = false;
    std::vector<std::string> traffic;
    std::vector<int> wakers;  // each open file's eventfd, written when its poll state changes
    void record(std::string entry);
    bool take_stall();
  };

 private:
  std::filesystem::path root_;
  std::shared_ptr<State> state_;
  Connect connect_;
};

// The fake installed as the process's device files, with ZR48_VISA_DEV_ROOT and
// ZR48_VISA_SYS_ROOT pointing at its tree, for as long as it lives.
class InstalledFakeUsbtmc {
 public:
  InstalledFakeUsbtmc(std::filesystem::path root, FakeUsbtmcDevice device,
                      FakeUsbtmc::Connect connect);
  ~InstalledFakeUsbtmc();
  InstalledFakeUsbtmc(const InstalledFakeUsbtmc&) = delete;
  InstalledFakeUsbtmc& operator=(const InstalledFakeUsbtmc&) = delete;
  FakeUsbtmc& operator*() const { return *fake_; }
  FakeUsbtmc* operator->() const { return fake_.get(); }

 private:
  std::shared_ptr<FakeUsbtmc> fake_;
};

// A temporary directory for one test: <tmp>/zr48-usbtmc-<pid>-<test name>.
std::filesystem::path UsbtmcTreeForThisTest();

}  // namespace zr48::test

#endif
