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
ViStatus getAttribute(Session& s, const char* channel, ViAttr id, ViInt32 options, T& out);
template <class T>
ViStatus setAttribute(Session& s, const char* channel, ViAttr id, ViInt32 options, T value);
template <class T>
ViStatus checkAttribute(Session& s, const char* channel, ViAttr id, ViInt32 options,
                        const T& value);
template <class T>
ViStatus addAttribute(Session& s, ViAttr id, const char* name, T defaultValue, IviAttrFlags flags,
                      AnyCallback read, AnyCallback write, const IviRangeTable* range,
                      ViInt32 comparePrecision);

ViStatus setStringReadCallback(Session& s, ViAttr id, AnyCallback callback);
ViStatus getAttributeFlags(Session& s, ViAttr id, IviAttrFlags& flags);
ViStatus setAttributeFlags(Session& s, ViAttr id, IviAttrFlags flags);
ViStatus invalidateAttribute(Session& s, const char* channel, ViAttr id);
void invalidateAllAttributes(Session& s);
ViStatus setValInStringCallback(Session& s, ViAttr id, const char* value);

// A readable label for elaborations: the attribute's name and identifier.
std::string describeAttribute(const Attribute& a);

}  // namespace zr48::engine

#endif
