#include "echo.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace zr48::sim {
namespace {

enum class Action { kReceive, kSend, kReceiveSlow, kSendSlow, kIdentify, kStatusByte, kClear };

struct EchoCommand {
  std::string_view header;
  Action action;
};
constexpr std::array kCommands{
    EchoCommand{"RECEIVE", Action::kReceive},
    EchoCommand{"SEND", Action::kSend},
    EchoCommand{"RCVSLOWSRQ", Action::kReceiveSlow},
    EchoCommand{"SENDSLOWSRQ", Action::kSendSlow},
    EchoCommand{"*IDN?", Action::kIdentify},
    EchoCommand{"*STB?", Action::kStatusByte},
    EchoCommand{"*CLS", Action::kClear},
};

bool same_header(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) ==
                  std::toupper(static_cast<unsigned char>(y));
         });
}

std::string_view trimmed(std::string_view text) {
  const auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  return text;
}

}  // namespace

std::string EchoInstrument::execute(std::string_view text, const std::string& idn) {
  settle();
  if (receiving_) {
    stored_.append(text);
    receiving_ = text.empty() || text.back() != '\n';
    return {};
  }
  const std::string_view header = trimmed(text);
  const auto* command = std::find_if(kCommands.begin(), kCommands.end(),
                                     [&](const auto& c) { return same_header(c.header, header); });
  if (command == kCommands.end()) return {};
  switch (command->action) {
    case Action::kReceive:
    case Action::kReceiveSlow:
      stored_.clear();
      receiving_ = true;
      return {};
    case Action::kSendSlow:
      request_due_ = clock_() + kServiceRequestDelay;
      return stored_;
    case Action::kSend:
      return stored_;
    case Action::kIdentify:
      return idn + '\n';
    case Action::kStatusByte:  // a socket's serial poll
      return std::to_string(status_byte(false)) + '\n';
    case Action::kClear:
      clear_status();
      return {};
  }
  return {};
}

std::uint8_t EchoInstrument::status_byte(bool message_available) {
  settle();
  const std::uint8_t stb = (rqs_ ? 0x40 : 0) | (message_available ? 0x10 : 0);
  rqs_ = false;
  return stb;
}

void EchoInstrument::clear_status() {
  request_due_.reset();
  rqs_ = false;
}

void EchoInstrument::device_clear() {
  clear_status();
  receiving_ = false;
}

void EchoInstrument::raise_service_request() {
  rqs_ = true;
}

void EchoInstrument::settle() {
  if (request_due_ && clock_() >= *request_due_) {
    request_due_.reset();
    raise_service_request();
  }
}

}  // namespace zr48::sim
