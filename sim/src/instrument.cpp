#include "zr48sim/instrument.h"

#include <utility>
#include <vector>

#include "commands.h"
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

}  // namespace

Instrument::Instrument() : model_(std::make_unique<Model>()) {}
Instrument::~Instrument() = default;

std::string Instrument::execute(std::string_view line) {
  Model& m = *model_;
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);

  std::string response;
  bool any_reply = false;
  // Within one line a header without a leading ':' continues the path of the one before it
  // ("VOLT:PROT 5;STAT ON"); a header that does not fit there is tried from the root.
  std::vector<std::string> path;
  for (std::string_view text : split_units(line)) {
    try {
      const ProgramUnit unit = parse_unit(text);
      Match match;
      std::vector<std::string> tokens;
      if (!unit.common && !unit.absolute && !path.empty()) {
        tokens = path;
        tokens.insert(tokens.end(), unit.tokens.begin(), unit.tokens.end());
        match = find_row(tokens);
      }
      if (match.row == nullptr) {
        tokens = unit.tokens;
        match = find_row(tokens);
      }
      if (match.row == nullptr) throw ScpiError{kUndefinedHeader};
      const Handler& handler = unit.query ? match.row->query : match.row->command;
      if (!handler) throw ScpiError{kUndefinedHeader};
      if (!unit.common) path.assign(tokens.begin(), tokens.end() - 1);

      Call call{m, unit, match.suffix, {}};
      m.settle();  // output timers that ran out since the last command
      handler(call);
      m.settle();
      if (unit.query) {
        if (any_reply) response += ';';
        response += call.reply;
        any_reply = true;
      }
    } catch (const ScpiError& e) {
      // An error ends the processing of the line; replies already made are still sent.
      m.push_error(e.code);
      m.settle();
      break;
    }
  }
  if (any_reply) response += '\n';
  return response;
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
  model_->clock = std::move(clock);
}

}  // namespace zr48::sim
