// Logical names: named instrument configurations read from a TOML file (location: the
// ZR48_CONFIG environment variable, else /etc/zr48/logical-names.toml). Each top-level table is
// one logical name:
//
//   [bench1]
//   resource = "TCPIP0::192.168.1.20::5025::SOCKET"
//   options = { Simulate = false, RangeCheck = true, DriverSetup = "..." }
//   virtual-channels = { Output1 = "ch1" }
//   default-setup = [ { attribute = "ZR48_ATTR_OVP_LIMIT", channel = "Output1", value = 12.0 } ]
#ifndef ZR48_PLATFORM_ENGINE_LOGICAL_NAMES_H
#define ZR48_PLATFORM_ENGINE_LOGICAL_NAMES_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "engine/channel_table.h"
#include "engine/ivi_engine.h"
#include "engine/option_string.h"

namespace zr48::engine {

// One attribute value applied by Ivi_ApplyDefaultSetup. The attribute is named by its
// registered name or, when `attribute_name` is empty, by `attribute_id`.
struct DefaultSetupEntry {
  std::string attribute_name;
  ViAttr attribute_id = 0;
  std::string channel;
  std::variant<bool, std::int64_t, double, std::string> value;

  std::string describe() const;
};

struct LogicalName {
  std::string name;
  std::string resource;
  OptionSettings options;
  VirtualChannelMap virtual_channels;
  std::vector<DefaultSetupEntry> default_setup;
};

// The configuration file this process reads.
std::string configuration_path();

// The largest configuration file read: far beyond any bench's names, small enough that a wrong
// path (a device, a log file) fails at once instead of filling memory.
inline constexpr std::size_t kMaxConfigFileBytes = std::size_t{4} << 20;

// Reads the configuration file: a missing one gives empty text; anything but a regular file, or
// one larger than kMaxConfigFileBytes, fails with an elaboration that names the file.
ViStatus read_configuration_file(const std::string& file, std::string& text,
                                 std::string& elaboration);

// Looks `name` up. A missing file or an absent name leaves `out` empty and succeeds; an
// unreadable or malformed file, or a malformed entry for `name`, fails with an elaboration that
// names the file and the problem.
ViStatus look_up_logical_name(std::string_view name, std::optional<LogicalName>& out,
                              std::string& elaboration);

// The same look-up in the text of a configuration file; `file` names it in elaborations.
ViStatus look_up_logical_name_in(std::string_view configuration, const std::string& file,
                                 std::string_view name, std::optional<LogicalName>& out,
                                 std::string& elaboration);

}  // namespace zr48::engine

#endif
