/* The I/O layer: VISA's C interface (names, types, argument orders, status codes) over our
 * own transports, one per resource class in the transport table. Well-formed names of classes
 * without a transport are recognised and refused with VI_ERROR_RSRC_NFOUND. The declarations
 * are those of the installed header, visa/public/visa.h; libzr48's version script hides them
 * from the driver library's exports. */
#ifndef ZR48_PLATFORM_VISA_H
#define ZR48_PLATFORM_VISA_H

#include "visa/public/visa.h"

#endif /* ZR48_PLATFORM_VISA_H */
