// Temporary C facade: resource-manager sessions and status texts work; the I/O operations
// are being built and report VI_ERROR_NSUP_OPER until then.
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>

#include "visa/visa.h"

namespace {
std::mutex g_mutex;
std::set<ViSession> g_rms;
ViSession g_next = 1;
}  // namespace

extern "C" {
ViStatus viOpenDefaultRM(ViPSession vi) {
  if (vi == nullptr) return VI_ERROR_INV_PARAMETER;
  std::lock_guard lock(g_mutex);
  *vi = g_next++;
  g_rms.insert(*vi);
  return VI_SUCCESS;
}
ViStatus viClose(ViObject vi) {
  std::lock_guard lock(g_mutex);
  if (vi == VI_NULL) return VI_WARN_NULL_OBJECT;
  return g_rms.erase(vi) != 0 ? VI_SUCCESS : VI_ERROR_INV_OBJECT;
}
ViStatus viStatusDesc(ViObject, ViStatus status, ViChar desc[]) {
  if (desc == nullptr) return VI_ERROR_INV_PARAMETER;
  std::snprintf(desc, 256,
                status == VI_SUCCESS ? "VI_SUCCESS: Operation completed successfully."
                                     : "VI_WARN_UNKNOWN_STATUS: 0x%08X",
                static_cast<unsigned>(status));
  return status == VI_SUCCESS ? VI_SUCCESS : VI_WARN_UNKNOWN_STATUS;
}
ViStatus viOpen(ViSession, ViConstRsrc, ViAccessMode, ViUInt32, ViPSession) {
  return VI_ERROR_NSUP_OPER;
}
ViStatus viSetAttribute(ViObject, ViAttr, ViAttrState) {
  return VI_ERROR_NSUP_OPER;
}
ViStatus viGetAttribute(ViObject, ViAttr, void*) {
  return VI_ERROR_NSUP_OPER;
}
ViStatus viSetBuf(ViSession, ViUInt16, ViUInt32) {
  return VI_ERROR_NSUP_OPER;
}
ViStatus viFlush(ViSession, ViUInt16) {
  return VI_ERROR_NSUP_OPER;
}
ViStatus viRead(ViSession, ViPBuf, ViUInt32, ViPUInt32) {
  return VI_ERROR_NSUP_OPER;
}
ViStatus viWrite(ViSession, ViConstBuf, ViUInt32, ViPUInt32) {
  return VI_ERROR_NSUP_OPER;
}
ViStatus viPrintf(ViSession, ViConstString, ...) {
  return VI_ERROR_NSUP_OPER;
}
ViStatus viVPrintf(ViSession, ViConstString, va_list) {
  return VI_ERROR_NSUP_OPER;
}
ViStatus viScanf(ViSession, ViConstString, ...) {
  return VI_ERROR_NSUP_OPER;
}
ViStatus viVScanf(ViSession, ViConstString, va_list) {
  return VI_ERROR_NSUP_OPER;
}
}
