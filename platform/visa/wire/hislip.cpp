// HiSLIP header encoding and parsing.
#include "visa/wire/hislip.h"

#include <cstring>

namespace zr48::wire::hislip {

void encode_header(std::uint8_t* out, const Header& header) {
  out[0] = kPrologue[0];
  out[1] = kPrologue[1];
  out[2] = static_cast<std::uint8_t>(header.type);
  out[3] = header.control;
  put_u32(out + 4, header.parameter);
  put_u64(out + 8, header.length);
}

void append_message(std::vector<std::uint8_t>& out, Header header, Bytes payload) {
  header.length = payload.size();
  const std::size_t at = out.size();
  out.resize(at + kHeaderSize + payload.size());
  encode_header(out.data() + at, header);
  if (!payload.empty()) std::memcpy(out.data() + at + kHeaderSize, payload.data(), payload.size());
}

void append_message(std::vector<std::uint8_t>& out, Header header, std::string_view payload) {
  append_message(out, header,
                 Bytes(reinterpret_cast<const std::uint8_t*>(payload.data()), payload.size()));
}

HeaderCheck parse_header(const std::uint8_t* in, std::uint64_t max_payload, Header& header) {
  if (in[0] != kPrologue[0] || in[1] != kPrologue[1]) return HeaderCheck::kBadPrologue;
  header.type = static_cast<MessageType>(in[2]);
  header.control = in[3];
  header.parameter = get_u32(in + 4);
  header.length = get_u64(in + 8);
  if (in[2] > kLastKnownType && in[2] < kFirstVendorType) return HeaderCheck::kUnknownType;
  if (header.length > max_payload) return HeaderCheck::kTooLarge;
  return HeaderCheck::kOk;
}

}  // namespace zr48::wire::hislip
