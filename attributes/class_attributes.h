// The IviDCPwr class attributes: one cached value per channel, no instrument I/O. Each is one row:
// constant, identifier, value type, default and range table.
#ifndef ZR48_ATTRIBUTES_CLASS_ATTRIBUTES_H
#define ZR48_ATTRIBUTES_CLASS_ATTRIBUTES_H

#include <span>

#include "engine/ivi_engine.h"

namespace zr48::attributes {

enum class ValueType { kBoolean, kInt32, kReal64 };

struct ClassAttribute {
  const char* name;  // the constant's own spelling, registered with the engine
  ViAttr id;
  ValueType type;
  ViReal64 default_value;      // VI_TRUE/VI_FALSE for Booleans, the value otherwise
  const IviRangeTable* range;  // nullptr: none
};

// Every session registers these with IVI_VAL_MULTI_CHANNEL.
constexpr IviAttrFlags kClassAttributeFlags = IVI_VAL_MULTI_CHANNEL;

// In registration order (the trigger attributes' identifiers run 101, 103, 102).
std::span<const ClassAttribute> class_attribute_rows();

}  // namespace zr48::attributes

#endif  // ZR48_ATTRIBUTES_CLASS_ATTRIBUTES_H
