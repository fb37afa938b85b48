// Serial-port transport for "ASRL[board]::INSTR" and "ASRL/dev/<path>::INSTR" resources: a
// terminal device in raw mode with VISA's ASRL attributes, opened exclusively.
#ifndef ZR48_PLATFORM_VISA_TRANSPORTS_SERIAL_SERIAL_H
#define ZR48_PLATFORM_VISA_TRANSPORTS_SERIAL_SERIAL_H

#include <memory>
#include <string>

#include "visa/resource_name.h"
#include "visa/transport.h"

namespace zr48::visa {

struct OpenRequest;

// The device a serial resource names: its path as written, else the board number mapped by
// ZR48_VISA_ASRL<n>=<path> when that is set, else ASRL<n> is /dev/ttyS<n-1> (ASRL1 is the
// first on-board port, as COM1 is elsewhere). False when the name maps to no device.
bool serial_device_path(const ResourceName& name, std::string& path);

// The transport table's row functions.
ViStatus accepts_serial(const ResourceName& name);
ViStatus open_serial(const OpenRequest& request, std::unique_ptr<Transport>& out);

}  // namespace zr48::visa

#endif
