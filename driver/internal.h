// The driver's internal routines: shared between the session code, reset and the utility
// functions, never exported (hidden visibility; the version script exports only
// the public header's functions).
#ifndef ZR48_DRIVER_INTERNAL_H
#define ZR48_DRIVER_INTERNAL_H

#include "ZR48.h"
#include "attributes/init_attributes.h"
#include "frame/status_check.h"

#ifdef __cplusplus
extern "C" {
#endif

// Everything after the engine session exists: channel table, attribute registration, the I/O
// session (unless simulating), reset or default set-up, identification check, status check.
// On failure the I/O session it opened is closed again; the caller disposes of the session.
ViStatus ZR48_SessionInit(ViConstString resourceName, ViBoolean idQuery, ViBoolean reset,
                          ViSession vi);
// Releases the session's I/O session; the caller holds the session lock.
ViStatus ZR48_SessionClose(ViSession vi);

// Forgets every cached attribute value and marks the instrument status as needing a check.
ViStatus ZR48_InstrDefaults(ViSession vi);
#ifdef __cplusplus
}
#endif

#endif  // ZR48_DRIVER_INTERNAL_H
