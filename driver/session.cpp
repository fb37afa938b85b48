// Session lifecycle: opening a driver session with one supply (real or simulated) and closing it.
#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <string_view>

#include "engine/logical_names.h"
#include "engine/session_visa.h"
#include "frame/frame.h"
#include "internal.h"

namespace {

using zr48::normalise;
using zr48::record_error;

constexpr const char* kPrefix = "ZR48";
constexpr const char* kChannelList = "ch1,ch2,ch3,ch4,ch5,ch6,ch7";
// Every unit of the supported model answers with this text first; serial number and firmware
// revision follow and differ from unit to unit.
constexpr std::string_view kExpectedIdentification = "Velharn, HLV3907,";
// How much of a refused identification the error elaboration quotes.
constexpr std::size_t kQuotedIdentification = 100;
constexpr ViUInt32 kTimeoutMs = 5000;
constexpr ViUInt32 kBufferSize = 4000;

// Opens the I/O session on the engine's resource manager and configures it: 5 s time-out,
// 4000-byte buffers, flushed on every access. A VISA failure is recorded; `io` keeps whatever
// session was opened, so that the caller can close it.
ViStatus open_io_session(ViSession vi, ViConstString resource, ViSession& io) {
  ViSession rm = VI_NULL;
  ViStatus status =
      normalise(Ivi_GetAttributeViSession(vi, VI_NULL, IVI_ATTR_VISA_RM_SESSION, 0, &rm));
  if (status < 0) return status;
  const zr48::visa_calls::VisaCalls& visa = zr48::engine::session_visa_calls(vi);
  status = record_error(vi, normalise(visa.open(rm, resource, VI_NULL, 0, &io)));
  if (status < 0) {
    io = VI_NULL;
    return status;
  }
  status = normalise(Ivi_SetAttributeViSession(vi, VI_NULL, IVI_ATTR_IO_SESSION, 0, io));
  if (status < 0) return status;
  status = normalise(visa.set_attribute(io, VI_ATTR_TMO_VALUE, kTimeoutMs));
  if (status == VI_SUCCESS)
    status = normalise(visa.set_buf(io, VI_READ_BUF | VI_WRITE_BUF, kBufferSize));
  if (status == VI_SUCCESS) {
    status = normalise(visa.set_attribute(io, VI_ATTR_WR_BUF_OPER_MODE, VI_FLUSH_ON_ACCESS));
  }
  if (status == VI_SUCCESS) {
    status = normalise(visa.set_attribute(io, VI_ATTR_RD_BUF_OPER_MODE, VI_FLUSH_ON_ACCESS));
  }
  return record_error(vi, status);
}

// Reads the identification (the instrument's, or the simulated one) and requires it to begin
// with the manufacturer and model fields; serial number, firmware and whatever follows are free.
ViStatus check_identification(ViSession vi) {
  std::array<ViChar, zr48::kReplySize> response{};
  const ViStatus status =
      normalise(Ivi_GetAttributeViString(vi, VI_NULL, ZR48_ATTR_ID_QUERY_RESPONSE, 0,
                                         static_cast<ViInt32>(response.size()), response.data()));
  if (status < 0) return status;
  const std::string_view answer(response.data());
  if (answer.starts_with(kExpectedIdentification)) return VI_SUCCESS;
  // The first line of the answer, cut to a length the elaboration holds.
  const std::string_view quoted =
      answer.substr(0, std::min(answer.find_first_of("\r\n"), kQuotedIdentification));
  const std::string elaboration = "The instrument answered '" + std::string(quoted) +
                                  "'; expected an identification beginning '" +
                                  std::string(kExpectedIdentification) + "'";
  (void)Ivi_SetErrorInfo(vi, VI_FALSE, VI_ERROR_FAIL_ID_QUERY, VI_SUCCESS, elaboration.c_str());
  return VI_ERROR_FAIL_ID_QUERY;
}

// A name that is neither a logical name nor a resource descriptor: say where it was looked up,
// rather than leave a bare parsing error.
void explain_unknown_name(ViSession vi, ViConstString name) {
  const std::string elaboration =
      "'" + std::string(name).substr(0, 80) + "' is not a logical name in " +
      zr48::engine::configuration_path() + ", nor a valid VISA resource descriptor";
  (void)Ivi_SetErrorInfo(vi, VI_TRUE, VI_ERROR_INV_RSRC_NAME, VI_SUCCESS, elaboration.c_str());
}

// Lets the driver, and not the user, write the resource descriptor, then stores it.
ViStatus store_resource_descriptor(ViSession vi, ViConstString descriptor) {
  IviAttrFlags flags = 0;
  ViStatus status = normalise(Ivi_GetAttributeFlags(vi, ZR48_ATTR_IO_RESOURCE_DESCRIPTOR, &flags));
  if (status < 0) return status;
  flags = (flags & ~IVI_VAL_NOT_WRITABLE) | IVI_VAL_NOT_USER_WRITABLE;
  status = normalise(Ivi_SetAttributeFlags(vi, ZR48_ATTR_IO_RESOURCE_DESCRIPTOR, flags));
  if (status < 0) return status;
  return normalise(
      Ivi_SetAttributeViString(vi, "", ZR48_ATTR_IO_RESOURCE_DESCRIPTOR, 0, descriptor));
}

}  // namespace

ViStatus ZR48_init(ViRsrc resourceName, ViBoolean IDQuery, ViBoolean resetDevice,
                   ViSession* newVi) {
  if (newVi == nullptr) {
    return zr48::record_parameter_error(VI_NULL, 4, "Null address for Instrument Handle");
  }
  return ZR48_InitWithOptions(resourceName, IDQuery, resetDevice, "", newVi);
}

ViStatus ZR48_InitWithOptions(ViRsrc resourceName, ViBoolean IDQuery, ViBoolean resetDevice,
                              ViConstString optionString, ViSession* newVi) {
  if (newVi == nullptr) {
    return zr48::record_parameter_error(VI_NULL, 5, "Null address for Instrument Handle");
  }
  *newVi = VI_NULL;
  if (resourceName == nullptr) {
    return zr48::record_parameter_error(VI_NULL, 1, "Null address for Resource Name");
  }

  std::array<ViChar, 256> resource{};
  std::array<ViChar, 256> options{};
  ViBoolean is_logical_name = VI_FALSE;
  ViSession vi = VI_NULL;
  ViStatus status = normalise(
      Ivi_GetInfoFromResourceName(resourceName, optionString != nullptr ? optionString : "",
                                  resource.data(), options.data(), &is_logical_name));
  if (status == VI_SUCCESS) status = normalise(Ivi_SpecificDriverNew(kPrefix, options.data(), &vi));
  if (status == VI_SUCCESS && !is_logical_name) {
    status = store_resource_descriptor(vi, resource.data());
  }
  if (status == VI_SUCCESS) {
    status = normalise(ZR48_SessionInit(resource.data(), IDQuery, resetDevice, vi));
    if (status == VI_ERROR_INV_RSRC_NAME && !is_logical_name)
      explain_unknown_name(vi, resourceName);
  }
  if (status == VI_SUCCESS && is_logical_name) status = normalise(Ivi_ApplyDefaultSetup(vi));

  if (status == VI_SUCCESS) {
    *newVi = vi;
  } else if (vi != VI_NULL) {
    (void)Ivi_Dispose(vi);  // hands the session's error information to this thread
  }
  return status;
}

ViStatus ZR48_SessionInit(ViConstString resourceName, ViBoolean idQuery, ViBoolean reset,
                          ViSession vi) {
  ViSession io = VI_NULL;
  ViStatus status = normalise(Ivi_BuildChannelTable(vi, kChannelList, VI_FALSE, VI_NULL));
  if (status == VI_SUCCESS) status = normalise(ZR48_InitAttributes(vi));
  const bool simulating = status == VI_SUCCESS && Ivi_Simulating(vi) != VI_FALSE;
  if (status == VI_SUCCESS && !simulating) status = open_io_session(vi, resourceName, io);
  if (status == VI_SUCCESS) {
    status = normalise(reset != VI_FALSE ? ZR48_reset(vi) : ZR48_InstrDefaults(vi));
  }
  if (status == VI_SUCCESS && idQuery != VI_FALSE) status = check_identification(vi);
  if (status == VI_SUCCESS) status = normalise(ZR48_StatusCheck(vi));

  if (status < 0 && !simulating && io != VI_NULL) {
    (void)zr48::engine::session_visa_calls(vi).close(io);
  }
  return status;
}

ViStatus ZR48_close(ViSession vi) {
  const zr48::SessionLock lock(vi);
  const ViStatus status = lock.status() < 0 ? lock.status() : ZR48_SessionClose(vi);
  // Disposed while the lock is still held: calls queued on it give up as calls on a closed
  // session instead of running on one whose I/O session is gone. The unlock that follows finds
  // the session gone and does nothing.
  (void)Ivi_Dispose(vi);
  return status;
}

ViStatus ZR48_SessionClose(ViSession vi) {
  ViSession io = VI_NULL;
  const ViStatus status =
      normalise(Ivi_GetAttributeViSession(vi, VI_NULL, IVI_ATTR_IO_SESSION, 0, &io));
  (void)Ivi_SetAttributeViSession(vi, VI_NULL, IVI_ATTR_IO_SESSION, 0, VI_NULL);
  if (io != VI_NULL) (void)zr48::engine::session_visa_calls(vi).close(io);
  return status;
}
