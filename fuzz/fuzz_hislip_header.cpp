// HiSLIP message headers as either end receives them, and a stream of messages split by them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "visa/wire/hislip.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace hislip = zr48::wire::hislip;
  constexpr std::uint64_t kLimit = 1024;
  std::size_t at = 0;
  while (size - at >= hislip::kHeaderSize) {
    hislip::Header header;
    const auto check = hislip::parse_header(data + at, kLimit, header);
    if (check == hislip::HeaderCheck::kBadPrologue) return 0;
    if (check == hislip::HeaderCheck::kTooLarge) {
      if (header.length <= kLimit) std::abort();
      return 0;
    }
    // A known header encodes back to the same 16 bytes.
    std::uint8_t again[hislip::kHeaderSize];
    hislip::encode_header(again, header);
    for (std::size_t i = 0; i < hislip::kHeaderSize; ++i) {
      if (again[i] != data[at + i]) std::abort();
    }
    at += hislip::kHeaderSize;
    if (header.length > size - at) return 0;
    at += static_cast<std::size_t>(header.length);
  }
  return 0;
}
