#include "engine/session_visa.h"

#include "engine/session.h"
#include "engine/session_registry.h"

namespace zr48::engine {

const visa_calls::VisaCalls& session_visa_calls(ViSession vi) noexcept {
  const SessionRef ref(vi);
  return ref ? *ref->visa : visa_calls::own_visa_calls();
}

}  // namespace zr48::engine
