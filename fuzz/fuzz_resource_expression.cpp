// viFindRsrc expressions: the input is "expression\nname". Beyond not crashing, a name escaped
// character by character matches itself, and "?*" matches every non-empty name.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "visa/resource_expression.h"
#include "visa/visa.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const auto newline = input.find('\n');
  const std::string_view text = input.substr(0, newline);
  const std::string_view name =
      newline == std::string_view::npos ? std::string_view{} : input.substr(newline + 1);
  using zr48::visa::ResourceExpression;
  ResourceExpression expression;
  if (ResourceExpression::compile(text, expression) == VI_SUCCESS) (void)expression.matches(name);

  std::string literal;
  for (const char c : name) {
    literal += '\\';
    literal += c;
  }
  if (!name.empty() && literal.size() <= ResourceExpression::kMaxLength &&
      name.find('{') == std::string_view::npos) {
    if (ResourceExpression::compile(literal, expression) != VI_SUCCESS ||
        !expression.matches(name)) {
      std::abort();
    }
    if (ResourceExpression::compile("?*", expression) != VI_SUCCESS || !expression.matches(name)) {
      std::abort();
    }
  }
  return 0;
}
