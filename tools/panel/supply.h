// The panel's one driver session: reads every channel's state and carries out the controls, all
// through the driver's C interface. Thread-safe: polls and controls take turns on one mutex, so
// that the instrument errors read after a control belong to that control.
#pragma once

#include <array>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ZR48.h"
#include "channel_limits.h"

namespace zr48::panel {

struct ChannelState {
  double set_volt = 0.0;
  double set_curr = 0.0;
  double ovp = 0.0;
  double volt = 0.0;   // measured
  double curr = 0.0;   // measured
  double power = 0.0;  // measured
  bool output = false;
  bool tripped = false;
  std::string mode = "off";         // "CV", "CC" or "off"
  std::string combination = "off";  // "off", "series", "parallel" or "track"
};

struct Snapshot {
  double time = 0.0;  // seconds since the Unix epoch
  std::array<ChannelState, kChannelCount> channels{};
  std::string link_error;                      // the last failed call of this poll, or empty
  std::vector<std::string> instrument_errors;  // read from the error queue by this poll
};

struct Identity {
  std::string resource;
  std::string idn;
  std::string driver_revision;
  std::string firmware_revision;
  bool simulated = false;
};

struct ControlResult {
  bool ok = true;
  std::string message;                         // why the driver refused, when it did
  std::vector<std::string> instrument_errors;  // what the instrument reported afterwards
};

class Supply {
 public:
  // Opens the session; null with the reason in `error` when it cannot.
  static std::unique_ptr<Supply> open(const std::string& resource, const std::string& options,
                                      std::string& error);
  Supply(const Supply&) = delete;
  Supply& operator=(const Supply&) = delete;
  ~Supply();

  const Identity& identity() const { return identity_; }

  // Reads all channels and drains the instrument's error queue. A simulated session answers
  // nothing, so values it cannot read keep what the panel last set.
  Snapshot poll();

  ControlResult set(int channel, Setting setting, const std::string& value);
  ControlResult set_output(int channel, bool on);
  ControlResult all_off();
  ControlResult clear_protection(int channel);

 private:
  explicit Supply(ViSession vi);
  std::string last_error(ViStatus status);
  // Runs `call` (returning a ViStatus) and collects the instrument errors after it.
  template <typename Call>
  ControlResult control(Call call);
  std::vector<std::string> drain_errors();

  ViSession vi_ = VI_NULL;
  Identity identity_;
  std::array<std::string, kChannelCount> names_{};
  std::array<ChannelState, kChannelCount> last_{};  // the previous poll and controls since
  std::mutex mutex_;
};

}  // namespace zr48::panel
