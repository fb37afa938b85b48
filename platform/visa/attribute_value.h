// Writing attribute values into the caller's untyped buffer, as viGetAttribute does: numbers
// in the attribute's own width, text NUL-terminated in at most 256 bytes (VISA's string size).
#ifndef ZR48_PLATFORM_VISA_ATTRIBUTE_VALUE_H
#define ZR48_PLATFORM_VISA_ATTRIBUTE_VALUE_H

#include <cstring>
#include <string_view>

#include "zr48_visatype.h"

namespace zr48::visa {

inline constexpr std::size_t kAttributeTextSize = 256;

template <typename T>
void store_attribute(void* destination, T value) {
  std::memcpy(destination, &value, sizeof value);
}

inline void store_attribute_text(void* destination, std::string_view text) {
  const std::size_t n = text.size() < kAttributeTextSize ? text.size() : kAttributeTextSize - 1;
  auto* out = static_cast<char*>(destination);
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
}

// A ViBoolean attribute accepts exactly VI_TRUE or VI_FALSE.
inline bool is_boolean(ViAttrState value) {
  return value == VI_TRUE || value == VI_FALSE;
}

}  // namespace zr48::visa

#endif
