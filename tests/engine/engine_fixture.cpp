#include "engine_fixture.h"

namespace zr48::engine::test {

Recorder& recorder() {
  static Recorder r;
  return r;
}

ViStatus readText(ViSession vi, ViSession, ViConstString channel, ViAttr id, ViConstString) {
  Recorder& r = recorder();
  ++r.reads;
  r.lastChannel = channel;
  if (r.textOnRead != nullptr) {
    const ViStatus status = Ivi_SetValInStringCallback(vi, id, r.textOnRead);
    if (status < 0) return status;
  }
  return r.result;
}

ViStatus writeText(ViSession, ViSession, ViConstString channel, ViAttr, ViConstString value) {
  Recorder& r = recorder();
  ++r.writes;
  r.lastChannel = channel;
  r.lastWrittenText = value;
  return r.result;
}

ViStatus checkStatus(ViSession, ViSession) {
  ++recorder().statusChecks;
  return recorder().result;
}

void EngineTest::SetUp() {
  recorder() = Recorder{};
  Ivi_ClearErrorInfo(VI_NULL);
}

void EngineTest::TearDown() {
  if (vi != VI_NULL) Ivi_Dispose(vi);
  vi = VI_NULL;
  Ivi_ClearErrorInfo(VI_NULL);
}

ViSession EngineTest::open(const char* options, bool withChannels) {
  ViSession session = VI_NULL;
  EXPECT_EQ(Ivi_SpecificDriverNew("ZR48", options, &session), VI_SUCCESS);
  if (withChannels) {
    EXPECT_EQ(Ivi_BuildChannelTable(session, "ch1,ch2,ch3", VI_FALSE, VI_NULL), VI_SUCCESS);
  }
  vi = session;
  return session;
}

Resolved resolve(const char* resource, const char* options) {
  ViChar name[256] = "(untouched)";
  ViChar newOptions[256] = "(untouched)";
  ViBoolean logical = 2;
  const ViStatus status = Ivi_GetInfoFromResourceName(const_cast<ViRsrc>(resource), options, name,
                                                      newOptions, &logical);
  return {status, name, newOptions, logical};
}

ThreadError takeError(ViSession vi) {
  ThreadError e;
  ViChar text[256] = {};
  Ivi_GetErrorInfo(vi, &e.primary, &e.secondary, text);
  e.elaboration = text;
  return e;
}

}  // namespace zr48::engine::test
