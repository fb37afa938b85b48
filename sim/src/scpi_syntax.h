// SCPI program-message syntax: splitting a line into program units, headers and parameters,
// matching headers against command patterns, and parsing and formatting parameter values.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zr48::sim {

// Thrown by parsers and command handlers; the instrument turns it into an error-queue entry.
struct ScpiError {
  int code;
};

// One program unit of a line ("VOLT 1.5" in "INST ch2;VOLT 1.5").
struct ProgramUnit {
  bool absolute = false;            // header started with ':'
  bool common = false;              // IEEE 488.2 common command such as "*IDN?"
  bool query = false;               // header ended with '?'
  std::vector<std::string> tokens;  // header mnemonics, upper-cased, suffix digits kept
  std::vector<std::string> params;  // parameters, trimmed, quotes kept
};

// Splits a line (without its terminator) into units at ';' outside quoted strings.
// Empty units (blank line, trailing ';') are dropped.
std::vector<std::string_view> split_units(std::string_view line);

// Parses one unit; throws ScpiError for characters or structure that no header can have.
ProgramUnit parse_unit(std::string_view unit);

// A compiled header pattern such as "[SOURce:]VOLTage[:LEVel]" or
// "STATus:QUEStionable:INSTrument:ISUMmary#:ENABle" ('#' marks a numeric suffix).
class HeaderPattern {
 public:
  explicit HeaderPattern(std::string_view text);

  // Matches header tokens; on success returns the numeric suffix (1 when the token has none,
  // or when the pattern takes no suffix).
  std::optional<int> match(const std::vector<std::string>& tokens) const;

 private:
  struct Node {
    std::vector<std::string> short_forms;
    std::vector<std::string> long_forms;
    bool optional = false;
    bool takes_suffix = false;
  };
  bool match_from(std::size_t node, std::size_t token, const std::vector<std::string>& tokens,
                  int& suffix) const;

  std::vector<Node> nodes_;
  bool common_ = false;
};

// Keyword parameters in their long/short SCPI forms.
enum class Keyword { kNone, kMin, kMax, kDef, kUp, kDown };
Keyword parse_keyword(std::string_view param);

// The IEEE 488.2 program data type of a parameter, from its first character. A parameter of
// another type than the header takes is -104 "Data type error".
enum class DataType { kNone, kCharacter, kNumeric, kString, kOther };
DataType data_type(std::string_view param);

// The largest exponent magnitude a number may be written with (-123 beyond).
inline constexpr long kMaxExponent = 32000;

// A decimal number with optional exponent and an optional unit suffix (V, mV, A, mA, W, s, ms ...).
// `unit` is the base unit the parameter accepts ('V', 'A', 'W', 's' or 0 for a plain number).
// A value too large for a double is -222; one too small to tell from zero reads as 0.
double parse_number(std::string_view param, char unit);

// Integers: decimal numbers (rounded) and #H, #Q, #B non-decimal forms.
std::int64_t parse_integer(std::string_view param);

// ON/OFF or a number (rounded, non-zero means on).
bool parse_bool(std::string_view param);

// Character data (a mnemonic such as CH2 or ALL), upper-cased.
std::string parse_character(std::string_view param);

// A quoted string ("..." or '...', doubled quotes inside).
std::string parse_string(std::string_view param);

// "+1.50000E+00": the one numeric reply form of this instrument.
std::string format_number(double value);

// A string reply: quoted, with embedded quotes doubled.
std::string quote(std::string_view text);

std::string to_upper(std::string_view text);

}  // namespace zr48::sim
