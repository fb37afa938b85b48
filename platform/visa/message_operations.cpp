// viReadSTB, viClear and viAssertTrigger for message-based sessions that carry IEEE 488.2 as
// strings (raw sockets): the status byte is asked with *STB?, a trigger is *TRG, and a clear
// discards whatever the session buffers and the socket already hold, as no out-of-band clear
// exists there. viLock/viUnlock are not served. Each is weak, so that a transport layer that
// serves them natively (VXI-11 device_clear, HiSLIP) replaces it at link time.
#include "visa/library_operations.h"
#include "visa/lookup.h"
#include "visa/trace.h"

#define ZR48_REPLACEABLE __attribute__((weak))

using zr48::visa::guarded;
using zr48::visa::lookup_session;
using zr48::visa::Session;

extern "C" {

ZR48_REPLACEABLE ViStatus viReadSTB(ViSession vi, ViPUInt16 status) {
  if (status == nullptr) return VI_ERROR_USER_BUF;
  ViInt32 value = -1;
  ViStatus result = viQueryf(vi, "*STB?\n", "%d\n", &value);
  if (result < 0) return result;
  if (value < 0 || value > 0xFF) return VI_ERROR_IO;  // not a status byte
  *status = static_cast<ViUInt16>(value);
  return VI_SUCCESS;
}

ZR48_REPLACEABLE ViStatus viClear(ViSession vi) {
  const ViStatus status = guarded([&]() -> ViStatus {
    std::shared_ptr<Session> session;
    const ViStatus found = lookup_session(vi, session);
    return found != VI_SUCCESS ? found : session->flush(VI_READ_BUF_DISCARD | VI_WRITE_BUF_DISCARD);
  });
  zr48::visa::trace::note("viClear", vi, status, {});
  return status;
}

ZR48_REPLACEABLE ViStatus viAssertTrigger(ViSession vi, ViUInt16 protocol) {
  if (protocol != VI_TRIG_PROT_DEFAULT) return VI_ERROR_INV_PROT;
  static constexpr ViByte kTrigger[] = {'*', 'T', 'R', 'G', '\n'};
  ViUInt32 sent = 0;
  return viWrite(vi, kTrigger, sizeof kTrigger, &sent);
}

ZR48_REPLACEABLE ViStatus viLock(ViSession vi, ViAccessMode /*lockType*/, ViUInt32 /*timeout*/,
                                 ViConstKeyId /*requestedKey*/, ViChar /*accessKey*/[]) {
  std::shared_ptr<Session> session;
  const ViStatus found = guarded([&] { return lookup_session(vi, session); });
  return found != VI_SUCCESS ? found : VI_ERROR_NSUP_OPER;
}

ZR48_REPLACEABLE ViStatus viUnlock(ViSession vi) {
  std::shared_ptr<Session> session;
  const ViStatus found = guarded([&] { return lookup_session(vi, session); });
  return found != VI_SUCCESS ? found : VI_ERROR_NSUP_OPER;
}

}  // extern "C"
