// zr48 find [PATTERN] [--json]: lists the instruments the VISA library can find (viFindRsrc).
//
// The driver's own library does not search for instruments; the I/O layer's VISA library
// (libzr48visa.so.1, or the one named by ZR48_VISA_LIBRARY) does, when it is installed. It is
// loaded at run time, so this tool works, and says so clearly, without it.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include <nlohmann/json.hpp>

#include "command.h"
#include "zr48_visatype.h"

namespace zr48::cli {
namespace {

constexpr const char* kVisaLibrary = "libzr48visa.so.1";
constexpr ViStatus kNothingFound = static_cast<ViStatus>(0xBFFF0011);  // VI_ERROR_RSRC_NFOUND

using OpenDefaultRm = ViStatus (*)(ViSession*);
using FindRsrc = ViStatus (*)(ViSession, ViConstString, ViUInt32*, ViUInt32*, ViChar*);
using FindNext = ViStatus (*)(ViUInt32, ViChar*);
using Close = ViStatus (*)(ViUInt32);

struct Options {
  std::string pattern = "?*";
  bool json = false;
};

struct Library {
  explicit Library(const char* path) : handle(dlopen(path, RTLD_NOW | RTLD_LOCAL)) {}
  ~Library() {
    if (handle != nullptr) dlclose(handle);
  }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;
  template <typename F>
  F symbol(const char* name) const {
    return reinterpret_cast<F>(dlsym(handle, name));
  }
  void* handle;
};

std::vector<std::string> find(const std::string& pattern) {
  const char* chosen = std::getenv("ZR48_VISA_LIBRARY");
  const std::string path = chosen != nullptr && *chosen != '\0' ? chosen : kVisaLibrary;
  const Library visa(path.c_str());
  const auto open_rm = visa.handle ? visa.symbol<OpenDefaultRm>("viOpenDefaultRM") : nullptr;
  const auto find = visa.handle ? visa.symbol<FindRsrc>("viFindRsrc") : nullptr;
  const auto next = visa.handle ? visa.symbol<FindNext>("viFindNext") : nullptr;
  const auto close = visa.handle ? visa.symbol<Close>("viClose") : nullptr;
  if (open_rm == nullptr || find == nullptr || next == nullptr || close == nullptr) {
    throw Failure(Exit::kConnection,
                  "find: instrument discovery is not available: " + path +
                      " (a VISA library with viFindRsrc) cannot be loaded.\nGive the resource "
                      "name directly (e.g. TCPIP::192.168.1.20::5025::SOCKET), or set "
                      "ZR48_VISA_LIBRARY to a VISA library that can search.");
  }
  ViSession rm = VI_NULL;
  if (open_rm(&rm) < 0) throw Failure(Exit::kConnection, "find: viOpenDefaultRM failed");
  std::vector<std::string> found;
  ViUInt32 list = 0;
  ViUInt32 count = 0;
  char description[256] = "";
  const ViStatus status = find(rm, pattern.c_str(), &list, &count, description);
  if (status >= 0) {
    found.emplace_back(description);
    for (ViUInt32 i = 1; i < count && next(list, description) >= 0; ++i) {
      found.emplace_back(description);
    }
    close(list);
  }
  close(rm);
  if (status < 0 && status != kNothingFound) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(status));
    throw Failure(Exit::kConnection, std::string("find: viFindRsrc failed (") + code + ")");
  }
  return found;
}

Handler setup(CLI::App& tool, const Globals& /*globals*/) {
  auto options = std::make_shared<Options>();
  CLI::App* app = tool.add_subcommand("find", "List the instruments that can be found");
  app->add_option("pattern", options->pattern, "VISA search expression (default ?*)");
  app->add_flag("--json", options->json, "Print a JSON array");
  return [options] {
    const std::vector<std::string> found = find(options->pattern);
    if (options->json) {
      std::printf("%s\n", nlohmann::json(found).dump(2).c_str());
    } else if (found.empty()) {
      std::printf("no instruments found for %s\n", options->pattern.c_str());
    } else {
      for (const std::string& resource : found) std::printf("%s\n", resource.c_str());
    }
    return Exit::kOk;
  };
}

const Registration kFind("find", setup);

}  // namespace
}  // namespace zr48::cli
