// The session's channel table: the physical channel names the driver declares, and the virtual
// names a logical name's configuration maps onto them. Names compare exactly (case-sensitive):
// the engine hands the name a caller used straight to the driver's callbacks, and instruments
// treat channel names as case-sensitive text.
#ifndef ZR48_PLATFORM_ENGINE_CHANNEL_TABLE_H
#define ZR48_PLATFORM_ENGINE_CHANNEL_TABLE_H

#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/ivi_engine.h"

namespace zr48::engine {

using VirtualChannelMap = std::vector<std::pair<std::string, std::string>>;

class ChannelTable {
 public:
  static constexpr int kUnknown = -1;

  // Parses "a,b,c" (white space around names ignored). Only one table per session.
  ViStatus build(std::string_view list, std::string& elaboration);
  // Maps virtual names onto physical ones; with allowUnknown a mapping onto a name the table
  // lacks is dropped instead of refused.
  ViStatus set_virtual_names(const VirtualChannelMap& names, bool allowUnknown,
                             std::string& elaboration);

  bool built() const { return !physical_.empty(); }
  int count() const { return static_cast<int>(physical_.size()); }
  const std::string& physical_name(int index) const { return physical_[index]; }
  // The name users see for a physical channel: its first virtual name, or the physical one.
  const std::string& user_name(int index) const;
  // Every name a caller may use, for error messages: "ch1, ch2" and " (virtual: Load = ch3)".
  std::string describe_names() const;

  // The physical index for a virtual or physical name, or kUnknown. Virtual names win, as a
  // configured name replaces a whole token even when it is also a physical name.
  int find(const char* name) const {
    for (const auto& [virtual_name, index] : virtual_) {
      if (std::strcmp(virtual_name.c_str(), name) == 0) return index;
    }
    for (size_t i = 0; i < physical_.size(); ++i) {
      if (std::strcmp(physical_[i].c_str(), name) == 0) return static_cast<int>(i);
    }
    return kUnknown;
  }

 private:
  std::vector<std::string> physical_;
  std::vector<std::pair<std::string, int>> virtual_;
};

// True for a name of one or more of a-z A-Z 0-9 ! _ (IVI-3.1 repeated-capability identifiers).
bool is_valid_channel_identifier(std::string_view name);

}  // namespace zr48::engine

#endif
