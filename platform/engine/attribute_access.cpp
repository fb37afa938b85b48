#include "engine/attribute_access.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>

namespace zr48::engine {
namespace {

enum class Access { Read, Write, Check };

bool isUserCall(ViInt32 options) {
  return (options & IVI_VAL_DIRECT_USER_CALL) != 0;
}
bool isEmptyName(const char* name) {
  return name == nullptr || *name == '\0';
}

// The engine keeps error information, not cached values, behind these three attributes.
bool isErrorAttribute(ViAttr id) {
  constexpr ViAttr first = IVI_ATTR_PRIMARY_ERROR;
  constexpr ViAttr last = IVI_ATTR_ERROR_ELABORATION;
  return id >= first && id <= last;
}

std::string channelText(const char* channel) {
  if (channel == nullptr) return "VI_NULL";
  std::string text(1, '\'');
  text += channel;
  text += '\'';
  return text;
}

// Finds the attribute and checks type, flags and channel; on success `a` and `index` name the
// value to use.
ViStatus resolve(Session& s, const char* channel, ViAttr id, ViInt32 options, Access access,
                 ValueType type, Attribute*& a, int& index) {
  a = s.attributes.find(id);
  if (a == nullptr) {
    return s.fail(IVI_ERROR_INVALID_ATTRIBUTE,
                  "Attribute ID " + std::to_string(id) + " is not recognized");
  }
  if (a->type != type) {
    const char* verb = access == Access::Read ? "Get" : access == Access::Write ? "Set" : "Check";
    return s.fail(IVI_ERROR_TYPES_DO_NOT_MATCH,
                  std::string(verb) + "Attribute" + typeName(type) + " called for attribute " +
                      describeAttribute(*a) + " of type " + typeName(a->type));
  }
  if (a->has(IVI_VAL_NOT_SUPPORTED)) {
    return s.fail(IVI_ERROR_ATTRIBUTE_NOT_SUPPORTED,
                  "Attribute " + describeAttribute(*a) + " is not supported");
  }
  if (access == Access::Read) {
    if (a->has(IVI_VAL_NOT_READABLE) ||
        (isUserCall(options) && a->has(IVI_VAL_NOT_USER_READABLE))) {
      return s.fail(IVI_ERROR_ATTR_NOT_READABLE,
                    "Attribute " + describeAttribute(*a) + " is not readable");
    }
  } else if (a->has(IVI_VAL_NOT_WRITABLE) ||
             (isUserCall(options) && a->has(IVI_VAL_NOT_USER_WRITABLE))) {
    return s.fail(IVI_ERROR_ATTR_NOT_WRITEABLE,
                  "Attribute " + describeAttribute(*a) + " is not writable");
  }
  if (!a->multiChannel()) {
    if (!isEmptyName(channel)) {
      return s.fail(IVI_ERROR_CHANNEL_NAME_NOT_ALLOWED,
                    "Attribute " + describeAttribute(*a) + " is not channel-based; channel " +
                        channelText(channel) + " is not allowed");
    }
    index = 0;
    return VI_SUCCESS;
  }
  if (isEmptyName(channel)) {
    return s.fail(IVI_ERROR_CHANNEL_NAME_REQUIRED,
                  "Attribute " + describeAttribute(*a) + " needs a channel name");
  }
  index = s.channels.find(channel);
  if (index == ChannelTable::kUnknown) {
    return s.fail(IVI_ERROR_UNKNOWN_CHANNEL_NAME, "Unknown channel name " + channelText(channel) +
                                                      " for attribute " + describeAttribute(*a));
  }
  return VI_SUCCESS;
}

const char* callbackChannel(const Session& s, const Attribute& a, int index) {
  return a.multiChannel() ? s.channels.physicalName(index).c_str() : "";
}

bool callbacksRun(const Session& s, const Attribute& a) {
  return !s.simulate.load(std::memory_order_relaxed) || a.has(IVI_VAL_USE_CALLBACKS_FOR_SIMULATION);
}

bool cacheApplies(const Session& s, const Attribute& a) {
  if (a.has(IVI_VAL_NEVER_CACHE)) return false;
  return a.has(IVI_VAL_ALWAYS_CACHE) || s.cache.load(std::memory_order_relaxed);
}

// After a user's call that ran a callback: the instrument-status check, if it is due.
ViStatus checkStatusAfterUserCall(Session& s, const Attribute& a, ViInt32 options) {
  if (!isUserCall(options) || !s.queryInstrStatus || !s.needToCheckStatus || s.simulate ||
      a.has(IVI_VAL_DONT_CHECK_STATUS)) {
    return VI_SUCCESS;
  }
  if (const Attribute* hook = s.attributes.find(IVI_ATTR_CHECK_STATUS_CALLBACK)) {
    if (const ViAddr addr = std::get<ViAddr>(hook->values.front().value)) {
      const auto callback = reinterpret_cast<IviCheckStatusCallbackPtr>(addr);
      const ViStatus status = callback(s.handle(), s.ioSession.load());
      if (status < 0) return status;
    }
  }
  s.needToCheckStatus = false;
  return VI_SUCCESS;
}

void store(Session& s, Attribute& a, int index, Value value) {
  CachedValue& cached = a.values[index];
  cached.value = std::move(value);
  cached.valid = true;
  s.mirror(a);
}

template <class T>
ViStatus runReadCallback(Session& s, Attribute& a, int index) {
  CachedValue& cached = a.values[index];
  T copy = std::get<T>(cached.value);
  const auto callback = restoreCallback<typename ValueTraits<T>::Read>(a.read);
  const ViStatus status =
      callback(s.handle(), s.ioSession.load(), callbackChannel(s, a, index), a.id, &copy);
  if (status < 0) {
    cached.valid = false;
    return status;
  }
  store(s, a, index, Value(std::in_place_type<T>, copy));
  return status;
}

template <>
ViStatus runReadCallback<std::string>(Session& s, Attribute& a, int index) {
  const std::string current = std::get<std::string>(a.values[index].value);
  const size_t frame = s.stringReads.size();
  s.stringReads.push_back({a.id, index, std::nullopt});
  const auto callback = restoreCallback<ReadAttrViString_CallbackPtr>(a.read);
  const ViStatus status =
      callback(s.handle(), s.ioSession.load(), callbackChannel(s, a, index), a.id, current.c_str());
  std::optional<std::string> value = std::move(s.stringReads[frame].value);
  s.stringReads.resize(frame);
  if (status < 0) {
    a.values[index].valid = false;
    return status;
  }
  store(s, a, index, value ? Value(std::move(*value)) : Value(current));
  return status;
}

template <class T>
ViStatus readErrorAttribute(Session& s, ViAttr id, T& out) {
  const ErrorInfo info = s.errors.snapshot();
  if constexpr (std::is_same_v<T, ViInt32>) {
    out = id == IVI_ATTR_PRIMARY_ERROR ? info.primary : info.secondary;
  } else if constexpr (std::is_same_v<T, std::string>) {
    out = info.elaboration;
  }
  return VI_SUCCESS;
}

template <class T>
void writeErrorAttribute(Session& s, ViAttr id, const T& value) {
  ErrorInfo info = s.errors.take();
  if constexpr (std::is_same_v<T, ViInt32>) {
    (id == IVI_ATTR_PRIMARY_ERROR ? info.primary : info.secondary) = value;
  } else if constexpr (std::is_same_v<T, std::string>) {
    info.elaboration = value;
  }
  s.errors.record(true, info.primary, info.secondary, info.elaboration.c_str());
}

std::string formatNumber(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.15g", value);
  return text;
}

// The range check of a numeric value; `value` becomes the coerced value.
template <class T>
ViStatus rangeCheck(Session& s, const Attribute& a, int index, T& value, bool record) {
  if constexpr (std::is_same_v<T, ViInt32> || std::is_same_v<T, ViReal64>) {
    if (!a.range) return VI_SUCCESS;
    double result = 0;
    if (!checkRange(*a.range, static_cast<double>(value), result)) {
      std::string where =
          a.multiChannel() ? " on channel '" + s.channels.physicalName(index) + "'" : "";
      return s.fail(IVI_ERROR_INVALID_VALUE, "Invalid value " +
                                                 formatNumber(static_cast<double>(value)) +
                                                 " for attribute " + describeAttribute(a) + where);
    }
    T coerced = value;
    if constexpr (std::is_same_v<T, ViInt32>) {
      coerced = static_cast<ViInt32>(std::llround(result));
    } else {
      coerced = result;
    }
    if (record && coerced != value && s.recordCoercions) {
      std::string where = a.multiChannel() ? " on channel " + s.channels.physicalName(index) : "";
      s.coercions.push("Attribute " + a.name + where + " was coerced from " +
                       formatNumber(static_cast<double>(value)) + " to " +
                       formatNumber(static_cast<double>(coerced)) + ".");
    }
    value = coerced;
  }
  return VI_SUCCESS;
}

}  // namespace

std::string describeAttribute(const Attribute& a) {
  return a.name.empty() ? std::to_string(a.id) : a.name + " (" + std::to_string(a.id) + ")";
}

template <class T>
ViStatus getAttribute(Session& s, const char* channel, ViAttr id, ViInt32 options, T& out) {
  Attribute* a = nullptr;
  int index = 0;
  ViStatus status = resolve(s, channel, id, options, Access::Read, ValueTraits<T>::type, a, index);
  if (status < 0) return status;
  if constexpr (std::is_same_v<T, ViInt32> || std::is_same_v<T, std::string>) {
    if (isErrorAttribute(id)) return readErrorAttribute(s, id, out);
  }
  const CachedValue& cached = a->values[index];
  if (a->read != nullptr && (!cached.valid || !cacheApplies(s, *a)) && callbacksRun(s, *a)) {
    status = runReadCallback<T>(s, *a, index);
    if (status < 0) return status;
    out = std::get<T>(cached.value);
    const ViStatus check = checkStatusAfterUserCall(s, *a, options);
    return check < 0 ? check : status;
  }
  out = std::get<T>(cached.value);
  return VI_SUCCESS;
}

template <class T>
ViStatus setAttribute(Session& s, const char* channel, ViAttr id, ViInt32 options, T value) {
  Attribute* a = nullptr;
  int index = 0;
  ViStatus status = resolve(s, channel, id, options, Access::Write, ValueTraits<T>::type, a, index);
  if (status < 0) return status;
  if constexpr (std::is_same_v<T, ViBoolean>) {
    if (id == IVI_ATTR_SIMULATE && isUserCall(options) && s.created &&
        (value != VI_FALSE) != s.simulate.load()) {
      return s.fail(IVI_ERROR_CANNOT_CHANGE_SIMULATION_STATE,
                    "The simulation state cannot be changed after the session is created");
    }
  }
  if (s.rangeCheck.load(std::memory_order_relaxed)) {
    status = rangeCheck(s, *a, index, value, true);
    if (status < 0) return status;
  }
  if constexpr (std::is_same_v<T, ViInt32> || std::is_same_v<T, std::string>) {
    if (isErrorAttribute(id)) {
      writeErrorAttribute(s, id, value);
      return VI_SUCCESS;
    }
  }
  if ((options & IVI_VAL_SET_CACHE_ONLY) != 0 || a->write == nullptr || !callbacksRun(s, *a)) {
    store(s, *a, index, Value(std::in_place_type<T>, std::move(value)));
    return VI_SUCCESS;
  }
  const auto callback = restoreCallback<typename ValueTraits<T>::Write>(a->write);
  if constexpr (std::is_same_v<T, std::string>) {
    status =
        callback(s.handle(), s.ioSession.load(), callbackChannel(s, *a, index), id, value.c_str());
  } else {
    status = callback(s.handle(), s.ioSession.load(), callbackChannel(s, *a, index), id, value);
  }
  if (status < 0) {
    a->values[index].valid = false;
    return status;
  }
  store(s, *a, index, Value(std::in_place_type<T>, std::move(value)));
  const ViStatus check = checkStatusAfterUserCall(s, *a, options);
  return check < 0 ? check : status;
}

template <class T>
ViStatus checkAttribute(Session& s, const char* channel, ViAttr id, ViInt32 options,
                        const T& value) {
  Attribute* a = nullptr;
  int index = 0;
  const ViStatus status =
      resolve(s, channel, id, options, Access::Check, ValueTraits<T>::type, a, index);
  if (status < 0) return status;
  T copy = value;
  return rangeCheck(s, *a, index, copy, false);
}

template <class T>
ViStatus addAttribute(Session& s, ViAttr id, const char* name, T defaultValue, IviAttrFlags flags,
                      AnyCallback read, AnyCallback write, const IviRangeTable* range,
                      ViInt32 comparePrecision) {
  const std::string label = name != nullptr && *name != '\0'
                                ? std::string(name) + " (" + std::to_string(id) + ")"
                                : std::to_string(id);
  if (s.attributes.find(id) != nullptr) {
    return s.fail(IVI_ERROR_ITEM_ALREADY_EXISTS, "Attribute " + label + " already exists");
  }
  if ((flags & IVI_VAL_MULTI_CHANNEL) != 0 && !s.channels.built()) {
    return s.fail(IVI_ERROR_NO_CHANNEL_TABLE,
                  "Multi-channel attribute " + label + " added before the channel table");
  }
  Attribute a;
  a.id = id;
  a.name = name != nullptr ? name : "";
  a.type = ValueTraits<T>::type;
  a.flags = flags;
  a.read = read;
  a.write = write;
  a.comparePrecision = comparePrecision;
  if (range != nullptr) {
    a.range = copyRangeTable(*range);
    if (!a.range) {
      return s.fail(IVI_ERROR_INVALID_PARAMETER, "Invalid range table for attribute " + label);
    }
  }
  const size_t count = a.multiChannel() ? static_cast<size_t>(s.channels.count()) : 1;
  a.values.assign(count, CachedValue{Value(std::in_place_type<T>, std::move(defaultValue)), false});
  s.mirror(s.attributes.add(std::move(a)));
  return VI_SUCCESS;
}

ViStatus setStringReadCallback(Session& s, ViAttr id, AnyCallback callback) {
  Attribute* a = s.attributes.find(id);
  if (a == nullptr) {
    return s.fail(IVI_ERROR_INVALID_ATTRIBUTE,
                  "Attribute ID " + std::to_string(id) + " is not recognized");
  }
  if (a->type != ValueType::String) {
    return s.fail(IVI_ERROR_TYPES_DO_NOT_MATCH,
                  "Attribute " + describeAttribute(*a) + " is not a ViString attribute");
  }
  a->read = callback;
  return VI_SUCCESS;
}

ViStatus getAttributeFlags(Session& s, ViAttr id, IviAttrFlags& flags) {
  const Attribute* a = s.attributes.find(id);
  if (a == nullptr) {
    return s.fail(IVI_ERROR_INVALID_ATTRIBUTE,
                  "Attribute ID " + std::to_string(id) + " is not recognized");
  }
  flags = a->flags;
  return VI_SUCCESS;
}

ViStatus setAttributeFlags(Session& s, ViAttr id, IviAttrFlags flags) {
  Attribute* a = s.attributes.find(id);
  if (a == nullptr) {
    return s.fail(IVI_ERROR_INVALID_ATTRIBUTE,
                  "Attribute ID " + std::to_string(id) + " is not recognized");
  }
  if (((a->flags ^ flags) & IVI_VAL_MULTI_CHANNEL) != 0) {
    return s.fail(IVI_ERROR_INVALID_PARAMETER, "The multi-channel flag of attribute " +
                                                   describeAttribute(*a) + " cannot change");
  }
  a->flags = flags;
  return VI_SUCCESS;
}

ViStatus invalidateAttribute(Session& s, const char* channel, ViAttr id) {
  Attribute* a = s.attributes.find(id);
  if (a == nullptr) {
    return s.fail(IVI_ERROR_INVALID_ATTRIBUTE,
                  "Attribute ID " + std::to_string(id) + " is not recognized");
  }
  if (a->has(IVI_VAL_NOT_SUPPORTED)) {
    return s.fail(IVI_ERROR_ATTRIBUTE_NOT_SUPPORTED,
                  "Attribute " + describeAttribute(*a) + " is not supported");
  }
  const bool all = channel != nullptr && std::string_view(channel) == IVI_VAL_ALL_CHANNELS;
  if (all || !a->multiChannel()) {
    if (!all && !isEmptyName(channel)) {
      return s.fail(IVI_ERROR_CHANNEL_NAME_NOT_ALLOWED,
                    "Attribute " + describeAttribute(*a) + " is not channel-based; channel " +
                        channelText(channel) + " is not allowed");
    }
    for (CachedValue& v : a->values) v.valid = false;
    return VI_SUCCESS;
  }
  int index = 0;
  const ViStatus status = resolve(s, channel, id, 0, Access::Check, a->type, a, index);
  if (status < 0) return status;
  a->values[index].valid = false;
  return VI_SUCCESS;
}

void invalidateAllAttributes(Session& s) {
  s.attributes.forEach([](Attribute& a) {
    for (CachedValue& v : a.values) v.valid = false;
  });
}

ViStatus setValInStringCallback(Session& s, ViAttr id, const char* value) {
  for (auto frame = s.stringReads.rbegin(); frame != s.stringReads.rend(); ++frame) {
    if (frame->id == id) {
      frame->value = value != nullptr ? value : "";
      return VI_SUCCESS;
    }
  }
  return s.fail(IVI_ERROR_INVALID_PARAMETER, "Ivi_SetValInStringCallback for attribute " +
                                                 std::to_string(id) +
                                                 " outside that attribute's read callback");
}

// T names a type in template arguments, where parentheses cannot go.
// NOLINTBEGIN(bugprone-macro-parentheses)
#define ZR48_INSTANTIATE(T)                                                                      \
  template ViStatus getAttribute<T>(Session&, const char*, ViAttr, ViInt32, T&);                 \
  template ViStatus setAttribute<T>(Session&, const char*, ViAttr, ViInt32, T);                  \
  template ViStatus checkAttribute<T>(Session&, const char*, ViAttr, ViInt32, const T&);         \
  template ViStatus addAttribute<T>(Session&, ViAttr, const char*, T, IviAttrFlags, AnyCallback, \
                                    AnyCallback, const IviRangeTable*, ViInt32);
ZR48_INSTANTIATE(ViInt32)
ZR48_INSTANTIATE(ViReal64)
ZR48_INSTANTIATE(std::string)
ZR48_INSTANTIATE(ViBoolean)
ZR48_INSTANTIATE(ViSession)
ZR48_INSTANTIATE(ViAddr)
#undef ZR48_INSTANTIATE
// NOLINTEND(bugprone-macro-parentheses)

}  // namespace zr48::engine
