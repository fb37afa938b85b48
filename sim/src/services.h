// The simulator's services, each over the shared Device: raw SCPI lines over TCP (SOCKET),
// VXI-11 (portmapper, core and abort channels) and HiSLIP.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "device.h"
#include "zr48sim/bus_link.h"
#include "zr48sim/server.h"

namespace zr48::sim {

// Connections (or HiSLIP sessions) served at once per service; more are accepted and closed.
inline constexpr std::size_t kMaxConnections = 128;

class Service {
 public:
  virtual ~Service() = default;
  virtual void start() = 0;
  virtual void wake() {}  // the stop signal was raised: wake waits it does not watch
  virtual void join() = 0;
};

std::unique_ptr<Service> make_socket_service(Device& device, const std::string& address,
                                             std::uint16_t port, std::uint16_t& bound_port);

struct HislipOptions {
  std::uint16_t port = 4880;
  bool prefer_overlapped = false;
};
std::unique_ptr<Service> make_hislip_service(Device& device, const std::string& address,
                                             const HislipOptions& options,
                                             std::uint16_t& bound_port);

struct Vxi11Options {
  std::uint16_t core_port = 0;
  std::uint16_t abort_port = 0;
  std::uint32_t max_recv_size = 64 * 1024;
};
struct Vxi11Ports {
  std::uint16_t core = 0;
  std::uint16_t abort = 0;
};
std::unique_ptr<Service> make_vxi11_service(Device& device, const std::string& address,
                                            const Vxi11Options& options, Vxi11Ports& bound);

// The supply on a pseudo-terminal pair.
class SerialLine : public Service {
 public:
  virtual std::string path() const = 0;   // the terminal side, "/dev/pts/N"
  virtual void hang_up() = 0;             // closes the line: the client sees a hang-up
  virtual void hold_xoff(bool held) = 0;  // sends the client's XOFF (held) or XON character
};
std::unique_ptr<SerialLine> make_serial_service(Device& device);

// USBTMC links over `device` while `alive` holds it (the server clears it when it stops).
struct UsbtmcAnchor {
  std::mutex mutex;
  Device* device = nullptr;
};
std::unique_ptr<UsbtmcLink> make_usbtmc_link(std::shared_ptr<UsbtmcAnchor> anchor);
// A bus session in process (see zr48sim/bus_link.h).
std::unique_ptr<BusLink> make_bus_link(Device& device);

// Answers GETPORT for the VXI-11 core channel over TCP and UDP.
std::unique_ptr<Service> make_portmapper_service(Device& device, const std::string& address,
                                                 std::uint16_t port, std::uint16_t core_port,
                                                 std::uint16_t& bound_port);

}  // namespace zr48::sim
