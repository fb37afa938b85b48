// Error information: the primary and secondary status and an elaboration, kept per session and
// per thread, with the IVI-3.9 rules for when new information replaces what is recorded.
#ifndef ZR48_PLATFORM_ENGINE_ERROR_INFO_H
#define ZR48_PLATFORM_ENGINE_ERROR_INFO_H

#include <mutex>
#include <string>

#include "engine/ivi_engine.h"

namespace zr48::engine {

struct ErrorInfo {
  ViStatus primary = VI_SUCCESS;
  ViStatus secondary = VI_SUCCESS;
  std::string elaboration;

  // Without overwrite, an error replaces a warning or nothing, a warning replaces only nothing,
  // and success never replaces anything; a repeated code may fill in a missing elaboration.
  void record(bool overwrite, ViStatus newPrimary, ViStatus newSecondary, const char* text);
  void clear() { *this = ErrorInfo{}; }
  bool empty() const { return primary == VI_SUCCESS; }
};

// The calling thread's information, used when no session is named.
ErrorInfo& thread_error_info();

// A session's information; guarded on its own so that it can be read while another thread holds
// the session lock (and while the session is being disposed).
class SessionErrors {
 public:
  void record(bool overwrite, ViStatus primary, ViStatus secondary, const char* text) {
    std::scoped_lock lock(mutex_);
    info_.record(overwrite, primary, secondary, text);
  }
  ErrorInfo snapshot() const {
    std::scoped_lock lock(mutex_);
    return info_;
  }
  ErrorInfo take() {
    std::scoped_lock lock(mutex_);
    ErrorInfo out = std::move(info_);
    info_.clear();
    return out;
  }
  void clear() {
    std::scoped_lock lock(mutex_);
    info_.clear();
  }

 private:
  mutable std::mutex mutex_;
  ErrorInfo info_;
};

}  // namespace zr48::engine

#endif
