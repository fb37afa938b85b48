// zr48 measure RESOURCE [ch1..ch7|all] [--watch INTERVAL] [--csv FILE] [--json]
//
// One table of the outputs (V, I, P, CV/CC, protection, output switch), or with --watch a table
// redrawn in place every INTERVAL until Ctrl-C, like the instrument's front panel.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <memory>

#include <nlohmann/json.hpp>

#include "command.h"
#include "driver_session.h"
#include "readings.h"

namespace zr48::cli {
namespace {

struct Options {
  std::string resource;
  std::string channels = "all";
  std::string watch;
  std::string csv;
  bool json = false;
};

// "0.5s", "200ms", "2" (seconds) -> seconds.
double parse_interval(const std::string& text) {
  char* end = nullptr;
  double seconds = std::strtod(text.c_str(), &end);
  const std::string unit = end != nullptr ? end : "";
  if (unit == "ms") {
    seconds /= 1000;
  } else if (!unit.empty() && unit != "s") {
    seconds = -1;
  }
  if (end == text.c_str() || !std::isfinite(seconds) || seconds < 0.01 || seconds > 86400) {
    throw Failure(Exit::kUsage, "--watch: bad interval '" + text + "'; say e.g. 0.5s or 200ms");
  }
  return seconds;
}

std::string timestamp() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[40];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
  char full[48];
  std::snprintf(full, sizeof full, "%s.%03dZ", text, static_cast<int>(millis));
  return full;
}

std::vector<ChannelReading> sample(const DriverSession& session, const std::vector<int>& channels) {
  std::vector<ChannelReading> readings;
  readings.reserve(channels.size());
  for (const int channel : channels) readings.push_back(read_channel(session, channel));
  return readings;
}

// Ctrl-C and SIGTERM are held back while the driver talks, and end the wait between samples.
class StopSignals {
 public:
  StopSignals() {
    sigemptyset(&set_);
    sigaddset(&set_, SIGINT);
    sigaddset(&set_, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set_, &previous_);
  }
  ~StopSignals() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // True when a stop signal arrived within `seconds`.
  bool wait(double seconds) const {
    timespec timeout{};
    timeout.tv_sec = static_cast<time_t>(seconds);
    timeout.tv_nsec = static_cast<long>((seconds - std::floor(seconds)) * 1e9);
    return sigtimedwait(&set_, nullptr, &timeout) > 0;
  }

 private:
  sigset_t set_{};
  sigset_t previous_{};
};

// Hides the cursor while the table is redrawn in place; shows it again however the watch ends.
class Screen {
 public:
  explicit Screen(bool terminal) : terminal_(terminal) {
    if (terminal_) std::fputs("\x1b[?25l\x1b[H\x1b[2J", stdout);
  }
  ~Screen() {
    if (terminal_) std::fputs("\x1b[?25h", stdout);
    std::fflush(stdout);
  }
  Screen(const Screen&) = delete;
  Screen& operator=(const Screen&) = delete;

  void draw(const std::string& text) const {
    if (terminal_) {
      // Each line clears what a longer line left there before.
      std::string lines;
      for (const char c : text) lines += c == '\n' ? std::string("\x1b[K\n") : std::string(1, c);
      std::fputs("\x1b[H", stdout);
      std::fputs(lines.c_str(), stdout);
      std::fputs("\x1b[J", stdout);
    } else {
      std::fputs(text.c_str(), stdout);
      std::fputs("\n", stdout);
    }
    std::fflush(stdout);
  }

 private:
  bool terminal_;
};

Exit run(const Options& options, const Globals& globals) {
  const std::vector<int> channels = parse_channels(options.channels);
  const bool watch = !options.watch.empty();
  const double interval = watch ? parse_interval(options.watch) : 0;
  std::ofstream csv;
  if (!options.csv.empty()) {
    csv.open(options.csv, std::ios::out | std::ios::trunc);
    if (!csv) throw Failure(Exit::kUsage, "--csv: cannot write " + options.csv);
    csv << csv_header();
  }
  const DriverSession session(options.resource, globals);
  const auto record = [&](const std::string& time, const std::vector<ChannelReading>& readings) {
    if (!csv.is_open()) return;
    for (const ChannelReading& reading : readings) csv << csv_row(time, reading);
    csv.flush();
  };
  const auto as_json = [&](const std::string& time, const std::vector<ChannelReading>& readings) {
    nlohmann::ordered_json json = {{"time", time}, {"channels", nlohmann::ordered_json::array()}};
    for (const ChannelReading& reading : readings) json["channels"].push_back(to_json(reading));
    return json;
  };

  if (!watch) {
    const std::string time = timestamp();
    const std::vector<ChannelReading> readings = sample(session, channels);
    record(time, readings);
    const std::string text =
        options.json ? as_json(time, readings).dump(2) + "\n" : format_table(readings);
    std::fputs(text.c_str(), stdout);
    return Exit::kOk;
  }

  const StopSignals signals;
  const Screen screen(!options.json && isatty(STDOUT_FILENO) != 0);
  long samples = 0;
  do {
    const std::string time = timestamp();
    const std::vector<ChannelReading> readings = sample(session, channels);
    record(time, readings);
    ++samples;
    if (options.json) {
      std::printf("%s\n", as_json(time, readings).dump().c_str());  // one line per sample
      std::fflush(stdout);
    } else {
      char title[256];
      std::snprintf(title, sizeof title, "%s  %s  every %gs  sample %ld  (Ctrl-C stops)\n\n",
                    options.resource.c_str(), time.c_str(), interval, samples);
      screen.draw(title + format_table(readings));
    }
  } while (!signals.wait(interval));
  return Exit::kOk;
}

Handler setup(CLI::App& tool, const Globals& globals) {
  auto options = std::make_shared<Options>();
  CLI::App* app = tool.add_subcommand("measure", "Measure the outputs, once or live (--watch)");
  add_resource(*app, options->resource);
  app->add_option("channel", options->channels, "ch1 .. ch7, or all (default)");
  app->add_option("--watch", options->watch, "Redraw every INTERVAL (0.5s, 200ms) until Ctrl-C");
  app->add_option("--csv", options->csv, "Also log every sample, time-stamped, to FILE");
  app->add_flag("--json", options->json, "Print JSON (one line per sample with --watch)");
  return [options, &globals] { return run(*options, globals); };
}

const Registration kMeasure("measure", setup);

}  // namespace
}  // namespace zr48::cli
