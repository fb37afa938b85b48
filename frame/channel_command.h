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

// The step select_channel(channel) followed by send(format, text): `format` is one command line
// with at most one "%s", which takes `text` unchanged. A format with any other directive or
// escape, or texts too long for the stack buffer, take the two viPrintf calls.
Exchange& send_for_channel(Exchange& exchange, const char* channel, const char* format,
                           const char* text) noexcept;

// The step send(format, text) as one viWrite, on the same terms as send_for_channel.
Exchange& send_line(Exchange& exchange, const char* format, const char* text) noexcept;

}  // namespace zr48

#endif  // ZR48_FRAME_CHANNEL_COMMAND_H
