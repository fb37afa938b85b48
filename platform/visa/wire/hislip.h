// HiSLIP (IVI-6.1) message framing: the 16-byte header, the message types and codes, and the
// values both ends agree on (versions, MessageIDs, feature bits, lock codes).
#ifndef ZR48_PLATFORM_VISA_WIRE_HISLIP_H
#define ZR48_PLATFORM_VISA_WIRE_HISLIP_H

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "visa/wire/xdr.h"

namespace zr48::wire::hislip {

constexpr std::size_t kHeaderSize = 16;
constexpr std::uint8_t kPrologue[2] = {'H', 'S'};
constexpr std::uint16_t kDefaultPort = 4880;
constexpr std::uint16_t kVersion10 = 0x0100;  // major byte, minor byte
constexpr std::uint32_t kFirstMessageId = 0xFFFFFF00U;
constexpr std::uint32_t kMessageIdBeforeFirst = kFirstMessageId - 2;
constexpr std::uint32_t kUnknownMessageId = 0xFFFFFFFFU;
// Largest message (header included) either side must take before sizes are negotiated, and the
// size VISA asks for by default.
constexpr std::uint64_t kDefaultMaxMessageSize = 1U << 20;
// Sub-addresses, lock strings and error texts are at most 256 characters.
constexpr std::size_t kMaxText = 256;

enum class MessageType : std::uint8_t {
  kInitialize = 0,
  kInitializeResponse = 1,
  kFatalError = 2,
  kError = 3,
  kAsyncLock = 4,
  kAsyncLockResponse = 5,
  kData = 6,
  kDataEnd = 7,
  kDeviceClearComplete = 8,
  kDeviceClearAcknowledge = 9,
  kAsyncRemoteLocalControl = 10,
  kAsyncRemoteLocalResponse = 11,
  kTrigger = 12,
  kInterrupted = 13,
  kAsyncInterrupted = 14,
  kAsyncMaximumMessageSize = 15,
  kAsyncMaximumMessageSizeResponse = 16,
  kAsyncInitialize = 17,
  kAsyncInitializeResponse = 18,
  kAsyncDeviceClear = 19,
  kAsyncServiceRequest = 20,
  kAsyncStatusQuery = 21,
  kAsyncStatusResponse = 22,
  kAsyncDeviceClearAcknowledge = 23,
  kAsyncLockInfo = 24,
  kAsyncLockInfoResponse = 25,
};
// Types this code knows are 0..kLastKnownType; 128..255 are vendor-specific.
constexpr std::uint8_t kLastKnownType = 25;
constexpr std::uint8_t kFirstVendorType = 128;

enum FatalCode : std::uint8_t {
  kFatalUnidentified = 0,
  kFatalBadHeader = 1,
  kFatalChannelsNotEstablished = 2,
  kFatalInvalidInitSequence = 3,
  kFatalTooManyClients = 4,
};

enum ErrorCode : std::uint8_t {
  kErrorUnidentified = 0,
  kErrorUnknownType = 1,
  kErrorUnknownControlCode = 2,
  kErrorUnknownVendorMessage = 3,
  kErrorMessageTooLarge = 4,
};

// Control-code bits.
constexpr std::uint8_t kRmtDelivered = 0x01;      // Data, DataEnd, Trigger, AsyncStatusQuery
constexpr std::uint8_t kPreferOverlapped = 0x01;  // InitializeResponse, device-clear features
constexpr std::uint8_t kLockRequest = 1;          // AsyncLock: request; 0 = release
constexpr std::uint8_t kLockRelease = 0;
// AsyncLockResponse codes.
constexpr std::uint8_t kLockFailed = 0;
constexpr std::uint8_t kLockGranted = 1;  // request granted; release: exclusive released
constexpr std::uint8_t kLockSharedReleased = 2;
constexpr std::uint8_t kLockError = 3;
// AsyncRemoteLocalControl request codes run 0 to 6, numbered as VISA's REN modes are.
constexpr std::uint8_t kLastRemoteLocalCode = 6;

struct Header {
  MessageType type = MessageType::kInitialize;
  std::uint8_t control = 0;
  std::uint32_t parameter = 0;
  std::uint64_t length = 0;  // payload bytes that follow
};

void encode_header(std::uint8_t* out, const Header& header);
// Appends header and payload to `out`; header.length is taken from the payload.
void append_message(std::vector<std::uint8_t>& out, Header header, Bytes payload = {});
void append_message(std::vector<std::uint8_t>& out, Header header, std::string_view payload);

enum class HeaderCheck {
  kOk,           // a known type or a vendor-specific one (see is_vendor_type)
  kBadPrologue,  // not "HS": the stream is lost (FatalError 1)
  kUnknownType,  // a reserved type: answer Error 1 and skip the payload
  kTooLarge,     // payload over the limit given: answer Error 4 and skip it (or give up)
};
// Parses 16 bytes. `header` is filled in for every result but kBadPrologue, so that the
// payload of a refused message can be skipped.
HeaderCheck parse_header(const std::uint8_t* in, std::uint64_t max_payload, Header& header);

constexpr bool is_vendor_type(MessageType type) {
  return static_cast<std::uint8_t>(type) >= kFirstVendorType;
}

// Initialize's parameter: version in the upper half, two vendor characters in the lower.
constexpr std::uint32_t initialize_parameter(std::uint16_t version, char vendor0, char vendor1) {
  return (std::uint32_t{version} << 16) | (std::uint32_t{static_cast<std::uint8_t>(vendor0)} << 8) |
         std::uint32_t{static_cast<std::uint8_t>(vendor1)};
}
// InitializeResponse's parameter: negotiated version and SessionID.
constexpr std::uint32_t initialize_response_parameter(std::uint16_t version,
                                                      std::uint16_t session_id) {
  return (std::uint32_t{version} << 16) | session_id;
}
constexpr std::uint16_t upper_half(std::uint32_t parameter) {
  return static_cast<std::uint16_t>(parameter >> 16);
}
constexpr std::uint16_t lower_half(std::uint32_t parameter) {
  return static_cast<std::uint16_t>(parameter);
}

}  // namespace zr48::wire::hislip

#endif
