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

Value inherent_default(const InherentRow& row, const CreationContext& context) {
  for (const char* name : {"RangeCheck", "QueryInstrStatus", "Cache", "Simulate", "RecordCoercions",
                           "InterchangeCheck"}) {
    const BoolOption* option = find_bool_option(name);
    if (option->attribute == row.id) {
      const std::optional<bool>& chosen = context.settings.*option->member;
      const bool standard = row.id == IVI_ATTR_RANGE_CHECK || row.id == IVI_ATTR_CACHE;
      return static_cast<ViBoolean>(chosen.value_or(standard) ? VI_TRUE : VI_FALSE);
    }
  }
  switch (row.id) {
    case IVI_ATTR_DRIVER_SETUP:
      return context.settings.driver_setup.value_or("");
    case IVI_ATTR_SPECIFIC_DRIVER_PREFIX:
      return context.prefix;
    case IVI_ATTR_ENGINE_REVISION:
      return engine_revision();
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
    case ValueType::kInt32:
      return ViInt32{0};
    case ValueType::kReal64:
      return ViReal64{0};
    case ValueType::kString:
      return std::string();
    case ValueType::kBoolean:
      return ViBoolean{VI_FALSE};
    case ValueType::kSession:
      return ViSession{VI_NULL};
    case ValueType::kAddr:
      return ViAddr{nullptr};
  }
  return ViInt32{0};
}

ViStatus add_inherent_attributes(Session& s, const CreationContext& context) {
  for (const InherentRow& row : inherent_attribute_rows()) {
    const ViStatus status = std::visit(
        [&](auto value) {
          using T = decltype(value);
          return add_attribute<T>(s, row.id, row.name, std::move(value), row.flags, nullptr,
                                  nullptr, nullptr, 0);
        },
        inherent_default(row, context));
    if (status < 0) return status;
  }
  return VI_SUCCESS;
}

ViStatus copy_out(const std::string& text, ViChar* out, const char* what) {
  if (text.size() >= IVI_MAX_MESSAGE_BUF_SIZE) {
    return fail_on_thread(IVI_ERROR_INVALID_PARAMETER, VI_SUCCESS,
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

bool is_blank(const char* text) {
  for (; *text != '\0'; ++text) {
    if (std::isspace(static_cast<unsigned char>(*text)) == 0) return false;
  }
  return true;
}

}  // namespace

ViStatus fail_on_thread(ViStatus status, ViStatus secondary, const std::string& elaboration) {
  thread_error_info().record(false, status, secondary, elaboration.c_str());
  return status;
}

ViStatus resolve_resource_name(const char* resourceName, const char* optionString, ViChar* newName,
                               ViChar* newOptions, ViBoolean* isLogicalName) {
  const std::pair<const void*, const char*> outputs[] = {
      {newName, "Null address for the new resource name"},
      {newOptions, "Null address for the new option string"},
      {isLogicalName, "Null address for the logical-name flag"}};
  for (int i = 0; i < 3; ++i) {
    if (outputs[i].first == nullptr) {
      return fail_on_thread(IVI_ERROR_INVALID_PARAMETER, Ivi_ParamPositionError(i + 3),
                            outputs[i].second);
    }
  }
  newName[0] = '\0';
  newOptions[0] = '\0';
  *isLogicalName = VI_FALSE;
  if (resourceName == nullptr) {
    return fail_on_thread(IVI_ERROR_INVALID_PARAMETER, VI_ERROR_PARAMETER1,
                          "Null address for the resource name");
  }
  const char* options = optionString != nullptr ? optionString : "";
  OptionSettings settings;
  std::string elaboration;
  ViStatus status = parse_option_string(options, false, settings, elaboration);
  if (status < 0) return fail_on_thread(status, VI_SUCCESS, elaboration);

  std::optional<LogicalName> logical;
  status = look_up_logical_name(resourceName, logical, elaboration);
  if (status < 0) return fail_on_thread(status, VI_SUCCESS, elaboration);
  if (!logical) {
    status = copy_out(resourceName, newName, "resource name");
    return status < 0 ? status : copy_out(options, newOptions, "option string");
  }
  if (logical->name.find_first_of(",=") != std::string::npos) {
    return fail_on_thread(IVI_ERROR_INVALID_CONFIGURATION, VI_SUCCESS,
                          "Logical name '" + logical->name + "' must not contain ',' or '='");
  }
  // An engine-private entry names the logical name, so that session creation applies its
  // settings beneath the caller's own options.
  std::string resolved_options = std::string(kLogicalNameOption) + "=" + logical->name;
  if (!is_blank(options)) resolved_options += std::string(",") + options;
  status = copy_out(logical->resource, newName, "resource name");
  if (status < 0) return status;
  status = copy_out(resolved_options, newOptions, "option string");
  if (status < 0) {
    newName[0] = '\0';
    return status;
  }
  *isLogicalName = VI_TRUE;
  return VI_SUCCESS;
}

ViStatus create_session(const char* prefix, const char* optionString, ViSession* newVi) {
  if (newVi == nullptr) {
    return fail_on_thread(IVI_ERROR_INVALID_PARAMETER, VI_ERROR_PARAMETER3,
                          "Null address for the new session");
  }
  *newVi = VI_NULL;
  if (prefix == nullptr || *prefix == '\0' || std::strlen(prefix) > kMaxPrefixLength) {
    return fail_on_thread(IVI_ERROR_INVALID_PARAMETER, VI_ERROR_PARAMETER1,
                          "The driver prefix must have 1 to 31 characters");
  }
  CreationContext context{prefix, {}, nullptr};
  std::string elaboration;
  ViStatus status = parse_option_string(optionString != nullptr ? optionString : "", true,
                                        context.settings, elaboration);
  if (status < 0) return fail_on_thread(status, VI_SUCCESS, elaboration);

  std::optional<LogicalName> logical;
  if (context.settings.logical_name) {
    status = look_up_logical_name(*context.settings.logical_name, logical, elaboration);
    if (status < 0) return fail_on_thread(status, VI_SUCCESS, elaboration);
    if (!logical) {
      return fail_on_thread(IVI_ERROR_INVALID_CONFIGURATION, VI_SUCCESS,
                            "Logical name '" + *context.settings.logical_name +
                                "' is not defined in " + configuration_path());
    }
    // Defaults < the logical name's settings < the caller's option string.
    OptionSettings merged = logical->options;
    merged.override_with(context.settings);
    context.settings = std::move(merged);
    context.logical = &*logical;
  }

  const ViSession vi = registry::create(
      [&](ViSession handle) { return std::make_unique<Session>(handle, context.prefix); });
  if (vi == VI_NULL) {
    return fail_on_thread(IVI_ERROR_OUT_OF_MEMORY, VI_SUCCESS, "Too many open sessions");
  }
  {
    LockedSession s(vi);
    if (!s) return s.status();
    status = add_inherent_attributes(*s, context);
    if (status >= 0 && !s->simulate) {
      ViSession rm = VI_NULL;
      status = bind_visa_library(*s);
      if (status >= 0) {
        status = s->visa->open_default_rm(&rm);
        if (status < 0) s->fail(status, "Cannot open the VISA resource manager");
      }
      if (status >= 0) {
        status = set_attribute<ViSession>(*s, nullptr, IVI_ATTR_VISA_RM_SESSION, 0, rm);
        if (status < 0) s->visa->close(rm);
      }
    }
    if (status >= 0) {
      s->logical_name = std::move(logical);
      s->created = true;
    }
  }
  if (status < 0) {
    dispose_session(vi);
    return status;
  }
  *newVi = vi;
  return VI_SUCCESS;
}

ViStatus dispose_session(ViSession vi) {
  SessionRef ref(vi);
  if (!ref || !registry::mark_disposed(vi)) return IVI_ERROR_INVALID_SESSION_HANDLE;
  // A failed initialisation's reason stays readable with a VI_NULL session.
  ErrorInfo info = ref->errors.snapshot();
  if (!info.empty() && thread_error_info().empty()) thread_error_info() = std::move(info);
  return ref.release_now();
}

}  // namespace zr48::engine
