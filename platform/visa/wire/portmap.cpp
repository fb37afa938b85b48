// Portmapper argument and result encodings.
#include "visa/wire/portmap.h"

namespace zr48::wire::portmap {

void encode(XdrWriter& out, const Mapping& value) {
  out.u32(value.program);
  out.u32(value.version);
  out.u32(value.protocol);
  out.u32(value.port);
}

bool decode(XdrReader& in, Mapping& value) {
  return in.u32(value.program) && in.u32(value.version) && in.u32(value.protocol) &&
         in.u32(value.port);
}

void encode(XdrWriter& out, const PortResult& value) {
  out.u32(value.port);
}

bool decode(XdrReader& in, PortResult& value) {
  return in.u32(value.port);
}

}  // namespace zr48::wire::portmap
