// What viPrintf and viScanf formats share: VISA's backslash escapes and the up-front check that
// a whole format is well formed, so that a bad format sends or consumes nothing.
#ifndef ZR48_PLATFORM_VISA_FORMAT_ESCAPES_H
#define ZR48_PLATFORM_VISA_FORMAT_ESCAPES_H

#include "visa/visa.h"

namespace zr48::visa {

// Decodes the backslash escape at `p` (after the backslash) and moves past it; -1 if malformed.
inline int parse_escape(const char*& p) {
  switch (*p) {
    case 'n':
      ++p;
      return '\n';
    case 'r':
      ++p;
      return '\r';
    case 't':
      ++p;
      return '\t';
    case '\\':
      ++p;
      return '\\';
    case '"':
      ++p;
      return '"';
    default:
      break;
  }
  if (*p < '0' || *p > '7') return -1;
  int value = 0;
  for (int i = 0; i < 3 && *p >= '0' && *p <= '7'; ++i, ++p) value = value * 8 + (*p - '0');
  return value > 0xFF ? -1 : value;
}

// Walks a whole format: every directive through `parse_directive(p, directive)`, every escape
// through parse_escape. VI_SUCCESS, or the first directive's error, or VI_ERROR_INV_FMT.
template <typename Directive, typename ParseDirective>
ViStatus check_format(const char* p, ParseDirective parse_directive) {
  if (p == nullptr) return VI_ERROR_INV_FMT;
  while (*p != '\0') {
    const char c = *p++;
    if (c == '%') {
      Directive d;
      const ViStatus status = parse_directive(p, d);
      if (status != VI_SUCCESS) return status;
    } else if (c == '\\' && parse_escape(p) < 0) {
      return VI_ERROR_INV_FMT;
    }
  }
  return VI_SUCCESS;
}

}  // namespace zr48::visa

#endif  // ZR48_PLATFORM_VISA_FORMAT_ESCAPES_H
