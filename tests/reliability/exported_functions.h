// The bad-input sweep's view of the exported functions (driver/exported_functions.h): a caller per
// row that builds every argument from its parameter's kind.
//
// The sweep calls each function with each pointer parameter null in turn and with bad session
// handles. A row's kinds are checked against the function's prototype while compiling, so a row
// cannot drift from the header.
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
#include "driver/exported_functions.h"

namespace zr48::test {

using api::is_pointer;
using api::is_session;
using api::Kind;
using api::kind_fits_type;
using api::null_allowed;

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
    for (const Kind kind : kinds) count += is_pointer(kind) ? 1 : 0;
    return count;
  }
  bool TakesSession() const { return !kinds.empty() && is_session(kinds.front()); }
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
  static_assert((kind_fits_type<Params>(kKinds) && ...),
                "a kind does not fit its parameter's type");

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

#define ZR48_NO_SECTION(title)
#define ZR48_TEST_ROW(function, attribute, ...) ZR48_EXPORTED(function, attribute, __VA_ARGS__),
using enum Kind;
inline const std::array kExportedFunctions = {
    ZR48_EXPORTED_FUNCTIONS(ZR48_NO_SECTION, ZR48_TEST_ROW)};
#undef ZR48_TEST_ROW
#undef ZR48_NO_SECTION

#undef ZR48_EXPORTED

}  // namespace zr48::test

#endif  // ZR48_TESTS_RELIABILITY_EXPORTED_FUNCTIONS_H
