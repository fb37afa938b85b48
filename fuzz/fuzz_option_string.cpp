// Option strings as a caller passes them to ZR48_InitWithOptions, with and without the
// engine-private entries.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/option_string.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (const bool allow_private : {false, true}) {
    zr48::engine::OptionSettings settings;
    std::string elaboration;
    const ViStatus status =
        zr48::engine::parse_option_string(text, allow_private, settings, elaboration);
    if (status >= 0) {
      // A parse that succeeded can be layered over defaults like any other.
      zr48::engine::OptionSettings defaults;
      defaults.override_with(settings);
    }
  }
  return 0;
}
