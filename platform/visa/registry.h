// The live VISA handles. The only process-wide mutable state of the I/O layer, guarded by a
// mutex; lookups hand out shared ownership so that a concurrent viClose cannot free an object
// still in use.
#ifndef ZR48_PLATFORM_VISA_REGISTRY_H
#define ZR48_PLATFORM_VISA_REGISTRY_H

#include <memory>
#include <mutex>
#include <unordered_map>

#include "visa/session.h"
#include "zr48_visatype.h"

namespace zr48::visa {

class Registry {
 public:
  static Registry& instance();

  // A new non-zero handle for `object`, never one in use; VI_NULL if none is left.
  ViObject add(std::shared_ptr<Object> object);
  std::shared_ptr<Object> find(ViObject handle) const;
  // Takes the object out: the handle is invalid from here on.
  std::shared_ptr<Object> remove(ViObject handle);

  template <typename T>
  std::shared_ptr<T> find_as(ViObject handle) const {
    return std::dynamic_pointer_cast<T>(find(handle));
  }

 private:
  mutable std::mutex mutex_;
  std::unordered_map<ViObject, std::shared_ptr<Object>> objects_;
  ViObject next_ = 1;
};

}  // namespace zr48::visa

#endif
