// GPIB transport for "GPIB[board]::primary[::secondary]::INSTR" resources, through linux-gpib's
// C library loaded at run time (gpib_library.h). Without the library the names are well formed
// and refused with VI_ERROR_RSRC_NFOUND, the trace saying what is missing.
#ifndef ZR48_PLATFORM_VISA_TRANSPORTS_GPIB_GPIB_H
#define ZR48_PLATFORM_VISA_TRANSPORTS_GPIB_GPIB_H

#include <memory>
#include <string>
#include <vector>

#include "visa/resource_name.h"
#include "visa/transport.h"

// VISA's GPIB statuses and attributes.
#ifndef VI_ERROR_NLISTENERS
#define VI_ERROR_NLISTENERS (_VI_ERROR + 0x3FFF005FL)
#endif
#ifndef VI_ERROR_NCIC
#define VI_ERROR_NCIC (_VI_ERROR + 0x3FFF0060L)
#endif
#ifndef VI_ERROR_NSYS_CNTLR
#define VI_ERROR_NSYS_CNTLR (_VI_ERROR + 0x3FFF0061L)
#endif
#ifndef VI_ERROR_INV_MODE
#define VI_ERROR_INV_MODE (_VI_ERROR + 0x3FFF0091L)
#endif
#ifndef VI_ATTR_GPIB_PRIMARY_ADDR
#define VI_ATTR_GPIB_PRIMARY_ADDR 0x3FFF0172UL
#endif
#ifndef VI_ATTR_GPIB_SECONDARY_ADDR
#define VI_ATTR_GPIB_SECONDARY_ADDR 0x3FFF0173UL
#endif
#ifndef VI_NO_SEC_ADDR
#define VI_NO_SEC_ADDR 0xFFFF
#endif

namespace zr48::visa {

struct OpenRequest;

// What dlopen() asks for unless ZR48_GPIB_LIBRARY names a file.
inline constexpr const char* kDefaultGpibLibrary = "libgpib.so.0";

// Board, primary and secondary address (VI_NO_SEC_ADDR for none) of a GPIB INSTR name; false
// when an address is out of range (primary and secondary 0..30).
struct GpibAddress {
  unsigned board = 0;
  unsigned primary = 0;
  unsigned secondary = VI_NO_SEC_ADDR;
};
bool gpib_address(const ResourceName& name, GpibAddress& out);

// The transport table's row functions.
ViStatus accepts_gpib(const ResourceName& name);
ViStatus open_gpib(const OpenRequest& request, std::unique_ptr<Transport>& out);

// "GPIB<board>::<primary>[::<secondary>]::INSTR" for every listener on every board the library
// reaches (primary addresses 1 to 30: 0 is the controller's own); none without the library.
std::vector<std::string> find_gpib_listeners();

}  // namespace zr48::visa

#endif
