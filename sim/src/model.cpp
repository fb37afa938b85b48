#include "model.h"

#include <cmath>

namespace zr48::sim {
namespace {

ChannelSettings default_channel(const Rating& rating) {
  ChannelSettings c;
  c.curr = rating.curr;
  c.curr_trig = rating.curr;
  c.ovp_level = rating.volt * kOvpHeadroom;
  c.volt_limit = rating.volt;
  return c;
}

}  // namespace

Model::Model() {
  load_ohms.fill(kDefaultLoadOhms);
  reset_settings();
  for (auto& slot : saved) slot = settings;
  preset_status();
}

Combination Model::combination_of(int n) const {
  const int pair = pair_of(n);
  return pair < 0 ? Combination::kOff : settings.pairs.at(static_cast<std::size_t>(pair));
}

bool Model::follows(int n, bool voltage_setting) const {
  if (n % 2 != 0) return false;  // odd channels are primaries (or alone)
  switch (combination_of(n)) {
    case Combination::kSeries:
    case Combination::kParallel:
      return true;
    case Combination::kTrack:
      return voltage_setting;
    case Combination::kOff:
      break;
  }
  return false;
}

Output Model::solve(int n) const {
  const auto index = static_cast<std::size_t>(n - 1);
  const ChannelSettings& own = channel(n);
  Output out;
  if (!own.output || !own.output_enabled || tripped.at(index)) return out;

  const Combination combination = combination_of(n);
  const bool shared = combination == Combination::kSeries || combination == Combination::kParallel;
  const int primary = shared && n % 2 == 0 ? n - 1 : n;
  const ChannelSettings& p = channel(primary);

  double volt = p.volt;
  if (p.volt_limit_on && volt > p.volt_limit) {
    volt = p.volt_limit;
    out.limited = true;
  }
  double curr = p.curr;
  if (combination == Combination::kSeries) volt *= 2.0;
  if (combination == Combination::kParallel) curr *= 2.0;

  // Constant voltage while the load draws no more than the current setting, else constant current.
  const double ohms = load_ohms.at(static_cast<std::size_t>(primary - 1));
  const bool open_circuit = !(ohms > 0.0) || std::isinf(ohms);
  const double drawn = open_circuit ? 0.0 : volt / ohms;
  if (drawn <= curr) {
    out.mode = OutputMode::kConstantVoltage;
    out.volt = volt;
    out.curr = drawn;
  } else {
    out.mode = OutputMode::kConstantCurrent;
    out.curr = curr;
    out.volt = curr * ohms;
  }
  // Each channel of a combination reads its own terminals.
  if (combination == Combination::kSeries) out.volt /= 2.0;
  if (combination == Combination::kParallel) out.curr /= 2.0;
  return out;
}

Reading Model::measure(int n) {
  const Output out = solve(n);
  Reading& r = readings.at(static_cast<std::size_t>(n - 1));
  r = Reading{out.volt, out.curr, out.volt * out.curr};
  return r;
}

void Model::set_output(int n, bool on) {
  const unsigned bit = 1U << static_cast<unsigned>(n - 1);
  for (int c = 1; c <= kChannels; ++c) {
    const unsigned cbit = 1U << static_cast<unsigned>(c - 1);
    const bool affected =
        c == n || ((settings.coupled & bit) != 0 && (settings.coupled & cbit) != 0);
    if (!affected) continue;
    channel(c).output = on;
    timer_deadline.at(static_cast<std::size_t>(c - 1)).reset();
    if (on && channel(c).timer_on) {
      timer_deadline.at(static_cast<std::size_t>(c - 1)) =
          clock() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                        std::chrono::duration<double>(channel(c).timer_s));
    }
  }
}

void Model::trigger() {
  for (auto& c : settings.channels) {
    if (c.volt_trig_pending) c.volt = c.volt_trig;
    if (c.curr_trig_pending) c.curr = c.curr_trig;
    c.volt_trig_pending = false;
    c.curr_trig_pending = false;
  }
}

void Model::reset_settings() {
  settings = Settings{};
  for (int n = 1; n <= kChannels; ++n) {
    channel(n) = default_channel(kRatings.at(static_cast<std::size_t>(n - 1)));
  }
  tripped.fill(false);
  readings.fill(Reading{});
  for (auto& deadline : timer_deadline) deadline.reset();
  display_on = true;
  display_text.clear();
}

void Model::clear_status() {
  errors.clear();
  esr = 0;
  for (RegisterGroup* group : {&ques, &oper}) {
    group->top.event = 0;
    group->inst.event = 0;
    for (auto& r : group->isum) r.event = 0;
  }
}

void Model::preset_status() {
  // The top enable registers are cleared; the lower levels pass everything up.
  for (RegisterGroup* group : {&ques, &oper}) {
    group->top.enable = 0;
    group->inst.enable = kRegisterBits;
    for (auto& r : group->isum) r.enable = kRegisterBits;
  }
}

void Model::push_error(int code) {
  if (!errors.push(code)) esr |= kEsrDeviceError;  // the queue overflowed: -350
  if (is_command_error(code)) {
    esr |= kEsrCommandError;
  } else if (code <= -200 && code > -300) {
    esr |= kEsrExecutionError;
  } else if (code <= -400 && code > -500) {
    esr |= kEsrQueryError;
  } else {
    esr |= kEsrDeviceError;
  }
}

std::uint8_t Model::status_byte(bool message_available) const {
  std::uint8_t stb = 0;
  if (errors.size() > 0) stb |= kStbErrorQueue;
  if (message_available) stb |= kStbMav;
  if (ques.top.summary()) stb |= kStbQues;
  if ((esr & ese) != 0) stb |= kStbEsb;
  if (oper.top.summary()) stb |= kStbOper;
  if ((stb & sre & static_cast<std::uint8_t>(~kStbMss)) != 0) stb |= kStbMss;
  return stb;
}

void Model::settle() {
  const auto now = clock();
  for (int n = 1; n <= kChannels; ++n) {
    auto& deadline = timer_deadline.at(static_cast<std::size_t>(n - 1));
    if (deadline && now >= *deadline) {
      channel(n).output = false;
      deadline.reset();
    }
  }
  // Followers take their primary's settings.
  for (int pair = 0; pair < 3; ++pair) {
    const int first = 2 * pair + 1;
    const ChannelSettings& primary = channel(first);
    ChannelSettings& follower = channel(first + 1);
    switch (settings.pairs.at(static_cast<std::size_t>(pair))) {
      case Combination::kSeries:
      case Combination::kParallel:
        follower = primary;
        tripped.at(static_cast<std::size_t>(first)) =
            tripped.at(static_cast<std::size_t>(first - 1));
        break;
      case Combination::kTrack:
        follower.volt = primary.volt;
        break;
      case Combination::kOff:
        break;
    }
  }
  // Over-voltage protection: a channel whose output exceeds its level trips and switches off,
  // and a combination trips as a whole.
  for (int n = 1; n <= kChannels; ++n) {
    const Output out = solve(n);
    if (out.mode != OutputMode::kOff && channel(n).ovp_on && out.volt > channel(n).ovp_level) {
      const Combination combination = combination_of(n);
      const bool shared =
          combination == Combination::kSeries || combination == Combination::kParallel;
      const int first = shared ? n - (n + 1) % 2 : n;
      const int last = shared ? first + 1 : n;
      for (int c = first; c <= last; ++c) {
        tripped.at(static_cast<std::size_t>(c - 1)) = true;
        channel(c).output = false;
      }
    }
  }
  std::uint16_t ques_inst = 0;
  std::uint16_t oper_inst = 0;
  for (int n = 1; n <= kChannels; ++n) {
    const auto index = static_cast<std::size_t>(n - 1);
    const Output out = solve(n);
    std::uint16_t q = 0;
    if (tripped.at(index)) q |= kQuesOverVoltage;
    if (out.limited) q |= kQuesVoltageLimited;
    std::uint16_t o = 0;
    if (out.mode == OutputMode::kConstantVoltage) o |= kOperConstantVoltage;
    if (out.mode == OutputMode::kConstantCurrent) o |= kOperConstantCurrent;
    ques.isum.at(index).set_condition(q);
    oper.isum.at(index).set_condition(o);
    if (ques.isum.at(index).summary()) ques_inst |= static_cast<std::uint16_t>(1U << n);
    if (oper.isum.at(index).summary()) oper_inst |= static_cast<std::uint16_t>(1U << n);
  }
  ques.inst.set_condition(ques_inst);
  oper.inst.set_condition(oper_inst);
  ques.top.set_condition(ques.inst.summary() ? kInstSummaryBit : 0);
  oper.top.set_condition(oper.inst.summary() ? kInstSummaryBit : 0);
}

}  // namespace zr48::sim
