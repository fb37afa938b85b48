// The portmapper (program 100000, version 2): which TCP port serves an RPC program.
#ifndef ZR48_PLATFORM_VISA_WIRE_PORTMAP_H
#define ZR48_PLATFORM_VISA_WIRE_PORTMAP_H

#include <cstdint>

#include "visa/wire/xdr.h"

namespace zr48::wire::portmap {

constexpr std::uint32_t kProgram = 100000;
constexpr std::uint32_t kVersion = 2;
constexpr std::uint16_t kPort = 111;
constexpr std::uint32_t kIpProtoTcp = 6;
constexpr std::uint32_t kIpProtoUdp = 17;

enum Procedure : std::uint32_t {
  kNull = 0,
  kSet = 1,
  kUnset = 2,
  kGetPort = 3,
  kDump = 4,
  kCallIt = 5,
};

// GETPORT's argument (the port field is ignored there: send 0).
struct Mapping {
  std::uint32_t program = 0;
  std::uint32_t version = 0;
  std::uint32_t protocol = kIpProtoTcp;
  std::uint32_t port = 0;
};

// GETPORT's result: the port, 0 when the program is not registered.
struct PortResult {
  std::uint32_t port = 0;
};

void encode(XdrWriter& out, const Mapping& value);
bool decode(XdrReader& in, Mapping& value);
void encode(XdrWriter& out, const PortResult& value);
bool decode(XdrReader& in, PortResult& value);

}  // namespace zr48::wire::portmap

#endif
