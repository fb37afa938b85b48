// Reset and the default set-up step.
#include "frame/frame.h"
#include "internal.h"

ViStatus ZR48_reset(ViSession vi) {
  // No flush before the reset command; the defaults follow it, and stand in for it while
  // simulating.
  const auto defaults = [vi] { return ZR48_InstrDefaults(vi); };
  return zr48::run_frame(
      zr48::policy::kReset, vi, VI_NULL, zr48::Nothing{}, defaults,
      [&](zr48::Exchange& exchange) { exchange.send("*RST\n").then(defaults()); });
}

ViStatus ZR48_InstrDefaults(ViSession vi) {
  // Nothing is sent: every cached value is forgotten, so that the next read asks the instrument.
  ViStatus status = zr48::normalise(Ivi_InvalidateAllAttributes(vi));
  if (status == VI_SUCCESS && !Ivi_Simulating(vi)) {
    status = zr48::normalise(Ivi_SetNeedToCheckStatus(vi, VI_TRUE));
  }
  return status;
}
