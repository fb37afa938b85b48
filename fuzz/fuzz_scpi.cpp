// The simulated supply's SCPI parser: each input line runs on one instrument, so that state
// built by earlier lines is exercised by later ones. The output timers run on a fixed clock.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "zr48sim/instrument.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  zr48::sim::Instrument instrument;
  const auto start = std::chrono::steady_clock::time_point{} + std::chrono::hours(1);
  std::chrono::steady_clock::duration elapsed{};
  instrument.set_clock([&] { return start + elapsed; });
  std::string_view text(reinterpret_cast<const char*>(data), size);
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end == std::string_view::npos ? end : end + 1);
    (void)instrument.execute(line);
    elapsed += std::chrono::seconds(1);
    text.remove_prefix(line.size());
  }
  return 0;
}
