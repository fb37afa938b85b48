// zr48 get RESOURCE CHANNEL [--volt] [--curr] [--ovp] [--output] [--json]: programmed settings.
#include <cstdio>
#include <memory>

#include <nlohmann/json.hpp>

#include "command.h"
#include "driver_session.h"
#include "readings.h"

namespace zr48::cli {
namespace {

struct Options {
  std::string resource;
  std::string channels;
  bool volts = false;
  bool amps = false;
  bool ovp = false;
  bool output = false;
  bool json = false;
};

struct Setting {
  const char* name;
  const char* unit;
  bool Options::*wanted;
  const char* query;  // after "INST <channel>"
  bool boolean;
};

constexpr Setting kSettings[] = {
    {"voltage", "V", &Options::volts, "VOLT?", false},
    {"current", "A", &Options::amps, "CURR?", false},
    {"ovp", "V", &Options::ovp, "VOLT:PROT?", false},
    {"output", "", &Options::output, "OUTP?", true},
};

Handler setup(CLI::App& tool, const Globals& globals) {
  auto options = std::make_shared<Options>();
  CLI::App* app = tool.add_subcommand("get", "Print a channel's programmed settings");
  add_resource(*app, options->resource);
  app->add_option("channel", options->channels, "ch1 .. ch7, or all")->required();
  app->add_flag("--volt", options->volts, "Voltage level");
  app->add_flag("--curr", options->amps, "Current limit");
  app->add_flag("--ovp", options->ovp, "Over-voltage protection level");
  app->add_flag("--output", options->output, "Output switch");
  app->add_flag("--json", options->json, "Print JSON");
  return [options, &globals] {
    const std::vector<int> channels = parse_channels(options->channels);
    const bool all = !options->volts && !options->amps && !options->ovp && !options->output;
    const DriverSession session(options->resource, globals);
    nlohmann::ordered_json json = nlohmann::ordered_json::array();
    for (const int channel : channels) {
      nlohmann::ordered_json values = {{"channel", channel_name(channel)}};
      const SessionLock lock(session);
      session.scpi("INST " + channel_name(channel));
      for (const Setting& setting : kSettings) {
        if (!all && !((*options).*setting.wanted)) continue;
        const std::string reply = session.scpi(setting.query);
        if (setting.boolean) {
          values[setting.name] = reply == "1" || reply == "ON";
        } else {
          values[setting.name] = parse_number(reply);
        }
        if (!options->json) {
          const std::string prefix = channels.size() > 1 ? channel_name(channel) + " " : "";
          if (setting.boolean) {
            std::printf("%s%s %s\n", prefix.c_str(), setting.name,
                        values[setting.name].get<bool>() ? "on" : "off");
          } else {
            std::printf("%s%s %g %s\n", prefix.c_str(), setting.name,
                        values[setting.name].get<double>(), setting.unit);
          }
        }
      }
      json.push_back(std::move(values));
    }
    if (options->json) {
      std::printf("%s\n", (channels.size() == 1 ? json[0] : json).dump(2).c_str());
    }
    return Exit::kOk;
  };
}

const Registration kGet("get", setup);

}  // namespace
}  // namespace zr48::cli
