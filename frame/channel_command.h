// Command lines sent in one write: the channel selection and the command that follows it, or a
// command alone.
//
// Per-channel exchanges start with "INST <channel>\n" and then send their command line. Sent by
// one viWrite instead of two viPrintf calls, the instrument receives the same bytes in the same
// order, and the exchange makes one system call fewer.
#ifndef ZR48_FRAME_CHANNEL_COMMAND_H
#define ZR48_FRAME_CHANNEL_COMMAND_H

#include "frame.h"

namespace zr48 {

// The step Send("INST %s\n", channel) followed by Send(format, text): `format` is one command
// line with at most one "%s", which takes `text` unchanged. A format with any other directive or
// escape, or texts too long for the stack buffer, take the two viPrintf calls. A failed write is
// recorded as `record` says.
Exchange& SendForChannel(Exchange& exchange, const char* channel, const char* format,
                         const char* text, Record record) noexcept;

// The step Send(format, text) as one viWrite, on the same terms as SendForChannel.
Exchange& SendLine(Exchange& exchange, const char* format, const char* text,
                   Record record) noexcept;

}  // namespace zr48

#endif  // ZR48_FRAME_CHANNEL_COMMAND_H
