// What every service shares: the one simulated instrument, the record of the message bytes
// each session sent, the fault hooks and the instrument's lock.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <thread>
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

// The instrument's lock: one exclusive holder, or shared holders with one key, or both (any
// shared holder may also take the exclusive lock). Owners are sessions of any protocol.
class DeviceLock {
 public:
  using Owner = std::uint64_t;
  static constexpr Owner kOtherClient = 1;  // the "locked from another link" fault hook

  enum class Result { kGranted, kTimedOut, kAlreadyHeld, kStopped };
  enum class Release { kExclusive, kShared, kNotHeld };

  explicit DeviceLock(const StopSignal& stop) : stop_(stop) {}

  Result lock(Owner owner, const std::string& shared_key, Clock::time_point deadline);
  Release unlock(Owner owner);  // the exclusive lock first, then the shared one
  void release_all(Owner owner);
  // Waits until `owner` may use the instrument; false on time-out or stop.
  bool wait_access(Owner owner, Clock::time_point deadline);
  bool exclusive_held() const;
  std::size_t holders() const;
  void wake_all();
  // Each lock and unlock request as its protocol carried it, in arrival order (tests).
  void record(std::string request);
  std::vector<std::string> requests() const;

 private:
  bool accessible(Owner owner) const;  // mutex held

  const StopSignal& stop_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  Owner exclusive_ = 0;
  std::string shared_key_;
  std::set<Owner> shared_;
  std::vector<std::string> requests_;
};

// Service requests: every listener hears each one with the status byte (a HiSLIP session's
// asynchronous channel, a VXI-11 link's interrupt channel).
class ServiceRequests {
 public:
  using Listener = std::function<void(std::uint8_t status_byte)>;
  std::uint64_t subscribe(Listener listener);
  // After it returns the listener is not running and is never called again.
  void unsubscribe(std::uint64_t id);
  void raise(std::uint8_t status_byte);

 private:
  std::mutex mutex_;  // held while listeners run
  std::uint64_t next_id_ = 1;
  std::map<std::uint64_t, Listener> listeners_;
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

  // Runs a line; a service request goes out when the status byte's summary bit (MSS: an
  // event enabled in *SRE) becomes true.
  std::string execute(std::string_view line);
  // The same check for a message the caller ran itself (a message exchange).
  void after_message();
  // A service request now, whatever the status model says (echo mode, tests): the status
  // byte it carries has RQS set.
  void raise_service_request();
  ServiceRequests service_requests;
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
  bool summary_ = false;  // MSS after the last line; guarded by instrument_mutex
  mutable std::mutex record_mutex;
  std::string received;
  std::vector<std::string> by_session;
  mutable std::condition_variable arrived;  // notified whenever bytes are recorded
  std::mutex faults_mutex;
  Faults faults;

 private:
  // A service request the instrument asked for later (the echo instrument's slow ones): the
  // status check runs again at that time, on a thread of its own that stops with the device.
  void check_again_at(std::chrono::steady_clock::time_point due);
  void run_delayed_checks(const std::stop_token& token);
  std::mutex delayed_mutex_;
  std::condition_variable_any delayed_changed_;
  std::optional<std::chrono::steady_clock::time_point> delayed_due_;
  std::jthread delayed_;  // last: stopped and joined before the members it uses go
};

}  // namespace zr48::sim
