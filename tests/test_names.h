// Names for the cases of parameterised suites, so that ctest lists what each case tests: gtest
// takes only letters, digits and '_', so every other run of characters becomes one '_', and the
// case's index keeps the names unique.
#ifndef ZR48_TESTS_TEST_NAMES_H
#define ZR48_TESTS_TEST_NAMES_H

#include <cctype>
#include <cstdio>
#include <string>
#include <string_view>

namespace zr48::test {

inline std::string TestName(std::string_view text, std::size_t index) {
  std::string name;
  for (const char c : text) {
    if (std::isalnum(static_cast<unsigned char>(c)) != 0) {
      name += c;
    } else if (!name.empty() && name.back() != '_') {
      name += '_';
    }
  }
  if (name.empty() || name.back() != '_') name += '_';
  return name + std::to_string(index);
}

inline std::string Hex(long value) {
  char text[24];
  (void)std::snprintf(text, sizeof text, "%lX", static_cast<unsigned long>(value) & 0xFFFFFFFFUL);
  return text;
}

}  // namespace zr48::test

#endif  // ZR48_TESTS_TEST_NAMES_H
