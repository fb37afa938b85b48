// One HiSLIP channel (synchronous or asynchronous): whole messages out, whole messages in,
// every wait bounded. A message cut by a time-out stays half-read and is finished by the
// next wait, so a time-out never puts the stream out of step. Reserved and vendor-specific
// messages are answered with Error and skipped; a broken header or an oversize payload ends
// the connection (FatalError to the peer, VI_ERROR_CONN_LOST here).
#ifndef ZR48_PLATFORM_VISA_TRANSPORTS_HISLIP_HISLIP_CHANNEL_H
#define ZR48_PLATFORM_VISA_TRANSPORTS_HISLIP_HISLIP_CHANNEL_H

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "visa/transports/tcp_socket.h"
#include "visa/wire/hislip.h"

namespace zr48::visa {

class HislipChannel {
 public:
  HislipChannel(std::unique_ptr<TcpTransport> socket, std::uint64_t max_payload);

  // Sends one message. A failure part-way through a message loses the connection.
  ViStatus send(const wire::hislip::Header& header, wire::Bytes payload, const Deadline& deadline);

  // The next message; `payload` stays valid until the next call.
  ViStatus next(const Deadline& deadline, wire::hislip::Header& header, wire::Bytes& payload);

  // Tells the peer why, and closes: every later call reports VI_ERROR_CONN_LOST.
  ViStatus fatal(std::uint8_t code, std::string_view text);
  // The connection is gone (a FatalError received, a read or send failed).
  ViStatus lost();
  bool broken() const { return broken_; }

  void interrupt() { socket_->interrupt(); }
  TcpTransport& socket() { return *socket_; }
  const TcpTransport& socket() const { return *socket_; }

 private:
  std::unique_ptr<TcpTransport> socket_;
  std::uint64_t max_payload_;
  std::vector<std::uint8_t> in_;
  std::size_t in_start_ = 0;
  std::size_t in_end_ = 0;
  std::vector<std::uint8_t> out_;
  std::atomic<bool> broken_{false};  // read by a service-request watcher too
};

}  // namespace zr48::visa

#endif
