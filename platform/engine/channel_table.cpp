#include "engine/channel_table.h"

#include <algorithm>
#include <cctype>

namespace zr48::engine {
namespace {

std::string_view trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
    text.remove_prefix(1);
  }
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
    text.remove_suffix(1);
  }
  return text;
}

}  // namespace

bool is_valid_channel_identifier(std::string_view name) {
  return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '!' || c == '_';
  });
}

ViStatus ChannelTable::build(std::string_view list, std::string& elaboration) {
  if (built()) {
    elaboration = "The channel table has already been built";
    return IVI_ERROR_ITEM_ALREADY_EXISTS;
  }
  if (trim(list).empty()) {
    elaboration = "The channel list is empty";
    return IVI_ERROR_EMPTY_CHANNEL_LIST;
  }
  std::vector<std::string> names;
  size_t pos = 0;
  while (pos <= list.size()) {
    size_t comma = list.find(',', pos);
    if (comma == std::string_view::npos) comma = list.size();
    const std::string_view name = trim(list.substr(pos, comma - pos));
    if (!is_valid_channel_identifier(name)) {
      elaboration = "Bad channel name '" + std::string(name) + "' in the channel list";
      return IVI_ERROR_BAD_CHANNEL_NAME;
    }
    if (std::find(names.begin(), names.end(), name) != names.end()) {
      elaboration = "Channel name '" + std::string(name) + "' appears twice in the channel list";
      return IVI_ERROR_DUPLICATE_CHANNEL_STRING;
    }
    names.emplace_back(name);
    pos = comma + 1;
  }
  physical_ = std::move(names);
  return VI_SUCCESS;
}

ViStatus ChannelTable::set_virtual_names(const VirtualChannelMap& names, bool allowUnknown,
                                         std::string& elaboration) {
  std::vector<std::pair<std::string, int>> mapped;
  for (const auto& entry : names) {
    const std::string& virtual_name = entry.first;
    const std::string& physical_name = entry.second;
    if (!is_valid_channel_identifier(virtual_name)) {
      elaboration = "Bad virtual channel name '" + virtual_name + "'";
      return IVI_ERROR_BAD_VIRT_CHAN_NAME;
    }
    if (physical_name.empty()) {
      elaboration = "Virtual channel name '" + virtual_name + "' is not assigned a channel";
      return IVI_ERROR_UNASSIGNED_VIRT_CHAN_NAME;
    }
    const auto it = std::find(physical_.begin(), physical_.end(), physical_name);
    if (it == physical_.end()) {
      if (allowUnknown) continue;
      elaboration = "Virtual channel name '" + virtual_name + "' is assigned to '";
      elaboration += physical_name + "', which is not a channel of the driver";
      return IVI_ERROR_BAD_VIRT_CHAN_ASSIGNMENT;
    }
    const bool duplicate = std::any_of(mapped.begin(), mapped.end(), [virtual_name](const auto& m) {
      return m.first == virtual_name;
    });
    if (duplicate) {
      elaboration = "Virtual channel name '" + virtual_name + "' is defined twice";
      return IVI_ERROR_DUPLICATE_VIRT_CHAN_NAME;
    }
    mapped.emplace_back(virtual_name, static_cast<int>(it - physical_.begin()));
  }
  virtual_ = std::move(mapped);
  return VI_SUCCESS;
}

const std::string& ChannelTable::user_name(int index) const {
  for (const auto& [virtual_name, physicalIndex] : virtual_) {
    if (physicalIndex == index) return virtual_name;
  }
  return physical_[index];
}

std::string ChannelTable::describe_names() const {
  std::string text;
  for (const std::string& name : physical_) text += (text.empty() ? "" : ", ") + name;
  std::string mapped;
  for (const auto& [virtual_name, index] : virtual_) {
    mapped += (mapped.empty() ? "" : ", ") + virtual_name + " = " + physical_[index];
  }
  return mapped.empty() ? text : text + " (virtual: " + mapped + ")";
}

}  // namespace zr48::engine
