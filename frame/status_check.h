// The instrument-status check and the two hooks the engine calls: the instrument reports no
// status the driver could query, so the check asks nothing and only clears the need-to-check flag.
// Never exported (the version script exports only the public header's functions).
#ifndef ZR48_FRAME_STATUS_CHECK_H
#define ZR48_FRAME_STATUS_CHECK_H

#include "ZR48.h"

#ifdef __cplusplus
extern "C" {
#endif

// Runs the status callback when status queries are on, a check is due and the session is real;
// a failure leaves the check due.
ViStatus ZR48_StatusCheck(ViSession vi);

// The engine's check-status and operation-complete hooks: nothing to ask the instrument.
ViStatus ZR48_StatusCallback(ViSession vi, ViSession io);
ViStatus ZR48_OpcCallback(ViSession vi, ViSession io);

#ifdef __cplusplus
}
#endif

#endif  // ZR48_FRAME_STATUS_CHECK_H
