// zr48 panel RESOURCE [--listen HOST:PORT] [--interval 0.5] [--history S]: the soft front panel.
#include <map>
#include <memory>
#include <string>

#include "command.h"
#include "panel.h"

namespace zr48::cli {
namespace {

Handler setup(CLI::App& tool, const Globals& globals) {
  auto options = std::make_shared<panel::Options>();
  CLI::App* app =
      tool.add_subcommand("panel", "Serve the soft front panel to a browser until Ctrl-C");
  add_resource(*app, options->resource);
  app->add_option("--listen", options->listen, "HOST:PORT of the page")->capture_default_str();
  app->add_option("--interval", options->interval_s, "Polling interval (0.5, 500ms, 1s)")
      ->transform(CLI::AsNumberWithUnit(std::map<std::string, double>{{"s", 1.0}, {"ms", 0.001}}));
  app->add_option("--history", options->history_s, "Seconds of readings kept")
      ->capture_default_str();
  return [options, &globals] {
    options->options = globals.options;
    const int code = panel::run(*options);
    return code == 0 ? Exit::kOk : code == 2 ? Exit::kUsage : Exit::kConnection;
  };
}

const Registration kPanel("panel", setup);

}  // namespace
}  // namespace zr48::cli
