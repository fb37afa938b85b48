#include "zr48sim/server.h"

#include <system_error>

#include "device.h"
#include "services.h"
#include "zr48sim/bus_link.h"

namespace zr48::sim {

static_assert(Server::kMaxConnections == kMaxConnections);

ServerOptions ServerOptions::all(std::string address) {
  ServerOptions options;
  options.bind_address = std::move(address);
  options.hislip = true;
  options.hislip_port = 0;
  options.vxi11 = true;
  options.portmapper = true;
  return options;
}

struct Server::Impl {
  ServerOptions options;
  Device device;
  std::uint16_t socket_port = 0;
  std::uint16_t hislip_port = 0;
  Vxi11Ports vxi11_ports;
  std::uint16_t portmapper_port = 0;
  std::string portmapper_error;
  std::string hislip_error;
  std::vector<std::unique_ptr<Service>> services;
  SerialLine* serial = nullptr;  // owned by `services`
  std::shared_ptr<UsbtmcAnchor> usbtmc = std::make_shared<UsbtmcAnchor>();

  void start();
  void stop();
};

void Server::Impl::start() {
  usbtmc->device = &device;
  const std::string& address = options.bind_address;
  if (options.echo) device.instrument.become_echo();
  if (options.socket) {
    services.push_back(make_socket_service(device, address, options.socket_port, socket_port));
  }
  if (options.hislip) {
    const HislipOptions hislip{options.hislip_port, options.hislip_prefer_overlapped};
    try {
      services.push_back(make_hislip_service(device, address, hislip, hislip_port));
    } catch (const std::system_error& e) {
      if (!options.hislip_optional) throw;
      hislip_error = e.what();
    }
  }
  if (options.vxi11) {
    const Vxi11Options vxi11{options.vxi11_core_port, options.vxi11_abort_port,
                             std::max<std::uint32_t>(options.vxi11_max_recv_size, 1024)};
    services.push_back(make_vxi11_service(device, address, vxi11, vxi11_ports));
    if (options.portmapper) {
      try {
        services.push_back(make_portmapper_service(device, address, options.portmapper_port,
                                                   vxi11_ports.core, portmapper_port));
      } catch (const std::system_error& e) {
        portmapper_error = e.what();
      }
    }
  }
  if (options.serial) {
    auto line = make_serial_service(device);
    serial = line.get();
    services.push_back(std::move(line));
  }
  for (auto& service : services) service->start();
}

void Server::Impl::stop() {
  {
    const std::lock_guard guard(usbtmc->mutex);
    usbtmc->device = nullptr;
  }
  device.stop.raise();
  device.lock.wake_all();
  for (auto& service : services) service->wake();
  for (auto& service : services) service->join();
}

Server::Server(std::uint16_t port, std::string bind_address)
    : Server([&] {
        ServerOptions options;
        options.bind_address = std::move(bind_address);
        options.socket_port = port;
        return options;
      }()) {}

Server::Server(ServerOptions options) : impl_(std::make_unique<Impl>()) {
  impl_->options = std::move(options);
  try {
    impl_->start();
  } catch (...) {
    impl_->stop();
    throw;
  }
}

Server::~Server() {
  impl_->stop();
}

const ServerOptions& Server::options() const {
  return impl_->options;
}
std::uint16_t Server::port() const {
  return impl_->socket_port;
}
std::uint16_t Server::hislip_port() const {
  return impl_->hislip_port;
}
std::uint16_t Server::vxi11_core_port() const {
  return impl_->vxi11_ports.core;
}
std::uint16_t Server::vxi11_abort_port() const {
  return impl_->vxi11_ports.abort;
}
std::uint16_t Server::portmapper_port() const {
  return impl_->portmapper_port;
}
std::string Server::portmapper_error() const {
  return impl_->portmapper_error;
}

std::string Server::hislip_error() const {
  return impl_->hislip_error;
}

std::string Server::resource() const {
  return "TCPIP::" + host_text(impl_->options.bind_address) +
         "::" + std::to_string(impl_->socket_port) + "::SOCKET";
}

std::string Server::hislip_resource() const {
  const std::string port =
      impl_->hislip_port == 4880 ? "" : "," + std::to_string(impl_->hislip_port);
  return "TCPIP::" + host_text(impl_->options.bind_address) + "::hislip0" + port + "::INSTR";
}

std::string Server::vxi11_resource() const {
  return "TCPIP::" + host_text(impl_->options.bind_address) + "::inst0::INSTR";
}

std::unique_ptr<BusLink> Server::open_bus_link() {
  return make_bus_link(impl_->device);
}

std::string Server::serial_resource() const {
  return impl_->serial != nullptr ? "ASRL" + impl_->serial->path() + "::INSTR" : std::string();
}

std::unique_ptr<UsbtmcLink> Server::usbtmc_link() {
  return make_usbtmc_link(impl_->usbtmc);
}

void Server::serial_hold_xoff(bool held) {
  if (impl_->serial != nullptr) impl_->serial->hold_xoff(held);
}

void Server::serial_hang_up() {
  if (impl_->serial != nullptr) impl_->serial->hang_up();
}

std::string Server::received() const {
  const std::lock_guard lock(impl_->device.record_mutex);
  return impl_->device.received;
}

std::string Server::wait_for_received(std::size_t bytes, std::chrono::milliseconds limit) const {
  std::unique_lock lock(impl_->device.record_mutex);
  impl_->device.arrived.wait_for(lock, limit,
                                 [&] { return impl_->device.received.size() >= bytes; });
  return impl_->device.received;
}

std::vector<std::string> Server::received_by_connection() const {
  const std::lock_guard lock(impl_->device.record_mutex);
  return impl_->device.by_session;
}

std::size_t Server::connection_count() const {
  const std::lock_guard lock(impl_->device.record_mutex);
  return impl_->device.by_session.size();
}

void Server::clear_received() {
  const std::lock_guard lock(impl_->device.record_mutex);
  impl_->device.received.clear();
  for (auto& text : impl_->device.by_session) text.clear();
}

void Server::set_reply_delay(std::chrono::milliseconds delay) {
  impl_->device.with_faults([&](Faults& f) { f.delay = delay; });
}

void Server::set_silent(bool silent) {
  impl_->device.with_faults([&](Faults& f) { f.silent = silent; });
}

void Server::push_reply(std::string raw) {
  impl_->device.with_faults([&](Faults& f) { f.replies.push_back(std::move(raw)); });
}

void Server::push_wire_reply(std::string raw) {
  impl_->device.with_faults([&](Faults& f) { f.wire_replies.push_back(std::move(raw)); });
}

void Server::close_after_lines(std::size_t lines) {
  impl_->device.with_faults(
      [&](Faults& f) { f.close_after_lines = lines == 0 ? std::nullopt : std::optional(lines); });
}

void Server::close_mid_reply(std::size_t bytes) {
  impl_->device.with_faults([&](Faults& f) { f.close_mid_reply = bytes; });
}

void Server::lock_from_other_client(bool locked) {
  if (locked) {
    impl_->device.lock.lock(DeviceLock::kOtherClient, "", Clock::now());
  } else {
    impl_->device.lock.release_all(DeviceLock::kOtherClient);
  }
}

void Server::vxi11_send_stale_xid() {
  impl_->device.with_faults([](Faults& f) { f.stale_xid = true; });
}

void Server::vxi11_hang_until_abort(bool hang) {
  impl_->device.with_faults([&](Faults& f) { f.hang_until_abort = hang; });
}

void Server::hislip_fatal_error(std::uint8_t code, std::string text) {
  impl_->device.with_faults([&](Faults& f) { f.fatal_error.emplace(code, std::move(text)); });
}

void Server::hislip_interrupt_next() {
  impl_->device.with_faults([](Faults& f) { f.interrupt_next = true; });
}

std::vector<std::string> Server::lock_requests() const {
  return impl_->device.lock.requests();
}

RemoteLocalState Server::remote_local() const {
  return impl_->device.remote_local.state();
}

std::vector<std::string> Server::remote_local_requests() const {
  return impl_->device.remote_local.requests();
}

void Server::raise_service_request() {
  impl_->device.raise_service_request();
}

void Server::reset_faults() {
  impl_->device.with_faults([](Faults& f) { f = Faults{}; });
}

void Server::set_idn(std::string text) {
  const std::lock_guard lock(impl_->device.instrument_mutex);
  impl_->device.instrument.set_idn(std::move(text));
}

void Server::set_tst(std::string text) {
  const std::lock_guard lock(impl_->device.instrument_mutex);
  impl_->device.instrument.set_tst(std::move(text));
}

void Server::set_load(int channel, double ohms) {
  const std::lock_guard lock(impl_->device.instrument_mutex);
  impl_->device.instrument.set_load(channel, ohms);
}

std::string Server::execute(std::string_view line) {
  return impl_->device.execute(line);
}

}  // namespace zr48::sim
