// Fixed facts about the engine: its revision and where logical names are configured.
#ifndef ZR48_PLATFORM_ENGINE_ENGINE_INFO_H
#define ZR48_PLATFORM_ENGINE_ENGINE_INFO_H

namespace zr48::engine {

inline constexpr const char* kEngineRevision = "1.0.0";
// The environment variable that names the logical-name configuration file, and the file used
// when it is unset or empty.
inline constexpr const char* kConfigEnvVar = "ZR48_CONFIG";
inline constexpr const char* kDefaultConfigPath = "/etc/zr48/logical-names.toml";

}  // namespace zr48::engine

#endif
