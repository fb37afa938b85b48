// The operation frame: what every exchange with the instrument runs inside.
//
// An exchange is a short sequence of steps (mark the status as needing a check, discard stale
// buffer contents, write command lines, read a reply) that stops at the first negative status.
// A warning (a positive status, such as a read that stopped at the byte count) counts as success
// and never reaches the caller. Each step says whether its failure is written into the session's
// error information; nothing here allocates.
#ifndef ZR48_FRAME_FRAME_H
#define ZR48_FRAME_FRAME_H

#include <utility>

#include "ZR48.h"
#include "engine/ivi_engine.h"
#include "engine/session_visa.h"
#include "visa/visa.h"

namespace zr48 {

// Warnings become success; only a negative status survives.
constexpr ViStatus Normalise(ViStatus status) noexcept {
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

// Whether a failing step is written into the session's error information.
enum class Record : bool { kNo = false, kYes = true };

// Records `status` as the session's primary error when it is negative (an error already recorded
// is kept) and returns it unchanged.
ViStatus RecordError(ViSession vi, ViStatus status) noexcept;

// Records a null or invalid parameter: IVI_ERROR_INVALID_PARAMETER with the parameter's 1-based
// position as secondary error and `message` as elaboration. Returns IVI_ERROR_INVALID_PARAMETER.
ViStatus RecordParameterError(ViSession vi, ViInt32 position, const char* message) noexcept;

// Holds the session's nestable lock for one scope and releases it on every path, also after a
// failed lock (the engine tolerates that unlock).
class SessionLock {
 public:
  explicit SessionLock(ViSession vi) noexcept
      : vi_(vi), status_(Normalise(Ivi_LockSession(vi, VI_NULL))) {}
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
// succeeded; status() is VI_SUCCESS or the first negative status.
class Exchange {
 public:
  Exchange(ViSession vi, ViSession io) noexcept
      : vi_(vi), io_(io), visa_(&engine::session_visa_calls(vi)) {}

  ViStatus status() const noexcept { return status_; }
  bool ok() const noexcept { return status_ == VI_SUCCESS; }
  ViSession vi() const noexcept { return vi_; }
  ViSession io() const noexcept { return io_; }
  // The VISA operations the session's I/O goes through.
  const visa_calls::VisaCalls& visa() const noexcept { return *visa_; }

  // Ivi_SetNeedToCheckStatus(vi, VI_TRUE); a failure is the engine's to record.
  Exchange& MarkStatusUnchecked() noexcept;
  // viFlush(io, 12): no stale bytes in either buffer.
  Exchange& DiscardBuffers(Record record = Record::kNo) noexcept;
  // viPrintf(io, format, text): `format` is one command line with at most one "%s", which takes
  // `text` unchanged (VI_NULL is sent as empty text).
  Exchange& Send(const char* format, const char* text, Record record) noexcept;
  Exchange& Send(const char* format, Record record) noexcept { return Send(format, "", record); }
  // viScanf(io, "%512s", word): the first word of the reply, at most 511 characters.
  Exchange& ReadWord(ViChar* word, Record record) noexcept;
  // viRead(io, reply, 511): one raw read, NUL-terminated after the bytes received.
  Exchange& ReadRaw(Reply& reply, Record record) noexcept;
  // Runs an engine or driver call as a step: `status` is normalised and, on failure, kept.
  Exchange& Then(ViStatus status) noexcept;

 private:
  Exchange& Finish(ViStatus status, Record record) noexcept;

  ViSession vi_;
  ViSession io_;
  const visa_calls::VisaCalls* visa_;
  ViStatus status_ = VI_SUCCESS;
};

// The operation frame after its lock, for a caller that already holds the session lock: success
// with nothing sent (and no buffer touched) while simulating; otherwise mark the status as needing
// a check, discard stale buffer contents and run `steps(exchange)`. Failures are returned, not
// recorded, and no status check follows.
template <typename Steps>
ViStatus RunLockedOperation(ViSession vi, Steps&& steps) {
  if (Ivi_Simulating(vi)) return VI_SUCCESS;
  Exchange exchange(vi, Ivi_IOSession(vi));
  exchange.MarkStatusUnchecked().DiscardBuffers();
  if (exchange.ok()) steps(exchange);
  return exchange.status();
}

// The operation frame of the instrument functions and of WriteCmd/ReadCmd: lock, then the steps
// of RunLockedOperation.
template <typename Steps>
ViStatus RunOperation(ViSession vi, Steps&& steps) {
  SessionLock lock(vi);
  if (lock.status() < 0) return lock.status();
  return RunLockedOperation(vi, std::forward<Steps>(steps));
}

}  // namespace zr48

#endif  // ZR48_FRAME_FRAME_H
