// Fixed facts about the engine: its revision and where logical names are configured.
#ifndef ZR48_PLATFORM_ENGINE_ENGINE_INFO_H
#define ZR48_PLATFORM_ENGINE_ENGINE_INFO_H

#include <cstdio>
#include <string>

#include "engine/ivi_engine.h"

namespace zr48::engine {

// "4.00": the revision ivi_engine.h gives, as IVI_ATTR_ENGINE_REVISION and the description
// report it.
inline std::string engine_revision() {
  char text[16];
  (void)std::snprintf(text, sizeof text, "%d.%02d", IVI_ENGINE_MAJOR_VERSION,
                      IVI_ENGINE_MINOR_VERSION);
  return text;
}
// The environment variable that names the logical-name configuration file, and the file used
// when it is unset or empty.
inline constexpr const char* kConfigEnvVar = "ZR48_CONFIG";
inline constexpr const char* kDefaultConfigPath = "/etc/zr48/logical-names.toml";

}  // namespace zr48::engine

#endif
