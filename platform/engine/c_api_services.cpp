// The C interface for the channel table, the default set-up, coercion and interchange records,
// raw instrument I/O and the engine's description.
#include <climits>
#include <cstring>
#include <string>

#include "engine/attribute_access.h"
#include "engine/buffer_rule.h"
#include "engine/engine_info.h"
#include "engine/guarded.h"
#include "engine/logical_names.h"
#include "engine/session.h"
#include "engine/session_registry.h"
#include "visa/visa.h"

using namespace zr48::engine;

namespace {

// Sets one default set-up value, converted to the attribute's type.
ViStatus apply_setting(Session& s, const DefaultSetupEntry& entry) {
  Attribute* a = entry.attribute_name.empty() ? s.attributes.find(entry.attribute_id)
                                              : s.attributes.find_by_name(entry.attribute_name);
  if (a == nullptr) {
    return s.fail(IVI_ERROR_UNKNOWN_DEFAULT_SETUP_ATTR,
                  "Default set-up: unknown " + entry.describe());
  }
  const char* channel = entry.channel.c_str();
  const auto* b = std::get_if<bool>(&entry.value);
  const auto* i = std::get_if<std::int64_t>(&entry.value);
  const auto* d = std::get_if<double>(&entry.value);
  const auto* text = std::get_if<std::string>(&entry.value);
  ViStatus status = IVI_ERROR_INVALID_DEFAULT_SETUP_VAL;
  switch (a->type) {
    case ValueType::kInt32:
      if (i != nullptr && *i >= INT32_MIN && *i <= INT32_MAX) {
        status = set_attribute<ViInt32>(s, channel, a->id, 0, static_cast<ViInt32>(*i));
      }
      break;
    case ValueType::kReal64:
      if (d != nullptr || i != nullptr) {
        status = set_attribute<ViReal64>(s, channel, a->id, 0,
                                         d != nullptr ? *d : static_cast<double>(*i));
      }
      break;
    case ValueType::kBoolean:
      if (b != nullptr) {
        status = set_attribute<ViBoolean>(s, channel, a->id, 0, *b ? VI_TRUE : VI_FALSE);
      }
      break;
    case ValueType::kString:
      if (text != nullptr) status = set_attribute<std::string>(s, channel, a->id, 0, *text);
      break;
    default:
      break;
  }
  if (status == IVI_ERROR_INVALID_DEFAULT_SETUP_VAL || status == IVI_ERROR_INVALID_VALUE) {
    const std::string elaboration =
        "Default set-up: invalid value for " + entry.describe() + " of type " + type_name(a->type);
    s.errors.record(true, IVI_ERROR_INVALID_DEFAULT_SETUP_VAL, VI_SUCCESS, elaboration.c_str());
    return IVI_ERROR_INVALID_DEFAULT_SETUP_VAL;
  }
  return status;
}

constexpr const char* kDescription =
    "ZR48 attribute engine %s: IVI-C engine services (sessions, typed and per-channel "
    "attributes, caching, range checking, simulation, error information, a nestable session "
    "lock, option strings and logical names). Defaults: RangeCheck on, Cache on, "
    "QueryInstrStatus off, Simulate off, RecordCoercions off, InterchangeCheck off. Logical "
    "names are read from %s (set by the %s environment variable; default %s).";

}  // namespace

extern "C" {

ViStatus Ivi_BuildChannelTable(ViSession vi, ViConstString defaultChannelList,
                               ViBoolean allowUnknownChannelNames, ViAddr /*reserved*/) {
  return guarded([&]() -> ViStatus {
    const LockedSession s(vi);
    if (!s) return s.status();
    if (defaultChannelList == nullptr) {
      return s->fail(IVI_ERROR_INVALID_PARAMETER, "Null address for the channel list");
    }
    if (s->channels.built()) {
      return s->fail(IVI_ERROR_ITEM_ALREADY_EXISTS, "The channel table has already been built");
    }
    ChannelTable table;
    std::string elaboration;
    ViStatus status = table.build(defaultChannelList, elaboration);
    if (status >= 0 && s->logical_name) {
      status = table.set_virtual_names(s->logical_name->virtual_channels,
                                       allowUnknownChannelNames != VI_FALSE, elaboration);
    }
    if (status < 0) return s->fail(status, elaboration);
    const ViInt32 count = table.count();
    s->channels = std::move(table);
    s->allow_unknown_channels = allowUnknownChannelNames != VI_FALSE;
    return set_attribute<ViInt32>(*s, nullptr, IVI_ATTR_CHANNEL_COUNT, 0, count);
  });
}

ViStatus Ivi_ApplyDefaultSetup(ViSession vi) {
  return guarded([&]() -> ViStatus {
    const LockedSession s(vi);
    if (!s) return s.status();
    if (!s->logical_name) return VI_SUCCESS;
    for (const DefaultSetupEntry& entry : s->logical_name->default_setup) {
      const ViStatus status = apply_setting(*s, entry);
      if (status < 0) return status;
    }
    return VI_SUCCESS;
  });
}

ViStatus Ivi_GetNthChannelString(ViSession vi, ViInt32 index, ViConstString* channelString) {
  return guarded([&]() -> ViStatus {
    const LockedSession s(vi);
    if (!s) return s.status();
    if (channelString == nullptr) {
      return s->fail(IVI_ERROR_INVALID_PARAMETER, "Null address for the channel string");
    }
    if (index < 1) {
      return s->fail(IVI_ERROR_INDEX_IS_ONE_BASED,
                     "Channel index " + std::to_string(index) + " is below 1");
    }
    if (index > s->channels.count()) {
      return s->fail(IVI_ERROR_INDEX_IS_TOO_HIGH, "Channel index " + std::to_string(index) +
                                                      " is above the channel count " +
                                                      std::to_string(s->channels.count()));
    }
    *channelString = s->channels.physical_name(index - 1).c_str();
    return VI_SUCCESS;
  });
}

ViStatus Ivi_GetUserChannelName(ViSession vi, ViConstString channelName,
                                ViConstString* userChannelName) {
  return guarded([&]() -> ViStatus {
    const LockedSession s(vi);
    if (!s) return s.status();
    if (channelName == nullptr || userChannelName == nullptr) {
      return s->fail(IVI_ERROR_INVALID_PARAMETER, "Null address for a channel name");
    }
    const int index = s->channels.find(channelName);
    if (index == ChannelTable::kUnknown) {
      return s->fail(IVI_ERROR_UNKNOWN_CHANNEL_NAME,
                     "Unknown channel name '" + std::string(channelName) + "'");
    }
    *userChannelName = s->channels.user_name(index).c_str();
    return VI_SUCCESS;
  });
}

ViStatus Ivi_CoerceChannelName(ViSession vi, ViConstString channelName,
                               ViConstString* coercedChannelName) {
  return guarded([&]() -> ViStatus {
    const LockedSession s(vi);
    if (!s) return s.status();
    return s->coerce_channel_name(channelName, coercedChannelName);
  });
}

ViStatus Ivi_GetNextCoercionString(ViSession vi, ViInt32 bufferSize, ViChar coercionRecord[]) {
  return guarded([&]() -> ViStatus {
    const LockedSession s(vi);
    if (!s) return s.status();
    const ViStatus status = s->coercions.next(bufferSize, coercionRecord);
    return status == IVI_ERROR_INVALID_PARAMETER
               ? s->fail(status, "Null address for the coercion record")
               : status;
  });
}

ViStatus Ivi_GetNextInterchangeCheckString(ViSession vi, ViInt32 bufferSize,
                                           ViChar interchangeWarning[]) {
  return guarded([&]() -> ViStatus {
    const LockedSession s(vi);
    if (!s) return s.status();
    const ViStatus status = s->interchange_warnings.next(bufferSize, interchangeWarning);
    return status == IVI_ERROR_INVALID_PARAMETER
               ? s->fail(status, "Null address for the interchange warning")
               : status;
  });
}

ViStatus Ivi_ResetInterchangeCheck(ViSession vi) {
  // The engine keeps no record of user settings for interchange checks, so there is nothing to
  // forget; the warnings already queued stay.
  const SessionRef ref(vi);
  return ref ? VI_SUCCESS : IVI_ERROR_INVALID_SESSION_HANDLE;
}

ViStatus Ivi_ClearInterchangeWarnings(ViSession vi) {
  return guarded([&]() -> ViStatus {
    const LockedSession s(vi);
    if (!s) return s.status();
    s->interchange_warnings.clear();
    return VI_SUCCESS;
  });
}

ViStatus Ivi_WriteInstrData(ViSession vi, ViConstString writeBuffer) {
  return guarded([&]() -> ViStatus {
    const LockedSession s(vi);
    if (!s) return s.status();
    if (writeBuffer == nullptr) {
      return s->fail(IVI_ERROR_INVALID_PARAMETER, "Null address for the data to write");
    }
    if (s->simulate) return VI_SUCCESS;
    const ViSession io = s->io_session.load();
    if (io == VI_NULL) return s->fail(IVI_ERROR_NOT_INITIALIZED, "No I/O session is open");
    ViUInt32 written = 0;
    const ViStatus status =
        s->visa->write(io, reinterpret_cast<ViConstBuf>(writeBuffer),
                       static_cast<ViUInt32>(std::strlen(writeBuffer)), &written);
    return status < 0 ? s->fail(status, "Writing instrument data failed") : status;
  });
}

ViStatus Ivi_ReadInstrData(ViSession vi, ViInt32 numBytes, ViChar readBuffer[],
                           ViInt32* bytesRead) {
  return guarded([&]() -> ViStatus {
    const LockedSession s(vi);
    if (!s) return s.status();
    if (bytesRead == nullptr || (readBuffer == nullptr && numBytes != 0) || numBytes < 0) {
      return s->fail(IVI_ERROR_INVALID_PARAMETER,
                     "Ivi_ReadInstrData needs a buffer, a byte count of 0 or more and an "
                     "address for the count read");
    }
    *bytesRead = 0;
    if (s->simulate || numBytes == 0) return VI_SUCCESS;
    const ViSession io = s->io_session.load();
    if (io == VI_NULL) return s->fail(IVI_ERROR_NOT_INITIALIZED, "No I/O session is open");
    ViUInt32 count = 0;
    const ViStatus status = s->visa->read(io, reinterpret_cast<ViPBuf>(readBuffer),
                                          static_cast<ViUInt32>(numBytes), &count);
    *bytesRead = static_cast<ViInt32>(count);
    return status < 0 ? s->fail(status, "Reading instrument data failed") : status;
  });
}

ViStatus Ivi_GetEngineDescription(ViInt32 bufferSize, ViChar description[]) {
  return guarded([&]() -> ViStatus {
    const std::string path = configuration_path();
    char text[1024];
    std::snprintf(text, sizeof text, kDescription, engine_revision().c_str(), path.c_str(),
                  kConfigEnvVar, kDefaultConfigPath);
    return copy_with_buffer_rule(text, bufferSize, description);
  });
}

}  // extern "C"
