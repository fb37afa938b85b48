// The sources viFindRsrc lists from, and the search that merges them.
#include "visa/find.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <system_error>

#include "visa/transports/gpib/gpib.h"
#include "visa/transports/tcp_socket.h"
#include "visa/transports/usbtmc/sysfs.h"
#include "visa/visa.h"
#include "visa/wire/portmap.h"
#include "visa/wire/rpc.h"
#include "visa/wire/vxi11.h"

extern char** environ;  // NOLINT: POSIX declares it so

namespace zr48::visa {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr std::uint16_t kHislipPort = 4880;
constexpr std::uint16_t kScpiSocketPort = 5025;

// "ttyUSB" followed by digits only.
bool numbered(std::string_view name, std::string_view prefix) {
  if (name.size() <= prefix.size() || name.substr(0, prefix.size()) != prefix) return false;
  return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(),
                     [](char c) { return c >= '0' && c <= '9'; });
}

std::string first_line(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
}

int milliseconds_left(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// Portmapper GETPORT for the VXI-11 core channel, as one UDP datagram (no record mark).
std::vector<std::uint8_t> getport_call(std::uint32_t xid) {
  std::vector<std::uint8_t> out;
  wire::XdrWriter writer(out);
  wire::rpc::encode_call_header(
      writer, {xid, wire::portmap::kProgram, wire::portmap::kVersion, wire::portmap::kGetPort});
  wire::portmap::encode(writer,
                        wire::portmap::Mapping{wire::vxi11::kCoreProgram, wire::vxi11::kVersion,
                                               wire::portmap::kIpProtoTcp, 0});
  return out;
}

// The VXI-11 port from a datagram answering `xid`, or 0.
std::uint32_t getport_reply(const std::uint8_t* data, std::size_t size, std::uint32_t xid) {
  wire::XdrReader reader(wire::Bytes(data, size));
  wire::rpc::ReplyHeader header;
  wire::portmap::PortResult result;
  if (!wire::rpc::decode_reply_header(reader, header) || header.xid != xid || !header.success() ||
      !wire::portmap::decode(reader, result)) {
    return 0;
  }
  return result.port;
}

// Hosts whose portmapper knows VXI-11, from answers to one datagram per address until every
// unicast address has answered or the deadline passes.
std::vector<std::string> ask_portmappers(const std::vector<std::string>& addresses,
                                         Clock::time_point deadline) {
  std::vector<std::string> hosts;
  const UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (fd.get() < 0) return hosts;
  const int on = 1;
  ::setsockopt(fd.get(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
  const auto xid = static_cast<std::uint32_t>(Clock::now().time_since_epoch().count()) | 1U;
  const std::vector<std::uint8_t> call = getport_call(xid);
  std::set<std::string> unanswered;
  for (const std::string& address : addresses) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(wire::portmap::kPort);
    if (::inet_pton(AF_INET, address.c_str(), &to.sin_addr) != 1) continue;
    if (::sendto(fd.get(), call.data(), call.size(), 0, reinterpret_cast<sockaddr*>(&to),
                 sizeof to) < 0) {
      continue;  // unreachable network: the others still count
    }
    unanswered.insert(address);
  }
  std::array<std::uint8_t, 512> reply{};
  while (!unanswered.empty()) {
    pollfd p{fd.get(), POLLIN, 0};
    if (::poll(&p, 1, milliseconds_left(deadline)) <= 0) break;
    sockaddr_in from{};
    socklen_t length = sizeof from;
    const ssize_t n = ::recvfrom(fd.get(), reply.data(), reply.size(), 0,
                                 reinterpret_cast<sockaddr*>(&from), &length);
    if (n <= 0) continue;
    std::array<char, INET_ADDRSTRLEN> text{};
    ::inet_ntop(AF_INET, &from.sin_addr, text.data(), text.size());
    const std::string host = text.data();
    unanswered.erase(host);  // a broadcast address never answers itself: it waits out the time
    if (getport_reply(reply.data(), static_cast<std::size_t>(n), xid) != 0 &&
        std::find(hosts.begin(), hosts.end(), host) == hosts.end()) {
      hosts.push_back(host);
    }
  }
  return hosts;
}

// Which of `targets` (host, port) accept a TCP connection before the deadline, tried at once.
std::vector<bool> try_connect(const std::vector<std::pair<std::string, std::uint16_t>>& targets,
                              Clock::time_point deadline) {
  std::vector<bool> open(targets.size(), false);
  std::vector<UniqueFd> sockets;
  std::vector<pollfd> waits;
  std::vector<std::size_t> owners;
  for (std::size_t i = 0; i < targets.size(); ++i) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(targets[i].second);
    if (::inet_pton(AF_INET, targets[i].first.c_str(), &to.sin_addr) != 1) continue;
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (fd.get() < 0) continue;
    if (::connect(fd.get(), reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) {
      open[i] = true;
      continue;
    }
    if (errno != EINPROGRESS) continue;
    waits.push_back({fd.get(), POLLOUT, 0});
    owners.push_back(i);
    sockets.push_back(std::move(fd));
  }
  std::size_t pending = waits.size();
  while (pending > 0) {
    if (::poll(waits.data(), waits.size(), milliseconds_left(deadline)) <= 0) break;
    for (std::size_t k = 0; k < waits.size(); ++k) {
      if (waits[k].fd < 0 || waits[k].revents == 0) continue;
      int error = 0;
      socklen_t length = sizeof error;
      ::getsockopt(waits[k].fd, SOL_SOCKET, SO_ERROR, &error, &length);
      open[owners[k]] = error == 0;
      waits[k].fd = -1;  // poll() skips negative descriptors
      --pending;
    }
  }
  return open;
}

}  // namespace

FindSettings FindSettings::from_environment() {
  FindSettings settings;
  if (const char* dev = std::getenv("ZR48_VISA_DEV_ROOT"); dev != nullptr && *dev != '\0') {
    settings.dev_root = dev;
  }
  if (const char* sys = std::getenv("ZR48_VISA_SYS_ROOT"); sys != nullptr && *sys != '\0') {
    settings.sys_root = sys;
  }
  if (const char* lan = std::getenv("ZR48_VISA_LAN_SEARCH"); lan != nullptr) {
    std::string_view rest = lan;
    while (!rest.empty()) {
      const auto comma = rest.find(',');
      std::string_view item = rest.substr(0, comma);
      while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
      while (!item.empty() && item.back() == ' ') item.remove_suffix(1);
      if (!item.empty()) settings.lan_addresses.emplace_back(item);
      rest = comma == std::string_view::npos ? std::string_view{} : rest.substr(comma + 1);
    }
  }
  if (const char* ms = std::getenv("ZR48_VISA_LAN_SEARCH_MS"); ms != nullptr) {
    int value = 0;
    const std::string_view text = ms;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec == std::errc{} && value >= 0 && value <= 60000) settings.lan_timeout_ms = value;
  }
  return settings;
}

std::vector<std::string> find_serial_ports(const FindSettings& settings) {
  std::vector<std::string> names;
  std::error_code error;
  std::vector<std::string> devices;
  for (const auto& entry : fs::directory_iterator(settings.dev_root, error)) {
    const std::string name = entry.path().filename().string();
    if (numbered(name, "ttyUSB") || numbered(name, "ttyACM")) {
      devices.push_back(name);
    } else if (numbered(name, "ttyS")) {
      // The kernel makes ttyS0..ttyS31 whether or not a UART is there; "type" 0 says none.
      const std::string type =
          first_line(fs::path(settings.sys_root) / "class/tty" / name / "type");
      if (!type.empty() && type != "0") devices.push_back(name);
    }
  }
  std::sort(devices.begin(), devices.end());
  names.reserve(devices.size());
  for (const auto& device : devices) {
    names.push_back("ASRL" + (fs::path(settings.dev_root) / device).string() + "::INSTR");
  }
  // Ports mapped to board numbers, whose device exists.
  std::vector<unsigned> mapped;
  for (char** variable = environ; variable != nullptr && *variable != nullptr; ++variable) {
    const std::string_view text = *variable;
    constexpr std::string_view kPrefix = "ZR48_VISA_ASRL";
    const auto equals = text.find('=');
    if (text.substr(0, kPrefix.size()) != kPrefix || equals == std::string_view::npos) continue;
    const std::string_view number = text.substr(kPrefix.size(), equals - kPrefix.size());
    unsigned board = 0;
    const auto result = std::from_chars(number.data(), number.data() + number.size(), board);
    if (result.ec != std::errc{} || result.ptr != number.data() + number.size()) continue;
    if (fs::exists(std::string(text.substr(equals + 1)), error)) mapped.push_back(board);
  }
  std::sort(mapped.begin(), mapped.end());
  for (const unsigned board : mapped) names.push_back("ASRL" + std::to_string(board) + "::INSTR");
  return names;
}

std::vector<std::string> find_usbtmc_devices(const FindSettings& settings) {
  std::vector<std::string> names;
  for (const usbtmc::Interface& interface : usbtmc::list_interfaces(settings.sys_root)) {
    // VISA names need the serial number, and one that splits as a name would not open.
    if (interface.serial.empty() || interface.serial.find("::") != std::string::npos) continue;
    names.push_back(usbtmc::resource_name(interface));
  }
  return names;
}

std::vector<std::string> find_lan_instruments(const FindSettings& settings) {
  std::vector<std::string> names;
  if (settings.lan_addresses.empty()) return names;
  const auto start = Clock::now();
  const auto end = start + std::chrono::milliseconds(settings.lan_timeout_ms);
  // Two thirds of the time for the portmappers, the rest (at least that) for the services.
  const auto ask_until = start + std::chrono::milliseconds(settings.lan_timeout_ms * 2 / 3);
  const std::vector<std::string> vxi11_hosts = ask_portmappers(settings.lan_addresses, ask_until);
  std::vector<std::string> hosts = vxi11_hosts;
  for (const std::string& address : settings.lan_addresses) {
    if (std::find(hosts.begin(), hosts.end(), address) == hosts.end()) hosts.push_back(address);
  }
  std::vector<std::pair<std::string, std::uint16_t>> targets;
  for (const std::string& host : hosts) {
    targets.emplace_back(host, kHislipPort);
    targets.emplace_back(host, kScpiSocketPort);
  }
  const std::vector<bool> open = try_connect(targets, end);
  for (std::size_t at = 0; at < hosts.size(); ++at) {
    const std::string& host = hosts[at];
    if (std::find(vxi11_hosts.begin(), vxi11_hosts.end(), host) != vxi11_hosts.end()) {
      names.push_back("TCPIP0::" + host + "::inst0::INSTR");
    }
    if (open[2 * at]) names.push_back("TCPIP0::" + host + "::hislip0::INSTR");
    if (open[2 * at + 1]) {
      names.push_back("TCPIP0::" + host + "::" + std::to_string(kScpiSocketPort) + "::SOCKET");
    }
  }
  return names;
}

void discover_resources(const ResourceExpression& expression, const FindSettings& settings,
                        std::vector<std::string>& found) {
  std::set<std::string> seen(found.begin(), found.end());
  const auto take = [&](const std::vector<std::string>& names) {
    for (const std::string& name : names) {
      if (expression.matches(name) && seen.insert(name).second) found.push_back(name);
    }
  };
  // Each source on its own: one that fails adds nothing and takes nothing away.
  take(find_serial_ports(settings));
  take(find_usbtmc_devices(settings));
  take(find_gpib_listeners());
  take(find_lan_instruments(settings));
}

ViStatus find_resources(std::string_view expression, const FindSettings& settings,
                        std::vector<std::string>& found) {
  found.clear();
  ResourceExpression pattern;
  const ViStatus status = ResourceExpression::compile(expression, pattern);
  if (status != VI_SUCCESS) return status;
  discover_resources(pattern, settings, found);
  return found.empty() ? VI_ERROR_RSRC_NFOUND : VI_SUCCESS;
}

}  // namespace zr48::visa
