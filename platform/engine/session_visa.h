// Which VISA library a session's I/O goes through (see visa_calls/visa_calls.h).
#ifndef ZR48_PLATFORM_ENGINE_SESSION_VISA_H
#define ZR48_PLATFORM_ENGINE_SESSION_VISA_H

#include "engine/ivi_engine.h"
#include "visa_calls/visa_calls.h"

namespace zr48::engine {

// Names another VISA shared library for the sessions created from then on; read as each session
// that does real I/O is created.
constexpr const char* kVisaLibraryEnvVar = "ZR48_VISA_LIBRARY";

// The VISA operations of session `vi`. The table stays valid while the session lives; an unknown
// handle gets the I/O layer's own, whose operations then refuse the I/O handle they are given.
const visa_calls::VisaCalls& session_visa_calls(ViSession vi) noexcept;

}  // namespace zr48::engine

#endif
