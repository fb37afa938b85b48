// Who may use the panel: every request carries the access token and names the panel's own
// address in Host (against DNS rebinding); every state-changing request is a POST from the
// panel's own page (Origin), so that another site open in the same browser cannot switch an
// output on.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zr48::panel {

// 32 random bytes from the kernel as 64 hexadecimal digits.
std::string new_token();

struct Verdict {
  int status = 200;    // 200 when allowed, else the HTTP status to answer with
  std::string reason;  // why not
};

class RequestGuard {
 public:
  // `host` and `port` are the listening address; a loopback address also answers to
  // "localhost".
  RequestGuard(std::string token, const std::string& host, int port);

  const std::string& token() const { return token_; }

  // `token` is the one the request carried (query parameter or header), empty if none;
  // `origin` is the Origin header, empty if none.
  Verdict check(std::string_view method, std::string_view host_header, std::string_view origin,
                std::string_view token) const;

 private:
  bool known_host(std::string_view host) const;

  std::string token_;
  std::vector<std::string> hosts_;  // "127.0.0.1:8048", "localhost:8048", ...
};

}  // namespace zr48::panel
