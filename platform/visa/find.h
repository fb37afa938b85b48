// Finding instruments (viFindRsrc): resource names gathered from every place this layer can
// reach, filtered by a VISA expression. Local sources never wait; the LAN search is bounded.
//   serial   ports under the /dev root: ttyUSB*, ttyACM*, and ttyS* with a UART behind them
//            (sysfs type not 0), as ASRL<path>::INSTR; also every ZR48_VISA_ASRL<n> mapping
//            whose device exists, as ASRL<n>::INSTR
//   USBTMC   /sys/class/usbmisc/usbtmc*: USB0::0xVVVV::0xPPPP::<serial>[::<interface>]::INSTR
//   GPIB     listeners at primary addresses 1..30 of each board, when linux-gpib's library is
//            there: GPIB<board>::<primary>[::<secondary>]::INSTR
//   LAN      for each address in ZR48_VISA_LAN_SEARCH (comma-separated; unicast or broadcast):
//            the portmapper is asked (UDP) for VXI-11, giving TCPIP::<host>::inst0::INSTR; each
//            host that answered, or that was named, is then tried for HiSLIP (4880,
//            TCPIP::<host>::hislip0::INSTR) and a raw SCPI socket (5025,
//            TCPIP::<host>::5025::SOCKET). Everything within ZR48_VISA_LAN_SEARCH_MS (1000).
#ifndef ZR48_PLATFORM_VISA_FIND_H
#define ZR48_PLATFORM_VISA_FIND_H

#include <string>
#include <string_view>
#include <vector>

#include "visa/resource_expression.h"
#include "zr48_visatype.h"

namespace zr48::visa {

struct FindSettings {
  std::string dev_root = "/dev";
  std::string sys_root = "/sys";
  std::vector<std::string> lan_addresses;
  int lan_timeout_ms = 1000;

  // From ZR48_VISA_LAN_SEARCH, ZR48_VISA_LAN_SEARCH_MS, and (for tests) ZR48_VISA_DEV_ROOT and
  // ZR48_VISA_SYS_ROOT.
  static FindSettings from_environment();
};

std::vector<std::string> find_serial_ports(const FindSettings& settings);
std::vector<std::string> find_usbtmc_devices(const FindSettings& settings);
std::vector<std::string> find_lan_instruments(const FindSettings& settings);

// Every resource matching `expression`, local ones first, each once. VI_ERROR_INV_EXPR,
// VI_ERROR_NSUP_OPER (attribute filters) or VI_ERROR_RSRC_NFOUND (nothing matched).
ViStatus find_resources(std::string_view expression, const FindSettings& settings,
                        std::vector<std::string>& found);
// The same with a compiled expression; appends to `found`.
void discover_resources(const ResourceExpression& expression, const FindSettings& settings,
                        std::vector<std::string>& found);

}  // namespace zr48::visa

#endif
