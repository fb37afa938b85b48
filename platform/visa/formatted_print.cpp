// viPrintf formatting. Literal runs and %s text go to the sink as they are; numbers are
// rendered by snprintf into a stack buffer from a rebuilt C conversion.
#include "visa/formatted_print.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "visa/format_escapes.h"
#include "visa/visa.h"

#define RETURN_IF_FAILED(expr)       \
  do {                               \
    const ViStatus status_ = (expr); \
    if (status_ < 0) return status_; \
  } while (false)

namespace zr48::visa {
namespace {

enum class Length { kNone, kChar, kShort, kLong, kLongLong };

struct Directive {
  std::string_view flags;
  bool width_from_argument = false;
  int width = -1;
  bool precision_from_argument = false;
  int precision = -1;
  Length length = Length::kNone;
  char conversion = 0;
};

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

int parse_count(const char*& p) {
  long value = 0;
  while (is_digit(*p)) {
    value = value * 10 + (*p - '0');
    if (value > 0xFFFF) value = 0xFFFF;  // a field that wide is nonsense; keep it bounded
    ++p;
  }
  return static_cast<int>(value);
}

// Parses the directive after '%'; `p` ends after the conversion character.
ViStatus parse_directive(const char*& p, Directive& d) {
  if (*p == 's') {  // a bare %s, the drivers' usual directive: nothing else to read
    d.conversion = *p++;
    return VI_SUCCESS;
  }
  const char* flags = p;
  while (*p != '\0' && std::strchr("-+ #0", *p) != nullptr) ++p;
  d.flags = std::string_view(flags, static_cast<std::size_t>(p - flags));
  if (*p == '*') {
    d.width_from_argument = true;
    ++p;
  } else if (is_digit(*p)) {
    d.width = parse_count(p);
  }
  if (*p == '.') {
    ++p;
    if (*p == '*') {
      d.precision_from_argument = true;
      ++p;
    } else {
      d.precision = parse_count(p);
    }
  }
  if (*p == 'h') {
    d.length = p[1] == 'h' ? Length::kChar : Length::kShort;
    p += d.length == Length::kChar ? 2 : 1;
  } else if (*p == 'l') {
    d.length = p[1] == 'l' ? Length::kLongLong : Length::kLong;
    p += d.length == Length::kLongLong ? 2 : 1;
  }
  d.conversion = *p;
  if (d.conversion == '\0') return VI_ERROR_INV_FMT;
  ++p;

  const bool plain = d.flags.empty() && d.width < 0 && !d.width_from_argument && d.precision < 0 &&
                     !d.precision_from_argument && d.length == Length::kNone;
  switch (d.conversion) {
    case '%':
      return plain ? VI_SUCCESS : VI_ERROR_INV_FMT;
    case 'd':
    case 'i':
    case 'u':
    case 'x':
    case 'X':
    case 'o':
      return VI_SUCCESS;
    case 'f':
    case 'e':
    case 'E':
    case 'g':
    case 'G':
      // 'l' is accepted (a double either way); 'h' makes no sense for a floating value.
      return d.length == Length::kNone || d.length == Length::kLong ? VI_SUCCESS : VI_ERROR_INV_FMT;
    case 'c':
    case 's':
      // %lc / %ls would be wide characters, which VISA does not define.
      return d.length == Length::kNone ? VI_SUCCESS : VI_ERROR_NSUP_FMT;
    default:
      break;
  }
  const char c = d.conversion;
  const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
  // VISA's own modifiers and conversions (@1, ",n" arrays, %b, %y ...) are valid but not
  // supported here; anything else after '%' is malformed.
  return letter || c == '@' || c == ',' ? VI_ERROR_NSUP_FMT : VI_ERROR_INV_FMT;
}

class Writer {
 public:
  // `args` is the caller's copy, started and ended around this object's use.
  Writer(PrintSink& sink, va_list* args) : sink_(sink), args_(args) {}
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;

  ViStatus run(const char* p) {
    while (*p != '\0') {
      const char* run = p;
      while (*p != '\0' && *p != '%' && *p != '\\' && *p != '\n') ++p;
      if (p != run) RETURN_IF_FAILED(sink_.append(run, static_cast<std::size_t>(p - run)));
      if (*p == '\0') break;
      const char c = *p++;
      if (c == '%') {
        Directive d;
        if (parse_directive(p, d) != VI_SUCCESS) return VI_ERROR_INV_FMT;  // checked before
        RETURN_IF_FAILED(convert(d));
      } else {
        const int byte = c == '\\' ? parse_escape(p) : '\n';
        if (byte < 0) return VI_ERROR_INV_FMT;
        RETURN_IF_FAILED(literal(static_cast<char>(byte)));
      }
    }
    return VI_SUCCESS;
  }

 private:
  // The analyzer loses track of the list across the sink's virtual calls; format_print starts
  // and ends it around the whole call.
  template <typename T>
  T next_argument() {
    return va_arg(*args_, T);  // NOLINT(clang-analyzer-valist.Uninitialized)
  }

  ViStatus literal(char byte) {
    RETURN_IF_FAILED(sink_.append(&byte, 1));
    return byte == '\n' ? sink_.end_of_message() : VI_SUCCESS;
  }

  ViStatus pad(int count) {
    static constexpr char kSpaces[] = "                                ";
    while (count > 0) {
      const int n = count < 32 ? count : 32;
      RETURN_IF_FAILED(sink_.append(kSpaces, static_cast<std::size_t>(n)));
      count -= n;
    }
    return VI_SUCCESS;
  }

  // The caller's text, unchanged: width pads, precision cuts, '-' pads on the right.
  ViStatus text(bool left, int width, int precision) {
    const char* s = next_argument<const char*>();
    if (s == nullptr) return VI_ERROR_INV_PARAMETER;
    const std::size_t length =
        precision >= 0 ? strnlen(s, static_cast<std::size_t>(precision)) : std::strlen(s);
    const int fill = width > static_cast<int>(length) ? width - static_cast<int>(length) : 0;
    if (!left) RETURN_IF_FAILED(pad(fill));
    RETURN_IF_FAILED(sink_.append(s, length));
    return left ? pad(fill) : VI_SUCCESS;
  }

  ViStatus convert(const Directive& d) {
    if (d.conversion == '%') return sink_.append("%", 1);
    if (d.conversion == 's' && d.flags.empty() && !d.width_from_argument &&
        !d.precision_from_argument) {
      return text(false, d.width, d.precision);
    }
    int width = d.width;
    int precision = d.precision;
    std::string flags(d.flags);
    if (d.width_from_argument) {
      width = next_argument<int>();
      if (width < 0) {  // as in C: a negative width is the '-' flag
        flags += '-';
        width = -width;
      }
    }
    if (d.precision_from_argument) precision = next_argument<int>();  // negative: none
    if (d.conversion == 's') {
      return text(flags.find('-') != std::string::npos, width, precision);
    }

    // Rebuild a C conversion with the value widened to long long, int or double.
    const bool integer = std::strchr("diuxXo", d.conversion) != nullptr;
    char spec[32];
    std::snprintf(spec, sizeof spec, "%%%s*%s%s%c", flags.c_str(), d.conversion == 'c' ? "" : ".*",
                  integer ? "ll" : "", d.conversion);
    long long signed_value = 0;
    unsigned long long unsigned_value = 0;
    int char_value = 0;
    double real_value = 0;
    switch (d.conversion) {
      case 'd':
      case 'i':
        signed_value = signed_argument(d.length);
        break;
      case 'u':
      case 'x':
      case 'X':
      case 'o':
        unsigned_value = unsigned_argument(d.length);
        break;
      case 'c':
        char_value = next_argument<int>();
        break;
      default:
        real_value = next_argument<double>();
        break;
    }
    const auto render = [&](char* out, std::size_t size) {
      switch (d.conversion) {
        case 'd':
        case 'i':
          return std::snprintf(out, size, spec, width, precision, signed_value);
        case 'u':
        case 'x':
        case 'X':
        case 'o':
          return std::snprintf(out, size, spec, width, precision, unsigned_value);
        case 'c':
          return std::snprintf(out, size, spec, width, char_value);
        default:
          return std::snprintf(out, size, spec, width, precision, real_value);
      }
    };
    char local[512];
    const int n = render(local, sizeof local);
    if (n < 0) return VI_ERROR_INV_FMT;
    if (static_cast<std::size_t>(n) < sizeof local) {
      return sink_.append(local, static_cast<std::size_t>(n));
    }
    // Only an absurd width or precision gets here; then the text is built on the heap.
    std::string large(static_cast<std::size_t>(n) + 1, '\0');
    render(large.data(), large.size());
    return sink_.append(large.data(), static_cast<std::size_t>(n));
  }

  long long signed_argument(Length length) {
    switch (length) {
      case Length::kChar:
        return static_cast<signed char>(next_argument<int>());
      case Length::kShort:
        return static_cast<short>(next_argument<int>());
      case Length::kLong:
        return next_argument<long>();
      case Length::kLongLong:
        return next_argument<long long>();
      default:
        return next_argument<int>();
    }
  }

  unsigned long long unsigned_argument(Length length) {
    switch (length) {
      case Length::kChar:
        return static_cast<unsigned char>(next_argument<unsigned>());
      case Length::kShort:
        return static_cast<unsigned short>(next_argument<unsigned>());
      case Length::kLong:
        return next_argument<unsigned long>();
      case Length::kLongLong:
        return next_argument<unsigned long long>();
      default:
        return next_argument<unsigned>();
    }
  }

  PrintSink& sink_;
  va_list* args_;
};

}  // namespace

ViStatus check_print_format(const char* p) {
  return check_format<Directive>(p, parse_directive);
}

ViStatus format_print(PrintSink& sink, const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  const ViStatus status = format_print(sink, format, &copy);
  va_end(copy);
  return status;
}

ViStatus format_print(PrintSink& sink, const char* format, va_list* args) {
  Writer writer(sink, args);
  return writer.run(format);
}

}  // namespace zr48::visa

#undef RETURN_IF_FAILED
