// The registry of live sessions and the per-session lock.
//
// Sessions live in a handle table (handles/handle_table.h): a handle is never reused, a look-up
// is one compare-and-swap, and the session object is destroyed by whoever drops the last
// reference after Ivi_Dispose, so a dispose never frees a session another thread is using. The
// session lock lives beside each session in the table: nestable, and fair: waiting threads are
// served first come, first served, and a thread that just unlocked cannot take the lock back
// ahead of them.
#ifndef ZR48_PLATFORM_ENGINE_SESSION_REGISTRY_H
#define ZR48_PLATFORM_ENGINE_SESSION_REGISTRY_H

#include <functional>
#include <memory>

#include "engine/ivi_engine.h"

namespace zr48::engine {

class Session;

namespace registry {

// Creates a session under a fresh handle and publishes it; VI_NULL when the table is full.
// `make` builds the session object for the handle.
ViSession create(const std::function<std::unique_ptr<Session>(ViSession)>& make);

// Takes a reference to a live session; null for an unknown or disposed handle.
Session* acquire(ViSession vi);
// Drops a reference taken by acquire(); the last one after a dispose destroys the session and
// returns the status of closing what it held.
ViStatus release(ViSession vi);
// Marks the session disposed: later lookups and locks fail, waiters on its lock give up. The
// caller holds a reference. Returns false if it was already disposed.
bool mark_disposed(ViSession vi);

ViStatus lock(ViSession vi);
ViStatus unlock(ViSession vi);
// How many threads hold or wait for the session's lock; 0 for an unknown or disposed handle.
// A snapshot, for diagnostics and tests.
unsigned lock_queue_length(ViSession vi);

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
  ViStatus release_now() {
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
