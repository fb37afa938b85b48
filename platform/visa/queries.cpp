// viQueryf and the buffered raw operations. One receive buffer serves formatted and raw reads,
// and raw writes send the formatted bytes still waiting first, so viBufRead and viBufWrite are
// viRead and viWrite over that same buffer: bytes keep their order either way.
#include <string>

#include "visa/formatted_scan.h"
#include "visa/visa.h"
#include "visa/lookup.h"
#include "visa/trace.h"

using zr48::visa::guarded;
using zr48::visa::lookup_session;
using zr48::visa::Session;
namespace trace = zr48::visa::trace;

extern "C" {

ViStatus viVQueryf(ViSession vi, ViConstString writeFmt, ViConstString readFmt, va_list params) {
  std::string written;
  std::string read;
  const bool tracing = trace::enabled();
  const ViStatus status = guarded([&]() -> ViStatus {
    std::shared_ptr<Session> session;
    ViStatus result = lookup_session(vi, session);
    if (result != VI_SUCCESS) return result;
    // A bad read format must not leave a query sent whose reply nobody reads.
    result = zr48::visa::check_scan_format(readFmt);
    if (result != VI_SUCCESS) return result;
    va_list args;
    va_copy(args, params);
    // The read arguments follow the write arguments in the one list.
    result = session->print(writeFmt, &args, tracing ? &written : nullptr);
    if (result >= 0) {
      const ViStatus flushed = session->flush(VI_WRITE_BUF);
      if (flushed < 0) result = flushed;
    }
    if (result >= 0) result = session->scan(readFmt, args, tracing ? &read : nullptr);
    va_end(args);
    return result;
  });
  if (tracing) trace::record("viQueryf", vi, status, written + read);
  return status;
}

ViStatus viQueryf(ViSession vi, ViConstString writeFmt, ViConstString readFmt, ...) {
  va_list params;
  va_start(params, readFmt);
  const ViStatus status = viVQueryf(vi, writeFmt, readFmt, params);
  va_end(params);
  return status;
}

ViStatus viBufRead(ViSession vi, ViPBuf buf, ViUInt32 cnt, ViPUInt32 retCnt) {
  return viRead(vi, buf, cnt, retCnt);
}

ViStatus viBufWrite(ViSession vi, ViConstBuf buf, ViUInt32 cnt, ViPUInt32 retCnt) {
  return viWrite(vi, buf, cnt, retCnt);
}

}  // extern "C"
