#include "engine/logical_names.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <toml++/toml.h>

#include "engine/engine_info.h"

namespace zr48::engine {
namespace {

// Reports a problem with the entry being read.
// Closes a descriptor when the reading ends, on every path.
struct FileDescriptor {
  explicit FileDescriptor(int descriptor) : fd(descriptor) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() { ::close(fd); }
  int fd;
};

struct EntryError {
  ViStatus status;
  std::string text;
};

std::string source_line(const toml::node& node) {
  return " (line " + std::to_string(node.source().begin.line) + ")";
}

OptionSettings read_options(const toml::table& options, const std::string& where) {
  OptionSettings settings;
  for (const auto& [key, node] : options) {
    const std::string_view name = key.str();
    if (is_driver_setup_name(name)) {
      const auto* text = node.as_string();
      if (text == nullptr) {
        throw EntryError{IVI_ERROR_INVALID_CONFIGURATION,
                         where + ": DriverSetup must be a string" + source_line(node)};
      }
      settings.driver_setup = text->get();
    } else if (const BoolOption* option = find_bool_option(name)) {
      const auto* flag = node.as_boolean();
      if (flag == nullptr) {
        throw EntryError{IVI_ERROR_BAD_BOOLEAN_IN_CONFIG_FILE,
                         where + ": option '" + std::string(name) + "' must be true or false" +
                             source_line(node)};
      }
      settings.*option->member = flag->get();
    } else {
      throw EntryError{IVI_ERROR_INVALID_CONFIGURATION,
                       where + ": unknown option '" + std::string(name) + "'" + source_line(node)};
    }
  }
  return settings;
}

VirtualChannelMap read_virtual_channels(const toml::table& channels, const std::string& where) {
  VirtualChannelMap map;
  for (const auto& [key, node] : channels) {
    const auto* physical = node.as_string();
    if (physical == nullptr) {
      throw EntryError{IVI_ERROR_INVALID_CONFIGURATION,
                       where + ": virtual channel '" + std::string(key.str()) +
                           "' must name a channel as a string" + source_line(node)};
    }
    map.emplace_back(std::string(key.str()), physical->get());
  }
  return map;
}

DefaultSetupEntry read_default_setup_entry(const toml::node& node, const std::string& where) {
  const auto* table = node.as_table();
  const std::string at = where + ": default-setup entry" + source_line(node);
  if (table == nullptr) throw EntryError{IVI_ERROR_INVALID_CONFIGURATION, at + " is not a table"};
  DefaultSetupEntry entry;
  for (const auto& [key, field] : *table) {
    const std::string_view name = key.str();
    if (name == "attribute") {
      if (const auto* text = field.as_string()) {
        entry.attribute_name = text->get();
      } else if (const auto* id = field.as_integer();
                 id != nullptr && id->get() > 0 && id->get() <= 0xFFFFFFFFLL) {
        entry.attribute_id = static_cast<ViAttr>(id->get());
      } else {
        throw EntryError{IVI_ERROR_UNKNOWN_DEFAULT_SETUP_ATTR,
                         at + ": 'attribute' must be a name or a positive identifier"};
      }
    } else if (name == "channel") {
      const auto* text = field.as_string();
      if (text == nullptr) {
        throw EntryError{IVI_ERROR_INVALID_CONFIGURATION, at + ": 'channel' must be a string"};
      }
      entry.channel = text->get();
    } else if (name == "value") {
      if (const auto* b = field.as_boolean()) {
        entry.value = b->get();
      } else if (const auto* i = field.as_integer()) {
        entry.value = i->get();
      } else if (const auto* d = field.as_floating_point()) {
        entry.value = d->get();
      } else if (const auto* s = field.as_string()) {
        entry.value = s->get();
      } else {
        throw EntryError{IVI_ERROR_INVALID_DEFAULT_SETUP_VAL,
                         at + ": 'value' must be a Boolean, number or string"};
      }
    } else {
      throw EntryError{IVI_ERROR_INVALID_CONFIGURATION,
                       at + ": unknown key '" + std::string(name) + "'"};
    }
  }
  if (entry.attribute_name.empty() && entry.attribute_id == 0) {
    throw EntryError{IVI_ERROR_UNKNOWN_DEFAULT_SETUP_ATTR, at + " names no attribute"};
  }
  if (!table->contains("value")) {
    throw EntryError{IVI_ERROR_INVALID_DEFAULT_SETUP_VAL, at + " has no value"};
  }
  return entry;
}

LogicalName read_entry(std::string_view name, const toml::node& node, const std::string& file) {
  const std::string where = file + ": logical name '" + std::string(name) + "'";
  const auto* table = node.as_table();
  if (table == nullptr) {
    throw EntryError{IVI_ERROR_INVALID_CONFIGURATION,
                     where + " is not a table" + source_line(node)};
  }
  LogicalName entry;
  entry.name = std::string(name);
  for (const auto& [key, field] : *table) {
    const std::string_view k = key.str();
    if (k == "resource") {
      const auto* text = field.as_string();
      if (text == nullptr || text->get().size() >= IVI_MAX_MESSAGE_BUF_SIZE) {
        throw EntryError{
            IVI_ERROR_INVALID_CONFIGURATION,
            where + ": 'resource' must be a string of at most 255 characters" + source_line(field)};
      }
      entry.resource = text->get();
    } else if (k == "options" && field.is_table()) {
      entry.options = read_options(*field.as_table(), where);
    } else if (k == "virtual-channels" && field.is_table()) {
      entry.virtual_channels = read_virtual_channels(*field.as_table(), where);
    } else if (k == "default-setup" && field.is_array()) {
      for (const toml::node& item : *field.as_array()) {
        entry.default_setup.push_back(read_default_setup_entry(item, where));
      }
    } else {
      throw EntryError{
          IVI_ERROR_INVALID_CONFIGURATION,
          where + ": unexpected key '" + std::string(k) + "' or wrong type" + source_line(field)};
    }
  }
  return entry;
}

}  // namespace

std::string DefaultSetupEntry::describe() const {
  std::string text = attribute_name.empty() ? "attribute " + std::to_string(attribute_id)
                                            : "attribute '" + attribute_name + "'";
  if (!channel.empty()) text += " on channel '" + channel + "'";
  return text;
}

std::string configuration_path() {
  const char* path = std::getenv(kConfigEnvVar);
  return path != nullptr && *path != '\0' ? std::string(path) : std::string(kDefaultConfigPath);
}

ViStatus look_up_logical_name(std::string_view name, std::optional<LogicalName>& out,
                              std::string& elaboration) {
  out.reset();
  const std::string file = configuration_path();
  std::string text;
  const ViStatus status = read_configuration_file(file, text, elaboration);
  if (status < 0 || text.empty()) return status;
  return look_up_logical_name_in(text, file, name, out, elaboration);
}

ViStatus read_configuration_file(const std::string& file, std::string& text,
                                 std::string& elaboration) {
  text.clear();
  // Non-blocking, so that opening a FIFO cannot wait for a writer; only regular files are read.
  const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return VI_SUCCESS;  // no file: every name is a resource descriptor
    elaboration =
        "Cannot open the logical-name configuration file " + file + ": " + std::strerror(errno);
    return IVI_ERROR_CANNOT_OPEN_CONFIG_FILE;
  }
  const FileDescriptor closer(fd);
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    elaboration = "The logical-name configuration file " + file + " is not a regular file";
    return IVI_ERROR_CANNOT_OPEN_CONFIG_FILE;
  }
  // Read one byte past the limit, so that a file growing while it is read is caught too.
  text.resize(kMaxConfigFileBytes + 1);
  std::size_t size = 0;
  while (size < text.size()) {
    const ssize_t n = ::read(fd, text.data() + size, text.size() - size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      text.clear();
      elaboration =
          "Cannot read the logical-name configuration file " + file + ": " + std::strerror(errno);
      return IVI_ERROR_ERROR_READING_CONFIG_FILE;
    }
    if (n == 0) break;
    size += static_cast<std::size_t>(n);
  }
  text.resize(size);
  if (size > kMaxConfigFileBytes) {
    text.clear();
    elaboration = "The logical-name configuration file " + file + " is larger than " +
                  std::to_string(kMaxConfigFileBytes / (1024 * 1024)) + " MiB";
    return IVI_ERROR_ERROR_READING_CONFIG_FILE;
  }
  return VI_SUCCESS;
}

ViStatus look_up_logical_name_in(std::string_view configuration, const std::string& file,
                                 std::string_view name, std::optional<LogicalName>& out,
                                 std::string& elaboration) {
  out.reset();
  try {
    const toml::table config = toml::parse(configuration, file);
    const toml::node* node = config.get(name);
    if (node == nullptr) return VI_SUCCESS;
    out = read_entry(name, *node, file);
    return VI_SUCCESS;
  } catch (const toml::parse_error& e) {
    elaboration = "Malformed logical-name configuration file " + file + " (line " +
                  std::to_string(e.source().begin.line) + "): " + std::string(e.description());
    return IVI_ERROR_ERROR_READING_CONFIG_FILE;
  } catch (const EntryError& e) {
    elaboration = e.text;
    return e.status;
  } catch (const std::exception& e) {
    elaboration = "Cannot read the logical-name configuration file " + file + ": " + e.what();
    return IVI_ERROR_ERROR_READING_CONFIG_FILE;
  }
}

}  // namespace zr48::engine
