// The identification response, split into manufacturer, model and firmware revision the way the
// identity attributes read it. The response is what the driver reads: at most 511 bytes.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "attributes/identity.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::array<ViChar, zr48::kReplySize> response{};
  std::memcpy(response.data(), data, std::min<std::size_t>(size, zr48::kReplyMaxRead));
  for (const ViAttr id : {IVI_ATTR_INSTRUMENT_MANUFACTURER, IVI_ATTR_INSTRUMENT_MODEL,
                          IVI_ATTR_INSTRUMENT_FIRMWARE_REVISION}) {
    std::array<ViChar, zr48::kReplySize> value{};
    if (!zr48::attributes::scan_identity_field(id, response.data(), value)) std::abort();
    // An identity attribute holds at most 256 characters.
    if (std::strlen(value.data()) > 256) std::abort();
  }
  return 0;
}
