// The rows. Order matters only where two rows could take one name: the first that accepts wins.
#include "visa/transport_table.h"

#include <array>

#include "visa/transports/gpib/gpib.h"
#include "visa/transports/hislip/hislip.h"
#include "visa/transports/serial/serial.h"
#include "visa/transports/tcp_socket.h"
#include "visa/transports/usbtmc/usbtmc.h"
#include "visa/transports/vxi11/vxi11.h"
#include "visa/visa.h"

namespace zr48::visa {
namespace {

ViStatus accepts_socket(const ResourceName& name) {
  return name.interface_type == Interface::kTcpip && name.resource_class == "SOCKET" && !name.secure
             ? VI_SUCCESS
             : VI_ERROR_RSRC_NFOUND;
}

constexpr unsigned kInstrument = kCanClear | kCanReadStatusByte | kCanTrigger | kCarriesEnd;
// Instruments mark the end of each message (END): reads need no termination character.
constexpr SessionDefaults kInstrumentDefaults{VI_FALSE, VI_FALSE, VI_TRUE};

// A raw socket has no END, and the driver never enables termination itself, so SOCKET
// sessions end reads at the termination character (LF) by default; there is no END to
// suppress, as common implementations report. Clear, status byte and trigger go as IEEE 488.2
// strings.
constexpr std::array kRows = {
    TransportRow{"TCPIP SOCKET", accepts_socket, open_tcp_socket,
                 kCanClear | kCanReadStatusByte | kCanTrigger,
                 SessionDefaults{VI_TRUE, VI_TRUE, VI_TRUE}},
    TransportRow{"TCPIP HiSLIP INSTR", accepts_hislip, open_hislip,
                 kInstrument | kLocksDevice | kSharesDeviceLock, kInstrumentDefaults},
    // VXI-11 locks are exclusive only: shared locks stay in the process.
    TransportRow{"TCPIP VXI-11 INSTR", accepts_vxi11, open_vxi11, kInstrument | kLocksDevice,
                 kInstrumentDefaults},
    // END is the termination character (VI_ATTR_ASRL_END_IN), which the transport applies;
    // viReadSTB, viAssertTrigger send IEEE 488.2 strings; locks in the process only.
    TransportRow{"ASRL INSTR", accepts_serial, open_serial,
                 kCanClear | kCanReadStatusByte | kCanTrigger | kCarriesEnd,
                 SessionDefaults{VI_FALSE, VI_FALSE, VI_TRUE}},
    // The kernel's usbtmc driver: EOM is END, clear, status byte and trigger are USB488
    // requests; locks in the process only.
    TransportRow{"USB INSTR", accepts_usbtmc, open_usbtmc,
                 kCanClear | kCanReadStatusByte | kCanTrigger | kCarriesEnd, kInstrumentDefaults},
    // Through linux-gpib, loaded at run time; END is EOI. Locks in the process only.
    TransportRow{"GPIB INSTR", accepts_gpib, open_gpib,
                 kCanClear | kCanReadStatusByte | kCanTrigger | kCarriesEnd, kInstrumentDefaults},
};

}  // namespace

std::span<const TransportRow> transport_rows() {
  return kRows;
}

const TransportRow* find_transport(const ResourceName& name, ViStatus& status) {
  for (const TransportRow& row : kRows) {
    status = row.accepts(name);
    if (status == VI_SUCCESS) return &row;
    if (status != VI_ERROR_RSRC_NFOUND) return nullptr;
  }
  status = VI_ERROR_RSRC_NFOUND;
  return nullptr;
}

bool is_served(const ResourceName& name) {
  ViStatus status = VI_SUCCESS;
  return find_transport(name, status) != nullptr;
}

}  // namespace zr48::visa
