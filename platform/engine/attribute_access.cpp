#include "engine/attribute_access.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>

namespace zr48::engine {
namespace {

enum class Access { kRead, kWrite, kCheck };

bool is_user_call(ViInt32 options) {
  return (options & IVI_VAL_DIRECT_USER_CALL) != 0;
}
bool is_empty_name(const char* name) {
  return name == nullptr || *name == '\0';
}

// The engine keeps error information, not cached values, behind these three attributes.
bool is_error_attribute(ViAttr id) {
  constexpr ViAttr kFirst = IVI_ATTR_PRIMARY_ERROR;
  constexpr ViAttr kLast = IVI_ATTR_ERROR_ELABORATION;
  return id >= kFirst && id <= kLast;
}

std::string channel_text(const char* channel) {
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
    const char* verb = access == Access::kRead ? "Get" : access == Access::kWrite ? "Set" : "Check";
    return s.fail(IVI_ERROR_TYPES_DO_NOT_MATCH,
                  std::string(verb) + "Attribute" + type_name(type) + " called for attribute " +
                      describe_attribute(*a) + " of type " + type_name(a->type));
  }
  if (a->has(IVI_VAL_NOT_SUPPORTED)) {
    return s.fail(IVI_ERROR_ATTRIBUTE_NOT_SUPPORTED,
                  "Attribute " + describe_attribute(*a) + " is not supported");
  }
  if (access == Access::kRead) {
    if (a->has(IVI_VAL_NOT_READABLE) ||
        (is_user_call(options) && a->has(IVI_VAL_NOT_USER_READABLE))) {
      return s.fail(IVI_ERROR_ATTR_NOT_READABLE,
                    "Attribute " + describe_attribute(*a) + " is not readable");
    }
  } else if (a->has(IVI_VAL_NOT_WRITABLE) ||
             (is_user_call(options) && a->has(IVI_VAL_NOT_USER_WRITABLE))) {
    return s.fail(IVI_ERROR_ATTR_NOT_WRITEABLE,
                  "Attribute " + describe_attribute(*a) + " is not writable");
  }
  if (!a->multi_channel()) {
    if (!is_empty_name(channel)) {
      return s.fail(IVI_ERROR_CHANNEL_NAME_NOT_ALLOWED,
                    "Attribute " + describe_attribute(*a) + " is not channel-based; channel " +
                        channel_text(channel) + " is not allowed");
    }
    index = 0;
    return VI_SUCCESS;
  }
  if (is_empty_name(channel)) {
    return s.fail(IVI_ERROR_CHANNEL_NAME_REQUIRED,
                  "Attribute " + describe_attribute(*a) + " needs a channel name");
  }
  index = s.channels.find(channel);
  if (index == ChannelTable::kUnknown) {
    return s.fail(IVI_ERROR_UNKNOWN_CHANNEL_NAME, "Unknown channel name " + channel_text(channel) +
                                                      " for attribute " + describe_attribute(*a));
  }
  return VI_SUCCESS;
}

const char* callback_channel(const Session& s, const Attribute& a, int index) {
  return a.multi_channel() ? s.channels.physical_name(index).c_str() : "";
}

bool callbacks_run(const Session& s, const Attribute& a) {
  return !s.simulate.load(std::memory_order_relaxed) || a.has(IVI_VAL_USE_CALLBACKS_FOR_SIMULATION);
}

bool cache_applies(const Session& s, const Attribute& a) {
  if (a.has(IVI_VAL_NEVER_CACHE)) return false;
  return a.has(IVI_VAL_ALWAYS_CACHE) || s.cache.load(std::memory_order_relaxed);
}

// After a user's call that ran a callback: the instrument-status check, if it is due.
ViStatus check_status_after_user_call(Session& s, const Attribute& a, ViInt32 options) {
  if (!is_user_call(options) || !s.query_instr_status || !s.need_to_check_status || s.simulate ||
      a.has(IVI_VAL_DONT_CHECK_STATUS)) {
    return VI_SUCCESS;
  }
  if (const Attribute* hook = s.attributes.find(IVI_ATTR_CHECK_STATUS_CALLBACK)) {
    if (const ViAddr addr = std::get<ViAddr>(hook->values.front().value)) {
      const auto callback = reinterpret_cast<IviCheckStatusCallbackPtr>(addr);
      const ViStatus status = callback(s.handle(), s.io_session.load());
      if (status < 0) return status;
    }
  }
  s.need_to_check_status = false;
  return VI_SUCCESS;
}

void store(Session& s, Attribute& a, int index, Value value) {
  CachedValue& cached = a.values[index];
  cached.value = std::move(value);
  cached.valid = true;
  s.mirror(a);
}

template <class T>
ViStatus run_read_callback(Session& s, Attribute& a, int index) {
  CachedValue& cached = a.values[index];
  T copy = std::get<T>(cached.value);
  const auto callback = restore_callback<typename ValueTraits<T>::Read>(a.read);
  const ViStatus status =
      callback(s.handle(), s.io_session.load(), callback_channel(s, a, index), a.id, &copy);
  if (status < 0) {
    cached.valid = false;
    return status;
  }
  store(s, a, index, Value(std::in_place_type<T>, copy));
  return status;
}

template <>
ViStatus run_read_callback<std::string>(Session& s, Attribute& a, int index) {
  const std::string current = std::get<std::string>(a.values[index].value);
  const size_t frame = s.string_reads.size();
  s.string_reads.push_back({a.id, index, std::nullopt});
  const auto callback = restore_callback<ReadAttrViString_CallbackPtr>(a.read);
  const ViStatus status = callback(s.handle(), s.io_session.load(), callback_channel(s, a, index),
                                   a.id, current.c_str());
  std::optional<std::string> value = std::move(s.string_reads[frame].value);
  s.string_reads.resize(frame);
  if (status < 0) {
    a.values[index].valid = false;
    return status;
  }
  store(s, a, index, value ? Value(std::move(*value)) : Value(current));
  return status;
}

template <class T>
ViStatus read_error_attribute(Session& s, ViAttr id, T& out) {
  const ErrorInfo info = s.errors.snapshot();
  if constexpr (std::is_same_v<T, ViInt32>) {
    out = id == IVI_ATTR_PRIMARY_ERROR ? info.primary : info.secondary;
  } else if constexpr (std::is_same_v<T, std::string>) {
    out = info.elaboration;
  }
  return VI_SUCCESS;
}

template <class T>
void write_error_attribute(Session& s, ViAttr id, const T& value) {
  ErrorInfo info = s.errors.take();
  if constexpr (std::is_same_v<T, ViInt32>) {
    (id == IVI_ATTR_PRIMARY_ERROR ? info.primary : info.secondary) = value;
  } else if constexpr (std::is_same_v<T, std::string>) {
    info.elaboration = value;
  }
  s.errors.record(true, info.primary, info.secondary, info.elaboration.c_str());
}

std::string format_number(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.15g", value);
  return text;
}

// The range check of a numeric value; `value` becomes the coerced value.
template <class T>
ViStatus range_check(Session& s, const Attribute& a, int index, T& value, bool record) {
  if constexpr (std::is_same_v<T, ViInt32> || std::is_same_v<T, ViReal64>) {
    if (!a.range) return VI_SUCCESS;
    double result = 0;
    if (!check_range(*a.range, static_cast<double>(value), result)) {
      std::string where =
          a.multi_channel() ? " on channel '" + s.channels.physical_name(index) + "'" : "";
      return s.fail(IVI_ERROR_INVALID_VALUE, "Invalid value " +
                                                 format_number(static_cast<double>(value)) +
                                                 " for attribute " + describe_attribute(a) + where);
    }
    T coerced = value;
    if constexpr (std::is_same_v<T, ViInt32>) {
      coerced = static_cast<ViInt32>(std::llround(result));
    } else {
      coerced = result;
    }
    if (record && coerced != value && s.record_coercions) {
      std::string where = a.multi_channel() ? " on channel " + s.channels.physical_name(index) : "";
      s.coercions.push("Attribute " + a.name + where + " was coerced from " +
                       format_number(static_cast<double>(value)) + " to " +
                       format_number(static_cast<double>(coerced)) + ".");
    }
    value = coerced;
  }
  return VI_SUCCESS;
}

}  // namespace

std::string describe_attribute(const Attribute& a) {
  return a.name.empty() ? std::to_string(a.id) : a.name + " (" + std::to_string(a.id) + ")";
}

template <class T>
ViStatus get_attribute(Session& s, const char* channel, ViAttr id, ViInt32 options, T& out) {
  Attribute* a = nullptr;
  int index = 0;
  ViStatus status =
      resolve(s, channel, id, options, Access::kRead, ValueTraits<T>::kType, a, index);
  if (status < 0) return status;
  if constexpr (std::is_same_v<T, ViInt32> || std::is_same_v<T, std::string>) {
    if (is_error_attribute(id)) return read_error_attribute(s, id, out);
  }
  const CachedValue& cached = a->values[index];
  if (a->read != nullptr && (!cached.valid || !cache_applies(s, *a)) && callbacks_run(s, *a)) {
    status = run_read_callback<T>(s, *a, index);
    if (status < 0) return status;
    out = std::get<T>(cached.value);
    const ViStatus check = check_status_after_user_call(s, *a, options);
    return check < 0 ? check : status;
  }
  out = std::get<T>(cached.value);
  return VI_SUCCESS;
}

template <class T>
ViStatus set_attribute(Session& s, const char* channel, ViAttr id, ViInt32 options, T value) {
  Attribute* a = nullptr;
  int index = 0;
  ViStatus status =
      resolve(s, channel, id, options, Access::kWrite, ValueTraits<T>::kType, a, index);
  if (status < 0) return status;
  if constexpr (std::is_same_v<T, ViBoolean>) {
    if (id == IVI_ATTR_SIMULATE && is_user_call(options) && s.created &&
        (value != VI_FALSE) != s.simulate.load()) {
      return s.fail(IVI_ERROR_CANNOT_CHANGE_SIMULATION_STATE,
                    "The simulation state cannot be changed after the session is created");
    }
  }
  if (s.range_check.load(std::memory_order_relaxed)) {
    status = range_check(s, *a, index, value, true);
    if (status < 0) return status;
  }
  if constexpr (std::is_same_v<T, ViInt32> || std::is_same_v<T, std::string>) {
    if (is_error_attribute(id)) {
      write_error_attribute(s, id, value);
      return VI_SUCCESS;
    }
  }
  if ((options & IVI_VAL_SET_CACHE_ONLY) != 0 || a->write == nullptr || !callbacks_run(s, *a)) {
    store(s, *a, index, Value(std::in_place_type<T>, std::move(value)));
    return VI_SUCCESS;
  }
  const auto callback = restore_callback<typename ValueTraits<T>::Write>(a->write);
  if constexpr (std::is_same_v<T, std::string>) {
    status = callback(s.handle(), s.io_session.load(), callback_channel(s, *a, index), id,
                      value.c_str());
  } else {
    status = callback(s.handle(), s.io_session.load(), callback_channel(s, *a, index), id, value);
  }
  if (status < 0) {
    a->values[index].valid = false;
    return status;
  }
  store(s, *a, index, Value(std::in_place_type<T>, std::move(value)));
  const ViStatus check = check_status_after_user_call(s, *a, options);
  return check < 0 ? check : status;
}

template <class T>
ViStatus check_attribute(Session& s, const char* channel, ViAttr id, ViInt32 options,
                         const T& value) {
  Attribute* a = nullptr;
  int index = 0;
  const ViStatus status =
      resolve(s, channel, id, options, Access::kCheck, ValueTraits<T>::kType, a, index);
  if (status < 0) return status;
  T copy = value;
  return range_check(s, *a, index, copy, false);
}

template <class T>
ViStatus add_attribute(Session& s, ViAttr id, const char* name, T defaultValue, IviAttrFlags flags,
                       AnyCallback read, AnyCallback write, const IviRangeTable* range,
                       ViInt32 compare_precision) {
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
  a.type = ValueTraits<T>::kType;
  a.flags = flags;
  a.read = read;
  a.write = write;
  a.compare_precision = compare_precision;
  if (range != nullptr) {
    a.range = copy_range_table(*range);
    if (!a.range) {
      return s.fail(IVI_ERROR_INVALID_PARAMETER, "Invalid range table for attribute " + label);
    }
  }
  const size_t count = a.multi_channel() ? static_cast<size_t>(s.channels.count()) : 1;
  a.values.assign(count, CachedValue{Value(std::in_place_type<T>, std::move(defaultValue)), false});
  s.mirror(s.attributes.add(std::move(a)));
  return VI_SUCCESS;
}

ViStatus set_string_read_callback(Session& s, ViAttr id, AnyCallback callback) {
  Attribute* a = s.attributes.find(id);
  if (a == nullptr) {
    return s.fail(IVI_ERROR_INVALID_ATTRIBUTE,
                  "Attribute ID " + std::to_string(id) + " is not recognized");
  }
  if (a->type != ValueType::kString) {
    return s.fail(IVI_ERROR_TYPES_DO_NOT_MATCH,
                  "Attribute " + describe_attribute(*a) + " is not a ViString attribute");
  }
  a->read = callback;
  return VI_SUCCESS;
}

ViStatus get_attribute_flags(Session& s, ViAttr id, IviAttrFlags& flags) {
  const Attribute* a = s.attributes.find(id);
  if (a == nullptr) {
    return s.fail(IVI_ERROR_INVALID_ATTRIBUTE,
                  "Attribute ID " + std::to_string(id) + " is not recognized");
  }
  flags = a->flags;
  return VI_SUCCESS;
}

ViStatus set_attribute_flags(Session& s, ViAttr id, IviAttrFlags flags) {
  Attribute* a = s.attributes.find(id);
  if (a == nullptr) {
    return s.fail(IVI_ERROR_INVALID_ATTRIBUTE,
                  "Attribute ID " + std::to_string(id) + " is not recognized");
  }
  if (((a->flags ^ flags) & IVI_VAL_MULTI_CHANNEL) != 0) {
    return s.fail(IVI_ERROR_INVALID_PARAMETER, "The multi-channel flag of attribute " +
                                                   describe_attribute(*a) + " cannot change");
  }
  a->flags = flags;
  return VI_SUCCESS;
}

ViStatus invalidate_attribute(Session& s, const char* channel, ViAttr id) {
  Attribute* a = s.attributes.find(id);
  if (a == nullptr) {
    return s.fail(IVI_ERROR_INVALID_ATTRIBUTE,
                  "Attribute ID " + std::to_string(id) + " is not recognized");
  }
  if (a->has(IVI_VAL_NOT_SUPPORTED)) {
    return s.fail(IVI_ERROR_ATTRIBUTE_NOT_SUPPORTED,
                  "Attribute " + describe_attribute(*a) + " is not supported");
  }
  const bool all = channel != nullptr && std::string_view(channel) == IVI_VAL_ALL_CHANNELS;
  if (all || !a->multi_channel()) {
    if (!all && !is_empty_name(channel)) {
      return s.fail(IVI_ERROR_CHANNEL_NAME_NOT_ALLOWED,
                    "Attribute " + describe_attribute(*a) + " is not channel-based; channel " +
                        channel_text(channel) + " is not allowed");
    }
    for (CachedValue& v : a->values) v.valid = false;
    return VI_SUCCESS;
  }
  int index = 0;
  const ViStatus status = resolve(s, channel, id, 0, Access::kCheck, a->type, a, index);
  if (status < 0) return status;
  a->values[index].valid = false;
  return VI_SUCCESS;
}

void invalidate_all_attributes(Session& s) {
  s.attributes.for_each([](Attribute& a) {
    for (CachedValue& v : a.values) v.valid = false;
  });
}

ViStatus set_val_in_string_callback(Session& s, ViAttr id, const char* value) {
  for (auto frame = s.string_reads.rbegin(); frame != s.string_reads.rend(); ++frame) {
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
#define ZR48_INSTANTIATE(T)                                                                       \
  template ViStatus get_attribute<T>(Session&, const char*, ViAttr, ViInt32, T&);                 \
  template ViStatus set_attribute<T>(Session&, const char*, ViAttr, ViInt32, T);                  \
  template ViStatus check_attribute<T>(Session&, const char*, ViAttr, ViInt32, const T&);         \
  template ViStatus add_attribute<T>(Session&, ViAttr, const char*, T, IviAttrFlags, AnyCallback, \
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
