// A table of live objects named by 32-bit handles, shared by the engine's sessions and the I/O
// layer's sessions.
//
// A handle is a slot index in its low IndexBits bits and the slot's generation above them. A slot
// gets a new generation each time it is reused, oldest free slot first, and retires when its
// generations run out, so a handle value is never issued twice and 0 is never issued. Each slot
// has one atomic use word: its generation, a retired mark and a reference count (the table's own
// reference plus one per caller). Taking a reference is one compare-and-swap and dropping it one
// subtraction; no lock is shared between slots. Retiring a handle makes later look-ups fail; the
// object leaves its slot when the last reference is dropped, so no call loses its object to a
// concurrent close.
//
// SlotState is per-slot data that must outlive the objects (the engine keeps its session lock
// there): open(generation) runs before a handle is published, close() when it is retired.
#ifndef ZR48_PLATFORM_HANDLES_HANDLE_TABLE_H
#define ZR48_PLATFORM_HANDLES_HANDLE_TABLE_H

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <utility>

namespace zr48::handles {

struct NoSlotState {
  void open(std::uint32_t /*generation*/) noexcept {}
  void close() noexcept {}
};

template <class T, unsigned IndexBits, class SlotState = NoSlotState>
class HandleTable {
 public:
  static constexpr std::uint32_t kSlotCount = 1U << IndexBits;
  static constexpr std::uint32_t kMaxGeneration = (1U << (32 - IndexBits)) - 1;

  constexpr HandleTable() : slots_{} {}
  // Objects still live at exit are left alone: their destructors could call into tables or
  // libraries already torn down.
  ~HandleTable() {}  // not "= default": that would be deleted (the union member)
  HandleTable(const HandleTable&) = delete;
  HandleTable& operator=(const HandleTable&) = delete;

  // Publishes the object `make(handle)` returns under a fresh handle; 0 when no slot is free.
  // If `make` throws, the slot is given back and the exception propagates.
  template <class Make>
  std::uint32_t emplace(Make&& make) {
    std::uint32_t index = 0;
    if (!free_.take(index)) return 0;
    Slot& slot = slots_[index];
    const std::uint32_t generation = generation_of(slot.use.load(std::memory_order_relaxed)) + 1;
    const std::uint32_t handle = (generation << IndexBits) | index;
    try {
      slot.object = std::forward<Make>(make)(handle);
    } catch (...) {
      slot.use.store(key_of(generation) | kRetired, std::memory_order_relaxed);
      recycle(handle);
      throw;
    }
    slot.state.open(generation);
    slot.use.store(key_of(generation) | 1, std::memory_order_release);  // the table's reference
    return handle;
  }

  // Takes a reference to the object behind `handle`: nullptr for a handle never issued, retired
  // or of an earlier generation.
  T* acquire(std::uint32_t handle) noexcept {
    const std::uint32_t generation = handle >> IndexBits;
    if (generation == 0) return nullptr;
    Slot& slot = slots_[handle & kIndexMask];
    std::uint64_t word = slot.use.load(std::memory_order_acquire);
    do {
      if ((word & ~kCountMask) != key_of(generation) || (word & kCountMask) == kCountMask) {
        return nullptr;
      }
    } while (!slot.use.compare_exchange_weak(word, word + 1, std::memory_order_acquire,
                                             std::memory_order_acquire));
    return slot.object.get();
  }

  // Drops a reference taken by acquire(). The last reference to a retired handle's object takes
  // the object out (returned, for any last words) and frees the slot; otherwise nullptr.
  std::shared_ptr<T> release(std::uint32_t handle) noexcept {
    Slot& slot = slots_[handle & kIndexMask];
    const std::uint64_t before = slot.use.fetch_sub(1, std::memory_order_acq_rel);
    if ((before & kCountMask) != 1 || (before & kRetired) == 0) return nullptr;
    std::shared_ptr<T> last = std::move(slot.object);
    recycle(handle);
    return last;
  }

  // Retires a handle the caller holds a reference to: look-ups fail from here on and the slot
  // state is closed. False if it was retired already.
  bool retire(std::uint32_t handle) noexcept {
    Slot& slot = slots_[handle & kIndexMask];
    std::uint64_t word = slot.use.load(std::memory_order_acquire);
    do {
      if ((word & kRetired) != 0) return false;
    } while (!slot.use.compare_exchange_weak(word, word | kRetired, std::memory_order_acq_rel));
    slot.state.close();
    slot.use.fetch_sub(1, std::memory_order_acq_rel);  // the table's reference; the caller's stays
    return true;
  }

  // Shared ownership of the object, for a caller holding a reference to it.
  std::shared_ptr<T> share(std::uint32_t handle) const noexcept {
    return slots_[handle & kIndexMask].object;
  }

  // The slot state of the slot `handle` names, and the generation the handle carries; nullptr
  // for a handle no slot could have issued.
  SlotState* state_of(std::uint32_t handle, std::uint32_t& generation) noexcept {
    generation = handle >> IndexBits;
    return generation == 0 ? nullptr : &slots_[handle & kIndexMask].state;
  }

  // A reference for one scope.
  class Ref {
   public:
    Ref(HandleTable& table, std::uint32_t handle) noexcept
        : table_(table), handle_(handle), object_(table.acquire(handle)) {}
    ~Ref() { (void)reset(); }
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;

    explicit operator bool() const noexcept { return object_ != nullptr; }
    T& operator*() const noexcept { return *object_; }
    T* operator->() const noexcept { return object_; }
    std::shared_ptr<T> share() const noexcept { return table_.share(handle_); }
    // Drops the reference now; see release().
    std::shared_ptr<T> reset() noexcept {
      if (object_ == nullptr) return nullptr;
      object_ = nullptr;
      return table_.release(handle_);
    }

   private:
    HandleTable& table_;
    std::uint32_t handle_;
    T* object_;
  };

 private:
  static constexpr std::uint32_t kIndexMask = kSlotCount - 1;
  // Use word: reference count in bits 0-31, the retired mark in bit 32, the generation above.
  static constexpr std::uint64_t kCountMask = 0xFFFFFFFFULL;
  static constexpr std::uint64_t kRetired = 1ULL << 32;
  static constexpr unsigned kGenerationShift = 33;

  static constexpr std::uint64_t key_of(std::uint32_t generation) {
    return static_cast<std::uint64_t>(generation) << kGenerationShift;
  }
  static constexpr std::uint32_t generation_of(std::uint64_t word) {
    return static_cast<std::uint32_t>(word >> kGenerationShift);
  }

  struct alignas(64) Slot {  // a cache line each: objects used by other threads do not share it
    std::atomic<std::uint64_t> use{0};
    std::shared_ptr<T> object;  // written only while no reference is out
    SlotState state;
  };

  // Free slots, oldest first, so that a slot rests as long as possible between uses.
  struct FreeSlots {
    std::mutex mutex;
    std::array<std::uint32_t, kSlotCount> ring{};
    std::uint32_t head = 0;
    std::uint32_t count = 0;
    std::uint32_t never_used = 0;  // slots from here on have not been handed out yet

    bool take(std::uint32_t& index) {
      const std::lock_guard lock(mutex);
      if (count > 0) {
        index = ring[head];
        head = (head + 1) % kSlotCount;
        --count;
        return true;
      }
      if (never_used == kSlotCount) return false;
      index = never_used++;
      return true;
    }
    void give_back(std::uint32_t index) {
      const std::lock_guard lock(mutex);
      ring[(head + count) % kSlotCount] = index;
      ++count;
    }
  };

  // A slot whose generations are used up retires, so that no handle value ever comes back.
  void recycle(std::uint32_t handle) {
    if ((handle >> IndexBits) < kMaxGeneration) free_.give_back(handle & kIndexMask);
  }

  union {
    std::array<Slot, kSlotCount> slots_;
  };
  FreeSlots free_;
};

}  // namespace zr48::handles

#endif  // ZR48_PLATFORM_HANDLES_HANDLE_TABLE_H
