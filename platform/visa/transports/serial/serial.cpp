// Serial transport. The port is non-blocking; every wait is a poll() bounded by the deadline
// and woken by interrupt(), so a device holding XOFF or a dead line never holds a call past
// its time-out. Reads keep what arrived beyond the end of a message for the next read, since
// a terminal cannot give bytes back.
#include "visa/transports/serial/serial.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <span>
#include <string_view>
#include <vector>

#include "visa/attribute_value.h"
#include "visa/trace.h"
#include "visa/transport_table.h"
#include "visa/transports/serial/tty_control.h"
#include "visa/transports/tcp_socket.h"
#include "visa/visa.h"

namespace zr48::visa {
namespace {

constexpr std::size_t kChunk = 4096;

ViStatus status_from_errno(int error) {
  switch (error) {
    case EIO:  // the line hung up (a pseudo-terminal's other side closed, a USB adapter left)
    case ENODEV:
    case ENXIO:
      return VI_ERROR_CONN_LOST;
    default:
      return VI_ERROR_IO;
  }
}

ViStatus open_status(int error) {
  switch (error) {
    case EACCES:
    case EPERM:
      return VI_ERROR_NPERMISSION;
    case EBUSY:
    case EWOULDBLOCK:
      return VI_ERROR_RSRC_BUSY;
    default:
      return VI_ERROR_RSRC_NFOUND;
  }
}

tty::Parity parity_of(ViAttrState value) {
  return static_cast<tty::Parity>(value);
}

class SerialTransport final : public Transport {
 public:
  SerialTransport(UniqueFd port, UniqueFd wake_read, UniqueFd wake_write)
      : port_(std::move(port)),
        wake_read_(std::move(wake_read)),
        wake_write_(std::move(wake_write)) {}

  ViStatus configure() { return apply(line_); }

  ViStatus send(const ViByte* data, std::size_t size, bool end, const Deadline& deadline,
                std::size_t& sent) override;
  ViStatus receive(ViByte* data, std::size_t capacity, const ReadTermination& termination,
                   const Deadline& deadline, Received& received) override;
  ViStatus discard_ready() override;
  void interrupt() override;
  void termchar_changed(ViUInt8 termchar) override { termchar_ = termchar; }
  ViStatus get_attribute(ViAttr attribute, void* value) const override;
  ViStatus set_attribute(ViAttr attribute, ViAttrState value) override;
  int native_handle() const override { return port_.get(); }

  ViStatus clear(const Deadline& deadline) override;
  ViStatus read_status_byte(const Deadline& deadline, ViUInt16& status) override;
  ViStatus trigger(const Deadline& deadline) override;

 private:
  // Waits for `events` on the port; VI_ERROR_TMO, VI_ERROR_ABORT after interrupt(), or
  // VI_ERROR_CONN_LOST when the line hung up with nothing left to read.
  ViStatus wait(short events, const Deadline& deadline) const;
  ViStatus write_all(const ViByte* data, std::size_t size, const Deadline& deadline,
                     std::size_t& sent);
  ViStatus read_more(const Deadline& deadline);
  ViStatus apply(const tty::LineSettings& line);
  ViStatus send_break(const Deadline& deadline);
  ViStatus modem_state(int bit, void* value) const;
  ViStatus set_modem_state(int bit, ViAttrState value);
  // Sends `command` and, for a query, reads one line up to its line feed.
  ViStatus exchange(std::string_view command, const Deadline& deadline, std::string* reply);

  UniqueFd port_;
  UniqueFd wake_read_;
  UniqueFd wake_write_;
  tty::LineSettings line_;
  ViUInt16 end_in_ = VI_ASRL_END_TERMCHAR;
  ViUInt16 end_out_ = VI_ASRL_END_NONE;
  ViUInt8 termchar_ = '\n';
  ViInt16 break_len_ms_ = 250;
  bool break_on_ = false;
  bool discard_null_ = false;
  bool allow_transmit_ = true;
  std::vector<ViByte> pending_;  // received beyond the end of the last message
};

ViStatus SerialTransport::wait(short events, const Deadline& deadline) const {
  // The cancellation of an asynchronous job wakes the wait as interrupt() does, but only once.
  const Cancellation* cancellation = deadline.cancellation();
  std::array<pollfd, 3> p{pollfd{port_.get(), events, 0}, pollfd{wake_read_.get(), POLLIN, 0},
                          pollfd{cancellation != nullptr ? cancellation->fd() : -1, POLLIN, 0}};
  for (;;) {
    if (deadline.cancelled()) return VI_ERROR_ABORT;
    const int ready = ::poll(p.data(), p.size(), deadline.poll_timeout());
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return VI_ERROR_SYSTEM_ERROR;
    if (ready == 0) return VI_ERROR_TMO;
    if (p[1].revents != 0 || p[2].revents != 0) return VI_ERROR_ABORT;
    if ((p[0].revents & events) != 0) return VI_SUCCESS;
    if ((p[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) return VI_ERROR_CONN_LOST;
  }
}

ViStatus SerialTransport::write_all(const ViByte* data, std::size_t size, const Deadline& deadline,
                                    std::size_t& sent) {
  while (sent < size) {
    const ssize_t n = ::write(port_.get(), data + sent, size - sent);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) return status_from_errno(errno);
    const ViStatus status = wait(POLLOUT, deadline);
    if (status != VI_SUCCESS) return status;
  }
  return VI_SUCCESS;
}

ViStatus SerialTransport::send(const ViByte* data, std::size_t size, bool end,
                               const Deadline& deadline, std::size_t& sent) {
  sent = 0;
  ViStatus status = VI_SUCCESS;
  if (end_out_ == VI_ASRL_END_LAST_BIT) {
    // The highest data bit marks the last byte of a message and is clear on every other one.
    const auto mark = static_cast<ViByte>(1U << (line_.data_bits - 1));
    std::vector<ViByte> marked(data, data + size);
    for (ViByte& b : marked) b = static_cast<ViByte>(b & ~mark);
    if (end && !marked.empty()) marked.back() = static_cast<ViByte>(marked.back() | mark);
    status = write_all(marked.data(), marked.size(), deadline, sent);
  } else {
    status = write_all(data, size, deadline, sent);
  }
  if (status != VI_SUCCESS || !end) return status;
  if (end_out_ == VI_ASRL_END_TERMCHAR) {
    std::size_t one = 0;
    return write_all(&termchar_, 1, deadline, one);
  }
  if (end_out_ == VI_ASRL_END_BREAK) return send_break(deadline);
  return VI_SUCCESS;
}

ViStatus SerialTransport::read_more(const Deadline& deadline) {
  std::array<ViByte, kChunk> chunk;  // NOLINT: filled by read()
  for (;;) {
    const ssize_t n = ::read(port_.get(), chunk.data(), chunk.size());
    if (n > 0) {
      for (ViByte b : std::span(chunk.data(), static_cast<std::size_t>(n))) {
        if (!(discard_null_ && b == 0)) pending_.push_back(b);
      }
      if (!pending_.empty()) return VI_SUCCESS;
      continue;
    }
    if (n == 0) return VI_ERROR_CONN_LOST;  // hung up: a terminal in raw mode never reads 0
    if (errno == EINTR) continue;
    if (errno != EAGAIN) return status_from_errno(errno);
    const ViStatus status = wait(POLLIN, deadline);
    if (status != VI_SUCCESS) return status;
  }
}

ViStatus SerialTransport::receive(ViByte* data, std::size_t capacity,
                                  const ReadTermination& /*termination*/, const Deadline& deadline,
                                  Received& received) {
  received = {};
  if (pending_.empty()) {
    const ViStatus status = read_more(deadline);
    if (status != VI_SUCCESS) return status;
  }
  std::size_t take = std::min(capacity, pending_.size());
  ReadEnd end = ReadEnd::kChunk;
  const auto last_bit = static_cast<ViByte>(1U << (line_.data_bits - 1));
  for (std::size_t i = 0; i < take; ++i) {
    const ViByte b = pending_[i];
    if ((end_in_ == VI_ASRL_END_TERMCHAR && b == termchar_) ||
        (end_in_ == VI_ASRL_END_LAST_BIT && (b & last_bit) != 0)) {
      take = i + 1;
      end = ReadEnd::kEnd;
      break;
    }
  }
  std::copy_n(pending_.begin(), take, data);
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(take));
  received = {take, end};
  return VI_SUCCESS;
}

ViStatus SerialTransport::discard_ready() {
  pending_.clear();
  const int error = tty::flush_input(port_.get());
  return error == 0 ? VI_SUCCESS : status_from_errno(error);
}

void SerialTransport::interrupt() {
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = ::write(wake_write_.get(), &byte, 1);
}

ViStatus SerialTransport::send_break(const Deadline& deadline) {
  if (tty::set_break(port_.get(), true) != 0) return VI_ERROR_IO;
  // The break lasts its set length, unless interrupted or the deadline comes first.
  pollfd p{wake_read_.get(), POLLIN, 0};
  const int left = deadline.poll_timeout();
  const int hold = left < 0 ? break_len_ms_ : std::min<int>(left, break_len_ms_);
  while (::poll(&p, 1, hold) < 0 && errno == EINTR) {
  }
  return tty::set_break(port_.get(), break_on_) == 0 ? VI_SUCCESS : VI_ERROR_IO;
}

ViStatus SerialTransport::clear(const Deadline& deadline) {
  // Output dropped (and restarted if an XOFF held it), a break, input dropped.
  if (tty::flush_output(port_.get()) != 0) return VI_ERROR_IO;
  if (allow_transmit_) tty::resume_output(port_.get());
  const ViStatus status = send_break(deadline);
  if (status != VI_SUCCESS) return status;
  return discard_ready();
}

ViStatus SerialTransport::exchange(std::string_view command, const Deadline& deadline,
                                   std::string* reply) {
  std::size_t sent = 0;
  ViStatus status =
      write_all(reinterpret_cast<const ViByte*>(command.data()), command.size(), deadline, sent);
  if (status != VI_SUCCESS || reply == nullptr) return status;
  for (;;) {
    if (pending_.empty() && (status = read_more(deadline)) != VI_SUCCESS) return status;
    const auto lf = std::find(pending_.begin(), pending_.end(), ViByte{'\n'});
    const bool done = lf != pending_.end();
    const auto stop = done ? lf + 1 : pending_.end();
    reply->append(pending_.begin(), stop);
    pending_.erase(pending_.begin(), stop);
    if (done) return VI_SUCCESS;
    if (reply->size() > 64) return VI_ERROR_IO;  // not a status byte
  }
}

// As VISA does for serial instruments: IEEE 488.2 strings stand in for the bus messages.
ViStatus SerialTransport::read_status_byte(const Deadline& deadline, ViUInt16& status) {
  std::string reply;
  const ViStatus result = exchange("*STB?\n", deadline, &reply);
  if (result != VI_SUCCESS) return result;
  char* end = nullptr;
  const long value = std::strtol(reply.c_str(), &end, 10);
  if (end == reply.c_str() || value < 0 || value > 255) return VI_ERROR_IO;
  status = static_cast<ViUInt16>(value);
  return VI_SUCCESS;
}

ViStatus SerialTransport::trigger(const Deadline& deadline) {
  return exchange("*TRG\n", deadline, nullptr);
}

ViStatus SerialTransport::apply(const tty::LineSettings& line) {
  const int error = tty::apply(port_.get(), line);
  if (error == EINVAL) return VI_ERROR_NSUP_ATTR_STATE;  // the driver refused the value
  if (error != 0) return status_from_errno(error);
  tty::LineSettings stored;
  // A driver that cannot do a setting may keep another one silently: say so.
  if (tty::read_back(port_.get(), stored) == 0 && stored.baud != line.baud) {
    tty::apply(port_.get(), line_);
    return VI_ERROR_NSUP_ATTR_STATE;
  }
  line_ = line;
  return VI_SUCCESS;
}

ViStatus SerialTransport::modem_state(int bit, void* value) const {
  int bits = 0;
  ViInt16 state = VI_STATE_UNKNOWN;
  if (tty::modem_lines(port_.get(), bits) == 0) {
    state = (bits & bit) != 0 ? VI_STATE_ASSERTED : VI_STATE_UNASSERTED;
  }
  store_attribute<ViInt16>(value, state);
  return VI_SUCCESS;
}

ViStatus SerialTransport::set_modem_state(int bit, ViAttrState value) {
  if (value != VI_STATE_ASSERTED && value != VI_STATE_UNASSERTED) return VI_ERROR_NSUP_ATTR_STATE;
  // RTS belongs to the driver while it runs hardware flow control.
  if (bit == TIOCM_RTS && line_.rts_cts) return VI_ERROR_NSUP_ATTR_STATE;
  const int error = tty::set_modem_lines(port_.get(), bit, value == VI_STATE_ASSERTED);
  return error == 0 ? VI_SUCCESS : VI_ERROR_NSUP_ATTR_STATE;
}

ViStatus SerialTransport::get_attribute(ViAttr attribute, void* value) const {
  switch (attribute) {
    case VI_ATTR_ASRL_BAUD:
      store_attribute<ViUInt32>(value, line_.baud);
      return VI_SUCCESS;
    case VI_ATTR_ASRL_DATA_BITS:
      store_attribute<ViUInt16>(value, static_cast<ViUInt16>(line_.data_bits));
      return VI_SUCCESS;
    case VI_ATTR_ASRL_PARITY:
      store_attribute<ViUInt16>(value, static_cast<ViUInt16>(line_.parity));
      return VI_SUCCESS;
    case VI_ATTR_ASRL_STOP_BITS: {
      const ViUInt16 five = line_.data_bits == 5 ? VI_ASRL_STOP_ONE5 : VI_ASRL_STOP_TWO;
      store_attribute<ViUInt16>(value, line_.two_stop_bits ? five : ViUInt16{VI_ASRL_STOP_ONE});
      return VI_SUCCESS;
    }
    case VI_ATTR_ASRL_FLOW_CNTRL:
      store_attribute<ViUInt16>(value,
                                static_cast<ViUInt16>((line_.xon_xoff ? VI_ASRL_FLOW_XON_XOFF : 0) |
                                                      (line_.rts_cts ? VI_ASRL_FLOW_RTS_CTS : 0)));
      return VI_SUCCESS;
    case VI_ATTR_ASRL_END_IN:
      store_attribute<ViUInt16>(value, end_in_);
      return VI_SUCCESS;
    case VI_ATTR_ASRL_END_OUT:
      store_attribute<ViUInt16>(value, end_out_);
      return VI_SUCCESS;
    case VI_ATTR_ASRL_XON_CHAR:
      store_attribute<ViUInt8>(value, line_.xon);
      return VI_SUCCESS;
    case VI_ATTR_ASRL_XOFF_CHAR:
      store_attribute<ViUInt8>(value, line_.xoff);
      return VI_SUCCESS;
    case VI_ATTR_ASRL_BREAK_LEN:
      store_attribute<ViInt16>(value, break_len_ms_);
      return VI_SUCCESS;
    case VI_ATTR_ASRL_BREAK_STATE:
      store_attribute<ViInt16>(value, break_on_ ? VI_STATE_ASSERTED : VI_STATE_UNASSERTED);
      return VI_SUCCESS;
    case VI_ATTR_ASRL_DISCARD_NULL:
      store_attribute<ViBoolean>(value, discard_null_ ? VI_TRUE : VI_FALSE);
      return VI_SUCCESS;
    case VI_ATTR_ASRL_ALLOW_TRANSMIT:
      store_attribute<ViBoolean>(value, allow_transmit_ ? VI_TRUE : VI_FALSE);
      return VI_SUCCESS;
    case VI_ATTR_ASRL_AVAIL_NUM: {
      std::size_t waiting = 0;
      if (tty::bytes_waiting(port_.get(), waiting) != 0) return VI_ERROR_IO;
      store_attribute<ViUInt32>(value, static_cast<ViUInt32>(waiting + pending_.size()));
      return VI_SUCCESS;
    }
    case VI_ATTR_ASRL_CTS_STATE:
      return modem_state(TIOCM_CTS, value);
    case VI_ATTR_ASRL_DSR_STATE:
      return modem_state(TIOCM_DSR, value);
    case VI_ATTR_ASRL_DCD_STATE:
      return modem_state(TIOCM_CD, value);
    case VI_ATTR_ASRL_RI_STATE:
      return modem_state(TIOCM_RI, value);
    case VI_ATTR_ASRL_DTR_STATE:
      return modem_state(TIOCM_DTR, value);
    case VI_ATTR_ASRL_RTS_STATE:
      return modem_state(TIOCM_RTS, value);
    default:
      return VI_ERROR_NSUP_ATTR;
  }
}

ViStatus SerialTransport::set_attribute(ViAttr attribute, ViAttrState value) {
  tty::LineSettings line = line_;
  switch (attribute) {
    case VI_ATTR_ASRL_BAUD:
      if (value == 0 || value > 0xFFFFFFFFULL) return VI_ERROR_NSUP_ATTR_STATE;
      line.baud = static_cast<std::uint32_t>(value);
      return apply(line);
    case VI_ATTR_ASRL_DATA_BITS:
      if (value < 5 || value > 8) return VI_ERROR_NSUP_ATTR_STATE;
      // 1.5 stop bits exist only with five data bits.
      if (line.two_stop_bits && (value == 5) != (line_.data_bits == 5)) {
        return VI_ERROR_NSUP_ATTR_STATE;
      }
      line.data_bits = static_cast<unsigned>(value);
      return apply(line);
    case VI_ATTR_ASRL_PARITY:
      if (value > VI_ASRL_PAR_SPACE) return VI_ERROR_NSUP_ATTR_STATE;
      line.parity = parity_of(value);
      return apply(line);
    case VI_ATTR_ASRL_STOP_BITS:
      if (value == VI_ASRL_STOP_ONE) {
        line.two_stop_bits = false;
      } else if ((value == VI_ASRL_STOP_TWO && line.data_bits != 5) ||
                 (value == VI_ASRL_STOP_ONE5 && line.data_bits == 5)) {
        line.two_stop_bits = true;  // the UART makes 1.5 of it with five data bits
      } else {
        return VI_ERROR_NSUP_ATTR_STATE;
      }
      return apply(line);
    case VI_ATTR_ASRL_FLOW_CNTRL:
      // DTR/DSR handshaking has no terminal setting on Linux.
      if ((value & ~ViAttrState{VI_ASRL_FLOW_XON_XOFF | VI_ASRL_FLOW_RTS_CTS}) != 0) {
        return VI_ERROR_NSUP_ATTR_STATE;
      }
      line.xon_xoff = (value & VI_ASRL_FLOW_XON_XOFF) != 0;
      line.rts_cts = (value & VI_ASRL_FLOW_RTS_CTS) != 0;
      return apply(line);
    case VI_ATTR_ASRL_XON_CHAR:
    case VI_ATTR_ASRL_XOFF_CHAR:
      if (value > 0xFF) return VI_ERROR_NSUP_ATTR_STATE;
      (attribute == VI_ATTR_ASRL_XON_CHAR ? line.xon : line.xoff) =
          static_cast<unsigned char>(value);
      return apply(line);
    case VI_ATTR_ASRL_END_IN:
      if (value > VI_ASRL_END_TERMCHAR) return VI_ERROR_NSUP_ATTR_STATE;
      end_in_ = static_cast<ViUInt16>(value);
      return VI_SUCCESS;
    case VI_ATTR_ASRL_END_OUT:
      if (value > VI_ASRL_END_BREAK) return VI_ERROR_NSUP_ATTR_STATE;
      end_out_ = static_cast<ViUInt16>(value);
      return VI_SUCCESS;
    case VI_ATTR_ASRL_BREAK_LEN: {
      const auto ms = static_cast<ViInt16>(value);
      if (ms < 1 || ms > 500 || static_cast<ViAttrState>(static_cast<ViUInt16>(ms)) != value) {
        return VI_ERROR_NSUP_ATTR_STATE;
      }
      break_len_ms_ = ms;
      return VI_SUCCESS;
    }
    case VI_ATTR_ASRL_BREAK_STATE:
      if (value != VI_STATE_ASSERTED && value != VI_STATE_UNASSERTED) {
        return VI_ERROR_NSUP_ATTR_STATE;
      }
      if (tty::set_break(port_.get(), value == VI_STATE_ASSERTED) != 0) return VI_ERROR_IO;
      break_on_ = value == VI_STATE_ASSERTED;
      return VI_SUCCESS;
    case VI_ATTR_ASRL_DISCARD_NULL:
      if (!is_boolean(value)) return VI_ERROR_NSUP_ATTR_STATE;
      discard_null_ = value == VI_TRUE;
      return VI_SUCCESS;
    case VI_ATTR_ASRL_ALLOW_TRANSMIT:
      if (!is_boolean(value)) return VI_ERROR_NSUP_ATTR_STATE;
      if (tty::suspend_output(port_.get(), value == VI_FALSE) != 0) return VI_ERROR_IO;
      allow_transmit_ = value == VI_TRUE;
      return VI_SUCCESS;
    case VI_ATTR_ASRL_DTR_STATE:
      return set_modem_state(TIOCM_DTR, value);
    case VI_ATTR_ASRL_RTS_STATE:
      return set_modem_state(TIOCM_RTS, value);
    case VI_ATTR_ASRL_AVAIL_NUM:
    case VI_ATTR_ASRL_CTS_STATE:
    case VI_ATTR_ASRL_DSR_STATE:
    case VI_ATTR_ASRL_DCD_STATE:
    case VI_ATTR_ASRL_RI_STATE:
      return VI_ERROR_ATTR_READONLY;
    default:
      return VI_ERROR_NSUP_ATTR;
  }
}

}  // namespace

bool serial_device_path(const ResourceName& name, std::string& path) {
  if (!name.path.empty()) {
    path = name.path;
    return true;
  }
  const std::string variable = "ZR48_VISA_ASRL" + std::to_string(name.board);
  if (const char* mapped = std::getenv(variable.c_str()); mapped != nullptr && *mapped != '\0') {
    path = mapped;
    return true;
  }
  if (name.board == 0) return false;
  path = "/dev/ttyS" + std::to_string(name.board - 1);
  return true;
}

ViStatus accepts_serial(const ResourceName& name) {
  return name.interface_type == Interface::kAsrl && name.resource_class == "INSTR"
             ? VI_SUCCESS
             : VI_ERROR_RSRC_NFOUND;
}

ViStatus open_serial(const OpenRequest& request, std::unique_ptr<Transport>& out) {
  std::string path;
  if (!serial_device_path(request.name, path)) {
    trace::note("viOpen", VI_NULL, VI_ERROR_RSRC_NFOUND,
                request.name.canonical + ": no device; set ZR48_VISA_ASRL" +
                    std::to_string(request.name.board) + "=/dev/<port>");
    return VI_ERROR_RSRC_NFOUND;
  }
  UniqueFd port(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (port.get() < 0) {
    const int error = errno;
    const ViStatus status = open_status(error);
    if (status == VI_ERROR_NPERMISSION) {
      trace::note("viOpen", VI_NULL, status,
                  path +
                      ": permission denied; add the user to the port's group (usually "
                      "dialout) and log in again");
    }
    return status;
  }
  if (tty::is_terminal(port.get()) != 0) return VI_ERROR_RSRC_NFOUND;
  // Two programs writing to one instrument interleave their commands: one session per port.
  // flock() holds between all openers, root included; TIOCEXCL keeps out programs that do not
  // take the lock.
  if (::flock(port.get(), LOCK_EX | LOCK_NB) != 0) return open_status(errno);
  tty::take_exclusive(port.get());
  std::array<int, 2> wake{};
  if (::pipe2(wake.data(), O_CLOEXEC | O_NONBLOCK) != 0) return VI_ERROR_SYSTEM_ERROR;
  auto transport =
      std::make_unique<SerialTransport>(std::move(port), UniqueFd(wake[0]), UniqueFd(wake[1]));
  const ViStatus status = transport->configure();
  if (status != VI_SUCCESS) return status == VI_ERROR_NSUP_ATTR_STATE ? VI_ERROR_IO : status;
  // Bytes that arrived before this session are not replies to it.
  transport->discard_ready();
  out = std::move(transport);
  return VI_SUCCESS;
}

}  // namespace zr48::visa
