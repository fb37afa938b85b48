// The client's end of a VXI-11 interrupt channel: a small RPC server for DEVICE_INTR on the
// local address of the core connection, to which the instrument connects after
// create_intr_chan and sends device_intr_srq calls (one-way: never answered). A call carrying
// the handle given to device_enable_srq is a service request.
#ifndef ZR48_PLATFORM_VISA_TRANSPORTS_VXI11_INTERRUPT_SERVER_H
#define ZR48_PLATFORM_VISA_TRANSPORTS_VXI11_INTERRUPT_SERVER_H

#include <netinet/in.h>

#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "visa/transports/tcp_socket.h"
#include "visa/wire/xdr.h"

namespace zr48::visa {

class InterruptServer {
 public:
  // Largest call record taken: a device_intr_srq is a header and a 40-byte handle.
  static constexpr std::size_t kMaxRecord = 4096;

  // Listens on `local` (port 0: any free one) and serves on a thread until destroyed.
  static ViStatus start(const sockaddr_in& local, std::vector<std::uint8_t> handle,
                        std::function<void()> notify, std::unique_ptr<InterruptServer>& out);
  InterruptServer(const InterruptServer&) = delete;
  InterruptServer& operator=(const InterruptServer&) = delete;
  ~InterruptServer();

  // Where the instrument is to connect (host order).
  std::uint32_t address() const { return address_; }
  std::uint16_t port() const { return port_; }

 private:
  InterruptServer(UniqueFd listener, UniqueFd wake, std::vector<std::uint8_t> handle,
                  std::function<void()> notify);
  void run();
  // Serves one connection until it closes; false when told to stop.
  bool serve(int connection);
  // Waits until `fd` is readable; false when told to stop.
  bool wait_readable(int fd) const;
  void take_call(wire::Bytes record);

  UniqueFd listener_;
  UniqueFd wake_;  // an eventfd: readable once the server is to stop
  std::vector<std::uint8_t> handle_;
  std::function<void()> notify_;
  std::uint32_t address_ = 0;
  std::uint16_t port_ = 0;
  std::thread thread_;
};

}  // namespace zr48::visa

#endif
