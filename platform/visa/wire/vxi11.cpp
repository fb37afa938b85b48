// VXI-11 argument and result encodings. RPCL `char`, `u_char` and `u_short` take a whole word
// on the wire; a word out of range for them is refused rather than truncated.
#include "visa/wire/vxi11.h"

namespace zr48::wire::vxi11 {
namespace {

bool byte_word(XdrReader& in, std::uint8_t& value) {
  std::uint32_t word = 0;
  if (!in.u32(word)) return false;
  // A signed `char` may arrive sign-extended.
  if (word > 0xFF && word < 0xFFFFFF80U) return in.reject();
  value = static_cast<std::uint8_t>(word);
  return true;
}

}  // namespace

void encode(XdrWriter& out, const DeviceLink& value) {
  out.i32(value.lid);
}
void encode(XdrWriter& out, const DeviceError& value) {
  out.i32(value.error);
}

void encode(XdrWriter& out, const CreateLinkParms& value) {
  out.i32(value.client_id);
  out.boolean(value.lock_device);
  out.u32(value.lock_timeout);
  out.string(value.device);
}

void encode(XdrWriter& out, const CreateLinkResp& value) {
  out.i32(value.error);
  out.i32(value.lid);
  out.u32(value.abort_port);
  out.u32(value.max_recv_size);
}

void encode(XdrWriter& out, const DeviceWriteParms& value) {
  out.i32(value.lid);
  out.u32(value.io_timeout);
  out.u32(value.lock_timeout);
  out.i32(value.flags);
  out.opaque(value.data);
}

void encode(XdrWriter& out, const DeviceWriteResp& value) {
  out.i32(value.error);
  out.u32(value.size);
}

void encode(XdrWriter& out, const DeviceReadParms& value) {
  out.i32(value.lid);
  out.u32(value.request_size);
  out.u32(value.io_timeout);
  out.u32(value.lock_timeout);
  out.i32(value.flags);
  out.u32(value.term_char);
}

void encode(XdrWriter& out, const DeviceReadResp& value) {
  out.i32(value.error);
  out.i32(value.reason);
  out.opaque(value.data);
}

void encode(XdrWriter& out, const DeviceReadStbResp& value) {
  out.i32(value.error);
  out.u32(value.stb);
}

void encode(XdrWriter& out, const DeviceGenericParms& value) {
  out.i32(value.lid);
  out.i32(value.flags);
  out.u32(value.lock_timeout);
  out.u32(value.io_timeout);
}

void encode(XdrWriter& out, const DeviceLockParms& value) {
  out.i32(value.lid);
  out.i32(value.flags);
  out.u32(value.lock_timeout);
}

bool decode(XdrReader& in, DeviceLink& value) {
  return in.i32(value.lid);
}

bool decode(XdrReader& in, DeviceError& value) {
  return in.i32(value.error);
}

bool decode(XdrReader& in, CreateLinkParms& value) {
  return in.i32(value.client_id) && in.boolean(value.lock_device) && in.u32(value.lock_timeout) &&
         in.string(value.device);
}

bool decode(XdrReader& in, CreateLinkResp& value) {
  std::uint32_t port = 0;
  if (!in.i32(value.error) || !in.i32(value.lid) || !in.u32(port) || !in.u32(value.max_recv_size)) {
    return false;
  }
  if (port > 0xFFFF) return in.reject();
  value.abort_port = static_cast<std::uint16_t>(port);
  return true;
}

bool decode(XdrReader& in, DeviceWriteParms& value) {
  return in.i32(value.lid) && in.u32(value.io_timeout) && in.u32(value.lock_timeout) &&
         in.i32(value.flags) && in.opaque(value.data);
}

bool decode(XdrReader& in, DeviceWriteResp& value) {
  return in.i32(value.error) && in.u32(value.size);
}

bool decode(XdrReader& in, DeviceReadParms& value) {
  return in.i32(value.lid) && in.u32(value.request_size) && in.u32(value.io_timeout) &&
         in.u32(value.lock_timeout) && in.i32(value.flags) && byte_word(in, value.term_char);
}

bool decode(XdrReader& in, DeviceReadResp& value) {
  return in.i32(value.error) && in.i32(value.reason) && in.opaque(value.data);
}

bool decode(XdrReader& in, DeviceReadStbResp& value) {
  return in.i32(value.error) && byte_word(in, value.stb);
}

bool decode(XdrReader& in, DeviceGenericParms& value) {
  return in.i32(value.lid) && in.i32(value.flags) && in.u32(value.lock_timeout) &&
         in.u32(value.io_timeout);
}

bool decode(XdrReader& in, DeviceLockParms& value) {
  return in.i32(value.lid) && in.i32(value.flags) && in.u32(value.lock_timeout);
}

void encode(XdrWriter& out, const DeviceRemoteFunc& value) {
  out.u32(value.host_addr);
  out.u32(value.host_port);
  out.u32(value.prog_num);
  out.u32(value.prog_vers);
  out.u32(value.prog_family);
}

void encode(XdrWriter& out, const DeviceEnableSrqParms& value) {
  out.i32(value.lid);
  out.boolean(value.enable);
  out.opaque(value.handle);
}

void encode(XdrWriter& out, const DeviceSrqParms& value) {
  out.opaque(value.handle);
}

bool decode(XdrReader& in, DeviceRemoteFunc& value) {
  return in.u32(value.host_addr) && in.u32(value.host_port) && in.u32(value.prog_num) &&
         in.u32(value.prog_vers) && in.u32(value.prog_family);
}

bool decode(XdrReader& in, DeviceEnableSrqParms& value) {
  return in.i32(value.lid) && in.boolean(value.enable) && in.opaque(value.handle, kMaxSrqHandle);
}

bool decode(XdrReader& in, DeviceSrqParms& value) {
  return in.opaque(value.handle);
}

}  // namespace zr48::wire::vxi11
