// A driver session against an in-process simulated instrument on a loopback port, reached over
// the transport ZR48_TEST_TRANSPORT names: socket (the default), vxi11, hislip, serial (a
// pseudo-terminal), usbtmc (the stand-in for the kernel's usbtmc driver, serving the
// simulator's USBTMC function) or gpib (the stand-in bus library, see gpib_standin/). CMake
// registers every driver suite once per transport, so each suite runs unchanged over all of them.
#ifndef ZR48_TESTS_DRIVER_SIM_SESSION_H
#define ZR48_TESTS_DRIVER_SIM_SESSION_H

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "ZR48.h"
#include "engine/session_visa.h"
#include "fake_usbtmc.h"
#ifndef VI_ERROR_NLISTENERS
#define VI_ERROR_NLISTENERS (_VI_ERROR + 0x3FFF005FL)
#endif
#include "gpib_standin/sim_on_bus.h"
#include "scoped_environment.h"
#include "loopback_address.h"
#include "visa/visa.h"
#include "zr48sim/server.h"

namespace zr48::test {

inline std::string TestTransport() {
  const char* name = std::getenv("ZR48_TEST_TRANSPORT");
  return name != nullptr ? name : "socket";
}

// SOCKET alone on 127.0.0.1 as ever; VXI-11 (portmapper on 111) on an address of the test's own;
// HiSLIP on a free port (its resource name carries it).
inline sim::ServerOptions SimOptions() {
  const std::string transport = TestTransport();
  sim::ServerOptions options;
  if (transport == "socket" || transport == "gpib") return options;
  if (transport == "serial") {  // SOCKET stays for tests that name its resource themselves
    options.serial = true;
    return options;
  }
  if (transport == "usbtmc") return options;  // the USBTMC function is in process
  options.bind_address = LoopbackAddressForThisTest(15, transport);
  options.vxi11 = options.portmapper = transport == "vxi11";
  options.hislip = transport == "hislip";
  options.hislip_port = 0;
  return options;
}

// Whether each open is a connection of its own at the instrument. A serial line has none: its
// session runs from its first byte to a hang-up; a GPIB device's bus session is there from the
// start.
inline bool OpensConnections() {
  return TestTransport() != "serial" && TestTransport() != "gpib";
}

// What a call reports once the instrument has gone away: the connection is lost, or on GPIB
// nobody listens at its address any more (VISA's status for a device off the bus).
inline ViStatus LinkLost() {
  return TestTransport() == "gpib" ? VI_ERROR_NLISTENERS : VI_ERROR_CONN_LOST;
}

// The simulator's address on the stand-in GPIB bus.
inline constexpr int kGpibAddress = 7;

// Sets a driver session's I/O time-out through the VISA library its I/O goes through (the I/O
// layer's own, or the one ZR48_VISA_LIBRARY names).
inline ViStatus SetIoTimeout(ViSession vi, ViUInt32 milliseconds) {
  return engine::session_visa_calls(vi).set_attribute(Ivi_IOSession(vi), VI_ATTR_TMO_VALUE,
                                                      milliseconds);
}

// Starts a simulator, opens a session with it (or a simulated session), closes it at the end.
class SimSessionTest : public ::testing::Test {
 protected:
  // Opens a real session against the simulator; received bytes are cleared afterwards so that a
  // test sees only what its own calls send.
  ViSession OpenReal(const std::string& options = "", bool id_query = false, bool reset = false) {
    std::string resource = Resource();
    ViStatus status = ZR48_InitWithOptions(resource.data(), id_query ? VI_TRUE : VI_FALSE,
                                           reset ? VI_TRUE : VI_FALSE, options.c_str(), &vi_);
    EXPECT_EQ(status, VI_SUCCESS);
    sim_.clear_received();
    return vi_;
  }

  ViSession OpenSimulated(const std::string& extra_options = "") {
    std::string resource = Resource();
    std::string options = "Simulate=1" + (extra_options.empty() ? "" : ", " + extra_options);
    EXPECT_EQ(ZR48_InitWithOptions(resource.data(), VI_FALSE, VI_FALSE, options.c_str(), &vi_),
              VI_SUCCESS);
    return vi_;
  }

  void TearDown() override {
    if (vi_ != VI_NULL) ZR48_close(vi_);
  }

  std::string Sent() const { return sim_.received(); }

  // The resource name of the instrument over the transport under test.
  std::string Resource() const {
    const std::string transport = TestTransport();
    if (transport == "vxi11") return sim_.vxi11_resource();
    if (transport == "hislip") return sim_.hislip_resource();
    if (transport == "serial") return sim_.serial_resource();
    if (transport == "usbtmc") return (*usbtmc_)->resource();
    if (transport == "gpib") return "GPIB0::" + std::to_string(kGpibAddress) + "::INSTR";
    return sim_.resource();
  }

  zr48::sim::Server sim_{SimOptions()};
  // The device files and tree the USBTMC transport opens, for the usbtmc runs.
  std::optional<InstalledFakeUsbtmc> usbtmc_ =
      TestTransport() == "usbtmc"
          ? std::make_optional<InstalledFakeUsbtmc>(UsbtmcTreeForThisTest(), FakeUsbtmcDevice{},
                                                    [this] { return sim_.usbtmc_link(); })
          : std::nullopt;
  std::unique_ptr<SimOnBus> bus_ =
      TestTransport() == "gpib" ? std::make_unique<SimOnBus>(sim_, 0, kGpibAddress) : nullptr;
  ViSession vi_ = VI_NULL;
};

}  // namespace zr48::test

#endif  // ZR48_TESTS_DRIVER_SIM_SESSION_H
