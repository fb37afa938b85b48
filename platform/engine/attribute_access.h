// Get, set, check and the rest of attribute handling on a session whose lock the caller holds:
// flag and channel checks, caching, simulation, range checks, coercion records, the callbacks
// and the status check after a user's call.
#ifndef ZR48_PLATFORM_ENGINE_ATTRIBUTE_ACCESS_H
#define ZR48_PLATFORM_ENGINE_ATTRIBUTE_ACCESS_H

#include <string>
#include <string_view>

#include "engine/attribute.h"
#include "engine/session.h"

namespace zr48::engine {

// T is one of ViInt32, ViReal64, std::string, ViBoolean, ViSession, ViAddr.
template <class T>
ViStatus get_attribute(Session& s, const char* channel, ViAttr id, ViInt32 options, T& out);
template <class T>
ViStatus set_attribute(Session& s, const char* channel, ViAttr id, ViInt32 options, T value);
template <class T>
ViStatus check_attribute(Session& s, const char* channel, ViAttr id, ViInt32 options,
                         const T& value);
template <class T>
ViStatus add_attribute(Session& s, ViAttr id, const char* name, T defaultValue, IviAttrFlags flags,
                       AnyCallback read, AnyCallback write, const IviRangeTable* range,
                       ViInt32 compare_precision);

ViStatus set_string_read_callback(Session& s, ViAttr id, AnyCallback callback);
ViStatus get_attribute_flags(Session& s, ViAttr id, IviAttrFlags& flags);
ViStatus set_attribute_flags(Session& s, ViAttr id, IviAttrFlags flags);
ViStatus invalidate_attribute(Session& s, const char* channel, ViAttr id);
void invalidate_all_attributes(Session& s);
ViStatus set_val_in_string_callback(Session& s, ViAttr id, const char* value);

// A readable label for elaborations: the attribute's name and identifier.
std::string describe_attribute(const Attribute& a);

}  // namespace zr48::engine

#endif
