// USBTMC sessions through the stand-in for the kernel's usbtmc driver, serving the simulator's
// USBTMC function: the resource name to the device node, the bus traffic of each operation
// (asserted byte for byte), an older driver revision without the newer ioctls, service requests
// from the interrupt endpoint, and one row per fault with what the session reports and whether it
// is usable afterwards.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "fake_usbtmc.h"
#include "visa/resource_name.h"
#include "visa/trace.h"
#include "visa/transport_table.h"
#include "visa/transports/usbtmc/sysfs.h"
#include "visa/transports/usbtmc/usbtmc.h"
#include "visa/visa.h"
#include "zr48sim/instrument.h"
#include "zr48sim/server.h"

namespace zr48::visa {
namespace {

using test::FakeUsbtmcDevice;
using test::InstalledFakeUsbtmc;

TEST(UsbtmcNames, ResourceNamesPickTheirInterface) {
  const std::vector<usbtmc::Interface> interfaces = {
      {"usbtmc0", 0x1234, 0x5678, "SN123", 1},
      {"usbtmc1", 0x1234, 0x5678, "SN123", 0},
      {"usbtmc2", 0x0957, 0x1A07, "MY5", 0},
  };
  const struct {
    const char* name;
    const char* node;  // nullptr: none
  } kRows[] = {
      {"USB0::0x1234::0x5678::SN123::INSTR", "usbtmc1"},  // the lowest interface
      {"USB::0x1234::0x5678::SN123::1::INSTR", "usbtmc0"},
      {"USB0::4660::22136::SN123::INSTR", "usbtmc1"},  // decimal ids
      {"usb0::0X1234::0x5678::sn123", "usbtmc1"},      // case
      {"USB0::0x0957::0x1a07::MY5::INSTR", "usbtmc2"},
      {"USB0::0x1234::0x5678::SN124::INSTR", nullptr},
      {"USB0::0x1234::0x5679::SN123::INSTR", nullptr},
      {"USB0::0x1234::0x5678::SN123::2::INSTR", nullptr},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.name);
    ResourceName name;
    ASSERT_EQ(parse_resource_name(row.name, name), VI_SUCCESS);
    usbtmc::Address address;
    ASSERT_TRUE(usbtmc::parse_address(name, address));
    const usbtmc::Interface* found = usbtmc::find_interface(interfaces, address);
    EXPECT_EQ(found == nullptr ? std::string("none") : found->node,
              row.node == nullptr ? std::string("none") : std::string(row.node));
  }
  ResourceName raw;
  ASSERT_EQ(parse_resource_name("USB0::0x1234::0x5678::SN123::RAW", raw), VI_SUCCESS);
  EXPECT_EQ(accepts_usbtmc(raw), VI_ERROR_RSRC_NFOUND);  // USB RAW is not this row's
  ResourceName wide;
  ASSERT_EQ(parse_resource_name("USB0::0x1234::0x5678::SN123::256::INSTR", wide), VI_SUCCESS);
  EXPECT_EQ(accepts_usbtmc(wide), VI_ERROR_INV_RSRC_NAME);
}

// The 12-byte bulk header the driver puts before each transfer.
std::string header(int id, int tag, unsigned size, int attributes, int term_char = 0) {
  return {static_cast<char>(id),
          static_cast<char>(tag),
          static_cast<char>(~tag),
          0,
          static_cast<char>(size & 0xFF),
          static_cast<char>((size >> 8) & 0xFF),
          static_cast<char>((size >> 16) & 0xFF),
          static_cast<char>((size >> 24) & 0xFF),
          static_cast<char>(attributes),
          static_cast<char>(term_char),
          0,
          0};
}

class UsbtmcSession : public ::testing::Test {
 protected:
  void Open(FakeUsbtmcDevice device = {}) {
    if (rm_ != VI_NULL) viClose(rm_);  // a test opening another device: the last one's session
    fake_.emplace(test::UsbtmcTreeForThisTest(), std::move(device),
                  [this] { return server_.usbtmc_link(); });
    ASSERT_EQ(viOpenDefaultRM(&rm_), VI_SUCCESS);
    ASSERT_EQ(viOpen(rm_, (*fake_)->resource().c_str(), VI_NO_LOCK, 2000, &vi_), VI_SUCCESS);
    ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_TMO_VALUE, 300), VI_SUCCESS);
    (*fake_)->clear_traffic();
  }
  void TearDown() override {
    if (rm_ != VI_NULL) viClose(rm_);
  }
  ViStatus write(std::string_view text) {
    ViUInt32 count = 0;
    return viWrite(vi_, reinterpret_cast<ViConstBuf>(text.data()),
                   static_cast<ViUInt32>(text.size()), &count);
  }
  std::string read(ViStatus& status, ViUInt32 count = 256) {
    std::string bytes(count, '\0');
    ViUInt32 got = 0;
    status = viRead(vi_, reinterpret_cast<ViPBuf>(bytes.data()), count, &got);
    bytes.resize(got);
    return bytes;
  }
  std::vector<std::string> traffic() const { return (*fake_)->traffic(); }
  // Switches the I/O trace to a file of this test's; "" when the process traces already or not
  // at all (the choice is made once).
  std::string TraceToFile() {
    trace_ = ::testing::TempDir() + "zr48-usbtmc-trace-" + std::to_string(::getpid());
    ::setenv("ZR48_VISA_TRACE", trace_.c_str(), 1);
    return trace_;
  }
  std::string Traced() const {
    if (trace_.empty() || !trace::enabled()) return "";
    std::ifstream in(trace_);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  ~UsbtmcSession() override {
    if (trace_.empty()) return;
    ::unsetenv("ZR48_VISA_TRACE");
    std::remove(trace_.c_str());
  }

  sim::Server server_;
  std::optional<InstalledFakeUsbtmc> fake_;
  ViSession rm_ = VI_NULL;
  ViSession vi_ = VI_NULL;
  std::string trace_;
};

TEST_F(UsbtmcSession, AQueryOnTheBus) {
  Open();
  ASSERT_EQ(write("*IDN?\n"), VI_SUCCESS);
  ViStatus status = VI_SUCCESS;
  EXPECT_EQ(read(status), std::string(sim::Instrument::kDefaultIdn) + "\n");
  EXPECT_EQ(status, VI_SUCCESS);
  const std::vector<std::string> bus = traffic();
  ASSERT_EQ(bus.size(), 2U);
  EXPECT_EQ(bus[0], header(1, 1, 6, 1) + "*IDN?\n" + std::string(2, '\0'));
  // One request for what the session's buffer holds, no termination character.
  EXPECT_EQ(bus[1].substr(0, 4), header(2, 2, 0, 0).substr(0, 4));
  EXPECT_EQ(bus[1].substr(8), std::string(4, '\0'));
  EXPECT_EQ(server_.received(), "*IDN?\n");
}

TEST_F(UsbtmcSession, EndAndTerminationReachTheHeaders) {
  Open();
  const struct {
    ViBoolean send_end;
    ViBoolean termchar_enabled;
    int write_attributes;  // EOM bit on DEV_DEP_MSG_OUT
    int read_attributes;   // TermCharEnabled bit on REQUEST_DEV_DEP_MSG_IN
    int read_term_char;
  } kRows[] = {
      {VI_TRUE, VI_FALSE, 1, 0, 0},
      {VI_TRUE, VI_TRUE, 1, 2, '\n'},
      {VI_FALSE, VI_FALSE, 0, 0, 0},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.write_attributes * 10 + row.read_attributes);
    ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_SEND_END_EN, row.send_end), VI_SUCCESS);
    ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_TERMCHAR_EN, row.termchar_enabled), VI_SUCCESS);
    (*fake_)->clear_traffic();
    ASSERT_EQ(write("*OPC?\n"), VI_SUCCESS);  // without END, its line feed ends the message
    ViStatus status = VI_SUCCESS;
    EXPECT_EQ(read(status), "1\n");
    const std::vector<std::string> bus = traffic();
    ASSERT_GE(bus.size(), 2U);
    EXPECT_EQ(static_cast<int>(bus[0][8]), row.write_attributes);
    EXPECT_EQ(static_cast<int>(bus.back()[8]), row.read_attributes);
    EXPECT_EQ(static_cast<int>(bus.back()[9]), row.read_term_char);
  }
}

TEST_F(UsbtmcSession, ShortReadsKeepTheRest) {
  Open();
  ASSERT_EQ(write("*IDN?\n"), VI_SUCCESS);
  ViStatus status = VI_SUCCESS;
  // The session asks for its buffer's size; the caller takes five bytes, then the rest.
  EXPECT_EQ(read(status, 5), "Velha");
  EXPECT_EQ(status, VI_SUCCESS_MAX_CNT);
  EXPECT_EQ(read(status), std::string(sim::Instrument::kDefaultIdn).substr(5) + "\n");
  EXPECT_EQ(status, VI_SUCCESS);
}

TEST_F(UsbtmcSession, InstrumentOperationsAreUsb488Requests) {
  Open();
  ASSERT_EQ(write("*ESE 1;*OPC\n"), VI_SUCCESS);
  ViUInt16 stb = 0;
  ASSERT_EQ(viReadSTB(vi_, &stb), VI_SUCCESS);
  EXPECT_EQ(stb, 0x20);  // ESB
  ASSERT_EQ(viAssertTrigger(vi_, VI_TRIG_PROT_DEFAULT), VI_SUCCESS);
  ASSERT_EQ(viClear(vi_), VI_SUCCESS);
  const std::vector<std::string> bus = traffic();
  ASSERT_EQ(bus.size(), 4U);
  EXPECT_EQ(bus[1], "READ_STATUS_BYTE");
  EXPECT_EQ(bus[2], header(128, 2, 0, 0));
  EXPECT_EQ(bus[3], "INITIATE_CLEAR");
  EXPECT_EQ(server_.received(), "*ESE 1;*OPC\n");
}

TEST_F(UsbtmcSession, AttributesOfTheDevice) {
  FakeUsbtmcDevice device;
  device.interface_number = 2;
  Open(device);
  ViUInt16 vendor = 0;
  ViUInt16 product = 0;
  ViInt16 number = -1;
  ViInt16 protocol = -1;
  ViChar serial[256] = "";
  EXPECT_EQ(viGetAttribute(vi_, kAttrManfId, &vendor), VI_SUCCESS);
  EXPECT_EQ(viGetAttribute(vi_, kAttrModelCode, &product), VI_SUCCESS);
  EXPECT_EQ(viGetAttribute(vi_, kAttrUsbIntfcNum, &number), VI_SUCCESS);
  EXPECT_EQ(viGetAttribute(vi_, kAttrUsbProtocol, &protocol), VI_SUCCESS);
  EXPECT_EQ(viGetAttribute(vi_, kAttrUsbSerialNum, serial), VI_SUCCESS);
  EXPECT_EQ(vendor, 0x1234);
  EXPECT_EQ(product, 0x5678);
  EXPECT_EQ(number, 2);
  EXPECT_EQ(protocol, 1);
  EXPECT_STREQ(serial, "SN123");
  EXPECT_EQ(viSetAttribute(vi_, kAttrManfId, 1), VI_ERROR_ATTR_READONLY);
}

TEST_F(UsbtmcSession, RemoteAndLocal) {
  Open();
  ResourceName name;
  ASSERT_EQ(parse_resource_name((*fake_)->resource(), name), VI_SUCCESS);
  std::unique_ptr<Transport> transport;
  ASSERT_EQ(open_usbtmc(OpenRequest{name, Deadline::after_ms(1000), 1000}, transport), VI_SUCCESS);
  const struct {
    ViUInt16 mode;
    std::vector<std::string> requests;
  } kRows[] = {
      {kRenDeassert, {"REN_CONTROL 0"}},
      {kRenAssert, {"REN_CONTROL 1"}},
      {kRenDeassertGtl, {"GOTO_LOCAL", "REN_CONTROL 0"}},
      {kRenAssertAddress, {"REN_CONTROL 1"}},
      {kRenAssertLlo, {"REN_CONTROL 1", "LOCAL_LOCKOUT"}},
      {kRenAssertAddressLlo, {"REN_CONTROL 1", "LOCAL_LOCKOUT"}},
      {kRenAddressGtl, {"GOTO_LOCAL"}},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.mode);
    (*fake_)->clear_traffic();
    EXPECT_EQ(transport->control_ren(row.mode, Deadline::after_ms(1000)), VI_SUCCESS);
    EXPECT_EQ(traffic(), row.requests);
  }
  EXPECT_NE(transport->control_ren(7, Deadline::after_ms(1000)), VI_SUCCESS);
}

TEST_F(UsbtmcSession, AnOlderDriverRevisionFallsBack) {
  FakeUsbtmcDevice device;
  device.api_version = 0;  // no time-out, EOM, TermChar, USB488 or attribute ioctls
  Open(device);
  // A long message goes in the revision's pieces, EOM on the last only.
  const std::string long_command = "SYST:ERR?" + std::string(3000, ' ') + "\n";
  ASSERT_EQ(write(long_command), VI_SUCCESS);
  ViStatus status = VI_SUCCESS;
  EXPECT_EQ(read(status), "0,\"No error\"\n");
  EXPECT_EQ(status, VI_SUCCESS);
  std::vector<std::string> bus = traffic();
  ASSERT_GE(bus.size(), 3U);
  EXPECT_EQ(bus[0].substr(0, 12), header(1, 1, 2036, 0));
  EXPECT_EQ(bus[1].substr(0, 12), header(1, 2, 3010 - 2036, 1));
  EXPECT_EQ(server_.received(), long_command);
  // Status byte and trigger as IEEE 488.2 strings; remote/local cannot be done.
  server_.clear_received();
  ViUInt16 stb = 99;
  EXPECT_EQ(viReadSTB(vi_, &stb), VI_SUCCESS);
  EXPECT_EQ(stb, 0);
  EXPECT_EQ(viAssertTrigger(vi_, VI_TRIG_PROT_DEFAULT), VI_SUCCESS);
  EXPECT_EQ(server_.received(), "*STB?\n*TRG\n");
  ResourceName name;
  ASSERT_EQ(parse_resource_name((*fake_)->resource(), name), VI_SUCCESS);
  std::unique_ptr<Transport> transport;
  ASSERT_EQ(open_usbtmc(OpenRequest{name, Deadline::after_ms(1000), 1000}, transport), VI_SUCCESS);
  EXPECT_EQ(transport->control_ren(kRenAssert, Deadline::after_ms(1000)), VI_ERROR_NSUP_OPER);
}

TEST_F(UsbtmcSession, WithoutTermCharAtTheDeviceTheSessionStopsAtIt) {
  FakeUsbtmcDevice device;
  device.termchar_capable = false;
  Open(device);
  ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_TERMCHAR, ','), VI_SUCCESS);
  ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_TERMCHAR_EN, VI_TRUE), VI_SUCCESS);
  ASSERT_EQ(write("*IDN?\n"), VI_SUCCESS);
  ViStatus status = VI_SUCCESS;
  EXPECT_EQ(read(status), "Velharn,");
  EXPECT_EQ(status, VI_SUCCESS_TERM_CHAR);
  EXPECT_EQ(traffic().back()[8], 0);  // not asked of the device
}

// Opening: the device node from sysfs, or why not.
TEST_F(UsbtmcSession, OpenFailures) {
  fake_.emplace(test::UsbtmcTreeForThisTest(), FakeUsbtmcDevice{},
                [this] { return server_.usbtmc_link(); });
  ASSERT_EQ(viOpenDefaultRM(&rm_), VI_SUCCESS);
  const struct {
    const char* name;
    void (*arrange)(test::FakeUsbtmc& fake);
    ViStatus status;
  } kRows[] = {
      {"USB0::0x1234::0x5678::OTHER::INSTR", [](test::FakeUsbtmc&) {}, VI_ERROR_RSRC_NFOUND},
      {"USB0::0x1234::0x5678::SN123::INSTR", [](test::FakeUsbtmc& fake) { fake.deny_access(true); },
       VI_ERROR_NPERMISSION},
      {"USB0::0x1234::0x5678::SN123::INSTR", [](test::FakeUsbtmc& fake) { fake.unplug(); },
       VI_ERROR_RSRC_NFOUND},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.name);
    row.arrange(**fake_);
    ViSession vi = 42;
    EXPECT_EQ(viOpen(rm_, row.name, VI_NO_LOCK, 1000, &vi), row.status);
  }
}

// viFindRsrc lists the device from sysfs, and the name it gives opens.
TEST_F(UsbtmcSession, WhatFindListsOpens) {
  FakeUsbtmcDevice device;
  device.interface_number = 1;
  Open(device);
  ViFindList list = VI_NULL;
  ViUInt32 count = 0;
  char name[VI_FIND_BUFLEN] = {};
  ASSERT_EQ(viFindRsrc(rm_, "USB?*INSTR", &list, &count, name), VI_SUCCESS);
  EXPECT_EQ(count, 1U);
  EXPECT_EQ(std::string(name), "USB0::0x1234::0x5678::SN123::1::INSTR");
  viClose(list);
  ViSession vi = VI_NULL;
  ASSERT_EQ(viOpen(rm_, name, VI_NO_LOCK, 1000, &vi), VI_SUCCESS);
  ViUInt32 n = 0;
  ASSERT_EQ(viWrite(vi, reinterpret_cast<ViConstBuf>("*OPC?\n"), 6, &n), VI_SUCCESS);
  char reply[8] = {};
  EXPECT_EQ(viRead(vi, reinterpret_cast<ViPBuf>(reply), sizeof reply, &n), VI_SUCCESS);
  EXPECT_EQ(std::string(reply, n), "1\n");
}

// A service request is the interrupt-IN notification (0x81, the status byte). The session takes
// it from the driver (GET_SRQ_STB; on the revision before, READ_STB answers it without asking
// the device) and raises the event; the next status byte shows its RQS once, as a serial poll
// would. One from before the event was enabled is no event, but its RQS shows all the same.
TEST_F(UsbtmcSession, ServiceRequestsComeFromTheInterruptEndpoint) {
  for (const int api_version : {3, 2}) {
    SCOPED_TRACE(api_version);
    FakeUsbtmcDevice device;
    device.api_version = api_version;
    Open(device);
    server_.raise_service_request();  // before enabling
    ASSERT_EQ(viEnableEvent(vi_, VI_EVENT_SERVICE_REQ, VI_QUEUE, VI_NULL), VI_SUCCESS);
    EXPECT_EQ(viWaitOnEvent(vi_, VI_EVENT_SERVICE_REQ, VI_TMO_IMMEDIATE, nullptr, nullptr),
              VI_ERROR_TMO);
    server_.raise_service_request();
    ViEventType type = 0;
    ASSERT_EQ(viWaitOnEvent(vi_, VI_EVENT_SERVICE_REQ, VI_TMO_INFINITE, &type, nullptr),
              VI_SUCCESS);
    EXPECT_EQ(type, VI_EVENT_SERVICE_REQ);
    ViUInt16 stb[2] = {99, 99};
    for (ViUInt16& byte : stb) ASSERT_EQ(viReadSTB(vi_, &byte), VI_SUCCESS);
    EXPECT_EQ(stb[0], 0x40);
    EXPECT_EQ(stb[1], 0);
    const std::string notification("\x81\x40", 2);
    EXPECT_EQ(traffic(), (std::vector<std::string>{notification, notification, "READ_STATUS_BYTE",
                                                   "READ_STATUS_BYTE"}));
  }
}

// Disabled, a request is dropped (the status byte still shows it); enabled again, the next one
// is the only event.
TEST_F(UsbtmcSession, ARequestWhileDisabledIsDropped) {
  Open();
  ASSERT_EQ(viEnableEvent(vi_, VI_EVENT_SERVICE_REQ, VI_QUEUE, VI_NULL), VI_SUCCESS);
  ASSERT_EQ(viDisableEvent(vi_, VI_EVENT_SERVICE_REQ, VI_QUEUE), VI_SUCCESS);
  server_.raise_service_request();
  ViUInt16 stb = 0;
  ASSERT_EQ(viReadSTB(vi_, &stb), VI_SUCCESS);  // the request is taken by now
  EXPECT_EQ(stb, 0x40);
  ASSERT_EQ(viEnableEvent(vi_, VI_EVENT_SERVICE_REQ, VI_QUEUE, VI_NULL), VI_SUCCESS);
  EXPECT_EQ(viWaitOnEvent(vi_, VI_EVENT_SERVICE_REQ, VI_TMO_IMMEDIATE, nullptr, nullptr),
            VI_ERROR_TMO);
  server_.raise_service_request();
  EXPECT_EQ(viWaitOnEvent(vi_, VI_EVENT_SERVICE_REQ, VI_TMO_INFINITE, nullptr, nullptr),
            VI_SUCCESS);
}

// Without an interrupt-IN endpoint, or with a driver revision that cannot wait for a request,
// the session has no service requests, as a raw socket has none; the trace says why.
TEST_F(UsbtmcSession, WithoutTheMeansThereAreNoServiceRequests) {
  TraceToFile();
  const struct {
    const char* why;  // in the trace
    void (*arrange)(FakeUsbtmcDevice& device);
  } kRows[] = {
      {"no interrupt-IN endpoint", [](FakeUsbtmcDevice& d) { d.interrupt_endpoint = false; }},
      {"no USBTMC488_IOCTL_WAIT_SRQ", [](FakeUsbtmcDevice& d) { d.api_version = 0; }},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.why);
    FakeUsbtmcDevice device;
    row.arrange(device);
    Open(device);
    EXPECT_EQ(viEnableEvent(vi_, VI_EVENT_SERVICE_REQ, VI_QUEUE, VI_NULL), VI_ERROR_INV_EVENT);
    EXPECT_EQ(viWaitOnEvent(vi_, VI_EVENT_SERVICE_REQ, 0, nullptr, nullptr), VI_ERROR_INV_EVENT);
    server_.raise_service_request();
    ViUInt16 stb = 99;
    EXPECT_EQ(viReadSTB(vi_, &stb), VI_SUCCESS);
    EXPECT_EQ(stb, 0);
    const std::string traced = Traced();
    if (!traced.empty()) {
      EXPECT_NE(traced.find(row.why), std::string::npos) << traced;
    }
  }
}

// Unplugged with service requests enabled: what watched for them ends and the trace says so,
// every later call reports the lost connection, closing does not wait; enabling them on a
// session of the unplugged device says so too.
TEST_F(UsbtmcSession, UnpluggedWhileEnabled) {
  TraceToFile();
  Open();
  ViSession other = VI_NULL;
  ASSERT_EQ(viOpen(rm_, (*fake_)->resource().c_str(), VI_NO_LOCK, 1000, &other), VI_SUCCESS);
  ASSERT_EQ(viEnableEvent(vi_, VI_EVENT_SERVICE_REQ, VI_QUEUE, VI_NULL), VI_SUCCESS);
  (*fake_)->unplug();
  ViUInt16 stb = 0;
  EXPECT_EQ(viReadSTB(vi_, &stb), VI_ERROR_CONN_LOST);
  EXPECT_EQ(viEnableEvent(other, VI_EVENT_SERVICE_REQ, VI_QUEUE, VI_NULL), VI_ERROR_CONN_LOST);
  EXPECT_EQ(viReadSTB(other, &stb), VI_ERROR_CONN_LOST);
  EXPECT_EQ(viClose(vi_), VI_SUCCESS);
  EXPECT_EQ(viClose(other), VI_SUCCESS);
  const std::string traced = Traced();
  if (!traced.empty()) {
    EXPECT_NE(traced.find("service requests end, the device is gone"), std::string::npos) << traced;
  }
}

enum class After { kUsable, kLost };

struct Fault {
  const char* name;
  void (*arrange)(test::FakeUsbtmc& fake, sim::Server& server);
  ViStatus write_status;  // of "*IDN?\n"
  ViStatus read_status;   // of the reply (not read when the write failed)
  After after;
};

const Fault kFaults[] = {
    {"unplugged", [](test::FakeUsbtmc& fake, sim::Server&) { fake.unplug(); }, VI_ERROR_CONN_LOST,
     VI_ERROR_CONN_LOST, After::kLost},
    {"unplugged on the line",
     [](test::FakeUsbtmc&, sim::Server& server) { server.close_after_lines(1); },
     VI_ERROR_CONN_LOST, VI_ERROR_CONN_LOST, After::kLost},
    {"unplugged mid-reply",
     [](test::FakeUsbtmc&, sim::Server& server) { server.close_mid_reply(16); }, VI_SUCCESS,
     VI_ERROR_CONN_LOST, After::kLost},
    {"stall", [](test::FakeUsbtmc& fake, sim::Server&) { fake.stall_next(); }, VI_ERROR_IO,
     VI_SUCCESS, After::kUsable},
    {"no reply: time-out", [](test::FakeUsbtmc&, sim::Server& server) { server.set_silent(true); },
     VI_SUCCESS, VI_ERROR_TMO, After::kUsable},
    {"bad header",
     [](test::FakeUsbtmc&, sim::Server& server) {
       server.push_wire_reply(
           std::string("\x02\x07\xf8\x00\x02\x00\x00\x00\x01\x00\x00\x00ok", 14));
     },
     VI_SUCCESS, VI_ERROR_IO, After::kUsable},
    {"header too short",
     [](test::FakeUsbtmc&, sim::Server& server) { server.push_wire_reply("\x02"); }, VI_SUCCESS,
     VI_ERROR_IO, After::kUsable},
};

class UsbtmcFaults : public UsbtmcSession, public ::testing::WithParamInterface<Fault> {};

TEST_P(UsbtmcFaults, OneQuery) {
  Open();
  GetParam().arrange(**fake_, server_);
  const ViStatus write_status = write("*IDN?\n");
  EXPECT_EQ(write_status, GetParam().write_status);
  if (write_status == VI_SUCCESS) {
    ViStatus status = VI_SUCCESS;
    read(status);
    EXPECT_EQ(status, GetParam().read_status);
  }
  server_.reset_faults();
  const ViStatus again = write("*OPC?\n");
  if (GetParam().after == After::kLost) {
    EXPECT_EQ(again, VI_ERROR_CONN_LOST);
    return;
  }
  ASSERT_EQ(again, VI_SUCCESS);
  ViStatus status = VI_SUCCESS;
  EXPECT_EQ(read(status), "1\n");
}

INSTANTIATE_TEST_SUITE_P(Usbtmc, UsbtmcFaults, ::testing::ValuesIn(kFaults),
                         [](const ::testing::TestParamInfo<Fault>& info) {
                           std::string name;
                           for (const char c : std::string_view(info.param.name)) {
                             if (std::isalnum(static_cast<unsigned char>(c)) != 0) name += c;
                           }
                           return name;
                         });

}  // namespace
}  // namespace zr48::visa
