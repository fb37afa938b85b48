// The bad-input sweep: every exported function, each pointer parameter null in turn, and the
// session handle 0, a never-issued value and a closed one, in real sessions (against the
// simulator) and in simulated ones. Every case must return a defined error status, record it
// where the function records errors, write no output, send nothing and leave the session usable.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "ZR48.h"
#include "engine/ivi_engine.h"
#include "exported_functions.h"
#include "zr48sim/server.h"

namespace zr48::test {
namespace {

constexpr ViSession kNeverIssued = 0x7fff1234;
constexpr int kModes = 2;  // real and simulated sessions
constexpr int kBadHandles = 3;

enum class Mode { kReal, kSimulated };

const char* ModeName(Mode mode) {
  return mode == Mode::kReal ? "real" : "simulated";
}

std::string OptionsFor(Mode mode) {
  return mode == Mode::kReal ? "" : "Simulate=1";
}

// The primary error recorded for `vi` (the calling thread's with VI_NULL); clears it.
ViStatus RecordedError(ViSession vi) {
  ViStatus primary = VI_SUCCESS;
  ViChar text[1024] = {};
  EXPECT_GE(ZR48_GetError(vi, &primary, sizeof text, text), VI_SUCCESS);
  return primary;
}

// Cases tried per function, in both kinds of session: each pointer null, and each bad handle.
std::size_t NullCasesOf(const ExportedFunction& function) {
  return kModes * function.PointerCount();
}
std::size_t HandleCasesOf(const ExportedFunction& function) {
  return function.TakesSession() ? kModes * kBadHandles : 0;
}

class BadInputSweep : public ::testing::TestWithParam<ExportedFunction> {
 protected:
  void SetUp() override {
    for (const Mode mode : {Mode::kReal, Mode::kSimulated}) {
      Open(mode, closed_[Index(mode)]);
      ASSERT_EQ(ZR48_close(closed_[Index(mode)]), VI_SUCCESS);
      Open(mode, live_[Index(mode)]);
    }
    sim_.clear_received();
  }

  void TearDown() override {
    for (const ViSession vi : live_) {
      if (vi != VI_NULL) {
        EXPECT_EQ(ZR48_close(vi), VI_SUCCESS);
      }
    }
  }

  static std::size_t Index(Mode mode) { return mode == Mode::kReal ? 0 : 1; }

  void Open(Mode mode, ViSession& vi) {
    std::string resource = sim_.resource();
    ASSERT_EQ(
        ZR48_InitWithOptions(resource.data(), VI_FALSE, VI_FALSE, OptionsFor(mode).c_str(), &vi),
        VI_SUCCESS);
  }

  // Runs one case and checks what every failing case owes: no output written, nothing sent.
  ViStatus Run(const ExportedFunction& function, Mode mode, ViSession vi,
               std::size_t null_position) {
    (void)ZR48_ClearError(VI_NULL);
    if (vi == live_[Index(mode)]) (void)ZR48_ClearError(vi);
    sim_.clear_received();
    Arguments arguments(vi, sim_.resource(), OptionsFor(mode), function.attribute, null_position);
    const ViStatus status = function.call(arguments);

    // An initialisation that was allowed to succeed (no option string) is closed again.
    const ViSession opened = arguments.NewSession(function.PositionOf(Kind::kNewSession));
    if (status >= 0 && opened != VI_NULL) {
      EXPECT_EQ(ZR48_close(opened), VI_SUCCESS);
    }
    // A lock taken without a caller flag is given back.
    if (status >= 0 && function.PositionOf(Kind::kLockFlagClear) == null_position &&
        null_position != 0) {
      EXPECT_EQ(ZR48_UnlockSession(vi, VI_NULL), VI_SUCCESS);
    }
    if (status < 0) {
      EXPECT_TRUE(arguments.OutputsUntouched()) << "an output was written";
      if (function.PositionOf(Kind::kNewSession) != 0) {
        EXPECT_EQ(arguments.NewSession(function.PositionOf(Kind::kNewSession)), VI_NULL);
      }
    }
    return status;
  }

  zr48::sim::Server sim_;
  std::array<ViSession, 2> live_{};
  std::array<ViSession, 2> closed_{};
};

TEST_P(BadInputSweep, NullPointersAreRefusedAndRecorded) {
  const ExportedFunction& function = GetParam();
  for (const Mode mode : {Mode::kReal, Mode::kSimulated}) {
    const ViSession vi = live_[Index(mode)];
    for (std::size_t position = 1; position <= function.kinds.size(); ++position) {
      const Kind kind = function.kinds[position - 1];
      if (!is_pointer(kind)) continue;
      SCOPED_TRACE(std::string(ModeName(mode)) + " session, parameter " + std::to_string(position) +
                   " null");
      const ViStatus status = Run(function, mode, vi, position);
      if (null_allowed(kind)) continue;  // a defined meaning of its own; it must not crash
      EXPECT_LT(status, 0);
      // Initialisation records on the calling thread; everything else on its session.
      const ViSession recorded_on = function.TakesSession() ? vi : VI_NULL;
      EXPECT_EQ(RecordedError(recorded_on), status) << "the failure is not recorded";
      EXPECT_EQ(sim_.received(), "") << "bytes were sent for a refused call";
    }
  }
}

TEST_P(BadInputSweep, BadSessionHandlesAreRefused) {
  const ExportedFunction& function = GetParam();
  if (!function.TakesSession()) GTEST_SKIP() << "takes no session";
  for (const Mode mode : {Mode::kReal, Mode::kSimulated}) {
    for (const ViSession handle : {ViSession{VI_NULL}, kNeverIssued, closed_[Index(mode)]}) {
      SCOPED_TRACE(std::string(ModeName(mode)) + " session, handle " + std::to_string(handle));
      const ViStatus status = Run(function, mode, handle, 0);
      EXPECT_EQ(sim_.received(), "") << "bytes were sent on a bad handle";
      if (handle == VI_NULL && function.AcceptsNullSession()) {
        EXPECT_GE(status, VI_SUCCESS) << "VI_NULL names the calling thread here";
        continue;
      }
      EXPECT_EQ(status, IVI_ERROR_INVALID_SESSION_HANDLE);
    }
  }
}

// After every bad call the sessions still work.
TEST_P(BadInputSweep, SessionsStayUsable) {
  const ExportedFunction& function = GetParam();
  for (const Mode mode : {Mode::kReal, Mode::kSimulated}) {
    for (std::size_t position = 1; position <= function.kinds.size(); ++position) {
      if (is_pointer(function.kinds[position - 1]))
        (void)Run(function, mode, live_[Index(mode)], position);
    }
  }
  ViChar reply[512] = {};
  EXPECT_EQ(ZR48_ReadCmd(live_[Index(Mode::kReal)], "*IDN?", reply), VI_SUCCESS);
  EXPECT_EQ(std::string(reply).rfind("Velharn, HLV3907", 0), 0U) << reply;
  ViInt16 result = -1;
  ViChar message[256] = {};
  EXPECT_EQ(ZR48_self_test(live_[Index(Mode::kSimulated)], &result, message), VI_SUCCESS);
  EXPECT_EQ(result, 0);
}

std::string RowName(const ::testing::TestParamInfo<ExportedFunction>& info) {
  return std::string(info.param.name).substr(std::string("ZR48_").size());
}

INSTANTIATE_TEST_SUITE_P(EveryExportedFunction, BadInputSweep,
                         ::testing::ValuesIn(kExportedFunctions), RowName);

// The table names every function of the public header exactly once, and the sweep's size is
// reported: functions times inputs tried.
TEST(BadInputTable, CoversEveryFunctionOfThePublicHeader) {
  std::ifstream header(ZR48_PUBLIC_HEADER);
  ASSERT_TRUE(header) << ZR48_PUBLIC_HEADER;
  std::stringstream text;
  text << header.rdbuf();
  const std::string source = text.str();
  const std::regex prototype(R"(ZR48_API\s+ViStatus\s+(ZR48_\w+)\s*\()");
  std::set<std::string> declared;
  for (auto it = std::sregex_iterator(source.begin(), source.end(), prototype);
       it != std::sregex_iterator(); ++it) {
    declared.insert((*it)[1]);
  }
  std::set<std::string> tabled;
  std::size_t null_cases = 0;
  std::size_t handle_cases = 0;
  for (const ExportedFunction& function : kExportedFunctions) {
    EXPECT_TRUE(tabled.insert(function.name).second) << function.name << " twice";
    null_cases += NullCasesOf(function);
    handle_cases += HandleCasesOf(function);
  }
  EXPECT_EQ(tabled, declared);
  std::printf(
      "bad-input sweep: %zu functions, %zu cases: %zu null pointers and %zu bad session "
      "handles, over real and simulated sessions\n",
      tabled.size(), null_cases + handle_cases, null_cases, handle_cases);
}

}  // namespace
}  // namespace zr48::test
