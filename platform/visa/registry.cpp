#include "visa/registry.h"

#include "handles/handle_table.h"

namespace zr48::visa::registry {
namespace {

// 16384 handles at once; handles keep 18 bits of generation.
using ObjectTable = handles::HandleTable<Object, 14>;
constinit ObjectTable object_table;

}  // namespace

ViObject add(std::shared_ptr<Object> object) {
  return object_table.emplace([&](ViObject /*handle*/) { return std::move(object); });
}

std::shared_ptr<Object> find(ViObject handle) {
  const ObjectTable::Ref ref(object_table, handle);
  return ref ? ref.share() : nullptr;
}

std::shared_ptr<Object> remove(ViObject handle) {
  const ObjectTable::Ref ref(object_table, handle);
  if (!ref || !object_table.retire(handle)) return nullptr;
  return ref.share();
}

}  // namespace zr48::visa::registry
