// Small helpers for reading attributes and error information in the driver's tests.
#ifndef ZR48_TESTS_DRIVER_ATTRIBUTE_IO_H
#define ZR48_TESTS_DRIVER_ATTRIBUTE_IO_H

#include <chrono>
#include <string>

#include "ZR48.h"
#include "engine/ivi_engine.h"
#include "visa/visa.h"
#include "zr48sim/server.h"

namespace zr48::test {

struct StringRead {
  ViStatus status;
  std::string value;
};

// A string attribute through the public accessor, with a 512-byte buffer.
inline StringRead ReadString(ViSession vi, const char* channel, ViAttr id) {
  ViChar buffer[512] = "(untouched)";
  const ViStatus status = ZR48_GetAttributeViString(vi, channel, id, sizeof buffer, buffer);
  return {status, buffer};
}

inline std::string ReadStringOk(ViSession vi, const char* channel, ViAttr id) {
  StringRead read = ReadString(vi, channel, id);
  return read.status == VI_SUCCESS ? read.value : "(status " + std::to_string(read.status) + ")";
}

struct ErrorInfo {
  ViStatus primary = VI_SUCCESS;
  ViStatus secondary = VI_SUCCESS;
  std::string elaboration;
};

// The error information of a session (or of the calling thread with VI_NULL); clears it.
inline ErrorInfo TakeErrorInfo(ViSession vi) {
  ErrorInfo info;
  ViChar elaboration[256] = "";
  (void)Ivi_GetErrorInfo(vi, &info.primary, &info.secondary, elaboration);
  info.elaboration = elaboration;
  return info;
}

// What the simulator received, once it holds at least as many bytes as `expected`: a write
// returns as soon as its bytes are on the socket, before the simulator has read them. The wait
// is bounded and only synchronises; nothing is asserted about time.
inline std::string Arrived(const sim::Server& sim, const std::string& expected) {
  return sim.wait_for_received(expected.size(), std::chrono::seconds(5));
}

// Number of times `needle` occurs in `text`.
inline std::size_t Count(const std::string& text, const std::string& needle) {
  std::size_t count = 0;
  for (std::size_t at = text.find(needle); at != std::string::npos;
       at = text.find(needle, at + needle.size())) {
    ++count;
  }
  return count;
}

}  // namespace zr48::test

#endif  // ZR48_TESTS_DRIVER_ATTRIBUTE_IO_H
