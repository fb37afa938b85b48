#include "readings.h"

#include <cctype>
#include <cstdio>

namespace zr48::cli {
namespace {

// The instrument's OPERation ISUM condition bits of one output.
constexpr long kConstantVoltage = 1 << 8;
constexpr long kConstantCurrent = 1 << 10;

std::string reply(const DriverSession& session,
                  ViStatus (*function)(ViSession, ViChar[], ViConstString), int channel,
                  const char* what) {
  char reply[512] = "";
  session.check(function(session.vi(), reply, channel_name(channel).c_str()), what);
  return reply;
}

bool is_on(const std::string& reply) {
  const std::string text = trim_reply(reply);
  return text == "1" || text == "ON";
}

std::string format(const char* format, double value) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

}  // namespace

std::vector<int> parse_channels(const std::string& text) {
  std::string lower;
  for (const char c : text) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower == "all") return {1, 2, 3, 4, 5, 6, 7};
  const std::string digits = lower.starts_with("ch") ? lower.substr(2) : lower;
  if (digits.size() == 1 && digits[0] >= '1' && digits[0] < '1' + kChannelCount) {
    return {digits[0] - '0'};
  }
  throw Failure(Exit::kUsage, "no channel '" + text + "': use ch1 to ch7 or all");
}

std::string channel_name(int channel) {
  return "ch" + std::to_string(channel);
}

ChannelReading read_channel(const DriverSession& session, int channel) {
  const SessionLock lock(session);
  ChannelReading reading;
  reading.channel = channel;
  reading.volts = parse_number(reply(session, ZR48_MeasVolt, channel, "MEAS:VOLT?"));
  reading.amps = parse_number(reply(session, ZR48_MeasCurr, channel, "MEAS:CURR?"));
  reading.watts = parse_number(reply(session, ZR48_MeasPow, channel, "MEAS:POW?"));
  reading.ovp_tripped = is_on(reply(session, ZR48_GetVoltProtTrip, channel, "VOLT:PROT:TRIP?"));
  // The output switch and the regulation state are read fresh, not from the driver's cache.
  session.scpi("INST " + channel_name(channel));
  reading.output_on = is_on(session.scpi("OUTP?"));
  const auto condition = static_cast<long>(
      parse_number(session.scpi("STAT:OPER:INST:ISUM" + std::to_string(channel) + ":COND?")));
  reading.mode = (condition & kConstantCurrent) != 0   ? "CC"
                 : (condition & kConstantVoltage) != 0 ? "CV"
                                                       : "off";
  return reading;
}

nlohmann::ordered_json to_json(const ChannelReading& reading) {
  return {{"channel", channel_name(reading.channel)},
          {"voltage", reading.volts},
          {"current", reading.amps},
          {"power", reading.watts},
          {"mode", reading.mode},
          {"ovp_tripped", reading.ovp_tripped},
          {"output", reading.output_on}};
}

std::string format_table(const std::vector<ChannelReading>& readings) {
  std::string table = "CH    VOLTAGE    CURRENT      POWER  MODE  OVP      OUTPUT\n";
  for (const ChannelReading& r : readings) {
    char row[128];
    std::snprintf(row, sizeof row, "%-4s %9s %10s %10s  %-4s  %-7s  %s\n",
                  channel_name(r.channel).c_str(), format("%.3f V", r.volts).c_str(),
                  format("%.4f A", r.amps).c_str(), format("%.3f W", r.watts).c_str(),
                  r.mode.c_str(), r.ovp_tripped ? "TRIPPED" : "ok", r.output_on ? "on" : "off");
    table += row;
  }
  return table;
}

std::string csv_header() {
  return "time,channel,voltage,current,power,mode,ovp_tripped,output\n";
}

std::string csv_row(const std::string& time, const ChannelReading& r) {
  char row[160];
  std::snprintf(row, sizeof row, "%s,%s,%.6g,%.6g,%.6g,%s,%d,%d\n", time.c_str(),
                channel_name(r.channel).c_str(), r.volts, r.amps, r.watts, r.mode.c_str(),
                r.ovp_tripped ? 1 : 0, r.output_on ? 1 : 0);
  return row;
}

}  // namespace zr48::cli
