// The front panel's remote/local state, as VXI-11 and HiSLIP clients change it, and the
// requests that changed it, kept as their protocol messages carried them.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "zr48sim/server.h"

namespace zr48::sim {

// What a request does to one flag of the state.
enum class Flag : std::uint8_t { kEep, kOff, kOn };

struct RemoteLocalChange {
  Flag remote_enable = Flag::kEep;
  Flag local_lockout = Flag::kEep;
  Flag remote = Flag::kEep;
};

class RemoteLocal {
 public:
  RemoteLocalState state() const;
  std::vector<std::string> requests() const;
  void record(std::string request);
  void apply(const RemoteLocalChange& change);
  // A message addressed to the device puts it in remote while remote is enabled.
  void addressed();

 private:
  mutable std::mutex mutex_;
  RemoteLocalState state_;
  std::vector<std::string> requests_;
};

}  // namespace zr48::sim
