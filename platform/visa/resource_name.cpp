// Resource-name parser: the name is split at "::" (not inside an IPv6 "[...]"), the interface
// and board come from the first token, and the rest must match one of the shapes VISA defines
// for that interface. Shapes are written as words: lower case = a kind of value, upper case = a
// keyword, "?" = optional.
#include "visa/resource_name.h"

#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <vector>

#include "visa/visa.h"

namespace zr48::visa {
namespace {

struct InterfaceName {
  std::string_view prefix;
  Interface type;
};

// Longest prefix first: "GPIB-VXI" must win over "GPIB".
constexpr std::array kInterfaces = {
    InterfaceName{"GPIB-VXI", Interface::kGpibVxi}, InterfaceName{"TCPIP", Interface::kTcpip},
    InterfaceName{"GPIB", Interface::kGpib},        InterfaceName{"ASRL", Interface::kAsrl},
    InterfaceName{"USB", Interface::kUsb},          InterfaceName{"VXI", Interface::kVxi},
    InterfaceName{"PXI", Interface::kPxi},
};

struct Shape {
  Interface type;
  std::string_view elements;
  std::string_view resource_class;
};

constexpr std::array kShapes = {
    Shape{Interface::kTcpip, "host port SOCKET", "SOCKET"},
    Shape{Interface::kTcpip, "?device SERVANT", "SERVANT"},
    Shape{Interface::kTcpip, "host ?device ?INSTR", "INSTR"},
    Shape{Interface::kAsrl, "?INSTR", "INSTR"},
    Shape{Interface::kGpib, "number ?number ?INSTR", "INSTR"},
    Shape{Interface::kGpib, "INTFC", "INTFC"},
    Shape{Interface::kGpib, "SERVANT", "SERVANT"},
    Shape{Interface::kUsb, "id id serial ?number ?INSTR", "INSTR"},
    Shape{Interface::kUsb, "id id serial ?number RAW", "RAW"},
    Shape{Interface::kVxi, "number ?INSTR", "INSTR"},
    Shape{Interface::kVxi, "MEMACC", "MEMACC"},
    Shape{Interface::kVxi, "?number BACKPLANE", "BACKPLANE"},
    Shape{Interface::kVxi, "SERVANT", "SERVANT"},
    Shape{Interface::kGpibVxi, "number ?INSTR", "INSTR"},
    Shape{Interface::kGpibVxi, "MEMACC", "MEMACC"},
    Shape{Interface::kGpibVxi, "?number BACKPLANE", "BACKPLANE"},
    Shape{Interface::kPxi, "number ?number ?INSTR", "INSTR"},
    Shape{Interface::kPxi, "busdevice ?INSTR", "INSTR"},
    Shape{Interface::kPxi, "chassis slot ?index ?INSTR", "INSTR"},
    Shape{Interface::kPxi, "MEMACC", "MEMACC"},
    Shape{Interface::kPxi, "number BACKPLANE", "BACKPLANE"},
};

constexpr std::array<std::string_view, 7> kKeywords = {"INSTR", "SOCKET", "SERVANT",  "INTFC",
                                                       "RAW",   "MEMACC", "BACKPLANE"};

bool equals_nocase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) ==
                  std::toupper(static_cast<unsigned char>(y));
         });
}

bool starts_with_nocase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && equals_nocase(text.substr(0, prefix.size()), prefix);
}

bool is_keyword(std::string_view token) {
  return std::any_of(kKeywords.begin(), kKeywords.end(),
                     [token](std::string_view k) { return equals_nocase(token, k); });
}

bool all_of(std::string_view text, int (*predicate)(int)) {
  return std::all_of(text.begin(), text.end(),
                     [predicate](char c) { return predicate(static_cast<unsigned char>(c)) != 0; });
}

// Decimal 0..65535.
bool parse_number(std::string_view text, ViUInt16* value = nullptr) {
  if (text.empty() || text.size() > 5 || !all_of(text, ::isdigit)) return false;
  unsigned n = 0;
  for (char c : text) n = n * 10 + static_cast<unsigned>(c - '0');
  if (n > 0xFFFF) return false;
  if (value != nullptr) *value = static_cast<ViUInt16>(n);
  return true;
}

bool is_port(std::string_view text) {
  ViUInt16 port = 0;
  return parse_number(text, &port) && port != 0;
}

// USB manufacturer ID / model code: 0x-prefixed hex (as VISA requires) or decimal.
bool is_id(std::string_view text) {
  if (starts_with_nocase(text, "0x")) {
    const auto digits = text.substr(2);
    return !digits.empty() && digits.size() <= 4 && all_of(digits, ::isxdigit);
  }
  return parse_number(text);
}

bool is_numbered(std::string_view text, std::string_view word) {
  return starts_with_nocase(text, word) && parse_number(text.substr(word.size()));
}

bool is_device(std::string_view text) {
  return !text.empty() && !is_keyword(text) && std::all_of(text.begin(), text.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == ',' || c == '.';
  });
}

bool is_serial(std::string_view text) {
  return !text.empty() && !is_keyword(text) && std::all_of(text.begin(), text.end(), [](char c) {
    return std::isgraph(static_cast<unsigned char>(c)) != 0;
  });
}

bool is_bus_device(std::string_view text) {
  const auto dash = text.find('-');
  if (dash == std::string_view::npos) return false;
  const auto rest = text.substr(dash + 1);
  const auto dot = rest.find('.');
  if (dot == std::string_view::npos)
    return parse_number(text.substr(0, dash)) && parse_number(rest);
  return parse_number(text.substr(0, dash)) && parse_number(rest.substr(0, dot)) &&
         parse_number(rest.substr(dot + 1));
}

// "[[credentials]@]host": credentials are letters, digits and '-' (or '#' and a percent-encoded
// string); host is a name, a dotted IPv4 address or "[IPv6]".
bool parse_host(std::string_view text, std::string* host, bool* secure) {
  const auto at = text.rfind('@');
  const bool has_credentials = at != std::string_view::npos && text.find('[') > at;
  if (has_credentials) {
    const auto credentials = text.substr(0, at);
    const bool encoded = !credentials.empty() && credentials.front() == '#';
    const bool plain = std::all_of(credentials.begin(), credentials.end(), [](char c) {
      return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-';
    });
    if (!(encoded ? credentials.size() > 1 && is_serial(credentials) : plain)) return false;
    text = text.substr(at + 1);
  }
  std::string_view bare = text;
  if (!text.empty() && text.front() == '[') {
    if (text.size() < 3 || text.back() != ']') return false;
    bare = text.substr(1, text.size() - 2);
    const std::string address(bare.substr(0, bare.find('%')));  // zone index after '%'
    in6_addr parsed{};
    if (::inet_pton(AF_INET6, address.c_str(), &parsed) != 1) return false;
  } else if (text.empty() || text.size() > 253 || is_keyword(text) ||
             !std::all_of(text.begin(), text.end(), [](char c) {
               return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '.' ||
                      c == '_';
             })) {
    return false;
  }
  if (host != nullptr) *host = std::string(bare);
  if (secure != nullptr) *secure = has_credentials;
  return true;
}

bool matches_element(std::string_view element, std::string_view token) {
  if (element == "host") return parse_host(token, nullptr, nullptr);
  if (element == "port") return is_port(token);
  if (element == "device") return is_device(token);
  if (element == "number") return parse_number(token);
  if (element == "id") return is_id(token);
  if (element == "serial") return is_serial(token);
  if (element == "busdevice") return is_bus_device(token);
  if (element == "chassis") return is_numbered(token, "CHASSIS");
  if (element == "slot") return is_numbered(token, "SLOT");
  if (element == "index") return is_numbered(token, "INDEX") || is_numbered(token, "FUNC");
  return equals_nocase(element, token);  // a keyword
}

std::vector<std::string_view> split_words(std::string_view text) {
  std::vector<std::string_view> words;
  while (!text.empty()) {
    const auto space = text.find(' ');
    words.push_back(text.substr(0, space));
    text = space == std::string_view::npos ? std::string_view{} : text.substr(space + 1);
  }
  return words;
}

bool matches(const std::vector<std::string_view>& elements, std::size_t e,
             const std::vector<std::string_view>& tokens, std::size_t t) {
  if (e == elements.size()) return t == tokens.size();
  std::string_view element = elements[e];
  const bool optional = element.front() == '?';
  if (optional) element.remove_prefix(1);
  if (t < tokens.size() && matches_element(element, tokens[t]) &&
      matches(elements, e + 1, tokens, t + 1)) {
    return true;
  }
  return optional && matches(elements, e + 1, tokens, t);
}

// Splits at "::", keeping "[...]" whole so that an IPv6 address stays one token.
bool split_tokens(std::string_view text, std::vector<std::string_view>& tokens) {
  std::size_t start = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] == '[') {
      const auto close = text.find(']', i);
      if (close == std::string_view::npos) return false;
      i = close + 1;
    } else if (text.compare(i, 2, "::") == 0) {
      tokens.push_back(text.substr(start, i - start));
      i += 2;
      start = i;
    } else {
      ++i;
    }
  }
  tokens.push_back(text.substr(start));
  // A token that starts or ends with ':' makes ":::" with its separator, which splits another
  // way once the name is written back (its canonical form): refuse it as ambiguous.
  return std::none_of(tokens.begin(), tokens.end(), [](std::string_view t) {
    return t.empty() || t.front() == ':' || t.back() == ':';
  });
}

std::string uppercase(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return result;
}

}  // namespace

ViStatus parse_resource_name(std::string_view text, ResourceName& out) {
  std::vector<std::string_view> tokens;
  if (!split_tokens(text, tokens)) return VI_ERROR_INV_RSRC_NAME;

  const auto first = tokens.front();
  const auto* intf =
      std::find_if(kInterfaces.begin(), kInterfaces.end(),
                   [first](const InterfaceName& i) { return starts_with_nocase(first, i.prefix); });
  if (intf == kInterfaces.end()) return VI_ERROR_INV_RSRC_NAME;
  const auto board_text = first.substr(intf->prefix.size());
  ViUInt16 board = 0;
  // A serial port may be named by its device path instead of a board number.
  const bool serial_path = intf->type == Interface::kAsrl && !board_text.empty() &&
                           board_text.front() == '/' && is_serial(board_text);
  if (!serial_path && !board_text.empty() && !parse_number(board_text, &board)) {
    return VI_ERROR_INV_RSRC_NAME;
  }

  const std::vector<std::string_view> rest(tokens.begin() + 1, tokens.end());
  for (const Shape& shape : kShapes) {
    if (shape.type != intf->type || !matches(split_words(shape.elements), 0, rest, 0)) continue;

    ResourceName name;
    name.interface_type = intf->type;
    name.board = board;
    name.resource_class = std::string(shape.resource_class);
    if (intf->type == Interface::kTcpip && shape.resource_class != "SERVANT") {
      parse_host(rest.front(), &name.host, &name.secure);
      if (shape.resource_class == "SOCKET") parse_number(rest[1], &name.port);
      if (shape.resource_class == "INSTR" && rest.size() > 1 && !is_keyword(rest[1])) {
        name.device = std::string(rest[1]);
      }
    }
    if (serial_path) name.path = std::string(board_text);
    name.canonical = std::string(intf->prefix) + (serial_path ? name.path : std::to_string(board));
    for (std::string_view token : rest) {
      name.canonical += "::";
      name.canonical += is_keyword(token) ? uppercase(token) : std::string(token);
    }
    if (rest.empty() || !equals_nocase(rest.back(), shape.resource_class)) {
      name.canonical += "::" + name.resource_class;
    }
    out = std::move(name);
    return VI_SUCCESS;
  }
  return VI_ERROR_INV_RSRC_NAME;
}

}  // namespace zr48::visa
