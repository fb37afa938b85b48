// The instrument functions, ZR48_WriteCmd and ZR48_ReadCmd: one row per exported function, run by
// one piece of code.
//
// A row names the command line to send, where the function's arguments sit in its parameter
// list (1-based, the session handle being 1, so a position doubles as the position reported for
// a null pointer) and how the reply comes back. The exported functions only pass their arguments
// through, in prototype order.
#ifndef ZR48_DRIVER_INSTRUMENT_FUNCTIONS_H
#define ZR48_DRIVER_INSTRUMENT_FUNCTIONS_H

#include <cstdint>
#include <span>

#include "ZR48.h"
#include "frame/policy.h"

namespace zr48 {

// How a function's reply reaches reChar.
enum class ReplyKind : std::uint8_t {
  kNone,  // a command: nothing is read
  kWord,  // the reply's first blank-separated word, at most 511 characters
  kRaw,   // the reply as received, terminator included, at most 511 bytes
};

struct InstrumentFunction {
  const char* name;      // the exported name
  const char* command;   // one line; its "%s", if any, takes inputStr unchanged
  std::uint8_t channel;  // position of channel_name, sent first as "INST <channel_name>"; 0: none
  std::uint8_t input;    // position of inputStr; 0: none
  std::uint8_t reply;    // position of reChar; 0: none
  ReplyKind reply_kind;
  // The frame it runs in: a raw command sends the caller's text as it stands, line breaks and all.
  const policy::FramePolicy* frame = &policy::kInstrumentFunction;
};

// Every row, in the order of the public header.
std::span<const InstrumentFunction> instrument_functions() noexcept;

}  // namespace zr48

#endif  // ZR48_DRIVER_INSTRUMENT_FUNCTIONS_H
