#include <cstdarg>

#include "visa/visa.h"
#include "visa_calls/visa_calls.h"

namespace zr48::visa_calls {

const VisaCalls& own_visa_calls() noexcept {
  static constexpr VisaCalls kOwn{
      .open_default_rm = viOpenDefaultRM,
      .open = viOpen,
      .close = viClose,
      .set_attribute = viSetAttribute,
      .set_buf = viSetBuf,
      .flush = viFlush,
      .read = viRead,
      .write = viWrite,
      .vprintf = viVPrintf,
      .vscanf = viVScanf,
  };
  return kOwn;
}

ViStatus formatted(FormattedIo operation, ViSession io, ViConstString format, ...) noexcept {
  va_list args;
  va_start(args, format);
  const ViStatus status = operation(io, format, args);
  va_end(args);
  return status;
}

}  // namespace zr48::visa_calls
