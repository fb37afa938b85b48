// ONC-RPC records and VXI-11 messages as a server or client receives them: the first byte picks
// the decoder, the rest is the input. Whatever decodes must encode back to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "visa/wire/portmap.h"
#include "visa/wire/rpc.h"
#include "visa/wire/vxi11.h"

namespace {

using zr48::wire::Bytes;
using zr48::wire::XdrReader;
using zr48::wire::XdrWriter;

template <typename T>
void round_trip(Bytes in) {
  XdrReader reader(in);
  T value{};
  if (!decode(reader, value)) return;
  std::vector<std::uint8_t> again;
  XdrWriter writer(again);
  encode(writer, value);
  const std::size_t used = in.size() - reader.remaining();
  // Padding bytes are not checked on input but written as zeros: compare lengths only then.
  if (again.size() != used) std::abort();
}

void records(Bytes in) {
  zr48::wire::rpc::RecordAssembler assembler(4096);
  while (!in.empty()) {
    std::size_t consumed = 0;
    const auto state = assembler.feed(in, consumed);
    if (state == zr48::wire::rpc::RecordAssembler::State::kTooLarge) return;
    if (state == zr48::wire::rpc::RecordAssembler::State::kComplete) {
      XdrReader reader(assembler.record());
      zr48::wire::rpc::ReplyHeader reply;
      (void)zr48::wire::rpc::decode_reply_header(reader, reply);
    }
    if (consumed == 0) std::abort();  // no progress on non-empty input
    in = in.subspan(consumed);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace vxi11 = zr48::wire::vxi11;
  namespace portmap = zr48::wire::portmap;
  using portmap::decode;
  using portmap::encode;
  using vxi11::decode;
  using vxi11::encode;
  if (size == 0) return 0;
  const Bytes in(data + 1, size - 1);
  switch (data[0] % 16) {
    case 0:
      records(in);
      break;
    case 1: {
      XdrReader reader(in);
      zr48::wire::rpc::CallHeader call;
      (void)zr48::wire::rpc::decode_call_header(reader, call);
      break;
    }
    case 2:
      round_trip<vxi11::CreateLinkParms>(in);
      break;
    case 3:
      round_trip<vxi11::CreateLinkResp>(in);
      break;
    case 4:
      round_trip<vxi11::DeviceWriteParms>(in);
      break;
    case 5:
      round_trip<vxi11::DeviceWriteResp>(in);
      break;
    case 6:
      round_trip<vxi11::DeviceReadParms>(in);
      break;
    case 7:
      round_trip<vxi11::DeviceReadResp>(in);
      break;
    case 8:
      round_trip<vxi11::DeviceReadStbResp>(in);
      break;
    case 9:
      round_trip<vxi11::DeviceGenericParms>(in);
      break;
    case 10:
      round_trip<vxi11::DeviceLockParms>(in);
      break;
    case 11:
      round_trip<vxi11::DeviceLink>(in);
      break;
    case 12:
      round_trip<vxi11::DeviceError>(in);
      break;
    case 13:
      round_trip<portmap::Mapping>(in);
      break;
    default: {
      XdrReader reader(in);
      zr48::wire::rpc::ReplyHeader reply;
      if (zr48::wire::rpc::decode_reply_header(reader, reply) && reply.success()) {
        round_trip<vxi11::DeviceReadResp>(in.subspan(in.size() - reader.remaining()));
      }
      break;
    }
  }
  return 0;
}
