// The regular expressions viFindRsrc takes: '?' any one character, '*' zero or more and '+'
// one or more of what precedes, "[...]" one character of a set ("[^...]" not of it, ranges
// "a-z"), "a|b" either, "(...)" or "{...}" a group, '\' takes the next character literally.
// Letters match either case, as resource names compare. A trailing "{VI_ATTR_... }" filter is
// recognised and refused (VI_ERROR_NSUP_OPER). Matching runs in time linear in the name (a
// Thompson machine: no backtracking), so no expression can make it slow.
#ifndef ZR48_PLATFORM_VISA_RESOURCE_EXPRESSION_H
#define ZR48_PLATFORM_VISA_RESOURCE_EXPRESSION_H

#include <bitset>
#include <cstdint>
#include <string_view>
#include <vector>

#include "zr48_visatype.h"

namespace zr48::visa {

class ResourceExpression {
 public:
  // Longest expression accepted; longer ones are VI_ERROR_INV_EXPR.
  static constexpr std::size_t kMaxLength = 1024;

  // VI_SUCCESS, VI_ERROR_INV_EXPR (malformed), or VI_ERROR_NSUP_OPER (an attribute filter).
  static ViStatus compile(std::string_view text, ResourceExpression& out);
  // The whole name must match.
  bool matches(std::string_view name) const;

 private:
  struct Instruction {
    enum Op : std::uint8_t { kByte, kAny, kClass, kSplit, kJump, kMatch };
    Op op = kMatch;
    std::uint8_t byte = 0;  // kByte, upper case
    std::uint32_t x = 0;    // kClass: class index; kSplit/kJump: target
    std::uint32_t y = 0;    // kSplit: second target
  };
  friend class ExpressionParser;

  std::vector<Instruction> program_;
  std::vector<std::bitset<256>> classes_;
};

}  // namespace zr48::visa

#endif
