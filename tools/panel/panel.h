// The soft front panel: one driver session, polled, served to browsers as a web page.
#pragma once

#include <cstddef>
#include <string>

namespace zr48::panel {

struct Options {
  std::string resource;                   // VISA resource descriptor or logical name
  std::string options;                    // IVI option string, e.g. "Simulate=1"
  std::string listen = "127.0.0.1:8048";  // HOST:PORT; port 0 picks a free one
  double interval_s = 0.5;                // polling interval
  std::size_t history_s = 3600;           // readings kept in memory for the plot and CSV export
};

// Opens the session, serves the page until SIGINT or SIGTERM, closes the session. Prints the
// address with its access token on standard output and problems on standard error. Returns 0
// after a signal, 1 when the session or the listening socket cannot be opened, 2 for bad options.
int run(const Options& options);

}  // namespace zr48::panel
