// What the front of the supply shows for one output: levels, measurements and state.
#ifndef ZR48_TOOLS_CLI_READINGS_H
#define ZR48_TOOLS_CLI_READINGS_H

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "driver_session.h"

namespace zr48::cli {

constexpr int kChannelCount = 7;

struct ChannelReading {
  int channel = 0;
  double volts = 0;  // measured
  double amps = 0;
  double watts = 0;
  std::string mode;  // "CV", "CC" or "off"
  bool ovp_tripped = false;
  bool output_on = false;
};

// "ch2", "CH2", "2" -> 2; "all" -> every channel. Throws a usage Failure otherwise.
std::vector<int> parse_channels(const std::string& text);
std::string channel_name(int channel);

// One channel's readings, taken under the session lock.
ChannelReading read_channel(const DriverSession& session, int channel);

nlohmann::ordered_json to_json(const ChannelReading& reading);
// The table header and one aligned row per reading.
std::string format_table(const std::vector<ChannelReading>& readings);
std::string csv_header();
std::string csv_row(const std::string& time, const ChannelReading& reading);

}  // namespace zr48::cli

#endif  // ZR48_TOOLS_CLI_READINGS_H
