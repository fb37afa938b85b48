// The bus session: an Exchange under a mutex of its own, on a record slot of its own taken
// with the first byte (a device on the bus has no connection to count until it is talked to).
#include "zr48sim/bus_link.h"

#include <memory>
#include <mutex>
#include <thread>

#include "device.h"
#include "exchange.h"

namespace zr48::sim {
namespace {

class DeviceBusLink final : public BusLink {
 public:
  explicit DeviceBusLink(Device& device) : device_(device), exchange_(device) {}

  bool write(std::string_view bytes, bool end) override {
    const std::lock_guard guard(mutex_);
    if (gone_) return false;
    if (!slot_) slot_ = device_.open_session();
    device_.record(*slot_, bytes);
    gone_ = !exchange_.write(bytes, end);
    return !gone_;
  }

  std::optional<Chunk> read(std::size_t max, std::chrono::microseconds limit) override {
    std::unique_lock guard(mutex_);
    if (gone_) return std::nullopt;
    if (!exchange_.waiting()) {
      exchange_.read_nothing();
      return std::nullopt;
    }
    const auto ready_at = exchange_.ready_at();
    const auto give_up = Clock::now() + limit;
    if (ready_at > Clock::now()) {
      guard.unlock();  // a slow instrument holds no other caller
      std::this_thread::sleep_until(std::min(ready_at, give_up));
      guard.lock();
      if (gone_ || !exchange_.waiting() || exchange_.ready_at() > Clock::now()) {
        return std::nullopt;
      }
    }
    Exchange::Chunk taken = exchange_.take(max);
    Chunk chunk{std::move(taken.bytes), taken.end};
    if (taken.wire) chunk = Chunk{std::move(*taken.wire), true};
    if (taken.cut) {  // the device drops off the bus part-way through its reply
      chunk.bytes.resize(std::min(*taken.cut, chunk.bytes.size()));
      chunk.end = false;
      gone_ = true;
    }
    return chunk;
  }

  std::uint8_t status_byte() override {
    const std::lock_guard guard(mutex_);
    return exchange_.status_byte();
  }
  void device_clear() override {
    const std::lock_guard guard(mutex_);
    exchange_.device_clear();
  }
  void trigger() override {
    const std::lock_guard guard(mutex_);
    exchange_.trigger();
  }
  void rejoin() override {
    const std::lock_guard guard(mutex_);
    if (!gone_) return;
    gone_ = false;
    exchange_.device_clear();
  }
  bool present() const override {
    const std::lock_guard guard(mutex_);
    return !gone_;
  }

 private:
  Device& device_;
  std::optional<std::size_t> slot_;
  mutable std::mutex mutex_;
  Exchange exchange_;
  bool gone_ = false;
};

}  // namespace

std::unique_ptr<BusLink> make_bus_link(Device& device) {
  return std::make_unique<DeviceBusLink>(device);
}

}  // namespace zr48::sim
