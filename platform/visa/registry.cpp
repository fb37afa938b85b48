#include "visa/registry.h"

#include <array>
#include <cstdint>
#include <mutex>

namespace zr48::visa::registry {
namespace {

// Handle: generation in the upper 18 bits (never 0, so no handle is VI_NULL), slot index in the
// lower 14.
constexpr unsigned kIndexBits = 14;
constexpr std::uint32_t kSlotCount = 1U << kIndexBits;
constexpr std::uint32_t kMaxGeneration = (1U << (32 - kIndexBits)) - 1;

struct alignas(64) Slot {  // a cache line each: sessions on other threads do not share it
  std::mutex mutex;
  std::shared_ptr<Object> object;
  std::uint32_t generation = 0;  // of the handle last issued for this slot
};

// Slots ready for reuse, oldest first, so that a slot rests as long as possible between uses
// and a closed handle's value comes back as late as possible.
struct FreeSlots {
  std::mutex mutex;
  std::array<std::uint32_t, kSlotCount> ring{};
  std::uint32_t head = 0;
  std::uint32_t count = 0;
  std::uint32_t never_used = 0;  // slots from here on have not been handed out yet
};

// Zero-initialised at load time: no page is touched before a slot is used.
constinit std::array<Slot, kSlotCount> gSlots{};
constinit FreeSlots gFree{};

bool take_slot(std::uint32_t& index) {
  const std::lock_guard lock(gFree.mutex);
  if (gFree.count > 0) {
    index = gFree.ring[gFree.head];
    gFree.head = (gFree.head + 1) % kSlotCount;
    --gFree.count;
    return true;
  }
  if (gFree.never_used == kSlotCount) return false;
  index = gFree.never_used++;
  return true;
}

void give_back(std::uint32_t index) {
  const std::lock_guard lock(gFree.mutex);
  gFree.ring[(gFree.head + gFree.count) % kSlotCount] = index;
  ++gFree.count;
}

// The slot `handle` names and the generation it carries; nullptr for a handle never issued.
Slot* slot_of(ViObject handle, std::uint32_t& generation) {
  generation = handle >> kIndexBits;
  return generation == 0 ? nullptr : &gSlots[handle & (kSlotCount - 1)];
}

}  // namespace

ViObject add(std::shared_ptr<Object> object) {
  std::uint32_t index = 0;
  if (!take_slot(index)) return VI_NULL;
  Slot& slot = gSlots[index];
  const std::lock_guard lock(slot.mutex);
  slot.object = std::move(object);
  return (++slot.generation << kIndexBits) | index;
}

std::shared_ptr<Object> find(ViObject handle) {
  std::uint32_t generation = 0;
  Slot* slot = slot_of(handle, generation);
  if (slot == nullptr) return nullptr;
  const std::lock_guard lock(slot->mutex);
  return slot->generation == generation ? slot->object : nullptr;
}

std::shared_ptr<Object> remove(ViObject handle) {
  std::uint32_t generation = 0;
  Slot* slot = slot_of(handle, generation);
  if (slot == nullptr) return nullptr;
  std::shared_ptr<Object> object;
  {
    const std::lock_guard lock(slot->mutex);
    if (slot->generation != generation || slot->object == nullptr) return nullptr;
    object = std::move(slot->object);
    slot->object = nullptr;
  }
  // A slot whose generations are used up retires, so that no handle value ever comes back.
  if (generation < kMaxGeneration) give_back(handle & (kSlotCount - 1));
  return object;
}

}  // namespace zr48::visa::registry
