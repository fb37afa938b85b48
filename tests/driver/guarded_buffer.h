// A caller's output buffer of N bytes followed by a guard zone, pre-filled so that any write, and
// any write past the N bytes, shows.
#ifndef ZR48_TESTS_DRIVER_GUARDED_BUFFER_H
#define ZR48_TESTS_DRIVER_GUARDED_BUFFER_H

#include <algorithm>
#include <array>
#include <cstddef>
#include <string>

#include "ZR48.h"

namespace zr48::test {

template <std::size_t N>
class GuardedBuffer {
 public:
  static constexpr char kFill = '\x5A';

  GuardedBuffer() { bytes_.fill(kFill); }
  ViChar* data() { return bytes_.data(); }
  // The text up to its NUL (or up to the end of the guard zone when none was written).
  std::string text() const {
    return std::string(bytes_.data(), std::find(bytes_.begin(), bytes_.end(), '\0'));
  }
  bool untouched() const { return Filled(bytes_.begin()); }
  bool guard_untouched() const { return Filled(bytes_.begin() + N); }

 private:
  bool Filled(typename std::array<ViChar, N + 64>::const_iterator from) const {
    return std::all_of(from, bytes_.end(), [](char c) { return c == kFill; });
  }
  std::array<ViChar, N + 64> bytes_{};
};

using ReplyBuffer = GuardedBuffer<512>;    // reChar of the instrument functions
using MessageBuffer = GuardedBuffer<256>;  // the standard message buffers

}  // namespace zr48::test

#endif  // ZR48_TESTS_DRIVER_GUARDED_BUFFER_H
