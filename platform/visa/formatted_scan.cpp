// viScanf conversions. Numbers are gathered into a small stack buffer following their syntax
// and converted with the C library; text goes straight into the caller's buffer, bounded by
// the VISA width (destination size including the NUL).
#include "visa/formatted_scan.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "visa/format_escapes.h"
#include "visa/visa.h"

namespace zr48::visa {
namespace {

enum class Length { kNone, kChar, kShort, kLong, kLongLong, kLongDouble };

struct Directive {
  bool suppress = false;
  int width = 0;  // 0: none given
  Length length = Length::kNone;
  char conversion = 0;
  const char* set_begin = nullptr;  // %[...]: the characters between the brackets
  const char* set_end = nullptr;
  bool set_negated = false;
};

bool is_space(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}
bool is_digit(int c) {
  return c >= '0' && c <= '9';
}

ViStatus parse_directive(const char*& p, Directive& d) {
  if (*p == '*') {
    d.suppress = true;
    ++p;
  }
  if (is_digit(*p)) {
    long width = 0;
    while (is_digit(*p)) {
      width = width * 10 + (*p++ - '0');
      if (width > 0x7FFFFFFF / 10) return VI_ERROR_INV_FMT;
    }
    if (width == 0) return VI_ERROR_INV_FMT;
    d.width = static_cast<int>(width);
  }
  if (*p == 'h') {
    d.length = p[1] == 'h' ? Length::kChar : Length::kShort;
    p += d.length == Length::kChar ? 2 : 1;
  } else if (*p == 'l') {
    d.length = p[1] == 'l' ? Length::kLongLong : Length::kLong;
    p += d.length == Length::kLongLong ? 2 : 1;
  } else if (*p == 'L') {
    d.length = Length::kLongDouble;
    ++p;
  }
  d.conversion = *p;
  if (d.conversion == '\0') return VI_ERROR_INV_FMT;
  ++p;
  switch (d.conversion) {
    case '%':
      return d.suppress || d.width != 0 || d.length != Length::kNone ? VI_ERROR_INV_FMT
                                                                     : VI_SUCCESS;
    case 'd':
    case 'i':
    case 'u':
    case 'x':
    case 'X':
    case 'o':
      return d.length == Length::kLongDouble ? VI_ERROR_INV_FMT : VI_SUCCESS;
    case 'f':
    case 'e':
    case 'E':
    case 'g':
    case 'G':
      if (d.length == Length::kLongDouble) return VI_ERROR_NSUP_FMT;
      return d.length == Length::kNone || d.length == Length::kLong ? VI_SUCCESS : VI_ERROR_INV_FMT;
    case 's':
    case 'c':
      return d.length == Length::kNone ? VI_SUCCESS : VI_ERROR_NSUP_FMT;
    case '[': {
      if (d.length != Length::kNone) return VI_ERROR_NSUP_FMT;
      d.set_negated = *p == '^';
      if (d.set_negated) ++p;
      d.set_begin = p;
      if (*p == ']') ++p;  // a ']' first is a member, not the end
      while (*p != '\0' && *p != ']') ++p;
      if (*p != ']') return VI_ERROR_INV_FMT;
      d.set_end = p++;
      return VI_SUCCESS;
    }
    default:
      break;
  }
  const char c = d.conversion;
  const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
  return letter || c == '#' || c == '@' || c == ',' ? VI_ERROR_NSUP_FMT : VI_ERROR_INV_FMT;
}

bool in_set(const Directive& d, int c) {
  bool found = false;
  for (const char* s = d.set_begin; s < d.set_end && !found; ++s) {
    if (s + 2 < d.set_end && s[1] == '-') {  // a range such as 0-9
      found = c >= static_cast<unsigned char>(s[0]) && c <= static_cast<unsigned char>(s[2]);
      if (!found) s += 2;
    } else {
      found = c == static_cast<unsigned char>(*s);
    }
  }
  return found != d.set_negated;
}

class Reader {
 public:
  // `args` is the caller's copy, started and ended around this object's use.
  Reader(ScanSource& source, va_list* args) : source_(source), args_(args) {}
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;

  ViStatus run(const char* p) {
    while (*p != '\0') {
      int c = static_cast<unsigned char>(*p++);
      if (c == '%') {
        Directive d;
        if (parse_directive(p, d) != VI_SUCCESS) return VI_ERROR_INV_FMT;  // checked before
        if (!convert(d)) break;
        continue;
      }
      if (c == '\\') {
        c = parse_escape(p);
        if (c < 0) return VI_ERROR_INV_FMT;
      }
      if (is_space(c)) {
        skip_space();
      } else if (source_.peek() == c) {
        source_.advance();
      } else {
        break;  // a literal that does not match ends the scan
      }
    }
    return VI_SUCCESS;
  }

 private:
  // The analyzer loses track of the list across the source's virtual calls; format_scan starts
  // and ends it around the whole scan.
  // Stores `value` through the next argument, a pointer to the integer type that `length`
  // names, signed or unsigned as `Value` is.
  template <typename Value>
  void store_integer(Length length, Value value) {
    switch (length) {
      case Length::kChar:
        return store_as<char>(value);
      case Length::kShort:
        return store_as<short>(value);
      case Length::kLong:
        return store_as<long>(value);
      case Length::kLongLong:
        return store_as<long long>(value);
      default:
        return store_as<int>(value);
    }
  }

  template <typename T, typename Value>
  void store_as(Value value) {
    using Target =
        std::conditional_t<std::is_signed_v<Value>, std::make_signed_t<T>, std::make_unsigned_t<T>>;
    *next_argument<Target*>() = static_cast<Target>(value);
  }

  template <typename T>
  T next_argument() {
    return va_arg(*args_, T);  // NOLINT(clang-analyzer-valist.Uninitialized)
  }

  void skip_space() {
    while (is_space(source_.peek())) source_.advance();
  }

  // Stores text (the conversions s and [): at most `width - 1` bytes and a NUL; the rest of the
  // field is consumed and dropped. No width: no limit.
  template <typename Accept>
  bool text(const Directive& d, Accept accept) {
    char* out = d.suppress ? nullptr : next_argument<char*>();
    const std::size_t room = d.width > 0 ? static_cast<std::size_t>(d.width) - 1 : SIZE_MAX;
    std::size_t stored = 0;
    bool any = false;
    for (int c = source_.peek(); c >= 0 && accept(c); c = source_.peek()) {
      if (out != nullptr && stored < room) out[stored++] = static_cast<char>(c);
      any = true;
      source_.advance();
    }
    if (!any) return false;
    if (out != nullptr) out[stored] = '\0';
    return true;
  }

  bool characters(const Directive& d) {
    char* out = d.suppress ? nullptr : next_argument<char*>();
    const int count = d.width > 0 ? d.width : 1;
    for (int i = 0; i < count; ++i) {
      const int c = source_.peek();
      if (c < 0) return false;
      if (out != nullptr) out[i] = static_cast<char>(c);
      source_.advance();
    }
    return true;
  }

  // Takes the next byte into the number being gathered if `accept` allows it.
  template <typename Accept>
  bool take(char* buffer, std::size_t& n, std::size_t limit, Accept accept) {
    const int c = source_.peek();
    if (n >= limit || c < 0 || !accept(c)) return false;
    buffer[n++] = static_cast<char>(c);
    source_.advance();
    return true;
  }

  bool integer(const Directive& d) {
    skip_space();
    char buffer[128];
    std::size_t n = 0;
    const std::size_t limit =
        d.width > 0 && d.width < 127 ? static_cast<std::size_t>(d.width) : 127;
    int base = d.conversion == 'x' || d.conversion == 'X' ? 16 : d.conversion == 'o' ? 8 : 10;
    if (d.conversion == 'i') base = 0;
    take(buffer, n, limit, [](int c) { return c == '+' || c == '-'; });
    const std::size_t digits_start = n;
    if ((base == 0 || base == 16) && take(buffer, n, limit, [](int c) { return c == '0'; })) {
      if (take(buffer, n, limit, [](int c) { return c == 'x' || c == 'X'; })) {
        base = 16;
      } else if (base == 0) {
        base = 8;
      }
    }
    if (base == 0) base = 10;
    const auto digit = [base](int c) {
      if (base == 16) return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
      return c >= '0' && c < '0' + base;
    };
    while (take(buffer, n, limit, digit)) {
    }
    if (n == digits_start) return false;
    buffer[n] = '\0';
    if (d.suppress) return true;
    if (d.conversion == 'd' || d.conversion == 'i') {
      store_integer(d.length, std::strtoll(buffer, nullptr, base));
    } else {
      store_integer(d.length, std::strtoull(buffer, nullptr, base));
    }
    return true;
  }

  bool real(const Directive& d) {
    skip_space();
    char buffer[128];
    std::size_t n = 0;
    const std::size_t limit =
        d.width > 0 && d.width < 127 ? static_cast<std::size_t>(d.width) : 127;
    const auto sign = [](int c) { return c == '+' || c == '-'; };
    take(buffer, n, limit, sign);
    std::size_t digits = 0;
    while (take(buffer, n, limit, is_digit)) ++digits;
    if (take(buffer, n, limit, [](int c) { return c == '.'; })) {
      while (take(buffer, n, limit, is_digit)) ++digits;
    }
    if (digits == 0) return false;
    if (take(buffer, n, limit, [](int c) { return c == 'e' || c == 'E'; })) {
      take(buffer, n, limit, sign);
      while (take(buffer, n, limit, is_digit)) {
      }
    }
    buffer[n] = '\0';
    if (d.suppress) return true;
    if (d.length == Length::kLong) {
      *next_argument<double*>() = std::strtod(buffer, nullptr);
    } else {
      *next_argument<float*>() = std::strtof(buffer, nullptr);
    }
    return true;
  }

  // False when the input ended or did not fit, which ends the scan.
  bool convert(const Directive& d) {
    switch (d.conversion) {
      case '%':
        skip_space();
        if (source_.peek() != '%') return false;
        source_.advance();
        return true;
      case 's':
        skip_space();
        return text(d, [](int c) { return !is_space(c); });
      case '[':
        return text(d, [&d](int c) { return in_set(d, c); });
      case 'c':
        return characters(d);
      case 'f':
      case 'e':
      case 'E':
      case 'g':
      case 'G':
        return real(d);
      default:
        return integer(d);
    }
  }

  ScanSource& source_;
  va_list* args_;
};

}  // namespace

ViStatus check_scan_format(const char* p) {
  return check_format<Directive>(p, parse_directive);
}

ViStatus format_scan(ScanSource& source, const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  Reader reader(source, &copy);
  const ViStatus status = reader.run(format);
  va_end(copy);
  return status;
}

}  // namespace zr48::visa
