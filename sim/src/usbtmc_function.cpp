// The supply's USBTMC function: DEV_DEP_MSG_OUT carries program message bytes (EOM is END),
// REQUEST_DEV_DEP_MSG_IN asks for up to a count of response bytes (ending early at the
// termination character when asked), DEV_DEP_MSG_IN carries them back with EOM on the last,
// TRIGGER is a group execute trigger. Each link is an Exchange, so the fault hooks act here as
// on the other services: a delayed reply becomes ready later, a silent one never, a pushed wire
// reply is the bulk-in transfer as is, the close hooks unplug the device. The device's service
// requests go out on the interrupt-IN endpoint as SRQ notifications.
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "exchange.h"
#include "services.h"

namespace zr48::sim {
namespace {

constexpr std::size_t kHeaderBytes = 12;
constexpr std::uint8_t kDevDepMsgOut = 1;
constexpr std::uint8_t kRequestDevDepMsgIn = 2;
constexpr std::uint8_t kDevDepMsgIn = 2;
constexpr std::uint8_t kTrigger = 128;
constexpr std::uint8_t kSrqNotification = 0x81;  // interrupt-IN bNotify1 of a service request

std::uint32_t little_endian(std::string_view bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    value |= static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at + i])) << (8 * i);
  }
  return value;
}

class UsbtmcFunction final : public UsbtmcLink {
 public:
  explicit UsbtmcFunction(std::shared_ptr<UsbtmcAnchor> anchor) : anchor_(std::move(anchor)) {
    const std::lock_guard guard(anchor_->mutex);
    if (anchor_->device == nullptr) return;
    session_ = anchor_->device->open_session();
    exchange_.emplace(*anchor_->device);
  }

  ~UsbtmcFunction() override {
    const std::lock_guard guard(anchor_->mutex);
    if (interrupts_ && anchor_->device != nullptr) {
      anchor_->device->service_requests.unsubscribe(*interrupts_);
    }
  }
  UsbtmcFunction(const UsbtmcFunction&) = delete;
  UsbtmcFunction& operator=(const UsbtmcFunction&) = delete;

  Result bulk_out(std::string_view transfer) override {
    const std::lock_guard guard(anchor_->mutex);
    if (!present()) return Result::kGone;
    const auto id = static_cast<std::uint8_t>(transfer.empty() ? 0 : transfer[0]);
    if (transfer.size() < kHeaderBytes ||
        static_cast<std::uint8_t>(transfer[1]) != static_cast<std::uint8_t>(~transfer[2])) {
      return Result::kStall;
    }
    switch (id) {
      case kDevDepMsgOut: {
        const std::uint32_t size = little_endian(transfer, 4);
        if (size > transfer.size() - kHeaderBytes) return Result::kStall;
        const std::string_view data = transfer.substr(kHeaderBytes, size);
        anchor_->device->record(session_, data);
        if (!exchange_->write(data, (transfer[8] & 1) != 0)) unplugged_ = true;
        return unplugged_ ? Result::kGone : Result::kOk;
      }
      case kRequestDevDepMsgIn:
        request_ = Request{static_cast<std::uint8_t>(transfer[1]), little_endian(transfer, 4),
                           (transfer[8] & 2) != 0, transfer[9]};
        reported_nothing_ = false;
        return Result::kOk;
      case kTrigger:
        exchange_->trigger();
        return Result::kOk;
      default:
        return Result::kStall;
    }
  }

  BulkIn bulk_in() override {
    const std::lock_guard guard(anchor_->mutex);
    BulkIn in;
    if (!present()) {
      in.result = Result::kGone;
      return in;
    }
    if (!request_) return in;
    if (!exchange_->waiting()) {
      if (!reported_nothing_) exchange_->read_nothing();
      reported_nothing_ = true;
      return in;
    }
    if (Clock::now() < exchange_->ready_at()) {
      in.ready_at = exchange_->ready_at();
      return in;
    }
    Exchange::Chunk chunk = exchange_->take(
        request_->max,
        request_->term_char_enabled ? std::optional<char>(request_->term_char) : std::nullopt);
    std::string transfer;
    if (chunk.wire) {
      transfer = std::move(*chunk.wire);
    } else {
      const auto size = static_cast<std::uint32_t>(chunk.bytes.size());
      transfer = {static_cast<char>(kDevDepMsgIn),
                  static_cast<char>(request_->tag),
                  static_cast<char>(~request_->tag),
                  0,
                  static_cast<char>(size & 0xFFU),
                  static_cast<char>((size >> 8) & 0xFFU),
                  static_cast<char>((size >> 16) & 0xFFU),
                  static_cast<char>((size >> 24) & 0xFFU),
                  static_cast<char>(chunk.end ? 1 : 0),
                  0,
                  0,
                  0};
      transfer += chunk.bytes;
      transfer.append((4 - transfer.size() % 4) % 4, '\0');
    }
    if (chunk.cut) {
      transfer.resize(std::min(*chunk.cut, transfer.size()));
      unplugged_ = true;
    }
    request_.reset();
    in.transfer = std::move(transfer);
    return in;
  }

  std::uint8_t read_status_byte() override {
    const std::lock_guard guard(anchor_->mutex);
    return present() ? exchange_->status_byte() : 0;
  }

  void initiate_clear() override {
    const std::lock_guard guard(anchor_->mutex);
    if (!present()) return;
    request_.reset();
    exchange_->device_clear();
  }

  void listen_interrupts(std::function<void(std::string_view)> listener) override {
    const std::lock_guard guard(anchor_->mutex);
    if (!present() || interrupts_) return;
    interrupts_ = anchor_->device->service_requests.subscribe(
        [listener = std::move(listener)](std::uint8_t stb) {
          const std::array<char, 2> notification = {static_cast<char>(kSrqNotification),
                                                    static_cast<char>(stb)};
          listener(std::string_view(notification.data(), notification.size()));
        });
  }

 private:
  struct Request {
    std::uint8_t tag = 0;
    std::uint32_t max = 0;
    bool term_char_enabled = false;
    char term_char = '\n';
  };

  bool present() const { return anchor_->device != nullptr && exchange_ && !unplugged_; }

  std::shared_ptr<UsbtmcAnchor> anchor_;
  std::size_t session_ = 0;
  std::optional<Exchange> exchange_;
  std::optional<Request> request_;
  bool reported_nothing_ = false;
  bool unplugged_ = false;
  std::optional<std::uint64_t> interrupts_;  // the service-request listener
};

}  // namespace

std::unique_ptr<UsbtmcLink> make_usbtmc_link(std::shared_ptr<UsbtmcAnchor> anchor) {
  return std::make_unique<UsbtmcFunction>(std::move(anchor));
}

}  // namespace zr48::sim
