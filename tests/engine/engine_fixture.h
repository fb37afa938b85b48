// Shared helpers for the engine tests: sessions, recording callbacks, temporary configuration
// files.
#ifndef ZR48_TESTS_ENGINE_ENGINE_FIXTURE_H
#define ZR48_TESTS_ENGINE_ENGINE_FIXTURE_H

#include <gtest/gtest.h>

#include <string>

#include "engine/ivi_engine.h"
#include "scoped_environment.h"

namespace zr48::engine::test {

constexpr ViAttr kReal = IVI_SPECIFIC_PUBLIC_ATTR_BASE + 1;  // multi-channel ViReal64
constexpr ViAttr kInt = IVI_SPECIFIC_PUBLIC_ATTR_BASE + 2;   // ViInt32
constexpr ViAttr kText = IVI_SPECIFIC_PUBLIC_ATTR_BASE + 3;  // ViString
constexpr ViAttr kFlag = IVI_SPECIFIC_PUBLIC_ATTR_BASE + 4;  // ViBoolean
constexpr ViAttr kUnknown = IVI_SPECIFIC_PUBLIC_ATTR_BASE + 99;

// What the recording callbacks saw and what they do.
struct Recorder {
  int reads = 0;
  int writes = 0;
  int statusChecks = 0;
  ViStatus result = VI_SUCCESS;  // returned by every recording callback
  double readValue = 0;          // numeric read callbacks store this when `setOnRead`
  bool setOnRead = false;
  const char* textOnRead = nullptr;  // string read callback hands this back when set
  std::string lastChannel;
  double lastWritten = 0;
  std::string lastWrittenText;
};
Recorder& recorder();

// Numeric callbacks, ViReal64 and ViInt32 alike.
template <typename T>
ViStatus readNumber(ViSession, ViSession, ViConstString channel, ViAttr, T* value) {
  Recorder& r = recorder();
  ++r.reads;
  r.lastChannel = channel;
  if (r.result >= 0 && r.setOnRead) *value = static_cast<T>(r.readValue);
  return r.result;
}
template <typename T>
ViStatus writeNumber(ViSession, ViSession, ViConstString channel, ViAttr, T value) {
  Recorder& r = recorder();
  ++r.writes;
  r.lastChannel = channel;
  r.lastWritten = value;
  return r.result;
}
constexpr auto readReal = &readNumber<ViReal64>;
constexpr auto writeReal = &writeNumber<ViReal64>;
constexpr auto readInt = &readNumber<ViInt32>;
constexpr auto writeInt = &writeNumber<ViInt32>;
ViStatus readText(ViSession vi, ViSession, ViConstString channel, ViAttr id, ViConstString);
ViStatus writeText(ViSession, ViSession, ViConstString channel, ViAttr, ViConstString value);
ViStatus checkStatus(ViSession, ViSession);

// A simulated session (no VISA) with channels ch1..ch3 and no driver attributes.
class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  ViSession open(const char* options = "Simulate=1", bool withChannels = true);
  // Adds kReal, "REAL", a multi-channel ViReal64, to the open session.
  ViStatus addReal(ViReal64 value, IviAttrFlags flags = 0,
                   ReadAttrViReal64_CallbackPtr read = nullptr,
                   WriteAttrViReal64_CallbackPtr write = nullptr,
                   IviRangeTablePtr table = nullptr) {
    return Ivi_AddAttributeViReal64(vi, kReal, "REAL", value, flags | IVI_VAL_MULTI_CHANNEL, read,
                                    write, table, 0);
  }

  ViSession vi = VI_NULL;
};

// ZR48_CONFIG set to a temporary file with the given text for the lifetime of the object.
using TempConfig = zr48::test::LogicalNameFile;

// What Ivi_GetInfoFromResourceName made of a name and an option string; the texts start out
// "(untouched)".
struct Resolved {
  ViStatus status;
  std::string name;
  std::string options;
  ViBoolean logical;
};
Resolved resolve(const char* resource, const char* options = "");

// Takes the calling thread's error information.
struct ThreadError {
  ViStatus primary = 0;
  ViStatus secondary = 0;
  std::string elaboration;
};
ThreadError takeError(ViSession vi = VI_NULL);

}  // namespace zr48::engine::test

#endif
