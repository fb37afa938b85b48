#include "engine/session_registry.h"

#include <atomic>
#include <cstdint>

#include "engine/session.h"
#include "handles/handle_table.h"

namespace zr48::engine::registry {
namespace {

// The calling thread's number, given on first use, in the owner word's thread bits.
constexpr unsigned kOwnerShift = 16;
uint64_t owner_bits() {
  static std::atomic<uint32_t> next_thread{1};
  thread_local const uint64_t bits = [] {
    uint32_t id = next_thread.fetch_add(1, std::memory_order_relaxed) & ((1U << 26) - 1);
    if (id == 0) id = next_thread.fetch_add(1, std::memory_order_relaxed) & ((1U << 26) - 1);
    return static_cast<uint64_t>(id) << kOwnerShift;
  }();
  return bits;
}

// The session lock of one slot: a nestable ticket lock. A thread takes the next ticket and waits
// until that ticket is served, so waiters are served in the order they came. Both words carry
// the generation of the handle the lock belongs to, so that a stale handle, or a ticket taken
// before a dispose, never reaches the lock of the slot's next session.
class SessionLock {
 public:
  void open(uint32_t generation) noexcept {
    owner_.store(key_of(generation), std::memory_order_relaxed);
    word_.store(key_of(generation), std::memory_order_release);  // free, no ticket out
  }
  // The session is disposed: every waiter gives up, and later locks fail.
  void close() noexcept {
    word_.fetch_or(kClosed, std::memory_order_acq_rel);
    wake_waiters();
  }

  ViStatus lock(uint32_t generation) {
    const uint64_t key = key_of(generation);
    uint64_t word = word_.load(std::memory_order_relaxed);
    if ((word & kKeyMask) != key) return IVI_ERROR_INVALID_SESSION_HANDLE;
    // Only this thread writes its own bits into the owner word, so seeing them means it holds
    // the lock: nest.
    const uint64_t me = key | owner_bits();
    const uint64_t owner = owner_.load(std::memory_order_relaxed);
    if ((owner & ~kDepthMask) == me) {
      if ((owner & kDepthMask) == kDepthMask) return IVI_ERROR_CANNOT_RECOVER;  // too deep
      owner_.store(owner + 1, std::memory_order_relaxed);
      return VI_SUCCESS;
    }
    uint64_t ticket = 0;
    do {
      if ((word & kKeyMask) != key) return IVI_ERROR_INVALID_SESSION_HANDLE;
      ticket = next_of(word);
      if (((ticket + 1) & kTicketMask) == serving_of(word)) return IVI_ERROR_CANNOT_RECOVER;
    } while (!word_.compare_exchange_weak(word, with_next(word, ticket + 1),
                                          std::memory_order_acquire, std::memory_order_relaxed));
    while (serving_of(word) != ticket) {
      // The turn counter is read before the lock word: a hand-over this read misses bumps the
      // counter after it, so the wait cannot miss its wake-up.
      const uint32_t seen = turn_.load(std::memory_order_acquire);
      word = word_.load(std::memory_order_acquire);
      if ((word & kKeyMask) != key) return IVI_ERROR_INVALID_SESSION_HANDLE;
      if (serving_of(word) != ticket) turn_.wait(seen, std::memory_order_acquire);
    }
    // Our turn. The owner word reads "free" for this generation unless the session was disposed
    // and its slot reused since the ticket was served.
    uint64_t vacant = key;
    if (!owner_.compare_exchange_strong(vacant, me | 1, std::memory_order_relaxed)) {
      return IVI_ERROR_INVALID_SESSION_HANDLE;
    }
    return VI_SUCCESS;
  }

  ViStatus unlock(uint32_t generation) {
    const uint64_t key = key_of(generation);
    uint64_t word = word_.load(std::memory_order_relaxed);
    if ((word & kKeyMask) != key) return IVI_ERROR_INVALID_SESSION_HANDLE;
    const uint64_t owner = owner_.load(std::memory_order_relaxed);
    if ((owner & ~kDepthMask) != (key | owner_bits())) return IVI_ERROR_INVALID_PARAMETER;
    if ((owner & kDepthMask) > 1) {
      owner_.store(owner - 1, std::memory_order_relaxed);
      return VI_SUCCESS;
    }
    owner_.store(key, std::memory_order_relaxed);  // published by the release below
    uint64_t next = 0;
    do {
      if ((word & kKeyMask) != key) return IVI_ERROR_INVALID_SESSION_HANDLE;  // disposed meanwhile
      next = with_serving(word, serving_of(word) + 1);
    } while (!word_.compare_exchange_weak(word, next, std::memory_order_release,
                                          std::memory_order_relaxed));
    if (serving_of(next) != next_of(next)) wake_waiters();
    return VI_SUCCESS;
  }

  // Threads holding or waiting for the lock.
  unsigned queue_length(uint32_t generation) const {
    const uint64_t word = word_.load(std::memory_order_relaxed);
    if ((word & kKeyMask) != key_of(generation)) return 0;
    return static_cast<unsigned>((next_of(word) - serving_of(word)) & kTicketMask);
  }

 private:
  // Lock word: the generation in bits 44-63, the closed mark in bit 43, the next ticket to hand
  // out in bits 21-41 and the ticket being served in bits 0-20 (both modulo 2^21).
  static constexpr unsigned kGenerationShift = 44;
  static constexpr uint64_t kClosed = 1ULL << 43;
  static constexpr uint64_t kKeyMask = ~(kClosed - 1);  // generation and closed mark
  static constexpr unsigned kTicketBits = 21;
  static constexpr uint64_t kTicketMask = (1ULL << kTicketBits) - 1;
  // Owner word: the generation as above, the owner thread in bits 16-41 and the nesting depth in
  // bits 0-15; just the generation while nobody holds the lock.
  static constexpr uint64_t kDepthMask = 0xFFFFULL;

  static constexpr uint64_t key_of(uint32_t generation) {
    return static_cast<uint64_t>(generation) << kGenerationShift;
  }
  static constexpr uint64_t serving_of(uint64_t word) { return word & kTicketMask; }
  static constexpr uint64_t next_of(uint64_t word) { return (word >> kTicketBits) & kTicketMask; }
  static constexpr uint64_t with_serving(uint64_t word, uint64_t serving) {
    return (word & ~kTicketMask) | (serving & kTicketMask);
  }
  static constexpr uint64_t with_next(uint64_t word, uint64_t next) {
    return (word & ~(kTicketMask << kTicketBits)) | ((next & kTicketMask) << kTicketBits);
  }

  void wake_waiters() {
    turn_.fetch_add(1, std::memory_order_release);
    turn_.notify_all();
  }

  std::atomic<uint64_t> word_{0};
  std::atomic<uint64_t> owner_{0};
  std::atomic<uint32_t> turn_{0};  // bumped on every hand-over to a waiter and on close
};

// 4096 sessions; handles keep 20 bits of generation.
using SessionTable = handles::HandleTable<Session, 12, SessionLock>;
constinit SessionTable session_table;

}  // namespace

ViSession create(const std::function<std::unique_ptr<Session>(ViSession)>& make) {
  return session_table.emplace([&](ViSession vi) { return std::shared_ptr<Session>(make(vi)); });
}

Session* acquire(ViSession vi) {
  return session_table.acquire(vi);
}

ViStatus release(ViSession vi) {
  const std::shared_ptr<Session> last = session_table.release(vi);
  return last != nullptr ? last->close_resource_manager() : VI_SUCCESS;
}

bool mark_disposed(ViSession vi) {
  return session_table.retire(vi);
}

ViStatus lock(ViSession vi) {
  uint32_t generation = 0;
  SessionLock* lock = session_table.state_of(vi, generation);
  return lock != nullptr ? lock->lock(generation) : IVI_ERROR_INVALID_SESSION_HANDLE;
}

ViStatus unlock(ViSession vi) {
  uint32_t generation = 0;
  SessionLock* lock = session_table.state_of(vi, generation);
  return lock != nullptr ? lock->unlock(generation) : IVI_ERROR_INVALID_SESSION_HANDLE;
}

unsigned lock_queue_length(ViSession vi) {
  uint32_t generation = 0;
  const SessionLock* lock = session_table.state_of(vi, generation);
  return lock != nullptr ? lock->queue_length(generation) : 0;
}

}  // namespace zr48::engine::registry
