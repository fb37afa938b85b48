// IEEE 488.2 operations on a raw socket, carried as strings as VISA socket sessions and
// pyvisa-py do: the status byte is asked for with *STB?, a trigger is *TRG, and a device clear
// drops what the socket holds and what is still arriving (a byte stream has no out-of-band
// clear; the session drops its own buffers).
#include <poll.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <string_view>

#include "visa/transports/tcp_socket.h"

namespace zr48::visa {
namespace {

constexpr std::string_view kStatusQuery = "*STB?\n";
constexpr std::string_view kTrigger = "*TRG\n";
// A clear waits this long for the line to go quiet: a reply the instrument had already begun
// to send when the clear came would otherwise be read as the answer to the next query.
constexpr int kClearQuietMs = 50;
// ... and gives up on a peer that never stops after this many rounds of it.
constexpr int kClearRounds = 20;

ViStatus send_text(TcpTransport& transport, std::string_view text, const Deadline& deadline) {
  std::size_t sent = 0;
  return transport.send_bytes(reinterpret_cast<const ViByte*>(text.data()), text.size(), deadline,
                              sent);
}

}  // namespace

ViStatus TcpTransport::clear(const Deadline& deadline) {
  for (int round = 0; round < kClearRounds; ++round) {
    if (const ViStatus status = discard_ready(); status != VI_SUCCESS) return status;
    const int left = deadline.poll_timeout();  // -1: no time-out
    pollfd p{native_handle(), POLLIN, 0};
    const int ready = ::poll(&p, 1, left < 0 ? kClearQuietMs : std::min(left, kClearQuietMs));
    if (ready == 0) return VI_SUCCESS;  // quiet
    if (ready < 0 && errno != EINTR) return VI_ERROR_IO;
  }
  return VI_SUCCESS;
}

ViStatus TcpTransport::trigger(const Deadline& deadline) {
  return send_text(*this, kTrigger, deadline);
}

ViStatus TcpTransport::read_status_byte(const Deadline& deadline, ViUInt16& status) {
  ViStatus result = send_text(*this, kStatusQuery, deadline);
  if (result < 0) return result;
  // The reply is a short line ("+16\n"); read it byte by byte so nothing after it is taken.
  std::array<char, 32> line{};
  std::size_t size = 0;
  for (;;) {
    if (size == line.size()) return VI_ERROR_IO;  // no status byte is this long
    ViByte byte = 0;
    result = receive_exact(&byte, 1, deadline);
    if (result < 0) return result;
    if (byte == '\n') break;
    line[size++] = static_cast<char>(byte);
  }
  std::string_view text(line.data(), size);
  while (!text.empty() && (text.front() == ' ' || text.front() == '+')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == '\r' || text.back() == ' ')) text.remove_suffix(1);
  unsigned value = 0;
  const auto parsed = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || parsed.ec != std::errc{} || parsed.ptr != text.data() + text.size() ||
      value > 0xFF) {
    return VI_ERROR_IO;  // not a status byte
  }
  status = static_cast<ViUInt16>(value);
  return VI_SUCCESS;
}

}  // namespace zr48::visa
