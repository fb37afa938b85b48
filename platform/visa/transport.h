// The message pipe under an I/O session. The session keeps buffers, formats and attributes; a
// transport moves bytes, carries END where its protocol has one, and reports failures as VISA
// status codes. Optional operations that a protocol lacks answer VI_ERROR_NSUP_OPER here, once,
// so that a transport implements only what it has.
#ifndef ZR48_PLATFORM_VISA_TRANSPORT_H
#define ZR48_PLATFORM_VISA_TRANSPORT_H

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "visa/deadline.h"
#include "visa/visa.h"
#include "zr48_visatype.h"

namespace zr48::visa {

// What a read may stop at besides END and the caller's count.
struct ReadTermination {
  bool enabled = false;  // VI_ATTR_TERMCHAR_EN
  ViUInt8 termchar = '\n';
};

// Why a receive returned: END came with the last byte, the termination character was the last
// byte, the capacity filled, or (a stream without messages) simply what had arrived.
enum class ReadEnd { kChunk, kEnd, kTermChar, kCount };

struct Received {
  std::size_t size = 0;
  ReadEnd end = ReadEnd::kChunk;
};

enum class LockKind { kExclusive, kShared };

class Transport {
 public:
  Transport() = default;
  Transport(const Transport&) = delete;
  Transport& operator=(const Transport&) = delete;
  virtual ~Transport() = default;

  // Hands over all `size` bytes, with END after the last one when `end` is set and the
  // protocol has END, or fails (VI_ERROR_TMO, VI_ERROR_CONN_LOST, VI_ERROR_IO); `sent` counts
  // the bytes handed over either way.
  virtual ViStatus send(const ViByte* data, std::size_t size, bool end, const Deadline& deadline,
                        std::size_t& sent) = 0;

  // Waits for at least one byte and stores what is available, at most `capacity` bytes, never
  // past the end of a message.
  virtual ViStatus receive(ViByte* data, std::size_t capacity, const ReadTermination& termination,
                           const Deadline& deadline, Received& received) = 0;

  // Drops whatever can be read without waiting (stale bytes from an earlier exchange).
  virtual ViStatus discard_ready() = 0;

  // Wakes any wait in progress and makes later ones fail; callable from another thread.
  virtual void interrupt() = 0;

  // Ends the connection politely (a VXI-11 link is destroyed, not left to the server to find);
  // called with no operation in progress, right before the transport is destroyed.
  virtual void shutdown() {}

  // Transport-specific attributes; VI_ERROR_NSUP_ATTR for attributes the transport lacks.
  virtual ViStatus get_attribute(ViAttr attribute, void* value) const = 0;
  virtual ViStatus set_attribute(ViAttr attribute, ViAttrState value) = 0;

  // VI_ATTR_TERMCHAR changed: for transports that send it or end reads at it themselves.
  virtual void termchar_changed(ViUInt8 /*termchar*/) {}

  // The operating-system handle (a socket), or -1; for diagnostics and tests.
  virtual int native_handle() const { return -1; }

  // ---- Optional operations ----------------------------------------------------------------
  // Device clear: the instrument drops its input and output; the transport its own buffers.
  virtual ViStatus clear(const Deadline& /*deadline*/) { return VI_ERROR_NSUP_OPER; }
  virtual ViStatus read_status_byte(const Deadline& /*deadline*/, ViUInt16& /*status*/) {
    return VI_ERROR_NSUP_OPER;
  }
  virtual ViStatus trigger(const Deadline& /*deadline*/) { return VI_ERROR_NSUP_OPER; }
  // Locks the device for this connection, waiting up to `timeout_ms` for another holder.
  virtual ViStatus lock(LockKind /*kind*/, std::string_view /*key*/, ViUInt32 /*timeout_ms*/,
                        const Deadline& /*deadline*/) {
    return VI_ERROR_NSUP_OPER;
  }
  virtual ViStatus unlock(const Deadline& /*deadline*/) { return VI_ERROR_NSUP_OPER; }
  virtual ViStatus control_ren(ViUInt16 /*mode*/, const Deadline& /*deadline*/) {
    return VI_ERROR_NSUP_OPER;
  }

  // Service requests. A transport that has them calls `notify` on a thread of its own for each
  // one the instrument raises, from a successful start until shutdown() or its destruction
  // (which wait for a call in progress).
  virtual bool has_service_requests() const { return false; }
  // Why a connection of a kind that may have them has none (the device or its driver lacks the
  // means): said in the trace when they are asked for. Empty otherwise.
  virtual std::string service_requests_missing() const { return {}; }
  virtual ViStatus start_service_requests(const std::function<void()>& /*notify*/,
                                          const Deadline& /*deadline*/) {
    return VI_ERROR_NSUP_OPER;
  }
};

}  // namespace zr48::visa

#endif
