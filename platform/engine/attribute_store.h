// The attributes of one session, found by identifier through flat tables: identifiers are
// grouped in blocks of 50000 above IVI_ATTR_BASE (inherent, driver-private, driver-specific,
// class), and each block maps its offsets straight to the attribute. Attributes are kept in a
// deque so that references stay valid while callbacks add further attributes.
#ifndef ZR48_PLATFORM_ENGINE_ATTRIBUTE_STORE_H
#define ZR48_PLATFORM_ENGINE_ATTRIBUTE_STORE_H

#include <array>
#include <cstdint>
#include <deque>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/attribute.h"

namespace zr48::engine {

class AttributeStore {
 public:
  Attribute* find(ViAttr id) {
    const ViAttr offset = id - kBase;  // wraps for ids below the base
    if (id >= kBase && offset < kBlockSize * kBlocks) {
      const std::vector<int32_t>& block = blocks_[offset / kBlockSize];
      const ViAttr slot = offset % kBlockSize;
      if (slot < block.size() && block[slot] >= 0) return &attributes_[block[slot]];
      return nullptr;
    }
    const auto it = others_.find(id);
    return it == others_.end() ? nullptr : &attributes_[it->second];
  }
  Attribute* find_by_name(std::string_view name);
  // The caller has made sure that the identifier is new.
  Attribute& add(Attribute attribute);

  template <class F>
  void for_each(F&& f) {
    for (Attribute& a : attributes_) f(a);
  }

 private:
  static constexpr ViAttr kBase = IVI_ATTR_BASE;
  static constexpr ViAttr kBlockSize = 50000;
  static constexpr ViAttr kBlocks = 20;

  std::deque<Attribute> attributes_;
  std::array<std::vector<int32_t>, kBlocks> blocks_;
  std::unordered_map<ViAttr, int32_t> others_;
};

}  // namespace zr48::engine

#endif
