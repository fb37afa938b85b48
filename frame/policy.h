// The kinds of operation the frame runs, one row each, so that what sets them apart stands in one
// table a reader can compare line by line.
//
// Every operation that talks to the instrument runs the same frame (frame.h): lock, simulation
// test, mark the status as needing a check, discard stale buffer contents, the operation's own
// steps, status check. A row switches these on or off and says which failing I/O steps are written
// into the session's error information. A failing channel selection is recorded by no row, and
// engine calls record their own failures.
#ifndef ZR48_FRAME_POLICY_H
#define ZR48_FRAME_POLICY_H

#include <cstdint>

namespace zr48::policy {

// Which I/O session the exchange uses.
enum class Io : std::uint8_t {
  kCurrent,   // Ivi_IOSession(vi), asked for after the lock and the simulation test
  kHandedIn,  // the one the engine hands to the callback
};
constexpr Io kCurrent = Io::kCurrent;
constexpr Io kHandedIn = Io::kHandedIn;

// The I/O steps whose failure can be recorded, as a set of bits.
using Steps = std::uint8_t;
constexpr Steps kNothing = 0;
constexpr Steps kFlush = 1;  // the discard of stale buffer contents
constexpr Steps kWrite = 2;  // a command line, once the write got past a channel selection's bytes
constexpr Steps kRead = 4;   // the reply

struct FramePolicy {
  const char* kind;   // what runs in this row
  bool lock;          // the session lock, held from the first step to the last
  bool simulated;     // a simulated session sends nothing and runs the operation's stand-in
  Io io;              // where the bytes go
  bool mark_status;   // Ivi_SetNeedToCheckStatus(vi, VI_TRUE) before the first byte
  bool flush;         // stale buffer contents discarded before the first byte
  Steps recorded;     // the failing I/O steps written into the error information
  bool status_check;  // the instrument-status check once everything else succeeded, also simulated
  bool line_breaks;   // a caller's text may hold line breaks: it is sent as whole lines
};

// "sim." is the simulation test, "check" the status check, "breaks" the line breaks allowed.
// The utility queries are two rows: the self-test checks the status after it, the error query
// does not.
// clang-format off
//                                               kind                      lock   sim.   io         mark   flush  recorded                 check  breaks
inline constexpr FramePolicy kInstrumentFunction{"instrument function",    true,  true,  kCurrent,  true,  true,  kNothing,                false, false};
inline constexpr FramePolicy kRawWrite          {"raw write",              true,  true,  kCurrent,  true,  true,  kNothing,                false, true};
inline constexpr FramePolicy kRawRead           {"raw read",               true,  true,  kCurrent,  true,  true,  kNothing,                false, true};
inline constexpr FramePolicy kAttributeQuery    {"attribute query",        true,  true,  kCurrent,  false, true,  kWrite | kRead,          false, false};
inline constexpr FramePolicy kDirectQuery       {"direct attribute query", false, false, kHandedIn, false, true,  kWrite | kRead,          false, false};
inline constexpr FramePolicy kAttributeWrite    {"attribute write",        true,  true,  kCurrent,  true,  true,  kWrite,                  false, false};
inline constexpr FramePolicy kSelfTest          {"self-test",              true,  true,  kCurrent,  true,  true,  kFlush | kWrite | kRead, true,  false};
inline constexpr FramePolicy kErrorQuery        {"error query",            true,  true,  kCurrent,  true,  true,  kFlush | kWrite | kRead, false, false};
inline constexpr FramePolicy kReset             {"reset",                  true,  true,  kCurrent,  true,  false, kWrite,                  true,  false};
// clang-format on

}  // namespace zr48::policy

#endif  // ZR48_FRAME_POLICY_H
