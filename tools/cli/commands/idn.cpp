// zr48 idn RESOURCE [--json]: the instrument's identification.
#include <cstdio>
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

// "Maker, Model, Serial, Firmware" split at its commas, each field trimmed.
std::vector<std::string> split_idn(const std::string& idn) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = idn.find(',', start);
    std::string field = idn.substr(start, comma == std::string::npos ? comma : comma - start);
    field.erase(0, field.find_first_not_of(' '));
    fields.push_back(trim_reply(field));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return fields;
}

Handler setup(CLI::App& tool, const Globals& globals) {
  auto options = std::make_shared<Options>();
  CLI::App* app = tool.add_subcommand("idn", "Print the instrument's identification (*IDN?)");
  add_resource(*app, options->resource);
  app->add_flag("--json", options->json, "Print a JSON object");
  return [options, &globals] {
    const DriverSession session(options->resource, globals);
    const std::string idn = session.scpi("*IDN?");
    if (!options->json) {
      std::printf("%s\n", idn.c_str());
      return Exit::kOk;
    }
    const std::vector<std::string> fields = split_idn(idn);
    const auto field = [&](std::size_t i) { return i < fields.size() ? fields[i] : ""; };
    const nlohmann::ordered_json json = {{"resource", options->resource},
                                         {"idn", idn},
                                         {"manufacturer", field(0)},
                                         {"model", field(1)},
                                         {"serial", field(2)},
                                         {"firmware", field(3)}};
    std::printf("%s\n", json.dump(2).c_str());
    return Exit::kOk;
  };
}

const Registration kIdn("idn", setup);

}  // namespace
}  // namespace zr48::cli
