#include "channel_limits.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace zr48::panel {
namespace {

// Volts, amperes and the protection limit of 110 % of the voltage rating.
constexpr Rating kMain{30.0, 3.0, 33.0};
constexpr Rating kAuxiliary{6.0, 5.0, 6.6};
constexpr std::array<Rating, kChannelCount> kRatings{
    {kMain, kMain, kMain, kMain, kMain, kMain, kAuxiliary}};

struct SettingInfo {
  std::string_view name;
  std::string_view label;
  const char* unit;
  double Rating::*max;
};
constexpr std::array<SettingInfo, 3> kSettings{{
    {"voltage", "Voltage", "V", &Rating::volt},
    {"current", "Current", "A", &Rating::curr},
    {"ovp", "OVP level", "V", &Rating::ovp},
}};

const SettingInfo& info_of(Setting setting) {
  return kSettings.at(static_cast<std::size_t>(setting));
}

// Digits with at most one point, an optional sign and exponent: what a person types. Rejects
// hexadecimal, "inf", "nan", units and SCPI words, which from_chars alone would partly accept.
bool is_plain_number(std::string_view text) {
  if (text.empty() || text.size() > 32) return false;
  bool digits = false;
  for (const char c : text) {
    const bool allowed =
        (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E';
    if (!allowed) return false;
    digits = digits || (c >= '0' && c <= '9');
  }
  return digits;
}

std::string format(double value) {
  std::array<char, 32> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  return {buffer.data(), result.ptr};
}

}  // namespace

const Rating& rating_of(int channel) {
  return kRatings.at(static_cast<std::size_t>(channel - 1));
}

std::optional<Setting> parse_setting(std::string_view name) {
  for (std::size_t i = 0; i < kSettings.size(); ++i) {
    if (kSettings.at(i).name == name) return static_cast<Setting>(i);
  }
  return std::nullopt;
}

CheckedValue check_value(int channel, Setting setting, std::string_view text) {
  const SettingInfo& info = info_of(setting);
  const double max = rating_of(channel).*(info.max);
  char range[96];
  std::snprintf(range, sizeof range, "%.*s of ch%d must be a number from 0 to %g %s",
                static_cast<int>(info.label.size()), info.label.data(), channel, max, info.unit);
  if (text.starts_with('+')) text.remove_prefix(1);
  double value = 0.0;
  if (!is_plain_number(text)) return {"", std::string(range) + "."};
  const auto parsed = std::from_chars(text.data(), text.data() + text.size(), value);
  if (parsed.ec != std::errc{} || parsed.ptr != text.data() + text.size() ||
      !std::isfinite(value)) {
    return {"", std::string(range) + "."};
  }
  if (value < 0.0 || value > max) {
    return {"", std::string(range) + "; " + format(value) + " is out of range."};
  }
  if (value == 0.0) value = 0.0;  // "-0" goes out as "0"
  return {format(value), ""};
}

}  // namespace zr48::panel
