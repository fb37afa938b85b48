// Names for the cases of parameterised suites, so that ctest lists what each case tests: gtest
// takes only letters, digits and '_', so every other run of characters becomes one '_', and the
// case's index keeps the names unique.
#ifndef ZR48_TESTS_TEST_NAMES_H
#define ZR48_TESTS_TEST_NAMES_H

#include <cctype>
#include <functional>
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

// A name generator for INSTANTIATE_TEST_SUITE_P from what describes a case: a member or a
// function of the case that gives text.
template <class Describe>
auto NamedBy(Describe describe) {
  return [describe](const auto& info) {
    return TestName(std::string(std::invoke(describe, info.param)), info.index);
  };
}

}  // namespace zr48::test

#endif  // ZR48_TESTS_TEST_NAMES_H
