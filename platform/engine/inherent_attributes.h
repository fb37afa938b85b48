// The IVI inherent attributes every session has: one row each, with the flags IVI gives them.
#ifndef ZR48_PLATFORM_ENGINE_INHERENT_ATTRIBUTES_H
#define ZR48_PLATFORM_ENGINE_INHERENT_ATTRIBUTES_H

#include <span>

#include "engine/attribute.h"
#include "engine/ivi_engine.h"

namespace zr48::engine {

struct InherentRow {
  ViAttr id;
  const char* name;
  ValueType type;
  IviAttrFlags flags;
};

std::span<const InherentRow> inherent_attribute_rows();

}  // namespace zr48::engine

#endif  // ZR48_PLATFORM_ENGINE_INHERENT_ATTRIBUTES_H
