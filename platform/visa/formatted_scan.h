// viScanf's parser: white space, literal characters, VISA's backslash escapes and the
// conversions %s %c %[...] %d %i %u %x %o %f %e %g (with *, widths and h, hh, l, ll), where the
// width of %s and %[...] is the destination size including its NUL (VISA's rule).
#ifndef ZR48_PLATFORM_VISA_FORMATTED_SCAN_H
#define ZR48_PLATFORM_VISA_FORMATTED_SCAN_H

#include <cstdarg>

#include "zr48_visatype.h"

namespace zr48::visa {

// Where scanned bytes come from (the session's read buffer, refilled as needed).
class ScanSource {
 public:
  // The next byte, or -1 when the message has ended or no more bytes can be had.
  virtual int peek() = 0;
  // Consumes the byte that peek() returned.
  virtual void advance() = 0;

 protected:
  ~ScanSource() = default;
};

// VI_SUCCESS, VI_ERROR_INV_FMT or VI_ERROR_NSUP_FMT; checked before any byte is consumed.
ViStatus check_scan_format(const char* format);

// Scans until the format is done, the input ends or a byte does not match. Stopping early is
// not an error (VISA): the remaining arguments are left untouched.
ViStatus format_scan(ScanSource& source, const char* format, va_list args);

}  // namespace zr48::visa

#endif
