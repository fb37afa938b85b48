// zr48 errors RESOURCE [--json]: drains and prints the instrument's error queue.
#include <cstdio>
#include <cstdlib>
#include <memory>

#include <nlohmann/json.hpp>

#include "command.h"
#include "driver_session.h"

namespace zr48::cli {
namespace {

struct Options {
  std::string resource;
  bool json = false;
};

Handler setup(CLI::App& tool, const Globals& globals) {
  auto options = std::make_shared<Options>();
  CLI::App* app = tool.add_subcommand("errors", "Read and clear the instrument's error queue");
  add_resource(*app, options->resource);
  app->add_flag("--json", options->json, "Print a JSON array of {code, message}");
  return [options, &globals] {
    const DriverSession session(options->resource, globals);
    const std::vector<std::string> errors = session.drain_errors();
    if (!options->json) {
      if (errors.empty()) std::printf("no errors\n");
      for (const std::string& error : errors) std::printf("%s\n", error.c_str());
      return Exit::kOk;
    }
    nlohmann::ordered_json json = nlohmann::ordered_json::array();
    for (const std::string& error : errors) {
      const auto comma = error.find(',');
      std::string message = comma == std::string::npos ? error : error.substr(comma + 1);
      if (message.size() >= 2 && message.front() == '"' && message.back() == '"') {
        message = message.substr(1, message.size() - 2);
      }
      json.push_back({{"code", std::strtol(error.c_str(), nullptr, 10)}, {"message", message}});
    }
    std::printf("%s\n", json.dump(2).c_str());
    return Exit::kOk;
  };
}

const Registration kErrors("errors", setup);

}  // namespace
}  // namespace zr48::cli
