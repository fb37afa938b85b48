// The IviDCPwr class attributes: one row each, registered per channel and held only in the
// engine's cache (the instrument is programmed through the instrument functions).
#ifndef ZR48_ATTRIBUTES_CLASS_ATTRIBUTES_H
#define ZR48_ATTRIBUTES_CLASS_ATTRIBUTES_H

#include <span>

#include "engine/ivi_engine.h"

namespace zr48::attributes {

enum class ValueType { kBoolean, kInt32, kReal64 };

struct ClassAttribute {
  const char* name;
  ViAttr id;
  ValueType type;
  ViReal64 default_value;      // VI_TRUE/VI_FALSE for Booleans, the value otherwise
  const IviRangeTable* range;  // nullptr: none
};

// Every row, in registration order.
std::span<const ClassAttribute> ClassAttributeRows();

}  // namespace zr48::attributes

#endif  // ZR48_ATTRIBUTES_CLASS_ATTRIBUTES_H
