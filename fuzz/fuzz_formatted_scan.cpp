// viScanf's conversions over arbitrary replies. The first byte picks a format from the table (the
// driver's own formats first); the rest is the reply. Every destination is a heap block of
// exactly the size its conversion may fill, so a byte written past it is caught. One more
// choice hands the rest to the format checker instead.
#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "visa/formatted_scan.h"

namespace {

// The reply as the session's read buffer would give it.
class ByteSource final : public zr48::visa::ScanSource {
 public:
  ByteSource(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  int peek() override { return pos_ < size_ ? data_[pos_] : -1; }
  void advance() override {
    if (pos_ < size_) ++pos_;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

struct Case {
  const char* format;
  std::array<std::size_t, 4> sizes;  // bytes behind each destination, in order; 0 = none
};

// Sizes: a text conversion gets its width, "%c" its count, a number its type's size. A "%s"
// without width has no bound (VISA's rule), so it gets room for the longest input.
constexpr std::size_t kUnbounded = 1 << 16;
const std::array kCases = {
    Case{"%512s", {512}},
    Case{"%hd,\"%256[^\"]", {sizeof(short), 256}},
    Case{"%s", {kUnbounded}},
    Case{"%1s%2s%3s", {1, 2, 3}},
    Case{"%d,%ld;%lld %hhd", {sizeof(int), sizeof(long), sizeof(long long), 1}},
    Case{"%u %lx %o %hu", {sizeof(unsigned), sizeof(unsigned long), sizeof(unsigned), 2}},
    Case{"%i%lli", {sizeof(int), sizeof(long long)}},
    Case{"%f %lf %e %lg", {sizeof(float), sizeof(double), sizeof(float), sizeof(double)}},
    Case{"%5c%c", {5, 1}},
    Case{"%*s %*d %% %16[0-9a-fA-F]", {16}},
    Case{"%[]a-]%*[^\\n]\\n%3d", {kUnbounded, sizeof(int)}},
    Case{"\\\"%8[^\\\"]\\\"\\r\\n", {8}},
    Case{"%3lf%2x%4s", {sizeof(double), sizeof(unsigned), 4}},
    Case{"%*[^,],%256[^,]", {256}},
};

ViStatus Scan(ByteSource& source, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const ViStatus status = zr48::visa::format_scan(source, format, args);
  va_end(args);
  return status;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t choice = data[0] % (kCases.size() + 1);
  ++data;
  --size;
  if (choice == kCases.size()) {
    const std::string format(reinterpret_cast<const char*>(data), size);
    (void)zr48::visa::check_scan_format(format.c_str());
    return 0;
  }
  const Case& c = kCases[choice];
  if (zr48::visa::check_scan_format(c.format) != VI_SUCCESS) std::abort();
  std::vector<std::unique_ptr<char[]>> blocks;
  std::array<void*, 4> args{};
  for (std::size_t i = 0; i < c.sizes.size() && c.sizes[i] != 0; ++i) {
    blocks.push_back(std::make_unique<char[]>(c.sizes[i]));
    args[i] = blocks.back().get();
  }
  ByteSource source(data, std::min<std::size_t>(size, kUnbounded - 1));
  if (Scan(source, c.format, args[0], args[1], args[2], args[3]) != VI_SUCCESS) std::abort();
  return 0;
}
