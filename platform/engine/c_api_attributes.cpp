// The C interface for adding, reading, writing and checking attributes.
#include <string>

#include "engine/attribute_access.h"
#include "engine/buffer_rule.h"
#include "engine/guarded.h"
#include "engine/session.h"
#include "engine/session_registry.h"

using namespace zr48::engine;

namespace {

constexpr const char* kNullValue = "Null address for the attribute value";

template <class T, class Read, class Write>
ViStatus add(ViSession vi, ViAttr id, ViConstString name, T defaultValue, IviAttrFlags flags,
             Read read, Write write, IviRangeTablePtr range = nullptr, ViInt32 precision = 0) {
  return guarded([&]() -> ViStatus {
    const LockedSession s(vi);
    if (!s) return s.status();
    return add_attribute<T>(*s, id, name, std::move(defaultValue), flags, erase_callback(read),
                            erase_callback(write), range, precision);
  });
}

template <class T>
ViStatus get(ViSession vi, ViConstString channel, ViAttr id, ViInt32 options, T* value) {
  return guarded([&]() -> ViStatus {
    const LockedSession s(vi);
    if (!s) return s.status();
    if (value == nullptr) return s->fail(IVI_ERROR_INVALID_PARAMETER, kNullValue);
    return get_attribute<T>(*s, channel, id, options, *value);
  });
}

template <class T>
ViStatus set(ViSession vi, ViConstString channel, ViAttr id, ViInt32 options, T value) {
  return guarded([&]() -> ViStatus {
    const LockedSession s(vi);
    if (!s) return s.status();
    return set_attribute<T>(*s, channel, id, options, std::move(value));
  });
}

template <class T>
ViStatus check(ViSession vi, ViConstString channel, ViAttr id, ViInt32 options, const T& value) {
  return guarded([&]() -> ViStatus {
    const LockedSession s(vi);
    if (!s) return s.status();
    return check_attribute<T>(*s, channel, id, options, value);
  });
}

std::string text_of(ViConstString value) {
  return value != nullptr ? value : "";
}

// A null text to set or check is the caller's mistake, not an empty value: it is refused and
// recorded, so that nothing is written to the instrument in its place.
ViStatus refuse_null_text(ViSession vi) {
  return guarded([&]() -> ViStatus {
    const LockedSession s(vi);
    if (!s) return s.status();
    return s->fail(IVI_ERROR_INVALID_PARAMETER, kNullValue);
  });
}

// The error attributes can be read without a session: then they report the thread's
// information, as GetError(VI_NULL) needs after a failed initialisation.
bool is_thread_error_read(ViSession vi, ViAttr id) {
  return vi == VI_NULL && (id == IVI_ATTR_PRIMARY_ERROR || id == IVI_ATTR_SECONDARY_ERROR ||
                           id == IVI_ATTR_ERROR_ELABORATION);
}

}  // namespace

extern "C" {

ViStatus Ivi_AddAttributeViInt32(ViSession vi, ViAttr attributeId, ViConstString attributeName,
                                 ViInt32 defaultValue, IviAttrFlags flags,
                                 ReadAttrViInt32_CallbackPtr readCallback,
                                 WriteAttrViInt32_CallbackPtr writeCallback,
                                 IviRangeTablePtr rangeTable) {
  return add<ViInt32>(vi, attributeId, attributeName, defaultValue, flags, readCallback,
                      writeCallback, rangeTable);
}

ViStatus Ivi_AddAttributeViReal64(ViSession vi, ViAttr attributeId, ViConstString attributeName,
                                  ViReal64 defaultValue, IviAttrFlags flags,
                                  ReadAttrViReal64_CallbackPtr readCallback,
                                  WriteAttrViReal64_CallbackPtr writeCallback,
                                  IviRangeTablePtr rangeTable, ViInt32 comparePrecision) {
  return add<ViReal64>(vi, attributeId, attributeName, defaultValue, flags, readCallback,
                       writeCallback, rangeTable, comparePrecision);
}

ViStatus Ivi_AddAttributeViString(ViSession vi, ViAttr attributeId, ViConstString attributeName,
                                  ViConstString defaultValue, IviAttrFlags flags,
                                  ReadAttrViString_CallbackPtr readCallback,
                                  WriteAttrViString_CallbackPtr writeCallback) {
  return add<std::string>(vi, attributeId, attributeName, text_of(defaultValue), flags,
                          readCallback, writeCallback);
}

ViStatus Ivi_AddAttributeViBoolean(ViSession vi, ViAttr attributeId, ViConstString attributeName,
                                   ViBoolean defaultValue, IviAttrFlags flags,
                                   ReadAttrViBoolean_CallbackPtr readCallback,
                                   WriteAttrViBoolean_CallbackPtr writeCallback) {
  return add<ViBoolean>(vi, attributeId, attributeName, defaultValue, flags, readCallback,
                        writeCallback);
}

ViStatus Ivi_SetAttrReadCallbackViString(ViSession vi, ViAttr attributeId,
                                         ReadAttrViString_CallbackPtr readCallback) {
  return guarded([&]() -> ViStatus {
    const LockedSession s(vi);
    if (!s) return s.status();
    return set_string_read_callback(*s, attributeId, erase_callback(readCallback));
  });
}

ViStatus Ivi_GetAttributeFlags(ViSession vi, ViAttr attributeId, IviAttrFlags* flags) {
  return guarded([&]() -> ViStatus {
    const LockedSession s(vi);
    if (!s) return s.status();
    if (flags == nullptr) return s->fail(IVI_ERROR_INVALID_PARAMETER, "Null address for flags");
    return get_attribute_flags(*s, attributeId, *flags);
  });
}

ViStatus Ivi_SetAttributeFlags(ViSession vi, ViAttr attributeId, IviAttrFlags flags) {
  return guarded([&]() -> ViStatus {
    const LockedSession s(vi);
    if (!s) return s.status();
    return set_attribute_flags(*s, attributeId, flags);
  });
}

ViStatus Ivi_SetAttributeViInt32(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                 ViInt32 optionFlags, ViInt32 value) {
  return set<ViInt32>(vi, channelName, attributeId, optionFlags, value);
}

ViStatus Ivi_SetAttributeViReal64(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                  ViInt32 optionFlags, ViReal64 value) {
  return set<ViReal64>(vi, channelName, attributeId, optionFlags, value);
}

ViStatus Ivi_SetAttributeViString(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                  ViInt32 optionFlags, ViConstString value) {
  if (value == nullptr) return refuse_null_text(vi);
  return set<std::string>(vi, channelName, attributeId, optionFlags, value);
}

ViStatus Ivi_SetAttributeViBoolean(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                   ViInt32 optionFlags, ViBoolean value) {
  return set<ViBoolean>(vi, channelName, attributeId, optionFlags, value);
}

ViStatus Ivi_SetAttributeViSession(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                   ViInt32 optionFlags, ViSession value) {
  return set<ViSession>(vi, channelName, attributeId, optionFlags, value);
}

ViStatus Ivi_SetAttributeViAddr(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                ViInt32 optionFlags, ViAddr value) {
  return set<ViAddr>(vi, channelName, attributeId, optionFlags, value);
}

ViStatus Ivi_GetAttributeViInt32(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                 ViInt32 optionFlags, ViInt32* value) {
  if (is_thread_error_read(vi, attributeId) && attributeId != IVI_ATTR_ERROR_ELABORATION) {
    if (value == nullptr) return IVI_ERROR_INVALID_PARAMETER;
    const ErrorInfo& info = thread_error_info();
    *value = attributeId == IVI_ATTR_PRIMARY_ERROR ? info.primary : info.secondary;
    return VI_SUCCESS;
  }
  return get<ViInt32>(vi, channelName, attributeId, optionFlags, value);
}

ViStatus Ivi_GetAttributeViReal64(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                  ViInt32 optionFlags, ViReal64* value) {
  return get<ViReal64>(vi, channelName, attributeId, optionFlags, value);
}

ViStatus Ivi_GetAttributeViString(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                  ViInt32 optionFlags, ViInt32 bufSize, ViChar value[]) {
  return guarded([&]() -> ViStatus {
    if (is_thread_error_read(vi, attributeId) && attributeId == IVI_ATTR_ERROR_ELABORATION) {
      return copy_with_buffer_rule(thread_error_info().elaboration, bufSize, value);
    }
    const LockedSession s(vi);
    if (!s) return s.status();
    if (value == nullptr && bufSize != 0) return s->fail(IVI_ERROR_INVALID_PARAMETER, kNullValue);
    std::string text;
    const ViStatus status =
        get_attribute<std::string>(*s, channelName, attributeId, optionFlags, text);
    if (status < 0) return status;
    return copy_with_buffer_rule(text, bufSize, value);
  });
}

ViStatus Ivi_GetAttributeViBoolean(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                   ViInt32 optionFlags, ViBoolean* value) {
  return get<ViBoolean>(vi, channelName, attributeId, optionFlags, value);
}

ViStatus Ivi_GetAttributeViSession(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                   ViInt32 optionFlags, ViSession* value) {
  return get<ViSession>(vi, channelName, attributeId, optionFlags, value);
}

ViStatus Ivi_CheckAttributeViInt32(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                   ViInt32 optionFlags, ViInt32 value) {
  return check<ViInt32>(vi, channelName, attributeId, optionFlags, value);
}

ViStatus Ivi_CheckAttributeViReal64(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                    ViInt32 optionFlags, ViReal64 value) {
  return check<ViReal64>(vi, channelName, attributeId, optionFlags, value);
}

ViStatus Ivi_CheckAttributeViString(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                    ViInt32 optionFlags, ViConstString value) {
  if (value == nullptr) return refuse_null_text(vi);
  return check<std::string>(vi, channelName, attributeId, optionFlags, value);
}

ViStatus Ivi_CheckAttributeViBoolean(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                     ViInt32 optionFlags, ViBoolean value) {
  return check<ViBoolean>(vi, channelName, attributeId, optionFlags, value);
}

ViStatus Ivi_CheckAttributeViSession(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                     ViInt32 optionFlags, ViSession value) {
  return check<ViSession>(vi, channelName, attributeId, optionFlags, value);
}

ViStatus Ivi_SetValInStringCallback(ViSession vi, ViAttr attributeId, ViConstString value) {
  return guarded([&]() -> ViStatus {
    const LockedSession s(vi);
    if (!s) return s.status();
    return set_val_in_string_callback(*s, attributeId, value);
  });
}

ViStatus Ivi_InvalidateAttribute(ViSession vi, ViConstString channelName, ViAttr attributeId) {
  return guarded([&]() -> ViStatus {
    const LockedSession s(vi);
    if (!s) return s.status();
    return invalidate_attribute(*s, channelName, attributeId);
  });
}

ViStatus Ivi_InvalidateAllAttributes(ViSession vi) {
  return guarded([&]() -> ViStatus {
    const LockedSession s(vi);
    if (!s) return s.status();
    invalidate_all_attributes(*s);
    return VI_SUCCESS;
  });
}

}  // extern "C"
