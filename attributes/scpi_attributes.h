// The SCPI-backed string attributes: the identification response and the 57 attributes of the
// IEEE 488.2 common commands, SYST commands, STAT registers and per-channel OUTP settings. Each
// is one row: constant, identifier, flags, default, query, command and the shape of its read.
#ifndef ZR48_ATTRIBUTES_SCPI_ATTRIBUTES_H
#define ZR48_ATTRIBUTES_SCPI_ATTRIBUTES_H

#include <span>

#include "engine/ivi_engine.h"

namespace zr48::attributes {

// How a row's value is read from the instrument.
enum class ReadShape {
  kNone,         // no read callback: reads yield the cached value
  kQuery,        // locked exchange: flush, (channel selection,) query, one raw read
  kDirectQuery,  // no lock and no simulation test, on the I/O session the engine hands in
};

struct ScpiAttribute {
  const char* name;  // the constant's own spelling, registered with the engine
  ViAttr id;
  IviAttrFlags flags;         // IVI_VAL_MULTI_CHANNEL: every access selects the channel first
  const char* default_value;  // nullptr: no default
  ReadShape read;
  const char* query;    // sent by the read callback (no conversion)
  const char* command;  // sent by the write callback; "%s" takes the written text; nullptr: none

  bool selects_channel() const { return (flags & IVI_VAL_MULTI_CHANNEL) != 0; }
};

// The identification response (1150001), registered on its own before the private attributes.
const ScpiAttribute& id_query_response_row();
// The 57 SCPI-backed attributes 1150002 to 1150058, in increasing identifier order.
std::span<const ScpiAttribute> scpi_attribute_rows();
// The row of an identifier, or nullptr.
const ScpiAttribute* find_scpi_attribute(ViAttr id);

// Registers one row with the engine, with the callbacks its shape calls for.
ViStatus add_scpi_attribute(ViSession vi, const ScpiAttribute& row);

}  // namespace zr48::attributes

#endif  // ZR48_ATTRIBUTES_SCPI_ATTRIBUTES_H
