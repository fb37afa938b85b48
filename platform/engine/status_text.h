// Texts for status codes: the driver's own table first, then the engine's codes (IVI-3.2 texts,
// led by the driver prefix when a session names one), then VISA's, then a defined text for an
// unknown code.
#ifndef ZR48_PLATFORM_ENGINE_STATUS_TEXT_H
#define ZR48_PLATFORM_ENGINE_STATUS_TEXT_H

#include <string_view>

#include "engine/ivi_engine.h"

namespace zr48::engine {

// Writes at most IVI_MAX_MESSAGE_BUF_SIZE bytes into `buf`. Returns VI_SUCCESS, or
// VI_WARN_UNKNOWN_STATUS for a code no table knows. `prefix` may be empty.
ViStatus describe_status(std::string_view prefix, ViStatus status,
                         const IviStringValueTableEntry* driverTable, ViChar* buf);

// The engine's own text for a code, without prefix, or null.
const char* engine_status_text(ViStatus status, bool& prefixed);

}  // namespace zr48::engine

#endif
