// The live VISA handles, in a handle table (handles/handle_table.h): calls on different sessions
// never meet on a lock, and a handle carries its slot's index and a generation, so a closed
// handle stays invalid when its slot is reused. Lookups hand out shared ownership, so
// that a concurrent viClose cannot free an object still in use.
#ifndef ZR48_PLATFORM_VISA_REGISTRY_H
#define ZR48_PLATFORM_VISA_REGISTRY_H

#include <memory>

#include "visa/session.h"
#include "zr48_visatype.h"

namespace zr48::visa::registry {

// A new non-zero handle for `object`, never one in use; VI_NULL if no slot is free.
ViObject add(std::shared_ptr<Object> object);
std::shared_ptr<Object> find(ViObject handle);
// Takes the object out: the handle is invalid from here on.
std::shared_ptr<Object> remove(ViObject handle);

// The object behind `handle` if it is a T, else nullptr.
template <typename T>
std::shared_ptr<T> find_as(ViObject handle) {
  auto object = find(handle);
  if (object == nullptr || object->kind() != T::kKind) return nullptr;
  return std::static_pointer_cast<T>(std::move(object));
}

}  // namespace zr48::visa::registry

#endif
