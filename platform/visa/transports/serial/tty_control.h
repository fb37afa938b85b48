// The terminal-device calls a serial port needs, kept in one file because the kernel's termios2
// (for any baud rate) and the C library's termios cannot share a translation unit.
#ifndef ZR48_PLATFORM_VISA_TRANSPORTS_SERIAL_TTY_CONTROL_H
#define ZR48_PLATFORM_VISA_TRANSPORTS_SERIAL_TTY_CONTROL_H

#include <cstddef>
#include <cstdint>

namespace zr48::visa::tty {

enum class Parity { kNone, kOdd, kEven, kMark, kSpace };

// A line's framing and flow control, in the units VISA uses.
struct LineSettings {
  std::uint32_t baud = 9600;
  unsigned data_bits = 8;  // 5..8
  Parity parity = Parity::kNone;
  bool two_stop_bits = false;  // 1.5 with five data bits, as UARTs do
  bool xon_xoff = false;
  bool rts_cts = false;
  unsigned char xon = 0x11;
  unsigned char xoff = 0x13;
};

// Raw mode (no echo, no line editing, no character translation, reads return what has arrived)
// with `settings`; any baud rate through termios2. Returns 0 or an errno value.
int apply(int fd, const LineSettings& settings);
// The settings the device holds now (what apply() stored, as the driver kept it).
int read_back(int fd, LineSettings& settings);

int is_terminal(int fd);              // 0 when `fd` is a terminal, else an errno value
int take_exclusive(int fd);           // TIOCEXCL: later opens fail with EBUSY (except root)
int flush_input(int fd);              // drops what was received and not read
int flush_output(int fd);             // drops what was written and not sent
int set_break(int fd, bool on);       // holds the line in the break state, or releases it
int resume_output(int fd);            // restarts output held by a received XOFF
int suspend_output(int fd, bool on);  // stops (or restarts) sending as a received XOFF would
int bytes_waiting(int fd, std::size_t& count);

// Modem lines (TIOCM_* bits); ENOTTY/EINVAL where the device has none (a pseudo-terminal).
int modem_lines(int fd, int& bits);
int set_modem_lines(int fd, int bits, bool on);

}  // namespace zr48::visa::tty

#endif
