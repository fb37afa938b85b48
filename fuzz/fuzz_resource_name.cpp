// VISA resource names as passed to viOpen and ZR48_init.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "visa/resource_name.h"
#include "visa/transport_table.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  zr48::visa::ResourceName name;
  if (zr48::visa::parse_resource_name(text, name) == VI_SUCCESS) {
    (void)zr48::visa::is_served(name);
    // The canonical form of a well-formed name is itself well-formed and names the same thing.
    zr48::visa::ResourceName again;
    if (zr48::visa::parse_resource_name(name.canonical, again) != VI_SUCCESS ||
        again.canonical != name.canonical) {
      std::abort();
    }
  }
  return 0;
}
