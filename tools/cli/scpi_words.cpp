#include "scpi_words.h"

#include <algorithm>
#include <string_view>

#include <nlohmann/json.hpp>

namespace zr48::cli {
namespace {

constexpr std::string_view kApiJson =
#include "zr48_api_json.inc"
    ;

// "VOLT:PROT %s" -> "VOLT:PROT"; "INST %s" -> "INST".
std::string header(const std::string& line) {
  return line.substr(0, line.find(' '));
}

std::vector<std::string> collect() {
  const nlohmann::json api = nlohmann::json::parse(kApiJson);
  std::vector<std::string> words = {"SYST:ERR?", "INST"};
  for (const auto& function : api["functions"]) {
    if (function.contains("instrument")) words.push_back(header(function["instrument"]["command"]));
  }
  for (const auto& attribute : api["attributes"]) {
    if (!attribute.contains("scpi")) continue;
    for (const char* key : {"query", "command"}) {
      if (attribute["scpi"][key].is_string()) words.push_back(header(attribute["scpi"][key]));
    }
  }
  std::sort(words.begin(), words.end());
  words.erase(std::unique(words.begin(), words.end()), words.end());
  return words;
}

}  // namespace

const std::vector<std::string>& scpi_words() {
  static const std::vector<std::string> words = collect();
  return words;
}

}  // namespace zr48::cli
