// What the SOCKET and serial services share: SCPI lines in over a byte stream, one reply per
// query out, with the fault hooks (close at a line, silence, replacement, delay, cut reply).
#pragma once

#include <string>
#include <string_view>

#include "device.h"

namespace zr48::sim {

// The stream a line session answers on.
class ByteStream {
 public:
  virtual ~ByteStream() = default;
  // Sends all of `bytes`; false when the stream is gone or the service stops.
  virtual bool send(std::string_view bytes) = 0;
  // Bytes that go out just before the next reply (the serial line's XOFF), or "".
  virtual std::string before_reply() { return {}; }
};

class LineSession {
 public:
  LineSession(Device& device, ByteStream& stream) : device_(device), stream_(stream) {}

  // Runs each line that `bytes` completes. A line longer than Server::kMaxLineBytes is dropped
  // up to its line feed with -363. False when the connection is to close.
  bool feed(std::string_view bytes);
  // Forgets a partial line (the stream ended).
  void reset();

 private:
  bool handle_line(std::string_view line);

  Device& device_;
  ByteStream& stream_;
  std::string pending_;      // an incomplete line
  bool discarding_ = false;  // inside an over-long line, up to its line feed
};

}  // namespace zr48::sim
