// VXI-11 core and abort channel messages (VXIbus TCP/IP Instrument Protocol, rev 1.0): program
// and procedure numbers, flags, read reasons, error codes, and the XDR form of each argument and
// result. Decoded opaque data and strings are views into the decoded record.
#ifndef ZR48_PLATFORM_VISA_WIRE_VXI11_H
#define ZR48_PLATFORM_VISA_WIRE_VXI11_H

#include <cstdint>
#include <string_view>

#include "visa/wire/xdr.h"

namespace zr48::wire::vxi11 {

constexpr std::uint32_t kCoreProgram = 0x0607AF;
constexpr std::uint32_t kAbortProgram = 0x0607B0;
constexpr std::uint32_t kInterruptProgram = 0x0607B1;
constexpr std::uint32_t kVersion = 1;
// Servers must accept device_write data of at least this size.
constexpr std::uint32_t kMinMaxRecvSize = 1024;

enum Procedure : std::uint32_t {
  kDeviceAbort = 1,  // abort channel
  kCreateLink = 10,
  kDeviceWrite = 11,
  kDeviceRead = 12,
  kDeviceReadStb = 13,
  kDeviceTrigger = 14,
  kDeviceClear = 15,
  kDeviceRemote = 16,
  kDeviceLocal = 17,
  kDeviceLock = 18,
  kDeviceUnlock = 19,
  kDeviceEnableSrq = 20,
  kDeviceDocmd = 22,
  kDestroyLink = 23,
  kCreateIntrChan = 25,
  kDestroyIntrChan = 26,
  kDeviceIntrSrq = 30,  // interrupt channel
};

// Device_Flags bits.
constexpr std::int32_t kFlagWaitLock = 0x01;
constexpr std::int32_t kFlagEnd = 0x08;
constexpr std::int32_t kFlagTermCharSet = 0x80;

// Device_ReadResp reason bits (several may be set; 0 = the server's buffer filled).
constexpr std::int32_t kReasonRequestCount = 0x01;
constexpr std::int32_t kReasonTermChar = 0x02;
constexpr std::int32_t kReasonEnd = 0x04;

enum ErrorCode : std::int32_t {
  kNoError = 0,
  kSyntaxError = 1,
  kDeviceNotAccessible = 3,
  kInvalidLinkId = 4,
  kParameterError = 5,
  kChannelNotEstablished = 6,
  kOperationNotSupported = 8,
  kOutOfResources = 9,
  kDeviceLocked = 11,
  kNoLockHeld = 12,
  kIoTimeout = 15,
  kIoError = 17,
  kInvalidAddress = 21,
  kAbort = 23,
  kChannelAlreadyEstablished = 29,
};

// Device_Link: device_unlock, destroy_link and (abort channel) device_abort take it.
struct DeviceLink {
  std::int32_t lid = 0;
};
// Device_Error: the result of trigger, clear, remote, local, lock, unlock, destroy, abort.
struct DeviceError {
  std::int32_t error = kNoError;
};

struct CreateLinkParms {
  std::int32_t client_id = 0;
  bool lock_device = false;
  std::uint32_t lock_timeout = 0;  // ms
  std::string_view device;
};
struct CreateLinkResp {
  std::int32_t error = kNoError;
  std::int32_t lid = 0;
  std::uint16_t abort_port = 0;
  std::uint32_t max_recv_size = 0;
};

struct DeviceWriteParms {
  std::int32_t lid = 0;
  std::uint32_t io_timeout = 0;  // ms
  std::uint32_t lock_timeout = 0;
  std::int32_t flags = 0;
  Bytes data;
};
struct DeviceWriteResp {
  std::int32_t error = kNoError;
  std::uint32_t size = 0;  // bytes accepted
};

struct DeviceReadParms {
  std::int32_t lid = 0;
  std::uint32_t request_size = 0;
  std::uint32_t io_timeout = 0;
  std::uint32_t lock_timeout = 0;
  std::int32_t flags = 0;
  std::uint8_t term_char = 0;
};
struct DeviceReadResp {
  std::int32_t error = kNoError;
  std::int32_t reason = 0;
  Bytes data;
};

struct DeviceReadStbResp {
  std::int32_t error = kNoError;
  std::uint8_t stb = 0;
};

// Readstb, trigger, clear, remote, local. Note the order: lock time-out before I/O time-out.
struct DeviceGenericParms {
  std::int32_t lid = 0;
  std::int32_t flags = 0;
  std::uint32_t lock_timeout = 0;
  std::uint32_t io_timeout = 0;
};

struct DeviceLockParms {
  std::int32_t lid = 0;
  std::int32_t flags = 0;  // kFlagWaitLock
  std::uint32_t lock_timeout = 0;
};

// The interrupt channel: the client's RPC server (create_intr_chan), the handle that
// device_enable_srq registers and device_intr_srq hands back (at most 40 bytes).
constexpr std::uint32_t kMaxSrqHandle = 40;
constexpr std::uint32_t kFamilyTcp = 0;

struct DeviceRemoteFunc {
  std::uint32_t host_addr = 0;  // IPv4, host order
  std::uint32_t host_port = 0;
  std::uint32_t prog_num = kInterruptProgram;
  std::uint32_t prog_vers = kVersion;
  std::uint32_t prog_family = kFamilyTcp;
};

struct DeviceEnableSrqParms {
  std::int32_t lid = 0;
  bool enable = false;
  Bytes handle;
};

struct DeviceSrqParms {
  Bytes handle;
};

void encode(XdrWriter& out, const DeviceRemoteFunc& value);
void encode(XdrWriter& out, const DeviceEnableSrqParms& value);
void encode(XdrWriter& out, const DeviceSrqParms& value);
bool decode(XdrReader& in, DeviceRemoteFunc& value);
bool decode(XdrReader& in, DeviceEnableSrqParms& value);
bool decode(XdrReader& in, DeviceSrqParms& value);

void encode(XdrWriter& out, const DeviceLink& value);
void encode(XdrWriter& out, const DeviceError& value);
void encode(XdrWriter& out, const CreateLinkParms& value);
void encode(XdrWriter& out, const CreateLinkResp& value);
void encode(XdrWriter& out, const DeviceWriteParms& value);
void encode(XdrWriter& out, const DeviceWriteResp& value);
void encode(XdrWriter& out, const DeviceReadParms& value);
void encode(XdrWriter& out, const DeviceReadResp& value);
void encode(XdrWriter& out, const DeviceReadStbResp& value);
void encode(XdrWriter& out, const DeviceGenericParms& value);
void encode(XdrWriter& out, const DeviceLockParms& value);

// Each reads exactly its structure; the caller checks XdrReader::finished() for trailing bytes.
bool decode(XdrReader& in, DeviceLink& value);
bool decode(XdrReader& in, DeviceError& value);
bool decode(XdrReader& in, CreateLinkParms& value);
bool decode(XdrReader& in, CreateLinkResp& value);
bool decode(XdrReader& in, DeviceWriteParms& value);
bool decode(XdrReader& in, DeviceWriteResp& value);
bool decode(XdrReader& in, DeviceReadParms& value);
bool decode(XdrReader& in, DeviceReadResp& value);
bool decode(XdrReader& in, DeviceReadStbResp& value);
bool decode(XdrReader& in, DeviceGenericParms& value);
bool decode(XdrReader& in, DeviceLockParms& value);

}  // namespace zr48::wire::vxi11

#endif
