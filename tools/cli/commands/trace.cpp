// zr48 trace [--file FILE] -- PROGRAM [ARGS...]: runs a program with the driver's I/O trace on
// (ZR48_VISA_TRACE), to standard error or appended to FILE.
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "command.h"

namespace zr48::cli {
namespace {

struct Options {
  std::string file;
  std::vector<std::string> command;
};

Handler setup(CLI::App& tool, const Globals& /*globals*/) {
  auto options = std::make_shared<Options>();
  CLI::App* app = tool.add_subcommand(
      "trace", "Run a program with the I/O trace on: zr48 trace -- ./my_test --flag");
  app->add_option("--file", options->file, "Append the trace to FILE instead of standard error");
  app->add_option("command", options->command, "The program and its arguments, after --")
      ->required();
  return [options]() -> Exit {
    const std::string target = options->file.empty() ? "stderr" : options->file;
    setenv("ZR48_VISA_TRACE", target.c_str(), 1);
    std::vector<char*> argv;
    for (std::string& word : options->command) argv.push_back(word.data());
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    throw Failure(Exit::kUsage,
                  "trace: cannot run " + options->command[0] + ": " + std::strerror(errno));
  };
}

const Registration kTrace("trace", setup);

}  // namespace
}  // namespace zr48::cli
