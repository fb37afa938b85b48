#include "status_check.h"

#include "frame.h"

ViStatus ZR48_StatusCheck(ViSession vi) {
  if (!Ivi_QueryInstrStatus(vi) || !Ivi_NeedToCheckStatus(vi) || Ivi_Simulating(vi)) {
    return VI_SUCCESS;
  }
  const ViStatus status = zr48::normalise(ZR48_StatusCallback(vi, Ivi_IOSession(vi)));
  if (status < 0) return status;  // the check stays due
  return zr48::normalise(Ivi_SetNeedToCheckStatus(vi, VI_FALSE));
}

ViStatus ZR48_StatusCallback(ViSession /*vi*/, ViSession /*io*/) {
  return VI_SUCCESS;
}

ViStatus ZR48_OpcCallback(ViSession /*vi*/, ViSession /*io*/) {
  return VI_SUCCESS;
}
