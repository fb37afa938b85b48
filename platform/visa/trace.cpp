// I/O trace sink: one process-wide output, opened once from the environment, lines written
// whole under a mutex so that sessions on different threads do not interleave.
#include "visa/trace.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <string>

#include "visa/status_text.h"

namespace zr48::visa::trace {
namespace {

class Sink {
 public:
  Sink() {
    const char* target = std::getenv("ZR48_VISA_TRACE");
    if (target == nullptr || *target == '\0') return;
    const std::string_view name(target);
    if (name == "stderr" || name == "1") {
      file_ = stderr;
    } else {
      file_ = std::fopen(target, "a");
      owned_ = file_ != nullptr;
    }
  }
  ~Sink() {
    if (owned_) std::fclose(file_);
  }
  Sink(const Sink&) = delete;
  Sink& operator=(const Sink&) = delete;

  bool on() const { return file_ != nullptr; }

  void write(const std::string& line) {
    const std::lock_guard lock(mutex_);
    std::fwrite(line.data(), 1, line.size(), file_);
    std::fflush(file_);
  }

 private:
  std::FILE* file_ = nullptr;
  bool owned_ = false;
  std::mutex mutex_;
};

Sink& sink() {
  static Sink instance;
  return instance;
}

void append_escaped(std::string& out, std::string_view bytes) {
  out += '"';
  for (const char c : bytes) {
    const auto u = static_cast<unsigned char>(c);
    switch (c) {
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '"':
        out += "\\\"";
        break;
      default:
        if (u < 0x20 || u >= 0x7F) {
          char hex[5];
          std::snprintf(hex, sizeof hex, "\\x%02X", u);
          out += hex;
        } else {
          out += c;
        }
    }
  }
  out += '"';
}

std::string prefix(std::string_view operation, ViObject vi, ViStatus status) {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  localtime_r(&now.tv_sec, &local);
  char stamp[64];
  const std::size_t n = std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
  std::snprintf(stamp + n, sizeof stamp - n, ".%06ld", now.tv_nsec / 1000);

  const StatusText* text = find_status_text(status);
  char code[96];
  std::snprintf(code, sizeof code, " vi=0x%08X %.*s (0x%08X)", static_cast<unsigned>(vi),
                static_cast<int>(text != nullptr ? text->name.size() : 7),
                text != nullptr ? text->name.data() : "UNKNOWN", static_cast<unsigned>(status));
  std::string line(stamp);
  line += ' ';
  line += operation;
  line += code;
  return line;
}

}  // namespace

bool enabled() {
  return sink().on();
}

void record(std::string_view operation, ViObject vi, ViStatus status, std::string_view bytes) {
  if (!enabled()) return;
  std::string line = prefix(operation, vi, status);
  line += ' ';
  append_escaped(line, bytes);
  line += '\n';
  sink().write(line);
}

void note(std::string_view operation, ViObject vi, ViStatus status, std::string_view detail) {
  if (!enabled()) return;
  std::string line = prefix(operation, vi, status);
  if (!detail.empty()) {
    line += ' ';
    line += detail;
  }
  line += '\n';
  sink().write(line);
}

}  // namespace zr48::visa::trace
