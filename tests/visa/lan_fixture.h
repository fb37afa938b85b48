// A simulated instrument serving SOCKET, VXI-11 (its portmapper on 111) and HiSLIP on a
// loopback address of its own, and a session opened on it through one of the three (or through a
// device attached to it, the USBTMC stand-in), the resource form being the test parameter.
#ifndef ZR48_TESTS_VISA_LAN_FIXTURE_H
#define ZR48_TESTS_VISA_LAN_FIXTURE_H

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>

#include "loopback_address.h"
#include "session_io.h"
#include "visa/visa.h"
#include "visa/wire/xdr.h"
#include "zr48sim/server.h"

namespace zr48::visa::testing {

// XDR words as the device sees them in a VXI-11 call's arguments.
inline std::string words(std::initializer_list<std::uint32_t> values) {
  std::string out;
  for (const std::uint32_t value : values) {
    std::uint8_t word[4];
    wire::put_u32(word, value);
    out.append(reinterpret_cast<const char*>(word), 4);
  }
  return out;
}

struct LanForm {
  const char* name;
  std::string (*resource)(const sim::Server& server);
  bool instrument;  // INSTR: END on every message, optional operations served
  // A device between the session and the server, held for the test (the USBTMC stand-in, whose
  // resource name it serves); none for the LAN forms.
  std::shared_ptr<void> (*attach)(sim::Server& server) = nullptr;
};

inline const LanForm kSocketForm{"socket", [](const sim::Server& s) { return s.resource(); },
                                 false};
inline const LanForm kVxi11Form{"vxi11", [](const sim::Server& s) { return s.vxi11_resource(); },
                                true};
inline const LanForm kHislipForm{"hislip", [](const sim::Server& s) { return s.hislip_resource(); },
                                 true};

inline std::string lan_form_name(const ::testing::TestParamInfo<LanForm>& info) {
  return info.param.name;
}

inline std::string address_for_this_test() {
  return zr48::test::LoopbackAddressForThisTest(14);
}

class LanSession : public ::testing::TestWithParam<LanForm> {
 protected:
  void SetUp() override {
    auto options = sim::ServerOptions::all(address_for_this_test());
    options.vxi11_max_recv_size = 1024;  // so that long writes are split
    tune(options);
    server_ = std::make_unique<sim::Server>(options);
    if (GetParam().resource == kVxi11Form.resource && !server_->portmapper_error().empty()) {
      GTEST_SKIP() << "portmapper port 111 cannot be bound: " << server_->portmapper_error();
    }
    if (GetParam().attach != nullptr) attached_ = GetParam().attach(*server_);
    ASSERT_EQ(viOpenDefaultRM(&rm_), VI_SUCCESS);
    resource_ = GetParam().resource(*server_);
    ASSERT_EQ(viOpen(rm_, resource_.c_str(), VI_NO_LOCK, 2000, &vi_), VI_SUCCESS) << resource_;
    ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_TMO_VALUE, 1000), VI_SUCCESS);
  }
  void TearDown() override {
    if (rm_ != VI_NULL) viClose(rm_);
  }
  virtual void tune(sim::ServerOptions& /*options*/) {}

  ViStatus write(std::string_view text) { return write_text(vi_, text); }
  std::string read(ViStatus& status, ViUInt32 count = 512) { return read_text(vi_, status, count); }

  std::unique_ptr<sim::Server> server_;
  std::shared_ptr<void> attached_;
  std::string resource_;
  ViSession rm_ = VI_NULL;
  ViSession vi_ = VI_NULL;
};

}  // namespace zr48::visa::testing

#endif
