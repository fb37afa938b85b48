// Keeps C++ exceptions from crossing the C interface: every entry point runs its body here.
#ifndef ZR48_PLATFORM_ENGINE_GUARDED_H
#define ZR48_PLATFORM_ENGINE_GUARDED_H

#include <new>

#include "engine/ivi_engine.h"

namespace zr48::engine {

template <class F>
ViStatus guarded(F&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return IVI_ERROR_OUT_OF_MEMORY;
  } catch (...) {
    return IVI_ERROR_CANNOT_RECOVER;
  }
}

}  // namespace zr48::engine

#endif
