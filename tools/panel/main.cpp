// zr48-panel: the soft front panel on its own, until the zr48 command carries it.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "panel.h"

namespace {

constexpr const char* kUsage =
    "usage: zr48-panel RESOURCE [--listen HOST:PORT] [--interval SECONDS] [--options TEXT]\n"
    "                  [--history SECONDS]\n"
    "  RESOURCE     VISA resource, e.g. TCPIP::127.0.0.1::5025::SOCKET\n"
    "  --listen     address of the page (default 127.0.0.1:8048; port 0 picks a free one)\n"
    "  --interval   polling interval, e.g. 0.5 or 500ms (default 0.5 s)\n"
    "  --options    IVI option string, e.g. \"Simulate=1\"\n"
    "  --history    seconds of readings kept for the plot and CSV export (default 3600)\n";

// "0.5", "0.5s" or "500ms" -> seconds; negative when malformed.
double parse_seconds(std::string_view text) {
  double scale = 1.0;
  if (text.ends_with("ms")) {
    scale = 0.001;
    text.remove_suffix(2);
  } else if (text.ends_with('s')) {
    text.remove_suffix(1);
  }
  const std::string digits(text);
  char* end = nullptr;
  const double value = std::strtod(digits.c_str(), &end);
  if (digits.empty() || end != digits.c_str() + digits.size()) return -1.0;
  return value * scale;
}

}  // namespace

int main(int argc, char** argv) {
  zr48::panel::Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (!arg.starts_with("--")) {
      if (!options.resource.empty()) {
        std::fprintf(stderr, "zr48-panel: one resource only\n%s", kUsage);
        return 2;
      }
      options.resource = arg;
      continue;
    }
    if (i + 1 >= argc) {
      std::fprintf(stderr, "zr48-panel: %s needs a value\n%s", argv[i], kUsage);
      return 2;
    }
    const std::string_view value = argv[++i];
    if (arg == "--listen") {
      options.listen = value;
    } else if (arg == "--options") {
      options.options = value;
    } else if (arg == "--interval") {
      options.interval_s = parse_seconds(value);
    } else if (arg == "--history") {
      const double seconds = parse_seconds(value);
      options.history_s = seconds > 0 ? static_cast<std::size_t>(seconds) : 0;
    } else {
      std::fprintf(stderr, "zr48-panel: unknown option %s\n%s", argv[i - 1], kUsage);
      return 2;
    }
  }
  if (options.resource.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  return zr48::panel::run(options);
}
