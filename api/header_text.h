// What the public header says beyond what the compiler checks: each prototype's parameter names
// and the comment above it, and each constant's value, read from the header's text.
#ifndef ZR48_API_HEADER_TEXT_H
#define ZR48_API_HEADER_TEXT_H

#include <map>
#include <string>
#include <vector>

namespace zr48::api {

struct ParameterText {
  std::string type;  // as spelt, arrays as "ViChar[]" or "ViChar[256]"
  std::string name;
};

struct PrototypeText {
  std::string name;
  std::string doc;  // the comment right above, without its markers; may be empty
  std::vector<ParameterText> parameters;
};

struct Constant {
  std::string name;
  long long value = 0;
};

struct HeaderText {
  std::map<std::string, PrototypeText> prototypes;
  std::vector<Constant> constants;  // in header order
};

// Throws std::runtime_error when the file cannot be read or a line cannot be understood.
HeaderText read_header(const std::string& path);

}  // namespace zr48::api

#endif  // ZR48_API_HEADER_TEXT_H
