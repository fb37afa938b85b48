// VISA locks as this library keeps them: one record per resource open in the process, shared by
// every session of that resource. An exclusive lock gives one session sole access; a shared lock
// gives access to every session that locked with the same access key, and one of those may take
// the exclusive lock as well. A session waits for a lock on a condition variable until its
// deadline; closing the session ends its wait. Where the device has locks of its own, the
// session takes them after this record grants the lock (session.cpp).
#ifndef ZR48_PLATFORM_VISA_RESOURCE_LOCK_H
#define ZR48_PLATFORM_VISA_RESOURCE_LOCK_H

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "visa/deadline.h"
#include "visa/resource_name.h"
#include "visa/transport.h"
#include "zr48_visatype.h"

namespace zr48::visa {

class ResourceLock {
 public:
  using Holder = const void*;  // a session, by identity only

  // The record of `name`'s resource (names that differ only in case or in an omitted default
  // LAN device name are one resource); the same record while any session holds on to it.
  static std::shared_ptr<ResourceLock> of(const ResourceName& name);
  // A fresh access key for a shared lock requested without one.
  static std::string new_key();

  // Grants `kind` (with `key` for a shared lock) to `holder` once no other session's lock
  // stands in the way: VI_SUCCESS, VI_ERROR_TMO when `deadline` passes first, or
  // VI_ERROR_INV_OBJECT when the holder is being closed.
  ViStatus acquire(Holder holder, LockKind kind, std::string_view key, const Deadline& deadline);
  void release(Holder holder, LockKind kind);
  // Ends a wait of `holder` in progress and refuses its later ones, until release_all.
  void cancel(Holder holder);
  // Every lock of `holder` goes; waiting sessions that can now have theirs get them.
  void release_all(Holder holder);

  // VI_SUCCESS when `holder` may operate on the resource, VI_ERROR_RSRC_LOCKED when another
  // session's lock keeps it out.
  ViStatus check_access(Holder holder) const;
  // VI_ATTR_RSRC_LOCK_STATE: VI_EXCLUSIVE_LOCK, VI_SHARED_LOCK or VI_NO_LOCK.
  ViAccessMode state() const;

  // For tests: waits until `count` sessions wait for a lock here; false when `limit` passes.
  bool await_waiters(std::size_t count, std::chrono::milliseconds limit);

 private:
  // All three with mutex_ held.
  bool grantable(Holder holder, LockKind kind, std::string_view key) const;
  bool shares(Holder holder) const;
  void note_changes();

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  Holder exclusive_ = nullptr;
  std::string shared_key_;
  std::vector<Holder> sharers_;
  std::vector<Holder> cancelled_;
  std::size_t waiting_ = 0;
  // Any lock held: without one, access checks take no mutex.
  std::atomic<bool> locked_{false};
};

}  // namespace zr48::visa

#endif
