// Loading libgpib.so.0 and reading its answers.
#include "visa/transports/gpib/gpib_library.h"

#include <dlfcn.h>

#include <array>
#include <cstdlib>
#include <mutex>

#include "visa/transports/gpib/gpib.h"
#include "visa/visa.h"

namespace zr48::visa::gpib {
namespace {

// Every symbol the table needs, with the member it fills; the optional ones may be missing.
template <typename T>
bool resolve(void* handle, const char* name, T& slot, bool required, std::string& why) {
  slot = reinterpret_cast<T>(::dlsym(handle, name));  // NOLINT: dlsym hands out void*
  if (slot == nullptr && required) {
    why = std::string("the GPIB library lacks ") + name;
    return false;
  }
  return true;
}

bool fill(void* handle, Library& l, std::string& why) {
  return resolve(handle, "ibdev", l.ibdev, true, why) &&
         resolve(handle, "ibonl", l.ibonl, true, why) &&
         resolve(handle, "ibwrt", l.ibwrt, true, why) &&
         resolve(handle, "ibrd", l.ibrd, true, why) &&
         resolve(handle, "ibclr", l.ibclr, true, why) &&
         resolve(handle, "ibtrg", l.ibtrg, true, why) &&
         resolve(handle, "ibrsp", l.ibrsp, true, why) &&
         resolve(handle, "ibloc", l.ibloc, true, why) &&
         resolve(handle, "ibtmo", l.ibtmo, true, why) &&
         resolve(handle, "ibeot", l.ibeot, true, why) &&
         resolve(handle, "ibeos", l.ibeos, true, why) &&
         resolve(handle, "ibsre", l.ibsre, true, why) &&
         resolve(handle, "ibln", l.ibln, true, why) &&
         resolve(handle, "ThreadIbsta", l.thread_ibsta, true, why) &&
         resolve(handle, "ThreadIberr", l.thread_iberr, true, why) &&
         resolve(handle, "ThreadIbcntl", l.thread_ibcntl, true, why) &&
         resolve(handle, "FindLstn", l.find_listeners, false, why) &&
         resolve(handle, "EnableRemote", l.enable_remote, false, why) &&
         resolve(handle, "SendLLO", l.send_llo, false, why) &&
         resolve(handle, "SetRWLS", l.set_rwls, false, why);
}

// Microseconds of each T-value from T10us (1) to T1000s (17).
constexpr std::array<long long, 17> kMicroseconds = {
    10,     30,      100,     300,      1000,     3000,      10000,     30000,     100000,
    300000, 1000000, 3000000, 10000000, 30000000, 100000000, 300000000, 1000000000};

}  // namespace

const Library* load_library(std::string& why) {
  static std::mutex mutex;
  static Library library{};
  static bool loaded = false;
  const std::lock_guard lock(mutex);
  if (loaded) return &library;
  const char* configured = std::getenv("ZR48_GPIB_LIBRARY");
  const std::string path =
      configured != nullptr && *configured != '\0' ? configured : kDefaultGpibLibrary;
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    why = "the GPIB library (linux-gpib's " + path + ") is missing: install linux-gpib, or set " +
          "ZR48_GPIB_LIBRARY to its libgpib.so.0 (" + ::dlerror() + ")";
    return nullptr;
  }
  Library candidate{};
  if (!fill(handle, candidate, why)) {
    why += " (" + path + ")";
    ::dlclose(handle);
    return nullptr;
  }
  library = candidate;
  loaded = true;  // kept loaded: sessions hold its functions for as long as they live
  return &library;
}

ViStatus status_from(int ibsta, int iberr) {
  if ((ibsta & kTimo) != 0) return VI_ERROR_TMO;
  switch (iberr) {
    case kEabo:
      return VI_ERROR_TMO;
    case kEnol:
      return VI_ERROR_NLISTENERS;
    case kEcic:
      return VI_ERROR_NCIC;
    case kEsac:
      return VI_ERROR_NSYS_CNTLR;
    case kEcap:
      return VI_ERROR_NSUP_OPER;
    case kEdvr:
    case kEneb:
      return VI_ERROR_SYSTEM_ERROR;
    default:
      return VI_ERROR_IO;
  }
}

int t_value(int timeout_ms) {
  if (timeout_ms < 0) return 0;  // TNONE: no limit
  const long long wanted = static_cast<long long>(timeout_ms) * 1000;
  for (std::size_t i = 0; i < kMicroseconds.size(); ++i) {
    if (kMicroseconds[i] >= wanted) return static_cast<int>(i) + 1;
  }
  return static_cast<int>(kMicroseconds.size());  // T1000s, the longest there is
}

}  // namespace zr48::visa::gpib
