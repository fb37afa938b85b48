// Every function of the public header, one row each, with the kind of each of its parameters.
//
// The rows are the one description of the exported functions that both the bad-input sweep and
// the machine-readable API description (zr48-api.json) are built from. Each user expands
// ZR48_EXPORTED_FUNCTIONS with its own SECTION(title) and ROW(function, attribute, kinds...)
// macros, where `attribute` is the identifier an accessor is exercised with (0 for the others),
// and checks the kinds against the function's prototype with kind_fits_type while compiling.
#ifndef ZR48_DRIVER_EXPORTED_FUNCTIONS_H
#define ZR48_DRIVER_EXPORTED_FUNCTIONS_H

#include <type_traits>

#include "ZR48.h"

namespace zr48::api {

enum class Kind {
  kSession,        // driver session handle
  kSessionOrNull,  // driver session handle, or VI_NULL for the calling thread's information
  kResource,       // resource name passed in
  kOptions,        // option string passed in; null means no options
  kNewSession,     // ViSession* that receives a new session
  kText,           // text passed in (a value, a command line, raw data)
  kChannel,        // channel name passed in to an instrument function
  kRepCap,         // channel name of an attribute accessor; null means no channel
  kReply,          // ViChar[512] written
  kMessage,        // ViChar[256] written
  kSized,          // ViChar[] written, its size in the kSize parameter
  kSize,           // size of the kSized buffer
  kOut,            // pointer to one scalar written
  kLockFlagClear,  // callerHasLock holding VI_FALSE; null is allowed (no flag kept)
  kLockFlagSet,    // callerHasLock holding VI_TRUE; null is allowed
  kFlag,           // ViBoolean passed in
  kAttribute,      // attribute identifier (the row's)
  kValue,          // scalar value passed in (level, status code, handle)
  kIndex,          // 1-based channel index
  kCount,          // number of bytes to read
};

constexpr bool is_pointer(Kind kind) {
  switch (kind) {
    case Kind::kResource:
    case Kind::kOptions:
    case Kind::kNewSession:
    case Kind::kText:
    case Kind::kChannel:
    case Kind::kRepCap:
    case Kind::kReply:
    case Kind::kMessage:
    case Kind::kSized:
    case Kind::kOut:
    case Kind::kLockFlagClear:
    case Kind::kLockFlagSet:
      return true;
    default:
      return false;
  }
}

// Pointers that the function must accept as null, with a meaning of their own.
constexpr bool null_allowed(Kind kind) {
  return kind == Kind::kOptions || kind == Kind::kRepCap || kind == Kind::kLockFlagClear ||
         kind == Kind::kLockFlagSet;
}

constexpr bool is_session(Kind kind) {
  return kind == Kind::kSession || kind == Kind::kSessionOrNull;
}

// Whether a parameter of type T can carry an argument of this kind.
template <typename T>
constexpr bool kind_fits_type(Kind kind) {
  switch (kind) {
    case Kind::kSession:
    case Kind::kSessionOrNull:
      return std::is_same_v<T, ViSession>;
    case Kind::kResource:
    case Kind::kReply:
    case Kind::kMessage:
    case Kind::kSized:
      return std::is_same_v<T, ViChar*>;
    case Kind::kOptions:
    case Kind::kText:
    case Kind::kChannel:
    case Kind::kRepCap:
      return std::is_same_v<T, ViConstString>;
    case Kind::kNewSession:
      return std::is_same_v<T, ViSession*>;
    case Kind::kOut:
      return std::is_pointer_v<T> && std::is_arithmetic_v<std::remove_pointer_t<T>> &&
             !std::is_same_v<T, ViChar*>;
    case Kind::kLockFlagClear:
    case Kind::kLockFlagSet:
      return std::is_same_v<T, ViBoolean*>;
    case Kind::kFlag:
      return std::is_same_v<T, ViBoolean>;
    case Kind::kAttribute:
      return std::is_same_v<T, ViAttr>;
    case Kind::kValue:
      return std::is_arithmetic_v<T>;
    case Kind::kSize:
    case Kind::kIndex:
    case Kind::kCount:
      return std::is_same_v<T, ViInt32>;
  }
  return false;
}

}  // namespace zr48::api

// The rows, grouped by section in the order of the public header. Kind names are unqualified:
// expand the list where `using enum zr48::api::Kind;` is in effect.
// clang-format off
#define ZR48_EXPORTED_FUNCTIONS(SECTION, ROW) \
  SECTION("Initialize and close") \
  ROW(ZR48_init, 0, kResource, kFlag, kFlag, kNewSession) \
  ROW(ZR48_InitWithOptions, 0, kResource, kFlag, kFlag, kOptions, kNewSession) \
  ROW(ZR48_close, 0, kSession) \
  SECTION("Utility") \
  ROW(ZR48_reset, 0, kSession) \
  ROW(ZR48_ResetWithDefaults, 0, kSession) \
  ROW(ZR48_Disable, 0, kSession) \
  ROW(ZR48_self_test, 0, kSession, kOut, kMessage) \
  ROW(ZR48_revision_query, 0, kSession, kMessage, kMessage) \
  ROW(ZR48_error_query, 0, kSession, kOut, kMessage) \
  ROW(ZR48_error_message, 0, kSessionOrNull, kValue, kMessage) \
  ROW(ZR48_GetError, 0, kSessionOrNull, kOut, kSize, kSized) \
  ROW(ZR48_ClearError, 0, kSessionOrNull) \
  ROW(ZR48_GetNextCoercionRecord, 0, kSession, kSize, kSized) \
  ROW(ZR48_GetNextInterchangeWarning, 0, kSession, kSize, kSized) \
  ROW(ZR48_ClearInterchangeWarnings, 0, kSession) \
  ROW(ZR48_ResetInterchangeCheck, 0, kSession) \
  ROW(ZR48_LockSession, 0, kSession, kLockFlagClear) \
  ROW(ZR48_UnlockSession, 0, kSession, kLockFlagSet) \
  ROW(ZR48_InvalidateAllAttributes, 0, kSession) \
  ROW(ZR48_GetChannelName, 0, kSession, kIndex, kSize, kSized) \
  SECTION("Raw I/O") \
  ROW(ZR48_WriteCmd, 0, kSession, kText) \
  ROW(ZR48_ReadCmd, 0, kSession, kText, kReply) \
  ROW(ZR48_WriteInstrData, 0, kSession, kText) \
  ROW(ZR48_ReadInstrData, 0, kSession, kCount, kReply, kOut) \
  SECTION("Attribute accessors") \
  ROW(ZR48_GetAttributeViInt32, ZR48_ATTR_CURRENT_LIMIT_BEHAVIOR, kSession, kRepCap, kAttribute, kOut) \
  ROW(ZR48_GetAttributeViReal64, ZR48_ATTR_VOLTAGE_LEVEL, kSession, kRepCap, kAttribute, kOut) \
  ROW(ZR48_GetAttributeViString, ZR48_ATTR_OUTP_TIM_DATA, kSession, kRepCap, kAttribute, kSize, kSized) \
  ROW(ZR48_GetAttributeViBoolean, ZR48_ATTR_OUTPUT_ENABLED, kSession, kRepCap, kAttribute, kOut) \
  ROW(ZR48_GetAttributeViSession, ZR48_ATTR_CHANNEL_COUNT, kSession, kRepCap, kAttribute, kOut) \
  ROW(ZR48_SetAttributeViInt32, ZR48_ATTR_CURRENT_LIMIT_BEHAVIOR, kSession, kRepCap, kAttribute, kValue) \
  ROW(ZR48_SetAttributeViReal64, ZR48_ATTR_VOLTAGE_LEVEL, kSession, kRepCap, kAttribute, kValue) \
  ROW(ZR48_SetAttributeViString, ZR48_ATTR_OUTP_TIM_DATA, kSession, kRepCap, kAttribute, kText) \
  ROW(ZR48_SetAttributeViBoolean, ZR48_ATTR_OUTPUT_ENABLED, kSession, kRepCap, kAttribute, kFlag) \
  ROW(ZR48_SetAttributeViSession, ZR48_ATTR_CHANNEL_COUNT, kSession, kRepCap, kAttribute, kValue) \
  ROW(ZR48_CheckAttributeViInt32, ZR48_ATTR_CURRENT_LIMIT_BEHAVIOR, kSession, kRepCap, kAttribute, kValue) \
  ROW(ZR48_CheckAttributeViReal64, ZR48_ATTR_VOLTAGE_LEVEL, kSession, kRepCap, kAttribute, kValue) \
  ROW(ZR48_CheckAttributeViString, ZR48_ATTR_OUTP_TIM_DATA, kSession, kRepCap, kAttribute, kText) \
  ROW(ZR48_CheckAttributeViBoolean, ZR48_ATTR_OUTPUT_ENABLED, kSession, kRepCap, kAttribute, kFlag) \
  ROW(ZR48_CheckAttributeViSession, ZR48_ATTR_CHANNEL_COUNT, kSession, kRepCap, kAttribute, kValue) \
  SECTION("Channel settings") \
  ROW(ZR48_SetCurrent, 0, kSession, kText, kChannel) \
  ROW(ZR48_GetCurrent, 0, kSession, kText, kReply, kChannel) \
  ROW(ZR48_SetCurrUp, 0, kSession, kChannel) \
  ROW(ZR48_SetCurrDown, 0, kSession, kChannel) \
  ROW(ZR48_SetCurrStep, 0, kSession, kText, kChannel) \
  ROW(ZR48_GetCurrStep, 0, kSession, kText, kReply, kChannel) \
  ROW(ZR48_SetCurrTrig, 0, kSession, kText, kChannel) \
  ROW(ZR48_GetCurrTrig, 0, kSession, kReply, kText, kChannel) \
  ROW(ZR48_SetVoltage, 0, kSession, kText, kChannel) \
  ROW(ZR48_GetVoltage, 0, kSession, kText, kReply, kChannel) \
  ROW(ZR48_SetVoltUp, 0, kSession, kChannel) \
  ROW(ZR48_SetVoltDown, 0, kSession, kChannel) \
  ROW(ZR48_SetVoltStep, 0, kSession, kText, kChannel) \
  ROW(ZR48_GetVoltStep, 0, kSession, kText, kReply, kChannel) \
  ROW(ZR48_SetVoltTrig, 0, kSession, kText, kChannel) \
  ROW(ZR48_GetVoltTrig, 0, kSession, kText, kReply, kChannel) \
  ROW(ZR48_SetVoltProtStat, 0, kSession, kText, kChannel) \
  ROW(ZR48_GetVoltProtStat, 0, kSession, kReply, kChannel) \
  ROW(ZR48_SetVoltProt, 0, kSession, kText, kChannel) \
  ROW(ZR48_GetVoltProt, 0, kSession, kText, kReply, kChannel) \
  ROW(ZR48_GetVoltProtTrip, 0, kSession, kReply, kChannel) \
  ROW(ZR48_VoltProtClear, 0, kSession, kChannel) \
  ROW(ZR48_SetVoltLimit, 0, kSession, kText, kChannel) \
  ROW(ZR48_GetVoltLimit, 0, kSession, kText, kReply, kChannel) \
  ROW(ZR48_SetOutpEnab, 0, kSession, kChannel, kText) \
  ROW(ZR48_GetOutpEnab, 0, kSession, kChannel, kReply) \
  ROW(ZR48_SetVoltLimitStat, 0, kSession, kChannel, kText) \
  ROW(ZR48_GetVoltLimitStat, 0, kSession, kChannel, kReply) \
  SECTION("Instrument-wide configuration") \
  ROW(ZR48_SetDisplayStat, 0, kSession, kText) \
  ROW(ZR48_GetDisplayStat, 0, kSession, kReply) \
  ROW(ZR48_SetDisplayText, 0, kSession, kText) \
  ROW(ZR48_GetDisplayText, 0, kSession, kReply) \
  ROW(ZR48_DisplayTextClear, 0, kSession) \
  ROW(ZR48_SetTrig, 0, kSession) \
  ROW(ZR48_SetChannel, 0, kSession, kText) \
  ROW(ZR48_GetChannel, 0, kSession, kReply) \
  ROW(ZR48_SetNumChannel, 0, kSession, kText) \
  ROW(ZR48_GetNumChannel, 0, kSession, kReply) \
  ROW(ZR48_SetComSeries, 0, kSession) \
  ROW(ZR48_SetComParall, 0, kSession) \
  ROW(ZR48_SetComTrack, 0, kSession) \
  ROW(ZR48_SetComOff, 0, kSession) \
  ROW(ZR48_SetCouple, 0, kSession, kText) \
  ROW(ZR48_GetCouple, 0, kSession, kReply) \
  ROW(ZR48_SetApply, 0, kSession, kText) \
  ROW(ZR48_GetApply, 0, kSession, kText, kReply) \
  SECTION("Measurement and fetch") \
  ROW(ZR48_MeasVolt, 0, kSession, kReply, kChannel) \
  ROW(ZR48_MeasCurr, 0, kSession, kReply, kChannel) \
  ROW(ZR48_MeasPow, 0, kSession, kReply, kChannel) \
  ROW(ZR48_FetchVolt, 0, kSession, kReply, kChannel) \
  ROW(ZR48_FetchCurr, 0, kSession, kReply, kChannel) \
  ROW(ZR48_FetchPow, 0, kSession, kReply, kChannel) \
  SECTION("Calibration") \
  ROW(ZR48_SetCalSec, 0, kSession, kText) \
  ROW(ZR48_GetCalSec, 0, kSession, kReply) \
  ROW(ZR48_SetCalVoltPoint, 0, kSession, kText) \
  ROW(ZR48_SetCalVolt, 0, kSession, kText) \
  ROW(ZR48_SetCalCurrPoint, 0, kSession, kText) \
  ROW(ZR48_SetCalCurr, 0, kSession, kText) \
  ROW(ZR48_CalSave, 0, kSession) \
  ROW(ZR48_CalInit, 0, kSession) \
  ROW(ZR48_CalClear, 0, kSession, kText)
// clang-format on

#endif  // ZR48_DRIVER_EXPORTED_FUNCTIONS_H
