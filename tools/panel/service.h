// The panel's web service: the driver session, its poller, the recorded readings and the HTTP
// server that hands the page, the event stream, the history and the controls to browsers.
#pragma once

#include <memory>
#include <string>

#include "panel.h"

namespace zr48::panel {

class Service {
 public:
  // Opens the session and binds the listening socket. Null, with the reason in `error` and the
  // exit status in `exit_code` (1: session or socket, 2: bad options), when either fails.
  static std::unique_ptr<Service> create(const Options& options, std::string& error,
                                         int& exit_code);
  ~Service();
  Service(const Service&) = delete;
  Service& operator=(const Service&) = delete;

  int port() const;
  const std::string& token() const;
  std::string url() const;  // the page's address with its token

  void serve();  // answers requests until Stop(); polls meanwhile
  void stop();   // from any thread

  struct Impl;

 private:
  explicit Service(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

// Splits "HOST:PORT" ("[::1]:PORT" for IPv6); false when it is not of that form.
bool parse_listen(const std::string& listen, std::string& host, int& port);

}  // namespace zr48::panel
