// The callback shapes of the SCPI-backed attributes. Each finds its row by the attribute
// identifier the engine hands in, so three functions serve every row.
#include <cstring>

#include "frame/channel_command.h"
#include "frame/frame.h"
#include "scpi_attributes.h"

namespace zr48::attributes {
namespace {

// Sends the row's line, after the selection of its channel where it has one (in the same write).
void send_row_line(Exchange& exchange, const ScpiAttribute& row, const char* line,
                   ViConstString channel, ViConstString text) {
  if (row.selects_channel()) {
    send_for_channel(exchange, channel, line, text);
  } else {
    send_line(exchange, line, text);
  }
}

// The query and one raw read (at most 511 bytes, terminator included), the reply handed to the
// engine. A failed read hands nothing over, so the attribute keeps its value.
ViStatus query(const FramePolicy& frame, ViSession vi, ViSession io, ViConstString channel,
               ViAttr id) {
  const ScpiAttribute* row = find_scpi_attribute(id);
  if (row == nullptr || row->query == nullptr) return IVI_ERROR_INVALID_ATTRIBUTE;
  return run_frame(frame, vi, io, Nothing{}, Nothing{}, [&](Exchange& exchange) {
    Reply reply;
    send_row_line(exchange, *row, row->query, channel, "");
    exchange.read_raw(reply);
    if (exchange.ok()) exchange.then(Ivi_SetValInStringCallback(vi, row->id, reply.text));
  });
}

// Read under the session lock, on the engine's current I/O session; nothing while simulating.
ViStatus query_read(ViSession vi, ViSession io, ViConstString channelName, ViAttr attributeId,
                    ViConstString /*cacheValue*/) {
  return query(policy::kAttributeQuery, vi, io, channelName, attributeId);
}

// Read on the I/O session the engine hands in: no lock of its own and no simulation test (the
// engine does not call it while simulating).
ViStatus direct_query_read(ViSession vi, ViSession io, ViConstString channelName,
                           ViAttr attributeId, ViConstString /*cacheValue*/) {
  return query(policy::kDirectQuery, vi, io, channelName, attributeId);
}

// Write under the session lock: the command with the written text in place of its "%s" (a
// command without one ignores the text).
ViStatus command_write(ViSession vi, ViSession io, ViConstString channelName, ViAttr attributeId,
                       ViConstString value) {
  const ScpiAttribute* row = find_scpi_attribute(attributeId);
  if (row == nullptr || row->command == nullptr) return IVI_ERROR_INVALID_ATTRIBUTE;
  // A line break in the value would end the command early and send the rest as a command of
  // its own. Refused (the value is the accessor's fourth parameter) before any I/O.
  const auto refuse_line_break = [&]() -> ViStatus {
    if (policy::kAttributeWrite.line_breaks || value == nullptr ||
        std::strstr(row->command, "%s") == nullptr || std::strpbrk(value, "\r\n") == nullptr) {
      return VI_SUCCESS;
    }
    return record_parameter_error(vi, 4, "Line feed or carriage return in the attribute value");
  };
  return run_frame(
      policy::kAttributeWrite, vi, io, refuse_line_break, Nothing{},
      [&](Exchange& exchange) { send_row_line(exchange, *row, row->command, channelName, value); });
}

ReadAttrViString_CallbackPtr read_callback(ReadShape shape) {
  switch (shape) {
    case ReadShape::kQuery:
      return query_read;
    case ReadShape::kDirectQuery:
      return direct_query_read;
    case ReadShape::kNone:
      break;
  }
  return nullptr;
}

}  // namespace

ViStatus add_scpi_attribute(ViSession vi, const ScpiAttribute& row) {
  return Ivi_AddAttributeViString(vi, row.id, row.name, row.default_value, row.flags,
                                  read_callback(row.read),
                                  row.command != nullptr ? command_write : nullptr);
}

}  // namespace zr48::attributes
