// The driver over another VISA library (ZR48_VISA_LIBRARY): its I/O goes through the library
// named, and a library that cannot serve fails the open with VI_ERROR_SYSTEM_ERROR and says why.
// Every other driver suite also runs through libzr48visa.so.1 as its "/foreign" variant.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "ZR48.h"
#include "sim_session.h"
#include "visa/visa.h"

namespace zr48::test {
namespace {

// Names a VISA library for the scope of one test, then puts back what was set before.
struct VisaLibraryVariable : EnvironmentVariable {
  explicit VisaLibraryVariable(const std::string& path)
      : EnvironmentVariable("ZR48_VISA_LIBRARY", path) {}
};

struct Reason {
  ViStatus code = VI_SUCCESS;
  std::string text;
};

Reason ThreadError() {
  Reason reason;
  std::array<ViChar, 1024> text{};
  EXPECT_GE(ZR48_GetError(VI_NULL, &reason.code, static_cast<ViInt32>(text.size()), text.data()),
            VI_SUCCESS);
  reason.text = text.data();
  return reason;
}

class ForeignVisaTest : public SimSessionTest {};

TEST_F(ForeignVisaTest, UnusableLibraryFailsTheOpenAndNamesLibraryAndSymbol) {
  struct Case {
    const char* what;
    std::string path;
    std::string said;  // a part of the reason ZR48_GetError gives
  };
  const Case cases[] = {
      {"missing file", "/nonexistent/libvisa.so", "/nonexistent/libvisa.so"},
      {"not a shared library", "/dev/null", "'/dev/null'"},
      {"no VISA at all", "libm.so.6", "'libm.so.6' lacks viOpenDefaultRM"},
      {"one operation missing", ZR48_PARTIAL_VISA_FILE, "lacks viVScanf"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const VisaLibraryVariable variable(c.path);
    ViSession vi = 42;
    std::string resource = Resource();
    EXPECT_EQ(ZR48_InitWithOptions(resource.data(), VI_FALSE, VI_FALSE, "", &vi),
              VI_ERROR_SYSTEM_ERROR);
    EXPECT_EQ(vi, VI_NULL);
    const Reason reason = ThreadError();
    EXPECT_EQ(reason.code, VI_ERROR_SYSTEM_ERROR);
    EXPECT_NE(reason.text.find(c.said), std::string::npos) << reason.text;
  }
  EXPECT_EQ(Sent(), "");  // no library, no connection
}

TEST_F(ForeignVisaTest, SimulatedSessionNeedsNoLibrary) {
  const VisaLibraryVariable variable("/nonexistent/libvisa.so");
  OpenSimulated();
  EXPECT_EQ(ZR48_WriteCmd(vi_, "*CLS"), VI_SUCCESS);
  EXPECT_EQ(Sent(), "");
}

TEST_F(ForeignVisaTest, IoGoesThroughTheLibraryNamed) {
  if (TestTransport() == "usbtmc") {
    GTEST_SKIP() << "the fake USB device files serve this process's I/O layer, not the loaded one";
  }
  const VisaLibraryVariable variable(ZR48_VISA_LIBRARY_FILE);
  OpenReal();
  // The I/O session is the loaded library's: the I/O layer linked here has never seen it.
  EXPECT_EQ(viSetAttribute(Ivi_IOSession(vi_), VI_ATTR_TMO_VALUE, 200), VI_ERROR_INV_OBJECT);
  std::array<ViChar, 512> reply{};
  ASSERT_EQ(ZR48_ReadCmd(vi_, "*IDN?", reply.data()), VI_SUCCESS);
  EXPECT_EQ(std::string(reply.data()).rfind("Velharn, HLV3907,", 0), 0U) << reply.data();
  EXPECT_EQ(ZR48_WriteInstrData(vi_, "*CLS\n"), VI_SUCCESS);
  ASSERT_EQ(ZR48_ReadCmd(vi_, "*OPC?", reply.data()), VI_SUCCESS);  // all received by now
  EXPECT_EQ(Sent(), "*IDN?\n*CLS\n*OPC?\n");
}

TEST_F(ForeignVisaTest, SessionsShareTheLibraryAndEachKeepsItLoaded) {
  const VisaLibraryVariable variable(ZR48_VISA_LIBRARY_FILE);
  std::string resource = sim_.resource();  // SOCKET, served beside every transport under test
  std::array<ViSession, 2> vi{};
  for (ViSession& session : vi) {
    ASSERT_EQ(ZR48_InitWithOptions(resource.data(), VI_FALSE, VI_FALSE, "", &session), VI_SUCCESS);
  }
  ASSERT_EQ(ZR48_close(vi[0]), VI_SUCCESS);
  sim_.clear_received();
  std::array<ViChar, 512> reply{};
  EXPECT_EQ(ZR48_ReadCmd(vi[1], "*OPC?", reply.data()), VI_SUCCESS);  // still loaded for it
  EXPECT_EQ(Sent(), "*OPC?\n");
  EXPECT_EQ(ZR48_close(vi[1]), VI_SUCCESS);
}

}  // namespace
}  // namespace zr48::test
