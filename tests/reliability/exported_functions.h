// Every function of the public header, one row each, with the kind of each of its parameters.
//
// The bad-input sweep walks this table: it calls each function with each pointer parameter null
// in turn and with bad session handles, building every argument from its kind. A row's kinds are
// checked against the function's prototype while compiling, so a row cannot drift from the header.
#ifndef ZR48_TESTS_RELIABILITY_EXPORTED_FUNCTIONS_H
#define ZR48_TESTS_RELIABILITY_EXPORTED_FUNCTIONS_H

#include <array>
#include <cstddef>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "ZR48.h"

namespace zr48::test {

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

constexpr bool IsPointer(Kind kind) {
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
constexpr bool NullAllowed(Kind kind) {
  return kind == Kind::kOptions || kind == Kind::kRepCap || kind == Kind::kLockFlagClear ||
         kind == Kind::kLockFlagSet;
}

constexpr bool IsSession(Kind kind) {
  return kind == Kind::kSession || kind == Kind::kSessionOrNull;
}

// Whether a parameter of type T can carry an argument of this kind.
template <typename T>
constexpr bool KindFitsType(Kind kind) {
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

// Where a bad call finds its arguments: one session handle, the texts to pass in, and storage for
// every output, pre-filled so that any write shows. Buffers have exactly their declared size, so
// that AddressSanitizer reports a write past them.
class Arguments {
 public:
  static constexpr unsigned char kFill = 0xA5;
  static constexpr std::size_t kMaxParameters = 8;
  static constexpr ViInt32 kSizedBytes = 256;

  Arguments(ViSession vi, std::string resource, std::string options, ViAttr attribute,
            std::size_t null_position)
      : vi_(vi),
        resource_(std::move(resource)),
        options_(std::move(options)),
        attribute_(attribute),
        null_position_(null_position) {
    std::memset(scalars_.data(), kFill, sizeof scalars_);
  }

  // The argument for the parameter at 1-based `position`.
  template <typename T>
  T Make(Kind kind, std::size_t position) {
    if constexpr (std::is_pointer_v<T>) {
      if (position == null_position_) return nullptr;
    }
    if constexpr (std::is_same_v<T, ViChar*>) {
      if (kind == Kind::kResource) return resource_.data();
      if (kind == Kind::kReply) return Buffer(512);
      return Buffer(kind == Kind::kMessage ? 256 : kSizedBytes);
    } else if constexpr (std::is_same_v<T, ViConstString>) {
      if (kind == Kind::kOptions) return options_.c_str();
      if (kind == Kind::kChannel || kind == Kind::kRepCap) return "ch1";
      return "1";
    } else if constexpr (std::is_same_v<T, ViSession*>) {
      return &Scalar(position).session;
    } else if constexpr (std::is_same_v<T, ViBoolean*>) {
      ViBoolean* flag = &Scalar(position).boolean;
      if (kind == Kind::kLockFlagClear) *flag = VI_FALSE;
      if (kind == Kind::kLockFlagSet) *flag = VI_TRUE;
      return flag;
    } else if constexpr (std::is_pointer_v<T>) {
      return ScalarPointer<std::remove_pointer_t<T>>(position);
    } else {
      switch (kind) {
        case Kind::kSession:
        case Kind::kSessionOrNull:
          return static_cast<T>(vi_);
        case Kind::kAttribute:
          return static_cast<T>(attribute_);
        case Kind::kSize:
          return static_cast<T>(kSizedBytes);
        case Kind::kIndex:
        case Kind::kValue:
          return static_cast<T>(1);
        case Kind::kCount:
          return static_cast<T>(16);
        default:
          return T{};
      }
    }
  }

  // True when no output storage was written. Lock flags set on purpose and the new-session
  // pointer of init (which a failed initialisation defines as VI_NULL) are not counted.
  bool OutputsUntouched() const {
    for (const auto& buffer : buffers_) {
      for (std::size_t i = 0; i < buffer.size; ++i) {
        if (static_cast<unsigned char>(buffer.bytes[i]) != kFill) return false;
      }
    }
    for (std::size_t index = 0; index < kMaxParameters; ++index) {
      if (!scalar_used_[index] || exempt_[index]) continue;
      const auto* bytes = reinterpret_cast<const unsigned char*>(&scalars_[index]);
      for (std::size_t i = 0; i < sizeof(ScalarSlot); ++i) {
        if (bytes[i] != kFill) return false;
      }
    }
    return true;
  }

  // The session an initialisation wrote at `position`, VI_NULL when none.
  ViSession NewSession(std::size_t position) const {
    if (position == 0 || !scalar_used_[position - 1]) return VI_NULL;
    ViSession filled = 0;
    std::memset(&filled, kFill, sizeof filled);
    const ViSession value = scalars_[position - 1].session;
    return value == filled ? VI_NULL : value;
  }

  // A scalar that the caller sets on purpose or that the function writes by definition.
  void Exempt(std::size_t position) { exempt_[position - 1] = true; }

 private:
  union ScalarSlot {
    ViInt16 int16;
    ViInt32 int32;
    ViUInt16 boolean;
    ViUInt32 session;
    ViReal64 real64;
  };
  struct OwnedBuffer {
    std::unique_ptr<ViChar[]> bytes;
    std::size_t size = 0;
  };

  ViChar* Buffer(std::size_t size) {
    OwnedBuffer buffer{std::make_unique<ViChar[]>(size), size};
    std::memset(buffer.bytes.get(), kFill, size);
    buffers_.push_back(std::move(buffer));
    return buffers_.back().bytes.get();
  }

  ScalarSlot& Scalar(std::size_t position) {
    scalar_used_[position - 1] = true;
    return scalars_[position - 1];
  }

  template <typename V>
  V* ScalarPointer(std::size_t position) {
    ScalarSlot& slot = Scalar(position);
    if constexpr (std::is_same_v<V, ViInt16>) return &slot.int16;
    if constexpr (std::is_same_v<V, ViInt32>) return &slot.int32;
    if constexpr (std::is_same_v<V, ViUInt32>) return &slot.session;
    if constexpr (std::is_same_v<V, ViReal64>) return &slot.real64;
    if constexpr (std::is_same_v<V, ViUInt16>) return &slot.boolean;
  }

  ViSession vi_;
  std::string resource_;
  std::string options_;
  ViAttr attribute_;
  std::size_t null_position_;
  std::array<ScalarSlot, kMaxParameters> scalars_{};
  std::array<bool, kMaxParameters> scalar_used_{};
  std::array<bool, kMaxParameters> exempt_{};
  std::vector<OwnedBuffer> buffers_;
};

// One exported function: its name, its parameters' kinds and a caller that builds the arguments.
struct ExportedFunction {
  const char* name;
  std::span<const Kind> kinds;
  ViAttr attribute;  // the identifier passed to a kAttribute parameter
  ViStatus (*call)(Arguments&);

  std::size_t PointerCount() const {
    std::size_t count = 0;
    for (const Kind kind : kinds) count += IsPointer(kind) ? 1 : 0;
    return count;
  }
  bool TakesSession() const { return !kinds.empty() && IsSession(kinds.front()); }
  bool AcceptsNullSession() const {
    return !kinds.empty() && kinds.front() == Kind::kSessionOrNull;
  }
  // 1-based position of the parameter of this kind, 0 when there is none.
  std::size_t PositionOf(Kind kind) const {
    for (std::size_t i = 0; i < kinds.size(); ++i) {
      if (kinds[i] == kind) return i + 1;
    }
    return 0;
  }
};

template <auto kFunction, Kind... kKinds>
struct Row;

template <typename... Params, ViStatus (*kFunction)(Params...), Kind... kKinds>
struct Row<kFunction, kKinds...> {
  static_assert(sizeof...(Params) == sizeof...(kKinds), "one kind per parameter");
  static_assert((KindFitsType<Params>(kKinds) && ...), "a kind does not fit its parameter's type");

  static constexpr std::array<Kind, sizeof...(kKinds)> kinds = {kKinds...};

  static ViStatus Call(Arguments& arguments) {
    return [&]<std::size_t... I>(std::index_sequence<I...>) {
      // Arguments are built in order, so that buffers are allocated one per parameter.
      std::tuple<Params...> built{arguments.template Make<Params>(kinds[I], I + 1)...};
      for (std::size_t position = 1; position <= kinds.size(); ++position) {
        const Kind kind = kinds[position - 1];
        if (kind == Kind::kLockFlagClear || kind == Kind::kLockFlagSet ||
            kind == Kind::kNewSession) {
          arguments.Exempt(position);
        }
      }
      return kFunction(std::get<I>(built)...);
    }
    (std::index_sequence_for<Params...>{});
  }
};

#define ZR48_EXPORTED(function, attribute, ...)                                    \
  ExportedFunction {                                                               \
#function, Row < &function, __VA_ARGS__> ::kinds, attribute, &Row < &function, \
        __VA_ARGS__> ::Call                                                        \
  }

// clang-format off
using enum Kind;
inline const std::array kExportedFunctions = {
    // Initialize and close.
    ZR48_EXPORTED(ZR48_init, 0, kResource, kFlag, kFlag, kNewSession),
    ZR48_EXPORTED(ZR48_InitWithOptions, 0, kResource, kFlag, kFlag, kOptions, kNewSession),
    ZR48_EXPORTED(ZR48_close, 0, kSession),
    // Utility.
    ZR48_EXPORTED(ZR48_reset, 0, kSession),
    ZR48_EXPORTED(ZR48_ResetWithDefaults, 0, kSession),
    ZR48_EXPORTED(ZR48_Disable, 0, kSession),
    ZR48_EXPORTED(ZR48_self_test, 0, kSession, kOut, kMessage),
    ZR48_EXPORTED(ZR48_revision_query, 0, kSession, kMessage, kMessage),
    ZR48_EXPORTED(ZR48_error_query, 0, kSession, kOut, kMessage),
    ZR48_EXPORTED(ZR48_error_message, 0, kSessionOrNull, kValue, kMessage),
    ZR48_EXPORTED(ZR48_GetError, 0, kSessionOrNull, kOut, kSize, kSized),
    ZR48_EXPORTED(ZR48_ClearError, 0, kSessionOrNull),
    ZR48_EXPORTED(ZR48_GetNextCoercionRecord, 0, kSession, kSize, kSized),
    ZR48_EXPORTED(ZR48_GetNextInterchangeWarning, 0, kSession, kSize, kSized),
    ZR48_EXPORTED(ZR48_ClearInterchangeWarnings, 0, kSession),
    ZR48_EXPORTED(ZR48_ResetInterchangeCheck, 0, kSession),
    ZR48_EXPORTED(ZR48_LockSession, 0, kSession, kLockFlagClear),
    ZR48_EXPORTED(ZR48_UnlockSession, 0, kSession, kLockFlagSet),
    ZR48_EXPORTED(ZR48_InvalidateAllAttributes, 0, kSession),
    ZR48_EXPORTED(ZR48_GetChannelName, 0, kSession, kIndex, kSize, kSized),
    // Raw I/O.
    ZR48_EXPORTED(ZR48_WriteCmd, 0, kSession, kText),
    ZR48_EXPORTED(ZR48_ReadCmd, 0, kSession, kText, kReply),
    ZR48_EXPORTED(ZR48_WriteInstrData, 0, kSession, kText),
    ZR48_EXPORTED(ZR48_ReadInstrData, 0, kSession, kCount, kReply, kOut),
    // Attribute accessors: attributes of the accessor's type, on channel "ch1".
    ZR48_EXPORTED(ZR48_GetAttributeViInt32, ZR48_ATTR_CURRENT_LIMIT_BEHAVIOR, kSession, kRepCap, kAttribute, kOut),
    ZR48_EXPORTED(ZR48_GetAttributeViReal64, ZR48_ATTR_VOLTAGE_LEVEL, kSession, kRepCap, kAttribute, kOut),
    ZR48_EXPORTED(ZR48_GetAttributeViString, ZR48_ATTR_OUTP_TIM_DATA, kSession, kRepCap, kAttribute, kSize, kSized),
    ZR48_EXPORTED(ZR48_GetAttributeViBoolean, ZR48_ATTR_OUTPUT_ENABLED, kSession, kRepCap, kAttribute, kOut),
    ZR48_EXPORTED(ZR48_GetAttributeViSession, ZR48_ATTR_CHANNEL_COUNT, kSession, kRepCap, kAttribute, kOut),
    ZR48_EXPORTED(ZR48_SetAttributeViInt32, ZR48_ATTR_CURRENT_LIMIT_BEHAVIOR, kSession, kRepCap, kAttribute, kValue),
    ZR48_EXPORTED(ZR48_SetAttributeViReal64, ZR48_ATTR_VOLTAGE_LEVEL, kSession, kRepCap, kAttribute, kValue),
    ZR48_EXPORTED(ZR48_SetAttributeViString, ZR48_ATTR_OUTP_TIM_DATA, kSession, kRepCap, kAttribute, kText),
    ZR48_EXPORTED(ZR48_SetAttributeViBoolean, ZR48_ATTR_OUTPUT_ENABLED, kSession, kRepCap, kAttribute, kFlag),
    ZR48_EXPORTED(ZR48_SetAttributeViSession, ZR48_ATTR_CHANNEL_COUNT, kSession, kRepCap, kAttribute, kValue),
    ZR48_EXPORTED(ZR48_CheckAttributeViInt32, ZR48_ATTR_CURRENT_LIMIT_BEHAVIOR, kSession, kRepCap, kAttribute, kValue),
    ZR48_EXPORTED(ZR48_CheckAttributeViReal64, ZR48_ATTR_VOLTAGE_LEVEL, kSession, kRepCap, kAttribute, kValue),
    ZR48_EXPORTED(ZR48_CheckAttributeViString, ZR48_ATTR_OUTP_TIM_DATA, kSession, kRepCap, kAttribute, kText),
    ZR48_EXPORTED(ZR48_CheckAttributeViBoolean, ZR48_ATTR_OUTPUT_ENABLED, kSession, kRepCap, kAttribute, kFlag),
    ZR48_EXPORTED(ZR48_CheckAttributeViSession, ZR48_ATTR_CHANNEL_COUNT, kSession, kRepCap, kAttribute, kValue),
    // Instrument functions: channel set and query.
    ZR48_EXPORTED(ZR48_SetCurrent, 0, kSession, kText, kChannel),
    ZR48_EXPORTED(ZR48_GetCurrent, 0, kSession, kText, kReply, kChannel),
    ZR48_EXPORTED(ZR48_SetCurrUp, 0, kSession, kChannel),
    ZR48_EXPORTED(ZR48_SetCurrDown, 0, kSession, kChannel),
    ZR48_EXPORTED(ZR48_SetCurrStep, 0, kSession, kText, kChannel),
    ZR48_EXPORTED(ZR48_GetCurrStep, 0, kSession, kText, kReply, kChannel),
    ZR48_EXPORTED(ZR48_SetCurrTrig, 0, kSession, kText, kChannel),
    ZR48_EXPORTED(ZR48_GetCurrTrig, 0, kSession, kReply, kText, kChannel),
    ZR48_EXPORTED(ZR48_SetVoltage, 0, kSession, kText, kChannel),
    ZR48_EXPORTED(ZR48_GetVoltage, 0, kSession, kText, kReply, kChannel),
    ZR48_EXPORTED(ZR48_SetVoltUp, 0, kSession, kChannel),
    ZR48_EXPORTED(ZR48_SetVoltDown, 0, kSession, kChannel),
    ZR48_EXPORTED(ZR48_SetVoltStep, 0, kSession, kText, kChannel),
    ZR48_EXPORTED(ZR48_GetVoltStep, 0, kSession, kText, kReply, kChannel),
    ZR48_EXPORTED(ZR48_SetVoltTrig, 0, kSession, kText, kChannel),
    ZR48_EXPORTED(ZR48_GetVoltTrig, 0, kSession, kText, kReply, kChannel),
    ZR48_EXPORTED(ZR48_SetVoltProtStat, 0, kSession, kText, kChannel),
    ZR48_EXPORTED(ZR48_GetVoltProtStat, 0, kSession, kReply, kChannel),
    ZR48_EXPORTED(ZR48_SetVoltProt, 0, kSession, kText, kChannel),
    ZR48_EXPORTED(ZR48_GetVoltProt, 0, kSession, kText, kReply, kChannel),
    ZR48_EXPORTED(ZR48_GetVoltProtTrip, 0, kSession, kReply, kChannel),
    ZR48_EXPORTED(ZR48_VoltProtClear, 0, kSession, kChannel),
    ZR48_EXPORTED(ZR48_SetVoltLimit, 0, kSession, kText, kChannel),
    ZR48_EXPORTED(ZR48_GetVoltLimit, 0, kSession, kText, kReply, kChannel),
    ZR48_EXPORTED(ZR48_SetOutpEnab, 0, kSession, kChannel, kText),
    ZR48_EXPORTED(ZR48_GetOutpEnab, 0, kSession, kChannel, kReply),
    ZR48_EXPORTED(ZR48_SetVoltLimitStat, 0, kSession, kChannel, kText),
    ZR48_EXPORTED(ZR48_GetVoltLimitStat, 0, kSession, kChannel, kReply),
    // Instrument-wide configuration.
    ZR48_EXPORTED(ZR48_SetDisplayStat, 0, kSession, kText),
    ZR48_EXPORTED(ZR48_GetDisplayStat, 0, kSession, kReply),
    ZR48_EXPORTED(ZR48_SetDisplayText, 0, kSession, kText),
    ZR48_EXPORTED(ZR48_GetDisplayText, 0, kSession, kReply),
    ZR48_EXPORTED(ZR48_DisplayTextClear, 0, kSession),
    ZR48_EXPORTED(ZR48_SetTrig, 0, kSession),
    ZR48_EXPORTED(ZR48_SetChannel, 0, kSession, kText),
    ZR48_EXPORTED(ZR48_GetChannel, 0, kSession, kReply),
    ZR48_EXPORTED(ZR48_SetNumChannel, 0, kSession, kText),
    ZR48_EXPORTED(ZR48_GetNumChannel, 0, kSession, kReply),
    ZR48_EXPORTED(ZR48_SetComSeries, 0, kSession),
    ZR48_EXPORTED(ZR48_SetComParall, 0, kSession),
    ZR48_EXPORTED(ZR48_SetComTrack, 0, kSession),
    ZR48_EXPORTED(ZR48_SetComOff, 0, kSession),
    ZR48_EXPORTED(ZR48_SetCouple, 0, kSession, kText),
    ZR48_EXPORTED(ZR48_GetCouple, 0, kSession, kReply),
    ZR48_EXPORTED(ZR48_SetApply, 0, kSession, kText),
    ZR48_EXPORTED(ZR48_GetApply, 0, kSession, kText, kReply),
    // Measurement and fetch.
    ZR48_EXPORTED(ZR48_MeasVolt, 0, kSession, kReply, kChannel),
    ZR48_EXPORTED(ZR48_MeasCurr, 0, kSession, kReply, kChannel),
    ZR48_EXPORTED(ZR48_MeasPow, 0, kSession, kReply, kChannel),
    ZR48_EXPORTED(ZR48_FetchVolt, 0, kSession, kReply, kChannel),
    ZR48_EXPORTED(ZR48_FetchCurr, 0, kSession, kReply, kChannel),
    ZR48_EXPORTED(ZR48_FetchPow, 0, kSession, kReply, kChannel),
    // Calibration.
    ZR48_EXPORTED(ZR48_SetCalSec, 0, kSession, kText),
    ZR48_EXPORTED(ZR48_GetCalSec, 0, kSession, kReply),
    ZR48_EXPORTED(ZR48_SetCalVoltPoint, 0, kSession, kText),
    ZR48_EXPORTED(ZR48_SetCalVolt, 0, kSession, kText),
    ZR48_EXPORTED(ZR48_SetCalCurrPoint, 0, kSession, kText),
    ZR48_EXPORTED(ZR48_SetCalCurr, 0, kSession, kText),
    ZR48_EXPORTED(ZR48_CalSave, 0, kSession),
    ZR48_EXPORTED(ZR48_CalInit, 0, kSession),
    ZR48_EXPORTED(ZR48_CalClear, 0, kSession, kText),
};
// clang-format on

#undef ZR48_EXPORTED

}  // namespace zr48::test

#endif  // ZR48_TESTS_RELIABILITY_EXPORTED_FUNCTIONS_H
