// The simulated supply served on a loopback address over raw SCPI lines (SOCKET), VXI-11 and
// HiSLIP at once, with the bytes it received and fault injection for tests.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zr48::sim {

class BusLink;

// Which services to run and where. A port of 0 picks a free one.
struct ServerOptions {
  std::string bind_address = "127.0.0.1";  // numeric IPv4 or IPv6
  bool socket = true;
  std::uint16_t socket_port = 0;
  bool hislip = false;
  std::uint16_t hislip_port = 4880;
  bool hislip_prefer_overlapped = false;  // what InitializeResponse states
  bool hislip_optional = false;           // when its port cannot be bound, serve the rest
  bool vxi11 = false;
  std::uint16_t vxi11_core_port = 0;
  std::uint16_t vxi11_abort_port = 0;
  std::uint32_t vxi11_max_recv_size = 64 * 1024;  // largest device_write data accepted
  bool serial = false;                            // a pseudo-terminal pair (see serial_resource())
  bool portmapper = false;                        // needs vxi11
  std::uint16_t portmapper_port = 111;
  bool echo = false;  // serve the echo instrument (Instrument::become_echo) instead of the supply

  // Every service on `address`, HiSLIP and the VXI-11 channels on free ports, the portmapper
  // on 111.
  static ServerOptions all(std::string address);
};

// One host file's way to the supply's USBTMC function (USB488 subclass), in process: what the
// kernel's usbtmc driver would move over the bus for one open of /dev/usbtmcN. A stand-in for
// that driver drives it (the tests' fake device files). Each link is a session of its own, as a
// SOCKET connection is. One caller at a time; every call after the server is gone says so.
class UsbtmcLink {
 public:
  virtual ~UsbtmcLink() = default;
  enum class Result { kOk, kStall, kGone };
  // A bulk-out transfer as the host sends it: the 12-byte header (DEV_DEP_MSG_OUT,
  // REQUEST_DEV_DEP_MSG_IN or TRIGGER), the data, the alignment bytes. A transfer the device
  // cannot take halts the endpoint (stall); gone: unplugged (the close hooks do that).
  virtual Result bulk_out(std::string_view transfer) = 0;
  struct BulkIn {
    Result result = Result::kOk;
    std::optional<std::string> transfer;  // the DEV_DEP_MSG_IN transfer, when one is ready
    std::chrono::steady_clock::time_point ready_at =
        std::chrono::steady_clock::time_point::max();  // without one: when to ask again
  };
  // The bulk-in transfer answering the outstanding REQUEST_DEV_DEP_MSG_IN. A request with no
  // response waiting is answered never (-420 is recorded), as by a device on the bench.
  virtual BulkIn bulk_in() = 0;
  virtual std::uint8_t read_status_byte() = 0;  // USB488 READ_STATUS_BYTE
  virtual void initiate_clear() = 0;            // INITIATE_CLEAR: the device clear
  // The interrupt-IN endpoint: from this call until the link goes, `listener` hears each
  // notification sent there as its bytes (a service request: 0x81, the status byte), on the
  // thread that raised it. The listener must not call back into the link.
  virtual void listen_interrupts(std::function<void(std::string_view)> listener) = 0;
};

// The instrument's remote/local state. It starts in local with remote enabled, as a HiSLIP
// connection does; messages to the instrument make it remote while remote is enabled.
struct RemoteLocalState {
  bool remote_enable = true;
  bool local_lockout = false;
  bool remote = false;
  bool operator==(const RemoteLocalState&) const = default;
};

class Server {
 public:
  // SOCKET only: listens on 127.0.0.1 (or the given address, e.g. "::1") at `port`.
  explicit Server(std::uint16_t port = 0, std::string bind_address = "127.0.0.1");
  // Serves every connection of every service on its own thread; all share one instrument.
  // Throws std::system_error when an address cannot be bound, except the portmapper's (and
  // HiSLIP's when optional): then the rest is served and portmapper_error() says why.
  explicit Server(ServerOptions options);
  ~Server();  // stops, closes every connection, joins threads
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  const ServerOptions& options() const;
  std::uint16_t port() const;  // SOCKET; 0 when not served
  std::uint16_t hislip_port() const;
  std::uint16_t vxi11_core_port() const;
  std::uint16_t vxi11_abort_port() const;
  std::uint16_t portmapper_port() const;  // 0 when not served
  std::string portmapper_error() const;   // "" unless the portmapper could not be bound
  std::string hislip_error() const;       // "" unless an optional HiSLIP could not be bound

  // "TCPIP::127.0.0.1::<port>::SOCKET", IPv6 "TCPIP::[::1]::<port>::SOCKET"
  std::string resource() const;
  // "TCPIP::<addr>::hislip0::INSTR", with ",<port>" after hislip0 when not on 4880
  std::string hislip_resource() const;
  std::string vxi11_resource() const;   // "TCPIP::<addr>::inst0::INSTR"
  std::string serial_resource() const;  // "ASRL/dev/pts/<n>::INSTR"; "" when not served
  // A new link to the USBTMC function (see UsbtmcLink); it may outlive the server.
  std::unique_ptr<UsbtmcLink> usbtmc_link();
  // A session in process for a bus-attached client (zr48sim/bus_link.h), as a GPIB device
  // would serve its controller; it must not outlive this server.
  std::unique_ptr<BusLink> open_bus_link();

  // Every message byte received, exactly as received: SOCKET bytes, VXI-11 device_write data,
  // HiSLIP Data/DataEnd payloads.
  std::string received() const;  // all sessions, in arrival order
  // received() once it holds at least `bytes` bytes, or when `limit` has passed.
  std::string wait_for_received(std::size_t bytes, std::chrono::milliseconds limit) const;
  // One string per session (a SOCKET connection, a VXI-11 link, a HiSLIP session), in the
  // order they opened.
  std::vector<std::string> received_by_connection() const;
  std::size_t connection_count() const;  // sessions opened so far
  void clear_received();

  // Fault injection (thread-safe; applies from the next query on, to every session of every
  // protocol).
  void set_reply_delay(std::chrono::milliseconds delay);  // wait this long before each reply
  void set_silent(bool silent);                           // run queries but never answer them
  // Answers the next query with exactly these message bytes instead of the model's reply (no
  // terminator added). Queued: each query takes the next one.
  void push_reply(std::string raw);
  // Sends exactly these bytes instead of the whole protocol message carrying the next reply
  // (VXI-11: the RPC record of the device_read, mark included; HiSLIP: the header and payload;
  // SOCKET: as push_reply). Queued.
  void push_wire_reply(std::string raw);
  // After `lines` more complete lines arrive (in any session), closes the connection that
  // received the last one without running or answering it (1 = close on the next line).
  // VXI-11 closes the core channel; HiSLIP both channels.
  void close_after_lines(std::size_t lines);
  // Sends only the first `bytes` of the next reply on the wire (with VXI-11 and HiSLIP counted
  // from the start of the protocol message), then closes that connection.
  void close_mid_reply(std::size_t bytes);
  // Holds the instrument's lock as another client would (VXI-11 error 11, HiSLIP waits).
  void lock_from_other_client(bool locked);
  // Each lock and unlock request received, in order: VXI-11 device_lock and device_unlock calls
  // after their xid, HiSLIP AsyncLock messages (header and lock string).
  std::vector<std::string> lock_requests() const;
  // VXI-11: the next core-channel reply is preceded by a late copy of the previous one.
  void vxi11_send_stale_xid();
  // VXI-11: device_read ignores its io_timeout; only device_abort on the abort channel ends
  // it (error 23).
  void vxi11_hang_until_abort(bool hang);
  // HiSLIP: answers the next message on a synchronous channel with FatalError(code, text) on
  // both channels, then closes them.
  void hislip_fatal_error(std::uint8_t code, std::string text);
  // HiSLIP: the next query is interrupted (Interrupted and AsyncInterrupted, no reply).
  void hislip_interrupt_next();
  // Serial: held, the next reply goes out behind the client's XOFF character, as a device
  // whose input is full would send it (a client that has read that reply is held: with XON/XOFF
  // flow control its output stops); released, XON goes out at once.
  void serial_hold_xoff(bool held);
  // Serial: hangs the line up; the client's reads and writes fail from then on.
  void serial_hang_up();
  // Remote/local as VXI-11 device_remote/device_local and HiSLIP AsyncRemoteLocalControl left
  // it, and each such request received, in order: VXI-11 the call after its xid (message type
  // to arguments), HiSLIP the 16-byte header.
  RemoteLocalState remote_local() const;
  std::vector<std::string> remote_local_requests() const;

  void set_idn(std::string text);  // *IDN? reply without line feed
  void set_tst(std::string text);  // *TST? reply without line feed; default "0"
  void reset_faults();

  // The resistive load on a channel (1..7); zero or infinite ohms is an open circuit.
  void set_load(int channel, double ohms);

  // Raises a service request now, whatever the status model says: HiSLIP sessions get
  // AsyncServiceRequest, VXI-11 links with service requests enabled get device_intr_srq on
  // their interrupt channel. The status model raises one itself when an event enabled in *SRE
  // becomes true.
  void raise_service_request();

  // Runs one line as if received, bypassing the sockets and the fault hooks; returns the reply
  // bytes ("" for commands).
  std::string execute(std::string_view line);

  // Lines longer than this (without a line feed) are dropped with -363 "Input buffer overrun".
  static constexpr std::size_t kMaxLineBytes = 64 * 1024;
  // Connections beyond this many at once (per service) are accepted and closed at once.
  static constexpr std::size_t kMaxConnections = 128;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace zr48::sim
