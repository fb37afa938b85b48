// What the panel lets a user set on each output, and the check of a typed value against it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zr48::panel {

inline constexpr int kChannelCount = 7;

enum class Setting { kVoltage, kCurrent, kOvp };

struct Rating {
  double volt;  // highest voltage setting, V
  double curr;  // highest current setting, A
  double ovp;   // highest over-voltage protection level, V
};

// The rating of channel 1..7: channels 1-6 are 30 V / 3 A outputs, channel 7 a 6 V / 5 A one;
// the protection level may be set up to 110 % of the voltage rating.
const Rating& rating_of(int channel);

// "voltage" / "current" / "ovp" -> the setting, or nullopt.
std::optional<Setting> parse_setting(std::string_view name);

struct CheckedValue {
  std::string text;   // the value as sent to the instrument, e.g. "12.5"
  std::string error;  // empty when the value is good
};

// Accepts a plain decimal number (optionally with an exponent) within the setting's range on that
// channel; anything else gets an error message that says what is allowed.
CheckedValue check_value(int channel, Setting setting, std::string_view text);

}  // namespace zr48::panel
