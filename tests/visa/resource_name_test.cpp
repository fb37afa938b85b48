// Resource names: VISA's grammar, case-insensitive; SOCKET served, other classes refused.
#include <gtest/gtest.h>

#include "visa/resource_name.h"
#include "visa/transport_table.h"
#include "visa/visa.h"

namespace zr48::visa {
namespace {

struct WellFormed {
  const char* text;
  const char* resource_class;
  Interface interface_type;
  ViUInt16 board;
  const char* host;
  ViUInt16 port;
  const char* canonical;
};

const WellFormed kWellFormed[] = {
    {"TCPIP::127.0.0.1::5025::SOCKET", "SOCKET", Interface::kTcpip, 0, "127.0.0.1", 5025,
     "TCPIP0::127.0.0.1::5025::SOCKET"},
    {"tcpip3::Bench-PSU.lab.example::5025::socket", "SOCKET", Interface::kTcpip, 3,
     "Bench-PSU.lab.example", 5025, "TCPIP3::Bench-PSU.lab.example::5025::SOCKET"},
    {"TCPIP0::[::1]::65535::SOCKET", "SOCKET", Interface::kTcpip, 0, "::1", 65535,
     "TCPIP0::[::1]::65535::SOCKET"},
    {"TCPIP::[fe80::1%eth0]::1::SOCKET", "SOCKET", Interface::kTcpip, 0, "fe80::1%eth0", 1,
     "TCPIP0::[fe80::1%eth0]::1::SOCKET"},
    {"TCPIP::192.168.0.5", "INSTR", Interface::kTcpip, 0, "192.168.0.5", 0,
     "TCPIP0::192.168.0.5::INSTR"},
    {"TCPIP0::192.168.0.5::inst0::INSTR", "INSTR", Interface::kTcpip, 0, "192.168.0.5", 0,
     "TCPIP0::192.168.0.5::inst0::INSTR"},
    {"TCPIP::1.2.3.4::hislip0,4880::INSTR", "INSTR", Interface::kTcpip, 0, "1.2.3.4", 0,
     "TCPIP0::1.2.3.4::hislip0,4880::INSTR"},
    {"TCPIP::[fe80::1]::hislip0::INSTR", "INSTR", Interface::kTcpip, 0, "fe80::1", 0,
     "TCPIP0::[fe80::1]::hislip0::INSTR"},
    {"TCPIP::user-1@1.2.3.4::5025::SOCKET", "SOCKET", Interface::kTcpip, 0, "1.2.3.4", 5025,
     "TCPIP0::user-1@1.2.3.4::5025::SOCKET"},
    {"TCPIP::SERVANT", "SERVANT", Interface::kTcpip, 0, "", 0, "TCPIP0::SERVANT"},
    {"ASRL1::INSTR", "INSTR", Interface::kAsrl, 1, "", 0, "ASRL1::INSTR"},
    {"asrl", "INSTR", Interface::kAsrl, 0, "", 0, "ASRL0::INSTR"},
    {"asrl/dev/ttyUSB0::instr", "INSTR", Interface::kAsrl, 0, "", 0, "ASRL/dev/ttyUSB0::INSTR"},
    {"GPIB0::5::INSTR", "INSTR", Interface::kGpib, 0, "", 0, "GPIB0::5::INSTR"},
    {"GPIB::1::0::INSTR", "INSTR", Interface::kGpib, 0, "", 0, "GPIB0::1::0::INSTR"},
    {"GPIB2::INTFC", "INTFC", Interface::kGpib, 2, "", 0, "GPIB2::INTFC"},
    {"USB::0x1234::0x5678::A22-5::INSTR", "INSTR", Interface::kUsb, 0, "", 0,
     "USB0::0x1234::0x5678::A22-5::INSTR"},
    {"USB0::0x1234::0x5678::SN1::RAW", "RAW", Interface::kUsb, 0, "", 0,
     "USB0::0x1234::0x5678::SN1::RAW"},
    {"VXI0::1::INSTR", "INSTR", Interface::kVxi, 0, "", 0, "VXI0::1::INSTR"},
    {"vxi::1::instr", "INSTR", Interface::kVxi, 0, "", 0, "VXI0::1::INSTR"},
    {"VXI::MEMACC", "MEMACC", Interface::kVxi, 0, "", 0, "VXI0::MEMACC"},
    {"GPIB-VXI::9::INSTR", "INSTR", Interface::kGpibVxi, 0, "", 0, "GPIB-VXI0::9::INSTR"},
    {"PXI0::3-18.2::INSTR", "INSTR", Interface::kPxi, 0, "", 0, "PXI0::3-18.2::INSTR"},
    {"PXI::CHASSIS1::SLOT4::INSTR", "INSTR", Interface::kPxi, 0, "", 0,
     "PXI0::CHASSIS1::SLOT4::INSTR"},
};

TEST(ResourceName, WellFormedNamesParse) {
  for (const auto& row : kWellFormed) {
    SCOPED_TRACE(row.text);
    ResourceName name;
    ASSERT_EQ(parse_resource_name(row.text, name), VI_SUCCESS);
    EXPECT_EQ(name.resource_class, row.resource_class);
    EXPECT_EQ(name.interface_type, row.interface_type);
    EXPECT_EQ(name.board, row.board);
    EXPECT_EQ(name.host, row.host);
    EXPECT_EQ(name.port, row.port);
    EXPECT_EQ(name.canonical, row.canonical);
  }
}

const char* const kMalformed[] = {
    "",
    "TCPIP",
    "TCPIP::",
    "TCPIP::::5025::SOCKET",        // empty host
    "TCPIP::127.0.0.1::SOCKET",     // port missing
    "TCPIP::127.0.0.1::0::SOCKET",  // port 0
    "TCPIP::127.0.0.1::65536::SOCKET",
    "TCPIP::127.0.0.1::50x5::SOCKET",
    "TCPIP::127.0.0.1::5025::SOCKET::extra",
    "TCPIP::127.0.0.1::5025::SOCKET::",
    "TCPIP::bad host::5025::SOCKET",
    "TCPIP::[::1::5025::SOCKET",  // unclosed bracket
    "TCPIP::[not-v6]::5025::SOCKET",
    "TCPIPX::127.0.0.1::5025::SOCKET",
    "TCPIP99999::127.0.0.1::5025::SOCKET",
    "ETHERNET::127.0.0.1::5025::SOCKET",
    "GPIB0::INSTR",
    "GPIB0::5::6::7::INSTR",
    "USB::0x12345::0x5678::SN::INSTR",
    "ASRL1::SOCKET",
    "ASRLdev/ttyS0::INSTR",
    "ASRL/dev/tty S0::INSTR",
    "PXI::CHASSIS::SLOT4::INSTR",
};

TEST(ResourceName, MalformedNamesAreRejected) {
  for (const char* text : kMalformed) {
    SCOPED_TRACE(text);
    ResourceName name;
    EXPECT_EQ(parse_resource_name(text, name), VI_ERROR_INV_RSRC_NAME);
  }
}

TEST(ResourceName, OnlyPlainLanSerialUsbAndGpibInstrResourcesAreServed) {
  for (const auto& row : kWellFormed) {
    ResourceName name;
    ASSERT_EQ(parse_resource_name(row.text, name), VI_SUCCESS);
    const std::string_view resource_class = row.resource_class;
    const bool lan = row.interface_type == Interface::kTcpip &&
                     (resource_class == "SOCKET" || resource_class == "INSTR");
    const bool plain = std::string_view(row.text).find('@') == std::string_view::npos;
    const bool serial = row.interface_type == Interface::kAsrl;
    const bool usb = row.interface_type == Interface::kUsb && resource_class == "INSTR";
    const bool gpib = row.interface_type == Interface::kGpib && resource_class == "INSTR";
    EXPECT_EQ(is_served(name), (lan && plain) || serial || usb || gpib) << row.text;
  }
}

// Through viOpen: unserved classes are not found, malformed names are invalid.
TEST(ResourceName, ViOpenReportsTheClassOfFailure) {
  ViSession rm = VI_NULL;
  ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
  for (const auto& row : kWellFormed) {
    ResourceName name;
    ASSERT_EQ(parse_resource_name(row.text, name), VI_SUCCESS);
    if (is_served(name)) continue;
    ViSession vi = 42;
    EXPECT_EQ(viOpen(rm, row.text, VI_NO_LOCK, 0, &vi), VI_ERROR_RSRC_NFOUND) << row.text;
    EXPECT_EQ(vi, static_cast<ViSession>(VI_NULL));
  }
  for (const char* text : kMalformed) {
    ViSession vi = 42;
    EXPECT_EQ(viOpen(rm, text, VI_NO_LOCK, 0, &vi), VI_ERROR_INV_RSRC_NAME) << text;
    EXPECT_EQ(vi, static_cast<ViSession>(VI_NULL));
  }
  EXPECT_EQ(viOpen(rm, nullptr, VI_NO_LOCK, 0, nullptr), VI_ERROR_INV_PARAMETER);
  ViSession vi = VI_NULL;
  EXPECT_EQ(viOpen(rm, nullptr, VI_NO_LOCK, 0, &vi), VI_ERROR_INV_RSRC_NAME);
  EXPECT_EQ(viClose(rm), VI_SUCCESS);
}

}  // namespace
}  // namespace zr48::visa

namespace zr48::visa {
namespace {

// Which row of the transport table takes a name, and what its own part of the name must be.
TEST(TransportTable, RowsTakeTheirResourceForms) {
  const struct {
    const char* text;
    const char* row;  // nullptr: none
    ViStatus status;
    const char* device;
  } rows[] = {
      {"TCPIP::10.0.0.5::5025::SOCKET", "TCPIP SOCKET", VI_SUCCESS, ""},
      {"TCPIP::10.0.0.5::INSTR", "TCPIP VXI-11 INSTR", VI_SUCCESS, ""},
      {"TCPIP::10.0.0.5", "TCPIP VXI-11 INSTR", VI_SUCCESS, ""},
      {"tcpip2::psu.lab::inst1::instr", "TCPIP VXI-11 INSTR", VI_SUCCESS, "inst1"},
      {"TCPIP::10.0.0.5::gpib0,5::INSTR", "TCPIP VXI-11 INSTR", VI_SUCCESS, "gpib0,5"},
      {"TCPIP::10.0.0.5::hislip0::INSTR", "TCPIP HiSLIP INSTR", VI_SUCCESS, "hislip0"},
      {"TCPIP::[::1]::HiSLIP0,4881::INSTR", "TCPIP HiSLIP INSTR", VI_SUCCESS, "HiSLIP0,4881"},
      {"TCPIP::10.0.0.5::hislip_slot3,65535::INSTR", "TCPIP HiSLIP INSTR", VI_SUCCESS,
       "hislip_slot3,65535"},
      {"TCPIP::10.0.0.5::hislip0,0::INSTR", nullptr, VI_ERROR_INV_RSRC_NAME, "hislip0,0"},
      {"TCPIP::10.0.0.5::hislip0,65536::INSTR", nullptr, VI_ERROR_INV_RSRC_NAME, "hislip0,65536"},
      {"TCPIP::10.0.0.5::hislip0,48a0::INSTR", nullptr, VI_ERROR_INV_RSRC_NAME, "hislip0,48a0"},
      {"TCPIP::10.0.0.5::hislip0,::INSTR", nullptr, VI_ERROR_INV_RSRC_NAME, "hislip0,"},
      {"TCPIP::10.0.0.5::hislip0,1,2::INSTR", nullptr, VI_ERROR_INV_RSRC_NAME, "hislip0,1,2"},
      {"TCPIP::user-1@10.0.0.5::hislip0::INSTR", nullptr, VI_ERROR_RSRC_NFOUND, "hislip0"},
      {"TCPIP::user-1@10.0.0.5::INSTR", nullptr, VI_ERROR_RSRC_NFOUND, ""},
      {"ASRL1::INSTR", "ASRL INSTR", VI_SUCCESS, ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    ResourceName name;
    ASSERT_EQ(parse_resource_name(row.text, name), VI_SUCCESS);
    EXPECT_EQ(name.device, row.device);
    ViStatus status = VI_SUCCESS;
    const TransportRow* found = find_transport(name, status);
    EXPECT_EQ(status, row.status);
    EXPECT_EQ(found != nullptr ? found->name : "", row.row != nullptr ? row.row : "");
    EXPECT_EQ(is_served(name), row.row != nullptr);
  }
}

}  // namespace
}  // namespace zr48::visa
