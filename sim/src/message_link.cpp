#include "zr48sim/message_link.h"

#include <algorithm>

#include "scpi_errors.h"

namespace zr48::sim {

void MessageLink::write_message(std::string_view bytes, bool end) {
  while (!bytes.empty()) {
    const std::size_t line_feed = bytes.find('\n');
    const std::size_t take = line_feed == std::string_view::npos ? bytes.size() : line_feed + 1;
    begin_message();
    if (!overrun_) {
      input_.append(bytes.substr(0, take));
      if (input_.size() > kMaxMessageBytes) {
        input_.clear();
        overrun_ = true;
        instrument_.report_error(kInputBufferOverrun);
      }
    }
    bytes.remove_prefix(take);
    if (line_feed != std::string_view::npos) end_message();
  }
  if (end && receiving_) end_message();
}

MessageLink::Response MessageLink::read_response(std::size_t max) {
  if (max == 0) return {};
  if (read_ == output_.size()) {
    instrument_.report_error(kQueryUnterminated);
    return {};
  }
  Response response;
  const std::size_t count = std::min(max, output_.size() - read_);
  response.bytes = output_.substr(read_, count);
  read_ += count;
  if (read_ == output_.size()) {
    response.end = true;
    output_.clear();
    read_ = 0;
  }
  return response;
}

std::uint8_t MessageLink::status_byte() {
  return instrument_.status_byte(read_ < output_.size());
}

void MessageLink::device_clear() {
  input_.clear();
  receiving_ = false;
  overrun_ = false;
  output_.clear();
  read_ = 0;
}

void MessageLink::trigger() {
  drop_unread_response();
  instrument_.trigger();
}

void MessageLink::begin_message() {
  if (receiving_) return;
  receiving_ = true;
  drop_unread_response();
}

void MessageLink::end_message() {
  if (!overrun_) output_ += instrument_.execute(input_);
  input_.clear();
  receiving_ = false;
  overrun_ = false;
}

void MessageLink::drop_unread_response() {
  if (read_ < output_.size()) instrument_.report_error(kQueryInterrupted);
  output_.clear();
  read_ = 0;
}

}  // namespace zr48::sim
