// zr48: program, read and watch the supply from the shell. See zr48(1).
#include <algorithm>
#include <cstdio>
#include <exception>
#include <map>

#include "command.h"

namespace zr48::cli {

std::vector<Subcommand>& subcommands() {
  static std::vector<Subcommand> registered;
  return registered;
}

CLI::Option* add_resource(CLI::App& app, std::string& resource) {
  return app.add_option("resource", resource, "VISA resource, e.g. TCPIP::127.0.0.1::5025::SOCKET")
      ->envname("ZR48_RESOURCE")
      ->required();
}

namespace {

int run(int argc, char** argv) {
  CLI::App tool("Program, read and watch the ZR48 seven-channel DC power supply.", "zr48");
  tool.set_version_flag("-V,--version", "zr48 " + std::to_string(ZR48_TOOL_VERSION_MAJOR) + "." +
                                            std::to_string(ZR48_TOOL_VERSION_MINOR));
  tool.require_subcommand(1);
  tool.footer(
      "Exit codes: 0 ok, 1 instrument error, 2 usage, 3 connection.\n"
      "RESOURCE may be left out when ZR48_RESOURCE is set. See zr48(1).");
  Globals globals;
  tool.add_option("--options", globals.options,
                  "IVI option string, e.g. \"Simulate=1\" or \"QueryInstrStatus=1\"");

  std::vector<Subcommand> sorted = subcommands();
  std::sort(sorted.begin(), sorted.end(),
            [](const Subcommand& a, const Subcommand& b) { return a.name < b.name; });
  std::map<std::string, Handler> handlers;
  for (const Subcommand& subcommand : sorted) {
    handlers[subcommand.name] = subcommand.setup(tool, globals);
  }

  try {
    tool.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    if (error.get_exit_code() == 0) return tool.exit(error);  // --help, --version
    std::fprintf(stderr, "zr48: %s\nRun 'zr48 --help' or 'zr48 <command> --help'.\n", error.what());
    return static_cast<int>(Exit::kUsage);
  }
  try {
    const CLI::App* chosen = tool.get_subcommands().front();
    return static_cast<int>(handlers.at(chosen->get_name())());
  } catch (const Failure& failure) {
    std::fprintf(stderr, "zr48: %s\n", failure.what());
    return static_cast<int>(failure.exit());
  }
}

}  // namespace
}  // namespace zr48::cli

int main(int argc, char** argv) {
  // Anything not turned into an exit code on the way (out of memory, say) still ends with a
  // message and a status, not an abort.
  try {
    return zr48::cli::run(argc, argv);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "zr48: %s\n", error.what());
  } catch (...) {
    std::fprintf(stderr, "zr48: unexpected failure\n");
  }
  return 1;
}
