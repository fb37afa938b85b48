// HiSLIP channel framing.
#include "visa/transports/hislip/hislip_channel.h"

#include <algorithm>
#include <cstring>

namespace zr48::visa {

namespace hs = wire::hislip;

HislipChannel::HislipChannel(std::unique_ptr<TcpTransport> socket, std::uint64_t max_payload)
    : socket_(std::move(socket)), max_payload_(max_payload), in_(64 * 1024) {}

ViStatus HislipChannel::lost() {
  broken_ = true;
  socket_->interrupt();
  return VI_ERROR_CONN_LOST;
}

ViStatus HislipChannel::fatal(std::uint8_t code, std::string_view text) {
  if (!broken_) {
    out_.clear();
    hs::append_message(out_, {hs::MessageType::kFatalError, code, 0}, text);
    std::size_t sent = 0;
    (void)socket_->send_bytes(out_.data(), out_.size(), Deadline::after_ms(0), sent);
  }
  return lost();
}

ViStatus HislipChannel::send(const hs::Header& header, wire::Bytes payload,
                             const Deadline& deadline) {
  if (broken_) return VI_ERROR_CONN_LOST;
  out_.clear();
  hs::append_message(out_, header, payload);
  std::size_t sent = 0;
  // A cancellation ends waits for messages, never a message half sent.
  const ViStatus status = socket_->send_bytes(out_.data(), out_.size(), deadline, sent, false);
  if (status == VI_SUCCESS) return VI_SUCCESS;
  return sent > 0 || status == VI_ERROR_CONN_LOST ? lost() : status;
}

ViStatus HislipChannel::next(const Deadline& deadline, hs::Header& header, wire::Bytes& payload) {
  if (broken_) return VI_ERROR_CONN_LOST;
  for (;;) {
    const std::size_t available = in_end_ - in_start_;
    if (available >= hs::kHeaderSize) {
      const auto check = hs::parse_header(in_.data() + in_start_, max_payload_, header);
      if (check == hs::HeaderCheck::kBadPrologue) {
        return fatal(hs::kFatalBadHeader, "bad prologue");
      }
      if (check == hs::HeaderCheck::kTooLarge) {
        return fatal(hs::kFatalUnidentified, "message larger than the negotiated size");
      }
      const std::size_t total = hs::kHeaderSize + static_cast<std::size_t>(header.length);
      if (available >= total) {
        payload = wire::Bytes(in_.data() + in_start_ + hs::kHeaderSize,
                              static_cast<std::size_t>(header.length));
        in_start_ += total;
        if (check == hs::HeaderCheck::kUnknownType || hs::is_vendor_type(header.type)) {
          out_.clear();
          const std::uint8_t code = check == hs::HeaderCheck::kUnknownType
                                        ? hs::kErrorUnknownType
                                        : hs::kErrorUnknownVendorMessage;
          hs::append_message(out_, {hs::MessageType::kError, code, 0}, std::string_view{});
          std::size_t sent = 0;
          const ViStatus status =
              socket_->send_bytes(out_.data(), out_.size(), deadline, sent, false);
          if (status != VI_SUCCESS && sent > 0) return lost();
          continue;
        }
        return VI_SUCCESS;
      }
      if (total > in_.size()) in_.resize(total);  // bounded by max_payload_
    }
    if (in_start_ > 0) {  // keep the unread part at the front
      std::memmove(in_.data(), in_.data() + in_start_, in_end_ - in_start_);
      in_end_ -= in_start_;
      in_start_ = 0;
    }
    std::size_t received = 0;
    const ViStatus status =
        socket_->receive_some(in_.data() + in_end_, in_.size() - in_end_, deadline, received);
    if (status == VI_ERROR_CONN_LOST) return lost();
    if (status != VI_SUCCESS) return status;
    in_end_ += received;
  }
}

}  // namespace zr48::visa
