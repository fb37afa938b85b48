#include "identity.h"

#include <array>
#include <cstdio>

#include "ZR48.h"
#include "frame/frame.h"

namespace zr48::attributes {
namespace {

// The compiler that built the driver and its real version, as major + minor / 100.
#if defined(__clang__)
constexpr const char* kCompilerName = "Clang";
constexpr double kCompilerVersion = __clang_major__ + __clang_minor__ / 100.0;
#elif defined(__GNUC__)
constexpr const char* kCompilerName = "GCC";
constexpr double kCompilerVersion = __GNUC__ + __GNUC_MINOR__ / 100.0;
#else
constexpr const char* kCompilerName = "C++";
constexpr double kCompilerVersion = 0.0;
#endif

// Versions of the IVI engine and of the VISA standard the driver is written against.
constexpr double kEngineVersion = IVI_ENGINE_MAJOR_VERSION + IVI_ENGINE_MINOR_VERSION / 100.0;
constexpr double kVisaSpecVersion = 4.0;

}  // namespace

ViStatus driver_revision_read(ViSession vi, ViSession /*io*/, ViConstString /*channelName*/,
                              ViAttr attributeId, ViConstString /*cacheValue*/) {
  std::array<char, 256> text{};
  (void)std::snprintf(text.data(), text.size(),
                      "Driver: ZR48 %d.%d, Compiler: %s %3.2f, Components: IVIEngine %.2f, "
                      "VISA-Spec %.2f",
                      ZR48_MAJOR_VERSION, ZR48_MINOR_VERSION, kCompilerName, kCompilerVersion,
                      kEngineVersion, kVisaSpecVersion);
  return normalise(Ivi_SetValInStringCallback(vi, attributeId, text.data()));
}

namespace {

// The scan pattern of each identity field. The widths leave room in a 512-byte buffer.
struct IdentityField {
  ViAttr id;
  const char* pattern;
};
constexpr std::array kIdentityFields = {
    IdentityField{IVI_ATTR_INSTRUMENT_MANUFACTURER, "%256[^,]"},
    IdentityField{IVI_ATTR_INSTRUMENT_MODEL, "%*[^,],%256[^,]"},
    IdentityField{IVI_ATTR_INSTRUMENT_FIRMWARE_REVISION, "%*[^,],%*[^,],%*[^,],%256[^\n]"},
};

const char* pattern_for(ViAttr id) {
  for (const IdentityField& field : kIdentityFields) {
    if (field.id == id) return field.pattern;
  }
  return nullptr;
}

}  // namespace

bool scan_identity_field(ViAttr attributeId, const char* response,
                         std::array<ViChar, kReplySize>& value) {
  const char* pattern = pattern_for(attributeId);
  if (pattern == nullptr) return false;
  // A field the response lacks scans to nothing and leaves the value empty.
  value.fill('\0');
  (void)std::sscanf(response, pattern, value.data());
  return true;
}

ViStatus identity_field_read(ViSession vi, ViSession /*io*/, ViConstString /*channelName*/,
                             ViAttr attributeId, ViConstString /*cacheValue*/) {
  if (pattern_for(attributeId) == nullptr) return IVI_ERROR_INVALID_ATTRIBUTE;
  // Through the engine: the cached identification, the instrument's when the cache is not
  // valid, the simulated one while simulating.
  std::array<ViChar, kReplySize> response{};
  const ViStatus status =
      normalise(Ivi_GetAttributeViString(vi, "", ZR48_ATTR_ID_QUERY_RESPONSE, 0,
                                         static_cast<ViInt32>(response.size()), response.data()));
  if (status < 0) return status;
  std::array<ViChar, kReplySize> value{};
  scan_identity_field(attributeId, response.data(), value);
  return normalise(Ivi_SetValInStringCallback(vi, attributeId, value.data()));
}

}  // namespace zr48::attributes
