#include "zr48sim/instrument.h"

#include <utility>
#include <vector>

#include "commands.h"
#include "echo.h"
#include "model.h"

namespace zr48::sim {
namespace {

struct Match {
  const CommandRow* row = nullptr;
  int suffix = 1;
};

Match find_row(const std::vector<std::string>& tokens) {
  for (const CommandRow& row : command_table()) {
    if (auto suffix = row.pattern.match(tokens)) return {&row, *suffix};
  }
  return {};
}

// Runs one program message (without its terminator) and appends its response message.
//
// The current path starts at the root; a header without a leading ':' resolves against it only,
// and leaves it at its own path minus the last mnemonic ("VOLT:PROT:STAT OFF;LEV 5" sets
// VOLT:PROT:LEV). Common commands leave the path alone.
void run_message(Model& m, std::string_view message, std::string& response) {
  std::string reply;
  bool any_reply = false;
  bool after_indefinite = false;
  std::vector<std::string> path;
  for (std::string_view text : split_units(message)) {
    try {
      const ProgramUnit unit = parse_unit(text);
      std::vector<std::string> tokens = unit.tokens;
      if (!unit.common && !unit.absolute) tokens.insert(tokens.begin(), path.begin(), path.end());
      const Match match = find_row(tokens);
      if (match.row == nullptr) throw ScpiError{kUndefinedHeader};
      const Handler& handler = unit.query ? match.row->query : match.row->command;
      if (!handler) throw ScpiError{kUndefinedHeader};
      if (!unit.common) path.assign(tokens.begin(), tokens.end() - 1);
      if (unit.query && after_indefinite) {
        m.push_error(kQueryUnterminatedAfterIndefinite);
        continue;
      }

      Call call{m, unit, match.suffix, {}};
      m.settle();  // output timers that ran out since the last command
      try {
        handler(call);
      } catch (const ScpiError& e) {
        if (is_command_error(e.code)) throw;
        m.push_error(e.code);  // this unit fails; the rest of the message still runs
        m.settle();
        continue;
      }
      m.settle();
      if (unit.query) {
        if (any_reply) reply += ';';
        reply += call.reply;
        any_reply = true;
        after_indefinite = match.row->indefinite_reply;
      }
    } catch (const ScpiError& e) {
      // A command error ends the message; replies already made are still sent.
      m.push_error(e.code);
      m.settle();
      break;
    }
  }
  if (any_reply) {
    response += reply;
    response += '\n';
  }
}

}  // namespace

Instrument::Instrument() : model_(std::make_unique<Model>()) {}
Instrument::~Instrument() = default;

void Instrument::become_echo() {
  echo_ = std::make_unique<EchoInstrument>();
  echo_->set_clock(model_->clock);
  model_->idn = EchoInstrument::kIdn;
}

std::string Instrument::execute(std::string_view text) {
  if (echo_) return echo_->execute(text, model_->idn);
  std::string response;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    run_message(*model_, text.substr(0, end), response);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return response;
}

std::uint8_t Instrument::status_byte(bool message_available) {
  if (echo_) return echo_->status_byte(message_available);
  model_->settle();
  return model_->status_byte(message_available);
}

std::optional<std::chrono::steady_clock::time_point> Instrument::service_request_due() const {
  if (echo_) return echo_->service_request_due();
  return std::nullopt;
}

void Instrument::device_clear() {
  if (echo_) echo_->device_clear();
}

void Instrument::trigger() {
  model_->trigger();
  model_->settle();
}

void Instrument::report_error(int code) {
  model_->push_error(code);
  model_->settle();
}

void Instrument::set_idn(std::string text) {
  model_->idn = std::move(text);
}
void Instrument::set_tst(std::string text) {
  model_->tst = std::move(text);
}

void Instrument::set_load(int channel, double ohms) {
  if (channel < 1 || channel > kChannels) return;
  model_->load_ohms.at(static_cast<std::size_t>(channel - 1)) = ohms;
  model_->settle();
}

void Instrument::report_input_overrun() {
  model_->push_error(kInputBufferOverrun);
  model_->settle();
}

void Instrument::set_clock(std::function<std::chrono::steady_clock::time_point()> clock) {
  if (echo_) echo_->set_clock(clock);
  model_->clock = std::move(clock);
}

}  // namespace zr48::sim
