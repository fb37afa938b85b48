#include "header_text.h"

#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>

namespace zr48::api {
namespace {

std::string trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

// "ViChar testMessage[]" -> {"ViChar[]", "testMessage"}, "ViChar text[256]" -> {"ViChar[256]",
// ...}; "ViSession* newVi" -> {"ViSession*", ...}.
ParameterText parse_parameter(const std::string& text) {
  static const std::regex kParameter(R"(^(.*?)\s*\b([A-Za-z_]\w*)\s*(\[\w*\])?$)");
  std::smatch match;
  const std::string trimmed = trim(text);
  if (!std::regex_match(trimmed, match, kParameter) || match[1].length() == 0) {
    throw std::runtime_error("cannot read parameter '" + trimmed + "'");
  }
  std::string type = std::regex_replace(match[1].str(), std::regex(R"(\s+\*)"), "*");
  if (match[3].matched) type += match[3].str();
  return {type, match[2].str()};
}

// The comment's text, one space between lines, without the markers and the leading stars.
std::string comment_text(const std::string& comment) {
  std::string text = comment.substr(2, comment.size() - 4);
  std::istringstream lines(text);
  std::string line;
  std::string joined;
  while (std::getline(lines, line)) {
    line = trim(line);
    if (line.starts_with('*')) line = trim(line.substr(1));
    if (line.empty()) continue;
    if (!joined.empty()) joined += ' ';
    joined += line;
  }
  return joined;
}

}  // namespace

HeaderText read_header(const std::string& path) {
  std::ifstream file(path);
  if (!file) throw std::runtime_error("cannot open " + path);
  std::stringstream content;
  content << file.rdbuf();
  const std::string text = content.str();

  static const std::regex kDefine(R"(^#define (ZR48_\w+) \(?(-?\d+)L?\)?\s*$)");
  static const std::regex kPrototype(R"(^ZR48_API ViStatus (\w+)\(([^)]*)\);)");

  HeaderText header;
  std::istringstream lines(text);
  std::string line;
  std::string comment;  // the last comment seen
  bool comment_just_ended = false;
  while (std::getline(lines, line)) {
    if (line.starts_with("/*")) {
      std::string block = line;
      while (block.find("*/") == std::string::npos && std::getline(lines, line)) {
        block += "\n" + line;
      }
      comment = comment_text(block.substr(0, block.find("*/") + 2));
      // A section title ("---- Utility ----") describes no one function.
      comment_just_ended = !comment.starts_with("---");
      continue;
    }
    std::smatch match;
    if (std::regex_match(line, match, kDefine)) {
      header.constants.push_back({match[1].str(), std::stoll(match[2].str())});
    } else if (line.starts_with("ZR48_API ViStatus ")) {
      std::string prototype = line;
      while (prototype.find(");") == std::string::npos && std::getline(lines, line)) {
        prototype += " " + trim(line);
      }
      if (!std::regex_search(prototype, match, kPrototype)) {
        throw std::runtime_error("cannot read prototype '" + prototype + "'");
      }
      PrototypeText parsed{match[1].str(), comment_just_ended ? comment : "", {}};
      std::istringstream parameters(match[2].str());
      std::string parameter;
      while (std::getline(parameters, parameter, ',')) {
        parsed.parameters.push_back(parse_parameter(parameter));
      }
      header.prototypes[parsed.name] = std::move(parsed);
    }
    comment_just_ended = false;
  }
  return header;
}

}  // namespace zr48::api
