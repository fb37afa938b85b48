// The few system calls the USBTMC transport makes on a /dev/usbtmcN node, behind an interface so
// that a stand-in for the kernel driver can serve them (there is no USB hardware on a build
// machine). Every call answers 0 (or a byte count) or a positive errno value, never -1 with
// errno set, so that a stand-in needs no thread-local state.
#ifndef ZR48_PLATFORM_VISA_TRANSPORTS_USBTMC_DEVICE_FILE_H
#define ZR48_PLATFORM_VISA_TRANSPORTS_USBTMC_DEVICE_FILE_H

#include <sys/types.h>

#include <cstddef>
#include <memory>
#include <string>

namespace zr48::visa::usbtmc {

// One open file of the device node.
class DeviceFile {
 public:
  DeviceFile() = default;
  DeviceFile(const DeviceFile&) = delete;
  DeviceFile& operator=(const DeviceFile&) = delete;
  virtual ~DeviceFile() = default;  // closes the file

  // Byte count (0 included) or -errno.
  virtual ssize_t read(void* data, std::size_t size) = 0;
  virtual ssize_t write(const void* data, std::size_t size) = 0;
  // 0 (or the driver's non-negative answer) or -errno.
  virtual int ioctl(unsigned long request, void* argument) = 0;
  // Waits until poll() reports one of `events` on the file (POLLHUP and POLLERR always count)
  // or `wake_fd` is readable: the file's revents, 0 when woken, or -errno.
  virtual int wait_events(short events, int wake_fd) = 0;
};

// Opens device nodes.
class DeviceFiles {
 public:
  virtual ~DeviceFiles() = default;
  // 0 with `out` set, or an errno value.
  virtual int open(const std::string& path, std::unique_ptr<DeviceFile>& out) = 0;
};

// The files the transport opens: the operating system's, unless a test installed a stand-in.
std::shared_ptr<DeviceFiles> device_files();

// Test hook: replaces the device files for the whole process (nullptr puts the operating
// system's back). Sessions already open keep the files they have. Thread-safe; meant for test
// fixtures only, product code never calls it.
void install_device_files(std::shared_ptr<DeviceFiles> files);

}  // namespace zr48::visa::usbtmc

#endif
