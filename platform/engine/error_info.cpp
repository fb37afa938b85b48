#include "engine/error_info.h"

namespace zr48::engine {

void ErrorInfo::record(bool overwrite, ViStatus newPrimary, ViStatus newSecondary,
                       const char* text) {
  const bool replace =
      overwrite || (newPrimary < 0 && primary >= 0) || (newPrimary > 0 && primary == VI_SUCCESS);
  if (replace) {
    primary = newPrimary;
    secondary = newSecondary;
    elaboration = text != nullptr ? text : "";
    return;
  }
  if (newPrimary != VI_SUCCESS && newPrimary == primary) {
    if (secondary == VI_SUCCESS) secondary = newSecondary;
    if (elaboration.empty() && text != nullptr) elaboration = text;
  }
}

ErrorInfo& thread_error_info() {
  thread_local ErrorInfo info;
  return info;
}

}  // namespace zr48::engine
