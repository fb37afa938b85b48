// Raw TCP socket transport for "TCPIP[board]::host::port::SOCKET" resources, and the TCP
// connection the LAN instrument protocols run over.
#ifndef ZR48_PLATFORM_VISA_TRANSPORTS_TCP_SOCKET_H
#define ZR48_PLATFORM_VISA_TRANSPORTS_TCP_SOCKET_H

#include <memory>
#include <string>
#include <utility>

#include "visa/resource_name.h"
#include "visa/transport.h"

namespace zr48::visa {

// Owns one file descriptor and closes it exactly once.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) reset(std::exchange(other.fd_, -1));
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { reset(); }
  int get() const { return fd_; }
  void reset(int fd = -1);

 private:
  int fd_ = -1;
};

class TcpTransport final : public Transport {
 public:
  // Resolves `host` (name, dotted IPv4 or IPv6 literal without brackets) and connects within
  // `deadline`. Refused or unreachable: VI_ERROR_RSRC_NFOUND; no answer in time: VI_ERROR_TMO.
  static ViStatus connect(const std::string& host, ViUInt16 port, const Deadline& deadline,
                          std::unique_ptr<TcpTransport>& out);

  // A socket has no END: `end` is ignored, and reads end at what has arrived.
  ViStatus send(const ViByte* data, std::size_t size, bool end, const Deadline& deadline,
                std::size_t& sent) override;
  ViStatus receive(ViByte* data, std::size_t capacity, const ReadTermination& termination,
                   const Deadline& deadline, Received& received) override;
  // The stream primitives under both: every byte, or at least one. A protocol frame is sent
  // with `cancellable` false: once begun it goes out whole, as half of one would break the
  // framing; the deadline still bounds it.
  ViStatus send_bytes(const ViByte* data, std::size_t size, const Deadline& deadline,
                      std::size_t& sent, bool cancellable = true);
  ViStatus receive_some(ViByte* data, std::size_t capacity, const Deadline& deadline,
                        std::size_t& received);
  // Exactly `size` bytes, or a failure.
  ViStatus receive_exact(ViByte* data, std::size_t size, const Deadline& deadline);
  const std::string& address() const { return address_; }
  ViStatus discard_ready() override;
  void interrupt() override;
  ViStatus get_attribute(ViAttr attribute, void* value) const override;
  ViStatus set_attribute(ViAttr attribute, ViAttrState value) override;
  int native_handle() const override { return fd_.get(); }
  // IEEE 488.2 as strings (tcp_socket_488.cpp).
  ViStatus clear(const Deadline& deadline) override;
  ViStatus read_status_byte(const Deadline& deadline, ViUInt16& status) override;
  ViStatus trigger(const Deadline& deadline) override;

 private:
  TcpTransport(UniqueFd fd, std::string host, ViUInt16 port, std::string address);
  ViStatus wait(short events, const Deadline& deadline, bool cancellable) const;
  // Sets SO_RCVTIMEO (0: no limit) unless it is set so already; false if the socket refused.
  bool set_receive_timeout(int ms);
  ViStatus get_flag(int level, int option, void* value) const;
  ViStatus set_flag(int level, int option, ViAttrState value);

  UniqueFd fd_;
  std::string host_;  // as written in the resource name
  ViUInt16 port_;
  std::string address_;         // numeric address actually connected to
  int receive_timeout_ms_ = 0;  // SO_RCVTIMEO as last set; 0 is the socket's default, no limit
};

struct OpenRequest;
// The transport table's open function for SOCKET resources.
ViStatus open_tcp_socket(const OpenRequest& request, std::unique_ptr<Transport>& out);

}  // namespace zr48::visa

#endif
