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
  std::optional<bool> rangeCheck;
  std::optional<bool> queryInstrStatus;
  std::optional<bool> cache;
  std::optional<bool> simulate;
  std::optional<bool> recordCoercions;
  std::optional<bool> interchangeCheck;
  std::optional<std::string> driverSetup;
  // Engine-private: the logical name that Ivi_GetInfoFromResourceName resolved.
  std::optional<std::string> logicalName;

  // Settings present in `over` replace those here.
  void overrideWith(const OptionSettings& over);
};

// One Boolean option: its IVI name, the attribute it sets and where it is kept.
struct BoolOption {
  const char* name;
  ViAttr attribute;
  std::optional<bool> OptionSettings::*member;
};

// The Boolean option whose name matches `name` (case and whitespace ignored), or null.
const BoolOption* findBoolOption(std::string_view name);
bool isDriverSetupName(std::string_view name);

// "1", "0", "true", "false", "VI_TRUE", "VI_FALSE" in any case and spacing.
std::optional<bool> parseBooleanText(std::string_view text);

// The name of the engine-private entry that carries a resolved logical name.
inline constexpr const char* kLogicalNameOption = "LogicalName";

// Parses `text` into `out`. Engine-private entries are accepted only when `allowPrivate` is set.
// On failure returns the IVI status and fills `elaboration`.
ViStatus parseOptionString(std::string_view text, bool allowPrivate, OptionSettings& out,
                           std::string& elaboration);

}  // namespace zr48::engine

#endif
