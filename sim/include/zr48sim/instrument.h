// The simulated seven-channel supply behind its SCPI interface, usable without sockets.
// Not thread-safe by itself: the server serialises access to one instance.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace zr48::sim {

struct Model;

class Instrument {
 public:
  static constexpr int kChannelCount = 7;
  static constexpr const char* kDefaultIdn = "Velharn, HLV3907, 0123456789AF, 1.00-1.00";

  Instrument();
  ~Instrument();
  Instrument(const Instrument&) = delete;
  Instrument& operator=(const Instrument&) = delete;

  // Runs one program message (a line without or with its terminator; units separated by ';').
  // Returns the response message with its "\n" when the line held a query that produced one,
  // otherwise "". Errors go to the instrument's error queue, as on the real supply.
  std::string execute(std::string_view line);

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
};

}  // namespace zr48::sim
