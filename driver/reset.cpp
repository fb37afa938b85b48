// Reset, the default set-up step and the instrument-status check.
#include "frame/frame.h"
#include "internal.h"

using zr48::Normalise;

ViStatus ZR48_reset(ViSession vi) {
  zr48::SessionLock lock(vi);
  if (lock.status() < 0) return lock.status();
  ViStatus status = VI_SUCCESS;
  if (!Ivi_Simulating(vi)) {
    // No flush before the reset command; its failure is recorded.
    zr48::Exchange exchange(vi, Ivi_IOSession(vi));
    exchange.MarkStatusUnchecked().Send("*RST\n", zr48::Record::kYes);
    status = exchange.status();
  }
  if (status == VI_SUCCESS) status = Normalise(ZR48_InstrDefaults(vi));
  if (status == VI_SUCCESS) status = Normalise(ZR48_StatusCheck(vi));
  return status;
}

ViStatus ZR48_InstrDefaults(ViSession vi) {
  // Nothing is sent: every cached value is forgotten, so that the next read asks the instrument.
  ViStatus status = Normalise(Ivi_InvalidateAllAttributes(vi));
  if (status == VI_SUCCESS && !Ivi_Simulating(vi)) {
    status = Normalise(Ivi_SetNeedToCheckStatus(vi, VI_TRUE));
  }
  return status;
}

ViStatus ZR48_StatusCheck(ViSession vi) {
  if (!Ivi_QueryInstrStatus(vi) || !Ivi_NeedToCheckStatus(vi) || Ivi_Simulating(vi)) {
    return VI_SUCCESS;
  }
  const ViStatus status = Normalise(ZR48_StatusCallback(vi, Ivi_IOSession(vi)));
  if (status < 0) return status;  // the check stays due
  return Normalise(Ivi_SetNeedToCheckStatus(vi, VI_FALSE));
}
