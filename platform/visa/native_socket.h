// Internal accessors for diagnostics and tests; not part of the VISA interface.
#ifndef ZR48_PLATFORM_VISA_NATIVE_SOCKET_H
#define ZR48_PLATFORM_VISA_NATIVE_SOCKET_H

#include "zr48_visatype.h"

namespace zr48::visa {

// The socket under an open I/O session, or -1 (unknown handle, closed, not a socket).
int native_socket(ViSession vi);

}  // namespace zr48::visa

#endif
