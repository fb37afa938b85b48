#include "visa/resource_lock.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <unordered_map>
#include <utility>

#include <unistd.h>

#include "visa/visa.h"

namespace zr48::visa {
namespace {

// Resource names compare case-insensitively; a LAN instrument named without its device is
// inst0's. A serial device path is the file system's and keeps its case.
std::string resource_key(const ResourceName& name) {
  std::string key = name.canonical;
  if (name.path.empty()) {
    std::ranges::transform(key, key.begin(), [](unsigned char c) { return std::toupper(c); });
  }
  if (name.interface_type == Interface::kTcpip && name.resource_class == "INSTR" &&
      name.device.empty()) {
    key.insert(key.size() - std::string_view("::INSTR").size(), "::INST0");
  }
  return key;
}

// The records of the resources open now; one that no session holds any more is dropped the
// next time a session opens.
struct Records {
  std::mutex mutex;
  std::unordered_map<std::string, std::weak_ptr<ResourceLock>> by_name;
};

Records& records() {
  static Records instance;
  return instance;
}

}  // namespace

std::shared_ptr<ResourceLock> ResourceLock::of(const ResourceName& name) {
  Records& all = records();
  const std::lock_guard guard(all.mutex);
  std::erase_if(all.by_name, [](const auto& entry) { return entry.second.expired(); });
  std::weak_ptr<ResourceLock>& slot = all.by_name[resource_key(name)];
  auto record = slot.lock();
  if (record == nullptr) {
    record = std::make_shared<ResourceLock>();
    slot = record;
  }
  return record;
}

std::string ResourceLock::new_key() {
  // Unique in the process, and the process id keeps it apart from another process's key where
  // the device itself shares the lock.
  static std::atomic<unsigned long> serial{0};
  return "zr48-" + std::to_string(::getpid()) + "-" + std::to_string(++serial);
}

bool ResourceLock::shares(Holder holder) const {
  return std::ranges::find(sharers_, holder) != sharers_.end();
}

bool ResourceLock::grantable(Holder holder, LockKind kind, std::string_view key) const {
  if (exclusive_ != nullptr && exclusive_ != holder) return false;
  if (kind == LockKind::kExclusive) return sharers_.empty() || shares(holder);
  return sharers_.empty() || shared_key_ == key;
}

void ResourceLock::note_changes() {
  locked_.store(exclusive_ != nullptr || !sharers_.empty(), std::memory_order_release);
  changed_.notify_all();
}

ViStatus ResourceLock::acquire(Holder holder, LockKind kind, std::string_view key,
                               const Deadline& deadline) {
  std::unique_lock guard(mutex_);
  // A session that waits is counted (await_waiters) until it returns, whichever way.
  struct Waiting {
    ResourceLock& lock;
    bool counted = false;
    ~Waiting() {
      if (counted) --lock.waiting_;
    }
  } waiting{*this};
  for (;;) {
    if (std::ranges::find(cancelled_, holder) != cancelled_.end()) return VI_ERROR_INV_OBJECT;
    if (grantable(holder, kind, key)) break;
    const int left = deadline.poll_timeout();
    if (left == 0) return VI_ERROR_TMO;
    if (!waiting.counted) {
      waiting.counted = true;
      ++waiting_;
      changed_.notify_all();
    }
    if (left < 0) {
      changed_.wait(guard);
    } else {
      changed_.wait_for(guard, std::chrono::milliseconds(left));
    }
  }
  if (kind == LockKind::kExclusive) {
    exclusive_ = holder;
  } else {
    if (sharers_.empty()) shared_key_ = std::string(key);
    sharers_.push_back(holder);
  }
  note_changes();
  return VI_SUCCESS;
}

void ResourceLock::release(Holder holder, LockKind kind) {
  const std::lock_guard guard(mutex_);
  if (kind == LockKind::kExclusive) {
    if (exclusive_ == holder) exclusive_ = nullptr;
  } else {
    std::erase(sharers_, holder);
    if (sharers_.empty()) shared_key_.clear();
  }
  note_changes();
}

void ResourceLock::cancel(Holder holder) {
  const std::lock_guard guard(mutex_);
  cancelled_.push_back(holder);
  changed_.notify_all();
}

void ResourceLock::release_all(Holder holder) {
  const std::lock_guard guard(mutex_);
  if (exclusive_ == holder) exclusive_ = nullptr;
  std::erase(sharers_, holder);
  if (sharers_.empty()) shared_key_.clear();
  std::erase(cancelled_, holder);
  note_changes();
}

ViStatus ResourceLock::check_access(Holder holder) const {
  if (!locked_.load(std::memory_order_acquire)) return VI_SUCCESS;
  const std::lock_guard guard(mutex_);
  const bool allowed =
      exclusive_ != nullptr ? exclusive_ == holder : sharers_.empty() || shares(holder);
  return allowed ? VI_SUCCESS : VI_ERROR_RSRC_LOCKED;
}

bool ResourceLock::await_waiters(std::size_t count, std::chrono::milliseconds limit) {
  std::unique_lock guard(mutex_);
  return changed_.wait_for(guard, limit, [&] { return waiting_ >= count; });
}

ViAccessMode ResourceLock::state() const {
  const std::lock_guard guard(mutex_);
  if (exclusive_ != nullptr) return VI_EXCLUSIVE_LOCK;
  return sharers_.empty() ? VI_NO_LOCK : VI_SHARED_LOCK;
}

}  // namespace zr48::visa
