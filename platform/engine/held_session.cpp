#include "engine/held_session.h"

#include "engine/guarded.h"
#include "engine/session.h"
#include "engine/session_registry.h"

namespace zr48::engine {

HeldSession::HeldSession(ViSession vi, bool lock) noexcept
    : vi_(vi), session_(registry::acquire(vi)) {
  if (!lock) return;
  status_ = session_ != nullptr ? registry::lock(vi) : IVI_ERROR_INVALID_SESSION_HANDLE;
  locked_ = status_ == VI_SUCCESS;
}

HeldSession::~HeldSession() {
  if (locked_) (void)registry::unlock(vi_);
  if (session_ != nullptr) (void)registry::release(vi_);
}

bool HeldSession::simulating() const noexcept {
  return session_ != nullptr && session_->simulate.load();
}

ViSession HeldSession::io_session() const noexcept {
  return session_ != nullptr ? session_->io_session.load() : VI_NULL;
}

const visa_calls::VisaCalls& HeldSession::visa() const noexcept {
  return session_ != nullptr ? *session_->visa : visa_calls::own_visa_calls();
}

ViStatus HeldSession::mark_status_unchecked() const noexcept {
  if (session_ == nullptr) return IVI_ERROR_INVALID_SESSION_HANDLE;
  session_->need_to_check_status = true;
  return VI_SUCCESS;
}

ViStatus HeldSession::coerce_channel_name(ViConstString name,
                                          ViConstString* coerced) const noexcept {
  if (session_ == nullptr) return IVI_ERROR_INVALID_SESSION_HANDLE;
  return guarded([&]() -> ViStatus { return session_->coerce_channel_name(name, coerced); });
}

}  // namespace zr48::engine
