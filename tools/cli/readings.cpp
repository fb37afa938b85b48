#include "readings.h"

#include <cctype>
#include <cstdio>

namespace zr48::cli {
namespace {

// The instrument's OPERation ISUM condition bits of one output.
constexpr long kConstantVoltage = 1 << 8;
constexpr long kConstantCurrent = 1 << 10;

std::string Reply(const DriverSession& session,
                  ViStatus (*function)(ViSession, ViChar[], ViConstString), int channel,
                  const char* what) {
  char reply[512] = "";
  session.Check(function(session.vi(), reply, ChannelName(channel).c_str()), what);
  return reply;
}

bool IsOn(const std::string& reply) {
  const std::string text = TrimReply(reply);
  return text == "1" || text == "ON";
}

std::string Format(const char* format, double value) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

}  // namespace

std::vector<int> ParseChannels(const std::string& text) {
  std::string lower;
  for (const char c : text) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower == "all") return {1, 2, 3, 4, 5, 6, 7};
  const std::string digits = lower.starts_with("ch") ? lower.substr(2) : lower;
  if (digits.size() == 1 && digits[0] >= '1' && digits[0] < '1' + kChannelCount) {
    return {digits[0] - '0'};
  }
  throw Failure(Exit::kUsage, "no channel '" + text + "': use ch1 to ch7 or all");
}

std::string ChannelName(int channel) {
  return "ch" + std::to_string(channel);
}

ChannelReading ReadChannel(const DriverSession& session, int channel) {
  const SessionLock lock(session);
  ChannelReading reading;
  reading.channel = channel;
  reading.volts = ParseNumber(Reply(session, ZR48_MeasVolt, channel, "MEAS:VOLT?"));
  reading.amps = ParseNumber(Reply(session, ZR48_MeasCurr, channel, "MEAS:CURR?"));
  reading.watts = ParseNumber(Reply(session, ZR48_MeasPow, channel, "MEAS:POW?"));
  reading.ovp_tripped = IsOn(Reply(session, ZR48_GetVoltProtTrip, channel, "VOLT:PROT:TRIP?"));
  // The output switch and the regulation state are read fresh, not from the driver's cache.
  session.Scpi("INST " + ChannelName(channel));
  reading.output_on = IsOn(session.Scpi("OUTP?"));
  const auto condition = static_cast<long>(
      ParseNumber(session.Scpi("STAT:OPER:INST:ISUM" + std::to_string(channel) + ":COND?")));
  reading.mode = (condition & kConstantCurrent) != 0   ? "CC"
                 : (condition & kConstantVoltage) != 0 ? "CV"
                                                       : "off";
  return reading;
}

nlohmann::ordered_json ToJson(const ChannelReading& reading) {
  return {{"channel", ChannelName(reading.channel)},
          {"voltage", reading.volts},
          {"current", reading.amps},
          {"power", reading.watts},
          {"mode", reading.mode},
          {"ovp_tripped", reading.ovp_tripped},
          {"output", reading.output_on}};
}

std::string FormatTable(const std::vector<ChannelReading>& readings) {
  std::string table = "CH    VOLTAGE    CURRENT      POWER  MODE  OVP      OUTPUT\n";
  for (const ChannelReading& r : readings) {
    char row[128];
    std::snprintf(row, sizeof row, "%-4s %9s %10s %10s  %-4s  %-7s  %s\n",
                  ChannelName(r.channel).c_str(), Format("%.3f V", r.volts).c_str(),
                  Format("%.4f A", r.amps).c_str(), Format("%.3f W", r.watts).c_str(),
                  r.mode.c_str(), r.ovp_tripped ? "TRIPPED" : "ok", r.output_on ? "on" : "off");
    table += row;
  }
  return table;
}

std::string CsvHeader() {
  return "time,channel,voltage,current,power,mode,ovp_tripped,output\n";
}

std::string CsvRow(const std::string& time, const ChannelReading& r) {
  char row[160];
  std::snprintf(row, sizeof row, "%s,%s,%.6g,%.6g,%.6g,%s,%d,%d\n", time.c_str(),
                ChannelName(r.channel).c_str(), r.volts, r.amps, r.watts, r.mode.c_str(),
                r.ovp_tripped ? 1 : 0, r.output_on ? 1 : 0);
  return row;
}

}  // namespace zr48::cli
