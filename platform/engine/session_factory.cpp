#include "engine/session_factory.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "engine/attribute_access.h"
#include "engine/engine_info.h"
#include "engine/inherent_attributes.h"
#include "engine/logical_names.h"
#include "engine/option_string.h"
#include "engine/session.h"
#include "engine/session_registry.h"
#include "engine/session_visa.h"
#include "visa/visa.h"

namespace zr48::engine {
namespace {

constexpr size_t kMaxPrefixLength = 31;  // IVI-3.2: 32 bytes with the terminator

struct CreationContext {
  std::string prefix;
  OptionSettings settings;
  const LogicalName* logical;
};

Value inherentDefault(const InherentRow& row, const CreationContext& context) {
  for (const char* name : {"RangeCheck", "QueryInstrStatus", "Cache", "Simulate", "RecordCoercions",
                           "InterchangeCheck"}) {
    const BoolOption* option = findBoolOption(name);
    if (option->attribute == row.id) {
      const std::optional<bool>& chosen = context.settings.*option->member;
      const bool standard = row.id == IVI_ATTR_RANGE_CHECK || row.id == IVI_ATTR_CACHE;
      return static_cast<ViBoolean>(chosen.value_or(standard) ? VI_TRUE : VI_FALSE);
    }
  }
  switch (row.id) {
    case IVI_ATTR_DRIVER_SETUP:
      return context.settings.driverSetup.value_or("");
    case IVI_ATTR_SPECIFIC_DRIVER_PREFIX:
      return context.prefix;
    case IVI_ATTR_ENGINE_REVISION:
      return engineRevision();
    case IVI_ATTR_LOGICAL_NAME:
      return context.logical != nullptr ? context.logical->name : std::string();
    case IVI_ATTR_IO_RESOURCE_DESCRIPTOR:
      return context.logical != nullptr ? context.logical->resource : std::string();
    case IVI_ATTR_CHANNEL_COUNT:
      return ViInt32{1};
    default:
      break;
  }
  switch (row.type) {
    case ValueType::Int32:
      return ViInt32{0};
    case ValueType::Real64:
      return ViReal64{0};
    case ValueType::String:
      return std::string();
    case ValueType::Boolean:
      return ViBoolean{VI_FALSE};
    case ValueType::Session:
      return ViSession{VI_NULL};
    case ValueType::Addr:
      return ViAddr{nullptr};
  }
  return ViInt32{0};
}

ViStatus addInherentAttributes(Session& s, const CreationContext& context) {
  for (const InherentRow& row : inherentAttributeRows()) {
    const ViStatus status = std::visit(
        [&](auto value) {
          using T = decltype(value);
          return addAttribute<T>(s, row.id, row.name, std::move(value), row.flags, nullptr, nullptr,
                                 nullptr, 0);
        },
        inherentDefault(row, context));
    if (status < 0) return status;
  }
  return VI_SUCCESS;
}

ViStatus copyOut(const std::string& text, ViChar* out, const char* what) {
  if (text.size() >= IVI_MAX_MESSAGE_BUF_SIZE) {
    return failOnThread(IVI_ERROR_INVALID_PARAMETER, VI_SUCCESS,
                        std::string("The resolved ") + what + " is longer than 255 characters");
  }
  std::memcpy(out, text.c_str(), text.size() + 1);
  return VI_SUCCESS;
}

// Points the session at the VISA library ZR48_VISA_LIBRARY names, if it names one. A library
// that cannot be loaded, or lacks an operation, fails the session with VI_ERROR_SYSTEM_ERROR
// and the loader's reason: there is no I/O to fall back to that the user asked for.
ViStatus bind_visa_library(Session& s) {
  const char* path = std::getenv(kVisaLibraryEnvVar);
  if (path == nullptr || *path == '\0') return VI_SUCCESS;
  visa_calls::ForeignVisaLoad load = visa_calls::load_foreign_visa(path);
  if (!load.library) return s.fail(VI_ERROR_SYSTEM_ERROR, load.failure);
  s.foreign_visa = std::move(load.library);
  s.visa = &s.foreign_visa->calls();
  return VI_SUCCESS;
}

bool isBlank(const char* text) {
  for (; *text != '\0'; ++text) {
    if (std::isspace(static_cast<unsigned char>(*text)) == 0) return false;
  }
  return true;
}

}  // namespace

ViStatus failOnThread(ViStatus status, ViStatus secondary, const std::string& elaboration) {
  threadErrorInfo().record(false, status, secondary, elaboration.c_str());
  return status;
}

ViStatus resolveResourceName(const char* resourceName, const char* optionString, ViChar* newName,
                             ViChar* newOptions, ViBoolean* isLogicalName) {
  const std::pair<const void*, const char*> outputs[] = {
      {newName, "Null address for the new resource name"},
      {newOptions, "Null address for the new option string"},
      {isLogicalName, "Null address for the logical-name flag"}};
  for (int i = 0; i < 3; ++i) {
    if (outputs[i].first == nullptr) {
      return failOnThread(IVI_ERROR_INVALID_PARAMETER, Ivi_ParamPositionError(i + 3),
                          outputs[i].second);
    }
  }
  newName[0] = '\0';
  newOptions[0] = '\0';
  *isLogicalName = VI_FALSE;
  if (resourceName == nullptr) {
    return failOnThread(IVI_ERROR_INVALID_PARAMETER, VI_ERROR_PARAMETER1,
                        "Null address for the resource name");
  }
  const char* options = optionString != nullptr ? optionString : "";
  OptionSettings settings;
  std::string elaboration;
  ViStatus status = parseOptionString(options, false, settings, elaboration);
  if (status < 0) return failOnThread(status, VI_SUCCESS, elaboration);

  std::optional<LogicalName> logical;
  status = lookUpLogicalName(resourceName, logical, elaboration);
  if (status < 0) return failOnThread(status, VI_SUCCESS, elaboration);
  if (!logical) {
    status = copyOut(resourceName, newName, "resource name");
    return status < 0 ? status : copyOut(options, newOptions, "option string");
  }
  if (logical->name.find_first_of(",=") != std::string::npos) {
    return failOnThread(IVI_ERROR_INVALID_CONFIGURATION, VI_SUCCESS,
                        "Logical name '" + logical->name + "' must not contain ',' or '='");
  }
  // An engine-private entry names the logical name, so that session creation applies its
  // settings beneath the caller's own options.
  std::string resolvedOptions = std::string(kLogicalNameOption) + "=" + logical->name;
  if (!isBlank(options)) resolvedOptions += std::string(",") + options;
  status = copyOut(logical->resource, newName, "resource name");
  if (status < 0) return status;
  status = copyOut(resolvedOptions, newOptions, "option string");
  if (status < 0) {
    newName[0] = '\0';
    return status;
  }
  *isLogicalName = VI_TRUE;
  return VI_SUCCESS;
}

ViStatus createSession(const char* prefix, const char* optionString, ViSession* newVi) {
  if (newVi == nullptr) {
    return failOnThread(IVI_ERROR_INVALID_PARAMETER, VI_ERROR_PARAMETER3,
                        "Null address for the new session");
  }
  *newVi = VI_NULL;
  if (prefix == nullptr || *prefix == '\0' || std::strlen(prefix) > kMaxPrefixLength) {
    return failOnThread(IVI_ERROR_INVALID_PARAMETER, VI_ERROR_PARAMETER1,
                        "The driver prefix must have 1 to 31 characters");
  }
  CreationContext context{prefix, {}, nullptr};
  std::string elaboration;
  ViStatus status = parseOptionString(optionString != nullptr ? optionString : "", true,
                                      context.settings, elaboration);
  if (status < 0) return failOnThread(status, VI_SUCCESS, elaboration);

  std::optional<LogicalName> logical;
  if (context.settings.logicalName) {
    status = lookUpLogicalName(*context.settings.logicalName, logical, elaboration);
    if (status < 0) return failOnThread(status, VI_SUCCESS, elaboration);
    if (!logical) {
      return failOnThread(IVI_ERROR_INVALID_CONFIGURATION, VI_SUCCESS,
                          "Logical name '" + *context.settings.logicalName +
                              "' is not defined in " + configurationPath());
    }
    // Defaults < the logical name's settings < the caller's option string.
    OptionSettings merged = logical->options;
    merged.overrideWith(context.settings);
    context.settings = std::move(merged);
    context.logical = &*logical;
  }

  const ViSession vi = registry::create(
      [&](ViSession handle) { return std::make_unique<Session>(handle, context.prefix); });
  if (vi == VI_NULL) {
    return failOnThread(IVI_ERROR_OUT_OF_MEMORY, VI_SUCCESS, "Too many open sessions");
  }
  {
    LockedSession s(vi);
    if (!s) return s.status();
    status = addInherentAttributes(*s, context);
    if (status >= 0 && !s->simulate) {
      ViSession rm = VI_NULL;
      status = bind_visa_library(*s);
      if (status >= 0) {
        status = s->visa->open_default_rm(&rm);
        if (status < 0) s->fail(status, "Cannot open the VISA resource manager");
      }
      if (status >= 0) {
        status = setAttribute<ViSession>(*s, nullptr, IVI_ATTR_VISA_RM_SESSION, 0, rm);
        if (status < 0) s->visa->close(rm);
      }
    }
    if (status >= 0) {
      s->logicalName = std::move(logical);
      s->created = true;
    }
  }
  if (status < 0) {
    disposeSession(vi);
    return status;
  }
  *newVi = vi;
  return VI_SUCCESS;
}

ViStatus disposeSession(ViSession vi) {
  SessionRef ref(vi);
  if (!ref || !registry::markDisposed(vi)) return IVI_ERROR_INVALID_SESSION_HANDLE;
  // A failed initialisation's reason stays readable with a VI_NULL session.
  ErrorInfo info = ref->errors.snapshot();
  if (!info.empty() && threadErrorInfo().empty()) threadErrorInfo() = std::move(info);
  return ref.releaseNow();
}

}  // namespace zr48::engine
