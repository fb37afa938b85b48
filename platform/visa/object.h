// What a VISA handle names. The registry checks the kind instead of a dynamic_cast on every
// call.
#ifndef ZR48_PLATFORM_VISA_OBJECT_H
#define ZR48_PLATFORM_VISA_OBJECT_H

namespace zr48::visa {

enum class ObjectKind { kResourceManager, kSession, kFindList, kEvent };

class Object {
 public:
  explicit Object(ObjectKind kind) : kind_(kind) {}
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;
  virtual ~Object() = default;
  ObjectKind kind() const { return kind_; }

 private:
  const ObjectKind kind_;
};

}  // namespace zr48::visa

#endif
