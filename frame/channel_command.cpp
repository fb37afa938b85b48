#include "channel_command.h"

#include <array>
#include <cstddef>

namespace zr48 {
namespace {

// The command line with its "%s" replaced, after "INST <channel>\n" when a channel is given,
// composed in one buffer in one pass over the format. Only plain text and a single "%s" are
// substituted by hand; a format with any other directive or an escape is left to viPrintf.
class ComposedLines {
 public:
  ComposedLines(const char* channel, const char* format, const char* text) noexcept {
    char* out = bytes_.data();
    char* const end = out + bytes_.size();
    if (channel != nullptr) {
      out = append(out, end, "INST ");
      out = append(out, end, channel);
      out = append(out, end, "\n");
      if (out == nullptr) return;
    }
    const char* const selection_end = out;
    bool substituted = false;
    for (const char* next = format; *next != '\0' && out != nullptr; ++next) {
      if (*next == '\\') return;
      if (*next == '%') {
        if (next[1] != 's' || substituted) return;
        out = append(out, end, text);
        substituted = true;
        ++next;
      } else {
        out = out != end ? (*out = *next, out + 1) : nullptr;
      }
    }
    if (out == nullptr) return;
    selection_size_ = static_cast<std::size_t>(selection_end - bytes_.data());
    size_ = static_cast<std::size_t>(out - bytes_.data());
    ok_ = true;
  }
  bool ok() const noexcept { return ok_; }
  ViConstBuf data() const noexcept { return reinterpret_cast<ViConstBuf>(bytes_.data()); }
  ViUInt32 size() const noexcept { return static_cast<ViUInt32>(size_); }
  // The bytes of "INST <channel>\n" at the front (0 without a channel).
  ViUInt32 selection_size() const noexcept { return static_cast<ViUInt32>(selection_size_); }

 private:
  // Copies `piece` to `out`; nullptr once the buffer is full (or was already). Byte by byte, in
  // local pointers: the pieces are a few characters, shorter than strlen's and memcpy's set-up.
  static char* append(char* out, const char* end, const char* piece) noexcept {
    if (out == nullptr) return nullptr;
    for (; *piece != '\0'; ++piece, ++out) {
      if (out == end) return nullptr;
      *out = *piece;
    }
    return out;
  }

  std::array<char, 512> bytes_;  // NOLINT(cppcoreguidelines-pro-type-member-init): written first
  std::size_t size_ = 0;
  std::size_t selection_size_ = 0;
  bool ok_ = false;
};

// Writes the composed lines in one viWrite; `fallback` sends them with viPrintf instead.
template <typename Fallback>
Exchange& send_composed(Exchange& exchange, const ComposedLines& lines,
                        Fallback fallback) noexcept {
  if (!exchange.ok()) return exchange;
  if (!lines.ok()) return fallback();
  return exchange.write(lines.data(), lines.size(), lines.selection_size());
}

}  // namespace

Exchange& send_for_channel(Exchange& exchange, const char* channel, const char* format,
                           const char* text) noexcept {
  if (!exchange.ok()) return exchange;
  const ComposedLines lines(channel != nullptr ? channel : "", format, text != nullptr ? text : "");
  return send_composed(exchange, lines, [&]() -> Exchange& {
    return exchange.select_channel(channel).send(format, text);
  });
}

Exchange& send_line(Exchange& exchange, const char* format, const char* text) noexcept {
  if (!exchange.ok()) return exchange;
  const ComposedLines lines(nullptr, format, text != nullptr ? text : "");
  return send_composed(exchange, lines, [&]() -> Exchange& { return exchange.send(format, text); });
}

}  // namespace zr48
