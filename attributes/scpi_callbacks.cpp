// The callback shapes of the SCPI-backed attributes. Each finds its row by the attribute
// identifier the engine hands in, so three functions serve every row.
#include <cstring>

#include "frame/channel_command.h"
#include "frame/frame.h"
#include "scpi_attributes.h"

namespace zr48::attributes {
namespace {

// Flush, select the row's channel where it has one (in the same write as the query), send the
// query and hand the raw reply (at most 511 bytes, terminator included) to the engine. A failed
// query or read is recorded (a write that failed within the selection's bytes is not); a failed
// flush or hand-over is only returned. A failed read hands nothing over, so the attribute keeps
// its value.
ViStatus Query(Exchange& exchange, const ScpiAttribute& row, ViConstString channel) {
  Reply reply;
  exchange.DiscardBuffers();
  if (row.selects_channel()) {
    SendForChannel(exchange, channel, row.query, "", Record::kYes);
  } else {
    SendLine(exchange, row.query, "", Record::kYes);
  }
  exchange.ReadRaw(reply, Record::kYes);
  if (exchange.ok()) exchange.Then(Ivi_SetValInStringCallback(exchange.vi(), row.id, reply.text));
  return exchange.status();
}

// Read under the session lock, on the engine's current I/O session; nothing while simulating.
ViStatus QueryRead(ViSession vi, ViSession /*io*/, ViConstString channelName, ViAttr attributeId,
                   ViConstString /*cacheValue*/) {
  const ScpiAttribute* row = FindScpiAttribute(attributeId);
  if (row == nullptr || row->query == nullptr) return IVI_ERROR_INVALID_ATTRIBUTE;
  SessionLock lock(vi);
  if (lock.status() < 0) return lock.status();
  if (Ivi_Simulating(vi)) return VI_SUCCESS;
  Exchange exchange(vi, Ivi_IOSession(vi));
  return Query(exchange, *row, channelName);
}

// Read on the I/O session the engine hands in: no lock of its own and no simulation test (the
// engine does not call it while simulating).
ViStatus DirectQueryRead(ViSession vi, ViSession io, ViConstString channelName, ViAttr attributeId,
                         ViConstString /*cacheValue*/) {
  const ScpiAttribute* row = FindScpiAttribute(attributeId);
  if (row == nullptr || row->query == nullptr) return IVI_ERROR_INVALID_ATTRIBUTE;
  Exchange exchange(vi, io);
  return Query(exchange, *row, channelName);
}

// Write under the session lock: mark the status as needing a check, flush, select the row's
// channel where it has one (in the same write as the command), send the command with the written
// text in place of its "%s" (a command without one ignores the text). Only a failed command is
// recorded, not a failure within the selection's bytes.
ViStatus CommandWrite(ViSession vi, ViSession /*io*/, ViConstString channelName, ViAttr attributeId,
                      ViConstString value) {
  const ScpiAttribute* row = FindScpiAttribute(attributeId);
  if (row == nullptr || row->command == nullptr) return IVI_ERROR_INVALID_ATTRIBUTE;
  SessionLock lock(vi);
  if (lock.status() < 0) return lock.status();
  // A line break in the value would end the command early and send the rest as a command of
  // its own. Refused (the value is the accessor's fourth parameter) before any I/O.
  if (value != nullptr && std::strstr(row->command, "%s") != nullptr &&
      std::strpbrk(value, "\r\n") != nullptr) {
    return RecordParameterError(vi, 4, "Line feed or carriage return in the attribute value");
  }
  if (Ivi_Simulating(vi)) return VI_SUCCESS;
  Exchange exchange(vi, Ivi_IOSession(vi));
  exchange.MarkStatusUnchecked().DiscardBuffers();
  if (row->selects_channel()) {
    SendForChannel(exchange, channelName, row->command, value, Record::kYes);
  } else {
    SendLine(exchange, row->command, value, Record::kYes);
  }
  return exchange.status();
}

ReadAttrViString_CallbackPtr ReadCallback(ReadShape shape) {
  switch (shape) {
    case ReadShape::kQuery:
      return QueryRead;
    case ReadShape::kDirectQuery:
      return DirectQueryRead;
    case ReadShape::kNone:
      break;
  }
  return nullptr;
}

}  // namespace

ViStatus AddScpiAttribute(ViSession vi, const ScpiAttribute& row) {
  return Ivi_AddAttributeViString(vi, row.id, row.name, row.default_value, row.flags,
                                  ReadCallback(row.read),
                                  row.command != nullptr ? CommandWrite : nullptr);
}

}  // namespace zr48::attributes
