#include "exchange.h"

#include <limits>

namespace zr48::sim {

namespace {
constexpr std::uint8_t kMav = 0x10;
}

bool Exchange::write(std::string_view bytes, bool end, const std::function<bool()>& on_message) {
  while (!bytes.empty() || (end && partial_)) {
    const std::size_t line_feed = bytes.find('\n');
    const bool has_line_feed = line_feed != std::string_view::npos;
    const std::string_view piece = has_line_feed ? bytes.substr(0, line_feed + 1) : bytes;
    bytes.remove_prefix(piece.size());
    query_ = query_ || piece.find('?') != std::string_view::npos;
    if (!has_line_feed && !end) {  // the message goes on in a later write
      const std::lock_guard guard(device_.instrument_mutex);
      link_.write_message(piece, false);
      partial_ = true;
      break;
    }
    if (device_.close_before_line()) return false;
    bool response = false;
    {
      const std::lock_guard guard(device_.instrument_mutex);
      link_.write_message(piece, !has_line_feed);
      response = link_.message_available();
    }
    device_.after_message();
    armed_.reset();  // the new message dropped any unread response
    if (response || query_) arm(response);
    partial_ = false;
    query_ = false;
    if (on_message && !on_message()) return false;
  }
  return true;
}

void Exchange::arm(bool response) {
  ReplyHooks hooks = device_.take_reply_hooks();
  if (hooks.silent || (!response && !hooks.replacement && !hooks.wire)) {
    const std::lock_guard guard(device_.instrument_mutex);
    link_.device_clear();  // never to be answered
    return;
  }
  armed_ = Armed{Clock::now() + hooks.delay, std::move(hooks.replacement), 0, std::move(hooks.wire),
                 hooks.cut};
}

Exchange::Chunk Exchange::take(std::size_t max, std::optional<char> term_char) {
  Chunk chunk;
  if (!armed_) return chunk;
  chunk.cut = std::exchange(armed_->cut, std::nullopt);
  if (armed_->wire || armed_->replacement) {
    if (armed_->taken == 0) {  // the model's response, if any, is not what goes out
      const std::lock_guard guard(device_.instrument_mutex);
      if (link_.message_available()) link_.read_response(std::numeric_limits<std::size_t>::max());
    }
    if (armed_->wire) {
      chunk.wire = std::move(armed_->wire);
      chunk.end = true;
      armed_.reset();
      return chunk;
    }
    const std::string_view rest = std::string_view(*armed_->replacement).substr(armed_->taken);
    std::size_t count = std::min(max, rest.size());
    if (const auto at = term_char ? rest.substr(0, count).find(*term_char) : std::string_view::npos;
        at != std::string_view::npos) {
      count = at + 1;
    }
    chunk.bytes = rest.substr(0, count);
    armed_->taken += count;
    chunk.end = armed_->taken == armed_->replacement->size();
    if (chunk.end) armed_.reset();
    return chunk;
  }
  const std::lock_guard guard(device_.instrument_mutex);
  if (!term_char) {
    auto response = link_.read_response(max);
    chunk.bytes = std::move(response.bytes);
    chunk.end = response.end;
  } else {
    // Up to the termination character only: the rest stays in the output queue.
    while (chunk.bytes.size() < max && !chunk.end &&
           (chunk.bytes.empty() || chunk.bytes.back() != *term_char)) {
      auto response = link_.read_response(1);
      if (response.bytes.empty()) break;
      chunk.bytes += response.bytes;
      chunk.end = response.end;
    }
  }
  if (chunk.end) armed_.reset();
  return chunk;
}

void Exchange::read_nothing() {
  const std::lock_guard guard(device_.instrument_mutex);
  if (!link_.message_available()) link_.read_response(1);
}

std::uint8_t Exchange::status_byte() {
  const bool pushed = armed_ && (armed_->replacement || armed_->wire);
  const std::lock_guard guard(device_.instrument_mutex);
  return link_.status_byte() | (pushed ? kMav : 0);
}

void Exchange::device_clear() {
  armed_.reset();
  const std::lock_guard guard(device_.instrument_mutex);
  link_.device_clear();
  device_.instrument.device_clear();
}

void Exchange::trigger() {
  armed_.reset();
  const std::lock_guard guard(device_.instrument_mutex);
  link_.trigger();
}

}  // namespace zr48::sim
