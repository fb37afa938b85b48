// Optional I/O trace. ZR48_VISA_TRACE=stderr (or =1) writes to standard error, any other value
// is a file path to append to; unset or empty, tracing is off and costs one flag test per call.
#ifndef ZR48_PLATFORM_VISA_TRACE_H
#define ZR48_PLATFORM_VISA_TRACE_H

#include <string_view>

#include "zr48_visatype.h"

namespace zr48::visa::trace {

// Read once, on first use.
bool enabled();

// One line: time stamp, operation, session, status name and code, and the bytes (escaped).
void record(std::string_view operation, ViObject vi, ViStatus status, std::string_view bytes = {});

// Same, with a free-form detail instead of bytes (e.g. a resource name or attribute id).
void note(std::string_view operation, ViObject vi, ViStatus status, std::string_view detail);

}  // namespace zr48::visa::trace

#endif
