// A stand-in for linux-gpib's libgpib.so.0: the same C calls, over devices attached through
// standin_control.h instead of an interface board. One bus per board number; descriptors for
// devices start after the board descriptors, as linux-gpib numbers them. Status, error and
// count go to the calling thread's variables (ThreadIbsta() and friends) and to the globals.
#include <algorithm>
#include <cstddef>
#include <iterator>
#include <map>
#include <mutex>
#include <tuple>

#include "standin_control.h"

namespace {

// ibsta bits and iberr codes (linux-gpib's gpib_user.h values).
constexpr int kErr = 0x8000;
constexpr int kTimo = 0x4000;
constexpr int kEnd = 0x2000;
constexpr int kCmpl = 0x100;
constexpr int kRem = 0x40;
constexpr int kLok = 0x80;
constexpr int kEdvr = 0;
constexpr int kEnol = 2;
constexpr int kEarg = 4;
constexpr int kEabo = 6;
constexpr int kReos = 0x400;
constexpr int kBoards = 16;
constexpr unsigned short kNoAddr = 0xFFFF;

// Microseconds for each T-value; 0 (TNONE) waits for ever.
constexpr long kMicroseconds[] = {-1,      10,       30,       100,       300,       1000,
                                  3000,    10000,    30000,    100000,    300000,    1000000,
                                  3000000, 10000000, 30000000, 100000000, 300000000, 1000000000};

using Address = std::tuple<int, int, int>;  // board, pad, sad

struct Device {
  zr48_gpib_standin_device calls{};
  zr48_gpib_standin_state state{};
};

struct Descriptor {
  Address address;
  int timeout = 11;
  int eot = 1;
  int eos = 0;
};

std::mutex g_mutex;
std::map<Address, Device> g_devices;
std::map<int, Descriptor> g_descriptors;
bool g_ren[kBoards] = {};
int g_fault = ZR48_GPIB_STANDIN_NO_FAULT;
int g_next_ud = kBoards;

thread_local int t_ibsta = 0;
thread_local int t_iberr = 0;
thread_local long t_ibcntl = 0;

}  // namespace

extern "C" {

// linux-gpib keeps these as process globals beside the per-thread values.
int ibsta = 0;    // NOLINT: the library's C interface
int iberr = 0;    // NOLINT
int ibcnt = 0;    // NOLINT
long ibcntl = 0;  // NOLINT

}  // extern "C"

namespace {

int finish(int status, int error = 0, long count = 0) {
  t_ibsta = status;
  t_iberr = error;
  t_ibcntl = count;
  ibsta = status;
  iberr = error;
  ibcntl = count;
  ibcnt = static_cast<int>(count);
  return status;
}
int fail(int error, long count = 0) {
  return finish(kErr | (error == kEabo ? kTimo : 0), error, count);
}

// The descriptor and its device (nullptr when nobody is at the address). Mutex held.
Descriptor* descriptor(int ud) {
  const auto it = g_descriptors.find(ud);
  return it == g_descriptors.end() ? nullptr : &it->second;
}
Device* device_at(const Address& address) {
  const auto it = g_devices.find(address);
  return it == g_devices.end() ? nullptr : &it->second;
}
int state_bits(const Device& device) {
  return (device.state.remote != 0 ? kRem : 0) | (device.state.lockout != 0 ? kLok : 0);
}

// Runs `f(descriptor, device)` for a device descriptor under the mutex, with the bus faults.
template <typename F>
int with_device(int ud, bool needs_listener, F f) {
  std::unique_lock lock(g_mutex);
  Descriptor* d = descriptor(ud);
  if (d == nullptr) return fail(kEdvr);
  Device* device = device_at(d->address);
  if (g_fault == ZR48_GPIB_STANDIN_TIMEOUT) return fail(kEabo);
  if (device == nullptr || g_fault == ZR48_GPIB_STANDIN_NO_LISTENER) {
    return fail(needs_listener ? kEnol : kEabo);
  }
  if (g_ren[std::get<0>(d->address)]) device->state.remote = 1;  // addressed with REN true
  return f(*d, *device, lock);
}

}  // namespace

extern "C" {

int ThreadIbsta(void) {
  return t_ibsta;
}
int ThreadIberr(void) {
  return t_iberr;
}
int ThreadIbcnt(void) {
  return static_cast<int>(t_ibcntl);
}
long ThreadIbcntl(void) {
  return t_ibcntl;
}

int ibdev(int board, int pad, int sad, int timeout, int eot, int eos) {
  const std::lock_guard lock(g_mutex);
  if (g_fault == ZR48_GPIB_STANDIN_NO_BOARD || board < 0 || board >= kBoards) {
    finish(kErr, kEdvr);
    return -1;
  }
  if (pad < 0 || pad > 30 || (sad != 0 && (sad < 0x60 || sad > 0x7E)) || timeout < 0 ||
      timeout > 17) {
    finish(kErr, kEarg);
    return -1;
  }
  const int ud = g_next_ud++;
  g_descriptors[ud] = Descriptor{{board, pad, sad}, timeout, eot != 0 ? 1 : 0, eos};
  if (Device* device = device_at({board, pad, sad})) {
    device->state.open += 1;
    if (device->calls.opened != nullptr) device->calls.opened(device->calls.context);
    device->state.timeout = timeout;
    device->state.eos = eos;
  }
  finish(kCmpl);
  return ud;
}

int ibonl(int ud, int online) {
  const std::lock_guard lock(g_mutex);
  Descriptor* d = descriptor(ud);
  if (d == nullptr) return fail(kEdvr);
  if (online == 0) {
    if (Device* device = device_at(d->address)) device->state.open -= 1;
    g_descriptors.erase(ud);
  }
  return finish(kCmpl);
}

int ibtmo(int ud, int timeout) {
  const std::lock_guard lock(g_mutex);
  Descriptor* d = descriptor(ud);
  if (d == nullptr) return fail(kEdvr);
  if (timeout < 0 || timeout > 17) return fail(kEarg);
  d->timeout = timeout;
  if (Device* device = device_at(d->address)) device->state.timeout = timeout;
  return finish(kCmpl);
}

int ibeot(int ud, int eot) {
  const std::lock_guard lock(g_mutex);
  Descriptor* d = descriptor(ud);
  if (d == nullptr) return fail(kEdvr);
  d->eot = eot != 0 ? 1 : 0;
  return finish(kCmpl);
}

int ibeos(int ud, int eos) {
  const std::lock_guard lock(g_mutex);
  Descriptor* d = descriptor(ud);
  if (d == nullptr) return fail(kEdvr);
  d->eos = eos;
  if (Device* device = device_at(d->address)) device->state.eos = eos;
  return finish(kCmpl);
}

int ibconfig(int ud, int option, int value) {
  switch (option) {
    case 3:  // IbcTMO
      return ibtmo(ud, value);
    case 4:  // IbcEOT
      return ibeot(ud, value);
    default:
      return fail(kEarg);
  }
}

int ibwrt(int ud, const void* data, long count) {
  return with_device(ud, true, [&](Descriptor& d, Device& device, std::unique_lock<std::mutex>&) {
    device.state.eot = d.eot;
    device.state.writes += 1;
    if (device.calls.write(device.calls.context, static_cast<const char*>(data),
                           static_cast<std::size_t>(count), d.eot) != 0) {
      return fail(kEnol);
    }
    return finish(kCmpl | state_bits(device), 0, count);
  });
}

int ibrd(int ud, void* data, long count) {
  return with_device(ud, false, [&](Descriptor& d, Device& device, std::unique_lock<std::mutex>&) {
    auto* out = static_cast<char*>(data);
    const long limit = kMicroseconds[d.timeout];
    const bool stop_at_eos = (d.eos & kReos) != 0;
    long got = 0;
    int end = 0;
    while (got < count && end == 0) {
      // Byte by byte when the read ends at the eos character, as the board compares each.
      const long want = stop_at_eos ? 1 : count - got;
      const long n = device.calls.read(device.calls.context, out + got,
                                       static_cast<std::size_t>(want), limit, &end);
      if (n < 0) return fail(kEabo, got);
      got += n;
      if (stop_at_eos && n > 0 && static_cast<unsigned char>(out[got - 1]) == (d.eos & 0xFF)) {
        end = 1;
      }
      if (n == 0 && end == 0) return fail(kEabo, got);
    }
    return finish(kCmpl | (end != 0 ? kEnd : 0) | state_bits(device), 0, got);
  });
}

int ibclr(int ud) {
  return with_device(ud, true, [](Descriptor&, Device& device, std::unique_lock<std::mutex>&) {
    device.calls.clear(device.calls.context);
    return finish(kCmpl | state_bits(device));
  });
}

int ibtrg(int ud) {
  return with_device(ud, true, [](Descriptor&, Device& device, std::unique_lock<std::mutex>&) {
    device.calls.trigger(device.calls.context);
    return finish(kCmpl | state_bits(device));
  });
}

int ibrsp(int ud, char* result) {
  return with_device(ud, false, [&](Descriptor&, Device& device, std::unique_lock<std::mutex>&) {
    *result = static_cast<char>(device.calls.status_byte(device.calls.context));
    return finish(kCmpl | state_bits(device), 0, 1);
  });
}

int ibloc(int ud) {
  return with_device(ud, true, [](Descriptor&, Device& device, std::unique_lock<std::mutex>&) {
    device.state.remote = 0;  // go to local; a local lockout stays
    return finish(kCmpl | state_bits(device));
  });
}

// Board calls take the board number as its descriptor.
int ibsre(int board, int enable) {
  const std::lock_guard lock(g_mutex);
  if (board < 0 || board >= kBoards || g_fault == ZR48_GPIB_STANDIN_NO_BOARD) return fail(kEdvr);
  g_ren[board] = enable != 0;
  if (enable == 0) {  // every device on the bus returns to local, lockout ends
    for (auto& [address, device] : g_devices) {
      if (std::get<0>(address) == board) device.state.remote = device.state.lockout = 0;
    }
  }
  return finish(kCmpl);
}

int ibln(int ud, int pad, int sad, short* found) {
  const std::lock_guard lock(g_mutex);
  int board = ud;
  if (const Descriptor* d = descriptor(ud)) board = std::get<0>(d->address);
  if (board < 0 || board >= kBoards || g_fault == ZR48_GPIB_STANDIN_NO_BOARD) return fail(kEdvr);
  *found = g_fault != ZR48_GPIB_STANDIN_NO_LISTENER && device_at({board, pad, sad}) != nullptr;
  return finish(kCmpl);
}

// IEEE 488.2 calls: addresses are pad | sad << 8, lists end at NOADDR.
void FindLstn(int board, const unsigned short* pads, unsigned short* results, int limit) {
  const std::lock_guard lock(g_mutex);
  if (board < 0 || board >= kBoards || g_fault == ZR48_GPIB_STANDIN_NO_BOARD) {
    fail(kEdvr);
    return;
  }
  long found = 0;
  for (; *pads != kNoAddr && found < limit; ++pads) {
    if (g_fault == ZR48_GPIB_STANDIN_NO_LISTENER) break;
    for (const auto& [address, device] : g_devices) {
      const auto [b, pad, sad] = address;
      if (b == board && pad == (*pads & 0xFF) && found < limit) {
        results[found++] = static_cast<unsigned short>(pad | (sad << 8));
      }
    }
  }
  finish(kCmpl, 0, found);
}

namespace {
void set_listed(int board, const unsigned short* list, bool lockout_all, bool lockout_listed) {
  const std::lock_guard lock(g_mutex);
  if (board < 0 || board >= kBoards || g_fault == ZR48_GPIB_STANDIN_NO_BOARD) {
    fail(kEdvr);
    return;
  }
  g_ren[board] = true;
  for (auto& [address, device] : g_devices) {
    const auto [b, pad, sad] = address;
    if (b != board) continue;
    if (lockout_all) device.state.lockout = 1;
    for (const unsigned short* at = list; at != nullptr && *at != kNoAddr; ++at) {
      if ((*at & 0xFF) == pad && (*at >> 8) == sad) {
        device.state.remote = 1;
        if (lockout_listed) device.state.lockout = 1;
      }
    }
  }
  finish(kCmpl);
}
}  // namespace

void EnableRemote(int board, const unsigned short* list) {
  set_listed(board, list, false, false);
}
void SendLLO(int board) {
  set_listed(board, nullptr, true, false);
}
void SetRWLS(int board, const unsigned short* list) {
  set_listed(board, list, false, true);
}

int zr48_gpib_standin_attach(int board, int pad, int sad, const zr48_gpib_standin_device* calls) {
  const std::lock_guard lock(g_mutex);
  if (board < 0 || board >= kBoards || calls == nullptr) return -1;
  g_devices[{board, pad, sad}] = Device{*calls, {}};
  return 0;
}

void zr48_gpib_standin_detach_all(void) {
  const std::lock_guard lock(g_mutex);
  g_devices.clear();
  g_descriptors.clear();
  std::fill(std::begin(g_ren), std::end(g_ren), false);
  g_fault = ZR48_GPIB_STANDIN_NO_FAULT;
}

void zr48_gpib_standin_set_fault(int fault) {
  const std::lock_guard lock(g_mutex);
  g_fault = fault;
}

int zr48_gpib_standin_get_state(int board, int pad, int sad, zr48_gpib_standin_state* out) {
  const std::lock_guard lock(g_mutex);
  const Device* device = device_at({board, pad, sad});
  if (device == nullptr || out == nullptr) return -1;
  *out = device->state;
  return 0;
}

}  // extern "C"
