// ZR48_WriteCmd and ZR48_ReadCmd: any command line, in the operation frame. Failures are
// returned, not recorded; a null text or reply buffer is refused before anything is sent.
#include <algorithm>
#include <cstring>

#include "frame/frame.h"

ViStatus ZR48_WriteCmd(ViSession instrumentHandle, ViConstString inputStr) {
  if (inputStr == nullptr) {
    return zr48::RecordParameterError(instrumentHandle, 2, "Null address for Input String");
  }
  return zr48::RunOperation(instrumentHandle, [&](zr48::Exchange& exchange) {
    // The caller's text is an argument, never a format: a per cent sign in it is sent as is.
    exchange.Send("%s\n", inputStr, zr48::Record::kNo);
  });
}

ViStatus ZR48_ReadCmd(ViSession instrumentHandle, ViConstString inputStr, ViChar reChar[]) {
  if (inputStr == nullptr) {
    return zr48::RecordParameterError(instrumentHandle, 2, "Null address for Input String");
  }
  if (reChar == nullptr) {
    return zr48::RecordParameterError(instrumentHandle, 3, "Null address for Reply");
  }
  return zr48::RunOperation(instrumentHandle, [&](zr48::Exchange& exchange) {
    zr48::Reply reply;
    exchange.Send("%s\n", inputStr, zr48::Record::kNo).ReadRaw(reply, zr48::Record::kNo);
    // The reply as received (its line feed included) and the NUL: at most 512 bytes.
    if (exchange.ok()) {
      std::memcpy(reChar, reply.text, std::min(reply.count, zr48::kReplyMaxRead) + 1);
    }
  });
}
