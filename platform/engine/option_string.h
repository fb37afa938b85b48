// IVI option strings: "Name=Value" entries separated by commas (IVI-3.2 6.16). Names and Boolean
// values are case- and whitespace-insensitive; DriverSetup takes the rest of the string.
#ifndef ZR48_PLATFORM_ENGINE_OPTION_STRING_H
#define ZR48_PLATFORM_ENGINE_OPTION_STRING_H

#include <optional>
#include <string>
#include <string_view>

#include "engine/ivi_engine.h"

namespace zr48::engine {

// Settings named by an option string or a logical name; unset ones keep their defaults.
struct OptionSettings {
  std::optional<bool> range_check;
  std::optional<bool> query_instr_status;
  std::optional<bool> cache;
  std::optional<bool> simulate;
  std::optional<bool> record_coercions;
  std::optional<bool> interchange_check;
  std::optional<std::string> driver_setup;
  // Engine-private: the logical name that Ivi_GetInfoFromResourceName resolved.
  std::optional<std::string> logical_name;

  // Settings present in `over` replace those here.
  void override_with(const OptionSettings& over);
};

// One Boolean option: its IVI name, the attribute it sets and where it is kept.
struct BoolOption {
  const char* name;
  ViAttr attribute;
  std::optional<bool> OptionSettings::*member;
};

// The Boolean option whose name matches `name` (case and whitespace ignored), or null.
const BoolOption* find_bool_option(std::string_view name);
bool is_driver_setup_name(std::string_view name);

// "1", "0", "true", "false", "VI_TRUE", "VI_FALSE" in any case and spacing.
std::optional<bool> parse_boolean_text(std::string_view text);

// The name of the engine-private entry that carries a resolved logical name.
inline constexpr const char* kLogicalNameOption = "LogicalName";

// Parses `text` into `out`. Engine-private entries are accepted only when `allowPrivate` is set.
// On failure returns the IVI status and fills `elaboration`.
ViStatus parse_option_string(std::string_view text, bool allowPrivate, OptionSettings& out,
                             std::string& elaboration);

}  // namespace zr48::engine

#endif
