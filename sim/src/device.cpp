#include "device.h"

namespace zr48::sim {

Clock::time_point deadline_after(std::chrono::milliseconds ms) {
  constexpr auto kForever = std::chrono::hours(24 * 365);
  return Clock::now() + std::min<std::chrono::milliseconds>(ms, kForever);
}

DeviceLock::Result DeviceLock::lock(Owner owner, const std::string& shared_key,
                                    Clock::time_point deadline) {
  std::unique_lock guard(mutex_);
  const bool exclusive = shared_key.empty();
  if (exclusive ? exclusive_ == owner : shared_.contains(owner)) return Result::kAlreadyHeld;
  const auto free = [&] {
    if (stop_.raised()) return true;
    if (exclusive_ != 0 && exclusive_ != owner) return false;
    if (exclusive) return shared_.empty() || shared_.contains(owner);
    return shared_.empty() || shared_key_ == shared_key;
  };
  if (!changed_.wait_until(guard, deadline, free)) return Result::kTimedOut;
  if (stop_.raised()) return Result::kStopped;
  if (exclusive) {
    exclusive_ = owner;
  } else {
    shared_key_ = shared_key;
    shared_.insert(owner);
  }
  return Result::kGranted;
}

DeviceLock::Release DeviceLock::unlock(Owner owner) {
  Release released = Release::kNotHeld;
  {
    const std::lock_guard guard(mutex_);
    if (exclusive_ == owner) {
      exclusive_ = 0;
      released = Release::kExclusive;
    } else if (shared_.erase(owner) > 0) {
      released = Release::kShared;
    }
  }
  changed_.notify_all();
  return released;
}

void DeviceLock::release_all(Owner owner) {
  {
    const std::lock_guard guard(mutex_);
    if (exclusive_ == owner) exclusive_ = 0;
    shared_.erase(owner);
  }
  changed_.notify_all();
}

bool DeviceLock::accessible(Owner owner) const {
  if (exclusive_ != 0) return exclusive_ == owner;
  return shared_.empty() || shared_.contains(owner);
}

bool DeviceLock::wait_access(Owner owner, Clock::time_point deadline) {
  std::unique_lock guard(mutex_);
  return changed_.wait_until(guard, deadline, [&] {
    return stop_.raised() || accessible(owner);
  }) && !stop_.raised();
}

bool DeviceLock::exclusive_held() const {
  const std::lock_guard guard(mutex_);
  return exclusive_ != 0;
}

std::size_t DeviceLock::holders() const {
  const std::lock_guard guard(mutex_);
  std::set<Owner> all = shared_;
  if (exclusive_ != 0) all.insert(exclusive_);
  return all.size();
}

void DeviceLock::record(std::string request) {
  const std::lock_guard guard(mutex_);
  requests_.push_back(std::move(request));
}

std::vector<std::string> DeviceLock::requests() const {
  const std::lock_guard guard(mutex_);
  return requests_;
}

void DeviceLock::wake_all() {
  { const std::lock_guard guard(mutex_); }  // a waiter between its check and its wait sees stop
  changed_.notify_all();
}

std::size_t Device::open_session() {
  const std::lock_guard guard(record_mutex);
  by_session.emplace_back();
  return by_session.size() - 1;
}

void Device::record(std::size_t session, std::string_view bytes) {
  {
    const std::lock_guard guard(record_mutex);
    received.append(bytes);
    by_session.at(session).append(bytes);
  }
  arrived.notify_all();
}

std::uint64_t ServiceRequests::subscribe(Listener listener) {
  const std::lock_guard guard(mutex_);
  listeners_.emplace(next_id_, std::move(listener));
  return next_id_++;
}

void ServiceRequests::unsubscribe(std::uint64_t id) {
  const std::lock_guard guard(mutex_);
  listeners_.erase(id);
}

void ServiceRequests::raise(std::uint8_t status_byte) {
  const std::lock_guard guard(mutex_);
  for (const auto& [id, listener] : listeners_) listener(status_byte);
}

namespace {
constexpr std::uint8_t kSummaryBit = 0x40;  // MSS, and RQS when reported with a request
}  // namespace

std::string Device::execute(std::string_view line) {
  std::string reply;
  {
    const std::lock_guard guard(instrument_mutex);
    reply = instrument.execute(line);
  }
  after_message();
  return reply;
}

void Device::after_message() {
  std::uint8_t stb = 0;
  bool rising = false;
  std::optional<std::chrono::steady_clock::time_point> due;
  {
    const std::lock_guard guard(instrument_mutex);
    stb = instrument.status_byte();
    const bool summary = (stb & kSummaryBit) != 0;
    rising = summary && !summary_;
    summary_ = summary;
    due = instrument.service_request_due();
  }
  if (rising) service_requests.raise(stb);
  if (due) check_again_at(*due);
}

void Device::check_again_at(std::chrono::steady_clock::time_point due) {
  const std::lock_guard guard(delayed_mutex_);
  delayed_due_ = due;
  if (!delayed_.joinable()) {
    delayed_ = std::jthread([this](const std::stop_token& token) { run_delayed_checks(token); });
  }
  delayed_changed_.notify_all();
}

void Device::run_delayed_checks(const std::stop_token& token) {
  std::unique_lock lock(delayed_mutex_);
  while (!token.stop_requested()) {
    if (!delayed_due_) {
      delayed_changed_.wait(lock, token, [this] { return delayed_due_.has_value(); });
      continue;
    }
    const auto due = *delayed_due_;
    // True when another time replaced this one; false at the time or when stopping.
    if (delayed_changed_.wait_until(lock, token, due, [this, due] { return delayed_due_ != due; }))
      continue;
    if (token.stop_requested()) break;
    delayed_due_.reset();
    lock.unlock();
    after_message();
    lock.lock();
  }
}

void Device::raise_service_request() {
  service_requests.raise(static_cast<std::uint8_t>(status_byte() | kSummaryBit));
}

void Device::report_input_overrun() {
  const std::lock_guard guard(instrument_mutex);
  instrument.report_input_overrun();
}

std::uint8_t Device::status_byte(bool message_available) {
  const std::lock_guard guard(instrument_mutex);
  return instrument.status_byte(message_available);
}

bool Device::close_before_line() {
  const std::lock_guard guard(faults_mutex);
  if (faults.close_after_lines && --*faults.close_after_lines == 0) {
    faults.close_after_lines.reset();
    return true;
  }
  return false;
}

ReplyHooks Device::take_reply_hooks() {
  const std::lock_guard guard(faults_mutex);
  ReplyHooks hooks;
  if (faults.silent) {
    hooks.silent = true;
    return hooks;
  }
  if (!faults.replies.empty()) {
    hooks.replacement = std::move(faults.replies.front());
    faults.replies.pop_front();
  }
  if (!faults.wire_replies.empty()) {
    hooks.wire = std::move(faults.wire_replies.front());
    faults.wire_replies.pop_front();
  }
  hooks.delay = faults.delay;
  hooks.cut = std::exchange(faults.close_mid_reply, std::nullopt);
  return hooks;
}

}  // namespace zr48::sim
