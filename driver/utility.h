// Helpers shared by the utility and error functions.
#ifndef ZR48_DRIVER_UTILITY_H
#define ZR48_DRIVER_UTILITY_H

#include <string_view>

#include "ZR48.h"
#include "engine/ivi_engine.h"

namespace zr48 {

// The driver's own status texts, for Ivi_GetSpecificDriverStatusDesc; ends with a null row.
extern const IviStringValueTableEntry kDriverErrorTable[];

// The IVI rule for a caller's text buffer of `buffer_size` bytes: 0 copies nothing and returns the
// size needed (text and NUL); a positive size too small for the text gets buffer_size - 1
// characters and a NUL, and the size needed is returned; otherwise (large enough, or negative:
// the caller vouches for the room) the whole text and its NUL are copied and VI_SUCCESS returned.
ViStatus copy_with_buffer_rule(std::string_view text, ViInt32 buffer_size,
                               ViChar* destination) noexcept;

}  // namespace zr48

#endif  // ZR48_DRIVER_UTILITY_H
