#include "visa/transports/usbtmc/sysfs.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <system_error>

namespace zr48::visa::usbtmc {
namespace {

namespace fs = std::filesystem;

std::string first_line(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
}

bool parse_unsigned(std::string_view text, unsigned& value, int base) {
  if (text.empty()) return false;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value, base);
  return result.ec == std::errc{} && result.ptr == text.data() + text.size();
}

// "usbtmc" and its number, for sorting usbtmc10 after usbtmc9.
bool node_number(const std::string& name, unsigned& number) {
  constexpr std::string_view kPrefix = "usbtmc";
  return name.size() > kPrefix.size() && name.compare(0, kPrefix.size(), kPrefix) == 0 &&
         parse_unsigned(std::string_view(name).substr(kPrefix.size()), number, 10);
}

// A USB id as written in a resource name: 0x-prefixed hex or decimal.
bool parse_id(std::string_view text, unsigned& value) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    return parse_unsigned(text.substr(2), value, 16) && value <= 0xFFFF;
  }
  return parse_unsigned(text, value, 10) && value <= 0xFFFF;
}

bool equals_nocase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) ==
                  std::toupper(static_cast<unsigned char>(y));
         });
}

}  // namespace

std::vector<Interface> list_interfaces(const std::string& sys_root) {
  std::vector<std::pair<unsigned, Interface>> found;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(fs::path(sys_root) / "class/usbmisc", error)) {
    Interface interface;
    interface.node = entry.path().filename().string();
    unsigned order = 0;
    if (!node_number(interface.node, order)) continue;
    const fs::path directory = fs::canonical(entry.path() / "device", error);
    if (error) continue;
    const fs::path device = directory.parent_path();
    interface.serial = first_line(device / "serial");
    if (!parse_unsigned(first_line(device / "idVendor"), interface.vendor, 16) ||
        !parse_unsigned(first_line(device / "idProduct"), interface.product, 16) ||
        !parse_unsigned(first_line(directory / "bInterfaceNumber"), interface.number, 16)) {
      continue;
    }
    found.emplace_back(order, std::move(interface));
  }
  std::sort(found.begin(), found.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<Interface> interfaces;
  interfaces.reserve(found.size());
  for (auto& item : found) interfaces.push_back(std::move(item.second));
  return interfaces;
}

bool parse_address(const ResourceName& name, Address& out) {
  if (name.interface_type != visa::Interface::kUsb || name.resource_class != "INSTR") return false;
  // The canonical name keeps the tokens as written: USB<n>::vid::pid::serial[::intf]::INSTR.
  std::vector<std::string_view> tokens;
  std::string_view rest = name.canonical;
  while (!rest.empty()) {
    const auto separator = rest.find("::");
    tokens.push_back(rest.substr(0, separator));
    rest = separator == std::string_view::npos ? std::string_view{} : rest.substr(separator + 2);
  }
  if (tokens.size() != 5 && tokens.size() != 6) return false;
  Address address;
  if (!parse_id(tokens[1], address.vendor) || !parse_id(tokens[2], address.product)) return false;
  address.serial = std::string(tokens[3]);
  if (tokens.size() == 6) {
    unsigned number = 0;
    if (!parse_unsigned(tokens[4], number, 10) || number > 255) return false;
    address.number = number;
  }
  out = std::move(address);
  return true;
}

const Interface* find_interface(const std::vector<Interface>& interfaces, const Address& address) {
  const Interface* best = nullptr;
  for (const Interface& interface : interfaces) {
    if (interface.vendor != address.vendor || interface.product != address.product ||
        !equals_nocase(interface.serial, address.serial)) {
      continue;
    }
    if (address.number && interface.number != *address.number) continue;
    if (best == nullptr || interface.number < best->number) best = &interface;
  }
  return best;
}

std::string resource_name(const Interface& interface) {
  std::array<char, 32> ids{};
  std::snprintf(ids.data(), ids.size(), "0x%04X::0x%04X", interface.vendor, interface.product);
  std::string name = "USB0::" + std::string(ids.data()) + "::" + interface.serial;
  if (interface.number != 0) name += "::" + std::to_string(interface.number);
  return name + "::INSTR";
}

}  // namespace zr48::visa::usbtmc
