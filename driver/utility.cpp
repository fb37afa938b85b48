// The utility functions: reset with defaults, disable, self-test, revision and error queries,
// explicit locking, channel names and the engine's pass-through services.
//
// Those that talk to the instrument run the frame's self-test and error-query rows: outputs
// checked under the lock, stale input discarded before the command, VISA failures recorded in the
// session's error information.
#include "utility.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>
#include <limits>

#include "frame/frame.h"
#include "internal.h"

namespace zr48 {

ViStatus copy_with_buffer_rule(std::string_view text, ViInt32 buffer_size,
                               ViChar* destination) noexcept {
  const auto required = static_cast<ViInt32>(text.size() + 1);
  if (buffer_size == 0) return required;
  if (buffer_size > 0 && buffer_size < required) {
    const auto kept = static_cast<std::size_t>(buffer_size - 1);
    std::memcpy(destination, text.data(), kept);
    destination[kept] = '\0';
    return required;
  }
  std::memcpy(destination, text.data(), text.size());
  destination[text.size()] = '\0';
  return VI_SUCCESS;
}

namespace {

constexpr const char* kNoError = "No error.";

// The standard 256-byte message buffers of self_test and error_query hold 255 characters.
constexpr std::size_t kMessageMax = IVI_MAX_MESSAGE_LEN;

// What testResult holds when the instrument's reply carried no usable result: not 0, so that a
// self-test nobody read never passes for one that did.
constexpr ViInt16 kSelfTestUnread = -1;

// The result that leads a self-test reply ("0\n", "1\n", "+0,\"Self-test passed\"\n") and, after
// a comma, the quoted message. False when the reply starts with no integer in the ViInt16 range;
// `result` and `message` are then left alone.
bool parse_self_test(const char* reply, ViInt16& result, ViChar* message) noexcept {
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(reply, &end, 10);
  if (end == reply || errno == ERANGE || value < std::numeric_limits<ViInt16>::min() ||
      value > std::numeric_limits<ViInt16>::max()) {
    return false;
  }
  result = static_cast<ViInt16>(value);
  message[0] = '\0';
  // ,"<message>": at most 255 characters up to the closing quote, as the 256-byte buffer holds.
  if (end[0] == ',' && end[1] == '"') {
    const char* text = end + 2;
    const std::size_t length = std::strcspn(text, "\"");
    const std::size_t kept = std::min(length, std::size_t{IVI_MAX_MESSAGE_LEN});
    std::memcpy(message, text, kept);
    message[kept] = '\0';
  }
  return true;
}

// The code that leads an error-queue reply ("-113,\"Undefined header\""); a reply that does not
// start with an integer gets VI_ERROR_INV_RESPONSE, which no instrument error code can equal.
ViInt32 leading_error_code(const char* reply) noexcept {
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(reply, &end, 10);
  if (end == reply || errno == ERANGE || value < std::numeric_limits<ViInt32>::min() ||
      value > std::numeric_limits<ViInt32>::max()) {
    return VI_ERROR_INV_RESPONSE;
  }
  return static_cast<ViInt32>(value);
}

// Writes at most `max` bytes of `text` and a NUL.
void copy_capped(const char* text, std::size_t length, std::size_t max, ViChar* destination) {
  const std::size_t kept = std::min(length, max);
  std::memcpy(destination, text, kept);
  destination[kept] = '\0';
}

// Refuses the first null output pointer, in parameter order (the first output being parameter 2).
ViStatus check_outputs(
    ViSession vi,
    std::initializer_list<std::pair<const void*, const char*>> outputs_and_messages) noexcept {
  ViInt32 position = 2;
  for (const auto& [output, message] : outputs_and_messages) {
    if (output == nullptr) return record_parameter_error(vi, position, message);
    ++position;
  }
  return VI_SUCCESS;
}

// The frame of a utility query with two outputs, a code and a 256-byte message: a null one is
// refused, in parameter order; a simulated session answers 0 and "No error.".
template <typename Code, typename Steps>
ViStatus run_utility_query(const FramePolicy& row, ViSession vi, Code* code, const char* null_code,
                           ViChar* message, const char* null_message, Steps&& steps) {
  const auto check = [&]() -> ViStatus {
    return check_outputs(vi, {{code, null_code}, {message, null_message}});
  };
  const auto simulated = [&]() -> ViStatus {
    *code = 0;
    std::strcpy(message, kNoError);
    return VI_SUCCESS;
  };
  return run_frame(row, vi, VI_NULL, check, simulated, std::forward<Steps>(steps));
}

// "*TST?" and its reply; a reply with a message runs the test again and takes
// "<code>,\"<message>\"" from the second reply. Stale bytes (the rest of a long reply, a reply that
// came after its time-out) are dropped before each "*TST?", so that they are not taken for the
// self-test's answer.
void self_test_steps(Exchange& exchange, ViInt16* result, ViChar* message) {
  Reply first;
  exchange.send("*TST?\n").read_raw(first);
  if (!exchange.ok()) return;
  Reply second;
  const Reply* answer = &first;
  if (std::strlen(first.text) > 2) {
    exchange.discard_buffers().send("*TST?\n").read_raw(second);
    if (!exchange.ok()) return;
    answer = &second;
  }
  // A bare code: 0 passed; any other number is the failure it reports.
  if (parse_self_test(answer->text, *result, message)) return;
  // No result to report: say so, and hand the reply back for the caller to see.
  *result = kSelfTestUnread;
  copy_capped(answer->text, answer->count, kMessageMax, message);
  const std::string elaboration =
      "The self-test reply holds no result in the 16-bit range: '" +
      std::string(answer->text, std::min<std::size_t>(answer->count, 100)) + "'";
  (void)Ivi_SetErrorInfo(exchange.vi(), VI_FALSE, VI_ERROR_INV_RESPONSE, VI_SUCCESS,
                         elaboration.c_str());
  exchange.then(VI_ERROR_INV_RESPONSE);
}

}  // namespace
}  // namespace zr48

using zr48::normalise;
using zr48::record_parameter_error;
using zr48::SessionLock;

ViStatus ZR48_ResetWithDefaults(ViSession vi) {
  SessionLock lock(vi);
  if (lock.status() < 0) return lock.status();
  const ViStatus status = normalise(ZR48_reset(vi));
  if (status < 0) return status;
  return normalise(Ivi_ApplyDefaultSetup(vi));
}

ViStatus ZR48_Disable(ViSession vi) {
  const SessionLock lock(vi);
  return lock.status();
}

ViStatus ZR48_self_test(ViSession vi, ViInt16* testResult, ViChar testMessage[]) {
  return zr48::run_utility_query(
      zr48::policy::kSelfTest, vi, testResult, "Null address for Test Result", testMessage,
      "Null address for Test Message",
      [&](zr48::Exchange& exchange) { zr48::self_test_steps(exchange, testResult, testMessage); });
}

ViStatus ZR48_revision_query(ViSession vi, ViChar driverRev[], ViChar instrRev[]) {
  SessionLock lock(vi);
  if (lock.status() < 0) return lock.status();
  ViStatus status = zr48::check_outputs(vi, {{driverRev, "Null address for Driver Revision"},
                                             {instrRev, "Null address for Instrument Revision"}});
  if (status < 0) return status;
  status = normalise(Ivi_GetAttributeViString(vi, "", ZR48_ATTR_SPECIFIC_DRIVER_REVISION, 0,
                                              IVI_MAX_MESSAGE_BUF_SIZE, driverRev));
  if (status < 0) return status;
  status = normalise(Ivi_GetAttributeViString(vi, "", ZR48_ATTR_INSTRUMENT_FIRMWARE_REVISION, 0,
                                              IVI_MAX_MESSAGE_BUF_SIZE, instrRev));
  if (status < 0) return status;
  return normalise(ZR48_StatusCheck(vi));
}

ViStatus ZR48_error_query(ViSession vi, ViInt32* errCode, ViChar errMessage[]) {
  return zr48::run_utility_query(
      zr48::policy::kErrorQuery, vi, errCode, "Null address for Error Code", errMessage,
      "Null address for Error Message", [&](zr48::Exchange& exchange) {
        zr48::Reply reply;
        exchange.send(":SYST:ERR?\n").read_raw(reply);
        if (!exchange.ok()) return;
        // The reply stays as received ("<code>,\"<text>\"\n"), cut to the 256-byte buffer.
        *errCode = zr48::leading_error_code(reply.text);
        zr48::copy_capped(reply.text, reply.count, zr48::kMessageMax, errMessage);
      });
}

ViStatus ZR48_GetChannelName(ViSession vi, ViInt32 index, ViInt32 bufferSize, ViChar name[]) {
  SessionLock lock(vi);
  if (lock.status() < 0) return lock.status();
  if (bufferSize != 0 && name == nullptr) {
    return record_parameter_error(vi, 4, "Null address for Channel Name");
  }
  ViInt32 count = 0;
  ViStatus status =
      normalise(Ivi_GetAttributeViInt32(vi, VI_NULL, ZR48_ATTR_CHANNEL_COUNT, 0, &count));
  if (status < 0) return status;
  if (index < 1 || index > count) return record_parameter_error(vi, 2, "Channel Index");

  ViConstString channel = nullptr;
  status = normalise(Ivi_GetNthChannelString(vi, index, &channel));
  if (status < 0) {
    (void)Ivi_SetErrorInfo(vi, VI_FALSE, status, Ivi_ParamPositionError(2), "Index");
    return status;
  }
  // The name the user knows the channel by: its virtual name where the configuration has one.
  status = normalise(Ivi_GetUserChannelName(vi, channel, &channel));
  if (status < 0) return status;
  return zr48::copy_with_buffer_rule(channel, bufferSize, name);
}

// The engine's services, handed through unchanged (warnings included), without a lock of their own.
ViStatus ZR48_LockSession(ViSession vi, ViBoolean* callerHasLock) {
  return Ivi_LockSession(vi, callerHasLock);
}
ViStatus ZR48_UnlockSession(ViSession vi, ViBoolean* callerHasLock) {
  return Ivi_UnlockSession(vi, callerHasLock);
}
ViStatus ZR48_InvalidateAllAttributes(ViSession vi) {
  return Ivi_InvalidateAllAttributes(vi);
}
ViStatus ZR48_GetNextCoercionRecord(ViSession vi, ViInt32 bufferSize, ViChar coercionRecord[]) {
  return Ivi_GetNextCoercionString(vi, bufferSize, coercionRecord);
}
ViStatus ZR48_GetNextInterchangeWarning(ViSession vi, ViInt32 bufferSize,
                                        ViChar interchangeWarning[]) {
  return Ivi_GetNextInterchangeCheckString(vi, bufferSize, interchangeWarning);
}
ViStatus ZR48_ClearInterchangeWarnings(ViSession vi) {
  return Ivi_ClearInterchangeWarnings(vi);
}
ViStatus ZR48_ResetInterchangeCheck(ViSession vi) {
  return Ivi_ResetInterchangeCheck(vi);
}
