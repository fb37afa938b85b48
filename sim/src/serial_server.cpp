// The supply on a serial line: a pseudo-terminal pair whose terminal side (/dev/pts/N) a client
// opens as "ASRL/dev/pts/N::INSTR". SCPI lines in, one line per reply out (see LineSession). When
// the client's line uses XON/XOFF, an XOFF from it holds replies until its XON; the line can send
// XOFF itself and can hang up (as a modem dropping carrier; the line then takes the next client).

#include <fcntl.h>
#include <sys/ioctl.h>
#include <poll.h>
#include <termios.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <system_error>
#include <thread>

#include "line_session.h"
#include "services.h"
#include "zr48sim/server.h"

namespace zr48::sim {
namespace {

class SerialService final : public SerialLine, private ByteStream {
 public:
  explicit SerialService(Device& device) : device_(device), lines_(device, *this) {
    master_ = UniqueFd(::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!master_.valid() || ::grantpt(master_.get()) != 0 || ::unlockpt(master_.get()) != 0) {
      throw_errno("pseudo-terminal");
    }
    std::array<char, 128> name{};
    if (::ptsname_r(master_.get(), name.data(), name.size()) != 0) throw_errno("ptsname");
    path_ = name.data();
    // Holding the terminal side open keeps the line up between clients; raw from the start so
    // that nothing is echoed before a client configures it.
    terminal_ = UniqueFd(::open(path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!terminal_.valid()) throw_errno("open pseudo-terminal");
    make_raw();
    std::array<int, 2> wake{};
    if (::pipe2(wake.data(), O_CLOEXEC | O_NONBLOCK) != 0) throw_errno("pipe");
    wake_read_ = UniqueFd(wake[0]);
    wake_write_ = UniqueFd(wake[1]);
  }

  void start() override {
    thread_ = std::thread([this] { serve(); });
  }
  void wake() override { poke(); }
  void join() override {
    if (thread_.joinable()) thread_.join();
  }
  std::string path() const override { return path_; }
  void hang_up() override {
    hang_up_requested_ = true;
    poke();
  }
  void hold_xoff(bool held) override {
    if (held) {
      xoff_before_reply_ = true;
      return;
    }
    const std::lock_guard lock(master_mutex_);
    if (!master_.valid()) return;
    const char c = flow_character(VSTART);
    [[maybe_unused]] const ssize_t n = ::write(master_.get(), &c, 1);
  }

 private:
  void poke() {
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(wake_write_.get(), &c, 1);
  }
  // False when the service is to stop or hang up.
  bool wait(short events) {
    std::array<pollfd, 2> p{pollfd{master_.get(), events, 0}, pollfd{wake_read_.get(), POLLIN, 0}};
    while (::poll(p.data(), p.size(), -1) < 0) {
      if (errno != EINTR) return false;
    }
    if (p[1].revents != 0) {
      std::array<char, 64> drain{};
      while (::read(wake_read_.get(), drain.data(), drain.size()) > 0) {
      }
    }
    return !device_.stop.raised() && !hang_up_requested_;
  }
  char flow_character(int index) const {
    termios t{};
    ::tcgetattr(terminal_.get(), &t);
    return static_cast<char>(t.c_cc[index]);
  }
  bool flow_control_on() const {
    termios t{};
    return ::tcgetattr(terminal_.get(), &t) == 0 && (t.c_iflag & IXOFF) != 0;
  }
  // A reply goes out behind XOFF when the hook asks for it.
  std::string before_reply() override {
    return xoff_before_reply_.exchange(false) ? std::string(1, flow_character(VSTOP)) : "";
  }
  // Reads what the client sent; flow-control characters act and are dropped. False on stop.
  bool take_input() {
    std::array<char, 4096> buffer{};
    const ssize_t n = ::read(master_.get(), buffer.data(), buffer.size());
    if (n < 0) return errno == EAGAIN || errno == EINTR;
    if (n == 0) return true;
    const bool flow = flow_control_on();
    termios t{};
    ::tcgetattr(terminal_.get(), &t);
    for (const char c : std::string_view(buffer.data(), static_cast<std::size_t>(n))) {
      if (flow && c == static_cast<char>(t.c_cc[VSTOP])) {
        paused_ = true;
      } else if (flow && c == static_cast<char>(t.c_cc[VSTART])) {
        paused_ = false;
      } else {
        backlog_.push_back(c);
      }
    }
    return true;
  }
  bool send(std::string_view bytes) override {
    while (!bytes.empty()) {
      if (paused_) {
        if (!wait(POLLIN) || !take_input()) return false;
        continue;
      }
      const ssize_t n = ::write(master_.get(), bytes.data(), bytes.size());
      if (n > 0) {
        bytes.remove_prefix(static_cast<std::size_t>(n));
        continue;
      }
      const bool retry = n == 0 || errno == EAGAIN || errno == EINTR;
      if (!retry || !wait(POLLIN | POLLOUT) || !take_input()) return false;
    }
    return true;
  }
  void serve() {
    // A line's session runs from its first byte to a hang-up (kNoSession until then).
    constexpr std::size_t kNoSession = SIZE_MAX;
    std::size_t session = kNoSession;
    bool up = true;
    while (up && !device_.stop.raised()) {
      if (!wait(POLLIN)) {
        if (!hang_up_requested_) break;  // stopping
        up = hang_up_line();
        session = kNoSession;
        continue;
      }
      if (!take_input()) break;
      bool open = true;
      while (open && !backlog_.empty()) {
        const std::string chunk = std::exchange(backlog_, {});
        if (session == kNoSession) session = device_.open_session();
        device_.record(session, chunk);
        open = lines_.feed(chunk);
      }
      if (!open) {
        up = hang_up_line();
        session = kNoSession;
      }
    }
  }
  // The client's descriptors are hung up (read end-of-file, write EIO, POLLHUP) and the line
  // takes new opens, as a modem line after carrier loss. Without the privilege for that, the
  // master closes and the line is gone for good; false then.
  bool hang_up_line() {
    hang_up_requested_ = false;
    lines_.reset();
    backlog_.clear();
    paused_ = false;
    const std::lock_guard lock(master_mutex_);
    if (::ioctl(terminal_.get(), TIOCVHANGUP) == 0) {
      terminal_ = UniqueFd(::open(path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
      make_raw();
      if (terminal_.valid()) return true;
    }
    master_.reset();
    return false;
  }
  void make_raw() {
    termios t{};
    ::tcgetattr(terminal_.get(), &t);
    ::cfmakeraw(&t);
    ::tcsetattr(terminal_.get(), TCSANOW, &t);
  }

  Device& device_;
  std::string path_;
  std::mutex master_mutex_;  // hold_xoff() against the hang-up
  UniqueFd master_;
  UniqueFd terminal_;
  UniqueFd wake_read_;
  UniqueFd wake_write_;
  std::atomic<bool> hang_up_requested_{false};
  std::atomic<bool> xoff_before_reply_{false};
  bool paused_ = false;  // the client sent XOFF
  std::string backlog_;  // received, not yet taken as lines
  LineSession lines_;
  std::thread thread_;
};

}  // namespace

std::unique_ptr<SerialLine> make_serial_service(Device& device) {
  return std::make_unique<SerialService>(device);
}

}  // namespace zr48::sim
