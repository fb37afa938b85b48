#include "request_guard.h"

#include <sys/random.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <stdexcept>

namespace zr48::panel {
namespace {

// Compares without stopping at the first difference, so that timing tells nothing of the token.
bool same_secret(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  unsigned char difference = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    difference |= static_cast<unsigned char>(a[i] ^ b[i]);
  }
  return difference == 0;
}

std::string lower(std::string_view text) {
  std::string lowered(text);
  std::transform(lowered.begin(), lowered.end(), lowered.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lowered;
}

bool is_loopback(std::string_view host) {
  return host.starts_with("127.") || host == "::1" || host == "localhost";
}

}  // namespace

std::string new_token() {
  std::array<std::uint8_t, 32> bytes{};
  std::size_t filled = 0;
  while (filled < bytes.size()) {
    const ssize_t got = getrandom(bytes.data() + filled, bytes.size() - filled, 0);
    if (got < 0) throw std::runtime_error("no random bytes for the access token");
    filled += static_cast<std::size_t>(got);
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string token;
  for (const std::uint8_t b : bytes) {
    token += kHex[b >> 4];
    token += kHex[b & 0x0f];
  }
  return token;
}

RequestGuard::RequestGuard(std::string token, const std::string& host, int port)
    : token_(std::move(token)) {
  const std::string suffix = ":" + std::to_string(port);
  const bool v6 = host.find(':') != std::string::npos;
  hosts_.push_back(lower(v6 ? "[" + host + "]" : host) + suffix);
  if (is_loopback(host)) {
    for (const char* alias : {"localhost", "127.0.0.1", "[::1]"}) hosts_.push_back(alias + suffix);
  }
}

bool RequestGuard::known_host(std::string_view host) const {
  const std::string lowered = lower(host);
  return std::find(hosts_.begin(), hosts_.end(), lowered) != hosts_.end();
}

Verdict RequestGuard::check(std::string_view method, std::string_view host_header,
                            std::string_view origin, std::string_view token) const {
  if (!known_host(host_header)) {
    return {403, "Host '" + std::string(host_header.substr(0, 100)) +
                     "' is not this panel's address; open the address the panel printed."};
  }
  if (token.empty())
    return {403, "The access token is missing; open the address the panel printed."};
  if (!same_secret(token, token_)) return {403, "The access token is wrong."};
  if (method == "GET" || method == "HEAD") return {};
  if (method != "POST") return {405, "Only GET and POST are served."};
  // Browsers send Origin with every POST; a page of another site carries its own.
  if (origin.empty()) return {403, "A request that changes settings needs an Origin header."};
  const std::string_view scheme = "http://";
  if (!origin.starts_with(scheme) || !known_host(origin.substr(scheme.size()))) {
    return {403, "Requests from '" + std::string(origin.substr(0, 100)) + "' are refused."};
  }
  return {};
}

}  // namespace zr48::panel
