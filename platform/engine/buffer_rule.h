// The IVI rule for string output buffers (IVI-3.2 3.1.2.1), shared by every engine function that
// hands text back through a caller's buffer and size.
#ifndef ZR48_PLATFORM_ENGINE_BUFFER_RULE_H
#define ZR48_PLATFORM_ENGINE_BUFFER_RULE_H

#include <cstring>
#include <string_view>

#include "engine/ivi_engine.h"

namespace zr48::engine {

// Size 0: nothing copied, the required size (length + 1) returned. Negative size: the whole text
// is copied. Positive size: the text, or a terminated prefix of bufSize - 1 characters and the
// required size when it does not fit. A null buffer with a non-zero size is refused.
inline ViStatus copy_with_buffer_rule(std::string_view text, ViInt32 bufSize, ViChar* out) {
  const auto required = static_cast<ViInt32>(text.size() + 1);
  if (bufSize == 0) return required;
  if (out == nullptr) return IVI_ERROR_INVALID_PARAMETER;
  if (bufSize < 0 || bufSize >= required) {
    std::memcpy(out, text.data(), text.size());
    out[text.size()] = '\0';
    return VI_SUCCESS;
  }
  std::memcpy(out, text.data(), static_cast<size_t>(bufSize - 1));
  out[bufSize - 1] = '\0';
  return required;
}

// Copies into a fixed IVI message buffer of IVI_MAX_MESSAGE_BUF_SIZE bytes, truncating.
inline void copy_to_message_buffer(std::string_view text, ViChar* out) {
  const size_t n = text.size() < IVI_MAX_MESSAGE_LEN ? text.size() : IVI_MAX_MESSAGE_LEN;
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
}

}  // namespace zr48::engine

#endif
