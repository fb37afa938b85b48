// Finding instruments: the expression matcher row by row, the local sources over a fake /dev
// and sysfs tree, and viFindRsrc over that tree, the simulator's pseudo-terminal and its LAN
// services on a loopback address of its own.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "loopback_address.h"
#include "scoped_environment.h"
#include "session_io.h"
#include "visa/find.h"
#include "visa/resource_expression.h"
#include "visa/visa.h"
#include "zr48sim/server.h"

namespace zr48::visa {
namespace {

namespace fs = std::filesystem;

TEST(ResourceExpression, MatchesAsVisaDefines) {
  const struct {
    const char* expression;
    const char* name;
    bool match;
  } kRows[] = {
      {"?*INSTR", "TCPIP0::127.0.0.1::inst0::INSTR", true},
      {"?*INSTR", "TCPIP0::127.0.0.1::5025::SOCKET", false},
      {"?*", "TCPIP0::127.0.0.1::5025::SOCKET", true},
      {"?*instr", "ASRL/dev/ttyUSB0::INSTR", true},  // either case
      {"TCPIP?*", "TCPIP0::h::hislip0::INSTR", true},
      {"TCPIP?*", "USB0::0x1::0x2::S::INSTR", false},
      {"USB?*::INSTR", "USB0::0x1234::0x5678::SN1::INSTR", true},
      {"USB?*::INSTR", "USB0::0x1234::0x5678::SN1::RAW", false},
      {"USB[0-9]*::0x1234::?*INSTR", "USB0::0x1234::0x5678::SN1::1::INSTR", true},
      {"USB[0-9]*::0x1234::?*INSTR", "USB0::0x0957::0x5678::SN1::INSTR", false},
      {"ASRL[0-9]*::?*INSTR", "ASRL1::INSTR", true},
      {"ASRL[0-9]*::?*INSTR", "ASRL/dev/ttyS0::INSTR", false},
      {"ASRL[0-9]+::INSTR", "ASRL::INSTR", false},
      {"ASRL[^0-9]?*", "ASRL/dev/ttyS0::INSTR", true},
      {"GPIB?*INSTR|VXI?*INSTR", "VXI0::1::INSTR", true},
      {"GPIB?*INSTR|VXI?*INSTR", "USB0::1::2::3::INSTR", false},
      {"{GPIB|USB}?*INSTR", "USB0::1::2::3::INSTR", true},
      {"(GPIB|USB)0::?*", "GPIB0::5::INSTR", true},
      {"(GPIB|USB)0::?*", "GPIB1::5::INSTR", false},
      {"GPIB?*INSTR", "GPIB0::5::2::INSTR", true},
      {"GPIB[0-9]*::?*INSTR", "GPIB12::30::INSTR", true},
      {"GPIB0::5::INSTR", "GPIB0::5::2::INSTR", false},
      {"GPIB?*::[0-9]::INSTR", "GPIB0::5::2::INSTR", true},
      {"TCPIP0::127\\.0\\.0\\.1::?*", "TCPIP0::127.0.0.1::inst0::INSTR", true},
      {"a\\*", "A*", true},
      {"a\\*", "AA", false},
      {"[]]", "]", true},
      {"[a-]", "-", true},
      {"(a*)*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaac", false},
      {"?", "", false},
      {"x+", "xxx", true},
  };
  for (const auto& row : kRows) {
    ResourceExpression expression;
    ASSERT_EQ(ResourceExpression::compile(row.expression, expression), VI_SUCCESS)
        << row.expression;
    EXPECT_EQ(expression.matches(row.name), row.match) << row.expression << " ~ " << row.name;
  }
}

TEST(ResourceExpression, RefusesWhatItCannotRun) {
  const struct {
    const char* expression;
    ViStatus status;
  } kRows[] = {
      {"", VI_ERROR_INV_EXPR},
      {"*INSTR", VI_ERROR_INV_EXPR},
      {"(GPIB", VI_ERROR_INV_EXPR},
      {"GPIB)", VI_ERROR_INV_EXPR},
      {"[0-9", VI_ERROR_INV_EXPR},
      {"[9-0]", VI_ERROR_INV_EXPR},
      {"a||b", VI_ERROR_INV_EXPR},
      {"()", VI_ERROR_INV_EXPR},
      {"abc\\", VI_ERROR_INV_EXPR},
      {"GPIB?*INSTR{VI_ATTR_GPIB_SECONDARY_ADDR > 0}", VI_ERROR_NSUP_OPER},
      {"?*{ vi_attr_intf_num == 0}", VI_ERROR_NSUP_OPER},
  };
  for (const auto& row : kRows) {
    ResourceExpression expression;
    EXPECT_EQ(ResourceExpression::compile(row.expression, expression), row.status)
        << row.expression;
  }
  std::string deep(200, '(');
  deep += 'a' + std::string(200, ')');
  ResourceExpression expression;
  EXPECT_EQ(ResourceExpression::compile(deep, expression), VI_ERROR_INV_EXPR);
  EXPECT_EQ(ResourceExpression::compile(std::string(2000, 'a'), expression), VI_ERROR_INV_EXPR);
}

// A /dev and /sys laid out as the kernel does, in a temporary directory.
class FakeTree : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("zr48-find-" + std::to_string(::getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    for (const char* node : {"ttyUSB0", "ttyACM1", "ttyS0", "ttyS1", "ttyUSBx", "tty0"}) {
      file(fs::path("dev") / node, "");
    }
    file("sys/class/tty/ttyS0/type", "4\n");  // a 16550A is there
    file("sys/class/tty/ttyS1/type", "0\n");  // a placeholder
    usb("usbtmc0", "1-1", "1-1:1.0", "1234", "5678", "SN123", "00");
    usb("usbtmc1", "1-2", "1-2:1.1", "0957", "1a07", "MY5", "01");
    usb("usbtmc2", "1-3", "1-3:1.0", "0aad", "0001", "", "00");  // no serial number
  }
  void TearDown() override { fs::remove_all(root_); }

  void file(const fs::path& relative, const std::string& text) {
    fs::create_directories((root_ / relative).parent_path());
    std::ofstream(root_ / relative) << text;
  }
  void usb(const char* node, const char* device, const char* interface, const char* vendor,
           const char* product, const char* serial, const char* number) {
    const fs::path dir = fs::path("sys/devices/pci0000:00/usb1") / device;
    file(dir / "idVendor", std::string(vendor) + "\n");
    file(dir / "idProduct", std::string(product) + "\n");
    if (*serial != '\0') file(dir / "serial", std::string(serial) + "\n");
    file(dir / interface / "bInterfaceNumber", std::string(number) + "\n");
    fs::create_directories(root_ / "sys/class/usbmisc" / node);
    fs::create_directory_symlink(root_ / dir / interface,
                                 root_ / "sys/class/usbmisc" / node / "device");
  }
  FindSettings settings() const {
    FindSettings s;
    s.dev_root = (root_ / "dev").string();
    s.sys_root = (root_ / "sys").string();
    return s;
  }

  fs::path root_;
};

TEST_F(FakeTree, LocalSourcesListWhatIsThere) {
  const std::string dev = (root_ / "dev").string();
  EXPECT_EQ(
      find_serial_ports(settings()),
      (std::vector<std::string>{"ASRL" + dev + "/ttyACM1::INSTR", "ASRL" + dev + "/ttyS0::INSTR",
                                "ASRL" + dev + "/ttyUSB0::INSTR"}));
  EXPECT_EQ(find_usbtmc_devices(settings()),
            (std::vector<std::string>{"USB0::0x1234::0x5678::SN123::INSTR",
                                      "USB0::0x0957::0x1A07::MY5::1::INSTR"}));
  FindSettings missing;
  missing.dev_root = (root_ / "none").string();
  missing.sys_root = (root_ / "none").string();
  EXPECT_TRUE(find_serial_ports(missing).empty());
  EXPECT_TRUE(find_usbtmc_devices(missing).empty());
}

TEST_F(FakeTree, AnUnansweredNetworkLosesNoLocalDevice) {
  FindSettings s = settings();
  s.lan_addresses = {"127.14.250.250", "not-an-address"};
  s.lan_timeout_ms = 100;
  std::vector<std::string> found;
  ASSERT_EQ(find_resources("USB?*INSTR", s, found), VI_SUCCESS);
  EXPECT_EQ(found.size(), 2U);
  EXPECT_EQ(find_resources("GPIB?*", s, found), VI_ERROR_RSRC_NFOUND);
  EXPECT_TRUE(found.empty());
}

// A broadcast address beside a simulator's own: the datagram goes out with SO_BROADCAST, the
// broadcast never answers, and the search still lists the simulator and every local device.
TEST_F(FakeTree, ABroadcastSearchKeepsWhatOtherSourcesFound) {
  const std::string address = test::LoopbackAddressForThisTest(14, "broadcast");
  sim::Server server(sim::ServerOptions::all(address));
  if (!server.portmapper_error().empty()) GTEST_SKIP() << "port 111: " << server.portmapper_error();
  FindSettings s = settings();
  s.lan_addresses = {"127.255.255.255", address};
  s.lan_timeout_ms = 300;
  std::vector<std::string> found;
  ASSERT_EQ(find_resources("?*INSTR", s, found), VI_SUCCESS);
  const std::string dev = (root_ / "dev").string();
  for (const std::string& expected :
       {"ASRL" + dev + "/ttyUSB0::INSTR", std::string("USB0::0x1234::0x5678::SN123::INSTR"),
        "TCPIP0::" + address + "::inst0::INSTR"}) {
    EXPECT_NE(std::find(found.begin(), found.end(), expected), found.end()) << expected;
  }
  for (const std::string& name : found) {
    EXPECT_EQ(name.find("127.255.255.255"), std::string::npos) << name;  // no host
  }
}

// viFindRsrc through the environment: the fake tree, the simulator's pseudo-terminal mapped to
// a board number, and the simulator's LAN services.
TEST_F(FakeTree, ViFindRsrcListsEveryKindOfInstrument) {
  const std::string address = "127.14.77.7";
  auto options = sim::ServerOptions::all(address);
  options.socket_port = 5025;
  options.hislip_port = 4880;
  options.serial = true;
  sim::Server server(options);
  if (!server.portmapper_error().empty()) GTEST_SKIP() << "port 111: " << server.portmapper_error();
  const std::string pty = server.serial_resource().substr(4, server.serial_resource().size() - 11);
  const test::EnvironmentVariable dev_root("ZR48_VISA_DEV_ROOT", settings().dev_root);
  const test::EnvironmentVariable sys_root("ZR48_VISA_SYS_ROOT", settings().sys_root);
  const test::EnvironmentVariable asrl5("ZR48_VISA_ASRL5", pty);
  const test::EnvironmentVariable lan("ZR48_VISA_LAN_SEARCH", "127.14.250.250, " + address);

  ViSession rm = VI_NULL;
  ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
  ViFindList list = VI_NULL;
  ViUInt32 count = 0;
  char name[VI_FIND_BUFLEN] = {};
  ASSERT_EQ(viFindRsrc(rm, "?*", &list, &count, name), VI_SUCCESS);
  std::vector<std::string> names{name};
  while (viFindNext(list, name) == VI_SUCCESS) names.emplace_back(name);
  EXPECT_EQ(names.size(), count);
  EXPECT_EQ(viFindNext(list, name), VI_ERROR_RSRC_NFOUND);
  EXPECT_EQ(viClose(list), VI_SUCCESS);
  for (const std::string& expected :
       {std::string("ASRL5::INSTR"), std::string("USB0::0x1234::0x5678::SN123::INSTR"),
        "TCPIP0::" + address + "::inst0::INSTR", "TCPIP0::" + address + "::hislip0::INSTR",
        "TCPIP0::" + address + "::5025::SOCKET"}) {
    EXPECT_NE(std::find(names.begin(), names.end(), expected), names.end()) << expected;
  }
  // Every instrument found opens and answers, whatever its transport.
  for (const std::string& found : names) {
    if (found.rfind("ASRL5", 0) != 0 && found.rfind("TCPIP", 0) != 0) continue;
    ViSession vi = VI_NULL;
    ASSERT_EQ(viOpen(rm, found.c_str(), VI_NO_LOCK, 2000, &vi), VI_SUCCESS) << found;
    EXPECT_EQ(testing::write_text(vi, "*OPC?\n"), VI_SUCCESS);
    ViStatus status = VI_ERROR_IO;
    EXPECT_EQ(testing::read_text(vi, status, 8), "1\n") << found;
    EXPECT_GE(status, VI_SUCCESS) << found;
    viClose(vi);
  }
  EXPECT_EQ(viFindRsrc(rm, "?*INSTR{VI_ATTR_INTF_NUM==0}", &list, &count, name),
            VI_ERROR_NSUP_OPER);
  EXPECT_EQ(viFindRsrc(rm, "PXI?*", &list, &count, name), VI_ERROR_RSRC_NFOUND);
  EXPECT_EQ(count, 0U);
  viClose(rm);
}

}  // namespace
}  // namespace zr48::visa
