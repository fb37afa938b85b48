#include "engine/attribute_store.h"

namespace zr48::engine {

const char* typeName(ValueType type) {
  switch (type) {
    case ValueType::Int32:
      return "ViInt32";
    case ValueType::Real64:
      return "ViReal64";
    case ValueType::String:
      return "ViString";
    case ValueType::Boolean:
      return "ViBoolean";
    case ValueType::Session:
      return "ViSession";
    case ValueType::Addr:
      return "ViAddr";
  }
  return "unknown";
}

Attribute* AttributeStore::findByName(std::string_view name) {
  for (Attribute& a : attributes_) {
    if (a.name == name) return &a;
  }
  return nullptr;
}

Attribute& AttributeStore::add(Attribute attribute) {
  const auto index = static_cast<int32_t>(attributes_.size());
  const ViAttr id = attribute.id;
  attributes_.push_back(std::move(attribute));
  const ViAttr offset = id - kBase;
  if (id >= kBase && offset < kBlockSize * kBlocks) {
    std::vector<int32_t>& block = blocks_[offset / kBlockSize];
    const ViAttr slot = offset % kBlockSize;
    if (slot >= block.size()) block.resize(slot + 1, -1);
    block[slot] = index;
  } else {
    others_[id] = index;
  }
  return attributes_.back();
}

}  // namespace zr48::engine
