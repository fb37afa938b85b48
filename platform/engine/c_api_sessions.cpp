// The C interface for sessions, the lock, session state and error information.
#include <cstring>

#include "engine/buffer_rule.h"
#include "engine/guarded.h"
#include "engine/session.h"
#include "engine/session_factory.h"
#include "engine/session_registry.h"
#include "engine/status_text.h"

using namespace zr48::engine;

namespace {

template <class F>
ViBoolean state_of(ViSession vi, F&& read) {
  const SessionRef ref(vi);
  return ref && read(*ref) ? VI_TRUE : VI_FALSE;
}

void fill_error_outputs(const ErrorInfo& info, ViStatus* primary, ViStatus* secondary,
                        ViChar* elaboration) {
  if (primary != nullptr) *primary = info.primary;
  if (secondary != nullptr) *secondary = info.secondary;
  if (elaboration != nullptr) copy_to_message_buffer(info.elaboration, elaboration);
}

}  // namespace

extern "C" {

ViStatus Ivi_GetInfoFromResourceName(ViRsrc resourceName, ViConstString optionString,
                                     ViChar newResourceName[256], ViChar newOptionString[256],
                                     ViBoolean* isLogicalName) {
  return guarded([&]() -> ViStatus {
    return resolve_resource_name(resourceName, optionString, newResourceName, newOptionString,
                                 isLogicalName);
  });
}

ViStatus Ivi_SpecificDriverNew(ViConstString specificPrefix, ViConstString optionString,
                               ViSession* newVi) {
  return guarded([&]() -> ViStatus { return create_session(specificPrefix, optionString, newVi); });
}

ViStatus Ivi_Dispose(ViSession vi) {
  return guarded([&]() -> ViStatus { return dispose_session(vi); });
}

ViStatus Ivi_LockSession(ViSession vi, ViBoolean* callerHasLock) {
  if (callerHasLock != nullptr && *callerHasLock != VI_FALSE) return VI_SUCCESS;
  const ViStatus status = registry::lock(vi);
  if (status == VI_SUCCESS && callerHasLock != nullptr) *callerHasLock = VI_TRUE;
  return status;
}

ViStatus Ivi_UnlockSession(ViSession vi, ViBoolean* callerHasLock) {
  if (callerHasLock != nullptr && *callerHasLock == VI_FALSE) return VI_SUCCESS;
  const ViStatus status = registry::unlock(vi);
  if (status == VI_SUCCESS) {
    if (callerHasLock != nullptr) *callerHasLock = VI_FALSE;
    return status;
  }
  return guarded([&]() -> ViStatus {
    if (const SessionRef ref(vi); ref && status != IVI_ERROR_INVALID_SESSION_HANDLE) {
      ref->fail(status, "Ivi_UnlockSession: the calling thread does not hold the session lock");
    }
    return status;
  });
}

ViBoolean Ivi_Simulating(ViSession vi) {
  return state_of(vi, [](const Session& s) { return s.simulate.load(); });
}

ViBoolean Ivi_RangeChecking(ViSession vi) {
  return state_of(vi, [](const Session& s) { return s.range_check.load(); });
}

ViBoolean Ivi_QueryInstrStatus(ViSession vi) {
  return state_of(vi, [](const Session& s) { return s.query_instr_status.load(); });
}

ViBoolean Ivi_NeedToCheckStatus(ViSession vi) {
  return state_of(vi, [](const Session& s) { return s.need_to_check_status.load(); });
}

ViStatus Ivi_SetNeedToCheckStatus(ViSession vi, ViBoolean needToCheckStatus) {
  const SessionRef ref(vi);
  if (!ref) return IVI_ERROR_INVALID_SESSION_HANDLE;
  ref->need_to_check_status = needToCheckStatus != VI_FALSE;
  return VI_SUCCESS;
}

ViSession Ivi_IOSession(ViSession vi) {
  const SessionRef ref(vi);
  return ref ? ref->io_session.load() : VI_NULL;
}

ViStatus Ivi_SetErrorInfo(ViSession vi, ViBoolean overrideExistingError, ViStatus primaryError,
                          ViStatus secondaryError, ViConstString errorElaboration) {
  return guarded([&]() -> ViStatus {
    const bool overwrite = overrideExistingError != VI_FALSE;
    if (vi == VI_NULL) {
      thread_error_info().record(overwrite, primaryError, secondaryError, errorElaboration);
      return VI_SUCCESS;
    }
    const SessionRef ref(vi);
    if (!ref) return IVI_ERROR_INVALID_SESSION_HANDLE;
    ref->errors.record(overwrite, primaryError, secondaryError, errorElaboration);
    return VI_SUCCESS;
  });
}

ViStatus Ivi_GetErrorInfo(ViSession vi, ViStatus* primaryError, ViStatus* secondaryError,
                          ViChar errorElaboration[256]) {
  return guarded([&]() -> ViStatus {
    if (vi == VI_NULL) {
      ErrorInfo& info = thread_error_info();
      fill_error_outputs(info, primaryError, secondaryError, errorElaboration);
      info.clear();
      return VI_SUCCESS;
    }
    const SessionRef ref(vi);
    if (!ref) return IVI_ERROR_INVALID_SESSION_HANDLE;
    fill_error_outputs(ref->errors.take(), primaryError, secondaryError, errorElaboration);
    return VI_SUCCESS;
  });
}

ViStatus Ivi_ClearErrorInfo(ViSession vi) {
  if (vi == VI_NULL) {
    thread_error_info().clear();
    return VI_SUCCESS;
  }
  const SessionRef ref(vi);
  if (!ref) return IVI_ERROR_INVALID_SESSION_HANDLE;
  ref->errors.clear();
  return VI_SUCCESS;
}

ViStatus Ivi_ParamPositionError(ViInt32 parameterPosition) {
  if (parameterPosition < 1 || parameterPosition > 8) return IVI_ERROR_INVALID_PARAMETER;
  return VI_ERROR_PARAMETER1 + (parameterPosition - 1);
}

ViStatus Ivi_GetSpecificDriverStatusDesc(ViSession vi, ViStatus statusCode, ViChar messageBuf[256],
                                         const IviStringValueTableEntry* additionalTableToSearch) {
  return guarded([&]() -> ViStatus {
    if (messageBuf == nullptr) return IVI_ERROR_INVALID_PARAMETER;
    if (vi == VI_NULL) return describe_status({}, statusCode, additionalTableToSearch, messageBuf);
    const SessionRef ref(vi);
    if (!ref) return IVI_ERROR_INVALID_SESSION_HANDLE;
    return describe_status(ref->prefix(), statusCode, additionalTableToSearch, messageBuf);
  });
}

}  // extern "C"
