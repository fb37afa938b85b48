// Read callbacks of the engine's identity attributes: the driver revision text, and the
// manufacturer, model and firmware revision taken from the identification response.
#ifndef ZR48_ATTRIBUTES_IDENTITY_H
#define ZR48_ATTRIBUTES_IDENTITY_H

#include <array>

#include "frame/frame.h"
#include "engine/ivi_engine.h"

namespace zr48::attributes {

// "Driver: ZR48 1.0, Compiler: <name> <version>, Components: IVIEngine 4.00, VISA-Spec 4.00".
ViStatus driver_revision_read(ViSession vi, ViSession io, ViConstString channelName,
                              ViAttr attributeId, ViConstString cacheValue);

// Manufacturer, model or firmware revision (by attributeId): one field of the identification
// response, at most 256 characters, blanks kept; "" when the response lacks the field.
ViStatus identity_field_read(ViSession vi, ViSession io, ViConstString channelName,
                             ViAttr attributeId, ViConstString cacheValue);

// The parse behind identity_field_read: one field of an identification response (NUL-terminated,
// at most kReplySize - 1 bytes) into `value`. False for an attribute that is no identity field.
bool scan_identity_field(ViAttr attributeId, const char* response,
                         std::array<ViChar, kReplySize>& value);

}  // namespace zr48::attributes

#endif  // ZR48_ATTRIBUTES_IDENTITY_H
