// Operations of the VISA C interface that this layer does not serve: asynchronous I/O, events
// and handlers, GPIB bus control, interrupts and file transfers. Each checks its handle and
// answers VI_ERROR_NSUP_OPER (disabling and discarding events succeed with nothing to do), so a
// client learns "not here" rather than a missing symbol. Weak, so that a layer which serves one
// replaces it at link time.
#include "visa/visa.h"
#include "visa/lookup.h"

#define ZR48_REPLACEABLE __attribute__((weak))

namespace {

// VI_ERROR_INV_OBJECT for a handle that names nothing, else VI_ERROR_NSUP_OPER.
ViStatus not_served(ViObject vi) {
  return zr48::visa::registry::find(vi) == nullptr ? VI_ERROR_INV_OBJECT : VI_ERROR_NSUP_OPER;
}

}  // namespace

extern "C" {

ZR48_REPLACEABLE ViStatus viReadAsync(ViSession vi, ViPBuf, ViUInt32, ViPJobId) {
  return not_served(vi);
}
ZR48_REPLACEABLE ViStatus viWriteAsync(ViSession vi, ViConstBuf, ViUInt32, ViPJobId) {
  return not_served(vi);
}
ZR48_REPLACEABLE ViStatus viTerminate(ViObject vi, ViUInt16, ViJobId) {
  return not_served(vi);
}
ZR48_REPLACEABLE ViStatus viEnableEvent(ViSession vi, ViEventType, ViUInt16, ViEventFilter) {
  return not_served(vi);
}
// No event can be enabled, so disabling or discarding finds nothing to do (clients such as
// PyVISA do both before every close).
ZR48_REPLACEABLE ViStatus viDisableEvent(ViSession vi, ViEventType, ViUInt16) {
  return zr48::visa::registry::find(vi) == nullptr ? VI_ERROR_INV_OBJECT : VI_SUCCESS_EVENT_DIS;
}
ZR48_REPLACEABLE ViStatus viDiscardEvents(ViSession vi, ViEventType, ViUInt16) {
  return zr48::visa::registry::find(vi) == nullptr ? VI_ERROR_INV_OBJECT : VI_SUCCESS_QUEUE_EMPTY;
}
ZR48_REPLACEABLE ViStatus viWaitOnEvent(ViSession vi, ViEventType, ViUInt32, ViPEventType out_type,
                                        ViPEvent out_context) {
  if (out_type != nullptr) *out_type = 0;
  if (out_context != nullptr) *out_context = VI_NULL;
  return not_served(vi);
}
ZR48_REPLACEABLE ViStatus viInstallHandler(ViSession vi, ViEventType, ViHndlr, ViAddr) {
  return not_served(vi);
}
ZR48_REPLACEABLE ViStatus viUninstallHandler(ViSession vi, ViEventType, ViHndlr, ViAddr) {
  return not_served(vi);
}
ZR48_REPLACEABLE ViStatus viGpibControlREN(ViSession vi, ViUInt16) {
  return not_served(vi);
}
ZR48_REPLACEABLE ViStatus viGpibControlATN(ViSession vi, ViUInt16) {
  return not_served(vi);
}
ZR48_REPLACEABLE ViStatus viGpibSendIFC(ViSession vi) {
  return not_served(vi);
}
ZR48_REPLACEABLE ViStatus viGpibCommand(ViSession vi, ViConstBuf, ViUInt32, ViPUInt32 ret) {
  if (ret != nullptr) *ret = 0;
  return not_served(vi);
}
ZR48_REPLACEABLE ViStatus viGpibPassControl(ViSession vi, ViUInt16, ViUInt16) {
  return not_served(vi);
}
ZR48_REPLACEABLE ViStatus viAssertUtilSignal(ViSession vi, ViUInt16) {
  return not_served(vi);
}
ZR48_REPLACEABLE ViStatus viAssertIntrSignal(ViSession vi, ViInt16, ViUInt32) {
  return not_served(vi);
}
ZR48_REPLACEABLE ViStatus viReadToFile(ViSession vi, ViConstString, ViUInt32, ViPUInt32 ret) {
  if (ret != nullptr) *ret = 0;
  return not_served(vi);
}
ZR48_REPLACEABLE ViStatus viWriteFromFile(ViSession vi, ViConstString, ViUInt32, ViPUInt32 ret) {
  if (ret != nullptr) *ret = 0;
  return not_served(vi);
}

}  // extern "C"
