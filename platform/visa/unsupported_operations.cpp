// Operations of the VISA C interface that this layer does not serve: GPIB bus control,
// interrupts and file transfers. Each checks its handle and answers VI_ERROR_NSUP_OPER, so a
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
