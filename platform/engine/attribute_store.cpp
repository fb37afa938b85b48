#include "engine/attribute_store.h"

namespace zr48::engine {

const char* type_name(ValueType type) {
  switch (type) {
    case ValueType::kInt32:
      return "ViInt32";
    case ValueType::kReal64:
      return "ViReal64";
    case ValueType::kString:
      return "ViString";
    case ValueType::kBoolean:
      return "ViBoolean";
    case ValueType::kSession:
      return "ViSession";
    case ValueType::kAddr:
      return "ViAddr";
  }
  return "unknown";
}

Attribute* AttributeStore::find_by_name(std::string_view name) {
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
