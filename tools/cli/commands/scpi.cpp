// zr48 scpi RESOURCE [LINE...]: sends SCPI lines and prints the replies; without a line, an
// interactive shell with history (~/.zr48_history) and completion of the command headers.
#include <readline/history.h>
#include <readline/readline.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "command.h"
#include "driver_session.h"
#include "scpi_words.h"

namespace zr48::cli {
namespace {

struct Options {
  std::string resource;
  std::vector<std::string> lines;
};

// Runs one line: prints a query's reply, and any error the line left in the instrument's queue.
// Returns false when the instrument reported an error.
bool run_line(const DriverSession& session, const std::string& line) {
  const std::string reply = session.scpi(line);
  if (line.find('?') != std::string::npos) std::printf("%s\n", reply.c_str());
  std::fflush(stdout);
  const std::vector<std::string> errors = session.drain_errors();
  for (const std::string& error : errors)
    std::fprintf(stderr, "instrument error: %s\n", error.c_str());
  return errors.empty();
}

// Readline's completion: headers that start with the typed text, in any case.
char* next_word(const char* text, int state) {
  static std::size_t index = 0;
  if (state == 0) index = 0;
  const std::size_t length = std::strlen(text);
  const std::vector<std::string>& words = scpi_words();
  while (index < words.size()) {
    const std::string& word = words[index++];
    if (strncasecmp(word.c_str(), text, length) == 0) return strdup(word.c_str());
  }
  return nullptr;
}

char** complete(const char* text, int start, int /*end*/) {
  rl_attempted_completion_over = 1;  // never complete file names
  if (start != 0) return nullptr;    // only the header, the line's first word
  return rl_completion_matches(text, next_word);
}

std::string history_path() {
  if (const char* path = std::getenv("ZR48_HISTORY"); path != nullptr && *path != '\0') {
    return path;
  }
  const char* home = std::getenv("HOME");
  return home != nullptr ? std::string(home) + "/.zr48_history" : std::string();
}

Exit shell(const DriverSession& session) {
  rl_readline_name = "zr48";
  rl_attempted_completion_function = complete;
  const std::string history = history_path();
  using_history();
  // append_history needs the file to exist: a first run creates it.
  if (!history.empty() && read_history(history.c_str()) != 0) write_history(history.c_str());
  if (isatty(STDIN_FILENO) != 0) {
    std::printf("Connected to %s. Type SCPI lines; Tab completes, Ctrl-D quits.\n",
                session.resource().c_str());
  }
  bool ok = true;
  while (true) {
    std::unique_ptr<char, decltype(&std::free)> input(readline("zr48> "), &std::free);
    if (input == nullptr) break;  // Ctrl-D
    std::string line = trim_reply(input.get());
    line.erase(0, line.find_first_not_of(" \t"));
    if (line.empty()) continue;
    if (line == "quit" || line == "exit") break;
    add_history(line.c_str());
    if (!history.empty()) append_history(1, history.c_str());
    try {
      ok = run_line(session, line) && ok;
    } catch (const Failure& failure) {
      if (failure.exit() == Exit::kConnection) throw;
      std::fprintf(stderr, "%s\n", failure.what());
      ok = false;
    }
  }
  if (!history.empty()) history_truncate_file(history.c_str(), 1000);
  return ok ? Exit::kOk : Exit::kInstrument;
}

Handler setup(CLI::App& tool, const Globals& globals) {
  auto options = std::make_shared<Options>();
  CLI::App* app = tool.add_subcommand(
      "scpi", "Send SCPI lines ('MEAS:VOLT? CH2'); without one, an interactive shell");
  add_resource(*app, options->resource);
  app->add_option("line", options->lines, "SCPI lines; a line with '?' prints its reply");
  return [options, &globals] {
    const DriverSession session(options->resource, globals);
    if (options->lines.empty()) return shell(session);
    bool ok = true;
    for (const std::string& line : options->lines) ok = run_line(session, line) && ok;
    return ok ? Exit::kOk : Exit::kInstrument;
  };
}

const Registration kScpi("scpi", setup);

}  // namespace
}  // namespace zr48::cli
