// One driver session for the tool, over the public C interface, closed when it goes out of scope.
// Every failed call becomes a Failure whose exit code says whether the instrument was unreachable
// or reported an error.
#ifndef ZR48_TOOLS_CLI_DRIVER_SESSION_H
#define ZR48_TOOLS_CLI_DRIVER_SESSION_H

#include <string>
#include <string_view>

#include "ZR48.h"
#include "command.h"

namespace zr48::cli {

// The exit code for a negative status.
Exit exit_for(ViStatus status);

// ZR48_error_message's text for a status, and what ZR48_GetError recorded (read and cleared).
std::string describe_failure(ViSession vi, ViStatus status);

class DriverSession {
 public:
  DriverSession(const std::string& resource, const Globals& globals, bool id_query = false);
  ~DriverSession();
  DriverSession(const DriverSession&) = delete;
  DriverSession& operator=(const DriverSession&) = delete;

  ViSession vi() const { return vi_; }
  const std::string& resource() const { return resource_; }

  // Throws a Failure for a negative status; `what` names the operation.
  void check(ViStatus status, std::string_view what) const;

  // Sends one line; returns the reply without its line end for a query (a line with '?').
  std::string scpi(const std::string& line) const;
  // The instrument's error queue, drained: "<code>,\"<text>\"" lines until 0.
  std::vector<std::string> drain_errors() const;

 private:
  std::string resource_;
  ViSession vi_ = VI_NULL;
};

// Holds the session lock for a sequence of calls.
class SessionLock {
 public:
  explicit SessionLock(const DriverSession& session);
  ~SessionLock();
  SessionLock(const SessionLock&) = delete;
  SessionLock& operator=(const SessionLock&) = delete;

 private:
  ViSession vi_;
  ViBoolean has_lock_ = VI_FALSE;
};

// "+1.25000E+01" -> 12.5; throws a Failure (instrument error) for a reply without a number.
double parse_number(std::string_view reply);
// Trailing white space and line ends removed.
std::string trim_reply(std::string_view reply);

}  // namespace zr48::cli

#endif  // ZR48_TOOLS_CLI_DRIVER_SESSION_H
