// The simulated seven-channel supply behind its SCPI interface, usable without sockets.
// Not thread-safe by itself: the server serialises access to one instance.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace zr48::sim {

struct Model;
class EchoInstrument;

class Instrument {
 public:
  static constexpr int kChannelCount = 7;
  static constexpr const char* kDefaultIdn = "Velharn, HLV3907, 0123456789AF, 1.00-1.00";

  Instrument();
  ~Instrument();

  // Turns this into the echo instrument (see sim/src/echo.h): it stores one message and sends
  // it back instead of running SCPI. The status byte, *IDN? and the error hooks follow it.
  void become_echo();
  bool echo() const { return echo_ != nullptr; }
  Instrument(const Instrument&) = delete;
  Instrument& operator=(const Instrument&) = delete;

  // Runs program messages: a line feed ends each one, and the end of `text` ends the last.
  // Returns the response messages, each with its "\n", for the messages that held a query
  // that answered; otherwise "". Errors go to the instrument's error queue, as on the supply.
  // Within a message, a command error (-1xx) drops the rest of it; an execution, device or
  // query error rejects only its own unit.
  std::string execute(std::string_view text);

  // The IEEE 488.2 status byte with its summary bits; `message_available` sets MAV (bit 4), which
  // comes from the output queue of whoever serves the instrument.
  std::uint8_t status_byte(bool message_available = false);
  // When a service request the instrument has promised falls due (the echo instrument's slow
  // requests), so that whoever serves it checks the status byte again then.
  std::optional<std::chrono::steady_clock::time_point> service_request_due() const;

  // Device clear reached the instrument (its server has emptied its own queues): the echo
  // instrument drops a pending service request and a half-received message; the supply keeps
  // everything.
  void device_clear();

  // A bus trigger (IEEE 488.2 GET): the same as *TRG.
  void trigger();

  // Records a standard SCPI error raised outside a program message (for example -410 or -420 by
  // a message-based server), with its event status bit.
  void report_error(int code);

  void set_idn(std::string text);  // *IDN? reply without the line feed
  void set_tst(std::string text);  // *TST? reply without the line feed

  // The resistive load on a channel (1..7); zero, negative or infinite ohms is an open circuit.
  void set_load(int channel, double ohms);

  // Records -363 "Input buffer overrun" (the server calls this for an over-long line).
  void report_input_overrun();

  // Replaces the clock behind the output timers (tests).
  void set_clock(std::function<std::chrono::steady_clock::time_point()> clock);

 private:
  std::unique_ptr<Model> model_;
  std::unique_ptr<EchoInstrument> echo_;
};

}  // namespace zr48::sim
