// Environment settings for the span of a test: a variable set and put back as it was, and a
// logical-name file of this process's own named by ZR48_CONFIG (engine and driver tests).
#ifndef ZR48_TESTS_SCOPED_ENVIRONMENT_H
#define ZR48_TESTS_SCOPED_ENVIRONMENT_H

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

namespace zr48::test {

class EnvironmentVariable {
 public:
  EnvironmentVariable(std::string name, const std::string& value) : name_(std::move(name)) {
    if (const char* before = std::getenv(name_.c_str())) before_ = before;
    ::setenv(name_.c_str(), value.c_str(), 1);
  }
  ~EnvironmentVariable() {
    if (before_) {
      ::setenv(name_.c_str(), before_->c_str(), 1);
    } else {
      ::unsetenv(name_.c_str());
    }
  }
  EnvironmentVariable(const EnvironmentVariable&) = delete;
  EnvironmentVariable& operator=(const EnvironmentVariable&) = delete;

 private:
  std::string name_;
  std::optional<std::string> before_;
};

class LogicalNameFile {
 public:
  explicit LogicalNameFile(const std::string& text) { std::ofstream(path_) << text; }
  ~LogicalNameFile() {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
  LogicalNameFile(const LogicalNameFile&) = delete;
  LogicalNameFile& operator=(const LogicalNameFile&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  static std::filesystem::path MadePath() {
    const auto dir =
        std::filesystem::temp_directory_path() / ("zr48-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    return dir / "logical-names.toml";
  }
  std::filesystem::path path_ = MadePath();
  EnvironmentVariable variable_{"ZR48_CONFIG", path_.string()};
};

}  // namespace zr48::test

#endif  // ZR48_TESTS_SCOPED_ENVIRONMENT_H
