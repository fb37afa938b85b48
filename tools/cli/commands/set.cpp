// zr48 set RESOURCE CHANNEL [--volt V] [--curr A] [--ovp V] [--on|--off] [--clear-protection]
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>

#include "command.h"
#include "driver_session.h"
#include "readings.h"

namespace zr48::cli {
namespace {

struct Options {
  std::string resource;
  std::string channels;
  std::optional<double> volts;
  std::optional<double> amps;
  std::optional<double> ovp;
  bool on = false;
  bool off = false;
  bool clear = false;
};

// The shortest text that reads back as the same number.
std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.10g", value);
  return text;
}

// A level: a finite number, zero or more; the instrument checks its own upper limits.
const CLI::Validator kLevel(
    [](const std::string& text) -> std::string {
      char* end = nullptr;
      const double value = std::strtod(text.c_str(), &end);
      if (end == text.c_str() || *end != '\0' || !std::isfinite(value) || value < 0) {
        return "'" + text + "' is not a level; give a number, 0 or more";
      }
      return {};
    },
    "LEVEL");

Handler setup(CLI::App& tool, const Globals& globals) {
  auto options = std::make_shared<Options>();
  CLI::App* app = tool.add_subcommand("set", "Program a channel's levels and output");
  add_resource(*app, options->resource);
  app->add_option("channel", options->channels, "ch1 .. ch7, or all")->required();
  app->add_option("--volt", options->volts, "Voltage level in volts")->check(kLevel);
  app->add_option("--curr", options->amps, "Current limit in amperes")->check(kLevel);
  app->add_option("--ovp", options->ovp, "Over-voltage protection level in volts")->check(kLevel);
  CLI::Option* on = app->add_flag("--on", options->on, "Switch the output on");
  app->add_flag("--off", options->off, "Switch the output off")->excludes(on);
  app->add_flag("--clear-protection", options->clear, "Clear a tripped over-voltage protection");
  return [options, &globals] {
    const std::vector<int> channels = parse_channels(options->channels);
    if (!options->volts && !options->amps && !options->ovp && !options->on && !options->off &&
        !options->clear) {
      throw Failure(Exit::kUsage, "set: nothing to set; give --volt, --curr, --ovp, --on or --off");
    }
    const DriverSession session(options->resource, globals);
    const ViSession vi = session.vi();
    for (const int channel : channels) {
      const std::string name = channel_name(channel);
      const char* ch = name.c_str();
      if (options->clear) session.check(ZR48_VoltProtClear(vi, ch), "VOLT:PROT:CLE");
      if (options->ovp) {
        session.check(ZR48_SetVoltProt(vi, number(*options->ovp).c_str(), ch), "VOLT:PROT");
      }
      if (options->amps) {
        session.check(ZR48_SetCurrent(vi, number(*options->amps).c_str(), ch), "CURR");
      }
      if (options->volts) {
        session.check(ZR48_SetVoltage(vi, number(*options->volts).c_str(), ch), "VOLT");
      }
      if (options->on || options->off) {
        session.check(ZR48_SetAttributeViString(vi, ch, ZR48_ATTR_OUTP, options->on ? "ON" : "OFF"),
                      "OUTP");
      }
    }
    // The instrument refuses out-of-range levels through its error queue: report them.
    const std::vector<std::string> errors = session.drain_errors();
    for (const std::string& error : errors)
      std::fprintf(stderr, "zr48: instrument: %s\n", error.c_str());
    return errors.empty() ? Exit::kOk : Exit::kInstrument;
  };
}

const Registration kSet("set", setup);

}  // namespace
}  // namespace zr48::cli
