// termios2 throughout: BOTHER with the rate in c_ospeed works for every rate, and the kernel
// stores a standard rate as its Bnnnn code, so one path serves standard and unusual rates.
#include "visa/transports/serial/tty_control.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <initializer_list>

namespace zr48::visa::tty {
namespace {

int check(int result) {
  return result == 0 ? 0 : errno;
}

tcflag_t size_flag(unsigned data_bits) {
  switch (data_bits) {
    case 5:
      return CS5;
    case 6:
      return CS6;
    case 7:
      return CS7;
    default:
      return CS8;
  }
}

tcflag_t parity_flags(Parity parity) {
  switch (parity) {
    case Parity::kOdd:
      return PARENB | PARODD;
    case Parity::kEven:
      return PARENB;
    case Parity::kMark:
      return PARENB | PARODD | CMSPAR;
    case Parity::kSpace:
      return PARENB | CMSPAR;
    case Parity::kNone:
      break;
  }
  return 0;
}

}  // namespace

int apply(int fd, const LineSettings& settings) {
  termios2 t{};
  if (::ioctl(fd, TCGETS2, &t) != 0) return errno;
  t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                      IXON | IXOFF | IXANY | INPCK | IUCLC | IMAXBEL);
  if (settings.xon_xoff) t.c_iflag |= IXON | IXOFF;
  t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN |
                                      ECHOCTL | ECHOKE);
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | CBAUD |
                                      (CBAUD << IBSHIFT));
  t.c_cflag |=
      CLOCAL | CREAD | BOTHER | size_flag(settings.data_bits) | parity_flags(settings.parity);
  if (settings.two_stop_bits) t.c_cflag |= CSTOPB;
  if (settings.rts_cts) t.c_cflag |= CRTSCTS;
  t.c_ispeed = settings.baud;
  t.c_ospeed = settings.baud;
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  t.c_cc[VSTART] = settings.xon;
  t.c_cc[VSTOP] = settings.xoff;
  return check(::ioctl(fd, TCSETS2, &t));
}

int read_back(int fd, LineSettings& settings) {
  termios2 t{};
  if (::ioctl(fd, TCGETS2, &t) != 0) return errno;
  switch (t.c_cflag & CSIZE) {
    case CS5:
      settings.data_bits = 5;
      break;
    case CS6:
      settings.data_bits = 6;
      break;
    case CS7:
      settings.data_bits = 7;
      break;
    default:
      settings.data_bits = 8;
  }
  const tcflag_t p = t.c_cflag & (PARENB | PARODD | CMSPAR);
  settings.parity = Parity::kNone;
  for (const Parity candidate : {Parity::kOdd, Parity::kEven, Parity::kMark, Parity::kSpace}) {
    if (p == parity_flags(candidate)) settings.parity = candidate;
  }
  settings.two_stop_bits = (t.c_cflag & CSTOPB) != 0;
  settings.rts_cts = (t.c_cflag & CRTSCTS) != 0;
  settings.xon_xoff = (t.c_iflag & IXON) != 0 && (t.c_iflag & IXOFF) != 0;
  settings.baud = t.c_ospeed;
  settings.xon = t.c_cc[VSTART];
  settings.xoff = t.c_cc[VSTOP];
  return 0;
}

int is_terminal(int fd) {
  termios2 t{};
  return check(::ioctl(fd, TCGETS2, &t));
}

int take_exclusive(int fd) {
  return check(::ioctl(fd, TIOCEXCL));
}

int flush_input(int fd) {
  return check(::ioctl(fd, TCFLSH, TCIFLUSH));
}

int flush_output(int fd) {
  return check(::ioctl(fd, TCFLSH, TCOFLUSH));
}

int set_break(int fd, bool on) {
  return check(::ioctl(fd, on ? TIOCSBRK : TIOCCBRK));
}

int resume_output(int fd) {
  return check(::ioctl(fd, TCXONC, TCOON));
}

int suspend_output(int fd, bool on) {
  return check(::ioctl(fd, TCXONC, on ? TCOOFF : TCOON));
}

int bytes_waiting(int fd, std::size_t& count) {
  int n = 0;
  if (::ioctl(fd, TIOCINQ, &n) != 0) return errno;
  count = n > 0 ? static_cast<std::size_t>(n) : 0;
  return 0;
}

int modem_lines(int fd, int& bits) {
  return check(::ioctl(fd, TIOCMGET, &bits));
}

int set_modem_lines(int fd, int bits, bool on) {
  return check(::ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bits));
}

}  // namespace zr48::visa::tty
