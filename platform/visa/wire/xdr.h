// XDR (RFC 4506) primitives: big-endian 4-byte words, opaque data and strings padded to a
// multiple of four. The writer appends to a byte vector; the reader walks a byte view and fails
// for good at the first item that does not fit, so a decoder checks once at its end.
#ifndef ZR48_PLATFORM_VISA_WIRE_XDR_H
#define ZR48_PLATFORM_VISA_WIRE_XDR_H

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace zr48::wire {

using Bytes = std::span<const std::uint8_t>;

// Bytes of padding after `size` bytes of opaque data.
constexpr std::size_t xdr_padding(std::size_t size) {
  return (4 - size % 4) % 4;
}

void put_u32(std::uint8_t* out, std::uint32_t value);
std::uint32_t get_u32(const std::uint8_t* in);
void put_u64(std::uint8_t* out, std::uint64_t value);
std::uint64_t get_u64(const std::uint8_t* in);

class XdrWriter {
 public:
  explicit XdrWriter(std::vector<std::uint8_t>& out) : out_(out) {}

  void u32(std::uint32_t value);
  void i32(std::int32_t value) { u32(static_cast<std::uint32_t>(value)); }
  void boolean(bool value) { u32(value ? 1 : 0); }
  void u64(std::uint64_t value);
  // Variable-length opaque (and string): length word, bytes, zero padding.
  void opaque(Bytes data);
  void string(std::string_view text);

 private:
  std::vector<std::uint8_t>& out_;
};

class XdrReader {
 public:
  explicit XdrReader(Bytes in) : in_(in) {}

  bool u32(std::uint32_t& value);
  bool i32(std::int32_t& value);
  // Only 0 and 1 are booleans.
  bool boolean(bool& value);
  bool u64(std::uint64_t& value);
  // A view into the input; fails when longer than `max` or than what is left.
  bool opaque(Bytes& data, std::uint32_t max = UINT32_MAX);
  bool string(std::string_view& text, std::uint32_t max = UINT32_MAX);
  // Skips `size` bytes (and nothing else).
  bool skip(std::size_t size);
  // Marks the input malformed (a word out of range for its field); always false.
  bool reject() { return fail(); }

  bool ok() const { return ok_; }
  std::size_t remaining() const { return in_.size() - offset_; }
  // Every byte consumed and nothing failed: a whole message decoded exactly.
  bool finished() const { return ok_ && remaining() == 0; }

 private:
  bool fail() {
    ok_ = false;
    return false;
  }

  Bytes in_;
  std::size_t offset_ = 0;
  bool ok_ = true;
};

}  // namespace zr48::wire

#endif
