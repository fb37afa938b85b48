#include "channel_command.h"

#include <array>
#include <cstring>
#include <string_view>

namespace zr48 {
namespace {

// The command line with its "%s" replaced, after "INST <channel>\n" when a channel is given,
// composed in one buffer. Only plain text and a single "%s" are substituted by hand; anything
// else is left to viPrintf.
class ComposedLines {
 public:
  ComposedLines(const char* channel, std::string_view format, std::string_view text) {
    const std::size_t directive = format.find("%s");
    if (!is_plain(format, directive)) return;
    ok_ = channel == nullptr || (append("INST ") && append(channel) && append("\n"));
    selection_size_ = size_;
    if (directive == std::string_view::npos) {
      ok_ = ok_ && append(format);
    } else {
      ok_ = ok_ && append(format.substr(0, directive)) && append(text) &&
            append(format.substr(directive + 2));
    }
  }
  bool ok() const noexcept { return ok_; }
  ViConstBuf data() const noexcept { return reinterpret_cast<ViConstBuf>(bytes_.data()); }
  ViUInt32 size() const noexcept { return static_cast<ViUInt32>(size_); }
  // The bytes of "INST <channel>\n" at the front (0 without a channel).
  ViUInt32 selection_size() const noexcept { return static_cast<ViUInt32>(selection_size_); }

 private:
  // No escape, and no '%' but the one of `directive`.
  static bool is_plain(std::string_view format, std::size_t directive) noexcept {
    if (format.find('\\') != std::string_view::npos) return false;
    const std::size_t percent = format.find('%');
    return percent == directive && (percent == std::string_view::npos ||
                                    format.find('%', percent + 1) == std::string_view::npos);
  }

  bool append(std::string_view piece) noexcept {
    if (piece.size() > bytes_.size() - size_) return false;
    std::memcpy(bytes_.data() + size_, piece.data(), piece.size());
    size_ += piece.size();
    return true;
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
