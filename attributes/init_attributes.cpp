// ZR48_InitAttributes: fills in the engine's inherent identity attributes and registers the
// driver's own attributes and the engine callbacks. Runs once per session, before any instrument
// I/O.
#include <array>

#include "class_attributes.h"
#include "frame/frame.h"
#include "frame/status_check.h"
#include "init_attributes.h"
#include "identity.h"
#include "range_tables.h"
#include "scpi_attributes.h"

namespace zr48::attributes {
namespace {

// The IviDCPwr class attributes live only in the engine's cache, one value per channel: their
// callbacks touch neither the instrument nor the value.
template <typename T>
ViStatus no_op_read(ViSession /*vi*/, ViSession /*io*/, ViConstString /*channel*/, ViAttr /*id*/,
                    T* /*value*/) {
  return VI_SUCCESS;
}
template <typename T>
ViStatus no_op_write(ViSession /*vi*/, ViSession /*io*/, ViConstString /*channel*/, ViAttr /*id*/,
                     T /*value*/) {
  return VI_SUCCESS;
}

ViStatus add_class_attribute(ViSession vi, const ClassAttribute& row) {
  constexpr IviAttrFlags kFlags = kClassAttributeFlags;
  IviRangeTablePtr range = row.range != nullptr ? for_engine(*row.range) : nullptr;
  switch (row.type) {
    case ValueType::kBoolean:
      return Ivi_AddAttributeViBoolean(vi, row.id, row.name,
                                       row.default_value != 0.0 ? VI_TRUE : VI_FALSE, kFlags,
                                       no_op_read<ViBoolean>, no_op_write<ViBoolean>);
    case ValueType::kInt32:
      return Ivi_AddAttributeViInt32(vi, row.id, row.name, static_cast<ViInt32>(row.default_value),
                                     kFlags, no_op_read<ViInt32>, no_op_write<ViInt32>, range);
    case ValueType::kReal64:
      return Ivi_AddAttributeViReal64(vi, row.id, row.name, row.default_value, kFlags,
                                      no_op_read<ViReal64>, no_op_write<ViReal64>, range, 0);
  }
  return IVI_ERROR_INVALID_TYPE;
}

// Hidden private attributes: no operation of the driver uses them, but they exist, so a user's
// access is refused as not user-accessible rather than as an unknown attribute.
struct PrivateAttribute {
  const char* name;
  ViAttr id;
  ViInt32 default_value;
};
constexpr IviAttrFlags kPrivateFlags = IVI_VAL_HIDDEN | IVI_VAL_DONT_CHECK_STATUS;
constexpr std::array kPrivateAttributes = {
    PrivateAttribute{"ZR48_ATTR_OPC_TIMEOUT", IVI_SPECIFIC_PRIVATE_ATTR_BASE + 1, 5000},
    PrivateAttribute{"ZR48_ATTR_VISA_RM_SESSION", IVI_SPECIFIC_PRIVATE_ATTR_BASE + 5, 0},
    PrivateAttribute{"ZR48_ATTR_OPC_CALLBACK", IVI_SPECIFIC_PRIVATE_ATTR_BASE + 6, 0},
    PrivateAttribute{"ZR48_ATTR_CHECK_STATUS_CALLBACK", IVI_SPECIFIC_PRIVATE_ATTR_BASE + 7, 0},
    PrivateAttribute{"ZR48_ATTR_USER_INTERCHANGE_CHECK_CALLBACK",
                     IVI_SPECIFIC_PRIVATE_ATTR_BASE + 8, 0},
};

// Inherent attributes the driver fills in with text.
struct InherentText {
  ViAttr id;
  const char* value;
};
constexpr std::array kIdentityTexts = {
    InherentText{IVI_ATTR_SPECIFIC_DRIVER_VENDOR, "My Company & Co."},
    InherentText{IVI_ATTR_SPECIFIC_DRIVER_DESCRIPTION, "Description"},
};

// The identity attributes parsed from the identification response; their callbacks also run
// while simulating, so that they parse the simulated identification.
constexpr std::array kParsedIdentity = {
    IVI_ATTR_INSTRUMENT_FIRMWARE_REVISION,
    IVI_ATTR_INSTRUMENT_MANUFACTURER,
    IVI_ATTR_INSTRUMENT_MODEL,
};

// The engine's hooks are kept as addresses.
template <typename Callback>
ViAddr as_address(Callback* callback) {
  return reinterpret_cast<ViAddr>(callback);
}

// Adds IVI_VAL_USE_CALLBACKS_FOR_SIMULATION to an attribute's flags and installs its read
// callback: the engine then calls it also while the session simulates.
ViStatus read_also_while_simulating(ViSession vi, ViAttr id,
                                    ReadAttrViString_CallbackPtr callback) {
  IviAttrFlags flags = 0;
  ViStatus status = normalise(Ivi_GetAttributeFlags(vi, id, &flags));
  if (status == VI_SUCCESS) {
    status = normalise(Ivi_SetAttributeFlags(vi, id, flags | IVI_VAL_USE_CALLBACKS_FOR_SIMULATION));
  }
  if (status == VI_SUCCESS) status = normalise(Ivi_SetAttrReadCallbackViString(vi, id, callback));
  return status;
}

ViStatus adjust_inherent_attributes(ViSession vi) {
  // The revision text asks nothing of the instrument, so a simulated session reports it too.
  ViStatus status =
      read_also_while_simulating(vi, IVI_ATTR_SPECIFIC_DRIVER_REVISION, driver_revision_read);
  if (status == VI_SUCCESS) {
    status =
        normalise(Ivi_SetAttributeViInt32(vi, "", IVI_ATTR_SPECIFIC_DRIVER_CLASS_SPEC_MAJOR_VERSION,
                                          0, ZR48_CLASS_SPEC_MAJOR_VERSION));
  }
  if (status == VI_SUCCESS) {
    status =
        normalise(Ivi_SetAttributeViInt32(vi, "", IVI_ATTR_SPECIFIC_DRIVER_CLASS_SPEC_MINOR_VERSION,
                                          0, ZR48_CLASS_SPEC_MINOR_VERSION));
  }
  if (status == VI_SUCCESS) {
    status = normalise(Ivi_SetAttributeViString(vi, "", IVI_ATTR_SUPPORTED_INSTRUMENT_MODELS, 0,
                                                "MODEL1,MODEL2,MODEL3,MODEL4"));
  }
  for (const ViAttr id : kParsedIdentity) {
    if (status == VI_SUCCESS) status = read_also_while_simulating(vi, id, identity_field_read);
  }
  for (const InherentText& text : kIdentityTexts) {
    if (status == VI_SUCCESS) {
      status = normalise(Ivi_SetAttributeViString(vi, "", text.id, 0, text.value));
    }
  }
  if (status == VI_SUCCESS) {
    status = normalise(Ivi_SetAttributeViAddr(vi, VI_NULL, IVI_ATTR_OPC_CALLBACK, 0,
                                              as_address(ZR48_OpcCallback)));
  }
  if (status == VI_SUCCESS) {
    status = normalise(Ivi_SetAttributeViAddr(vi, VI_NULL, IVI_ATTR_CHECK_STATUS_CALLBACK, 0,
                                              as_address(ZR48_StatusCallback)));
  }
  if (status == VI_SUCCESS) {
    status = normalise(Ivi_SetAttributeViString(
        vi, "", IVI_ATTR_GROUP_CAPABILITIES, 0,
        "IviDCPwrBase,IviDCPwrTrigger,IviDCPwrSoftwareTrigger,IviDCPwrMeasurement"));
  }
  return status;
}

ViStatus add_driver_attributes(ViSession vi) {
  ViStatus status = VI_SUCCESS;
  for (const ClassAttribute& row : class_attribute_rows()) {
    if (status == VI_SUCCESS) status = normalise(add_class_attribute(vi, row));
  }
  if (status == VI_SUCCESS) status = normalise(add_scpi_attribute(vi, id_query_response_row()));
  for (const PrivateAttribute& row : kPrivateAttributes) {
    if (status == VI_SUCCESS) {
      status = normalise(Ivi_AddAttributeViInt32(vi, row.id, row.name, row.default_value,
                                                 kPrivateFlags, nullptr, nullptr, nullptr));
    }
  }
  for (const ScpiAttribute& row : scpi_attribute_rows()) {
    if (status == VI_SUCCESS) status = normalise(add_scpi_attribute(vi, row));
  }
  return status;
}

}  // namespace

}  // namespace zr48::attributes

ViStatus ZR48_InitAttributes(ViSession vi) {
  using namespace zr48::attributes;
  const ViStatus status = adjust_inherent_attributes(vi);
  return status == VI_SUCCESS ? add_driver_attributes(vi) : status;
}
