// The zr48 command-line tool's subcommands: each registers itself from its own file, so adding a
// subcommand is adding one file to commands/.
#ifndef ZR48_TOOLS_CLI_COMMAND_H
#define ZR48_TOOLS_CLI_COMMAND_H

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

namespace zr48::cli {

// The tool's exit codes (documented in zr48(1)).
enum class Exit : int {
  kOk = 0,
  kInstrument = 1,  // the driver or the instrument reported an error
  kUsage = 2,       // bad arguments
  kConnection = 3,  // the instrument cannot be reached, timed out or dropped the link
};

// A failure that ends the command with its exit code; the message says what to do next.
class Failure : public std::runtime_error {
 public:
  Failure(Exit exit, const std::string& message) : std::runtime_error(message), exit_(exit) {}
  Exit exit() const { return exit_; }

 private:
  Exit exit_;
};

// Options every subcommand shares.
struct Globals {
  std::string options;  // IVI option string for ZR48_InitWithOptions
};

// Runs the chosen subcommand; returns its exit code or throws Failure.
using Handler = std::function<Exit()>;
// Adds a subcommand (with its options) to the tool and returns what runs it.
using Setup = std::function<Handler(CLI::App& tool, const Globals& globals)>;

struct Subcommand {
  std::string name;
  Setup setup;
};

// Every registered subcommand, in registration order.
std::vector<Subcommand>& subcommands();

// A file's static instance registers its subcommand before main runs.
struct Registration {
  Registration(std::string name, Setup setup) {
    subcommands().push_back({std::move(name), std::move(setup)});
  }
};

// The resource argument every instrument subcommand takes ($ZR48_RESOURCE when omitted).
CLI::Option* add_resource(CLI::App& app, std::string& resource);

}  // namespace zr48::cli

#endif  // ZR48_TOOLS_CLI_COMMAND_H
