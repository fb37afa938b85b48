// What every C entry point does first: find the object behind a handle, and keep exceptions
// from crossing into C callers.
#ifndef ZR48_PLATFORM_VISA_LOOKUP_H
#define ZR48_PLATFORM_VISA_LOOKUP_H

#include <memory>
#include <new>

#include "visa/registry.h"
#include "visa/session.h"
#include "visa/visa.h"

namespace zr48::visa {

// Runs `body`, turning any exception into a status.
template <typename Body>
ViStatus guarded(Body body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return VI_ERROR_ALLOC;
  } catch (...) {
    return VI_ERROR_SYSTEM_ERROR;
  }
}

// The I/O session behind `vi`: VI_ERROR_INV_OBJECT for an unknown handle, VI_ERROR_NSUP_OPER
// for another kind of object (a resource manager, a find list).
inline ViStatus lookup_session(ViObject vi, std::shared_ptr<Session>& session) {
  auto object = registry::find(vi);
  if (object == nullptr) return VI_ERROR_INV_OBJECT;
  if (object->kind() != Session::kKind) return VI_ERROR_NSUP_OPER;
  session = std::static_pointer_cast<Session>(std::move(object));
  return VI_SUCCESS;
}

}  // namespace zr48::visa

#endif
