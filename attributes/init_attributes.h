// What the driver's session code hands the engine: the attribute registration and the two
// callbacks it installs. Never exported (the version script exports only the public header's
// functions).
#ifndef ZR48_ATTRIBUTES_INIT_ATTRIBUTES_H
#define ZR48_ATTRIBUTES_INIT_ATTRIBUTES_H

#include "ZR48.h"

#ifdef __cplusplus
extern "C" {
#endif

// Registers the driver's attributes and adjusts the engine's inherent ones; no instrument I/O.
ViStatus ZR48_InitAttributes(ViSession vi);

// The engine's check-status and operation-complete hooks: nothing to ask the instrument.
ViStatus ZR48_StatusCallback(ViSession vi, ViSession io);
ViStatus ZR48_OpcCallback(ViSession vi, ViSession io);

#ifdef __cplusplus
}
#endif

#endif  // ZR48_ATTRIBUTES_INIT_ATTRIBUTES_H
