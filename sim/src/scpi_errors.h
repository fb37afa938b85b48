// Standard SCPI error codes used by the simulated instrument, their texts, and the error queue.
#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>

namespace zr48::sim {

inline constexpr int kNoError = 0;
inline constexpr int kInvalidCharacter = -101;
inline constexpr int kSyntaxError = -102;
inline constexpr int kDataTypeError = -104;
inline constexpr int kParameterNotAllowed = -108;
inline constexpr int kMissingParameter = -109;
inline constexpr int kMnemonicTooLong = -112;
inline constexpr int kUndefinedHeader = -113;
inline constexpr int kHeaderSuffixOutOfRange = -114;
inline constexpr int kInvalidCharacterInNumber = -121;
inline constexpr int kExponentTooLarge = -123;
inline constexpr int kInvalidSuffix = -131;
inline constexpr int kSuffixNotAllowed = -138;
inline constexpr int kStringDataError = -150;
inline constexpr int kInvalidStringData = -151;
inline constexpr int kCommandProtected = -203;
inline constexpr int kSettingsConflict = -221;
inline constexpr int kDataOutOfRange = -222;
inline constexpr int kTooMuchData = -223;
inline constexpr int kIllegalParameterValue = -224;
inline constexpr int kQueueOverflow = -350;
inline constexpr int kInputBufferOverrun = -363;
inline constexpr int kQueryInterrupted = -410;
inline constexpr int kQueryUnterminated = -420;
inline constexpr int kQueryUnterminatedAfterIndefinite = -440;

// IEEE 488.2 error classes: a command error (-1xx) ends the program message; the others reject
// only the unit that raised them.
inline constexpr bool is_command_error(int code) {
  return code <= -100 && code > -200;
}

// Text of a standard code; "Unknown error" for codes this instrument never raises.
std::string_view error_text(int code);

// The SCPI error/event queue: first in, first out; on overflow the newest entry becomes
// -350 "Queue overflow" and further errors are dropped until there is room again.
class ErrorQueue {
 public:
  static constexpr std::size_t kCapacity = 20;

  // Returns false when the queue was full and the entry became -350.
  bool push(int code);
  int pop();  // kNoError when empty
  std::size_t size() const { return codes_.size(); }
  void clear() { codes_.clear(); }

 private:
  std::deque<int> codes_;
};

// The SYST:ERR? reply for a code: -113,"Undefined header".
std::string format_error(int code);

}  // namespace zr48::sim
