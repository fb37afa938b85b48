// What the operation frame's discard of stale input does for the next exchange: the late rest of
// a long reply is dropped rather than taken for the next answer, and a link lost meanwhile is
// reported (and recorded where the caller records failures) by the exchange that needs it.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>

#include "attribute_io.h"
#include "loopback_peer.h"
#include "sim_session.h"

namespace zr48::test {
namespace {

using std::chrono::milliseconds;

struct RawReplyCall {
  const char* name;
  // Runs the call and returns what it handed back.
  std::function<ViStatus(ViSession, std::string&)> call;
  const char* sent;        // the line the instrument receives
  std::size_t kept;        // how much of a long reply the caller gets
  const char* short_text;  // the next call's reply, as handed back
};

ViStatus Into(std::string& out, ViStatus status, const ViChar* text) {
  out = text;
  return status;
}

const RawReplyCall kCalls[] = {
    {"ReadCmd",
     [](ViSession vi, std::string& out) {
       ViChar reply[512] = "";
       return Into(out, ZR48_ReadCmd(vi, "DATA?", reply), reply);
     },
     "DATA?\n", 511, "B\n"},
    {"GetApply",
     [](ViSession vi, std::string& out) {
       ViChar reply[512] = "";
       return Into(out, ZR48_GetApply(vi, "CH1", reply), reply);
     },
     "APPLY? CH1\n", 511, "B\n"},
    {"string attribute",
     [](ViSession vi, std::string& out) {
       ViChar value[512] = "";
       return Into(out, ZR48_GetAttributeViString(vi, "", ZR48_ATTR_STB, 512, value), value);
     },
     "*STB?\n", 511, "B\n"},
    {"error_query",
     [](ViSession vi, std::string& out) {
       ViInt32 code = 0;
       ViChar message[256] = "";
       return Into(out, ZR48_error_query(vi, &code, message), message);
     },
     ":SYST:ERR?\n", 255, "B\n"},
};

// A 1000-byte reply arrives as 600 bytes and, a moment later, the other 400; then the next query
// gets its own short answer, and nothing of the first reply.
TEST(StaleInputTest, TheLateRestOfALongReplyIsNeverTheNextAnswer) {
  for (const RawReplyCall& c : kCalls) {
    SCOPED_TRACE(c.name);
    LoopbackPeer instrument({
        {{milliseconds(0), std::string(600, 'a')},
         {milliseconds(60), std::string(399, 'a') + "\n"}},
        {{milliseconds(0), "B\n"}},
    });
    std::string resource = instrument.resource();
    ViSession vi = VI_NULL;
    ASSERT_EQ(ZR48_InitWithOptions(resource.data(), VI_FALSE, VI_FALSE, "", &vi), VI_SUCCESS);
    std::string first;
    std::string second;
    EXPECT_EQ(c.call(vi, first), VI_SUCCESS);
    EXPECT_EQ(first, std::string(c.kept, 'a'));
    EXPECT_EQ(c.call(vi, second), VI_SUCCESS);
    EXPECT_EQ(second, c.short_text);
    EXPECT_EQ(ZR48_close(vi), VI_SUCCESS);
    EXPECT_EQ(instrument.received(), std::string(c.sent) + c.sent);
  }
}

using LostLinkTest = SimSessionTest;

// The loss is known from a failed read; the discard before the next exchange does not report it,
// so the attribute callbacks' failed write (or read) records it.
TEST_F(LostLinkTest, AttributeCallbacksRecordALinkLostBeforeThem) {
  const ViSession vi = OpenReal();
  sim_.close_after_lines(1);
  ViChar reply[512] = "";
  ASSERT_EQ(ZR48_ReadCmd(vi, "*IDN?", reply), LinkLost());
  (void)TakeErrorInfo(vi);

  EXPECT_EQ(ZR48_SetAttributeViString(vi, "", ZR48_ATTR_ESE, "1"), LinkLost());
  EXPECT_EQ(TakeErrorInfo(vi).primary, LinkLost());
  // A per-channel write fails within its channel selection, which is returned, not recorded.
  EXPECT_EQ(ZR48_SetAttributeViString(vi, "ch2", ZR48_ATTR_OUTP, "1"), LinkLost());
  EXPECT_EQ(TakeErrorInfo(vi).primary, VI_SUCCESS);
  EXPECT_EQ(ReadString(vi, "", ZR48_ATTR_STB).status, LinkLost());
  EXPECT_EQ(TakeErrorInfo(vi).primary, LinkLost());
  // The instrument functions still return it, recording nothing.
  EXPECT_EQ(ZR48_SetVoltage(vi, "1", "ch1"), LinkLost());
  EXPECT_EQ(TakeErrorInfo(vi).primary, VI_SUCCESS);
}

}  // namespace
}  // namespace zr48::test
