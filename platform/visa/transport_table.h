// The transport table: one row per resource class this layer serves, saying how the row
// recognises a resource name, how it opens a connection, which optional operations it has and
// which attribute defaults its sessions start with. viOpen and the "served" test consult it;
// a new transport is one file (or folder) and one row.
#ifndef ZR48_PLATFORM_VISA_TRANSPORT_TABLE_H
#define ZR48_PLATFORM_VISA_TRANSPORT_TABLE_H

#include <memory>
#include <span>
#include <string_view>

#include "visa/deadline.h"
#include "visa/resource_name.h"
#include "visa/transport.h"
#include "zr48_visatype.h"

namespace zr48::visa {

// Optional operations a row has; the session answers the others VI_ERROR_NSUP_OPER.
enum Capability : unsigned {
  kCanClear = 1U << 0,
  kCanReadStatusByte = 1U << 1,
  kCanTrigger = 1U << 2,
  // Every session locks in the process (resource_lock.h); these devices also lock themselves,
  // so that other hosts are kept out: exclusively, and with a shared access key.
  kLocksDevice = 1U << 3,
  kSharesDeviceLock = 1U << 5,
  kCarriesEnd = 1U << 4,  // messages end with END (reads can tell a whole reply)
};

// Attribute values a new session starts with.
struct SessionDefaults {
  ViBoolean termchar_enabled = VI_FALSE;
  ViBoolean suppress_end = VI_FALSE;
  ViBoolean send_end = VI_TRUE;
};

struct OpenRequest {
  const ResourceName& name;
  Deadline deadline;             // the open time-out, for connects and handshakes together
  ViUInt32 open_timeout_ms = 0;  // the same, as a number for protocols that send it
};

struct TransportRow {
  std::string_view name;
  // VI_SUCCESS: this row serves the name; VI_ERROR_RSRC_NFOUND: not this row;
  // VI_ERROR_INV_RSRC_NAME: this row's class, but its own part of the name is malformed.
  ViStatus (*accepts)(const ResourceName& name);
  ViStatus (*open)(const OpenRequest& request, std::unique_ptr<Transport>& out);
  unsigned capabilities;
  SessionDefaults defaults;
};

std::span<const TransportRow> transport_rows();

// The row serving `name`, or nullptr with `status` saying why (RSRC_NFOUND or INV_RSRC_NAME).
const TransportRow* find_transport(const ResourceName& name, ViStatus& status);

// Whether some row serves the resource.
bool is_served(const ResourceName& name);

}  // namespace zr48::visa

#endif
