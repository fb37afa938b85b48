// The C interface of events and asynchronous I/O: viEnableEvent, viDisableEvent,
// viDiscardEvents, viWaitOnEvent, viInstallHandler, viUninstallHandler, viReadAsync,
// viWriteAsync and viTerminate.
#include "visa/events.h"
#include "visa/lookup.h"
#include "visa/trace.h"
#include "visa/visa.h"

namespace {

using zr48::visa::Session;

template <typename Operation>
ViStatus on_session(const char* name, ViObject vi, Operation operation) {
  const ViStatus status = zr48::visa::guarded([&]() -> ViStatus {
    std::shared_ptr<Session> session;
    const ViStatus found = zr48::visa::lookup_session(vi, session);
    return found != VI_SUCCESS ? found : operation(*session);
  });
  zr48::visa::trace::note(name, vi, status, {});
  return status;
}

}  // namespace

extern "C" {

ViStatus viEnableEvent(ViSession vi, ViEventType eventType, ViUInt16 mechanism,
                       ViEventFilter /*context: VI_NULL, the only filter VISA defines*/) {
  return on_session("viEnableEvent", vi,
                    [&](Session& s) { return s.enable_event(eventType, mechanism); });
}

ViStatus viDisableEvent(ViSession vi, ViEventType eventType, ViUInt16 mechanism) {
  return on_session("viDisableEvent", vi,
                    [&](Session& s) { return s.events().disable(eventType, mechanism); });
}

ViStatus viDiscardEvents(ViSession vi, ViEventType eventType, ViUInt16 mechanism) {
  return on_session("viDiscardEvents", vi,
                    [&](Session& s) { return s.events().discard(eventType, mechanism); });
}

ViStatus viWaitOnEvent(ViSession vi, ViEventType inEventType, ViUInt32 timeout,
                       ViPEventType outEventType, ViPEvent outContext) {
  if (outEventType != nullptr) *outEventType = 0;
  if (outContext != nullptr) *outContext = VI_NULL;
  return on_session("viWaitOnEvent", vi, [&](Session& s) {
    return s.events().wait(inEventType, timeout, outEventType, outContext);
  });
}

ViStatus viInstallHandler(ViSession vi, ViEventType eventType, ViHndlr handler, ViAddr userHandle) {
  return on_session("viInstallHandler", vi,
                    [&](Session& s) { return s.events().install(eventType, handler, userHandle); });
}

ViStatus viUninstallHandler(ViSession vi, ViEventType eventType, ViHndlr handler,
                            ViAddr userHandle) {
  return on_session("viUninstallHandler", vi, [&](Session& s) {
    return s.events().uninstall(eventType, handler, userHandle);
  });
}

ViStatus viReadAsync(ViSession vi, ViPBuf buf, ViUInt32 cnt, ViPJobId jobId) {
  return on_session("viReadAsync", vi, [&](Session& s) {
    ViJobId job = 0;
    const ViStatus status = s.read_async(buf, cnt, job);
    if (jobId != nullptr) *jobId = job;
    return status;
  });
}

ViStatus viWriteAsync(ViSession vi, ViConstBuf buf, ViUInt32 cnt, ViPJobId jobId) {
  return on_session("viWriteAsync", vi, [&](Session& s) {
    ViJobId job = 0;
    // The job only reads the buffer; the completion event hands it back as VI_ATTR_BUFFER.
    const ViStatus status = s.write_async(const_cast<ViBuf>(buf), cnt, job);
    if (jobId != nullptr) *jobId = job;
    return status;
  });
}

ViStatus viTerminate(ViObject vi, ViUInt16 degree, ViJobId jobId) {
  return on_session("viTerminate", vi, [&](Session& s) -> ViStatus {
    if (degree != VI_NULL) return VI_ERROR_INV_DEGREE;
    return s.terminate(jobId);
  });
}

}  // extern "C"
