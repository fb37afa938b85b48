// VISA's names and standard descriptions of completion and error codes.
#ifndef ZR48_PLATFORM_VISA_STATUS_TEXT_H
#define ZR48_PLATFORM_VISA_STATUS_TEXT_H

#include <string_view>

#include "zr48_visatype.h"

namespace zr48::visa {

struct StatusText {
  ViStatus code;
  std::string_view name;         // e.g. "VI_ERROR_TMO"
  std::string_view description;  // VISA's standard text
};

// The row for `status`, or nullptr when VISA defines no such code.
const StatusText* find_status_text(ViStatus status);

}  // namespace zr48::visa

#endif
