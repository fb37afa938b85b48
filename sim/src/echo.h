// The echo instrument: stores one message and sends it back, the loopback partner that PyVISA's
// assisted tests talk to. "RECEIVE" makes the next message (every byte up to and including its
// line feed, across writes) the stored data; "SEND" answers with it; "RCVSLOWSRQ" and
// "SENDSLOWSRQ" do the same, and SENDSLOWSRQ also requests service half a second later.
// "*IDN?" answers the identity, "*STB?" the status byte, "*CLS" drops a pending service request;
// everything else is taken and ignored.
//
// Not thread-safe: the Instrument that holds it is served under the server's lock.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace zr48::sim {

class EchoInstrument {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::milliseconds kServiceRequestDelay{500};
  static constexpr const char* kIdn = "Velharn, ECHO, 0, 1.00";

  // `text`: one program message as the server delimits it, with its line feed if it had one.
  // Returns the response ("" for none).
  std::string execute(std::string_view text, const std::string& idn);

  // The status byte: RQS (bit 6) once a requested service request is due, MAV (bit 4) as
  // given. A serial poll reads RQS once: reading clears it.
  std::uint8_t status_byte(bool message_available);

  // *CLS: the pending service request goes. Device clear: that and a half-received message.
  void clear_status();
  void device_clear();

  void set_clock(std::function<Clock::time_point()> clock) { clock_ = std::move(clock); }

  // When the pending slow service request falls due, if one is pending.
  std::optional<Clock::time_point> service_request_due() const { return request_due_; }

 private:
  // Raises the service request: RQS in the status byte, which the server sees when it checks
  // the status byte at the due time and sends out on its service-request channels.
  void raise_service_request();
  void settle();  // raises a service request whose time has come

  std::string stored_;
  bool receiving_ = false;  // the next message (up to a line feed) is the stored data
  std::optional<Clock::time_point> request_due_;
  bool rqs_ = false;
  std::function<Clock::time_point()> clock_ = [] { return Clock::now(); };
};

}  // namespace zr48::sim
