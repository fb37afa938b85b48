// The error functions: the driver's status texts, error_message, GetError and ClearError. With
// VI_NULL instead of a session they work on the calling thread's error information, so that a
// failed initialisation can still be explained.
#include <algorithm>
#include <cstdio>
#include <optional>
#include <string_view>

#include "frame/frame.h"
#include "utility.h"

namespace zr48 {

// The engine only reads the texts.
const IviStringValueTableEntry kDriverErrorTable[] = {
    {ZR48_ERROR_TRIGGER_NOT_SOFTWARE,
     const_cast<ViString>("The trigger source is not software trigger.")},
    {0, VI_NULL},
};

namespace {

constexpr std::size_t kDescriptionSize = 1024;

// Error information as the engine keeps it.
struct ErrorInfo {
  ViStatus primary = VI_SUCCESS;
  ViStatus secondary = VI_SUCCESS;
  ViChar elaboration[IVI_MAX_MESSAGE_BUF_SIZE] = {};
};

// Reads the error information through the engine's attributes, which leaves it in place.
ViStatus peek_error_info(ViSession vi, ErrorInfo& info) noexcept {
  ViStatus status = normalise(Ivi_GetAttributeViString(vi, VI_NULL, IVI_ATTR_ERROR_ELABORATION, 0,
                                                       sizeof info.elaboration, info.elaboration));
  if (status < 0) return status;
  status =
      normalise(Ivi_GetAttributeViInt32(vi, VI_NULL, IVI_ATTR_SECONDARY_ERROR, 0, &info.secondary));
  if (status < 0) return status;
  return normalise(Ivi_GetAttributeViInt32(vi, VI_NULL, IVI_ATTR_PRIMARY_ERROR, 0, &info.primary));
}

// Text building that never runs past its fixed buffer.
class Description {
 public:
  template <typename... Args>
  void append(const char* format, Args... args) noexcept {
    const std::size_t room = sizeof text_ - length_;
    const int written = std::snprintf(text_ + length_, room, format, args...);
    if (written > 0) length_ += std::min(static_cast<std::size_t>(written), room - 1);
  }
  std::string_view view() const noexcept { return {text_, length_}; }

 private:
  ViChar text_[kDescriptionSize] = {};
  std::size_t length_ = 0;
};

// "<label> Error: (Hex 0x%08X) <message>\n" for a non-zero code.
ViStatus append_code(ViSession vi, const char* label, ViStatus code, Description& text) noexcept {
  if (code == VI_SUCCESS) return VI_SUCCESS;
  ViChar message[IVI_MAX_MESSAGE_BUF_SIZE] = {};
  const ViStatus status = ZR48_error_message(vi, code, message);
  if (status < 0) return status;
  text.append("%s Error: (Hex 0x%08X) %s\n", label, static_cast<unsigned>(code), message);
  return VI_SUCCESS;
}

// Holds the session lock for GetError with the caller-has-lock flag; nothing with VI_NULL.
class OptionalCallerLock {
 public:
  explicit OptionalCallerLock(ViSession vi) noexcept
      : vi_(vi), status_(vi == VI_NULL ? VI_SUCCESS : normalise(Ivi_LockSession(vi, &held_))) {}
  ~OptionalCallerLock() {
    if (vi_ != VI_NULL) (void)Ivi_UnlockSession(vi_, &held_);
  }
  OptionalCallerLock(const OptionalCallerLock&) = delete;
  OptionalCallerLock& operator=(const OptionalCallerLock&) = delete;
  ViStatus status() const noexcept { return status_; }

 private:
  ViSession vi_;
  ViBoolean held_ = VI_FALSE;
  ViStatus status_;
};

}  // namespace
}  // namespace zr48

ViStatus ZR48_error_message(ViSession vi, ViStatus errorCode, ViChar errorMessage[256]) {
  // The lock's status does not matter: the text comes from tables, not from the session.
  std::optional<zr48::SessionLock> lock;
  if (vi != VI_NULL) lock.emplace(vi);
  if (errorMessage == nullptr) {
    return zr48::record_parameter_error(vi, 3, "Null address for Error Message");
  }
  return zr48::normalise(
      Ivi_GetSpecificDriverStatusDesc(vi, errorCode, errorMessage, zr48::kDriverErrorTable));
}

ViStatus ZR48_GetError(ViSession vi, ViStatus* errorCode, ViInt32 bufferSize,
                       ViChar description[]) {
  const zr48::OptionalCallerLock lock(vi);
  if (lock.status() < 0) return lock.status();

  zr48::ErrorInfo info;
  ViStatus status = VI_SUCCESS;
  if (bufferSize != 0) {
    if (errorCode == nullptr) return zr48::record_parameter_error(vi, 2, "Null address for Error");
    if (description == nullptr) {
      return zr48::record_parameter_error(vi, 4, "Null address for Description");
    }
    // Returns the information and clears it.
    status =
        zr48::normalise(Ivi_GetErrorInfo(vi, &info.primary, &info.secondary, info.elaboration));
  } else {
    // Asking for the size clears nothing: the call with the buffer finds the same information.
    status = zr48::peek_error_info(vi, info);
  }
  if (status < 0) return status;

  zr48::Description text;
  status = zr48::append_code(vi, "Primary", info.primary, text);
  if (status < 0) return status;
  status = zr48::append_code(vi, "Secondary", info.secondary, text);
  if (status < 0) return status;
  if (info.elaboration[0] != '\0') text.append("Elaboration: %s", info.elaboration);

  const ViStatus result = zr48::copy_with_buffer_rule(text.view(), bufferSize, description);
  if (errorCode != nullptr) *errorCode = info.primary;
  return result;
}

ViStatus ZR48_ClearError(ViSession vi) {
  return Ivi_ClearErrorInfo(vi);
}
