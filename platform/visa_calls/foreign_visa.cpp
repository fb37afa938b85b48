#include <dlfcn.h>

#include <type_traits>

#include "visa_calls/visa_calls.h"

namespace zr48::visa_calls {
namespace {

// One row per operation: the VISA symbol and where its address goes in the table.
struct SymbolRow {
  const char* symbol;
  void (*store)(VisaCalls& calls, void* address);
};

template <auto Member>
void store(VisaCalls& calls, void* address) {
  using Pointer = std::remove_reference_t<decltype(calls.*Member)>;
  // POSIX guarantees that dlsym's object pointer converts to the function it names.
  calls.*Member = reinterpret_cast<Pointer>(address);
}

constexpr SymbolRow kSymbols[] = {
    {"viOpenDefaultRM", store<&VisaCalls::open_default_rm>},
    {"viOpen", store<&VisaCalls::open>},
    {"viClose", store<&VisaCalls::close>},
    {"viSetAttribute", store<&VisaCalls::set_attribute>},
    {"viSetBuf", store<&VisaCalls::set_buf>},
    {"viFlush", store<&VisaCalls::flush>},
    {"viRead", store<&VisaCalls::read>},
    {"viWrite", store<&VisaCalls::write>},
    {"viVPrintf", store<&VisaCalls::vprintf>},
    {"viVScanf", store<&VisaCalls::vscanf>},
};

std::string loader_text() {
  const char* text = dlerror();
  return text != nullptr ? text : "no reason given";
}

}  // namespace

ForeignVisa::~ForeignVisa() {
  (void)dlclose(handle_);
}

ForeignVisaLoad load_foreign_visa(const std::string& path) {
  // RTLD_LOCAL: the library's vi* never stand in for ours, nor ours for its.
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    return {nullptr, "Cannot load the VISA library '" + path + "': " + loader_text()};
  }
  VisaCalls calls{};
  for (const SymbolRow& row : kSymbols) {
    (void)dlerror();
    void* address = dlsym(handle, row.symbol);
    if (address == nullptr) {
      std::string failure =
          "The VISA library '" + path + "' lacks " + row.symbol + ": " + loader_text();
      (void)dlclose(handle);
      return {nullptr, std::move(failure)};
    }
    row.store(calls, address);
  }
  return {std::shared_ptr<const ForeignVisa>(new ForeignVisa(handle, calls)), {}};
}

}  // namespace zr48::visa_calls
