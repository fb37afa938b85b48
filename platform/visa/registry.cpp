#include "visa/registry.h"

namespace zr48::visa {

Registry& Registry::instance() {
  static Registry registry;
  return registry;
}

ViObject Registry::add(std::shared_ptr<Object> object) {
  const std::lock_guard lock(mutex_);
  // Handles count up and wrap, skipping VI_NULL and handles still alive.
  for (std::size_t tries = 0; tries <= objects_.size(); ++tries) {
    const ViObject handle = next_++;
    if (next_ == VI_NULL) next_ = 1;
    if (handle != VI_NULL && objects_.find(handle) == objects_.end()) {
      objects_.emplace(handle, std::move(object));
      return handle;
    }
  }
  return VI_NULL;
}

std::shared_ptr<Object> Registry::find(ViObject handle) const {
  const std::lock_guard lock(mutex_);
  const auto it = objects_.find(handle);
  return it == objects_.end() ? nullptr : it->second;
}

std::shared_ptr<Object> Registry::remove(ViObject handle) {
  const std::lock_guard lock(mutex_);
  const auto it = objects_.find(handle);
  if (it == objects_.end()) return nullptr;
  auto object = std::move(it->second);
  objects_.erase(it);
  return object;
}

}  // namespace zr48::visa
