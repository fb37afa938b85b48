#include "engine/session_registry.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>

#if defined(__linux__)
#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

#include "engine/session.h"

namespace zr48::engine::registry {
namespace {

// Handle: generation in the upper 20 bits, slot index in the lower 12.
constexpr unsigned kIndexBits = 12;
constexpr uint32_t kSlotCount = 1U << kIndexBits;
constexpr uint32_t kMaxGeneration = (1U << 20) - 1;

// The use and lock words keep the generation in bits 44-63 and the disposed mark in bit 43.
constexpr unsigned kGenShift = 44;
constexpr uint64_t kDead = 1ULL << 43;
constexpr uint64_t kKeyMask = ~((1ULL << 43) - 1);  // generation and disposed mark
// Use word: reference count in bits 0-31.
constexpr uint64_t kUsersMask = 0xFFFFFFFFULL;
// Lock word, a ticket lock: the ticket being served in bits 0-20, the next ticket to hand out in
// bits 21-41 (both counting modulo 2^21), and in bit 42 a mark that waiters may be asleep (kept
// until no ticket is out).
constexpr unsigned kTicketBits = 21;
constexpr uint64_t kTicketMask = (1ULL << kTicketBits) - 1;
constexpr unsigned kNextShift = kTicketBits;
constexpr uint64_t kNextMask = kTicketMask << kNextShift;
constexpr uint64_t kSleepers = 1ULL << 42;
// Owner word: the generation (bits 44-63, never the disposed mark), the owner thread in bits
// 16-41 and the nesting depth in bits 0-15. Just the generation while nobody holds the lock.
constexpr uint64_t kDepthMask = 0xFFFFULL;
constexpr unsigned kOwnerShift = 16;
// Spins on the lock word before sleeping, for the waiter whose turn is next.
constexpr int kSpins = 128;

struct alignas(64) Slot {
  std::atomic<uint64_t> use{0};
  std::atomic<uint64_t> lock{0};
  std::atomic<uint64_t> owner{0};
  std::atomic<Session*> session{nullptr};
  // Sleeping waiters' futex word, accessed through std::atomic_ref: bumped whenever a turn
  // passes to a sleeper or the session is disposed.
  alignas(std::atomic_ref<uint32_t>::required_alignment) uint32_t turn = 0;
};

constinit std::array<Slot, kSlotCount> gSlots{};

// Slots ready for reuse, oldest first, so that a slot rests as long as possible between uses.
struct FreeSlots {
  std::mutex mutex;
  std::deque<uint32_t> indices;
  FreeSlots() {
    for (uint32_t i = 0; i < kSlotCount; ++i) indices.push_back(i);
  }
};

FreeSlots& freeSlots() {
  static FreeSlots slots;
  return slots;
}

uint64_t keyOf(uint32_t generation) {
  return static_cast<uint64_t>(generation) << kGenShift;
}

// Decodes a handle; false for one that no slot could have issued.
bool decode(ViSession vi, Slot*& slot, uint64_t& key) {
  const uint32_t generation = vi >> kIndexBits;
  if (generation == 0) return false;
  slot = &gSlots[vi & (kSlotCount - 1)];
  key = keyOf(generation);
  return true;
}

// The calling thread's owner bits: a small number given to each thread on first use.
uint64_t ownerBits() {
  static std::atomic<uint32_t> nextThread{1};
  thread_local const uint64_t bits = [] {
    uint32_t id = nextThread.fetch_add(1, std::memory_order_relaxed) & ((1U << 26) - 1);
    if (id == 0) id = nextThread.fetch_add(1, std::memory_order_relaxed) & ((1U << 26) - 1);
    return static_cast<uint64_t>(id) << kOwnerShift;
  }();
  return bits;
}

void pause() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#endif
}

uint64_t servingOf(uint64_t word) {
  return word & kTicketMask;
}
uint64_t nextOf(uint64_t word) {
  return (word & kNextMask) >> kNextShift;
}
uint64_t withNext(uint64_t word, uint64_t next) {
  return (word & ~kNextMask) | ((next & kTicketMask) << kNextShift);
}
uint64_t withServing(uint64_t word, uint64_t serving) {
  return (word & ~kTicketMask) | (serving & kTicketMask);
}

std::atomic_ref<uint32_t> turnOf(Slot& slot) {
  return std::atomic_ref<uint32_t>(slot.turn);
}

// Sleepers wait on the futex with their ticket's bit, so that passing the lock on wakes only the
// thread whose turn it is (and any that share its bit), not every waiter of every session.
uint32_t ticketBit(uint64_t ticket) {
  return 1U << (ticket & 31U);
}
constexpr uint32_t kEveryTicket = ~0U;

// Sleeps unless the turn word has moved on from `seen`; may return early for no reason.
void sleepForTurn(Slot& slot, uint32_t seen, uint64_t ticket) {
#if defined(__linux__)
  (void)syscall(SYS_futex, &slot.turn, FUTEX_WAIT_BITSET_PRIVATE, seen, nullptr, nullptr,
                ticketBit(ticket));
#else
  (void)ticket;
  turnOf(slot).wait(seen, std::memory_order_acquire);
#endif
}

void passTurn(Slot& slot, uint32_t tickets) {
  turnOf(slot).fetch_add(1, std::memory_order_release);
#if defined(__linux__)
  (void)syscall(SYS_futex, &slot.turn, FUTEX_WAKE_BITSET_PRIVATE, INT32_MAX, nullptr, nullptr,
                tickets);
#else
  (void)tickets;
  turnOf(slot).notify_all();
#endif
}

// Waits until `ticket` is served; false if the session is disposed or its slot reused meanwhile
// (the ticket is then simply dropped: that generation's lock is never taken again).
bool awaitTurn(Slot& slot, uint64_t key, uint64_t ticket) {
  int spins = 0;
  for (;;) {
    // Read the turn word before the lock word: an unlock or dispose this load misses bumps the
    // turn word after it, so the sleep below cannot miss its wake-up.
    const uint32_t seen = turnOf(slot).load(std::memory_order_acquire);
    uint64_t word = slot.lock.load(std::memory_order_acquire);
    if ((word & kKeyMask) != key) return false;
    const uint64_t ahead = (ticket - servingOf(word)) & kTicketMask;
    if (ahead == 0) return true;
    // Only the next in line spins; the others would burn a core the holder may need.
    if (ahead == 1 && spins < kSpins) {
      ++spins;
      pause();
      continue;
    }
    if ((word & kSleepers) == 0 &&
        !slot.lock.compare_exchange_strong(word, word | kSleepers, std::memory_order_acquire)) {
      continue;
    }
    sleepForTurn(slot, seen, ticket);
  }
}

void recycle(uint32_t index, uint32_t generation) {
  if (generation >= kMaxGeneration) return;  // retired: its handles are all used up
  FreeSlots& slots = freeSlots();
  std::scoped_lock guard(slots.mutex);
  slots.indices.push_back(index);
}

}  // namespace

ViSession reserve() {
  FreeSlots& slots = freeSlots();
  uint32_t index = 0;
  {
    std::scoped_lock guard(slots.mutex);
    if (slots.indices.empty()) return VI_NULL;
    index = slots.indices.front();
    slots.indices.pop_front();
  }
  const uint32_t generation =
      static_cast<uint32_t>(gSlots[index].use.load(std::memory_order_relaxed) >> kGenShift) + 1;
  return (generation << kIndexBits) | index;
}

void publish(ViSession vi, std::unique_ptr<Session> session) {
  Slot& slot = gSlots[vi & (kSlotCount - 1)];
  const uint64_t key = keyOf(vi >> kIndexBits);
  slot.session.store(session.release(), std::memory_order_relaxed);
  // A fresh lock for the new generation: free, no tickets out. A thread still holding a ticket
  // of an older generation sees the changed key and gives up.
  slot.owner.store(key, std::memory_order_relaxed);
  slot.lock.store(key, std::memory_order_release);
  slot.use.store(key | 1, std::memory_order_release);  // the registry's own reference
}

void abandon(ViSession vi) {
  Slot& slot = gSlots[vi & (kSlotCount - 1)];
  const uint32_t generation = vi >> kIndexBits;
  slot.lock.store(keyOf(generation) | kDead, std::memory_order_release);
  slot.use.store(keyOf(generation) | kDead, std::memory_order_release);
  recycle(vi & (kSlotCount - 1), generation);
}

Session* acquire(ViSession vi) {
  Slot* slot = nullptr;
  uint64_t key = 0;
  if (!decode(vi, slot, key)) return nullptr;
  uint64_t word = slot->use.load(std::memory_order_acquire);
  do {
    if ((word & kKeyMask) != key || (word & kUsersMask) == kUsersMask) return nullptr;
  } while (!slot->use.compare_exchange_weak(word, word + 1, std::memory_order_acquire,
                                            std::memory_order_acquire));
  return slot->session.load(std::memory_order_acquire);
}

ViStatus release(ViSession vi) {
  Slot& slot = gSlots[vi & (kSlotCount - 1)];
  const uint64_t before = slot.use.fetch_sub(1, std::memory_order_acq_rel);
  if ((before & kUsersMask) != 1 || (before & kDead) == 0) return VI_SUCCESS;
  // Last reference to a disposed session: destroy it and put the slot back.
  std::unique_ptr<Session> session(slot.session.exchange(nullptr, std::memory_order_acq_rel));
  const ViStatus status = session->closeResourceManager();
  session.reset();
  recycle(vi & (kSlotCount - 1), vi >> kIndexBits);
  return status;
}

bool markDisposed(ViSession vi) {
  Slot& slot = gSlots[vi & (kSlotCount - 1)];
  uint64_t word = slot.use.load(std::memory_order_acquire);
  do {
    if ((word & kDead) != 0) return false;
  } while (!slot.use.compare_exchange_weak(word, word | kDead, std::memory_order_acq_rel));
  slot.lock.fetch_or(kDead, std::memory_order_acq_rel);
  passTurn(slot, kEveryTicket);  // every waiter gives up
  // Drop the registry's own reference; the caller still holds one.
  slot.use.fetch_sub(1, std::memory_order_acq_rel);
  return true;
}

ViStatus lock(ViSession vi) {
  Slot* slot = nullptr;
  uint64_t key = 0;
  if (!decode(vi, slot, key)) return IVI_ERROR_INVALID_SESSION_HANDLE;
  const uint64_t me = key | ownerBits();
  uint64_t word = slot->lock.load(std::memory_order_relaxed);
  if ((word & kKeyMask) != key) return IVI_ERROR_INVALID_SESSION_HANDLE;
  // Only this thread writes its own bits into the owner word, so seeing them means it holds
  // the lock: nest.
  const uint64_t owner = slot->owner.load(std::memory_order_relaxed);
  if ((owner & ~kDepthMask) == me) {
    if ((owner & kDepthMask) == kDepthMask) return IVI_ERROR_CANNOT_RECOVER;  // nested too deep
    slot->owner.store(owner + 1, std::memory_order_relaxed);
    return VI_SUCCESS;
  }
  // Take the next ticket; callers are then served strictly in ticket order.
  uint64_t ticket = 0;
  for (;;) {
    if ((word & kKeyMask) != key) return IVI_ERROR_INVALID_SESSION_HANDLE;
    ticket = nextOf(word);
    if (((ticket + 1) & kTicketMask) == servingOf(word)) {  // every ticket is out: wait for one
      pause();
      word = slot->lock.load(std::memory_order_relaxed);
      continue;
    }
    if (slot->lock.compare_exchange_weak(word, withNext(word, ticket + 1),
                                         std::memory_order_acquire, std::memory_order_relaxed)) {
      break;
    }
  }
  if (servingOf(word) != ticket && !awaitTurn(*slot, key, ticket)) {
    return IVI_ERROR_INVALID_SESSION_HANDLE;
  }
  // Our turn. The owner word still reads "free" for this generation unless the slot moved on
  // to a new one since the ticket was served; then this call lost the session to a dispose.
  uint64_t vacant = key;
  if (!slot->owner.compare_exchange_strong(vacant, me | 1, std::memory_order_relaxed)) {
    return IVI_ERROR_INVALID_SESSION_HANDLE;
  }
  return VI_SUCCESS;
}

ViStatus unlock(ViSession vi) {
  Slot* slot = nullptr;
  uint64_t key = 0;
  if (!decode(vi, slot, key)) return IVI_ERROR_INVALID_SESSION_HANDLE;
  const uint64_t me = key | ownerBits();
  uint64_t word = slot->lock.load(std::memory_order_relaxed);
  if ((word & kKeyMask) != key) return IVI_ERROR_INVALID_SESSION_HANDLE;
  const uint64_t owner = slot->owner.load(std::memory_order_relaxed);
  if ((owner & ~kDepthMask) != me) return IVI_ERROR_INVALID_PARAMETER;
  if ((owner & kDepthMask) > 1) {
    slot->owner.store(owner - 1, std::memory_order_relaxed);
    return VI_SUCCESS;
  }
  // Free the owner word first; the release below publishes it with the critical section.
  slot->owner.store(key, std::memory_order_relaxed);
  for (;;) {
    if ((word & kKeyMask) != key) return IVI_ERROR_INVALID_SESSION_HANDLE;  // disposed meanwhile
    uint64_t next = withServing(word, servingOf(word) + 1);
    if (servingOf(next) == nextOf(next)) next &= ~kSleepers;  // nobody left waiting
    if (slot->lock.compare_exchange_weak(word, next, std::memory_order_release,
                                         std::memory_order_relaxed)) {
      break;
    }
  }
  if ((word & kSleepers) != 0) passTurn(*slot, ticketBit(servingOf(word) + 1));
  return VI_SUCCESS;
}

bool ownsLock(ViSession vi) {
  Slot* slot = nullptr;
  uint64_t key = 0;
  if (!decode(vi, slot, key)) return false;
  const uint64_t word = slot->lock.load(std::memory_order_relaxed);
  const uint64_t owner = slot->owner.load(std::memory_order_relaxed);
  return (word & kKeyMask) == key && (owner & ~kDepthMask) == (key | ownerBits());
}

unsigned lockQueueLength(ViSession vi) {
  Slot* slot = nullptr;
  uint64_t key = 0;
  if (!decode(vi, slot, key)) return 0;
  const uint64_t word = slot->lock.load(std::memory_order_relaxed);
  if ((word & kKeyMask) != key) return 0;
  return static_cast<unsigned>((nextOf(word) - servingOf(word)) & kTicketMask);
}

}  // namespace zr48::engine::registry
