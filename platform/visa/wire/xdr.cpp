// XDR primitives.
#include "visa/wire/xdr.h"

#include <cstring>

namespace zr48::wire {

void put_u32(std::uint8_t* out, std::uint32_t value) {
  out[0] = static_cast<std::uint8_t>(value >> 24);
  out[1] = static_cast<std::uint8_t>(value >> 16);
  out[2] = static_cast<std::uint8_t>(value >> 8);
  out[3] = static_cast<std::uint8_t>(value);
}

std::uint32_t get_u32(const std::uint8_t* in) {
  return (std::uint32_t{in[0]} << 24) | (std::uint32_t{in[1]} << 16) | (std::uint32_t{in[2]} << 8) |
         std::uint32_t{in[3]};
}

void put_u64(std::uint8_t* out, std::uint64_t value) {
  put_u32(out, static_cast<std::uint32_t>(value >> 32));
  put_u32(out + 4, static_cast<std::uint32_t>(value));
}

std::uint64_t get_u64(const std::uint8_t* in) {
  return (std::uint64_t{get_u32(in)} << 32) | get_u32(in + 4);
}

void XdrWriter::u32(std::uint32_t value) {
  const std::size_t at = out_.size();
  out_.resize(at + 4);
  put_u32(out_.data() + at, value);
}

void XdrWriter::u64(std::uint64_t value) {
  const std::size_t at = out_.size();
  out_.resize(at + 8);
  put_u64(out_.data() + at, value);
}

void XdrWriter::opaque(Bytes data) {
  u32(static_cast<std::uint32_t>(data.size()));
  const std::size_t at = out_.size();
  out_.resize(at + data.size() + xdr_padding(data.size()), 0);
  if (!data.empty()) std::memcpy(out_.data() + at, data.data(), data.size());
}

void XdrWriter::string(std::string_view text) {
  opaque(Bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

bool XdrReader::u32(std::uint32_t& value) {
  if (!ok_ || remaining() < 4) return fail();
  value = get_u32(in_.data() + offset_);
  offset_ += 4;
  return true;
}

bool XdrReader::i32(std::int32_t& value) {
  std::uint32_t word = 0;
  if (!u32(word)) return false;
  value = static_cast<std::int32_t>(word);
  return true;
}

bool XdrReader::boolean(bool& value) {
  std::uint32_t word = 0;
  if (!u32(word)) return false;
  if (word > 1) return fail();
  value = word == 1;
  return true;
}

bool XdrReader::u64(std::uint64_t& value) {
  if (!ok_ || remaining() < 8) return fail();
  value = get_u64(in_.data() + offset_);
  offset_ += 8;
  return true;
}

bool XdrReader::opaque(Bytes& data, std::uint32_t max) {
  std::uint32_t size = 0;
  if (!u32(size)) return false;
  // Checked in this order so that a huge length cannot overflow the sum.
  if (size > max || size > remaining() || xdr_padding(size) > remaining() - size) return fail();
  data = in_.subspan(offset_, size);
  offset_ += size + xdr_padding(size);  // padding is not checked: senders should zero it
  return true;
}

bool XdrReader::string(std::string_view& text, std::uint32_t max) {
  Bytes data;
  if (!opaque(data, max)) return false;
  text = std::string_view(reinterpret_cast<const char*>(data.data()), data.size());
  return true;
}

bool XdrReader::skip(std::size_t size) {
  if (!ok_ || size > remaining()) return fail();
  offset_ += size;
  return true;
}

}  // namespace zr48::wire
