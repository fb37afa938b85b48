// zr48 bench RESOURCE [-n N] [--channel CH] [--json]: round-trip time of a measurement query.
#include <algorithm>
#include <chrono>
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
  int count = 1000;
  std::string channel = "ch1";
  bool json = false;
};

double percentile(const std::vector<double>& sorted, double fraction) {
  const auto index = static_cast<std::size_t>(fraction * static_cast<double>(sorted.size() - 1));
  return sorted[index];
}

Handler setup(CLI::App& tool, const Globals& globals) {
  auto options = std::make_shared<Options>();
  CLI::App* app = tool.add_subcommand("bench", "Round-trip time of ZR48_MeasVolt: p50, p99");
  add_resource(*app, options->resource);
  app->add_option("-n,--count", options->count, "Number of queries (default 1000)")
      ->check(CLI::Range(1, 10000000));
  app->add_option("--channel", options->channel, "Channel to measure (default ch1)");
  app->add_flag("--json", options->json, "Print JSON");
  return [options, &globals] {
    const int channel = parse_channels(options->channel).front();
    if (parse_channels(options->channel).size() != 1) {
      throw Failure(Exit::kUsage, "bench: --channel takes one channel");
    }
    const std::string name = channel_name(channel);
    const DriverSession session(options->resource, globals);
    std::vector<double> micros;
    micros.reserve(static_cast<std::size_t>(options->count));
    char reply[512];
    session.check(ZR48_MeasVolt(session.vi(), reply, name.c_str()), "MEAS:VOLT?");  // warm up
    for (int i = 0; i < options->count; ++i) {
      const auto start = std::chrono::steady_clock::now();
      const ViStatus status = ZR48_MeasVolt(session.vi(), reply, name.c_str());
      const auto stop = std::chrono::steady_clock::now();
      session.check(status, "MEAS:VOLT?");
      micros.push_back(std::chrono::duration<double, std::micro>(stop - start).count());
    }
    std::sort(micros.begin(), micros.end());
    const nlohmann::ordered_json json = {{"query", "MEAS:VOLT? (" + name + ")"},
                                         {"count", options->count},
                                         {"min_us", micros.front()},
                                         {"p50_us", percentile(micros, 0.50)},
                                         {"p90_us", percentile(micros, 0.90)},
                                         {"p99_us", percentile(micros, 0.99)},
                                         {"max_us", micros.back()}};
    if (options->json) {
      std::printf("%s\n", json.dump(2).c_str());
    } else {
      std::printf(
          "%d x ZR48_MeasVolt(%s): min %.1f us, p50 %.1f us, p90 %.1f us, p99 %.1f us, "
          "max %.1f us\n",
          options->count, name.c_str(), micros.front(), percentile(micros, 0.50),
          percentile(micros, 0.90), percentile(micros, 0.99), micros.back());
    }
    return Exit::kOk;
  };
}

const Registration kBench("bench", setup);

}  // namespace
}  // namespace zr48::cli
