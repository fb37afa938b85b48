#include "engine/session.h"

namespace zr48::engine {

Session::Session(ViSession handle, std::string prefix)
    : handle_(handle), prefix_(std::move(prefix)) {}

Session::~Session() {
  close_resource_manager();
}

ViStatus Session::close_resource_manager() {
  Attribute* rm = attributes.find(IVI_ATTR_VISA_RM_SESSION);
  if (rm == nullptr) return VI_SUCCESS;
  auto* value = std::get_if<ViSession>(&rm->values.front().value);
  if (value == nullptr) return VI_SUCCESS;
  const ViSession session = *value;
  *value = VI_NULL;
  return session == VI_NULL ? VI_SUCCESS : visa->close(session);
}

void Session::mirror(const Attribute& attribute) {
  const Value& v = attribute.values.front().value;
  switch (attribute.id) {
    case IVI_ATTR_SIMULATE:
      simulate = std::get<ViBoolean>(v) != VI_FALSE;
      break;
    case IVI_ATTR_RANGE_CHECK:
      range_check = std::get<ViBoolean>(v) != VI_FALSE;
      break;
    case IVI_ATTR_QUERY_INSTRUMENT_STATUS:
      query_instr_status = std::get<ViBoolean>(v) != VI_FALSE;
      break;
    case IVI_ATTR_CACHE:
      cache = std::get<ViBoolean>(v) != VI_FALSE;
      break;
    case IVI_ATTR_RECORD_COERCIONS:
      record_coercions = std::get<ViBoolean>(v) != VI_FALSE;
      break;
    case IVI_ATTR_IO_SESSION:
      io_session = std::get<ViSession>(v);
      break;
    default:
      break;
  }
}

}  // namespace zr48::engine
