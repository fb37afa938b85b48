// The operation frame: what every exchange with the instrument runs inside, one piece of code
// driven by the policy row of the operation's kind (policy.h).
//
// An exchange is a short sequence of steps (mark the status as needing a check, discard stale
// buffer contents, write command lines, read a reply) that stops at the first negative status.
// A warning (a positive status, such as a read that stopped at the byte count) counts as success
// and never reaches the caller. Whether a failing step is written into the session's error
// information is the row's to say; nothing here allocates.
#ifndef ZR48_FRAME_FRAME_H
#define ZR48_FRAME_FRAME_H

#include <type_traits>

#include "ZR48.h"
#include "engine/held_session.h"
#include "engine/ivi_engine.h"
#include "policy.h"
#include "status_check.h"
#include "visa/visa.h"

namespace zr48 {

using policy::FramePolicy;

// Warnings become success; only a negative status survives.
constexpr ViStatus normalise(ViStatus status) noexcept {
  return status < 0 ? status : VI_SUCCESS;
}

// Raw replies are read into 512 bytes: at most 511 bytes and the NUL after them.
constexpr ViUInt32 kReplySize = 512;
constexpr ViUInt32 kReplyMaxRead = kReplySize - 1;

// Reads one reply word into a caller's 512-byte buffer. The I/O layer's width counts the NUL,
// so at most 511 characters are stored and the rest of the word is consumed and dropped.
constexpr const char* kWordFormat = "%512s";

// Discard both formatted I/O buffers (VI_READ_BUF_DISCARD | VI_WRITE_BUF_DISCARD).
constexpr ViUInt16 kDiscardBoth = VI_READ_BUF_DISCARD | VI_WRITE_BUF_DISCARD;

// Records `status` as the session's primary error when it is negative (an error already recorded
// is kept) and returns it unchanged.
ViStatus record_error(ViSession vi, ViStatus status) noexcept;

// Records a null or invalid parameter: IVI_ERROR_INVALID_PARAMETER with the parameter's 1-based
// position as secondary error and `message` as elaboration. Returns IVI_ERROR_INVALID_PARAMETER.
ViStatus record_parameter_error(ViSession vi, ViInt32 position, const char* message) noexcept;

// Holds the session's nestable lock for one scope and releases it on every path, also after a
// failed lock (the engine tolerates that unlock).
class SessionLock {
 public:
  explicit SessionLock(ViSession vi) noexcept
      : vi_(vi), status_(normalise(Ivi_LockSession(vi, VI_NULL))) {}
  ~SessionLock() { (void)Ivi_UnlockSession(vi_, VI_NULL); }
  SessionLock(const SessionLock&) = delete;
  SessionLock& operator=(const SessionLock&) = delete;

  ViStatus status() const noexcept { return status_; }

 private:
  ViSession vi_;
  ViStatus status_;
};

// A raw reply: the bytes received, NUL-terminated after `count`.
struct Reply {
  ViChar text[kReplySize] = {};
  ViUInt32 count = 0;
};

// The steps of one exchange on an I/O session. Each step runs only while every earlier step
// succeeded; status() is VI_SUCCESS or the first negative status. A failing I/O step is recorded
// when the row's `recorded` names it.
class Exchange {
 public:
  // `visa`: the VISA operations of session `vi` (engine::HeldSession::visa()).
  Exchange(const FramePolicy& row, ViSession vi, ViSession io,
           const visa_calls::VisaCalls& visa) noexcept
      : row_(row), vi_(vi), io_(io), visa_(&visa) {}

  ViStatus status() const noexcept { return status_; }
  bool ok() const noexcept { return status_ == VI_SUCCESS; }
  ViSession vi() const noexcept { return vi_; }
  ViSession io() const noexcept { return io_; }
  const FramePolicy& row() const noexcept { return row_; }
  // The VISA operations the session's I/O goes through.
  const visa_calls::VisaCalls& visa() const noexcept { return *visa_; }

  // viFlush(io, 12): no stale bytes in either buffer.
  Exchange& discard_buffers() noexcept;
  // viPrintf(io, "INST %s\n", channel): a channel selection on its own, never recorded.
  Exchange& select_channel(const char* channel) noexcept;
  // viPrintf(io, format, text): `format` is one command line with at most one "%s", which takes
  // `text` unchanged (VI_NULL is sent as empty text).
  Exchange& send(const char* format, const char* text) noexcept;
  Exchange& send(const char* format) noexcept { return send(format, ""); }
  // viWrite(io, bytes, size): command lines in one write, of which the first `selection_size`
  // bytes select a channel; a failure within them is the selection's and not recorded.
  Exchange& write(ViConstBuf bytes, ViUInt32 size, ViUInt32 selection_size) noexcept;
  // viScanf(io, "%512s", word): the first word of the reply, at most 511 characters.
  Exchange& read_word(ViChar* word) noexcept;
  // viRead(io, reply, 511): one raw read, NUL-terminated after the bytes received.
  Exchange& read_raw(Reply& reply) noexcept;
  // Runs an engine or driver call as a step: `status` is normalised and, on failure, kept.
  Exchange& then(ViStatus status) noexcept;

 private:
  Exchange& finish(ViStatus status, policy::Steps step) noexcept;

  const FramePolicy& row_;
  ViSession vi_;
  ViSession io_;
  const visa_calls::VisaCalls* visa_;
  ViStatus status_ = VI_SUCCESS;
};

// An operation's part that has nothing to do.
struct Nothing {
  ViStatus operator()() const noexcept { return VI_SUCCESS; }
};

// The operation frame. Under the lock (where the row takes it): `check()`, the operation's own
// refusals before anything else; then, in a simulated session (where the row tests for one),
// `simulated()` in place of any I/O; otherwise the exchange on the row's I/O session: mark the
// status as needing a check and discard stale input as the row says, then `steps(exchange)`.
// Once all that succeeded, the status check where the row asks for it. Returns VI_SUCCESS or
// the first negative status. The engine session is looked up once for the whole frame; a check
// that takes it (`check(session)`) asks it instead of the engine's C calls, which would look the
// session up and lock it again.
template <typename Check, typename Simulated, typename Steps>
ViStatus run_frame(const FramePolicy& row, ViSession vi, ViSession handed_in_io, Check&& check,
                   Simulated&& simulated, Steps&& steps) {
  const engine::HeldSession session(vi, row.lock);
  if (session.status() < 0) return session.status();
  ViStatus status = VI_SUCCESS;
  if constexpr (std::is_invocable_v<Check&, const engine::HeldSession&>) {
    status = normalise(check(session));
  } else {
    status = normalise(check());
  }
  if (status < 0) return status;
  if (row.simulated && session.simulating()) {
    status = normalise(simulated());
  } else {
    const ViSession io = row.io == policy::kHandedIn ? handed_in_io : session.io_session();
    Exchange exchange(row, vi, io, session.visa());
    // Ivi_SetNeedToCheckStatus(vi, VI_TRUE); a failure is the engine's to record.
    if (row.mark_status) exchange.then(session.mark_status_unchecked());
    if (row.flush) exchange.discard_buffers();
    if (exchange.ok()) steps(exchange);
    status = exchange.status();
  }
  if (status == VI_SUCCESS && row.status_check) status = normalise(ZR48_StatusCheck(vi));
  return status;
}

}  // namespace zr48

#endif  // ZR48_FRAME_FRAME_H
