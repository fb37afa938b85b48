#include "instrument_functions.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <string_view>
#include <type_traits>

#include "frame/channel_command.h"
#include "frame/frame.h"

namespace zr48 {
namespace {

constexpr ReplyKind kNone = ReplyKind::kNone;
constexpr ReplyKind kWord = ReplyKind::kWord;
constexpr ReplyKind kRaw = ReplyKind::kRaw;

// Positions count the session handle as 1.
constexpr InstrumentFunction kFunctions[] = {
    // name                      command                 channel input reply kind
    // Channel set and query functions: "INST <channel_name>" first.
    {"ZR48_SetCurrent", "CURR %s\n", 3, 2, 0, kNone},
    {"ZR48_GetCurrent", "CURR? %s\n", 4, 2, 3, kWord},
    {"ZR48_SetCurrUp", "CURR:UP\n", 2, 0, 0, kNone},
    {"ZR48_SetCurrDown", "CURR:DOWN\n", 2, 0, 0, kNone},
    {"ZR48_SetCurrStep", "CURR:STEP %s\n", 3, 2, 0, kNone},
    {"ZR48_GetCurrStep", "CURR:STEP? %s\n", 4, 2, 3, kWord},
    {"ZR48_SetCurrTrig", "CURR:TRIG %s\n", 3, 2, 0, kNone},
    {"ZR48_GetCurrTrig", "CURR:TRIG? %s\n", 4, 3, 2, kWord},
    {"ZR48_SetVoltage", "VOLT %s\n", 3, 2, 0, kNone},
    {"ZR48_GetVoltage", "VOLT? %s\n", 4, 2, 3, kWord},
    {"ZR48_SetVoltUp", "VOLT:UP\n", 2, 0, 0, kNone},
    {"ZR48_SetVoltDown", "VOLT:DOWN\n", 2, 0, 0, kNone},
    {"ZR48_SetVoltStep", "VOLT:STEP %s\n", 3, 2, 0, kNone},
    {"ZR48_GetVoltStep", "VOLT:STEP? %s\n", 4, 2, 3, kWord},
    {"ZR48_SetVoltTrig", "VOLT:TRIG %s\n", 3, 2, 0, kNone},
    {"ZR48_GetVoltTrig", "VOLT:TRIG? %s\n", 4, 2, 3, kWord},
    {"ZR48_SetVoltProtStat", "VOLT:PROT:STAT %s\n", 3, 2, 0, kNone},
    {"ZR48_GetVoltProtStat", "VOLT:PROT:STAT?\n", 3, 0, 2, kWord},
    {"ZR48_SetVoltProt", "VOLT:PROT %s\n", 3, 2, 0, kNone},
    {"ZR48_GetVoltProt", "VOLT:PROT? %s\n", 4, 2, 3, kWord},
    {"ZR48_GetVoltProtTrip", "VOLT:PROT:TRIP?\n", 3, 0, 2, kWord},
    {"ZR48_VoltProtClear", "VOLT:PROT:CLE\n", 2, 0, 0, kNone},
    {"ZR48_SetVoltLimit", "VOLT:LIMIT %s\n", 3, 2, 0, kNone},
    {"ZR48_GetVoltLimit", "VOLT:LIMIT? %s\n", 4, 2, 3, kWord},
    {"ZR48_SetOutpEnab", "OUTP:ENAB %s\n", 2, 3, 0, kNone},
    {"ZR48_GetOutpEnab", "OUTP:ENAB?\n", 2, 0, 3, kWord},
    {"ZR48_SetVoltLimitStat", "VOLT:LIMIT:STAT %s\n", 2, 3, 0, kNone},
    {"ZR48_GetVoltLimitStat", "VOLT:LIMIT:STAT?\n", 2, 0, 3, kWord},
    // Instrument-wide configuration functions.
    {"ZR48_SetDisplayStat", "DISP %s\n", 0, 2, 0, kNone},
    {"ZR48_GetDisplayStat", "DISP?\n", 0, 0, 2, kWord},
    {"ZR48_SetDisplayText", "DISP:TEXT %s\n", 0, 2, 0, kNone},
    {"ZR48_GetDisplayText", "DISP:TEXT?\n", 0, 0, 2, kRaw},
    {"ZR48_DisplayTextClear", "DISP:TEXT:CLE\n", 0, 0, 0, kNone},
    {"ZR48_SetTrig", "TRIG\n", 0, 0, 0, kNone},
    {"ZR48_SetChannel", "INST %s\n", 0, 2, 0, kNone},
    {"ZR48_GetChannel", "INST?\n", 0, 0, 2, kWord},
    {"ZR48_SetNumChannel", "INST:NSEL %s\n", 0, 2, 0, kNone},
    {"ZR48_GetNumChannel", "INST:NSEL?\n", 0, 0, 2, kWord},
    {"ZR48_SetComSeries", "INST:COM:SER\n", 0, 0, 0, kNone},
    {"ZR48_SetComParall", "INST:COM:PARA\n", 0, 0, 0, kNone},
    {"ZR48_SetComTrack", "INST:COM:TRA\n", 0, 0, 0, kNone},
    {"ZR48_SetComOff", "INST:COM:OFF\n", 0, 0, 0, kNone},
    {"ZR48_SetCouple", "INST:COUP %s\n", 0, 2, 0, kNone},
    {"ZR48_GetCouple", "INST:COUP?\n", 0, 0, 2, kWord},
    {"ZR48_SetApply", "APPLY %s\n", 0, 2, 0, kNone},
    {"ZR48_GetApply", "APPLY? %s\n", 0, 2, 3, kRaw},
    // Measurement and fetch functions.
    {"ZR48_MeasVolt", "MEAS:VOLT?\n", 3, 0, 2, kWord},
    {"ZR48_MeasCurr", "MEAS:CURR?\n", 3, 0, 2, kWord},
    {"ZR48_MeasPow", "MEAS:POW?\n", 3, 0, 2, kWord},
    {"ZR48_FetchVolt", "FETCH:VOLT?\n", 3, 0, 2, kWord},
    {"ZR48_FetchCurr", "FETCH:CURR?\n", 3, 0, 2, kWord},
    {"ZR48_FetchPow", "FETCH:POW?\n", 3, 0, 2, kWord},
    // Calibration functions: no channel selection of their own.
    {"ZR48_SetCalSec", "CAL:SEC %s\n", 0, 2, 0, kNone},
    {"ZR48_GetCalSec", "CAL:SEC?\n", 0, 0, 2, kWord},
    {"ZR48_SetCalVoltPoint", "CAL:VOLT:LEV %s\n", 0, 2, 0, kNone},
    {"ZR48_SetCalVolt", "CAL:VOLT %s\n", 0, 2, 0, kNone},
    {"ZR48_SetCalCurrPoint", "CAL:CURR:LEV %s\n", 0, 2, 0, kNone},
    {"ZR48_SetCalCurr", "CAL:CURR %s\n", 0, 2, 0, kNone},
    {"ZR48_CalSave", "CAL:SAV\n", 0, 0, 0, kNone},
    {"ZR48_CalInit", "CAL:INIT\n", 0, 0, 0, kNone},
    {"ZR48_CalClear", "CAL:CLE %s\n", 0, 2, 0, kNone},
    // Any command line, sent as the caller wrote it with one line feed after it.
    {"ZR48_WriteCmd", "%s\n", 0, 2, 0, kNone, &policy::kRawWrite},
    {"ZR48_ReadCmd", "%s\n", 0, 2, 3, kRaw, &policy::kRawRead},
};

// The row of an exported function, found while compiling: a misspelt name does not build.
consteval std::size_t row_of(std::string_view name) {
  for (std::size_t i = 0; i < std::size(kFunctions); ++i) {
    if (name == kFunctions[i].name) return i;
  }
  throw "no instrument function of that name";
}

// One argument after the session handle: a text passed in, or a buffer written.
struct Argument {
  Argument(ViConstString passed_in) : text(passed_in) {}
  Argument(ViChar* written) : text(written), buffer(written) {}
  ViConstString text = nullptr;
  ViChar* buffer = nullptr;
};

// True when the row's positions name exactly the arguments of the prototype, each with the right
// direction: reChar a buffer, channel_name and inputStr texts passed in.
template <typename... Args>
consteval bool row_fits_prototype(const InstrumentFunction& row) {
  constexpr std::array<bool, sizeof...(Args)> kIsBuffer = {std::is_same_v<Args, ViChar*>...};
  const std::size_t roles = (row.channel != 0) + (row.input != 0) + (row.reply != 0);
  if (roles != kIsBuffer.size()) return false;
  // Every argument has exactly one role, and a buffer exactly when it is the reply.
  for (std::size_t i = 0; i < kIsBuffer.size(); ++i) {
    const std::size_t position = i + 2;
    const bool is_reply = position == row.reply;
    const bool is_text = position == row.channel || position == row.input;
    if (is_reply == is_text || kIsBuffer[i] != is_reply) return false;
  }
  return (row.reply == 0) == (row.reply_kind == kNone);
}

const char* null_argument_message(const InstrumentFunction& row, std::size_t position) noexcept {
  if (position == row.channel) return "Null address for Channel Name";
  if (position == row.reply) return "Null address for Reply";
  return "Null address for Input String";
}

const char* line_break_message(const InstrumentFunction& row, std::size_t position) noexcept {
  if (position == row.channel) return "Line feed or carriage return in Channel Name";
  return "Line feed or carriage return in Input String";
}

// A text that would end the command line early and start another one. (A loop: the texts are a
// few characters, shorter than strpbrk's set-up.)
bool has_line_break(const char* text) noexcept {
  for (; *text != '\0'; ++text) {
    if (*text == '\n' || *text == '\r') return true;
  }
  return false;
}

void read_reply(Exchange& exchange, ReplyKind kind, ViChar* buffer) noexcept {
  switch (kind) {
    case ReplyKind::kNone:
      break;
    case ReplyKind::kWord:
      exchange.read_word(buffer);
      // A blank reply holds no word: an answer that never came is not a reading.
      if (exchange.ok() && buffer[0] == '\0') exchange.then(VI_ERROR_INV_RESPONSE);
      break;
    case ReplyKind::kRaw: {
      Reply reply;
      exchange.read_raw(reply);
      // A failed read leaves the caller's buffer as it was.
      if (exchange.ok()) std::memcpy(buffer, reply.text, std::min(reply.count, kReplyMaxRead) + 1);
      break;
    }
  }
}

// Refuses, before anything is sent (also while simulating), a null argument, a text with a line
// break (unless the row's frame sends whole lines), and a channel name the session's channel
// table does not know. `channel` receives the physical name of the row's channel.
ViStatus check_arguments(const InstrumentFunction& row, ViSession vi,
                         const engine::HeldSession& session, std::span<const Argument> arguments,
                         ViConstString& channel) noexcept {
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::size_t position = i + 2;
    if (arguments[i].text == nullptr) {
      return record_parameter_error(vi, static_cast<ViInt32>(position),
                                    null_argument_message(row, position));
    }
  }
  for (std::size_t i = 0; i < arguments.size() && !row.frame->line_breaks; ++i) {
    const std::size_t position = i + 2;
    if (arguments[i].buffer == nullptr && has_line_break(arguments[i].text)) {
      return record_parameter_error(vi, static_cast<ViInt32>(position),
                                    line_break_message(row, position));
    }
  }
  if (row.channel == 0) return VI_SUCCESS;
  // Virtual names from the logical-name configuration become the instrument's own names.
  return normalise(session.coerce_channel_name(arguments[row.channel - 2].text, &channel));
}

// The row's frame: its arguments checked under the lock, then "INST <channel>" where the row has
// a channel, the command, the reply. A word reply's buffer is emptied before the exchange, so
// that after any exchange it holds a terminated string.
ViStatus execute(const InstrumentFunction& row, ViSession vi,
                 std::span<const Argument> arguments) noexcept {
  ViConstString channel = nullptr;
  const auto at = [arguments](std::size_t position) { return arguments[position - 2]; };
  const auto check = [&](const engine::HeldSession& session) -> ViStatus {
    const ViStatus checked = check_arguments(row, vi, session, arguments, channel);
    if (checked == VI_SUCCESS && row.reply_kind == ReplyKind::kWord && !session.simulating()) {
      at(row.reply).buffer[0] = '\0';
    }
    return checked;
  };
  return run_frame(*row.frame, vi, VI_NULL, check, Nothing{}, [&](Exchange& exchange) {
    const ViConstString input = row.input != 0 ? at(row.input).text : "";
    if (row.channel != 0) {
      send_for_channel(exchange, channel, row.command, input);
    } else {
      send_line(exchange, row.command, input);
    }
    if (row.reply != 0) read_reply(exchange, row.reply_kind, at(row.reply).buffer);
  });
}

template <std::size_t Row, typename... Args>
ViStatus call_row(ViSession vi, Args... args) noexcept {
  static_assert(row_fits_prototype<Args...>(kFunctions[Row]),
                "the row's positions do not match the exported prototype");
  const std::array<Argument, sizeof...(Args)> arguments = {Argument(args)...};
  return execute(kFunctions[Row], vi, arguments);
}

}  // namespace

std::span<const InstrumentFunction> instrument_functions() noexcept {
  return kFunctions;
}

}  // namespace zr48

using zr48::call_row;
using zr48::row_of;

// Each exported function hands its arguments, in prototype order, to its row.
ViStatus ZR48_SetCurrent(ViSession instrumentHandle, ViConstString inputStr,
                         ViConstString channel_name) {
  return call_row<row_of("ZR48_SetCurrent")>(instrumentHandle, inputStr, channel_name);
}
ViStatus ZR48_GetCurrent(ViSession instrumentHandle, ViConstString inputStr, ViChar reChar[],
                         ViConstString channel_name) {
  return call_row<row_of("ZR48_GetCurrent")>(instrumentHandle, inputStr, reChar, channel_name);
}
ViStatus ZR48_SetCurrUp(ViSession instrumentHandle, ViConstString channel_name) {
  return call_row<row_of("ZR48_SetCurrUp")>(instrumentHandle, channel_name);
}
ViStatus ZR48_SetCurrDown(ViSession instrumentHandle, ViConstString channel_name) {
  return call_row<row_of("ZR48_SetCurrDown")>(instrumentHandle, channel_name);
}
ViStatus ZR48_SetCurrStep(ViSession instrumentHandle, ViConstString inputStr,
                          ViConstString channel_name) {
  return call_row<row_of("ZR48_SetCurrStep")>(instrumentHandle, inputStr, channel_name);
}
ViStatus ZR48_GetCurrStep(ViSession instrumentHandle, ViConstString inputStr, ViChar reChar[],
                          ViConstString channel_name) {
  return call_row<row_of("ZR48_GetCurrStep")>(instrumentHandle, inputStr, reChar, channel_name);
}
ViStatus ZR48_SetCurrTrig(ViSession instrumentHandle, ViConstString inputStr,
                          ViConstString channel_name) {
  return call_row<row_of("ZR48_SetCurrTrig")>(instrumentHandle, inputStr, channel_name);
}
ViStatus ZR48_GetCurrTrig(ViSession instrumentHandle, ViChar reChar[], ViConstString inputStr,
                          ViConstString channel_name) {
  return call_row<row_of("ZR48_GetCurrTrig")>(instrumentHandle, reChar, inputStr, channel_name);
}
ViStatus ZR48_SetVoltage(ViSession instrumentHandle, ViConstString inputStr,
                         ViConstString channel_name) {
  return call_row<row_of("ZR48_SetVoltage")>(instrumentHandle, inputStr, channel_name);
}
ViStatus ZR48_GetVoltage(ViSession instrumentHandle, ViConstString inputStr, ViChar reChar[],
                         ViConstString channel_name) {
  return call_row<row_of("ZR48_GetVoltage")>(instrumentHandle, inputStr, reChar, channel_name);
}
ViStatus ZR48_SetVoltUp(ViSession instrumentHandle, ViConstString channel_name) {
  return call_row<row_of("ZR48_SetVoltUp")>(instrumentHandle, channel_name);
}
ViStatus ZR48_SetVoltDown(ViSession instrumentHandle, ViConstString channel_name) {
  return call_row<row_of("ZR48_SetVoltDown")>(instrumentHandle, channel_name);
}
ViStatus ZR48_SetVoltStep(ViSession instrumentHandle, ViConstString inputStr,
                          ViConstString channel_name) {
  return call_row<row_of("ZR48_SetVoltStep")>(instrumentHandle, inputStr, channel_name);
}
ViStatus ZR48_GetVoltStep(ViSession instrumentHandle, ViConstString inputStr, ViChar reChar[],
                          ViConstString channel_name) {
  return call_row<row_of("ZR48_GetVoltStep")>(instrumentHandle, inputStr, reChar, channel_name);
}
ViStatus ZR48_SetVoltTrig(ViSession instrumentHandle, ViConstString inputStr,
                          ViConstString channel_name) {
  return call_row<row_of("ZR48_SetVoltTrig")>(instrumentHandle, inputStr, channel_name);
}
ViStatus ZR48_GetVoltTrig(ViSession instrumentHandle, ViConstString inputStr, ViChar reChar[],
                          ViConstString channel_name) {
  return call_row<row_of("ZR48_GetVoltTrig")>(instrumentHandle, inputStr, reChar, channel_name);
}
ViStatus ZR48_SetVoltProtStat(ViSession instrumentHandle, ViConstString inputStr,
                              ViConstString channel_name) {
  return call_row<row_of("ZR48_SetVoltProtStat")>(instrumentHandle, inputStr, channel_name);
}
ViStatus ZR48_GetVoltProtStat(ViSession instrumentHandle, ViChar reChar[],
                              ViConstString channel_name) {
  return call_row<row_of("ZR48_GetVoltProtStat")>(instrumentHandle, reChar, channel_name);
}
ViStatus ZR48_SetVoltProt(ViSession instrumentHandle, ViConstString inputStr,
                          ViConstString channel_name) {
  return call_row<row_of("ZR48_SetVoltProt")>(instrumentHandle, inputStr, channel_name);
}
ViStatus ZR48_GetVoltProt(ViSession instrumentHandle, ViConstString inputStr, ViChar reChar[],
                          ViConstString channel_name) {
  return call_row<row_of("ZR48_GetVoltProt")>(instrumentHandle, inputStr, reChar, channel_name);
}
ViStatus ZR48_GetVoltProtTrip(ViSession instrumentHandle, ViChar reChar[],
                              ViConstString channel_name) {
  return call_row<row_of("ZR48_GetVoltProtTrip")>(instrumentHandle, reChar, channel_name);
}
ViStatus ZR48_VoltProtClear(ViSession instrumentHandle, ViConstString channel_name) {
  return call_row<row_of("ZR48_VoltProtClear")>(instrumentHandle, channel_name);
}
ViStatus ZR48_SetVoltLimit(ViSession instrumentHandle, ViConstString inputStr,
                           ViConstString channel_name) {
  return call_row<row_of("ZR48_SetVoltLimit")>(instrumentHandle, inputStr, channel_name);
}
ViStatus ZR48_GetVoltLimit(ViSession instrumentHandle, ViConstString inputStr, ViChar reChar[],
                           ViConstString channel_name) {
  return call_row<row_of("ZR48_GetVoltLimit")>(instrumentHandle, inputStr, reChar, channel_name);
}
ViStatus ZR48_SetOutpEnab(ViSession instrumentHandle, ViConstString channel_name,
                          ViConstString inputStr) {
  return call_row<row_of("ZR48_SetOutpEnab")>(instrumentHandle, channel_name, inputStr);
}
ViStatus ZR48_GetOutpEnab(ViSession instrumentHandle, ViConstString channel_name, ViChar reChar[]) {
  return call_row<row_of("ZR48_GetOutpEnab")>(instrumentHandle, channel_name, reChar);
}
ViStatus ZR48_SetVoltLimitStat(ViSession instrumentHandle, ViConstString channel_name,
                               ViConstString inputStr) {
  return call_row<row_of("ZR48_SetVoltLimitStat")>(instrumentHandle, channel_name, inputStr);
}
ViStatus ZR48_GetVoltLimitStat(ViSession instrumentHandle, ViConstString channel_name,
                               ViChar reChar[]) {
  return call_row<row_of("ZR48_GetVoltLimitStat")>(instrumentHandle, channel_name, reChar);
}
ViStatus ZR48_SetDisplayStat(ViSession instrumentHandle, ViConstString inputStr) {
  return call_row<row_of("ZR48_SetDisplayStat")>(instrumentHandle, inputStr);
}
ViStatus ZR48_GetDisplayStat(ViSession instrumentHandle, ViChar reChar[]) {
  return call_row<row_of("ZR48_GetDisplayStat")>(instrumentHandle, reChar);
}
ViStatus ZR48_SetDisplayText(ViSession instrumentHandle, ViConstString inputStr) {
  return call_row<row_of("ZR48_SetDisplayText")>(instrumentHandle, inputStr);
}
ViStatus ZR48_GetDisplayText(ViSession instrumentHandle, ViChar reChar[]) {
  return call_row<row_of("ZR48_GetDisplayText")>(instrumentHandle, reChar);
}
ViStatus ZR48_DisplayTextClear(ViSession instrumentHandle) {
  return call_row<row_of("ZR48_DisplayTextClear")>(instrumentHandle);
}
ViStatus ZR48_SetTrig(ViSession instrumentHandle) {
  return call_row<row_of("ZR48_SetTrig")>(instrumentHandle);
}
ViStatus ZR48_SetChannel(ViSession instrumentHandle, ViConstString inputStr) {
  return call_row<row_of("ZR48_SetChannel")>(instrumentHandle, inputStr);
}
ViStatus ZR48_GetChannel(ViSession instrumentHandle, ViChar reChar[]) {
  return call_row<row_of("ZR48_GetChannel")>(instrumentHandle, reChar);
}
ViStatus ZR48_SetNumChannel(ViSession instrumentHandle, ViConstString inputStr) {
  return call_row<row_of("ZR48_SetNumChannel")>(instrumentHandle, inputStr);
}
ViStatus ZR48_GetNumChannel(ViSession instrumentHandle, ViChar reChar[]) {
  return call_row<row_of("ZR48_GetNumChannel")>(instrumentHandle, reChar);
}
ViStatus ZR48_SetComSeries(ViSession instrumentHandle) {
  return call_row<row_of("ZR48_SetComSeries")>(instrumentHandle);
}
ViStatus ZR48_SetComParall(ViSession instrumentHandle) {
  return call_row<row_of("ZR48_SetComParall")>(instrumentHandle);
}
ViStatus ZR48_SetComTrack(ViSession instrumentHandle) {
  return call_row<row_of("ZR48_SetComTrack")>(instrumentHandle);
}
ViStatus ZR48_SetComOff(ViSession instrumentHandle) {
  return call_row<row_of("ZR48_SetComOff")>(instrumentHandle);
}
ViStatus ZR48_SetCouple(ViSession instrumentHandle, ViConstString inputStr) {
  return call_row<row_of("ZR48_SetCouple")>(instrumentHandle, inputStr);
}
ViStatus ZR48_GetCouple(ViSession instrumentHandle, ViChar reChar[]) {
  return call_row<row_of("ZR48_GetCouple")>(instrumentHandle, reChar);
}
ViStatus ZR48_SetApply(ViSession instrumentHandle, ViConstString inputStr) {
  return call_row<row_of("ZR48_SetApply")>(instrumentHandle, inputStr);
}
ViStatus ZR48_GetApply(ViSession instrumentHandle, ViConstString inputStr, ViChar reChar[]) {
  return call_row<row_of("ZR48_GetApply")>(instrumentHandle, inputStr, reChar);
}
ViStatus ZR48_MeasVolt(ViSession instrumentHandle, ViChar reChar[], ViConstString channel_name) {
  return call_row<row_of("ZR48_MeasVolt")>(instrumentHandle, reChar, channel_name);
}
ViStatus ZR48_MeasCurr(ViSession instrumentHandle, ViChar reChar[], ViConstString channel_name) {
  return call_row<row_of("ZR48_MeasCurr")>(instrumentHandle, reChar, channel_name);
}
ViStatus ZR48_MeasPow(ViSession instrumentHandle, ViChar reChar[], ViConstString channel_name) {
  return call_row<row_of("ZR48_MeasPow")>(instrumentHandle, reChar, channel_name);
}
ViStatus ZR48_FetchVolt(ViSession instrumentHandle, ViChar reChar[], ViConstString channel_name) {
  return call_row<row_of("ZR48_FetchVolt")>(instrumentHandle, reChar, channel_name);
}
ViStatus ZR48_FetchCurr(ViSession instrumentHandle, ViChar reChar[], ViConstString channel_name) {
  return call_row<row_of("ZR48_FetchCurr")>(instrumentHandle, reChar, channel_name);
}
ViStatus ZR48_FetchPow(ViSession instrumentHandle, ViChar reChar[], ViConstString channel_name) {
  return call_row<row_of("ZR48_FetchPow")>(instrumentHandle, reChar, channel_name);
}
ViStatus ZR48_SetCalSec(ViSession instrumentHandle, ViConstString inputStr) {
  return call_row<row_of("ZR48_SetCalSec")>(instrumentHandle, inputStr);
}
ViStatus ZR48_GetCalSec(ViSession instrumentHandle, ViChar reChar[]) {
  return call_row<row_of("ZR48_GetCalSec")>(instrumentHandle, reChar);
}
ViStatus ZR48_SetCalVoltPoint(ViSession instrumentHandle, ViConstString inputStr) {
  return call_row<row_of("ZR48_SetCalVoltPoint")>(instrumentHandle, inputStr);
}
ViStatus ZR48_SetCalVolt(ViSession instrumentHandle, ViConstString inputStr) {
  return call_row<row_of("ZR48_SetCalVolt")>(instrumentHandle, inputStr);
}
ViStatus ZR48_SetCalCurrPoint(ViSession instrumentHandle, ViConstString inputStr) {
  return call_row<row_of("ZR48_SetCalCurrPoint")>(instrumentHandle, inputStr);
}
ViStatus ZR48_SetCalCurr(ViSession instrumentHandle, ViConstString inputStr) {
  return call_row<row_of("ZR48_SetCalCurr")>(instrumentHandle, inputStr);
}
ViStatus ZR48_CalSave(ViSession instrumentHandle) {
  return call_row<row_of("ZR48_CalSave")>(instrumentHandle);
}
ViStatus ZR48_CalInit(ViSession instrumentHandle) {
  return call_row<row_of("ZR48_CalInit")>(instrumentHandle);
}
ViStatus ZR48_CalClear(ViSession instrumentHandle, ViConstString inputStr) {
  return call_row<row_of("ZR48_CalClear")>(instrumentHandle, inputStr);
}
ViStatus ZR48_WriteCmd(ViSession instrumentHandle, ViConstString inputStr) {
  return call_row<row_of("ZR48_WriteCmd")>(instrumentHandle, inputStr);
}
ViStatus ZR48_ReadCmd(ViSession instrumentHandle, ViConstString inputStr, ViChar reChar[]) {
  return call_row<row_of("ZR48_ReadCmd")>(instrumentHandle, inputStr, reChar);
}
