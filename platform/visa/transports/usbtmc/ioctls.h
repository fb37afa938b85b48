// The Linux usbtmc driver's ioctls this transport uses, as its UAPI header defines them (type
// 91). Written out here because older kernel headers lack the newer ones.
#ifndef ZR48_PLATFORM_VISA_TRANSPORTS_USBTMC_IOCTLS_H
#define ZR48_PLATFORM_VISA_TRANSPORTS_USBTMC_IOCTLS_H

#include <linux/ioctl.h>

#include <cstdint>

namespace zr48::visa::usbtmc {

inline constexpr unsigned kIocNr = 91;

struct TermChar {
  std::uint8_t term_char;
  std::uint8_t term_char_enabled;
};

inline constexpr unsigned long kClear = _IO(kIocNr, 2);
inline constexpr unsigned long kSetTimeout = _IOW(kIocNr, 10, std::uint32_t);
inline constexpr unsigned long kEomEnable = _IOW(kIocNr, 11, std::uint8_t);
inline constexpr unsigned long kConfigTermChar = _IOW(kIocNr, 12, TermChar);
inline constexpr unsigned long kApiVersion = _IOR(kIocNr, 16, std::uint32_t);
inline constexpr unsigned long kGetCaps = _IOR(kIocNr, 17, std::uint8_t);
inline constexpr unsigned long kReadStb = _IOR(kIocNr, 18, std::uint8_t);
inline constexpr unsigned long kRenControl = _IOW(kIocNr, 19, std::uint8_t);
inline constexpr unsigned long kGotoLocal = _IO(kIocNr, 20);
inline constexpr unsigned long kLocalLockout = _IO(kIocNr, 21);
inline constexpr unsigned long kTrigger = _IO(kIocNr, 22);
// Waits up to the argument's milliseconds for a service request: 0, or -ETIMEDOUT, -ENODEV
// (closed or unplugged), -EFAULT (the device has no interrupt-IN endpoint).
inline constexpr unsigned long kWaitSrq = _IOW(kIocNr, 23, std::uint32_t);
inline constexpr unsigned long kMsgInAttr = _IOR(kIocNr, 24, std::uint8_t);
inline constexpr unsigned long kAutoAbort = _IOW(kIocNr, 25, std::uint8_t);
// API version 3: the status byte without touching the pending service request, and the status
// byte of the pending service request (taking it), else -ENOMSG.
inline constexpr unsigned long kGetStb = _IOR(kIocNr, 26, std::uint8_t);
inline constexpr unsigned long kGetSrqStb = _IOR(kIocNr, 27, std::uint8_t);
inline constexpr unsigned long kCancelIo = _IO(kIocNr, 35);

// USBTMC488_IOCTL_GET_CAPS bits.
inline constexpr std::uint8_t kCapTrigger = 1;
inline constexpr std::uint8_t kCapSimple = 2;  // REN_CONTROL, GOTO_LOCAL, LOCAL_LOCKOUT
inline constexpr std::uint8_t kCap4882 = 4;

// The status byte's request-service bit.
inline constexpr std::uint8_t kRqs = 0x40;

// The driver refuses timeouts below this.
inline constexpr std::uint32_t kMinTimeoutMs = 100;

}  // namespace zr48::visa::usbtmc

#endif
