// One attribute of a session: its identity, type, flags, callbacks, range table and the cached
// value (one per channel for multi-channel attributes).
#ifndef ZR48_PLATFORM_ENGINE_ATTRIBUTE_H
#define ZR48_PLATFORM_ENGINE_ATTRIBUTE_H

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "engine/ivi_engine.h"
#include "engine/range_check.h"

namespace zr48::engine {

// The alternatives are in the order of ValueType.
using Value = std::variant<ViInt32, ViReal64, std::string, ViBoolean, ViSession, ViAddr>;
enum class ValueType { kInt32, kReal64, kString, kBoolean, kSession, kAddr };

const char* type_name(ValueType type);

// Callbacks are kept type-erased and cast back through ValueTraits, which knows the real type.
using AnyCallback = void (*)();

template <class T>
struct ValueTraits;
template <>
struct ValueTraits<ViInt32> {
  static constexpr ValueType kType = ValueType::kInt32;
  using Read = ReadAttrViInt32_CallbackPtr;
  using Write = WriteAttrViInt32_CallbackPtr;
};
template <>
struct ValueTraits<ViReal64> {
  static constexpr ValueType kType = ValueType::kReal64;
  using Read = ReadAttrViReal64_CallbackPtr;
  using Write = WriteAttrViReal64_CallbackPtr;
};
template <>
struct ValueTraits<std::string> {
  static constexpr ValueType kType = ValueType::kString;
  using Read = ReadAttrViString_CallbackPtr;
  using Write = WriteAttrViString_CallbackPtr;
};
template <>
struct ValueTraits<ViBoolean> {
  static constexpr ValueType kType = ValueType::kBoolean;
  using Read = ReadAttrViBoolean_CallbackPtr;
  using Write = WriteAttrViBoolean_CallbackPtr;
};
template <>
struct ValueTraits<ViSession> {
  static constexpr ValueType kType = ValueType::kSession;
  using Read = ReadAttrViSession_CallbackPtr;
  using Write = WriteAttrViSession_CallbackPtr;
};
template <>
struct ValueTraits<ViAddr> {
  static constexpr ValueType kType = ValueType::kAddr;
  using Read = ReadAttrViAddr_CallbackPtr;
  using Write = WriteAttrViAddr_CallbackPtr;
};

template <class F>
AnyCallback erase_callback(F f) {
  return reinterpret_cast<AnyCallback>(f);
}
template <class F>
F restore_callback(AnyCallback f) {
  return reinterpret_cast<F>(f);
}

struct CachedValue {
  Value value;
  bool valid = false;
};

struct Attribute {
  ViAttr id = 0;
  std::string name;
  ValueType type = ValueType::kInt32;
  IviAttrFlags flags = 0;
  AnyCallback read = nullptr;
  AnyCallback write = nullptr;
  std::optional<RangeTable> range;
  ViInt32 compare_precision = 0;
  std::vector<CachedValue> values;  // one, or one per channel of the channel table

  bool has(IviAttrFlags flag) const { return (flags & flag) != 0; }
  bool multi_channel() const { return has(IVI_VAL_MULTI_CHANNEL); }
};

}  // namespace zr48::engine

#endif
