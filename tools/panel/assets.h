// The page, its script and style, and the chart library, compiled into the binary.
#pragma once

#include <string_view>

namespace zr48::panel {

struct Asset {
  std::string_view name;  // file name, e.g. "panel.js"
  std::string_view data;
};

// The asset of that file name, or nullptr.
const Asset* find_asset(std::string_view name);

}  // namespace zr48::panel
