// USBTMC transport for "USB[board]::vid::pid::serial[::interface]::INSTR" resources, through
// the Linux kernel's usbtmc driver (/dev/usbtmcN, found through sysfs).
#ifndef ZR48_PLATFORM_VISA_TRANSPORTS_USBTMC_USBTMC_H
#define ZR48_PLATFORM_VISA_TRANSPORTS_USBTMC_USBTMC_H

#include <memory>

#include "visa/resource_name.h"
#include "visa/transport.h"

namespace zr48::visa {

struct OpenRequest;

// USB INSTR attributes (VISA's values; read-only).
inline constexpr ViAttr kAttrManfId = 0x3FFF00D9UL;         // VI_ATTR_MANF_ID, ViUInt16
inline constexpr ViAttr kAttrModelCode = 0x3FFF00DFUL;      // VI_ATTR_MODEL_CODE, ViUInt16
inline constexpr ViAttr kAttrUsbSerialNum = 0xBFFF01A0UL;   // VI_ATTR_USB_SERIAL_NUM, ViString
inline constexpr ViAttr kAttrUsbIntfcNum = 0x3FFF01A1UL;    // VI_ATTR_USB_INTFC_NUM, ViInt16
inline constexpr ViAttr kAttrUsbProtocol = 0x3FFF01A7UL;    // VI_ATTR_USB_PROTOCOL, ViInt16
inline constexpr ViAttr kAttr4882Compliant = 0x3FFF019FUL;  // VI_ATTR_4882_COMPLIANT, ViBoolean

// viGpibControlREN's modes.
inline constexpr ViUInt16 kRenDeassert = 0;
inline constexpr ViUInt16 kRenAssert = 1;
inline constexpr ViUInt16 kRenDeassertGtl = 2;
inline constexpr ViUInt16 kRenAssertAddress = 3;
inline constexpr ViUInt16 kRenAssertLlo = 4;
inline constexpr ViUInt16 kRenAssertAddressLlo = 5;
inline constexpr ViUInt16 kRenAddressGtl = 6;

// The transport table's row functions. The /sys and /dev roots come from ZR48_VISA_SYS_ROOT and
// ZR48_VISA_DEV_ROOT as for viFindRsrc; the files from usbtmc::device_files().
ViStatus accepts_usbtmc(const ResourceName& name);
ViStatus open_usbtmc(const OpenRequest& request, std::unique_ptr<Transport>& out);

}  // namespace zr48::visa

#endif
