// A driver session against an in-process simulated instrument on a loopback port.
#ifndef ZR48_TESTS_DRIVER_SIM_SESSION_H
#define ZR48_TESTS_DRIVER_SIM_SESSION_H

#include <gtest/gtest.h>

#include <string>

#include "ZR48.h"
#include "zr48sim/server.h"

namespace zr48::test {

// Starts a simulator, opens a session with it (or a simulated session), closes it at the end.
class SimSessionTest : public ::testing::Test {
 protected:
  // Opens a real session against the simulator; received bytes are cleared afterwards so that a
  // test sees only what its own calls send.
  ViSession OpenReal(const std::string& options = "", bool id_query = false, bool reset = false) {
    std::string resource = sim_.resource();
    ViStatus status = ZR48_InitWithOptions(resource.data(), id_query ? VI_TRUE : VI_FALSE,
                                           reset ? VI_TRUE : VI_FALSE, options.c_str(), &vi_);
    EXPECT_EQ(status, VI_SUCCESS);
    sim_.clear_received();
    return vi_;
  }

  ViSession OpenSimulated(const std::string& extra_options = "") {
    std::string resource = sim_.resource();
    std::string options = "Simulate=1" + (extra_options.empty() ? "" : ", " + extra_options);
    EXPECT_EQ(ZR48_InitWithOptions(resource.data(), VI_FALSE, VI_FALSE, options.c_str(), &vi_),
              VI_SUCCESS);
    return vi_;
  }

  void TearDown() override {
    if (vi_ != VI_NULL) ZR48_close(vi_);
  }

  std::string Sent() const { return sim_.received(); }

  zr48::sim::Server sim_;
  ViSession vi_ = VI_NULL;
};

}  // namespace zr48::test

#endif  // ZR48_TESTS_DRIVER_SIM_SESSION_H
