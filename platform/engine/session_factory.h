// Creating and disposing of sessions: option strings and logical names resolved, the IVI
// inherent attributes added, the VISA resource manager opened; on dispose, a session's error
// information passes to the disposing thread.
#ifndef ZR48_PLATFORM_ENGINE_SESSION_FACTORY_H
#define ZR48_PLATFORM_ENGINE_SESSION_FACTORY_H

#include <string>

#include "engine/ivi_engine.h"

namespace zr48::engine {

ViStatus resolve_resource_name(const char* resourceName, const char* optionString, ViChar* newName,
                               ViChar* newOptions, ViBoolean* isLogicalName);
ViStatus create_session(const char* prefix, const char* optionString, ViSession* newVi);
ViStatus dispose_session(ViSession vi);

// Records a failure in the calling thread's error information and returns it.
ViStatus fail_on_thread(ViStatus status, ViStatus secondary, const std::string& elaboration);

}  // namespace zr48::engine

#endif
