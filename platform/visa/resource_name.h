// VISA resource names (VPP-4.3 grammar), compared case-insensitively.
#ifndef ZR48_PLATFORM_VISA_RESOURCE_NAME_H
#define ZR48_PLATFORM_VISA_RESOURCE_NAME_H

#include <string>
#include <string_view>

#include "zr48_visatype.h"

namespace zr48::visa {

// VI_ATTR_INTF_TYPE values.
enum class Interface : ViUInt16 {
  kGpib = 1,
  kVxi = 2,
  kGpibVxi = 3,
  kAsrl = 4,
  kPxi = 5,
  kTcpip = 6,
  kUsb = 7,
};

struct ResourceName {
  Interface interface_type = Interface::kTcpip;
  ViUInt16 board = 0;
  std::string
      resource_class;     // "INSTR", "SOCKET", "RAW", "INTFC", "SERVANT", "MEMACC", "BACKPLANE"
  std::string host;       // TCPIP: as written, IPv6 without its brackets
  ViUInt16 port = 0;      // TCPIP SOCKET
  std::string device;     // TCPIP INSTR: the LAN device name as written ("" when omitted)
  bool secure = false;    // credentials before the host ask for TLS / secure HiSLIP
  std::string path;       // ASRL: the device path written in place of the board ("/dev/ttyUSB0")
  std::string canonical;  // e.g. "TCPIP0::127.0.0.1::5025::SOCKET"
};

// VI_SUCCESS for any well-formed name, VI_ERROR_INV_RSRC_NAME otherwise.
ViStatus parse_resource_name(std::string_view text, ResourceName& out);

}  // namespace zr48::visa

#endif
