#include "engine/session.h"

#include <cstring>

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

ViStatus Session::coerce_channel_name(ViConstString name, ViConstString* coerced) {
  if (name == nullptr || coerced == nullptr) {
    return fail(IVI_ERROR_INVALID_PARAMETER, "Null address for a channel name");
  }
  const int index = *name == '\0' ? ChannelTable::kUnknown : channels.find(name);
  if (index == ChannelTable::kUnknown) {
    // A long name is cut, so that the valid names still fit the 256-byte elaboration.
    constexpr std::size_t kShown = 40;
    std::string shown(name, ::strnlen(name, kShown + 1));
    if (shown.size() > kShown) shown.replace(kShown, std::string::npos, "...");
    return fail(IVI_ERROR_BAD_CHANNEL_NAME,
                "Channel name '" + shown + "' is not one of " + channels.describe_names());
  }
  *coerced = channels.physical_name(index).c_str();
  return VI_SUCCESS;
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
