// What the driver's session code hands the engine: the attribute registration, which also installs
// the engine's status and operation-complete hooks (frame/status_check.h). Never exported (the
// version script exports only the public header's functions).
#ifndef ZR48_ATTRIBUTES_INIT_ATTRIBUTES_H
#define ZR48_ATTRIBUTES_INIT_ATTRIBUTES_H

#include "ZR48.h"

#ifdef __cplusplus
extern "C" {
#endif

// Registers the driver's attributes and adjusts the engine's inherent ones; no instrument I/O.
ViStatus ZR48_InitAttributes(ViSession vi);

#ifdef __cplusplus
}
#endif

#endif  // ZR48_ATTRIBUTES_INIT_ATTRIBUTES_H
