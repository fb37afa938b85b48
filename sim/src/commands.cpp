#include "commands.h"

#include <array>
#include <optional>
#include <string_view>

namespace zr48::sim {

void Call::expect_params(std::size_t min, std::size_t max) const {
  if (unit.params.size() < min) throw ScpiError{kMissingParameter};
  if (unit.params.size() > max) throw ScpiError{kParameterNotAllowed};
}

namespace {

struct Limits {
  double min;
  double max;
  double def;
};

// A numeric per-channel setting of the selected channel.
struct LevelField {
  std::string_view pattern;
  double ChannelSettings::*field;
  char unit;
  Limits (*limits)(const Rating&);
  bool voltage;                    // follows the primary in tracking
  bool ChannelSettings::*pending;  // marked when written (triggered levels), or null
  double ChannelSettings::*step;   // step of UP and DOWN, or null
};

Limits volt_limits(const Rating& r) {
  return {0.0, r.volt, 0.0};
}
Limits curr_limits(const Rating& r) {
  return {0.0, r.curr, r.curr};
}
Limits volt_step_limits(const Rating& r) {
  return {0.001, r.volt, 0.1};
}
Limits curr_step_limits(const Rating& r) {
  return {0.001, r.curr, 0.01};
}
Limits ovp_limits(const Rating& r) {
  return {0.0, r.volt * kOvpHeadroom, r.volt * kOvpHeadroom};
}
Limits volt_limit_limits(const Rating& r) {
  return {0.0, r.volt, r.volt};
}
Limits timer_limits(const Rating&) {
  return {0.001, 99999.0, 10.0};
}

constexpr std::array<LevelField, 9> kLevelFields{{
    {"[SOURce:]VOLTage[:LEVel][:IMMediate][:AMPLitude]", &ChannelSettings::volt, 'V', volt_limits,
     true, nullptr, &ChannelSettings::volt_step},
    {"[SOURce:]CURRent[:LEVel][:IMMediate][:AMPLitude]", &ChannelSettings::curr, 'A', curr_limits,
     false, nullptr, &ChannelSettings::curr_step},
    {"[SOURce:]VOLTage[:LEVel]:STEP[:INCRement]", &ChannelSettings::volt_step, 'V',
     volt_step_limits, true, nullptr, nullptr},
    {"[SOURce:]CURRent[:LEVel]:STEP[:INCRement]", &ChannelSettings::curr_step, 'A',
     curr_step_limits, false, nullptr, nullptr},
    {"[SOURce:]VOLTage[:LEVel]:TRIGgered[:AMPLitude]", &ChannelSettings::volt_trig, 'V',
     volt_limits, true, &ChannelSettings::volt_trig_pending, nullptr},
    {"[SOURce:]CURRent[:LEVel]:TRIGgered[:AMPLitude]", &ChannelSettings::curr_trig, 'A',
     curr_limits, false, &ChannelSettings::curr_trig_pending, nullptr},
    {"[SOURce:]VOLTage:PROTection[:LEVel]", &ChannelSettings::ovp_level, 'V', ovp_limits, false,
     nullptr, nullptr},
    {"[SOURce:]VOLTage:LIMit[:LEVel]", &ChannelSettings::volt_limit, 'V', volt_limit_limits, false,
     nullptr, nullptr},
    {"OUTPut:TIMer:DATA", &ChannelSettings::timer_s, 'S', timer_limits, false, nullptr, nullptr},
}};

// A Boolean per-channel setting of the selected channel.
struct BoolField {
  std::string_view pattern;
  bool ChannelSettings::*field;
};

constexpr std::array<BoolField, 4> kBoolFields{{
    {"[SOURce:]VOLTage:PROTection:STATe", &ChannelSettings::ovp_on},
    {"[SOURce:]VOLTage:LIMit:STATe", &ChannelSettings::volt_limit_on},
    {"OUTPut:ENABle", &ChannelSettings::output_enabled},
    {"OUTPut:TIMer[:STATe]", &ChannelSettings::timer_on},
}};

constexpr std::array<std::pair<std::string_view, Combination>, 3> kCombinationFlags{{
    {"OUTPut:SERies[:STATe]", Combination::kSeries},
    {"OUTPut:PARallel[:STATe]", Combination::kParallel},
    {"OUTPut:TRACk[:STATe]", Combination::kTrack},
}};

constexpr std::array<std::pair<std::string_view, Combination>, 4> kCombineCommands{{
    {"INSTrument:COMbine:SERies", Combination::kSeries},
    {"INSTrument:COMbine:PARAllel|PARallel", Combination::kParallel},
    {"INSTrument:COMbine:TRACk|TRAck", Combination::kTrack},
    {"INSTrument:COMbine:OFF", Combination::kOff},
}};

constexpr std::array<std::pair<std::string_view, double Reading::*>, 3> kQuantities{{
    {"VOLTage[:DC]", &Reading::volt},
    {"CURRent[:DC]", &Reading::curr},
    {"POWer[:DC]", &Reading::power},
}};

const Rating& rating_of(int channel) {
  return kRatings.at(static_cast<std::size_t>(channel - 1));
}

std::string format_bool(bool value) {
  return value ? "1" : "0";
}
std::string format_int(long long value) {
  return std::to_string(value);
}

// Values differ from a limit by a rounding error at most when they came from MIN/MAX text.
bool within(double value, const Limits& l) {
  constexpr double kSlack = 1e-9;
  return value >= l.min - kSlack && value <= l.max + kSlack;
}

std::int64_t int_param(const Call& call, std::size_t i, std::int64_t min, std::int64_t max) {
  const std::int64_t value = parse_integer(call.param(i));
  if (value < min || value > max) throw ScpiError{kDataOutOfRange};
  return value;
}

// "CH2" or "ch2" -> 2: the names INST? answers with, as character data.
int parse_channel(std::string_view text) {
  const std::string name = parse_character(text);
  if (name.size() == 3 && name.starts_with("CH")) {
    const char digit = name.back();
    if (digit >= '1' && digit <= '0' + kChannels) return digit - '0';
  }
  throw ScpiError{kIllegalParameterValue};
}

bool looks_like_channel(std::string_view text) {
  return data_type(text) == DataType::kCharacter && parse_keyword(text) == Keyword::kNone;
}

// A security code: a string, or a bare word as supply manuals write it.
std::string parse_code(std::string_view text) {
  return data_type(text) == DataType::kString ? parse_string(text) : parse_character(text);
}

std::string channel_name(int channel) {
  return "CH" + std::to_string(channel);
}

// A numeric level parameter with its keywords; UP and DOWN only where the field has a step.
double level_value(std::string_view param, const Limits& limits, char unit, double current,
                   std::optional<double> step) {
  double value = 0.0;
  switch (parse_keyword(param)) {
    case Keyword::kMin:
      return limits.min;
    case Keyword::kMax:
      return limits.max;
    case Keyword::kDef:
      return limits.def;
    case Keyword::kUp:
    case Keyword::kDown:
      if (!step) throw ScpiError{kIllegalParameterValue};
      value = parse_keyword(param) == Keyword::kUp ? current + *step : current - *step;
      break;
    case Keyword::kNone:
      // A word where a number or keyword may stand is of the right type but unknown.
      if (data_type(param) == DataType::kCharacter) throw ScpiError{kIllegalParameterValue};
      value = parse_number(param, unit);
      break;
  }
  if (!within(value, limits)) throw ScpiError{kDataOutOfRange};
  return value;
}

void check_writable(const Model& m, int channel, bool voltage) {
  if (m.follows(channel, voltage)) throw ScpiError{kSettingsConflict};
}

void check_unsecured(const Model& m) {
  if (m.cal.secured) throw ScpiError{kCommandProtected};
}

CalPoint parse_cal_point(std::string_view param) {
  const std::string upper = parse_character(param);
  if (upper == "MIN" || upper == "MINIMUM") return CalPoint::kMin;
  if (upper == "MID" || upper == "MIDDLE") return CalPoint::kMid;
  if (upper == "MAX" || upper == "MAXIMUM") return CalPoint::kMax;
  throw ScpiError{kIllegalParameterValue};
}

void add_level_rows(std::vector<CommandRow>& rows) {
  for (const LevelField& f : kLevelFields) {
    rows.push_back({HeaderPattern(f.pattern),
                    [f](Call& c) {
                      c.expect_params(1, 1);
                      const int n = c.model.settings.selected;
                      check_writable(c.model, n, f.voltage);
                      ChannelSettings& ch = c.model.channel(n);
                      std::optional<double> step;
                      if (f.step != nullptr) step = ch.*(f.step);
                      ch.*(f.field) = level_value(c.param(0), f.limits(rating_of(n)), f.unit,
                                                  ch.*(f.field), step);
                      if (f.pending != nullptr) ch.*(f.pending) = true;
                    },
                    [f](Call& c) {
                      c.expect_params(0, 1);
                      const int n = c.model.settings.selected;
                      const Limits l = f.limits(rating_of(n));
                      double value = c.model.channel(n).*(f.field);
                      if (!c.unit.params.empty()) {
                        // The query takes MIN, MAX or DEF only.
                        if (data_type(c.param(0)) != DataType::kCharacter) {
                          throw ScpiError{kDataTypeError};
                        }
                        switch (parse_keyword(c.param(0))) {
                          case Keyword::kMin:
                            value = l.min;
                            break;
                          case Keyword::kMax:
                            value = l.max;
                            break;
                          case Keyword::kDef:
                            value = l.def;
                            break;
                          default:
                            throw ScpiError{kIllegalParameterValue};
                        }
                      }
                      c.reply = format_number(value);
                    }});
    if (f.step == nullptr) continue;
    // VOLT:UP, VOLT:DOWN, CURR:UP, CURR:DOWN step the level by its step size.
    const std::string_view root = f.unit == 'V' ? "[SOURce:]VOLTage[:LEVel][:IMMediate]"
                                                : "[SOURce:]CURRent[:LEVel][:IMMediate]";
    for (const std::string_view keyword : {"UP", "DOWN"}) {
      rows.push_back({HeaderPattern(std::string(root) + ":" + std::string(keyword)),
                      [f, keyword](Call& c) {
                        c.expect_params(0, 0);
                        const int n = c.model.settings.selected;
                        check_writable(c.model, n, f.voltage);
                        ChannelSettings& ch = c.model.channel(n);
                        ch.*(f.field) = level_value(keyword, f.limits(rating_of(n)), f.unit,
                                                    ch.*(f.field), ch.*(f.step));
                      },
                      {}});
    }
  }
}

void add_channel_flag_rows(std::vector<CommandRow>& rows) {
  for (const BoolField& f : kBoolFields) {
    rows.push_back({HeaderPattern(f.pattern),
                    [f](Call& c) {
                      c.expect_params(1, 1);
                      const int n = c.model.settings.selected;
                      check_writable(c.model, n, false);
                      c.model.channel(n).*(f.field) = parse_bool(c.param(0));
                    },
                    [f](Call& c) {
                      c.expect_params(0, 0);
                      c.reply = format_bool(c.model.selected().*(f.field));
                    }});
  }
  // OUTP and CHAN:OUTP both switch the selected channel's output (and those coupled to it).
  for (std::string_view pattern : {"OUTPut[:STATe]", "CHANnel:OUTPut[:STATe]"}) {
    rows.push_back({HeaderPattern(pattern),
                    [](Call& c) {
                      c.expect_params(1, 1);
                      const int n = c.model.settings.selected;
                      const bool on = parse_bool(c.param(0));
                      check_writable(c.model, n, false);
                      if (on && c.model.tripped.at(static_cast<std::size_t>(n - 1))) {
                        throw ScpiError{kSettingsConflict};
                      }
                      c.model.set_output(n, on);
                    },
                    [](Call& c) {
                      c.expect_params(0, 0);
                      c.reply = format_bool(c.model.selected().output);
                    }});
  }
  for (const auto& [pattern, flag_mode] : kCombinationFlags) {
    const Combination mode = flag_mode;
    rows.push_back({HeaderPattern(pattern),
                    [mode](Call& c) {
                      c.expect_params(1, 1);
                      const int pair = Model::pair_of(c.model.settings.selected);
                      const bool on = parse_bool(c.param(0));
                      if (pair < 0) {
                        if (on) throw ScpiError{kSettingsConflict};
                        return;
                      }
                      Combination& current =
                          c.model.settings.pairs.at(static_cast<std::size_t>(pair));
                      if (on) {
                        current = mode;
                      } else if (current == mode) {
                        current = Combination::kOff;
                      }
                    },
                    [mode](Call& c) {
                      c.expect_params(0, 0);
                      c.reply =
                          format_bool(c.model.combination_of(c.model.settings.selected) == mode);
                    }});
  }
  rows.push_back({HeaderPattern("[SOURce:]VOLTage:PROTection:TRIPped"), {}, [](Call& c) {
                    c.expect_params(0, 0);
                    c.reply = format_bool(c.model.tripped.at(
                        static_cast<std::size_t>(c.model.settings.selected - 1)));
                  }});
  rows.push_back({HeaderPattern("[SOURce:]VOLTage:PROTection:CLEar"),
                  [](Call& c) {
                    c.expect_params(0, 0);
                    const int n = c.model.settings.selected;
                    c.model.tripped.at(static_cast<std::size_t>(n - 1)) = false;
                    // A combination trips and clears as a whole.
                    const Combination comb = c.model.combination_of(n);
                    if (comb == Combination::kSeries || comb == Combination::kParallel) {
                      const int partner = n % 2 == 0 ? n - 1 : n + 1;
                      c.model.tripped.at(static_cast<std::size_t>(partner - 1)) = false;
                    }
                  },
                  {}});
}

void add_instrument_rows(std::vector<CommandRow>& rows) {
  rows.push_back({HeaderPattern("INSTrument[:SELect]"),
                  [](Call& c) {
                    c.expect_params(1, 1);
                    c.model.settings.selected = parse_channel(c.param(0));
                  },
                  [](Call& c) {
                    c.expect_params(0, 0);
                    c.reply = channel_name(c.model.settings.selected);
                  }});
  rows.push_back({HeaderPattern("INSTrument:NSELect"),
                  [](Call& c) {
                    c.expect_params(1, 1);
                    c.model.settings.selected = static_cast<int>(int_param(c, 0, 1, kChannels));
                  },
                  [](Call& c) {
                    c.expect_params(0, 0);
                    c.reply = format_int(c.model.settings.selected);
                  }});
  for (const auto& [pattern, command_mode] : kCombineCommands) {
    const Combination mode = command_mode;
    rows.push_back({HeaderPattern(pattern),
                    [mode](Call& c) {
                      c.expect_params(0, 0);
                      const int pair = Model::pair_of(c.model.settings.selected);
                      if (pair < 0) {
                        if (mode != Combination::kOff) throw ScpiError{kSettingsConflict};
                        return;
                      }
                      c.model.settings.pairs.at(static_cast<std::size_t>(pair)) = mode;
                    },
                    {}});
  }
  rows.push_back({HeaderPattern("INSTrument:COUPle[:TRIGger]"),
                  [](Call& c) {
                    c.expect_params(1, kChannels);
                    const std::string first = to_upper(c.param(0));
                    if (c.unit.params.size() == 1 && first == "ALL") {
                      c.model.settings.coupled = (1U << kChannels) - 1;
                    } else if (c.unit.params.size() == 1 && first == "NONE") {
                      c.model.settings.coupled = 0;
                    } else {
                      unsigned mask = 0;
                      for (const auto& p : c.unit.params) {
                        mask |= 1U << static_cast<unsigned>(parse_channel(p) - 1);
                      }
                      c.model.settings.coupled = mask;
                    }
                  },
                  [](Call& c) {
                    c.expect_params(0, 0);
                    const unsigned mask = c.model.settings.coupled;
                    if (mask == 0) {
                      c.reply = "NONE";
                    } else if (mask == (1U << kChannels) - 1) {
                      c.reply = "ALL";
                    } else {
                      for (int n = 1; n <= kChannels; ++n) {
                        if ((mask & (1U << static_cast<unsigned>(n - 1))) == 0) continue;
                        if (!c.reply.empty()) c.reply += ',';
                        c.reply += channel_name(n);
                      }
                    }
                  }});
  rows.push_back({HeaderPattern("APPLy"),
                  [](Call& c) {
                    c.expect_params(1, 3);
                    std::size_t i = 0;
                    int n = c.model.settings.selected;
                    if (looks_like_channel(c.param(0))) n = parse_channel(c.param(i++));
                    if (i >= c.unit.params.size()) throw ScpiError{kMissingParameter};
                    if (c.unit.params.size() - i > 2) throw ScpiError{kParameterNotAllowed};
                    check_writable(c.model, n, true);
                    ChannelSettings& ch = c.model.channel(n);
                    const Rating& r = rating_of(n);
                    const double volt = level_value(c.param(i), volt_limits(r), 'V', ch.volt, {});
                    const double curr =
                        i + 1 < c.unit.params.size()
                            ? level_value(c.param(i + 1), curr_limits(r), 'A', ch.curr, {})
                            : ch.curr;
                    ch.volt = volt;
                    ch.curr = curr;
                  },
                  [](Call& c) {
                    c.expect_params(0, 1);
                    const int n = c.unit.params.empty() ? c.model.settings.selected
                                                        : parse_channel(c.param(0));
                    const ChannelSettings& ch = c.model.channel(n);
                    c.reply = format_number(ch.volt) + "," + format_number(ch.curr);
                  }});
  for (std::string_view pattern : {"TRIGger[:SEQuence][:IMMediate]", "*TRG"}) {
    rows.push_back({HeaderPattern(pattern),
                    [](Call& c) {
                      c.expect_params(0, 0);
                      c.model.trigger();
                    },
                    {}});
  }
}

void add_measurement_rows(std::vector<CommandRow>& rows) {
  for (const auto& [quantity, member] : kQuantities) {
    const auto channel_of = [](const Call& c) {
      c.expect_params(0, 1);
      return c.unit.params.empty() ? c.model.settings.selected : parse_channel(c.param(0));
    };
    rows.push_back({HeaderPattern("MEASure[:SCALar]:" + std::string(quantity)),
                    {},
                    [channel_of, m = member](Call& c) {
                      c.reply = format_number(c.model.measure(channel_of(c)).*m);
                    }});
    rows.push_back({HeaderPattern("FETCh[:SCALar]:" + std::string(quantity)),
                    {},
                    [channel_of, m = member](Call& c) {
                      const int n = channel_of(c);
                      c.reply =
                          format_number(c.model.readings.at(static_cast<std::size_t>(n - 1)).*m);
                    }});
  }
}

Register& register_at(Call& c, RegisterGroup Model::*group, int level) {
  RegisterGroup& g = c.model.*group;
  if (level == 0) return g.top;
  if (level == 1) return g.inst;
  if (c.suffix < 1 || c.suffix > kChannels) throw ScpiError{kHeaderSuffixOutOfRange};
  return g.isum.at(static_cast<std::size_t>(c.suffix - 1));
}

void add_status_rows(std::vector<CommandRow>& rows) {
  constexpr std::array<std::pair<std::string_view, RegisterGroup Model::*>, 2> kGroups{{
      {"STATus:QUEStionable", &Model::ques},
      {"STATus:OPERation", &Model::oper},
  }};
  constexpr std::array<std::string_view, 3> kLevels{"", ":INSTrument", ":INSTrument:ISUMmary#"};
  for (const auto& [root, group] : kGroups) {
    for (int level = 0; level < 3; ++level) {
      const std::string path =
          std::string(root) + std::string(kLevels.at(static_cast<std::size_t>(level)));
      rows.push_back({HeaderPattern(path + "[:EVENt]"), {}, [g = group, level](Call& c) {
                        c.expect_params(0, 0);
                        c.reply = format_int(register_at(c, g, level).read_event());
                      }});
      rows.push_back({HeaderPattern(path + ":CONDition"), {}, [g = group, level](Call& c) {
                        c.expect_params(0, 0);
                        c.reply = format_int(register_at(c, g, level).condition);
                      }});
      rows.push_back({HeaderPattern(path + ":ENABle"),
                      [g = group, level](Call& c) {
                        c.expect_params(1, 1);
                        Register& r = register_at(c, g, level);
                        r.enable =
                            static_cast<std::uint16_t>(int_param(c, 0, 0, 65535) & kRegisterBits);
                      },
                      [g = group, level](Call& c) {
                        c.expect_params(0, 0);
                        c.reply = format_int(register_at(c, g, level).enable);
                      }});
    }
  }
  rows.push_back({HeaderPattern("STATus:PRESet"),
                  [](Call& c) {
                    c.expect_params(0, 0);
                    c.model.preset_status();
                  },
                  {}});
}

// *ESE, *SRE and *PSC style: a byte or flag with its query.
template <typename Get, typename Set>
CommandRow value_row(std::string_view pattern, std::int64_t max, Get get, Set set) {
  return {HeaderPattern(pattern),
          [set, max](Call& c) {
            c.expect_params(1, 1);
            set(c.model, int_param(c, 0, 0, max));
          },
          [get](Call& c) {
            c.expect_params(0, 0);
            c.reply = format_int(get(c.model));
          }};
}

CommandRow query_row(std::string_view pattern, std::string (*answer)(Model&)) {
  return {HeaderPattern(pattern), {}, [answer](Call& c) {
            c.expect_params(0, 0);
            c.reply = answer(c.model);
          }};
}

CommandRow command_row(std::string_view pattern, void (*action)(Model&)) {
  return {HeaderPattern(pattern),
          [action](Call& c) {
            c.expect_params(0, 0);
            action(c.model);
          },
          {}};
}

void add_common_rows(std::vector<CommandRow>& rows) {
  rows.push_back(command_row("*CLS", [](Model& m) { m.clear_status(); }));
  rows.push_back(value_row(
      "*ESE", 255, [](Model& m) { return m.ese; },
      [](Model& m, std::int64_t v) { m.ese = static_cast<std::uint8_t>(v); }));
  rows.push_back(query_row("*ESR", [](Model& m) {
    const auto value = m.esr;
    m.esr = 0;
    return format_int(value);
  }));
  rows.push_back(query_row("*IDN", [](Model& m) { return m.idn; }));
  rows.back().indefinite_reply = true;  // arbitrary ASCII: must end the response message
  rows.push_back({HeaderPattern("*OPC"),
                  [](Call& c) {
                    c.expect_params(0, 0);
                    c.model.esr |= kEsrOpc;  // every operation completes at once
                  },
                  [](Call& c) {
                    c.expect_params(0, 0);
                    c.reply.assign(
                        1, '1');  // not = "1": GCC 12 warns falsely (-Wrestrict) on it at -O3
                  }});
  rows.push_back(value_row(
      "*PSC", 1, [](Model& m) { return m.psc ? 1 : 0; },
      [](Model& m, std::int64_t v) { m.psc = v != 0; }));
  rows.push_back(command_row("*RST", [](Model& m) { m.reset_settings(); }));
  rows.push_back(value_row(
      "*SRE", 255, [](Model& m) { return m.sre; },
      [](Model& m, std::int64_t v) { m.sre = static_cast<std::uint8_t>(v & ~kStbMss); }));
  rows.push_back(query_row("*STB", [](Model& m) { return format_int(m.status_byte()); }));
  rows.push_back({HeaderPattern("*SAV"),
                  [](Call& c) {
                    c.expect_params(1, 1);
                    c.model.saved.at(static_cast<std::size_t>(int_param(c, 0, 0, kSaveSlots - 1))) =
                        c.model.settings;
                  },
                  {}});
  rows.push_back({HeaderPattern("*RCL"),
                  [](Call& c) {
                    c.expect_params(1, 1);
                    c.model.settings = c.model.saved.at(
                        static_cast<std::size_t>(int_param(c, 0, 0, kSaveSlots - 1)));
                    for (auto& deadline : c.model.timer_deadline) deadline.reset();
                  },
                  {}});
  rows.push_back(query_row("*TST", [](Model& m) { return m.tst; }));
  rows.push_back(command_row("*WAI", [](Model&) {}));
}

void add_system_rows(std::vector<CommandRow>& rows) {
  rows.push_back(
      query_row("SYSTem:ERRor[:NEXT]", [](Model& m) { return format_error(m.errors.pop()); }));
  rows.push_back(query_row("SYSTem:ERRor:COUNt", [](Model& m) {
    return format_int(static_cast<long long>(m.errors.size()));
  }));
  rows.push_back(query_row("SYSTem:VERSion", [](Model&) { return std::string("1999.0"); }));
  rows.push_back(query_row("SYSTem:MODUle", [](Model&) { return std::string("HLV3907"); }));
  rows.push_back(command_row("SYSTem:REMote", [](Model& m) { m.remote = RemoteMode::kRemote; }));
  rows.push_back(command_row("SYSTem:LOCal", [](Model& m) { m.remote = RemoteMode::kLocal; }));
  rows.push_back(command_row("SYSTem:RWLock", [](Model& m) { m.remote = RemoteMode::kRwlock; }));
  rows.push_back(command_row("SYSTem:BEEPer[:IMMediate]", [](Model& m) { ++m.beeps; }));
  rows.push_back(value_row(
      "SYSTem:COMMunicate:GPIB[:SELF]:RDEVice:ADDRess", 30, [](Model& m) { return m.gpib_address; },
      [](Model& m, std::int64_t v) { m.gpib_address = static_cast<int>(v); }));
}

void add_display_rows(std::vector<CommandRow>& rows) {
  constexpr std::size_t kMaxText = 40;
  rows.push_back({HeaderPattern("DISPlay[:WINDow][:STATe]"),
                  [](Call& c) {
                    c.expect_params(1, 1);
                    c.model.display_on = parse_bool(c.param(0));
                  },
                  [](Call& c) {
                    c.expect_params(0, 0);
                    c.reply = format_bool(c.model.display_on);
                  }});
  rows.push_back({HeaderPattern("DISPlay[:WINDow]:TEXT[:DATA]"),
                  [](Call& c) {
                    c.expect_params(1, 1);
                    std::string text = parse_string(c.param(0));
                    if (text.size() > kMaxText) throw ScpiError{kTooMuchData};
                    c.model.display_text = std::move(text);
                  },
                  [](Call& c) {
                    c.expect_params(0, 0);
                    c.reply = quote(c.model.display_text);
                  }});
  rows.push_back(
      command_row("DISPlay[:WINDow]:TEXT:CLEar", [](Model& m) { m.display_text.clear(); }));
}

void add_calibration_rows(std::vector<CommandRow>& rows) {
  rows.push_back({HeaderPattern("CALibration:SECure[:STATe]"),
                  [](Call& c) {
                    c.expect_params(1, 2);
                    const bool secure = parse_bool(c.param(0));
                    Calibration& cal = c.model.cal;
                    if (!secure) {
                      // Unsecuring takes the security code.
                      if (c.unit.params.size() < 2) throw ScpiError{kMissingParameter};
                      if (parse_code(c.param(1)) != cal.code)
                        throw ScpiError{kIllegalParameterValue};
                    }
                    cal.secured = secure;
                    cal.volt_point = CalPoint::kNone;
                    cal.curr_point = CalPoint::kNone;
                  },
                  [](Call& c) {
                    c.expect_params(0, 0);
                    c.reply = format_bool(c.model.cal.secured);
                  }});
  rows.push_back({HeaderPattern("CALibration:SECure:CODE"),
                  [](Call& c) {
                    c.expect_params(1, 1);
                    check_unsecured(c.model);
                    std::string code = parse_code(c.param(0));
                    if (code.empty() || code.size() > 12) throw ScpiError{kIllegalParameterValue};
                    c.model.cal.code = std::move(code);
                  },
                  {}});
  const auto point_row = [](std::string_view pattern, CalPoint Calibration::*point) {
    return CommandRow{HeaderPattern(pattern),
                      [point](Call& c) {
                        c.expect_params(1, 1);
                        check_unsecured(c.model);
                        c.model.cal.*point = parse_cal_point(c.param(0));
                      },
                      {}};
  };
  using Values = std::array<std::array<double, 3>, kChannels>;
  const auto value_row = [](std::string_view pattern, CalPoint Calibration::*point,
                            Values Calibration::*values, char unit) {
    return CommandRow{HeaderPattern(pattern),
                      [point, values, unit](Call& c) {
                        c.expect_params(1, 1);
                        check_unsecured(c.model);
                        Calibration& cal = c.model.cal;
                        if (cal.*point == CalPoint::kNone) throw ScpiError{kSettingsConflict};
                        const double value = parse_number(c.param(0), unit);
                        const auto n = static_cast<std::size_t>(c.model.settings.selected - 1);
                        (cal.*values).at(n).at(static_cast<std::size_t>(cal.*point) - 1) = value;
                      },
                      {}};
  };
  rows.push_back(point_row("CALibration:VOLTage:LEVel", &Calibration::volt_point));
  rows.push_back(point_row("CALibration:CURRent:LEVel", &Calibration::curr_point));
  rows.push_back(value_row("CALibration:VOLTage[:DATA]", &Calibration::volt_point,
                           &Calibration::volt_values, 'V'));
  rows.push_back(value_row("CALibration:CURRent[:DATA]", &Calibration::curr_point,
                           &Calibration::curr_values, 'A'));
  rows.push_back({HeaderPattern("CALibration:SAVe"),
                  [](Call& c) {
                    c.expect_params(0, 0);
                    check_unsecured(c.model);
                    ++c.model.cal.count;
                  },
                  {}});
  rows.push_back({HeaderPattern("CALibration:INITiate|INITialize"),
                  [](Call& c) {
                    c.expect_params(0, 0);
                    check_unsecured(c.model);
                    c.model.cal.volt_point = CalPoint::kNone;
                    c.model.cal.curr_point = CalPoint::kNone;
                  },
                  {}});
  rows.push_back({HeaderPattern("CALibration:CLEar"),
                  [](Call& c) {
                    c.expect_params(0, 1);
                    check_unsecured(c.model);
                    Calibration& cal = c.model.cal;
                    const bool all = c.unit.params.empty() || to_upper(c.param(0)) == "ALL";
                    const int only = all ? 0 : parse_channel(c.param(0));
                    for (int n = 1; n <= kChannels; ++n) {
                      if (!all && n != only) continue;
                      cal.volt_values.at(static_cast<std::size_t>(n - 1)).fill(0.0);
                      cal.curr_values.at(static_cast<std::size_t>(n - 1)).fill(0.0);
                    }
                  },
                  {}});
  rows.push_back(query_row("CALibration:COUNt", [](Model& m) { return format_int(m.cal.count); }));
}

std::vector<CommandRow> build_table() {
  std::vector<CommandRow> rows;
  add_common_rows(rows);
  add_instrument_rows(rows);
  add_level_rows(rows);
  add_channel_flag_rows(rows);
  add_measurement_rows(rows);
  add_status_rows(rows);
  add_system_rows(rows);
  add_display_rows(rows);
  add_calibration_rows(rows);
  return rows;
}

}  // namespace

const std::vector<CommandRow>& command_table() {
  static const std::vector<CommandRow> table = build_table();
  return table;
}

}  // namespace zr48::sim
