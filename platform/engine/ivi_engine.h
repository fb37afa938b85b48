/* The attribute engine: the IVI-C engine interface that specific drivers are written against.
 *
 * Sessions, typed attributes with flags, per-channel values, caching, range checking,
 * simulation, error information, a nestable per-session lock, option strings and logical
 * names. Implemented in C++; every function is safe to call with an unknown or disposed
 * session handle (it returns IVI_ERROR_INVALID_SESSION_HANDLE). Hidden from the driver
 * library's exports. */
#ifndef ZR48_PLATFORM_IVI_ENGINE_H
#define ZR48_PLATFORM_IVI_ENGINE_H

#include "zr48_visatype.h"

#ifdef __cplusplus
extern "C" {
#endif
/* NOLINTBEGIN(readability-identifier-naming): the IVI C interface's standard names. */

/* The engine's revision, major.minor: IVI_ATTR_ENGINE_REVISION reports it as "4.00", and so does
 * the driver's revision text. */
#define IVI_ENGINE_MAJOR_VERSION 4
#define IVI_ENGINE_MINOR_VERSION 0

/* ---- Status codes ---------------------------------------------------------------------- */
#define IVI_STATUS_CODE_BASE 0x3FFA0000L
#define IVI_WARN_BASE IVI_STATUS_CODE_BASE
#define IVI_ERROR_BASE (_VI_ERROR + IVI_STATUS_CODE_BASE)
#define IVI_SHARED_COMPONENT_ERROR_BASE (IVI_ERROR_BASE + 0x1000L)
#define IVI_CLASS_ERROR_BASE (IVI_ERROR_BASE + 0x2000L)
#define IVI_SPECIFIC_ERROR_BASE (IVI_ERROR_BASE + 0x4000L)
#define IVI_SPECIFIC_WARN_BASE (IVI_WARN_BASE + 0x4000L)

#define IVI_ERROR_CANNOT_RECOVER (IVI_ERROR_BASE + 0x00L)
#define IVI_ERROR_INSTRUMENT_STATUS (IVI_ERROR_BASE + 0x01L)
#define IVI_ERROR_CANNOT_OPEN_FILE (IVI_ERROR_BASE + 0x02L)
#define IVI_ERROR_READING_FILE (IVI_ERROR_BASE + 0x03L)
#define IVI_ERROR_WRITING_FILE (IVI_ERROR_BASE + 0x04L)
#define IVI_ERROR_INVALID_PATHNAME (IVI_ERROR_BASE + 0x0BL)
#define IVI_ERROR_INVALID_ATTRIBUTE (IVI_ERROR_BASE + 0x0CL)
#define IVI_ERROR_ATTR_NOT_WRITEABLE (IVI_ERROR_BASE + 0x0DL)
#define IVI_ERROR_ATTR_NOT_READABLE (IVI_ERROR_BASE + 0x0EL)
#define IVI_ERROR_INVALID_PARAMETER (IVI_ERROR_BASE + 0x0FL)
#define IVI_ERROR_INVALID_VALUE (IVI_ERROR_BASE + 0x10L)
#define IVI_ERROR_FUNCTION_NOT_SUPPORTED (IVI_ERROR_BASE + 0x11L)
#define IVI_ERROR_ATTRIBUTE_NOT_SUPPORTED (IVI_ERROR_BASE + 0x12L)
#define IVI_ERROR_VALUE_NOT_SUPPORTED (IVI_ERROR_BASE + 0x13L)
#define IVI_ERROR_INVALID_TYPE (IVI_ERROR_BASE + 0x14L)
#define IVI_ERROR_TYPES_DO_NOT_MATCH (IVI_ERROR_BASE + 0x15L)
#define IVI_ERROR_ITEM_ALREADY_EXISTS (IVI_ERROR_BASE + 0x17L)
#define IVI_ERROR_INVALID_CONFIGURATION (IVI_ERROR_BASE + 0x18L)
#define IVI_ERROR_NOT_INITIALIZED (IVI_ERROR_BASE + 0x1DL)
#define IVI_ERROR_NO_CHANNEL_TABLE (IVI_ERROR_BASE + 0x1FL)
#define IVI_ERROR_UNKNOWN_CHANNEL_NAME (IVI_ERROR_BASE + 0x20L)
#define IVI_ERROR_TOO_MANY_OPEN_FILES (IVI_ERROR_BASE + 0x23L)
#define IVI_ERROR_CONFIG_FILE_NOT_FOUND (IVI_ERROR_BASE + 0x27L)
#define IVI_ERROR_CANNOT_OPEN_CONFIG_FILE (IVI_ERROR_BASE + 0x28L)
#define IVI_ERROR_ERROR_READING_CONFIG_FILE (IVI_ERROR_BASE + 0x29L)
#define IVI_ERROR_BAD_INTEGER_IN_CONFIG_FILE (IVI_ERROR_BASE + 0x2AL)
#define IVI_ERROR_BAD_DOUBLE_IN_CONFIG_FILE (IVI_ERROR_BASE + 0x2BL)
#define IVI_ERROR_BAD_BOOLEAN_IN_CONFIG_FILE (IVI_ERROR_BASE + 0x2CL)
#define IVI_ERROR_CONFIG_ENTRY_NOT_FOUND (IVI_ERROR_BASE + 0x2DL)
#define IVI_ERROR_UNKNOWN_DEFAULT_SETUP_ATTR (IVI_ERROR_BASE + 0x3AL)
#define IVI_ERROR_INVALID_DEFAULT_SETUP_VAL (IVI_ERROR_BASE + 0x3BL)
#define IVI_ERROR_EMPTY_CHANNEL_LIST (IVI_ERROR_BASE + 0x3DL)
#define IVI_ERROR_DUPLICATE_CHANNEL_STRING (IVI_ERROR_BASE + 0x3EL)
#define IVI_ERROR_DUPLICATE_VIRT_CHAN_NAME (IVI_ERROR_BASE + 0x3FL)
#define IVI_ERROR_MISSING_VIRT_CHAN_NAME (IVI_ERROR_BASE + 0x40L)
#define IVI_ERROR_BAD_VIRT_CHAN_NAME (IVI_ERROR_BASE + 0x41L)
#define IVI_ERROR_UNASSIGNED_VIRT_CHAN_NAME (IVI_ERROR_BASE + 0x42L)
#define IVI_ERROR_BAD_VIRT_CHAN_ASSIGNMENT (IVI_ERROR_BASE + 0x43L)
#define IVI_ERROR_CHANNEL_NAME_REQUIRED (IVI_ERROR_BASE + 0x44L)
#define IVI_ERROR_CHANNEL_NAME_NOT_ALLOWED (IVI_ERROR_BASE + 0x45L)
#define IVI_ERROR_MISSING_OPTION_NAME (IVI_ERROR_BASE + 0x49L)
#define IVI_ERROR_MISSING_OPTION_VALUE (IVI_ERROR_BASE + 0x4AL)
#define IVI_ERROR_BAD_OPTION_NAME (IVI_ERROR_BASE + 0x4BL)
#define IVI_ERROR_BAD_OPTION_VALUE (IVI_ERROR_BASE + 0x4CL)
#define IVI_ERROR_INDEX_IS_ONE_BASED (IVI_ERROR_BASE + 0x50L)
#define IVI_ERROR_INDEX_IS_TOO_HIGH (IVI_ERROR_BASE + 0x51L)
#define IVI_ERROR_BAD_CHANNEL_NAME (IVI_ERROR_BASE + 0x54L)
#define IVI_ERROR_OUT_OF_MEMORY (IVI_ERROR_BASE + 0x56L)
#define IVI_ERROR_NULL_POINTER (IVI_ERROR_BASE + 0x58L)
#define IVI_ERROR_UNEXPECTED_RESPONSE (IVI_ERROR_BASE + 0x59L)
#define IVI_ERROR_FILE_NOT_FOUND (IVI_ERROR_BASE + 0x5BL)
#define IVI_ERROR_INVALID_FILE_FORMAT (IVI_ERROR_BASE + 0x5CL)
#define IVI_ERROR_RESOURCE_UNKNOWN (IVI_ERROR_BASE + 0x60L)
#define IVI_ERROR_CANNOT_CHANGE_SIMULATION_STATE (IVI_ERROR_BASE + 0x62L)
#define IVI_ERROR_INVALID_SESSION_HANDLE (IVI_SHARED_COMPONENT_ERROR_BASE + 0x190L)

#define VI_ERROR_PARAMETER1 (_VI_ERROR + 0x3FFC0001L)
#define VI_ERROR_PARAMETER2 (_VI_ERROR + 0x3FFC0002L)
#define VI_ERROR_PARAMETER3 (_VI_ERROR + 0x3FFC0003L)
#define VI_ERROR_PARAMETER4 (_VI_ERROR + 0x3FFC0004L)
#define VI_ERROR_PARAMETER5 (_VI_ERROR + 0x3FFC0005L)
#define VI_ERROR_PARAMETER6 (_VI_ERROR + 0x3FFC0006L)
#define VI_ERROR_PARAMETER7 (_VI_ERROR + 0x3FFC0007L)
#define VI_ERROR_PARAMETER8 (_VI_ERROR + 0x3FFC0008L)
#define VI_ERROR_FAIL_ID_QUERY (_VI_ERROR + 0x3FFC0011L)
#define VI_ERROR_INV_RESPONSE (_VI_ERROR + 0x3FFC0012L)

/* ---- Attribute identifiers ------------------------------------------------------------- */
#define IVI_ATTR_BASE 1000000
#define IVI_ENGINE_PUBLIC_ATTR_BASE (IVI_ATTR_BASE + 50000)
#define IVI_SPECIFIC_PUBLIC_ATTR_BASE (IVI_ATTR_BASE + 150000)
#define IVI_SPECIFIC_PRIVATE_ATTR_BASE (IVI_ATTR_BASE + 100000)
#define IVI_CLASS_PUBLIC_ATTR_BASE (IVI_ATTR_BASE + 250000)

#define IVI_ATTR_NONE 0xFFFFFFFFUL
#define IVI_ATTR_RANGE_CHECK (IVI_ENGINE_PUBLIC_ATTR_BASE + 2L)
#define IVI_ATTR_QUERY_INSTRUMENT_STATUS (IVI_ENGINE_PUBLIC_ATTR_BASE + 3L)
#define IVI_ATTR_CACHE (IVI_ENGINE_PUBLIC_ATTR_BASE + 4L)
#define IVI_ATTR_SIMULATE (IVI_ENGINE_PUBLIC_ATTR_BASE + 5L)
#define IVI_ATTR_RECORD_COERCIONS (IVI_ENGINE_PUBLIC_ATTR_BASE + 6L)
#define IVI_ATTR_DRIVER_SETUP (IVI_ENGINE_PUBLIC_ATTR_BASE + 7L)
#define IVI_ATTR_INTERCHANGE_CHECK (IVI_ENGINE_PUBLIC_ATTR_BASE + 21L)
#define IVI_ATTR_PRIMARY_ERROR (IVI_ENGINE_PUBLIC_ATTR_BASE + 101L)
#define IVI_ATTR_SECONDARY_ERROR (IVI_ENGINE_PUBLIC_ATTR_BASE + 102L)
#define IVI_ATTR_ERROR_ELABORATION (IVI_ENGINE_PUBLIC_ATTR_BASE + 103L)
#define IVI_ATTR_CHANNEL_COUNT (IVI_ENGINE_PUBLIC_ATTR_BASE + 203L)
#define IVI_ATTR_SPECIFIC_DRIVER_PREFIX (IVI_ENGINE_PUBLIC_ATTR_BASE + 302L)
#define IVI_ATTR_IO_RESOURCE_DESCRIPTOR (IVI_ENGINE_PUBLIC_ATTR_BASE + 304L)
#define IVI_ATTR_LOGICAL_NAME (IVI_ENGINE_PUBLIC_ATTR_BASE + 305L)
#define IVI_ATTR_VISA_RM_SESSION (IVI_ENGINE_PUBLIC_ATTR_BASE + 321L)
#define IVI_ATTR_IO_SESSION (IVI_ENGINE_PUBLIC_ATTR_BASE + 322L)
#define IVI_ATTR_SUPPORTED_INSTRUMENT_MODELS (IVI_ENGINE_PUBLIC_ATTR_BASE + 327L)
#define IVI_ATTR_GROUP_CAPABILITIES (IVI_ENGINE_PUBLIC_ATTR_BASE + 401L)
#define IVI_ATTR_INSTRUMENT_FIRMWARE_REVISION (IVI_ENGINE_PUBLIC_ATTR_BASE + 510L)
#define IVI_ATTR_INSTRUMENT_MANUFACTURER (IVI_ENGINE_PUBLIC_ATTR_BASE + 511L)
#define IVI_ATTR_INSTRUMENT_MODEL (IVI_ENGINE_PUBLIC_ATTR_BASE + 512L)
#define IVI_ATTR_SPECIFIC_DRIVER_VENDOR (IVI_ENGINE_PUBLIC_ATTR_BASE + 513L)
#define IVI_ATTR_SPECIFIC_DRIVER_DESCRIPTION (IVI_ENGINE_PUBLIC_ATTR_BASE + 514L)
#define IVI_ATTR_SPECIFIC_DRIVER_CLASS_SPEC_MAJOR_VERSION (IVI_ENGINE_PUBLIC_ATTR_BASE + 515L)
#define IVI_ATTR_SPECIFIC_DRIVER_CLASS_SPEC_MINOR_VERSION (IVI_ENGINE_PUBLIC_ATTR_BASE + 516L)
#define IVI_ATTR_SPECIFIC_DRIVER_REVISION (IVI_ENGINE_PUBLIC_ATTR_BASE + 551L)
#define IVI_ATTR_ENGINE_REVISION (IVI_ENGINE_PUBLIC_ATTR_BASE + 553L)
#define IVI_ATTR_OPC_CALLBACK (IVI_ENGINE_PUBLIC_ATTR_BASE + 602L)
#define IVI_ATTR_CHECK_STATUS_CALLBACK (IVI_ENGINE_PUBLIC_ATTR_BASE + 603L)
#define IVI_ATTR_USER_INTERCHANGE_CHECK_CALLBACK (IVI_ENGINE_PUBLIC_ATTR_BASE + 801L)

/* ---- Attribute flags and option flags ---------------------------------------------------- */
typedef ViInt32 IviAttrFlags;
#define IVI_VAL_NOT_SUPPORTED 0x1L
#define IVI_VAL_NOT_READABLE 0x2L
#define IVI_VAL_NOT_WRITABLE 0x4L
#define IVI_VAL_NOT_USER_READABLE 0x8L
#define IVI_VAL_NOT_USER_WRITABLE 0x10L
#define IVI_VAL_HIDDEN (IVI_VAL_NOT_USER_READABLE | IVI_VAL_NOT_USER_WRITABLE)
#define IVI_VAL_NEVER_CACHE 0x20L
#define IVI_VAL_ALWAYS_CACHE 0x40L
#define IVI_VAL_MULTI_CHANNEL 0x400L
#define IVI_VAL_USE_CALLBACKS_FOR_SIMULATION 0x4000L
#define IVI_VAL_DONT_CHECK_STATUS 0x8000L

#define IVI_VAL_DIRECT_USER_CALL 0x1L
#define IVI_VAL_SET_CACHE_ONLY 0x2L

#define IVI_VAL_ALL_CHANNELS "IVI_ALL_CHANNELS"
#define IVI_MAX_MESSAGE_LEN 255
#define IVI_MAX_MESSAGE_BUF_SIZE 256

/* ---- Range tables ---------------------------------------------------------------------- */
#define IVI_VAL_DISCRETE 0
#define IVI_VAL_RANGED 1
#define IVI_VAL_COERCED 2
#define IVI_RANGE_TABLE_END_STRING ((ViString)(-1))
#define IVI_RANGE_TABLE_LAST_ENTRY 0.0, 0.0, 0.0, IVI_RANGE_TABLE_END_STRING, 0

typedef struct {
  ViReal64 discreteOrMinValue;
  ViReal64 maxValue;
  ViReal64 coercedValue;
  ViString cmdString;
  ViInt32 cmdValue;
} IviRangeTableEntry;

typedef struct {
  ViInt32 type;
  ViBoolean hasMin;
  ViBoolean hasMax;
  ViString customInfo;
  IviRangeTableEntry* rangeValues;
} IviRangeTable;
typedef IviRangeTable* IviRangeTablePtr;

/* A driver's status texts: {code, message} rows ended by a row whose string is VI_NULL. */
typedef struct {
  ViInt32 value;
  ViString string;
} IviStringValueTableEntry;
typedef IviStringValueTableEntry IviStringValueTable[];

/* ---- Callbacks ------------------------------------------------------------------------- */
typedef ViStatus (*ReadAttrViInt32_CallbackPtr)(ViSession vi, ViSession io,
                                                ViConstString channelName, ViAttr attributeId,
                                                ViInt32* value);
typedef ViStatus (*WriteAttrViInt32_CallbackPtr)(ViSession vi, ViSession io,
                                                 ViConstString channelName, ViAttr attributeId,
                                                 ViInt32 value);
typedef ViStatus (*ReadAttrViReal64_CallbackPtr)(ViSession vi, ViSession io,
                                                 ViConstString channelName, ViAttr attributeId,
                                                 ViReal64* value);
typedef ViStatus (*WriteAttrViReal64_CallbackPtr)(ViSession vi, ViSession io,
                                                  ViConstString channelName, ViAttr attributeId,
                                                  ViReal64 value);
/* A string read callback hands its value back with Ivi_SetValInStringCallback. */
typedef ViStatus (*ReadAttrViString_CallbackPtr)(ViSession vi, ViSession io,
                                                 ViConstString channelName, ViAttr attributeId,
                                                 ViConstString cacheValue);
typedef ViStatus (*WriteAttrViString_CallbackPtr)(ViSession vi, ViSession io,
                                                  ViConstString channelName, ViAttr attributeId,
                                                  ViConstString value);
typedef ViStatus (*ReadAttrViBoolean_CallbackPtr)(ViSession vi, ViSession io,
                                                  ViConstString channelName, ViAttr attributeId,
                                                  ViBoolean* value);
typedef ViStatus (*WriteAttrViBoolean_CallbackPtr)(ViSession vi, ViSession io,
                                                   ViConstString channelName, ViAttr attributeId,
                                                   ViBoolean value);
typedef ViStatus (*ReadAttrViSession_CallbackPtr)(ViSession vi, ViSession io,
                                                  ViConstString channelName, ViAttr attributeId,
                                                  ViSession* value);
typedef ViStatus (*WriteAttrViSession_CallbackPtr)(ViSession vi, ViSession io,
                                                   ViConstString channelName, ViAttr attributeId,
                                                   ViSession value);
typedef ViStatus (*ReadAttrViAddr_CallbackPtr)(ViSession vi, ViSession io,
                                               ViConstString channelName, ViAttr attributeId,
                                               ViAddr* value);
typedef ViStatus (*WriteAttrViAddr_CallbackPtr)(ViSession vi, ViSession io,
                                                ViConstString channelName, ViAttr attributeId,
                                                ViAddr value);
/* The operation-complete and check-status hooks kept in IVI_ATTR_OPC_CALLBACK and
 * IVI_ATTR_CHECK_STATUS_CALLBACK. */
typedef ViStatus (*IviOPCCallbackPtr)(ViSession vi, ViSession io);
typedef ViStatus (*IviCheckStatusCallbackPtr)(ViSession vi, ViSession io);

/* ---- Sessions -------------------------------------------------------------------------- */
ViStatus Ivi_GetInfoFromResourceName(ViRsrc resourceName, ViConstString optionString,
                                     ViChar newResourceName[256], ViChar newOptionString[256],
                                     ViBoolean* isLogicalName);
ViStatus Ivi_SpecificDriverNew(ViConstString specificPrefix, ViConstString optionString,
                               ViSession* newVi);
ViStatus Ivi_Dispose(ViSession vi);
ViStatus Ivi_BuildChannelTable(ViSession vi, ViConstString defaultChannelList,
                               ViBoolean allowUnknownChannelNames, ViAddr reserved);
ViStatus Ivi_ApplyDefaultSetup(ViSession vi);

/* ---- Lock and state -------------------------------------------------------------------- */
ViStatus Ivi_LockSession(ViSession vi, ViBoolean* callerHasLock);
ViStatus Ivi_UnlockSession(ViSession vi, ViBoolean* callerHasLock);
ViBoolean Ivi_Simulating(ViSession vi);
ViBoolean Ivi_RangeChecking(ViSession vi);
ViBoolean Ivi_QueryInstrStatus(ViSession vi);
ViBoolean Ivi_NeedToCheckStatus(ViSession vi);
ViStatus Ivi_SetNeedToCheckStatus(ViSession vi, ViBoolean needToCheckStatus);
ViSession Ivi_IOSession(ViSession vi);

/* ---- Error information ------------------------------------------------------------------ */
ViStatus Ivi_SetErrorInfo(ViSession vi, ViBoolean overrideExistingError, ViStatus primaryError,
                          ViStatus secondaryError, ViConstString errorElaboration);
ViStatus Ivi_GetErrorInfo(ViSession vi, ViStatus* primaryError, ViStatus* secondaryError,
                          ViChar errorElaboration[256]);
ViStatus Ivi_ClearErrorInfo(ViSession vi);
ViStatus Ivi_ParamPositionError(ViInt32 parameterPosition);
ViStatus Ivi_GetSpecificDriverStatusDesc(ViSession vi, ViStatus statusCode, ViChar messageBuf[256],
                                         const IviStringValueTableEntry* additionalTableToSearch);

/* ---- Registration ----------------------------------------------------------------------- */
ViStatus Ivi_AddAttributeViInt32(ViSession vi, ViAttr attributeId, ViConstString attributeName,
                                 ViInt32 defaultValue, IviAttrFlags flags,
                                 ReadAttrViInt32_CallbackPtr readCallback,
                                 WriteAttrViInt32_CallbackPtr writeCallback,
                                 IviRangeTablePtr rangeTable);
ViStatus Ivi_AddAttributeViReal64(ViSession vi, ViAttr attributeId, ViConstString attributeName,
                                  ViReal64 defaultValue, IviAttrFlags flags,
                                  ReadAttrViReal64_CallbackPtr readCallback,
                                  WriteAttrViReal64_CallbackPtr writeCallback,
                                  IviRangeTablePtr rangeTable, ViInt32 comparePrecision);
ViStatus Ivi_AddAttributeViString(ViSession vi, ViAttr attributeId, ViConstString attributeName,
                                  ViConstString defaultValue, IviAttrFlags flags,
                                  ReadAttrViString_CallbackPtr readCallback,
                                  WriteAttrViString_CallbackPtr writeCallback);
ViStatus Ivi_AddAttributeViBoolean(ViSession vi, ViAttr attributeId, ViConstString attributeName,
                                   ViBoolean defaultValue, IviAttrFlags flags,
                                   ReadAttrViBoolean_CallbackPtr readCallback,
                                   WriteAttrViBoolean_CallbackPtr writeCallback);
ViStatus Ivi_SetAttrReadCallbackViString(ViSession vi, ViAttr attributeId,
                                         ReadAttrViString_CallbackPtr readCallback);
ViStatus Ivi_GetAttributeFlags(ViSession vi, ViAttr attributeId, IviAttrFlags* flags);
ViStatus Ivi_SetAttributeFlags(ViSession vi, ViAttr attributeId, IviAttrFlags flags);

/* ---- Access (optionFlags: 0 from the driver, IVI_VAL_DIRECT_USER_CALL from the user) ----- */
ViStatus Ivi_SetAttributeViInt32(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                 ViInt32 optionFlags, ViInt32 value);
ViStatus Ivi_SetAttributeViReal64(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                  ViInt32 optionFlags, ViReal64 value);
ViStatus Ivi_SetAttributeViString(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                  ViInt32 optionFlags, ViConstString value);
ViStatus Ivi_SetAttributeViBoolean(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                   ViInt32 optionFlags, ViBoolean value);
ViStatus Ivi_SetAttributeViSession(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                   ViInt32 optionFlags, ViSession value);
ViStatus Ivi_SetAttributeViAddr(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                ViInt32 optionFlags, ViAddr value);

ViStatus Ivi_GetAttributeViInt32(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                 ViInt32 optionFlags, ViInt32* value);
ViStatus Ivi_GetAttributeViReal64(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                  ViInt32 optionFlags, ViReal64* value);
/* IVI buffer rule: bufSize 0 returns the required size; a too-small buffer gets a truncated,
 * terminated copy and the required size; a negative size copies the whole value. */
ViStatus Ivi_GetAttributeViString(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                  ViInt32 optionFlags, ViInt32 bufSize, ViChar value[]);
ViStatus Ivi_GetAttributeViBoolean(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                   ViInt32 optionFlags, ViBoolean* value);
ViStatus Ivi_GetAttributeViSession(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                   ViInt32 optionFlags, ViSession* value);

ViStatus Ivi_CheckAttributeViInt32(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                   ViInt32 optionFlags, ViInt32 value);
ViStatus Ivi_CheckAttributeViReal64(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                    ViInt32 optionFlags, ViReal64 value);
ViStatus Ivi_CheckAttributeViString(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                    ViInt32 optionFlags, ViConstString value);
ViStatus Ivi_CheckAttributeViBoolean(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                     ViInt32 optionFlags, ViBoolean value);
ViStatus Ivi_CheckAttributeViSession(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                     ViInt32 optionFlags, ViSession value);

/* Called by a string read callback to hand the engine the value it read. */
ViStatus Ivi_SetValInStringCallback(ViSession vi, ViAttr attributeId, ViConstString value);
ViStatus Ivi_InvalidateAttribute(ViSession vi, ViConstString channelName, ViAttr attributeId);
ViStatus Ivi_InvalidateAllAttributes(ViSession vi);

/* ---- Channels, records, raw I/O ---------------------------------------------------------- */
/* The returned pointers stay valid until the session is disposed. */
ViStatus Ivi_GetNthChannelString(ViSession vi, ViInt32 index, ViConstString* channelString);
ViStatus Ivi_GetUserChannelName(ViSession vi, ViConstString channelName,
                                ViConstString* userChannelName);
/* The physical channel a caller's name stands for, resolved as attribute access resolves it
 * (virtual names first, exact comparison). An empty or unknown name is refused with
 * IVI_ERROR_BAD_CHANNEL_NAME, recorded with the name and the valid ones. */
ViStatus Ivi_CoerceChannelName(ViSession vi, ViConstString channelName,
                               ViConstString* coercedChannelName);
ViStatus Ivi_GetNextCoercionString(ViSession vi, ViInt32 bufferSize, ViChar coercionRecord[]);
ViStatus Ivi_GetNextInterchangeCheckString(ViSession vi, ViInt32 bufferSize,
                                           ViChar interchangeWarning[]);
ViStatus Ivi_ResetInterchangeCheck(ViSession vi);
ViStatus Ivi_ClearInterchangeWarnings(ViSession vi);
ViStatus Ivi_WriteInstrData(ViSession vi, ViConstString writeBuffer);
ViStatus Ivi_ReadInstrData(ViSession vi, ViInt32 numBytes, ViChar readBuffer[], ViInt32* bytesRead);

/* A one-paragraph description of the engine: version, defaults, configuration file. */
ViStatus Ivi_GetEngineDescription(ViInt32 bufferSize, ViChar description[]);

/* The IVI C interface keeps its standard names. NOLINTEND(readability-identifier-naming) */
#ifdef __cplusplus
}
#endif

#endif /* ZR48_PLATFORM_IVI_ENGINE_H */
