// One in-process session of a bus-attached client with the simulated supply: what a GPIB
// device sees of its controller (writes with END, reads of the waiting response, serial poll,
// device clear, group execute trigger). The stand-in bus library of the tests serves a
// simulator through it. The fault hooks apply and the bytes are recorded as for any session.
// Thread-safe; must not outlive the Server that made it.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zr48::sim {

class BusLink {
 public:
  BusLink() = default;
  BusLink(const BusLink&) = delete;
  BusLink& operator=(const BusLink&) = delete;
  virtual ~BusLink() = default;

  // Takes one write; `end` is EOI on its last byte. False when the device has left the bus
  // (the close-after-lines or close-mid-reply hook); a line that set that off did not run.
  virtual bool write(std::string_view bytes, bool end) = 0;

  struct Chunk {
    std::string bytes;
    bool end = false;  // EOI came with the last byte
  };
  // Up to `max` bytes of the waiting response, once the delay hook lets it go, waiting at most
  // `limit` for that. Nothing when no response waits (at once: a device with nothing to say
  // never talks, the controller's time-out follows), when it is not ready within `limit`, or
  // when the device has left the bus.
  virtual std::optional<Chunk> read(std::size_t max, std::chrono::microseconds limit) = 0;

  virtual std::uint8_t status_byte() = 0;
  virtual void device_clear() = 0;
  virtual void trigger() = 0;
  // Whether the device still answers on the bus (it left after a close hook).
  virtual bool present() const = 0;
  // The device is back on the bus, as after a power cycle: a controller opening it anew finds it
  // again, its input and output emptied.
  virtual void rejoin() = 0;
};

}  // namespace zr48::sim
