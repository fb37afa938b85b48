#include "scpi_errors.h"

#include <array>
#include <utility>

namespace zr48::sim {

std::string_view error_text(int code) {
  static constexpr std::array<std::pair<int, std::string_view>, 26> kTexts{{
      {kNoError, "No error"},
      {kInvalidCharacter, "Invalid character"},
      {kSyntaxError, "Syntax error"},
      {kDataTypeError, "Data type error"},
      {kParameterNotAllowed, "Parameter not allowed"},
      {kMissingParameter, "Missing parameter"},
      {kMnemonicTooLong, "Program mnemonic too long"},
      {kUndefinedHeader, "Undefined header"},
      {kHeaderSuffixOutOfRange, "Header suffix out of range"},
      {kInvalidCharacterInNumber, "Invalid character in number"},
      {kExponentTooLarge, "Exponent too large"},
      {kInvalidSuffix, "Invalid suffix"},
      {kSuffixNotAllowed, "Suffix not allowed"},
      {kStringDataError, "String data error"},
      {kInvalidStringData, "Invalid string data"},
      {kCommandProtected, "Command protected"},
      {kSettingsConflict, "Settings conflict"},
      {kDataOutOfRange, "Data out of range"},
      {kTooMuchData, "Too much data"},
      {kIllegalParameterValue, "Illegal parameter value"},
      {kQueueOverflow, "Queue overflow"},
      {kInputBufferOverrun, "Input buffer overrun"},
      {kQueryInterrupted, "Query INTERRUPTED"},
      {kQueryUnterminated, "Query UNTERMINATED"},
      {kQueryUnterminatedAfterIndefinite, "Query UNTERMINATED after indefinite response"},
      {-100, "Command error"},
  }};
  for (const auto& [c, text] : kTexts) {
    if (c == code) return text;
  }
  return "Unknown error";
}

bool ErrorQueue::push(int code) {
  if (codes_.size() < kCapacity) {
    codes_.push_back(code);
    return true;
  }
  codes_.back() = kQueueOverflow;
  return false;
}

int ErrorQueue::pop() {
  if (codes_.empty()) return kNoError;
  const int code = codes_.front();
  codes_.pop_front();
  return code;
}

std::string format_error(int code) {
  std::string out = std::to_string(code);
  out += ",\"";
  out += error_text(code);
  out += '"';
  return out;
}

}  // namespace zr48::sim
