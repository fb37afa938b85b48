// The operating system's device files, and the process-wide choice between them and a stand-in.
#include "visa/transports/usbtmc/device_file.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <utility>

namespace zr48::visa::usbtmc {
namespace {

class SystemFile final : public DeviceFile {
 public:
  explicit SystemFile(int fd) : fd_(fd) {}
  ~SystemFile() override { ::close(fd_); }

  ssize_t read(void* data, std::size_t size) override {
    for (;;) {
      const ssize_t n = ::read(fd_, data, size);
      if (n >= 0) return n;
      if (errno != EINTR) return -errno;
    }
  }
  ssize_t write(const void* data, std::size_t size) override {
    for (;;) {
      const ssize_t n = ::write(fd_, data, size);
      if (n >= 0) return n;
      if (errno != EINTR) return -errno;
    }
  }
  int ioctl(unsigned long request, void* argument) override {
    const int result = ::ioctl(fd_, request, argument);  // NOLINT: variadic system call
    return result >= 0 ? result : -errno;
  }
  int wait_events(short events, int wake_fd) override {
    for (;;) {
      pollfd fds[2] = {{fd_, events, 0}, {wake_fd, POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0) {
        if (errno == EINTR) continue;
        return -errno;
      }
      if (fds[1].revents != 0) return 0;
      return fds[0].revents;
    }
  }

 private:
  int fd_;
};

class SystemFiles final : public DeviceFiles {
 public:
  int open(const std::string& path, std::unique_ptr<DeviceFile>& out) override {
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return errno;
    out = std::make_unique<SystemFile>(fd);
    return 0;
  }
};

struct Choice {
  std::mutex mutex;
  std::shared_ptr<DeviceFiles> installed;
};

Choice& choice() {
  static Choice instance;  // NOLINT: the documented test hook
  return instance;
}

}  // namespace

std::shared_ptr<DeviceFiles> device_files() {
  Choice& c = choice();
  const std::lock_guard lock(c.mutex);
  if (c.installed != nullptr) return c.installed;
  static const auto system = std::make_shared<SystemFiles>();
  return system;
}

void install_device_files(std::shared_ptr<DeviceFiles> files) {
  Choice& c = choice();
  const std::lock_guard lock(c.mutex);
  c.installed = std::move(files);
}

}  // namespace zr48::visa::usbtmc
