// One engine session held for the length of one driver operation: the handle is looked up once
// and, where the operation asks for it, the session lock taken once, instead of one look-up (and a
// nested lock) per engine call the operation makes.
#ifndef ZR48_PLATFORM_ENGINE_HELD_SESSION_H
#define ZR48_PLATFORM_ENGINE_HELD_SESSION_H

#include "engine/ivi_engine.h"
#include "visa_calls/visa_calls.h"

namespace zr48::engine {

class Session;

class HeldSession {
 public:
  // A reference to session `vi`, and its lock when `lock` is true (nested, as Ivi_LockSession).
  HeldSession(ViSession vi, bool lock) noexcept;
  ~HeldSession();
  HeldSession(const HeldSession&) = delete;
  HeldSession& operator=(const HeldSession&) = delete;

  // VI_SUCCESS, or what Ivi_LockSession would have returned: an unknown handle without the lock
  // asked for is no failure here (held() says so), as the engine's own calls tolerate it.
  ViStatus status() const noexcept { return status_; }
  bool held() const noexcept { return session_ != nullptr; }

  // Ivi_Simulating, Ivi_IOSession and the session's VISA operations (the I/O layer's own for an
  // unknown handle, as engine::session_visa_calls).
  bool simulating() const noexcept;
  ViSession io_session() const noexcept;
  const visa_calls::VisaCalls& visa() const noexcept;
  // Ivi_SetNeedToCheckStatus(vi, VI_TRUE).
  ViStatus mark_status_unchecked() const noexcept;
  // Ivi_CoerceChannelName, for a caller that holds the lock through this object.
  ViStatus coerce_channel_name(ViConstString name, ViConstString* coerced) const noexcept;

 private:
  ViSession vi_;
  Session* session_;
  bool locked_ = false;
  ViStatus status_ = VI_SUCCESS;
};

}  // namespace zr48::engine

#endif
