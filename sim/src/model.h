// The state and behaviour of the simulated seven-channel supply, without any SCPI syntax:
// settings, the output solution into each channel's resistive load, protection, status registers.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "scpi_errors.h"

namespace zr48::sim {

inline constexpr int kChannels = 7;
inline constexpr int kSaveSlots = 10;  // *SAV 0 .. *SAV 9

struct Rating {
  double volt;
  double curr;
};
// Channels 1-6 are 30 V / 3 A outputs combinable in pairs (1+2, 3+4, 5+6); channel 7 is a 6 V / 5 A
// auxiliary output.
inline constexpr std::array<Rating, kChannels> kRatings{
    {{30.0, 3.0}, {30.0, 3.0}, {30.0, 3.0}, {30.0, 3.0}, {30.0, 3.0}, {30.0, 3.0}, {6.0, 5.0}}};
inline constexpr double kOvpHeadroom = 1.1;  // OVP may be set up to 110 % of the rating
inline constexpr double kDefaultLoadOhms = 10.0;

struct ChannelSettings {
  double volt = 0.0;
  double curr = 0.0;
  double volt_step = 0.1;
  double curr_step = 0.01;
  double volt_trig = 0.0;
  double curr_trig = 0.0;
  bool volt_trig_pending = false;  // set by VOLT:TRIG, applied and cleared by a trigger
  bool curr_trig_pending = false;
  double ovp_level = 0.0;
  bool ovp_on = true;
  double volt_limit = 0.0;
  bool volt_limit_on = false;
  bool output = false;
  bool output_enabled = true;
  bool timer_on = false;
  double timer_s = 10.0;
};

enum class Combination { kOff, kSeries, kParallel, kTrack };

// Everything *SAV stores and *RCL restores.
struct Settings {
  std::array<ChannelSettings, kChannels> channels{};
  std::array<Combination, 3> pairs{};  // pair p holds channels 2p+1 and 2p+2
  unsigned coupled = 0;                // bit n-1 set: channel n is coupled
  int selected = 1;
};

// A status register with its condition, latched event (positive transitions) and enable parts.
struct Register {
  std::uint16_t condition = 0;
  std::uint16_t event = 0;
  std::uint16_t enable = 0;

  void set_condition(std::uint16_t value) {
    event |= static_cast<std::uint16_t>(value & ~condition);
    condition = value;
  }
  std::uint16_t read_event() {
    const std::uint16_t value = event;
    event = 0;
    return value;
  }
  bool summary() const { return (event & enable) != 0; }
};

// QUEStionable or OPERation: the top register, the instrument summary and one ISUM per channel.
struct RegisterGroup {
  Register top;
  Register inst;
  std::array<Register, kChannels> isum{};
};

// Bits of the status structure.
inline constexpr std::uint16_t kQuesOverVoltage = 1 << 0;     // ISUMn: protection tripped
inline constexpr std::uint16_t kQuesVoltageLimited = 1 << 1;  // ISUMn: level clamped by VOLT:LIM
inline constexpr std::uint16_t kOperConstantVoltage = 1 << 8;
inline constexpr std::uint16_t kOperConstantCurrent = 1 << 10;
inline constexpr std::uint16_t kInstSummaryBit = 1 << 13;  // in QUES and OPER
inline constexpr std::uint8_t kStbErrorQueue = 1 << 2;
inline constexpr std::uint8_t kStbQues = 1 << 3;
inline constexpr std::uint8_t kStbMav = 1 << 4;
inline constexpr std::uint8_t kStbEsb = 1 << 5;
inline constexpr std::uint8_t kStbMss = 1 << 6;
inline constexpr std::uint8_t kStbOper = 1 << 7;
inline constexpr std::uint8_t kEsrOpc = 1 << 0;
inline constexpr std::uint8_t kEsrQueryError = 1 << 2;
inline constexpr std::uint8_t kEsrDeviceError = 1 << 3;
inline constexpr std::uint8_t kEsrExecutionError = 1 << 4;
inline constexpr std::uint8_t kEsrCommandError = 1 << 5;
inline constexpr std::uint8_t kEsrPowerOn = 1 << 7;
// SCPI registers keep bit 15 clear so that no controller reads a register as negative.
inline constexpr std::uint16_t kRegisterBits = 0x7fff;

enum class OutputMode { kOff, kConstantVoltage, kConstantCurrent };

struct Output {
  double volt = 0.0;
  double curr = 0.0;
  OutputMode mode = OutputMode::kOff;
  bool limited = false;  // the voltage limit clamps the programmed level
};

struct Reading {
  double volt = 0.0;
  double curr = 0.0;
  double power = 0.0;
};

enum class RemoteMode { kLocal, kRemote, kRwlock };

enum class CalPoint { kNone, kMin, kMid, kMax };

struct Calibration {
  bool secured = true;
  std::string code = "HLV3907";
  CalPoint volt_point = CalPoint::kNone;
  CalPoint curr_point = CalPoint::kNone;
  // Measured values entered per channel and point (min, mid, max); 0 = not entered.
  std::array<std::array<double, 3>, kChannels> volt_values{};
  std::array<std::array<double, 3>, kChannels> curr_values{};
  int count = 0;  // number of CAL:SAV since the instrument was built
};

using Clock = std::function<std::chrono::steady_clock::time_point()>;

struct Model {
  Model();

  Settings settings;
  std::array<Settings, kSaveSlots> saved{};
  std::array<bool, kChannels> tripped{};
  std::array<double, kChannels> load_ohms{};
  std::array<Reading, kChannels> readings{};
  std::array<std::optional<std::chrono::steady_clock::time_point>, kChannels> timer_deadline{};

  RegisterGroup ques;
  RegisterGroup oper;
  std::uint8_t esr = kEsrPowerOn;  // the supply has just been switched on
  std::uint8_t ese = 0;
  std::uint8_t sre = 0;
  bool psc = true;
  ErrorQueue errors;

  bool display_on = true;
  std::string display_text;
  int gpib_address = 5;
  RemoteMode remote = RemoteMode::kLocal;
  int beeps = 0;
  Calibration cal;

  std::string idn = "Velharn, HLV3907, 0123456789AF, 1.00-1.00";
  std::string tst = "0";
  Clock clock = [] { return std::chrono::steady_clock::now(); };

  // 1-based channel access.
  ChannelSettings& channel(int n) { return settings.channels.at(static_cast<std::size_t>(n - 1)); }
  const ChannelSettings& channel(int n) const {
    return settings.channels.at(static_cast<std::size_t>(n - 1));
  }
  ChannelSettings& selected() { return channel(settings.selected); }

  // The pair a channel belongs to (-1 for channel 7) and its combination.
  static int pair_of(int n) { return n <= 6 ? (n - 1) / 2 : -1; }
  Combination combination_of(int n) const;
  // A follower takes its settings from its pair's primary: any setting in series or parallel,
  // the voltage in tracking.
  bool follows(int n, bool voltage_setting) const;

  Output solve(int n) const;
  Reading measure(int n);  // solves and stores the reading that FETCH returns

  void set_output(int n, bool on);  // honours coupling
  void trigger();                   // applies every pending triggered level
  void reset_settings();            // *RST
  void clear_status();              // *CLS
  void preset_status();             // STAT:PRES

  // Queues the error and sets the event status bit of its class (-350 sets bit 3 as well).
  void push_error(int code);
  // The status byte; MAV comes from whoever holds the output queue.
  std::uint8_t status_byte(bool message_available = false) const;

  // Brings everything derived up to date after a command: output timers, protection trips,
  // followers, register conditions and summaries.
  void settle();
};

}  // namespace zr48::sim
