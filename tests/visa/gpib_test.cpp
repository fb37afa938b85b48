// GPIB sessions through the stand-in libgpib.so.0 (tests/gpib_standin), which serves a
// simulator on an in-process bus session: the bytes it received, the EOI and time-out the
// controller set, the bus faults and the statuses they become, remote/local, the listener search,
// and the refusal when no library is there.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "gpib_standin/sim_on_bus.h"
#include "scoped_environment.h"
#include "session_io.h"
#include "visa/deadline.h"
#include "visa/find.h"
#include "visa/resource_name.h"
#include "visa/transport_table.h"
#include "visa/transports/gpib/gpib.h"
#include "visa/transports/gpib/gpib_library.h"
#include "visa/visa.h"
#include "zr48sim/instrument.h"
#include "zr48sim/server.h"

namespace zr48::visa {
namespace {

TEST(GpibLibrary, TimeOutsTakeTheShortestTValueNotShorter) {
  const struct {
    int timeout_ms;
    int t_value;
  } kRows[] = {
      {-1, 0},           // for ever: TNONE
      {0, 1},            // no wait: T10us
      {1, 5},            // T1ms
      {2, 6},            // T3ms
      {100, 9},          // T100ms
      {101, 10},         // T300ms
      {2000, 12},        // T3s
      {10000, 13},       // T10s
      {1000000, 17},     // T1000s
      {2000000000, 17},  // beyond the longest: T1000s
  };
  for (const auto& row : kRows) {
    EXPECT_EQ(gpib::t_value(row.timeout_ms), row.t_value) << row.timeout_ms;
  }
}

TEST(GpibLibrary, FailuresBecomeVisaStatuses) {
  const struct {
    int ibsta;
    int iberr;
    ViStatus status;
  } kRows[] = {
      {gpib::kErr | gpib::kTimo, gpib::kEabo, VI_ERROR_TMO},
      {gpib::kErr, gpib::kEabo, VI_ERROR_TMO},
      {gpib::kErr, gpib::kEnol, VI_ERROR_NLISTENERS},
      {gpib::kErr, gpib::kEcic, VI_ERROR_NCIC},
      {gpib::kErr, gpib::kEsac, VI_ERROR_NSYS_CNTLR},
      {gpib::kErr, gpib::kEcap, VI_ERROR_NSUP_OPER},
      {gpib::kErr, gpib::kEdvr, VI_ERROR_SYSTEM_ERROR},
      {gpib::kErr, gpib::kEneb, VI_ERROR_SYSTEM_ERROR},
      {gpib::kErr, gpib::kEbus, VI_ERROR_IO},
      {gpib::kErr, gpib::kEarg, VI_ERROR_IO},
  };
  for (const auto& row : kRows) {
    EXPECT_EQ(gpib::status_from(row.ibsta, row.iberr), row.status) << row.iberr;
  }
}

TEST(GpibNames, AddressesOutOfRangeAreMalformed) {
  const struct {
    const char* name;
    ViStatus accepted;
    unsigned board, primary, secondary;
  } kRows[] = {
      {"GPIB::5::INSTR", VI_SUCCESS, 0, 5, VI_NO_SEC_ADDR},
      {"GPIB1::30::INSTR", VI_SUCCESS, 1, 30, VI_NO_SEC_ADDR},
      {"GPIB0::5::2::INSTR", VI_SUCCESS, 0, 5, 2},
      {"GPIB0::31::INSTR", VI_ERROR_INV_RSRC_NAME, 0, 0, 0},
      {"GPIB0::5::31::INSTR", VI_ERROR_INV_RSRC_NAME, 0, 0, 0},
      {"GPIB16::5::INSTR", VI_ERROR_INV_RSRC_NAME, 0, 0, 0},
      {"GPIB0::INTFC", VI_ERROR_RSRC_NFOUND, 0, 0, 0},
  };
  for (const auto& row : kRows) {
    ResourceName name;
    ASSERT_EQ(parse_resource_name(row.name, name), VI_SUCCESS) << row.name;
    EXPECT_EQ(accepts_gpib(name), row.accepted) << row.name;
    GpibAddress address;
    if (row.accepted != VI_SUCCESS || !gpib_address(name, address)) continue;
    EXPECT_EQ(address.board, row.board);
    EXPECT_EQ(address.primary, row.primary);
    EXPECT_EQ(address.secondary, row.secondary);
  }
}

constexpr int kPad = 5;

class GpibSession : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!bus_.ready()) GTEST_SKIP() << "the stand-in GPIB library did not load";
    ASSERT_EQ(viOpenDefaultRM(&rm_), VI_SUCCESS);
  }
  void TearDown() override {
    if (vi_ != VI_NULL) viClose(vi_);
    if (rm_ != VI_NULL) viClose(rm_);
  }
  ViStatus Open(const char* name = "GPIB0::5::INSTR") {
    return viOpen(rm_, name, VI_NO_LOCK, 2000, &vi_);
  }
  ViStatus Write(const std::string& text) { return testing::write_text(vi_, text); }
  std::string Read(ViStatus& status) { return testing::read_text(vi_, status, 256); }

  sim::Server server_;
  test::SimOnBus bus_{server_, 0, kPad};
  ViSession rm_ = VI_NULL;
  ViSession vi_ = VI_NULL;
};

TEST_F(GpibSession, AQueryGoesOutWithEoiAndItsReplyEndsAtEoi) {
  ASSERT_EQ(Open(), VI_SUCCESS);
  ASSERT_EQ(Write("*IDN?\n"), VI_SUCCESS);
  EXPECT_EQ(server_.received(), "*IDN?\n");
  EXPECT_EQ(bus_.state(0, kPad).eot, 1);
  ViStatus status = VI_SUCCESS;
  EXPECT_EQ(Read(status), std::string(sim::Instrument::kDefaultIdn) + "\n");
  EXPECT_EQ(status, VI_SUCCESS);  // END, not the count or the termination character

  // Without END on writes, the last byte goes without EOI.
  ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_SEND_END_EN, VI_FALSE), VI_SUCCESS);
  ASSERT_EQ(Write("VOLT 1"), VI_SUCCESS);
  EXPECT_EQ(bus_.state(0, kPad).eot, 0);
  EXPECT_EQ(server_.received(), "*IDN?\nVOLT 1");

  ViUInt16 primary = 0;
  EXPECT_EQ(viGetAttribute(vi_, VI_ATTR_GPIB_PRIMARY_ADDR, &primary), VI_SUCCESS);
  EXPECT_EQ(primary, kPad);
}

TEST_F(GpibSession, TheSessionTimeOutBecomesTheNearestTValueNotShorter) {
  ASSERT_EQ(Open(), VI_SUCCESS);
  ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_TMO_VALUE, 250), VI_SUCCESS);
  ASSERT_EQ(Write("*OPC?\n"), VI_SUCCESS);
  EXPECT_EQ(bus_.state(0, kPad).timeout, 10);  // T300ms
  ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_TMO_VALUE, VI_TMO_INFINITE), VI_SUCCESS);
  ViStatus status = VI_SUCCESS;
  EXPECT_EQ(Read(status), "1\n");
  EXPECT_EQ(bus_.state(0, kPad).timeout, 0);  // TNONE
}

TEST_F(GpibSession, BusMessagesReachTheInstrument) {
  ASSERT_EQ(Open(), VI_SUCCESS);
  ASSERT_EQ(Write("*SRE 16;*OPC?\n"), VI_SUCCESS);
  ViUInt16 status_byte = 0;
  ASSERT_EQ(viReadSTB(vi_, &status_byte), VI_SUCCESS);
  EXPECT_EQ(status_byte & 0x10, 0x10);  // MAV: the reply waits
  ASSERT_EQ(viClear(vi_), VI_SUCCESS);
  ASSERT_EQ(viReadSTB(vi_, &status_byte), VI_SUCCESS);
  EXPECT_EQ(status_byte & 0x10, 0);  // the clear dropped it
  EXPECT_EQ(viAssertTrigger(vi_, VI_TRIG_PROT_DEFAULT), VI_SUCCESS);
  EXPECT_EQ(server_.received(), "*SRE 16;*OPC?\n");  // bus messages are not data bytes
}

TEST_F(GpibSession, ASecondaryAddressIsItsOwnDevice) {
  sim::Server other;
  test::SimOnBus at_secondary(other, 0, kPad, 0x62);
  ASSERT_EQ(Open("GPIB0::5::2::INSTR"), VI_SUCCESS);
  ASSERT_EQ(Write("*CLS\n"), VI_SUCCESS);
  EXPECT_EQ(other.received(), "*CLS\n");
  EXPECT_EQ(server_.received(), "");
}

// Bus faults: each as the stand-in produces it, and the status the session reports.
TEST_F(GpibSession, BusFaultsBecomeVisaStatuses) {
  const struct {
    const char* name;
    int fault;
    ViStatus open, write, read;
  } kRows[] = {
      {"no fault", ZR48_GPIB_STANDIN_NO_FAULT, VI_SUCCESS, VI_SUCCESS, VI_SUCCESS},
      {"time-out", ZR48_GPIB_STANDIN_TIMEOUT, VI_SUCCESS, VI_ERROR_TMO, VI_ERROR_TMO},
      {"no listener", ZR48_GPIB_STANDIN_NO_LISTENER, VI_SUCCESS, VI_ERROR_NLISTENERS, VI_ERROR_TMO},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.name);
    ASSERT_EQ(Open(), row.open);
    bus_.set_fault(row.fault);
    EXPECT_EQ(Write("*OPC?\n"), row.write);
    ViStatus status = VI_SUCCESS;
    Read(status);
    EXPECT_EQ(status, row.read);
    bus_.set_fault(ZR48_GPIB_STANDIN_NO_FAULT);
    viClose(vi_);
    vi_ = VI_NULL;
  }
  // Opening needs a board and somebody listening at the address.
  EXPECT_EQ(Open("GPIB0::9::INSTR"), VI_ERROR_RSRC_NFOUND);
  bus_.set_fault(ZR48_GPIB_STANDIN_NO_BOARD);
  EXPECT_EQ(Open(), VI_ERROR_RSRC_NFOUND);
  bus_.set_fault(ZR48_GPIB_STANDIN_NO_LISTENER);
  EXPECT_EQ(Open(), VI_ERROR_RSRC_NFOUND);
  vi_ = VI_NULL;
}

TEST_F(GpibSession, ASlowReplyTimesOutAndComesWithTheNextRead) {
  ASSERT_EQ(Open(), VI_SUCCESS);
  ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_TMO_VALUE, 1), VI_SUCCESS);
  server_.set_reply_delay(std::chrono::milliseconds(300));
  ASSERT_EQ(Write("*OPC?\n"), VI_SUCCESS);
  ViStatus status = VI_SUCCESS;
  EXPECT_EQ(Read(status), "");
  EXPECT_EQ(status, VI_ERROR_TMO);
  ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_TMO_VALUE, VI_TMO_INFINITE), VI_SUCCESS);
  EXPECT_EQ(Read(status), "1\n");
  EXPECT_EQ(status, VI_SUCCESS);
}

// Remote/local: each of viGpibControlREN's modes through the transport, and the device's state.
TEST_F(GpibSession, RemoteAndLocalFollowTheRenModes) {
  ResourceName name;
  ASSERT_EQ(parse_resource_name("GPIB0::5::INSTR", name), VI_SUCCESS);
  ViStatus status = VI_SUCCESS;
  const TransportRow* row = find_transport(name, status);
  ASSERT_NE(row, nullptr);
  std::unique_ptr<Transport> transport;
  ASSERT_EQ(row->open(OpenRequest{name, Deadline::after_ms(2000), 2000}, transport), VI_SUCCESS);
  const Deadline deadline = Deadline::after_ms(2000);
  const struct {
    ViUInt16 mode;
    ViStatus status;
    int remote, lockout;
  } kRows[] = {
      {VI_GPIB_REN_ASSERT_ADDRESS, VI_SUCCESS, 1, 0},
      {VI_GPIB_REN_ADDRESS_GTL, VI_SUCCESS, 0, 0},
      {VI_GPIB_REN_ASSERT_ADDRESS_LLO, VI_SUCCESS, 1, 1},
      {VI_GPIB_REN_DEASSERT_GTL, VI_SUCCESS, 0, 0},
      {VI_GPIB_REN_ASSERT_LLO, VI_SUCCESS, 0, 1},
      {VI_GPIB_REN_DEASSERT, VI_SUCCESS, 0, 0},
      {VI_GPIB_REN_ASSERT, VI_SUCCESS, 0, 0},
      {99, VI_ERROR_INV_MODE, 0, 0},
  };
  for (const auto& r : kRows) {
    EXPECT_EQ(transport->control_ren(r.mode, deadline), r.status) << r.mode;
    EXPECT_EQ(bus_.state(0, kPad).remote, r.remote) << r.mode;
    EXPECT_EQ(bus_.state(0, kPad).lockout, r.lockout) << r.mode;
  }
  // With REN asserted, the next time it is addressed the device goes remote.
  std::size_t sent = 0;
  const std::string text = "*CLS\n";
  EXPECT_EQ(transport->send(reinterpret_cast<const ViByte*>(text.data()), text.size(), true,
                            deadline, sent),
            VI_SUCCESS);
  EXPECT_EQ(bus_.state(0, kPad).remote, 1);
  transport->shutdown();
  EXPECT_EQ(bus_.state(0, kPad).open, 0);
}

TEST_F(GpibSession, FindListsTheListenersOnTheBus) {
  sim::Server other;
  test::SimOnBus at_secondary(other, 1, 12, 0x63);
  EXPECT_EQ(find_gpib_listeners(),
            (std::vector<std::string>{"GPIB0::5::INSTR", "GPIB1::12::3::INSTR"}));
  FindSettings settings;
  settings.dev_root = settings.sys_root = "/nonexistent";
  std::vector<std::string> found;
  ASSERT_EQ(find_resources("GPIB1::?*INSTR", settings, found), VI_SUCCESS);
  EXPECT_EQ(found, (std::vector<std::string>{"GPIB1::12::3::INSTR"}));
  bus_.set_fault(ZR48_GPIB_STANDIN_NO_BOARD);
  EXPECT_TRUE(find_gpib_listeners().empty());
}

// Without linux-gpib: the name is well formed, the open is refused and the trace says why.
TEST(GpibWithoutLibrary, OpenIsRefusedSayingTheLibraryIsMissing) {
  const std::string trace = ::testing::TempDir() + "zr48-gpib-trace-" + std::to_string(::getpid());
  std::optional<test::EnvironmentVariable> tracing(std::in_place, "ZR48_VISA_TRACE", trace);
  std::optional<test::EnvironmentVariable> library(std::in_place, "ZR48_GPIB_LIBRARY",
                                                   "/nonexistent/libgpib.so.0");
  std::string why;
  if (gpib::load_library(why) != nullptr) GTEST_SKIP() << "a GPIB library is loaded already";
  EXPECT_NE(why.find("GPIB library"), std::string::npos) << why;
  ViSession rm = VI_NULL;
  ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
  ViSession vi = VI_NULL;
  EXPECT_EQ(viOpen(rm, "GPIB0::5::INSTR", VI_NO_LOCK, 0, &vi), VI_ERROR_RSRC_NFOUND);
  EXPECT_TRUE(find_gpib_listeners().empty());
  viClose(rm);
  library.reset();
  tracing.reset();
  std::ifstream in(trace);
  std::stringstream text;
  text << in.rdbuf();
  std::remove(trace.c_str());
  if (text.str().empty()) GTEST_SKIP() << "the trace was set up before this test";
  EXPECT_NE(text.str().find("GPIB0::5::INSTR: the GPIB library (linux-gpib's"), std::string::npos)
      << text.str();
}

}  // namespace
}  // namespace zr48::visa
