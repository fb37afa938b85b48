#include "scpi_syntax.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "scpi_errors.h"

namespace zr48::sim {
namespace {

constexpr std::size_t kMaxMnemonic = 12;

// IEEE 488.2 white space is every byte from 0x00 to 0x20 but the line feed, which ends a message;
// a line feed that reaches the parser is treated as white space too.
bool is_blank(char c) {
  return static_cast<unsigned char>(c) <= 0x20;
}
bool is_alpha(char c) {
  return std::isalpha(static_cast<unsigned char>(c)) != 0;
}
bool is_digit(char c) {
  return std::isdigit(static_cast<unsigned char>(c)) != 0;
}
// Seven-bit ASCII but DEL: anything else is -101 "Invalid character".
bool is_program_byte(char c) {
  return static_cast<unsigned char>(c) < 0x7f;
}

std::string_view trim(std::string_view text) {
  while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
  return text;
}

// Splits at `separator` outside quoted strings; reports whether a string was left open.
std::vector<std::string_view> split_outside_quotes(std::string_view text, char separator,
                                                   bool& unterminated) {
  std::vector<std::string_view> parts;
  char open_quote = 0;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (open_quote != 0) {
      if (c == open_quote) open_quote = 0;  // a doubled quote reopens on the next character
    } else if (c == '"' || c == '\'') {
      open_quote = c;
    } else if (c == separator) {
      parts.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  parts.push_back(text.substr(start));
  unterminated = open_quote != 0;
  return parts;
}

// A suffix written with a leading zero ("ISUM03") names no header.
constexpr int kMalformedSuffix = -2;

// "ISUM3" -> ("ISUM", 3); "VOLT" -> ("VOLT", nullopt).
std::pair<std::string_view, std::optional<int>> split_suffix(std::string_view token) {
  std::size_t end = token.size();
  while (end > 0 && is_digit(token[end - 1])) --end;
  if (end == token.size()) return {token, std::nullopt};
  const auto digits = token.substr(end);
  if (digits.size() > 1 && digits.front() == '0') return {token.substr(0, end), kMalformedSuffix};
  int value = 0;
  const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (result.ec != std::errc{}) value = -1;  // absurdly long suffix: out of range later
  return {token.substr(0, end), value};
}

// Block data ("#2..") and expressions ("(..)") are program data types no header here takes.
bool is_block_or_expression(std::string_view param) {
  return param.starts_with('(') || (param.size() > 1 && param[0] == '#' && is_digit(param[1]));
}

// The decimal exponent of the leading digit of a mantissa ("0.05" -> -2, "120" -> 2); the mantissa
// has a non-zero digit.
long leading_exponent(std::string_view mantissa) {
  if (mantissa.starts_with('+') || mantissa.starts_with('-')) mantissa.remove_prefix(1);
  const std::size_t point = std::min(mantissa.find('.'), mantissa.size());
  const std::size_t first = mantissa.find_first_of("123456789");
  if (first == std::string_view::npos) return -kMaxExponent;  // zero
  return first < point ? static_cast<long>(point - first) - 1 : -static_cast<long>(first - point);
}

struct UnitScale {
  std::string_view prefix;
  double factor;
};
constexpr std::array<UnitScale, 4> kPrefixes{{{"", 1.0}, {"M", 1e-3}, {"U", 1e-6}, {"K", 1e3}}};

double suffix_factor(std::string_view suffix, char unit) {
  if (suffix.empty()) return 1.0;
  if (unit == 0) throw ScpiError{kSuffixNotAllowed};
  const std::string upper = to_upper(suffix);
  const char base = static_cast<char>(std::toupper(static_cast<unsigned char>(unit)));
  for (const auto& p : kPrefixes) {
    if (upper.size() == p.prefix.size() + 1 && upper.starts_with(p.prefix) &&
        upper.back() == base) {
      return p.factor;
    }
  }
  throw ScpiError{kInvalidSuffix};
}

}  // namespace

std::string to_upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

std::vector<std::string_view> split_units(std::string_view line) {
  bool unterminated = false;
  std::vector<std::string_view> units;
  for (auto unit : split_outside_quotes(line, ';', unterminated)) {
    if (!trim(unit).empty()) units.push_back(unit);
  }
  return units;
}

ProgramUnit parse_unit(std::string_view unit) {
  unit = trim(unit);
  for (char c : unit) {
    if (!is_program_byte(c)) throw ScpiError{kInvalidCharacter};
  }
  std::size_t header_end = 0;
  while (header_end < unit.size() && !is_blank(unit[header_end])) ++header_end;
  std::string_view header = unit.substr(0, header_end);
  const std::string_view rest = trim(unit.substr(header_end));

  ProgramUnit out;
  if (header.starts_with(':')) {
    out.absolute = true;
    header.remove_prefix(1);
  }
  if (header.ends_with('?')) {
    out.query = true;
    header.remove_suffix(1);
  }
  if (header.empty()) throw ScpiError{kSyntaxError};
  if (header.front() == '*') {
    if (out.absolute) throw ScpiError{kSyntaxError};
    out.common = true;
    for (char c : header.substr(1)) {
      if (!is_alpha(c)) throw ScpiError{kSyntaxError};
    }
    out.tokens.push_back(to_upper(header));
  } else {
    bool unused = false;
    for (auto token : split_outside_quotes(header, ':', unused)) {
      if (token.empty() || !is_alpha(token.front())) throw ScpiError{kSyntaxError};
      for (char c : token) {
        if (!is_alpha(c) && !is_digit(c) && c != '_') throw ScpiError{kSyntaxError};
      }
      if (split_suffix(token).first.size() > kMaxMnemonic) throw ScpiError{kMnemonicTooLong};
      out.tokens.push_back(to_upper(token));
    }
  }
  if (!rest.empty()) {
    bool unterminated = false;
    for (auto param : split_outside_quotes(rest, ',', unterminated)) {
      param = trim(param);
      if (param.empty()) throw ScpiError{kMissingParameter};
      out.params.emplace_back(param);
    }
    if (unterminated) throw ScpiError{kStringDataError};
  }
  return out;
}

HeaderPattern::HeaderPattern(std::string_view text) {
  if (text.starts_with('*')) {
    common_ = true;
    nodes_.push_back(Node{{to_upper(text)}, {to_upper(text)}, false, false});
    return;
  }
  std::size_t i = 0;
  while (i < text.size()) {
    bool optional = false;
    std::string_view segment;
    if (text[i] == '[') {
      const std::size_t close = text.find(']', i);
      segment = text.substr(i + 1, close - i - 1);
      optional = true;
      i = close + 1;
    } else {
      std::size_t end = i;
      while (end < text.size() && text[end] != '[' && (end == i || text[end] != ':')) ++end;
      segment = text.substr(i, end - i);
      i = end;
    }
    while (segment.starts_with(':')) segment.remove_prefix(1);
    while (segment.ends_with(':')) segment.remove_suffix(1);
    Node node;
    node.optional = optional;
    if (segment.ends_with('#')) {
      node.takes_suffix = true;
      segment.remove_suffix(1);
    }
    bool unused = false;
    for (auto alternative : split_outside_quotes(segment, '|', unused)) {
      std::size_t short_len = 0;
      while (short_len < alternative.size() &&
             !std::islower(static_cast<unsigned char>(alternative[short_len]))) {
        ++short_len;
      }
      node.short_forms.push_back(to_upper(alternative.substr(0, short_len)));
      node.long_forms.push_back(to_upper(alternative));
    }
    nodes_.push_back(std::move(node));
  }
}

std::optional<int> HeaderPattern::match(const std::vector<std::string>& tokens) const {
  int suffix = 1;
  if (common_) {
    if (tokens.size() == 1 && tokens.front() == nodes_.front().long_forms.front()) return suffix;
    return std::nullopt;
  }
  if (match_from(0, 0, tokens, suffix)) return suffix;
  return std::nullopt;
}

bool HeaderPattern::match_from(std::size_t node, std::size_t token,
                               const std::vector<std::string>& tokens, int& suffix) const {
  if (node == nodes_.size()) return token == tokens.size();
  const Node& n = nodes_[node];
  if (n.optional && match_from(node + 1, token, tokens, suffix)) return true;
  if (token == tokens.size()) return false;
  const auto [name, number] = split_suffix(tokens[token]);
  bool name_matches = false;
  for (std::size_t i = 0; i < n.short_forms.size(); ++i) {
    name_matches = name_matches || name == n.short_forms[i] || name == n.long_forms[i];
  }
  if (!name_matches) return false;
  // A suffix of 1 is the same as none wherever the header takes no suffix.
  if (number == kMalformedSuffix) return false;
  if (!n.takes_suffix && number && *number != 1) return false;
  const int saved = suffix;
  if (n.takes_suffix) suffix = number.value_or(1);
  if (match_from(node + 1, token + 1, tokens, suffix)) return true;
  suffix = saved;
  return false;
}

Keyword parse_keyword(std::string_view param) {
  static constexpr std::array<std::pair<std::string_view, Keyword>, 8> kWords{{
      {"MIN", Keyword::kMin},
      {"MINIMUM", Keyword::kMin},
      {"MAX", Keyword::kMax},
      {"MAXIMUM", Keyword::kMax},
      {"DEF", Keyword::kDef},
      {"DEFAULT", Keyword::kDef},
      {"UP", Keyword::kUp},
      {"DOWN", Keyword::kDown},
  }};
  const std::string upper = to_upper(trim(param));
  for (const auto& [word, keyword] : kWords) {
    if (upper == word) return keyword;
  }
  return Keyword::kNone;
}

DataType data_type(std::string_view param) {
  param = trim(param);
  if (param.empty()) return DataType::kNone;
  const char c = param.front();
  if (is_alpha(c)) return DataType::kCharacter;
  if (c == '"' || c == '\'') return DataType::kString;
  if (is_block_or_expression(param)) return DataType::kOther;
  return DataType::kNumeric;  // or a malformed number, which the number parser reports
}

double parse_number(std::string_view param, char unit) {
  param = trim(param);
  if (param.empty()) throw ScpiError{kMissingParameter};
  if (data_type(param) != DataType::kNumeric) throw ScpiError{kDataTypeError};
  std::size_t i = 0;
  if (param[i] == '+' || param[i] == '-') ++i;
  std::size_t digits = 0;
  while (i < param.size() && is_digit(param[i])) ++i, ++digits;
  if (i < param.size() && param[i] == '.') {
    ++i;
    while (i < param.size() && is_digit(param[i])) ++i, ++digits;
  }
  if (digits == 0) throw ScpiError{kInvalidCharacterInNumber};
  const std::size_t mantissa_end = i;
  long exponent = 0;
  if (i < param.size() && (param[i] == 'e' || param[i] == 'E')) {
    ++i;
    const bool negative = i < param.size() && param[i] == '-';
    if (i < param.size() && (param[i] == '+' || param[i] == '-')) ++i;
    std::size_t exponent_digits = 0;
    for (; i < param.size() && is_digit(param[i]); ++i, ++exponent_digits) {
      if (exponent <= kMaxExponent) exponent = exponent * 10 + (param[i] - '0');
    }
    if (exponent_digits == 0) throw ScpiError{kInvalidCharacterInNumber};
    // IEEE 488.2 takes exponents up to 32000 in magnitude.
    if (exponent > kMaxExponent) throw ScpiError{kExponentTooLarge};
    if (negative) exponent = -exponent;
  }
  const std::string_view number = param.substr(0, i);
  std::string_view suffix = trim(param.substr(i));
  for (char c : suffix) {
    if (!is_alpha(c)) throw ScpiError{kInvalidCharacterInNumber};
  }
  const double factor = suffix_factor(suffix, unit);
  double value = 0.0;
  // from_chars does not take a leading '+'.
  const std::string_view text = number.starts_with('+') ? number.substr(1) : number;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec == std::errc::result_out_of_range) {
    // Too large for any setting, or too small to tell from zero.
    if (leading_exponent(param.substr(0, mantissa_end)) + exponent > 0) {
      throw ScpiError{kDataOutOfRange};
    }
    return 0.0;
  }
  if (result.ec != std::errc{} || result.ptr != text.data() + text.size()) {
    throw ScpiError{kInvalidCharacterInNumber};
  }
  return value * factor;
}

std::int64_t parse_integer(std::string_view param) {
  param = trim(param);
  if (data_type(param) == DataType::kOther) throw ScpiError{kDataTypeError};
  if (param.size() > 2 && param[0] == '#') {
    const char radix_char = static_cast<char>(std::toupper(static_cast<unsigned char>(param[1])));
    const int radix = radix_char == 'H' ? 16 : radix_char == 'Q' ? 8 : radix_char == 'B' ? 2 : 0;
    if (radix == 0) throw ScpiError{kInvalidCharacterInNumber};
    std::int64_t value = 0;
    const auto digits = param.substr(2);
    const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), value, radix);
    if (result.ec == std::errc::result_out_of_range) throw ScpiError{kDataOutOfRange};
    if (result.ec != std::errc{} || result.ptr != digits.data() + digits.size()) {
      throw ScpiError{kInvalidCharacterInNumber};
    }
    return value;
  }
  const double value = parse_number(param, 0);
  if (std::fabs(value) > 1e15) throw ScpiError{kDataOutOfRange};
  return std::llround(value);
}

bool parse_bool(std::string_view param) {
  if (data_type(param) == DataType::kCharacter) {
    const std::string word = parse_character(param);
    if (word == "ON") return true;
    if (word == "OFF") return false;
    throw ScpiError{kIllegalParameterValue};
  }
  return parse_integer(param) != 0;
}

std::string parse_character(std::string_view param) {
  param = trim(param);
  if (data_type(param) != DataType::kCharacter) throw ScpiError{kDataTypeError};
  for (char c : param) {
    if (!is_alpha(c) && !is_digit(c) && c != '_') throw ScpiError{kSyntaxError};
  }
  return to_upper(param);
}

std::string parse_string(std::string_view param) {
  param = trim(param);
  if (data_type(param) != DataType::kString) throw ScpiError{kDataTypeError};
  const char q = param.front();
  if (param.size() < 2) throw ScpiError{kInvalidStringData};
  if (param.back() != q) throw ScpiError{kInvalidStringData};
  std::string out;
  const std::string_view inner = param.substr(1, param.size() - 2);
  for (std::size_t i = 0; i < inner.size(); ++i) {
    if (inner[i] == q) {
      if (i + 1 >= inner.size() || inner[i + 1] != q) throw ScpiError{kInvalidStringData};
      ++i;
    }
    out.push_back(inner[i]);
  }
  return out;
}

std::string format_number(double value) {
  if (value == 0.0 || !std::isfinite(value)) value = 0.0;  // never "-0" or "nan" on the wire
  std::array<char, 32> text{};
  const int n = std::snprintf(text.data(), text.size(), "%+.5E", value);
  return std::string(text.data(), n > 0 ? static_cast<std::size_t>(n) : 0);
}

std::string quote(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

}  // namespace zr48::sim
