// zr48-sim: serves the simulated seven-channel supply on a loopback TCP port until SIGINT or
// SIGTERM.

#include <signal.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <string_view>

#include "zr48sim/server.h"

namespace {

constexpr const char* kUsage =
    "usage: zr48-sim [--port N] [--bind ADDR] [--idn TEXT]\n"
    "  --port N     TCP port to listen on; 0 (default) picks a free one\n"
    "  --bind ADDR  loopback address to listen on (default 127.0.0.1; ::1 for IPv6)\n"
    "  --idn TEXT   reply to *IDN? (default \"Velharn, HLV3907, 0123456789AF, 1.00-1.00\")\n";

struct Options {
  std::uint16_t port = 0;
  std::string bind = "127.0.0.1";
  std::string idn;
};

bool parse_port(std::string_view text, std::uint16_t& port) {
  unsigned value = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec != std::errc{} || result.ptr != text.data() + text.size() || value > 65535) {
    return false;
  }
  port = static_cast<std::uint16_t>(value);
  return true;
}

// Returns 0 to run, or the exit status.
int parse(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return -1;
    }
    if (i + 1 >= argc) {
      std::fprintf(stderr, "zr48-sim: %s needs a value\n%s", argv[i], kUsage);
      return 2;
    }
    const char* value = argv[++i];
    if (arg == "--port") {
      if (!parse_port(value, options.port)) {
        std::fprintf(stderr, "zr48-sim: bad port '%s'\n", value);
        return 2;
      }
    } else if (arg == "--bind") {
      options.bind = value;
    } else if (arg == "--idn") {
      options.idn = value;
    } else {
      std::fprintf(stderr, "zr48-sim: unknown option '%s'\n%s", argv[i - 1], kUsage);
      return 2;
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (const int status = parse(argc, argv, options); status != 0) return status < 0 ? 0 : status;

  // Block the stop signals in every thread; the main thread waits for them.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

  try {
    zr48::sim::Server server(options.port, options.bind);
    if (!options.idn.empty()) server.set_idn(options.idn);
    const bool v6 = options.bind.find(':') != std::string::npos;
    std::printf("zr48-sim listening on %s%s%s:%u\n", v6 ? "[" : "", options.bind.c_str(),
                v6 ? "]" : "", static_cast<unsigned>(server.port()));
    std::fflush(stdout);
    int received = 0;
    sigwait(&stop_signals, &received);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "zr48-sim: %s\n", e.what());
    return 1;
  }
  return 0;
}
