// One client link of a message-based transport (a VXI-11 link, a HiSLIP session) to the simulated
// supply, with the input buffer and output queue of IEEE 488.2: a response waits in the output
// queue until the client reads it.
//
// The raw socket server does not use this: a socket carries no reads to the instrument, so it
// cannot tell a response that was read from one that was not. It sends each response as soon as
// it is made, and never reports MAV, -410 or -420.
//
// Not thread-safe: call it under the lock that serialises the shared Instrument.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "zr48sim/instrument.h"

namespace zr48::sim {

class MessageLink {
 public:
  // A message longer than this without its end is dropped with -363 "Input buffer overrun".
  static constexpr std::size_t kMaxMessageBytes = 64 * 1024;

  explicit MessageLink(Instrument& instrument) : instrument_(instrument) {}

  struct Response {
    std::string bytes;
    bool end = false;  // these are the last bytes of the response message: send them with END
  };

  // Takes the bytes of one client write. `end` marks the write that ends a program message (the
  // VXI-11 END flag, a HiSLIP DataEND); a line feed ends one as well. Each complete message runs
  // at once and its response waits in the output queue. A message that begins while a response
  // waits unread drops that response with -410 "Query INTERRUPTED".
  void write_message(std::string_view bytes, bool end);

  // Up to `max` bytes of the waiting response, removed from the queue. With nothing waiting,
  // records -420 "Query UNTERMINATED" and returns no bytes: the client's read then times out, as
  // it would on the bench. Call it once per client read request; `max` 0 reads nothing.
  Response read_response(std::size_t max);

  // The status byte, with MAV (bit 4) while a response waits: what a serial poll reads (VXI-11
  // device_readstb, HiSLIP AsyncStatusQuery).
  std::uint8_t status_byte();
  // Whether a response waits unread (MAV), without a serial poll: reading the status byte may
  // change it (RQS).
  bool message_available() const { return read_ < output_.size(); }

  // Device clear (VXI-11 device_clear, HiSLIP AsyncDeviceClear): empties the input buffer and
  // the output queue; settings, status registers and the error queue stay.
  void device_clear();

  // Group execute trigger (VXI-11 device_trigger, HiSLIP Trigger): as *TRG. A response still
  // waiting is dropped with -410, as IEEE 488.2 asks.
  void trigger();

 private:
  void begin_message();
  void end_message();
  void drop_unread_response();

  Instrument& instrument_;
  std::string input_;       // the message received so far
  bool receiving_ = false;  // a message has begun and not ended
  bool overrun_ = false;    // the message outgrew the buffer: dropped up to its end
  std::string output_;      // the response message
  std::size_t read_ = 0;    // bytes of it the client has read
};

}  // namespace zr48::sim
