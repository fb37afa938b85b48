// The VISA operations the engine and the driver call, as one table of function pointers. Each
// engine session carries the table it was created with: the I/O layer's own, or one resolved
// from another VISA shared library named by ZR48_VISA_LIBRARY (a vendor's, for interfaces only
// it supports). Callers never name vi* themselves, so a session's handles always reach the
// library that issued them.
#ifndef ZR48_PLATFORM_VISA_CALLS_VISA_CALLS_H
#define ZR48_PLATFORM_VISA_CALLS_VISA_CALLS_H

#include <cstdarg>
#include <memory>
#include <string>

#include "zr48_visatype.h"

namespace zr48::visa_calls {

// viVPrintf or viVScanf.
using FormattedIo = ViStatus (*)(ViSession, ViConstString, va_list);

// Standard VISA signatures, so that any VISA's symbols fit.
struct VisaCalls {
  ViStatus (*open_default_rm)(ViPSession);
  ViStatus (*open)(ViSession, ViConstRsrc, ViAccessMode, ViUInt32, ViPSession);
  ViStatus (*close)(ViObject);
  ViStatus (*set_attribute)(ViObject, ViAttr, ViAttrState);
  ViStatus (*set_buf)(ViSession, ViUInt16, ViUInt32);
  ViStatus (*flush)(ViSession, ViUInt16);
  ViStatus (*read)(ViSession, ViPBuf, ViUInt32, ViPUInt32);
  ViStatus (*write)(ViSession, ViConstBuf, ViUInt32, ViPUInt32);
  FormattedIo vprintf;
  FormattedIo vscanf;
};

// The I/O layer linked into this library.
const VisaCalls& own_visa_calls() noexcept;

// viPrintf / viScanf through a table's V form: formatted(calls.vprintf, io, "%s\n", text).
ViStatus formatted(FormattedIo operation, ViSession io, ViConstString format, ...) noexcept;

struct ForeignVisaLoad;

// Another VISA library, loaded with RTLD_NOW | RTLD_LOCAL and unloaded when the last owner
// lets go. The dynamic loader counts the opens of one path, so sessions naming the same library
// share one copy of it without any state here.
class ForeignVisa {
 public:
  ~ForeignVisa();
  ForeignVisa(const ForeignVisa&) = delete;
  ForeignVisa& operator=(const ForeignVisa&) = delete;

  const VisaCalls& calls() const noexcept { return calls_; }

 private:
  friend ForeignVisaLoad load_foreign_visa(const std::string& path);
  ForeignVisa(void* handle, const VisaCalls& calls) : handle_(handle), calls_(calls) {}

  void* handle_;
  VisaCalls calls_;
};

// A loaded library, or why it could not be used: the library, the missing symbol if any, and
// the loader's own words.
struct ForeignVisaLoad {
  std::shared_ptr<const ForeignVisa> library;
  std::string failure;
};

// Loads `path` and resolves every operation of VisaCalls; nothing stays loaded on failure.
ForeignVisaLoad load_foreign_visa(const std::string& path);

}  // namespace zr48::visa_calls

#endif
