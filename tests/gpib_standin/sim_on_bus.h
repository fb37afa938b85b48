// Puts a simulator on the stand-in GPIB bus: loads the stand-in library (the path in
// ZR48_GPIB_LIBRARY; unset, the one this build made, ZR48_GPIB_STANDIN_PATH, which is then set
// there for the I/O layer to load the same instance) and attaches one bus session of the
// simulator at an address. Detaches everything when destroyed.
#ifndef ZR48_TESTS_GPIB_STANDIN_SIM_ON_BUS_H
#define ZR48_TESTS_GPIB_STANDIN_SIM_ON_BUS_H

#include <dlfcn.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "standin_control.h"
#include "zr48sim/bus_link.h"
#include "zr48sim/server.h"

namespace zr48::test {

class SimOnBus {
 public:
  // `sad` 0 for none, else 0x60 + the secondary address.
  SimOnBus(sim::Server& server, int board, int pad, int sad = 0) : link_(server.open_bus_link()) {
#ifdef ZR48_GPIB_STANDIN_PATH
    ::setenv("ZR48_GPIB_LIBRARY", ZR48_GPIB_STANDIN_PATH, 0);
#endif
    const char* path = std::getenv("ZR48_GPIB_LIBRARY");
    library_ = path != nullptr ? ::dlopen(path, RTLD_NOW) : nullptr;
    if (library_ == nullptr) return;
    attach_ = reinterpret_cast<decltype(attach_)>(::dlsym(library_, "zr48_gpib_standin_attach"));
    detach_ =
        reinterpret_cast<decltype(detach_)>(::dlsym(library_, "zr48_gpib_standin_detach_all"));
    fault_ = reinterpret_cast<decltype(fault_)>(::dlsym(library_, "zr48_gpib_standin_set_fault"));
    state_ = reinterpret_cast<decltype(state_)>(::dlsym(library_, "zr48_gpib_standin_get_state"));
    if (attach_ == nullptr || detach_ == nullptr || fault_ == nullptr || state_ == nullptr) return;
    const zr48_gpib_standin_device calls{link_.get(), &Write,   &Read,  &StatusByte,
                                         &Clear,      &Trigger, &Opened};
    ready_ = attach_(board, pad, sad, &calls) == 0;
  }
  ~SimOnBus() {
    if (detach_ != nullptr) detach_();
    if (library_ != nullptr) ::dlclose(library_);
  }
  SimOnBus(const SimOnBus&) = delete;
  SimOnBus& operator=(const SimOnBus&) = delete;

  // False when the stand-in library could not be loaded (ZR48_GPIB_LIBRARY unset or wrong).
  bool ready() const {
    return ready_;
  }
  void set_fault(int fault) const {
    fault_(fault);
  }
  zr48_gpib_standin_state state(int board, int pad, int sad = 0) const {
    zr48_gpib_standin_state out{};
    state_(board, pad, sad, &out);
    return out;
  }

 private:
  static sim::BusLink& Link(void* context) {
    return *static_cast<sim::BusLink*>(context);
  }
  static int Write(void* context, const char* data, std::size_t size, int end) {
    return Link(context).write(std::string_view(data, size), end != 0) ? 0 : -1;
  }
  static long Read(void* context, char* data, std::size_t capacity, long timeout_us, int* end) {
    const auto limit = timeout_us < 0 ? std::chrono::microseconds(std::chrono::hours(24))
                                      : std::chrono::microseconds(timeout_us);
    const auto chunk = Link(context).read(capacity, limit);
    if (!chunk) return -1;
    std::memcpy(data, chunk->bytes.data(), chunk->bytes.size());
    *end = chunk->end ? 1 : 0;
    return static_cast<long>(chunk->bytes.size());
  }
  static int StatusByte(void* context) {
    return Link(context).status_byte();
  }
  static void Clear(void* context) {
    Link(context).device_clear();
  }
  static void Trigger(void* context) {
    Link(context).trigger();
  }
  static void Opened(void* context) {
    Link(context).rejoin();
  }

  std::unique_ptr<sim::BusLink> link_;
  void* library_ = nullptr;
  int (*attach_)(int, int, int, const zr48_gpib_standin_device*) = nullptr;
  void (*detach_)() = nullptr;
  void (*fault_)(int) = nullptr;
  int (*state_)(int, int, int, zr48_gpib_standin_state*) = nullptr;
  bool ready_ = false;
};

}  // namespace zr48::test

#endif
