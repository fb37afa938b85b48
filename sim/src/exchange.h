// One message-based session (a VXI-11 link, a HiSLIP session) with the instrument: the
// instrument's message exchange (a response waits in the output queue until read, MAV, -410,
// -420) with the fault hooks applied to each response. The one place these services reach the
// instrument.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "device.h"
#include "zr48sim/message_link.h"

namespace zr48::sim {

class Exchange {
 public:
  explicit Exchange(Device& device) : device_(device), link_(device.instrument) {}

  // Takes one client write: a line feed ends each program message, `end` (VXI-11's END flag,
  // HiSLIP's DataEnd) ends the last. False when the close-after-lines hook closes the session;
  // the line that set it off does not run. `on_message` runs after each message ends (HiSLIP
  // sends its response then); false from it stops and is returned.
  bool write(std::string_view bytes, bool end, const std::function<bool()>& on_message = {});

  // Whether a response waits, and when the delay hook lets it go out.
  bool waiting() const { return armed_.has_value(); }
  Clock::time_point ready_at() const { return armed_ ? armed_->ready_at : Clock::time_point{}; }

  struct Chunk {
    std::string bytes;
    bool end = false;                 // the last bytes of the response
    std::optional<std::string> wire;  // send this instead of the protocol message
    std::optional<std::size_t> cut;   // send this many bytes of the message, then close
  };
  // Takes up to `max` bytes of the waiting response, or up to and including `term_char`.
  Chunk take(std::size_t max, std::optional<char> term_char = std::nullopt);
  // A read found nothing waiting: -420 "Query UNTERMINATED".
  void read_nothing();

  std::uint8_t status_byte();
  void device_clear();
  void trigger();

 private:
  void arm(bool response);  // a message ended: hooks for the response it made (if any)

  struct Armed {
    Clock::time_point ready_at;
    std::optional<std::string> replacement;  // pushed reply, served instead of the link's
    std::size_t taken = 0;
    std::optional<std::string> wire;
    std::optional<std::size_t> cut;
  };

  Device& device_;
  MessageLink link_;  // under device_.instrument_mutex
  std::optional<Armed> armed_;
  bool partial_ = false;  // a message has begun and not ended
  bool query_ = false;    // ... and holds a '?'
};

}  // namespace zr48::sim
