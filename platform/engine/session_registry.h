// The registry of live sessions and the per-session lock.
//
// A handle names a slot of a fixed table and the slot's generation, so a handle is never reused:
// a slot gets a new generation each time it is reused, and is retired when its generations run
// out. Each slot keeps atomic words that carry the generation: a use count (the registry's
// reference plus one per call in progress), the session lock's tickets, and its owner thread with
// the nesting depth. The lock is a ticket lock, so waiting threads are served first come, first
// served, and a thread that just unlocked cannot take the lock back ahead of them. Lookups are a
// compare-and-swap, the lock two and unlock one, with no global lock; the session object is
// destroyed by whoever drops the last reference after Ivi_Dispose, so a dispose never frees a
// session another thread is using.
#ifndef ZR48_PLATFORM_ENGINE_SESSION_REGISTRY_H
#define ZR48_PLATFORM_ENGINE_SESSION_REGISTRY_H

#include <memory>
#include <utility>

#include "engine/ivi_engine.h"

namespace zr48::engine {

class Session;

namespace registry {

// Creates a session under a fresh handle and publishes it; VI_NULL when the table is full.
// `make` builds the session object for the handle.
template <class Make>
ViSession create(Make&& make);

// Takes a reference to a live session; null for an unknown or disposed handle.
Session* acquire(ViSession vi);
// Drops a reference taken by acquire(); the last one after a dispose destroys the session and
// returns the status of closing what it held.
ViStatus release(ViSession vi);
// Marks the session disposed: later lookups and locks fail, waiters on its lock give up. The
// caller holds a reference. Returns false if it was already disposed.
bool markDisposed(ViSession vi);

ViStatus lock(ViSession vi);
ViStatus unlock(ViSession vi);
// Whether the calling thread holds the session's lock.
bool ownsLock(ViSession vi);
// How many threads hold or wait for the session's lock; 0 for an unknown or disposed handle.
// A snapshot, for diagnostics and tests.
unsigned lockQueueLength(ViSession vi);

// The slot machinery behind create().
ViSession reserve();
void publish(ViSession vi, std::unique_ptr<Session> session);
void abandon(ViSession vi);

template <class Make>
ViSession create(Make&& make) {
  const ViSession vi = reserve();
  if (vi == VI_NULL) return VI_NULL;
  std::unique_ptr<Session> session;
  try {
    session = std::forward<Make>(make)(vi);
  } catch (...) {
    abandon(vi);
    throw;
  }
  publish(vi, std::move(session));
  return vi;
}

}  // namespace registry

// A reference to a live session for the duration of one call.
class SessionRef {
 public:
  explicit SessionRef(ViSession vi) : vi_(vi), session_(registry::acquire(vi)) {}
  ~SessionRef() {
    if (session_ != nullptr) registry::release(vi_);
  }
  SessionRef(const SessionRef&) = delete;
  SessionRef& operator=(const SessionRef&) = delete;

  explicit operator bool() const { return session_ != nullptr; }
  Session& operator*() const { return *session_; }
  Session* operator->() const { return session_; }
  ViSession handle() const { return vi_; }
  // Gives up the reference early, returning the status of any destruction it caused.
  ViStatus releaseNow() {
    ViStatus status = VI_SUCCESS;
    if (session_ != nullptr) status = registry::release(vi_);
    session_ = nullptr;
    return status;
  }

 private:
  ViSession vi_;
  Session* session_;
};

// A live session, referenced and locked for the duration of one call.
class LockedSession {
 public:
  explicit LockedSession(ViSession vi) : ref_(vi) {
    if (ref_) status_ = registry::lock(vi);
  }
  ~LockedSession() {
    if (ref_ && status_ >= 0) registry::unlock(ref_.handle());
  }
  LockedSession(const LockedSession&) = delete;
  LockedSession& operator=(const LockedSession&) = delete;

  explicit operator bool() const { return ref_ && status_ >= 0; }
  ViStatus status() const { return status_; }
  Session& operator*() const { return *ref_; }
  Session* operator->() const { return &*ref_; }

 private:
  SessionRef ref_;
  ViStatus status_ = IVI_ERROR_INVALID_SESSION_HANDLE;
};

}  // namespace zr48::engine

#endif
