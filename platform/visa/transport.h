// The byte pipe under an I/O session. The session keeps buffers, formats and attributes; a
// transport only moves bytes and reports failures as VISA status codes.
#ifndef ZR48_PLATFORM_VISA_TRANSPORT_H
#define ZR48_PLATFORM_VISA_TRANSPORT_H

#include <cstddef>

#include "visa/deadline.h"
#include "zr48_visatype.h"

namespace zr48::visa {

class Transport {
 public:
  Transport() = default;
  Transport(const Transport&) = delete;
  Transport& operator=(const Transport&) = delete;
  virtual ~Transport() = default;

  // Hands over all `size` bytes or fails (VI_ERROR_TMO, VI_ERROR_CONN_LOST, VI_ERROR_IO);
  // `sent` counts the bytes handed over either way.
  virtual ViStatus send(const ViByte* data, std::size_t size, const Deadline& deadline,
                        std::size_t& sent) = 0;

  // Waits for at least one byte and stores what is available, at most `capacity` bytes.
  virtual ViStatus receive(ViByte* data, std::size_t capacity, const Deadline& deadline,
                           std::size_t& received) = 0;

  // Drops whatever can be read without waiting (stale bytes from an earlier exchange).
  virtual ViStatus discard_ready() = 0;

  // Wakes any wait in progress and makes later ones fail; callable from another thread.
  virtual void interrupt() = 0;

  // Transport-specific attributes; VI_ERROR_NSUP_ATTR for attributes the transport lacks.
  virtual ViStatus get_attribute(ViAttr attribute, void* value) const = 0;
  virtual ViStatus set_attribute(ViAttr attribute, ViAttrState value) = 0;

  // The operating-system handle (a socket), or -1; for diagnostics and tests.
  virtual int native_handle() const { return -1; }
};

}  // namespace zr48::visa

#endif
