// The logical-name configuration file (TOML), looked up under the names the seed files use.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/logical_names.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (const std::string_view name : {"bench1", "a", ""}) {
    std::optional<zr48::engine::LogicalName> entry;
    std::string elaboration;
    const ViStatus status =
        zr48::engine::look_up_logical_name_in(text, "fuzz.toml", name, entry, elaboration);
    if (status >= 0 && entry) {
      for (const auto& setup : entry->default_setup) (void)setup.describe();
    }
  }
  return 0;
}
