#include "engine/status_text.h"

#include <cstdio>
#include <string>

#include "engine/buffer_rule.h"
#include "visa/visa.h"

namespace zr48::engine {
namespace {

struct StatusRow {
  ViStatus code;
  bool prefixed;  // IVI-3.2 texts begin with the driver prefix
  const char* text;
};

// IVI-3.2 texts for the inherent codes; fields that only a specific call could fill in
// (attribute, function, parameter) are left out. Reserved codes without a standard text get a
// plain description in the same style.
constexpr StatusRow kEngineRows[] = {
    {VI_SUCCESS, false, "Operation completed successfully."},
    {IVI_ERROR_CANNOT_RECOVER, true, "Failure - cannot recover."},
    {IVI_ERROR_INSTRUMENT_STATUS, true,
     "Instrument error detected. Use ErrorQuery() to determine the error(s)."},
    {IVI_ERROR_CANNOT_OPEN_FILE, true, "Cannot open file."},
    {IVI_ERROR_READING_FILE, true, "Error reading file."},
    {IVI_ERROR_WRITING_FILE, true, "Error writing file."},
    {IVI_ERROR_INVALID_PATHNAME, true, "The pathname is invalid."},
    {IVI_ERROR_INVALID_ATTRIBUTE, true, "Attribute ID not recognized."},
    {IVI_ERROR_ATTR_NOT_WRITEABLE, true, "Attribute is read only."},
    {IVI_ERROR_ATTR_NOT_READABLE, true, "Attribute is write only."},
    {IVI_ERROR_INVALID_PARAMETER, true, "Invalid parameter."},
    {IVI_ERROR_INVALID_VALUE, true, "Invalid value."},
    {IVI_ERROR_FUNCTION_NOT_SUPPORTED, true,
     "Does not support this class-compliant feature: function."},
    {IVI_ERROR_ATTRIBUTE_NOT_SUPPORTED, true,
     "Does not support this class-compliant feature: attribute."},
    {IVI_ERROR_VALUE_NOT_SUPPORTED, true,
     "Does not support this class-compliant feature: (enumeration) value."},
    {IVI_ERROR_INVALID_TYPE, true, "The type is not valid."},
    {IVI_ERROR_TYPES_DO_NOT_MATCH, true,
     "Get/Set/CheckAttribute called for an attribute of another type."},
    {IVI_ERROR_ITEM_ALREADY_EXISTS, true, "The item already exists."},
    {IVI_ERROR_INVALID_CONFIGURATION, true, "The configuration is not valid."},
    {IVI_ERROR_NOT_INITIALIZED, true, "A connection to the instrument has not been established."},
    {IVI_ERROR_NO_CHANNEL_TABLE, true, "The channel table has not been built."},
    {IVI_ERROR_UNKNOWN_CHANNEL_NAME, true, "Unknown channel name."},
    {IVI_ERROR_TOO_MANY_OPEN_FILES, true, "Too many files are open."},
    {IVI_ERROR_CONFIG_FILE_NOT_FOUND, true, "The configuration file was not found."},
    {IVI_ERROR_CANNOT_OPEN_CONFIG_FILE, true, "Cannot open the configuration file."},
    {IVI_ERROR_ERROR_READING_CONFIG_FILE, true, "Error reading the configuration file."},
    {IVI_ERROR_BAD_INTEGER_IN_CONFIG_FILE, true, "Bad integer in the configuration file."},
    {IVI_ERROR_BAD_DOUBLE_IN_CONFIG_FILE, true, "Bad real number in the configuration file."},
    {IVI_ERROR_BAD_BOOLEAN_IN_CONFIG_FILE, true, "Bad Boolean in the configuration file."},
    {IVI_ERROR_CONFIG_ENTRY_NOT_FOUND, true, "Entry not found in the configuration file."},
    {IVI_ERROR_UNKNOWN_DEFAULT_SETUP_ATTR, true, "Unknown attribute in the default set-up."},
    {IVI_ERROR_INVALID_DEFAULT_SETUP_VAL, true, "Invalid value in the default set-up."},
    {IVI_ERROR_EMPTY_CHANNEL_LIST, true, "The channel list is empty."},
    {IVI_ERROR_DUPLICATE_CHANNEL_STRING, true, "The channel list contains a name twice."},
    {IVI_ERROR_DUPLICATE_VIRT_CHAN_NAME, true, "A virtual channel name is defined twice."},
    {IVI_ERROR_MISSING_VIRT_CHAN_NAME, true, "A virtual channel name is missing."},
    {IVI_ERROR_BAD_VIRT_CHAN_NAME, true, "A virtual channel name is not valid."},
    {IVI_ERROR_UNASSIGNED_VIRT_CHAN_NAME, true,
     "A virtual channel name is not assigned to a channel."},
    {IVI_ERROR_BAD_VIRT_CHAN_ASSIGNMENT, true,
     "A virtual channel name is assigned to an unknown channel."},
    {IVI_ERROR_CHANNEL_NAME_REQUIRED, true, "A channel name is required."},
    {IVI_ERROR_CHANNEL_NAME_NOT_ALLOWED, true, "The channel name is not allowed."},
    {IVI_ERROR_MISSING_OPTION_NAME, true, "The option string is missing an option name."},
    {IVI_ERROR_MISSING_OPTION_VALUE, true, "The option string is missing an option value."},
    {IVI_ERROR_BAD_OPTION_NAME, true, "An option name in the option string is unknown."},
    {IVI_ERROR_BAD_OPTION_VALUE, true, "An option value in the option string is unknown."},
    {IVI_ERROR_INDEX_IS_ONE_BASED, true, "The index is one-based."},
    {IVI_ERROR_INDEX_IS_TOO_HIGH, true, "The index is too high."},
    {IVI_ERROR_BAD_CHANNEL_NAME, true, "The channel name is not valid."},
    {IVI_ERROR_OUT_OF_MEMORY, true, "Could not allocate necessary memory."},
    {IVI_ERROR_NULL_POINTER, true, "Null pointer passed."},
    {IVI_ERROR_UNEXPECTED_RESPONSE, true, "Unexpected response from instrument."},
    {IVI_ERROR_FILE_NOT_FOUND, true, "File not found."},
    {IVI_ERROR_INVALID_FILE_FORMAT, true, "Invalid file format."},
    {IVI_ERROR_RESOURCE_UNKNOWN, true, "Unknown resource."},
    {IVI_ERROR_CANNOT_CHANGE_SIMULATION_STATE, true, "The simulation state cannot be changed."},
    {IVI_ERROR_INVALID_SESSION_HANDLE, false, "The session handle is not valid."},
    {static_cast<ViStatus>(0xBFFA0057), true, "Operation in progress."},
    {static_cast<ViStatus>(0xBFFA005D), true, "The instrument status is not available."},
    {static_cast<ViStatus>(0xBFFA005E), true, "Instrument ID query failed."},
    {static_cast<ViStatus>(0xBFFA005F), true, "Instrument reset failed."},
    {0x3FFA0065, true, "ID Query is not supported by this instrument."},
    {0x3FFA0066, true, "Reset is not supported by this instrument."},
    {0x3FFA0067, true, "Self test is not supported by this instrument."},
    {0x3FFA0068, true, "Error query is not supported by this instrument."},
    {0x3FFA0069, true, "Firmware revision query is not supported by this instrument."},
    {VI_ERROR_PARAMETER1, false, "Parameter 1 out of range."},
    {VI_ERROR_PARAMETER2, false, "Parameter 2 out of range."},
    {VI_ERROR_PARAMETER3, false, "Parameter 3 out of range."},
    {VI_ERROR_PARAMETER4, false, "Parameter 4 out of range."},
    {VI_ERROR_PARAMETER5, false, "Parameter 5 out of range."},
    {VI_ERROR_PARAMETER6, false, "Parameter 6 out of range."},
    {VI_ERROR_PARAMETER7, false, "Parameter 7 out of range."},
    {VI_ERROR_PARAMETER8, false, "Parameter 8 out of range."},
    {VI_ERROR_FAIL_ID_QUERY, false, "Instrument identification query failed."},
    {VI_ERROR_INV_RESPONSE, false, "Error interpreting instrument response."},
    {0x3FFC0101, false, "Identification query not supported."},
    {0x3FFC0102, false, "Reset operation not supported."},
    {0x3FFC0103, false, "Self-test operation not supported."},
    {0x3FFC0104, false, "Error query operation not supported."},
    {0x3FFC0105, false, "Revision query operation not supported."},
};

}  // namespace

const char* engine_status_text(ViStatus status, bool& prefixed) {
  for (const StatusRow& row : kEngineRows) {
    if (row.code == status) {
      prefixed = row.prefixed;
      return row.text;
    }
  }
  return nullptr;
}

ViStatus describe_status(std::string_view prefix, ViStatus status,
                         const IviStringValueTableEntry* driverTable, ViChar* buf) {
  for (const IviStringValueTableEntry* row = driverTable; row != nullptr && row->string != nullptr;
       ++row) {
    if (row->value == status) {
      copy_to_message_buffer(row->string, buf);
      return VI_SUCCESS;
    }
  }
  bool prefixed = false;
  if (const char* text = engine_status_text(status, prefixed)) {
    if (prefixed && !prefix.empty()) {
      copy_to_message_buffer(std::string(prefix) + ": " + text, buf);
    } else {
      copy_to_message_buffer(text, buf);
    }
    return VI_SUCCESS;
  }
  // VISA may write a full message buffer; give it one and copy what fits.
  ViChar visa_text[IVI_MAX_MESSAGE_BUF_SIZE + 64] = {};
  const ViStatus visa = viStatusDesc(VI_NULL, status, visa_text);
  if (visa == VI_SUCCESS && visa_text[0] != '\0') {
    visa_text[sizeof visa_text - 1] = '\0';
    copy_to_message_buffer(visa_text, buf);
    return VI_SUCCESS;
  }
  char unknown[64];
  std::snprintf(unknown, sizeof unknown, "Unknown status code 0x%08X",
                static_cast<unsigned>(status));
  copy_to_message_buffer(unknown, buf);
  return VI_WARN_UNKNOWN_STATUS;
}

}  // namespace zr48::engine
