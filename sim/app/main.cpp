// zr48-sim: serves the simulated seven-channel supply over SOCKET, HiSLIP and VXI-11 on a
// loopback address (and on a pseudo-terminal with --serial) until SIGINT or SIGTERM.

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
    "usage: zr48-sim [options]\n"
    "  --bind ADDR            loopback address to serve on (default 127.0.0.1; ::1 for IPv6)\n"
    "  --port N               SOCKET (raw SCPI lines) port; 0 (default) picks a free one\n"
    "  --hislip-port N        HiSLIP port (default 4880; if busy, HiSLIP is left out)\n"
    "  --hislip-overlapped    HiSLIP states a preference for overlapped mode\n"
    "  --vxi11-port N         VXI-11 core channel port; 0 (default) picks a free one\n"
    "  --vxi11-abort-port N   VXI-11 abort channel port; 0 (default) picks a free one\n"
    "  --portmapper-port N    portmapper port for VXI-11 (default 111; if it cannot be bound,\n"
    "                         VXI-11 is served without it)\n"
    "  --serial               also serve on a pseudo-terminal pair (ASRL/dev/pts/N::INSTR)\n"
    "  --echo                 serve the echo instrument PyVISA's assisted tests expect instead of\n"
    "                         the supply (\"RECEIVE\", then a message, then \"SEND\" sends it "
    "back)\n"
    "  --no-socket, --no-hislip, --no-vxi11, --no-portmapper   leave that service out\n"
    "  --idn TEXT             reply to *IDN? (default \"Velharn, HLV3907, 0123456789AF, "
    "1.00-1.00\")\n";

bool parse_port(std::string_view text, std::uint16_t& port) {
  unsigned value = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec != std::errc{} || result.ptr != text.data() + text.size() || value > 65535) {
    return false;
  }
  port = static_cast<std::uint16_t>(value);
  return true;
}

struct Options {
  zr48::sim::ServerOptions server = [] {
    auto all = zr48::sim::ServerOptions::all("127.0.0.1");
    all.hislip_port = 4880;
    all.hislip_optional = true;
    return all;
  }();
  std::string idn;
};

// Returns 0 to run, -1 to exit successfully, or the exit status.
int parse(int argc, char** argv, Options& options) {
  auto& s = options.server;
  const struct {
    const char* name;
    bool* flag;
    bool value;
  } switches[] = {{"--no-socket", &s.socket, false},
                  {"--no-hislip", &s.hislip, false},
                  {"--no-vxi11", &s.vxi11, false},
                  {"--no-portmapper", &s.portmapper, false},
                  {"--hislip-overlapped", &s.hislip_prefer_overlapped, true},
                  {"--serial", &s.serial, true},
                  {"--echo", &s.echo, true}};
  const struct {
    const char* name;
    std::uint16_t* port;
  } ports[] = {{"--port", &s.socket_port},
               {"--hislip-port", &s.hislip_port},
               {"--vxi11-port", &s.vxi11_core_port},
               {"--vxi11-abort-port", &s.vxi11_abort_port},
               {"--portmapper-port", &s.portmapper_port}};

  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return -1;
    }
    bool known = false;
    for (const auto& sw : switches) {
      if (arg == sw.name) {
        *sw.flag = sw.value;
        known = true;
      }
    }
    if (known) continue;
    if (i + 1 >= argc) {
      std::fprintf(stderr, "zr48-sim: %s needs a value or is unknown\n%s", argv[i], kUsage);
      return 2;
    }
    const char* value = argv[++i];
    for (const auto& p : ports) {
      if (arg != p.name) continue;
      if (!parse_port(value, *p.port)) {
        std::fprintf(stderr, "zr48-sim: bad port '%s'\n", value);
        return 2;
      }
      known = true;
    }
    if (arg == "--hislip-port") s.hislip_optional = false;  // asked for: must be bound
    if (arg == "--bind") {
      s.bind_address = value;
    } else if (arg == "--idn") {
      options.idn = value;
    } else if (!known) {
      std::fprintf(stderr, "zr48-sim: unknown option '%s'\n%s", argv[i - 1], kUsage);
      return 2;
    }
  }
  return 0;
}

// One line per service: where it listens and the resource name that reaches it.
void print_services(const zr48::sim::Server& server) {
  const auto& o = server.options();
  const bool v6 = o.bind_address.find(':') != std::string::npos;
  const std::string host = v6 ? "[" + o.bind_address + "]" : o.bind_address;
  if (o.socket) {
    // The first line's form is what scripts parse: keep it.
    std::printf("zr48-sim listening on %s:%u\n", host.c_str(), unsigned{server.port()});
    std::printf("zr48-sim SOCKET on %s:%u: %s\n", host.c_str(), unsigned{server.port()},
                server.resource().c_str());
  }
  if (o.hislip && server.hislip_error().empty()) {
    std::printf("zr48-sim HiSLIP on %s:%u: %s\n", host.c_str(), unsigned{server.hislip_port()},
                server.hislip_resource().c_str());
  } else if (o.hislip) {
    std::printf("zr48-sim HiSLIP not served: %s:%u: %s\n", host.c_str(), unsigned{o.hislip_port},
                server.hislip_error().c_str());
  }
  if (o.vxi11) {
    std::printf("zr48-sim VXI-11 on %s:%u (abort channel %u): %s\n", host.c_str(),
                unsigned{server.vxi11_core_port()}, unsigned{server.vxi11_abort_port()},
                server.vxi11_resource().c_str());
  }
  if (o.vxi11 && o.portmapper && server.portmapper_error().empty()) {
    std::printf("zr48-sim portmapper on %s:%u (TCP and UDP)%s\n", host.c_str(),
                unsigned{server.portmapper_port()},
                server.portmapper_port() == 111 ? "" : ": VXI-11 clients look on 111");
  } else if (o.vxi11 && o.portmapper) {
    std::printf("zr48-sim portmapper not served: %s:%u: %s (VXI-11 clients need the core port)\n",
                host.c_str(), unsigned{o.portmapper_port}, server.portmapper_error().c_str());
  }
  if (o.serial) {
    std::printf("zr48-sim serial: %s\n", server.serial_resource().c_str());
  }
  std::fflush(stdout);
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
    zr48::sim::Server server(options.server);
    if (!options.idn.empty()) server.set_idn(options.idn);
    print_services(server);
    int received = 0;
    sigwait(&stop_signals, &received);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "zr48-sim: %s\n", e.what());
    return 1;
  }
  return 0;
}
