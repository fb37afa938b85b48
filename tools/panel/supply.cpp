#include "supply.h"

#include <chrono>
#include <cstdlib>
#include <cstring>

namespace zr48::panel {
namespace {

constexpr ViInt32 kReplySize = 512;  // the driver's reply buffers hold 512 bytes
constexpr int kMaxErrorsPerRead = 32;

using Reply = std::array<ViChar, kReplySize>;

std::string text(const Reply& reply) {
  return {reply.data(), strnlen(reply.data(), reply.size())};
}

std::string trimmed(std::string text) {
  const auto blank = [](char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; };
  while (!text.empty() && blank(text.back())) text.pop_back();
  std::size_t start = 0;
  while (start < text.size() && blank(text[start])) ++start;
  return text.substr(start);
}

// The number at the start of a reply; nullopt for an empty reply (a simulated session).
std::optional<double> number(const Reply& reply) {
  if (reply.front() == '\0') return std::nullopt;
  char* end = nullptr;
  const double value = std::strtod(reply.data(), &end);
  if (end == reply.data()) return std::nullopt;
  return value;
}

double now() {
  using namespace std::chrono;
  return duration<double>(system_clock::now().time_since_epoch()).count();
}

struct Combination {
  ViAttr attribute;
  const char* label;
};
constexpr std::array<Combination, 3> kCombinations{{
    {ZR48_ATTR_OUTP_SER, "series"},
    {ZR48_ATTR_OUTP_PAR, "parallel"},
    {ZR48_ATTR_OUTP_TRAC, "track"},
}};

// Bits of a channel's operation status condition register.
constexpr long kConstantVoltageBit = 1L << 8;
constexpr long kConstantCurrentBit = 1L << 10;

}  // namespace

Supply::Supply(ViSession vi) : vi_(vi) {}

Supply::~Supply() {
  if (vi_ != VI_NULL) ZR48_close(vi_);
}

std::unique_ptr<Supply> Supply::open(const std::string& resource, const std::string& options,
                                     std::string& error) {
  ViSession vi = VI_NULL;
  std::string name = resource;
  const ViStatus status =
      ZR48_InitWithOptions(name.data(), VI_TRUE, VI_FALSE, options.c_str(), &vi);
  if (status < 0) {
    std::array<ViChar, 256> text{};
    ViStatus code = 0;
    ZR48_GetError(VI_NULL, &code, static_cast<ViInt32>(text.size()), text.data());
    if (text.front() == '\0') ZR48_error_message(VI_NULL, status, text.data());
    error = "cannot open " + resource + ": " + text.data();
    if (vi != VI_NULL) ZR48_close(vi);
    return nullptr;
  }
  std::unique_ptr<Supply> supply(new Supply(vi));
  Identity& id = supply->identity_;
  id.resource = resource;
  Reply reply{};
  if (ZR48_GetAttributeViString(vi, "", ZR48_ATTR_ID_QUERY_RESPONSE, kReplySize, reply.data()) >=
      0) {
    id.idn = trimmed(text(reply));
  }
  Reply firmware{};
  reply.fill('\0');
  if (ZR48_revision_query(vi, reply.data(), firmware.data()) >= 0) {
    id.driver_revision = trimmed(text(reply));
    id.firmware_revision = trimmed(text(firmware));
  }
  ViBoolean simulated = VI_FALSE;
  ZR48_GetAttributeViBoolean(vi, "", ZR48_ATTR_SIMULATE, &simulated);
  id.simulated = simulated != VI_FALSE;
  for (int n = 1; n <= kChannelCount; ++n) {
    std::array<ViChar, 64> channel{};
    if (ZR48_GetChannelName(vi, n, static_cast<ViInt32>(channel.size()), channel.data()) < 0) {
      std::snprintf(channel.data(), channel.size(), "ch%d", n);
    }
    supply->names_.at(static_cast<std::size_t>(n - 1)) = channel.data();
  }
  ZR48_ClearError(vi);
  return supply;
}

std::string Supply::last_error(ViStatus status) {
  std::array<ViChar, 512> text{};
  ViStatus code = 0;
  ZR48_GetError(vi_, &code, static_cast<ViInt32>(text.size()), text.data());
  if (text.front() == '\0') ZR48_error_message(vi_, status, text.data());
  return text.data();
}

std::vector<std::string> Supply::drain_errors() {
  std::vector<std::string> errors;
  for (int i = 0; i < kMaxErrorsPerRead; ++i) {
    ViInt32 code = 0;
    Reply message{};
    if (ZR48_error_query(vi_, &code, message.data()) < 0 || code == 0) break;
    errors.push_back(trimmed(text(message)));
  }
  return errors;
}

Snapshot Supply::poll() {
  const std::lock_guard lock(mutex_);
  Snapshot snapshot;
  snapshot.time = now();
  // Values cached by earlier calls would hide changes made at the instrument.
  ZR48_InvalidateAllAttributes(vi_);
  // Stops at the first failure: a lost link would otherwise cost a timeout per query.
  const auto ok = [&](ViStatus status) {
    if (status >= 0) return true;
    snapshot.link_error = last_error(status);
    return false;
  };
  bool fine = true;
  for (int n = 1; n <= kChannelCount && fine; ++n) {
    const std::size_t i = static_cast<std::size_t>(n - 1);
    ChannelState& ch = last_.at(i);
    const char* name = names_.at(i).c_str();
    Reply r{};
    const auto read = [&](auto&& call) {
      r.fill('\0');
      fine = fine && ok(call());
      return fine;
    };
    if (read([&] { return ZR48_GetApply(vi_, name, r.data()); }) && number(r)) {
      ch.set_volt = *number(r);
      if (const char* comma = std::strchr(r.data(), ','))
        ch.set_curr = std::strtod(comma + 1, nullptr);
    }
    if (read([&] { return ZR48_MeasVolt(vi_, r.data(), name); })) ch.volt = number(r).value_or(0.0);
    if (read([&] { return ZR48_MeasCurr(vi_, r.data(), name); })) ch.curr = number(r).value_or(0.0);
    if (read([&] { return ZR48_FetchPow(vi_, r.data(), name); })) {
      ch.power = number(r).value_or(ch.volt * ch.curr);
    }
    if (read([&] { return ZR48_GetVoltProt(vi_, "", r.data(), name); }) && number(r)) {
      ch.ovp = *number(r);
    }
    if (read([&] { return ZR48_GetVoltProtTrip(vi_, r.data(), name); }) && number(r)) {
      ch.tripped = *number(r) != 0.0;
    }
    if (read([&] {
          return ZR48_GetAttributeViString(vi_, name, ZR48_ATTR_OUTP, kReplySize, r.data());
        }) &&
        number(r)) {
      ch.output = *number(r) != 0.0;
    }
    const std::string condition = "STAT:OPER:INST:ISUM" + std::to_string(n) + ":COND?";
    if (read([&] { return ZR48_ReadCmd(vi_, condition.c_str(), r.data()); }) && number(r)) {
      const long bits = static_cast<long>(*number(r));
      ch.mode = !ch.output                     ? "off"
                : (bits & kConstantCurrentBit) ? "CC"
                : (bits & kConstantVoltageBit) ? "CV"
                                               : "off";
    } else if (fine) {
      ch.mode = ch.output ? "CV" : "off";
    }
    // Channels 1-6 combine in pairs; the pair's first channel reports the combination.
    if (n % 2 == 1 && n < kChannelCount && fine) {
      std::string combination = "off";
      for (const Combination& c : kCombinations) {
        if (read([&] {
              return ZR48_GetAttributeViString(vi_, name, c.attribute, kReplySize, r.data());
            }) &&
            number(r).value_or(0.0) != 0.0) {
          combination = c.label;
        }
      }
      ch.combination = combination;
      last_.at(i + 1).combination = combination;
    }
  }
  if (fine) snapshot.instrument_errors = drain_errors();
  snapshot.channels = last_;
  return snapshot;
}

template <typename Call>
ControlResult Supply::control(Call call) {
  const std::lock_guard lock(mutex_);
  ZR48_InvalidateAllAttributes(vi_);
  ControlResult result;
  const ViStatus status = call();
  if (status < 0) {
    result.ok = false;
    result.message = last_error(status);
  }
  result.instrument_errors = drain_errors();
  if (!result.instrument_errors.empty()) result.ok = false;
  return result;
}

ControlResult Supply::set(int channel, Setting setting, const std::string& value) {
  const std::size_t i = static_cast<std::size_t>(channel - 1);
  const char* name = names_.at(i).c_str();
  ControlResult result = control([&]() -> ViStatus {
    switch (setting) {
      case Setting::kVoltage:
        return ZR48_SetVoltage(vi_, value.c_str(), name);
      case Setting::kCurrent:
        return ZR48_SetCurrent(vi_, value.c_str(), name);
      case Setting::kOvp:
        return ZR48_SetVoltProt(vi_, value.c_str(), name);
    }
    return VI_SUCCESS;
  });
  if (result.ok) {
    const std::lock_guard lock(mutex_);
    const double number = std::strtod(value.c_str(), nullptr);
    ChannelState& ch = last_.at(i);
    (setting == Setting::kVoltage   ? ch.set_volt
     : setting == Setting::kCurrent ? ch.set_curr
                                    : ch.ovp) = number;
  }
  return result;
}

ControlResult Supply::set_output(int channel, bool on) {
  const std::size_t i = static_cast<std::size_t>(channel - 1);
  const char* name = names_.at(i).c_str();
  ControlResult result =
      control([&] { return ZR48_SetAttributeViString(vi_, name, ZR48_ATTR_OUTP, on ? "1" : "0"); });
  if (result.ok) {
    const std::lock_guard lock(mutex_);
    last_.at(i).output = on;
  }
  return result;
}

ControlResult Supply::all_off() {
  ControlResult result = control([&]() -> ViStatus {
    ViStatus first = VI_SUCCESS;
    // Every output is switched off even when one of them fails.
    for (const std::string& name : names_) {
      const ViStatus status = ZR48_SetAttributeViString(vi_, name.c_str(), ZR48_ATTR_OUTP, "0");
      if (status < 0 && first >= 0) first = status;
    }
    return first;
  });
  const std::lock_guard lock(mutex_);
  if (result.ok) {
    for (ChannelState& ch : last_) ch.output = false;
  }
  return result;
}

ControlResult Supply::clear_protection(int channel) {
  const char* name = names_.at(static_cast<std::size_t>(channel - 1)).c_str();
  return control([&] { return ZR48_VoltProtClear(vi_, name); });
}

}  // namespace zr48::panel
