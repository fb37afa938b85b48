#include "engine/option_string.h"

#include <array>
#include <cctype>

namespace zr48::engine {
namespace {

constexpr std::array<BoolOption, 6> kBoolOptions{{
    {"RangeCheck", IVI_ATTR_RANGE_CHECK, &OptionSettings::range_check},
    {"QueryInstrStatus", IVI_ATTR_QUERY_INSTRUMENT_STATUS, &OptionSettings::query_instr_status},
    {"Cache", IVI_ATTR_CACHE, &OptionSettings::cache},
    {"Simulate", IVI_ATTR_SIMULATE, &OptionSettings::simulate},
    {"RecordCoercions", IVI_ATTR_RECORD_COERCIONS, &OptionSettings::record_coercions},
    {"InterchangeCheck", IVI_ATTR_INTERCHANGE_CHECK, &OptionSettings::interchange_check},
}};

bool is_space(char c) {
  return std::isspace(static_cast<unsigned char>(c)) != 0;
}

// True when `text` without its white space equals `word`, ignoring case.
bool matches_word(std::string_view text, std::string_view word) {
  size_t w = 0;
  for (char c : text) {
    if (is_space(c)) continue;
    if (w == word.size() || std::tolower(static_cast<unsigned char>(c)) !=
                                std::tolower(static_cast<unsigned char>(word[w]))) {
      return false;
    }
    ++w;
  }
  return w == word.size();
}

bool is_blank(std::string_view text) {
  for (char c : text) {
    if (!is_space(c)) return false;
  }
  return true;
}

std::string trimmed(std::string_view text) {
  size_t b = 0;
  size_t e = text.size();
  while (b < e && is_space(text[b])) ++b;
  while (e > b && is_space(text[e - 1])) --e;
  return std::string(text.substr(b, e - b));
}

ViStatus fail(ViStatus status, std::string& elaboration, std::string text) {
  elaboration = std::move(text);
  return status;
}

}  // namespace

void OptionSettings::override_with(const OptionSettings& over) {
  for (const BoolOption& option : kBoolOptions) {
    if ((over.*option.member).has_value()) this->*option.member = over.*option.member;
  }
  if (over.driver_setup) driver_setup = over.driver_setup;
  if (over.logical_name) logical_name = over.logical_name;
}

const BoolOption* find_bool_option(std::string_view name) {
  for (const BoolOption& option : kBoolOptions) {
    if (matches_word(name, option.name)) return &option;
  }
  return nullptr;
}

bool is_driver_setup_name(std::string_view name) {
  return matches_word(name, "DriverSetup");
}

std::optional<bool> parse_boolean_text(std::string_view text) {
  for (const char* word : {"1", "true", "VI_TRUE"}) {
    if (matches_word(text, word)) return true;
  }
  for (const char* word : {"0", "false", "VI_FALSE"}) {
    if (matches_word(text, word)) return false;
  }
  return std::nullopt;
}

ViStatus parse_option_string(std::string_view text, bool allowPrivate, OptionSettings& out,
                             std::string& elaboration) {
  size_t pos = 0;
  while (pos <= text.size()) {
    const size_t comma = text.find(',', pos);
    const size_t end = comma == std::string_view::npos ? text.size() : comma;
    const std::string_view entry = text.substr(pos, end - pos);
    const size_t next = end + 1;
    if (is_blank(entry)) {  // empty entries (",," or a trailing comma) carry nothing
      pos = next;
      continue;
    }
    const size_t eq = entry.find('=');
    const std::string_view name = entry.substr(0, eq);
    if (is_blank(name)) {
      return fail(IVI_ERROR_MISSING_OPTION_NAME, elaboration,
                  "Option string entry '" + trimmed(entry) + "' has no option name");
    }
    if (is_driver_setup_name(name)) {
      if (eq == std::string_view::npos) {
        return fail(IVI_ERROR_MISSING_OPTION_VALUE, elaboration,
                    "Option 'DriverSetup' has no value");
      }
      // DriverSetup takes everything after its '=' up to the end, commas included.
      out.driver_setup = std::string(text.substr(pos + eq + 1));
      return VI_SUCCESS;
    }
    const std::string_view value =
        eq == std::string_view::npos ? std::string_view{} : entry.substr(eq + 1);
    if (eq == std::string_view::npos || is_blank(value)) {
      return fail(IVI_ERROR_MISSING_OPTION_VALUE, elaboration,
                  "Option '" + trimmed(name) + "' has no value");
    }
    if (allowPrivate && matches_word(name, kLogicalNameOption)) {
      out.logical_name = trimmed(value);
    } else if (const BoolOption* option = find_bool_option(name)) {
      const std::optional<bool> flag = parse_boolean_text(value);
      if (!flag) {
        return fail(IVI_ERROR_BAD_OPTION_VALUE, elaboration,
                    "Option '" + std::string(option->name) + "' has the value '" + trimmed(value) +
                        "'; expected 1, 0, True, False, VI_TRUE or VI_FALSE");
      }
      out.*option->member = *flag;
    } else {
      return fail(IVI_ERROR_BAD_OPTION_NAME, elaboration,
                  "Unknown option name '" + trimmed(name) + "' in the option string");
    }
    pos = next;
  }
  return VI_SUCCESS;
}

}  // namespace zr48::engine
