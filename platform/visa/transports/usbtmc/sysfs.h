// The USBTMC interfaces the kernel's usbtmc driver has bound, as sysfs shows them, and the one a
// "USB[board]::vid::pid::serial[::interface]::INSTR" resource names.
#ifndef ZR48_PLATFORM_VISA_TRANSPORTS_USBTMC_SYSFS_H
#define ZR48_PLATFORM_VISA_TRANSPORTS_USBTMC_SYSFS_H

#include <optional>
#include <string>
#include <vector>

#include "visa/resource_name.h"

namespace zr48::visa::usbtmc {

struct Interface {
  std::string node;  // "usbtmc0": /dev/usbtmc0
  unsigned vendor = 0;
  unsigned product = 0;
  std::string serial;   // "" when the device has none
  unsigned number = 0;  // bInterfaceNumber
};

// From <sys_root>/class/usbmisc/usbtmc*: each entry's "device" link is the interface directory
// (bInterfaceNumber), whose parent is the USB device (idVendor, idProduct, serial). Sorted by
// node number; entries that cannot be read are left out.
std::vector<Interface> list_interfaces(const std::string& sys_root);

// What a USB INSTR resource name asks for.
struct Address {
  unsigned vendor = 0;
  unsigned product = 0;
  std::string serial;
  std::optional<unsigned> number;  // the lowest USBTMC interface when not given
};

// False unless `name` is a USB INSTR resource.
bool parse_address(const ResourceName& name, Address& out);

// The interface `address` names among `interfaces`: ids by value, the serial number without
// regard to case (as VISA compares resource names). nullptr when none.
const Interface* find_interface(const std::vector<Interface>& interfaces, const Address& address);

// The VISA resource name of an interface: ids as 0x-prefixed hex, the interface number only
// when not 0.
std::string resource_name(const Interface& interface);

}  // namespace zr48::visa::usbtmc

#endif
