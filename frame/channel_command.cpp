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
    if (!IsPlain(format, directive)) return;
    ok_ = channel == nullptr || (Append("INST ") && Append(channel) && Append("\n"));
    selection_size_ = size_;
    if (directive == std::string_view::npos) {
      ok_ = ok_ && Append(format);
    } else {
      ok_ = ok_ && Append(format.substr(0, directive)) && Append(text) &&
            Append(format.substr(directive + 2));
    }
  }
  bool ok() const noexcept { return ok_; }
  ViConstBuf data() const noexcept { return reinterpret_cast<ViConstBuf>(bytes_.data()); }
  ViUInt32 size() const noexcept { return static_cast<ViUInt32>(size_); }
  // The bytes of "INST <channel>\n" at the front (0 without a channel).
  ViUInt32 selection_size() const noexcept { return static_cast<ViUInt32>(selection_size_); }

 private:
  // No escape, and no '%' but the one of `directive`.
  static bool IsPlain(std::string_view format, std::size_t directive) noexcept {
    if (format.find('\\') != std::string_view::npos) return false;
    const std::size_t percent = format.find('%');
    return percent == directive && (percent == std::string_view::npos ||
                                    format.find('%', percent + 1) == std::string_view::npos);
  }

  bool Append(std::string_view piece) noexcept {
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
Exchange& SendComposed(Exchange& exchange, const ComposedLines& lines, Record record,
                       Fallback fallback) noexcept {
  if (!exchange.ok()) return exchange;
  if (!lines.ok()) return fallback();
  ViUInt32 written = 0;
  const ViStatus status =
      exchange.visa().write(exchange.io(), lines.data(), lines.size(), &written);
  // A failure within the channel selection's bytes is the selection's, which is not recorded;
  // only a write that got past it failed on the command.
  const bool past_selection = lines.selection_size() == 0 || written > lines.selection_size();
  if (status < 0 && record == Record::kYes && past_selection) RecordError(exchange.vi(), status);
  return exchange.Then(status);
}

}  // namespace

Exchange& SendForChannel(Exchange& exchange, const char* channel, const char* format,
                         const char* text, Record record) noexcept {
  if (!exchange.ok()) return exchange;
  const ComposedLines lines(channel != nullptr ? channel : "", format, text != nullptr ? text : "");
  return SendComposed(exchange, lines, record, [&]() -> Exchange& {
    return exchange.Send("INST %s\n", channel, Record::kNo).Send(format, text, record);
  });
}

Exchange& SendLine(Exchange& exchange, const char* format, const char* text,
                   Record record) noexcept {
  if (!exchange.ok()) return exchange;
  const ComposedLines lines(nullptr, format, text != nullptr ? text : "");
  return SendComposed(exchange, lines, record,
                      [&]() -> Exchange& { return exchange.Send(format, text, record); });
}

}  // namespace zr48
