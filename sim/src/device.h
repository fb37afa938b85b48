// What every service shares: the one simulated instrument, the record of the message bytes
// each session sent, the fault hooks and the instrument's lock.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "net.h"
#include "remote_local.h"
#include "zr48sim/instrument.h"

namespace zr48::sim {

using Clock = std::chrono::steady_clock;

// A deadline `ms` from now; the largest timeouts (VXI-11's 0xFFFFFFFF) mean "no deadline".
Clock::time_point deadline_after(std::chrono::milliseconds ms);

struct Faults {
  std::chrono::milliseconds delay{0};
  bool silent = false;
  std::deque<std::string> replies;       // message bytes instead of the model's reply
  std::deque<std::string> wire_replies;  // whole protocol messages instead of the reply
  std::optional<std::size_t> close_after_lines;
  std::optional<std::size_t> close_mid_reply;
  bool stale_xid = false;         // VXI-11: a late copy of the previous reply goes first
  bool hang_until_abort = false;  // VXI-11: reads ignore io_timeout until device_abort
  std::optional<std::pair<std::uint8_t, std::string>> fatal_error;  // HiSLIP
  bool interrupt_next = false;  // HiSLIP: the next query is interrupted
};

// What the fault hooks do to the next reply.
struct ReplyHooks {
  bool silent = false;                     // never answer it
  std::optional<std::string> replacement;  // message bytes to deliver instead
  std::optional<std::string> wire;         // the protocol message to send instead, as is
  std::chrono::milliseconds delay{0};
  std::optional<std::size_t> cut;  // send this many bytes of the message, then close
};

// The instrument's lock: one exclusive holder, or shared holders with one key, or both (a
// shared holder may also take the exclusive lock). Owners are sessions of any protocol.
class DeviceLock {
 public:
  using Owner = std::uint64_t;
  static constexpr Owner kOtherClient = 1;  // the "locked from another link" fault hook

  enum class Result { granted, timed_out, already_held, stopped };
  enum class Release { exclusive, shared, not_held };

  explicit DeviceLock(const StopSignal& stop) : stop_(stop) {}

  Result lock(Owner owner, const std::string& shared_key, Clock::time_point deadline);
  Release unlock(Owner owner);  // the exclusive lock first, then the shared one
  void release_all(Owner owner);
  // Waits until `owner` may use the instrument; false on time-out or stop.
  bool wait_access(Owner owner, Clock::time_point deadline);
  bool exclusive_held() const;
  std::size_t holders() const;
  void wake_all();

 private:
  bool accessible(Owner owner) const;  // mutex held

  const StopSignal& stop_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  Owner exclusive_ = 0;
  std::string shared_key_;
  std::set<Owner> shared_;
};

class Device {
 public:
  Device() : lock(stop) {}

  StopSignal stop;
  DeviceLock lock;
  RemoteLocal remote_local;

  // A new session (a SOCKET connection, a VXI-11 link, a HiSLIP session): its record slot.
  // Lock owners are the slot plus 2, so they never meet kOtherClient.
  std::size_t open_session();
  static DeviceLock::Owner owner_of(std::size_t session) { return session + 2; }
  void record(std::size_t session, std::string_view bytes);

  std::string execute(std::string_view line);
  void report_input_overrun();
  std::uint8_t status_byte(bool message_available = false);

  // True when the close-after-lines hook closes the connection instead of running this line.
  bool close_before_line();
  // The hooks for the next reply, taking what is queued for it (nothing when silent).
  ReplyHooks take_reply_hooks();
  // Runs `f(faults)` under the faults lock.
  template <typename F>
  auto with_faults(F f) {
    const std::lock_guard guard(faults_mutex);
    return f(faults);
  }

  mutable std::mutex instrument_mutex;
  Instrument instrument;
  mutable std::mutex record_mutex;
  std::string received;
  std::vector<std::string> by_session;
  mutable std::condition_variable arrived;  // notified whenever bytes are recorded
  std::mutex faults_mutex;
  Faults faults;
};

}  // namespace zr48::sim
