// viPrintf's formatter: VISA's backslash escapes and the C conversions d i u x X o c s f e E g G
// with flags, width, precision (also "*") and the h, hh, l, ll modifiers. Other VISA
// conversions (%b, %y, @1 ...) are reported as not supported.
#ifndef ZR48_PLATFORM_VISA_FORMATTED_PRINT_H
#define ZR48_PLATFORM_VISA_FORMATTED_PRINT_H

#include <cstdarg>
#include <cstddef>

#include "zr48_visatype.h"

namespace zr48::visa {

// Where formatted bytes go (the session's write buffer).
class PrintSink {
 public:
  virtual ViStatus append(const char* data, std::size_t size) = 0;
  // A line feed written by the format itself (not by an argument) carries END.
  virtual ViStatus end_of_message() = 0;

 protected:
  ~PrintSink() = default;
};

// VI_SUCCESS, VI_ERROR_INV_FMT (malformed) or VI_ERROR_NSUP_FMT (valid VISA, not supported
// here, or an unknown conversion). Checked before anything is written, so a bad format sends
// nothing.
ViStatus check_print_format(const char* format);

// Formats into `sink`; the format must have passed check_print_format.
ViStatus format_print(PrintSink& sink, const char* format, va_list args);
// The same, leaving `args` past the arguments used (viQueryf reads on from there).
ViStatus format_print(PrintSink& sink, const char* format, va_list* args);

}  // namespace zr48::visa

#endif
