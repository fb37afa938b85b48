// Whole-string viWrite and viRead, and the driver's buffer settings, for the I/O layer's tests.
#ifndef ZR48_TESTS_VISA_SESSION_IO_H
#define ZR48_TESTS_VISA_SESSION_IO_H

#include <string>
#include <string_view>

#include "visa/visa.h"

namespace zr48::visa::testing {

inline ViStatus write_text(ViSession vi, std::string_view text) {
  ViUInt32 count = 0;
  return viWrite(vi, reinterpret_cast<ViConstBuf>(text.data()), static_cast<ViUInt32>(text.size()),
                 &count);
}

// One viRead of at most `count` bytes; its status goes to `status`.
inline std::string read_text(ViSession vi, ViStatus& status, ViUInt32 count = 512) {
  std::string bytes(count, '\0');
  ViUInt32 got = 0;
  status = viRead(vi, reinterpret_cast<ViPBuf>(bytes.data()), count, &got);
  bytes.resize(got);
  return bytes;
}

// The driver's settings: flush on access both ways, 4000-byte buffers.
inline ViStatus use_driver_settings(ViSession vi) {
  ViStatus status = viSetBuf(vi, VI_READ_BUF | VI_WRITE_BUF, 4000);
  if (status == VI_SUCCESS)
    status = viSetAttribute(vi, VI_ATTR_WR_BUF_OPER_MODE, VI_FLUSH_ON_ACCESS);
  if (status == VI_SUCCESS)
    status = viSetAttribute(vi, VI_ATTR_RD_BUF_OPER_MODE, VI_FLUSH_ON_ACCESS);
  return status;
}

}  // namespace zr48::visa::testing

#endif  // ZR48_TESTS_VISA_SESSION_IO_H
