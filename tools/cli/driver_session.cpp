#include "driver_session.h"

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace zr48::cli {
namespace {

// VISA status codes that mean the instrument could not be reached or stopped answering.
constexpr ViStatus kResourceNotFound = static_cast<ViStatus>(0xBFFF0011);
constexpr ViStatus kInvalidResourceName = static_cast<ViStatus>(0xBFFF0012);
constexpr ViStatus kTimeout = static_cast<ViStatus>(0xBFFF0015);
constexpr ViStatus kIoError = static_cast<ViStatus>(0xBFFF003E);
constexpr ViStatus kConnectionLost = static_cast<ViStatus>(0xBFFF00A6);

constexpr std::size_t kReplySize = 512;  // the instrument functions' reply buffers

}  // namespace

Exit exit_for(ViStatus status) {
  switch (status) {
    case kResourceNotFound:
    case kTimeout:
    case kIoError:
    case kConnectionLost:
      return Exit::kConnection;
    case kInvalidResourceName:
      return Exit::kUsage;
    default:
      return Exit::kInstrument;
  }
}

std::string describe_failure(ViSession vi, ViStatus status) {
  char message[256] = "";
  ZR48_error_message(vi, status, message);
  std::string text = message;
  ViStatus recorded = 0;
  std::vector<char> description(4096);
  if (ZR48_GetError(vi, &recorded, static_cast<ViInt32>(description.size()), description.data()) >=
      0) {
    const std::string_view elaboration = description.data();
    const auto at = elaboration.find("Elaboration:");
    if (at != std::string_view::npos) {
      text += " " + trim_reply(elaboration.substr(at + std::strlen("Elaboration:") + 1));
    }
  }
  char code[16];
  std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(status));
  return text + " (" + code + ")";
}

DriverSession::DriverSession(const std::string& resource, const Globals& globals, bool id_query)
    : resource_(resource) {
  const ViStatus status =
      ZR48_InitWithOptions(const_cast<ViRsrc>(resource.c_str()), id_query ? VI_TRUE : VI_FALSE,
                           VI_FALSE, globals.options.c_str(), &vi_);
  if (status < 0) {
    const Exit exit = exit_for(status);
    std::string advice;
    if (exit == Exit::kConnection) {
      advice = "\nCheck the address and that the instrument (or zr48-sim) is listening there.";
    } else if (exit == Exit::kUsage) {
      advice = "\nA resource looks like TCPIP::192.168.1.20::5025::SOCKET.";
    }
    throw Failure(exit,
                  "cannot open " + resource + ": " + describe_failure(VI_NULL, status) + advice);
  }
}

DriverSession::~DriverSession() {
  ZR48_close(vi_);
}

void DriverSession::check(ViStatus status, std::string_view what) const {
  if (status >= 0) return;
  throw Failure(exit_for(status), std::string(what) + ": " + describe_failure(vi_, status));
}

std::string DriverSession::scpi(const std::string& line) const {
  if (line.find('?') == std::string::npos) {
    check(ZR48_WriteCmd(vi_, line.c_str()), line);
    return {};
  }
  char reply[kReplySize] = "";
  check(ZR48_ReadCmd(vi_, line.c_str(), reply), line);
  return trim_reply(reply);
}

std::vector<std::string> DriverSession::drain_errors() const {
  std::vector<std::string> errors;
  for (int i = 0; i < 256; ++i) {  // a queue is bounded; a broken reply must not loop forever
    ViInt32 code = 0;
    char message[256] = "";
    check(ZR48_error_query(vi_, &code, message), "SYST:ERR?");
    if (code == 0) break;
    errors.push_back(trim_reply(message));
  }
  return errors;
}

SessionLock::SessionLock(const DriverSession& session) : vi_(session.vi()) {
  session.check(ZR48_LockSession(vi_, &has_lock_), "lock");
}

SessionLock::~SessionLock() {
  ZR48_UnlockSession(vi_, &has_lock_);
}

double parse_number(std::string_view reply) {
  const std::string text = trim_reply(reply);
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (text.empty() || end == text.c_str()) {
    throw Failure(Exit::kInstrument, "the instrument answered '" + text + "', not a number");
  }
  return value;
}

std::string trim_reply(std::string_view reply) {
  while (!reply.empty() && (reply.back() == '\n' || reply.back() == '\r' || reply.back() == ' ')) {
    reply.remove_suffix(1);
  }
  return std::string(reply);
}

}  // namespace zr48::cli
