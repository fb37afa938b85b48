// Parsed into a small tree by recursive descent (nesting bounded), then compiled to a program
// that runs all alternatives side by side over the name.
#include "visa/resource_expression.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "visa/visa.h"

namespace zr48::visa {
namespace {

unsigned char upper(char c) {
  return static_cast<unsigned char>(std::toupper(static_cast<unsigned char>(c)));
}

// An attribute filter: '{' then (after spaces) "VI_".
bool has_attribute_filter(std::string_view text) {
  for (std::size_t i = text.find('{'); i != std::string_view::npos; i = text.find('{', i + 1)) {
    std::size_t j = i + 1;
    while (j < text.size() && text[j] == ' ') ++j;
    if (text.size() - j >= 3 && upper(text[j]) == 'V' && upper(text[j + 1]) == 'I' &&
        text[j + 2] == '_') {
      return true;
    }
  }
  return false;
}

}  // namespace

class ExpressionParser {
 public:
  ExpressionParser(std::string_view text, ResourceExpression& out) : text_(text), out_(out) {}

  bool run() {
    if (text_.empty()) return false;
    const int root = alternation(0);
    if (root < 0 || pos_ != text_.size()) return false;
    emit(root);
    out_.program_.push_back({});  // kMatch
    return true;
  }

 private:
  static constexpr int kMaxDepth = 64;
  enum class Kind { kByte, kAny, kClass, kConcat, kAlternation, kStar, kPlus };
  struct Node {
    Kind kind;
    std::uint32_t value = 0;  // byte or class index
    std::vector<int> children;
  };
  using Op = ResourceExpression::Instruction;

  int add(Kind kind, std::uint32_t value = 0, std::vector<int> children = {}) {
    nodes_.push_back({kind, value, std::move(children)});
    return static_cast<int>(nodes_.size() - 1);
  }
  bool at(char c) const { return pos_ < text_.size() && text_[pos_] == c; }

  int alternation(int depth) {
    if (depth > kMaxDepth) return -1;
    std::vector<int> options{concatenation(depth)};
    while (options.back() >= 0 && at('|')) {
      ++pos_;
      options.push_back(concatenation(depth));
    }
    if (options.back() < 0) return -1;
    return options.size() == 1 ? options.front() : add(Kind::kAlternation, 0, std::move(options));
  }

  int concatenation(int depth) {
    std::vector<int> parts;
    while (pos_ < text_.size() && !at('|') && !at(')') && !at('}')) {
      const int part = repetition(depth);
      if (part < 0) return -1;
      parts.push_back(part);
    }
    if (parts.empty()) return -1;  // an empty alternative or group
    return parts.size() == 1 ? parts.front() : add(Kind::kConcat, 0, std::move(parts));
  }

  int repetition(int depth) {
    int node = atom(depth);
    while (node >= 0 && (at('*') || at('+'))) {
      node = add(text_[pos_++] == '*' ? Kind::kStar : Kind::kPlus, 0, {node});
    }
    return node;
  }

  int atom(int depth) {
    const char c = text_[pos_++];
    switch (c) {
      case '?':
        return add(Kind::kAny);
      case '*':
      case '+':
        return -1;  // nothing to repeat
      case '[':
        return set();
      case '(':
      case '{': {
        const int inner = alternation(depth + 1);
        if (inner < 0 || !at(c == '(' ? ')' : '}')) return -1;
        ++pos_;
        return inner;
      }
      case '\\':
        if (pos_ == text_.size()) return -1;
        return add(Kind::kByte, upper(text_[pos_++]));
      default:
        return add(Kind::kByte, upper(c));
    }
  }

  // After '['; a ']' first in the set is a member.
  int set() {
    std::bitset<256> members;
    const bool negated = at('^');
    if (negated) ++pos_;
    bool first = true;
    while (pos_ < text_.size() && (first || !at(']'))) {
      first = false;
      unsigned char low = static_cast<unsigned char>(text_[pos_++]);
      if (low == '\\') {
        if (pos_ == text_.size()) return -1;
        low = static_cast<unsigned char>(text_[pos_++]);
      }
      unsigned char high = low;
      if (at('-') && pos_ + 1 < text_.size() && text_[pos_ + 1] != ']') {
        high = static_cast<unsigned char>(text_[pos_ + 1]);
        pos_ += 2;
        if (high < low) return -1;
      }
      for (unsigned b = low; b <= high; ++b) {
        members.set(std::toupper(static_cast<int>(b)) & 0xFF);
        members.set(std::tolower(static_cast<int>(b)) & 0xFF);
      }
    }
    if (!at(']')) return -1;
    ++pos_;
    if (negated) members.flip();
    out_.classes_.push_back(members);
    return add(Kind::kClass, static_cast<std::uint32_t>(out_.classes_.size() - 1));
  }

  std::uint32_t here() const { return static_cast<std::uint32_t>(out_.program_.size()); }
  void put(Op::Op op, std::uint32_t x = 0, std::uint32_t y = 0, std::uint8_t byte = 0) {
    out_.program_.push_back({op, byte, x, y});
  }

  void emit(int index) {
    const Node node = nodes_[static_cast<std::size_t>(index)];
    switch (node.kind) {
      case Kind::kByte:
        put(Op::kByte, 0, 0, static_cast<std::uint8_t>(node.value));
        break;
      case Kind::kAny:
        put(Op::kAny);
        break;
      case Kind::kClass:
        put(Op::kClass, node.value);
        break;
      case Kind::kConcat:
        for (const int child : node.children) emit(child);
        break;
      case Kind::kAlternation: {
        std::vector<std::uint32_t> jumps;
        for (std::size_t i = 0; i + 1 < node.children.size(); ++i) {
          const std::uint32_t split = here();
          put(Op::kSplit, split + 1);
          emit(node.children[i]);
          jumps.push_back(here());
          put(Op::kJump);
          out_.program_[split].y = here();
        }
        emit(node.children.back());
        for (const std::uint32_t jump : jumps) out_.program_[jump].x = here();
        break;
      }
      case Kind::kStar: {
        const std::uint32_t split = here();
        put(Op::kSplit, split + 1);
        emit(node.children.front());
        put(Op::kJump, split);
        out_.program_[split].y = here();
        break;
      }
      case Kind::kPlus: {
        const std::uint32_t start = here();
        emit(node.children.front());
        put(Op::kSplit, start, here() + 1);
        break;
      }
    }
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  ResourceExpression& out_;
  std::vector<Node> nodes_;
};

ViStatus ResourceExpression::compile(std::string_view text, ResourceExpression& out) {
  if (text.size() > kMaxLength) return VI_ERROR_INV_EXPR;
  if (has_attribute_filter(text)) return VI_ERROR_NSUP_OPER;
  ResourceExpression compiled;
  ExpressionParser parser(text, compiled);
  if (!parser.run()) return VI_ERROR_INV_EXPR;
  out = std::move(compiled);
  return VI_SUCCESS;
}

bool ResourceExpression::matches(std::string_view name) const {
  const std::size_t size = program_.size();
  std::vector<std::uint32_t> current;
  std::vector<std::uint32_t> next;
  std::vector<std::size_t> seen(size, 0);  // the step (plus one) a state was last added at
  std::vector<std::uint32_t> stack;
  const auto follow = [&](std::vector<std::uint32_t>& list, std::uint32_t start, std::size_t step) {
    stack.push_back(start);
    while (!stack.empty()) {
      const std::uint32_t pc = stack.back();
      stack.pop_back();
      if (seen[pc] == step) continue;
      seen[pc] = step;
      const Instruction& in = program_[pc];
      if (in.op == Instruction::kSplit) {
        stack.push_back(in.y);
        stack.push_back(in.x);
      } else if (in.op == Instruction::kJump) {
        stack.push_back(in.x);
      } else {
        list.push_back(pc);
      }
    }
  };
  follow(current, 0, 1);
  for (std::size_t i = 0; i < name.size() && !current.empty(); ++i) {
    const unsigned char c = upper(name[i]);
    const auto raw = static_cast<unsigned char>(name[i]);
    next.clear();
    for (const std::uint32_t pc : current) {
      const Instruction& in = program_[pc];
      const bool taken = (in.op == Instruction::kByte && in.byte == c) ||
                         in.op == Instruction::kAny ||
                         (in.op == Instruction::kClass && classes_[in.x].test(raw));
      if (taken) follow(next, pc + 1, i + 2);
    }
    current.swap(next);
  }
  return std::any_of(current.begin(), current.end(),
                     [this](std::uint32_t pc) { return program_[pc].op == Instruction::kMatch; });
}

}  // namespace zr48::visa
