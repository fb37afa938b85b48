// The wire codecs against published test vectors: every vector encodes to its bytes, decodes
// and encodes back to the same bytes, and every shorter prefix of it is refused.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "visa/wire/hislip.h"
#include "visa/wire/portmap.h"
#include "visa/wire/rpc.h"
#include "visa/wire/vxi11.h"

namespace zr48::wire {
namespace {

using ByteVector = std::vector<std::uint8_t>;

ByteVector from_hex(std::string_view hex) {
  ByteVector bytes;
  int high = -1;
  for (char c : hex) {
    if (c == ' ') continue;
    const int digit = c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
    if (high < 0) {
      high = digit;
    } else {
      bytes.push_back(static_cast<std::uint8_t>(high * 16 + digit));
      high = -1;
    }
  }
  return bytes;
}

Bytes text_bytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// Encodes a value; decodes bytes into a value of the same type and encodes that again.
struct Vector {
  const char* name;
  const char* hex;
  std::function<void(XdrWriter&)> encode;
  std::function<bool(XdrReader&, XdrWriter&)> round_trip;
};

template <typename T>
Vector row(const char* name, const char* hex, T value) {
  return {name, hex, [value](XdrWriter& out) { encode(out, value); },
          [](XdrReader& in, XdrWriter& out) {
            T decoded{};
            if (!decode(in, decoded)) return false;
            encode(out, decoded);
            return true;
          }};
}

using portmap::decode;
using portmap::encode;
using rpc::decode;
using rpc::encode;
using vxi11::decode;
using vxi11::encode;

const std::vector<Vector>& vectors() {
  static const std::vector<Vector> kVectors = {
      row("Device_WriteParms", "00000007 000007d0 00000000 00000008 00000006 2a49444e 3f0a0000",
          vxi11::DeviceWriteParms{7, 2000, 0, vxi11::kFlagEnd, text_bytes("*IDN?\n")}),
      row("Device_ReadParms", "00000007 00000400 000007d0 00000000 00000080 0000000a",
          vxi11::DeviceReadParms{7, 1024, 2000, 0, vxi11::kFlagTermCharSet, '\n'}),
      row("Device_GenericParms", "00000007 00000000 00000000 000007d0",
          vxi11::DeviceGenericParms{7, 0, 0, 2000}),
      row("Device_LockParms", "00000007 00000001 00001388",
          vxi11::DeviceLockParms{7, vxi11::kFlagWaitLock, 5000}),
      row("Create_LinkParms", "12345678 00000000 00000000 00000005 696e7374 30000000",
          vxi11::CreateLinkParms{0x12345678, false, 0, "inst0"}),
      row("Create_LinkResp", "00000000 00000000 000004d2 00001000",
          vxi11::CreateLinkResp{0, 0, 1234, 4096}),
      row("Device_WriteResp", "00000000 00000006", vxi11::DeviceWriteResp{0, 6}),
      row("Device_ReadResp", "00000000 00000004 00000003 2b310a00",
          vxi11::DeviceReadResp{0, vxi11::kReasonEnd, text_bytes("+1\n")}),
      row("Device_ReadStbResp", "00000000 00000051", vxi11::DeviceReadStbResp{0, 0x51}),
      row("Device_Link", "00000007", vxi11::DeviceLink{7}),
      row("Device_Error", "0000000b", vxi11::DeviceError{vxi11::kDeviceLocked}),
      row("mapping", "000607af 00000001 00000006 00000000",
          portmap::Mapping{vxi11::kCoreProgram, vxi11::kVersion, portmap::kIpProtoTcp, 0}),
      row("GETPORT result", "000003ff", portmap::PortResult{1023}),
  };
  return kVectors;
}

TEST(XdrVectors, EncodeDecodeAndRefuseEveryPrefix) {
  for (const Vector& v : vectors()) {
    SCOPED_TRACE(v.name);
    const ByteVector expected = from_hex(v.hex);
    ByteVector encoded;
    XdrWriter writer(encoded);
    v.encode(writer);
    EXPECT_EQ(encoded, expected);

    ByteVector again;
    XdrWriter rewriter(again);
    XdrReader reader(expected);
    ASSERT_TRUE(v.round_trip(reader, rewriter));
    EXPECT_TRUE(reader.finished());
    EXPECT_EQ(again, expected);

    for (std::size_t n = 0; n < expected.size(); ++n) {
      XdrReader shortened(Bytes(expected).first(n));
      ByteVector ignored;
      XdrWriter sink(ignored);
      EXPECT_FALSE(v.round_trip(shortened, sink) && shortened.finished()) << "prefix " << n;
    }
  }
}

TEST(XdrPrimitives, MixedScalarsAndStringMatchLibtirpc) {
  ByteVector out;
  XdrWriter writer(out);
  writer.u32(1234);
  writer.u32(0x51);
  writer.boolean(true);
  writer.string("inst0");
  EXPECT_EQ(out, from_hex("000004d2 00000051 00000001 00000005 696e7374 30000000"));
}

TEST(XdrPrimitives, RefusesOutOfRangeWords) {
  struct Case {
    const char* name;
    const char* hex;
    std::function<bool(XdrReader&)> decode;
  };
  const auto opaque = [](std::uint32_t max) {
    return [max](XdrReader& in) {
      Bytes b;
      return in.opaque(b, max);
    };
  };
  const Case cases[] = {
      {"bool 2", "00000002",
       [](XdrReader& in) {
         bool b = false;
         return in.boolean(b);
       }},
      {"opaque longer than input", "00000005 41424344", opaque(UINT32_MAX)},
      {"opaque length near 2^32", "fffffffe 41424344", opaque(UINT32_MAX)},
      {"opaque over its maximum", "00000004 41424344", opaque(3)},
      {"padding missing", "00000003 414243", opaque(UINT32_MAX)},
      {"abortPort over 65535", "00000000 00000000 00010000 00000400",
       [](XdrReader& in) {
         vxi11::CreateLinkResp r;
         return vxi11::decode(in, r);
       }},
      {"stb word over 255", "00000000 00000100",
       [](XdrReader& in) {
         vxi11::DeviceReadStbResp r;
         return vxi11::decode(in, r);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ByteVector bytes = from_hex(c.hex);
    XdrReader reader(bytes);
    EXPECT_FALSE(c.decode(reader));
    EXPECT_FALSE(reader.ok());
  }
}

TEST(RpcMessages, CallsMatchVectors) {
  ByteVector record;
  rpc::build_call(record, {1, vxi11::kCoreProgram, vxi11::kVersion, vxi11::kCreateLink},
                  vxi11::CreateLinkParms{0x12345678, false, 0, "inst0"});
  EXPECT_EQ(record, from_hex("80000040 00000001 00000000 00000002 000607af 00000001 0000000a "
                             "00000000 00000000 00000000 00000000 12345678 00000000 00000000 "
                             "00000005 696e7374 30000000"));

  rpc::build_call(record, {0x2a, portmap::kProgram, portmap::kVersion, portmap::kGetPort},
                  portmap::Mapping{vxi11::kCoreProgram, 1, portmap::kIpProtoTcp, 0});
  EXPECT_EQ(ByteVector(record.begin() + 4, record.end()),
            (from_hex("0000002a 00000000 00000002 000186a0 00000002 00000003 00000000 "
                      "00000000 00000000 00000000 000607af 00000001 00000006 00000000")));

  // The server side reads the same call back.
  XdrReader reader(Bytes(record).subspan(4));
  rpc::CallHeader call;
  ASSERT_EQ(rpc::decode_call_header(reader, call), rpc::CallCheck::kOk);
  EXPECT_EQ(call.xid, 0x2aU);
  EXPECT_EQ(call.program, portmap::kProgram);
  EXPECT_EQ(call.procedure, static_cast<std::uint32_t>(portmap::kGetPort));
  portmap::Mapping mapping;
  EXPECT_TRUE(portmap::decode(reader, mapping) && reader.finished());
  EXPECT_EQ(mapping.program, vxi11::kCoreProgram);
}

TEST(RpcMessages, CallHeaderChecks) {
  struct Case {
    const char* name;
    const char* hex;
    rpc::CallCheck expected;
  };
  const Case cases[] = {
      {"reply instead of call", "00000001 00000001 00000000", rpc::CallCheck::kNotCall},
      {"rpcvers 3", "00000001 00000000 00000003", rpc::CallCheck::kRpcMismatch},
      {"short", "00000001 00000000 00000002 000607af", rpc::CallCheck::kGarbage},
      {"credential body over 400 bytes",
       "00000001 00000000 00000002 000607af 00000001 0000000a 00000001 00000194",
       rpc::CallCheck::kGarbage},
      {"AUTH_SYS credential skipped",
       "00000001 00000000 00000002 000607af 00000001 0000000a 00000001 00000004 00000000 "
       "00000000 00000000",
       rpc::CallCheck::kOk},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ByteVector bytes = from_hex(c.hex);
    XdrReader reader(bytes);
    rpc::CallHeader call;
    EXPECT_EQ(rpc::decode_call_header(reader, call), c.expected);
    EXPECT_EQ(call.xid, 1U);
  }
}

TEST(RpcMessages, ReplyHeadersRoundTrip) {
  struct Case {
    const char* name;
    std::function<void(XdrWriter&)> encode;
    const char* hex;
    rpc::ReplyHeader expected;
  };
  using rpc::AcceptStat;
  using rpc::RejectStat;
  using rpc::ReplyStat;
  const Case cases[] = {
      {"success",
       [](XdrWriter& w) { rpc::encode_accepted_reply(w, 1, AcceptStat::kSuccess); },
       "00000001 00000001 00000000 00000000 00000000 00000000",
       {1, ReplyStat::kAccepted, AcceptStat::kSuccess}},
      {"program mismatch",
       [](XdrWriter& w) { rpc::encode_accepted_reply(w, 2, AcceptStat::kProgMismatch, 1, 1); },
       "00000002 00000001 00000000 00000000 00000000 00000002 00000001 00000001",
       {2, ReplyStat::kAccepted, AcceptStat::kProgMismatch, RejectStat::kRpcMismatch, 1, 1}},
      {"program unavailable",
       [](XdrWriter& w) { rpc::encode_accepted_reply(w, 3, AcceptStat::kProgUnavail); },
       "00000003 00000001 00000000 00000000 00000000 00000001",
       {3, ReplyStat::kAccepted, AcceptStat::kProgUnavail}},
      {"rpc mismatch",
       [](XdrWriter& w) { rpc::encode_denied_reply(w, 4, RejectStat::kRpcMismatch, 2, 2); },
       "00000004 00000001 00000001 00000000 00000002 00000002",
       {4, ReplyStat::kDenied, AcceptStat::kSuccess, RejectStat::kRpcMismatch, 2, 2}},
      {"auth error",
       [](XdrWriter& w) { rpc::encode_denied_reply(w, 5, RejectStat::kAuthError, 1); },
       "00000005 00000001 00000001 00000001 00000001",
       {5, ReplyStat::kDenied, AcceptStat::kSuccess, RejectStat::kAuthError, 0, 0, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ByteVector bytes;
    XdrWriter writer(bytes);
    c.encode(writer);
    EXPECT_EQ(bytes, from_hex(c.hex));
    XdrReader reader(bytes);
    rpc::ReplyHeader reply;
    ASSERT_TRUE(rpc::decode_reply_header(reader, reply));
    EXPECT_TRUE(reader.finished());
    EXPECT_EQ(reply.xid, c.expected.xid);
    EXPECT_EQ(reply.reply, c.expected.reply);
    EXPECT_EQ(reply.success(), c.expected.success());
    if (reply.reply == ReplyStat::kAccepted) {
      EXPECT_EQ(reply.accept, c.expected.accept);
    } else {
      EXPECT_EQ(reply.reject, c.expected.reject);
    }
    EXPECT_EQ(reply.low, c.expected.low);
    EXPECT_EQ(reply.high, c.expected.high);
    EXPECT_EQ(reply.auth_stat, c.expected.auth_stat);
  }
  const char* malformed[] = {"00000001 00000000", "00000001 00000001 00000002",
                             "00000001 00000001 00000000 00000000 00000000 00000006",
                             "00000001 00000001 00000001 00000002 00000000"};
  for (const char* hex : malformed) {
    SCOPED_TRACE(hex);
    const ByteVector bytes = from_hex(hex);
    XdrReader reader(bytes);
    rpc::ReplyHeader reply;
    EXPECT_FALSE(rpc::decode_reply_header(reader, reply));
  }
}

TEST(RecordMarking, AssemblesFragmentsFedInAnyPieces) {
  // Two records: one in two fragments ("ab" + "cd"), then an empty one, then "xyz".
  const ByteVector stream = from_hex("00000002 6162 80000002 6364 80000000 80000003 78797a");
  const std::vector<std::string> expected = {"abcd", "", "xyz"};
  for (std::size_t piece : {std::size_t{1}, std::size_t{3}, std::size_t{5}, stream.size()}) {
    SCOPED_TRACE(piece);
    rpc::RecordAssembler assembler(16);
    std::vector<std::string> records;
    for (std::size_t at = 0; at < stream.size();) {
      Bytes in = Bytes(stream).subspan(at, std::min(piece, stream.size() - at));
      std::size_t consumed = 0;
      const auto state = assembler.feed(in, consumed);
      ASSERT_NE(state, rpc::RecordAssembler::State::kTooLarge);
      at += consumed;
      if (state == rpc::RecordAssembler::State::kComplete) {
        const Bytes r = assembler.record();
        records.emplace_back(reinterpret_cast<const char*>(r.data()), r.size());
      }
    }
    EXPECT_EQ(records, expected);
  }
}

TEST(RecordMarking, RefusesRecordsOverTheBound) {
  const char* cases[] = {
      "ffffffff",                              // 2 GiB - 1 in one last fragment
      "80000011",                              // one byte over the bound
      "00000009 000000000000000000 80000008",  // fragments adding up past it
  };
  for (const char* hex : cases) {
    SCOPED_TRACE(hex);
    const ByteVector stream = from_hex(hex);
    rpc::RecordAssembler assembler(16);
    std::size_t consumed = 0;
    auto state = assembler.feed(stream, consumed);
    while (state == rpc::RecordAssembler::State::kNeedMore && consumed < stream.size()) {
      state = assembler.feed(Bytes(stream).subspan(consumed), consumed);
    }
    EXPECT_EQ(state, rpc::RecordAssembler::State::kTooLarge);
  }
  const auto header = rpc::parse_fragment_header(from_hex("ffffffff").data());
  EXPECT_TRUE(header.last);
  EXPECT_EQ(header.length, 0x7FFFFFFFU);
}

TEST(HislipHeader, MessagesMatchVectors) {
  using hislip::MessageType;
  struct Case {
    const char* name;
    hislip::Header header;
    std::string payload;
    const char* hex;
  };
  const Case cases[] = {
      {"Initialize",
       {MessageType::kInitialize, 0, hislip::initialize_parameter(hislip::kVersion10, 'X', 'X')},
       "hislip0",
       "4853 00 00 01005858 0000000000000007 686973 6c697030"},
      {"InitializeResponse",
       {MessageType::kInitializeResponse, 0,
        hislip::initialize_response_parameter(hislip::kVersion10, 1)},
       "",
       "4853 01 00 01000001 0000000000000000"},
      {"AsyncInitialize",
       {MessageType::kAsyncInitialize, 0, 1},
       "",
       "4853 11 00 00000001 0000000000000000"},
      {"AsyncInitializeResponse",
       {MessageType::kAsyncInitializeResponse, 0, 0x5858},
       "",
       "4853 12 00 00005858 0000000000000000"},
      {"DataEnd",
       {MessageType::kDataEnd, 0, hislip::kFirstMessageId},
       "*IDN?\n",
       "4853 07 00 ffffff00 0000000000000006 2a49444e3f0a"},
      {"AsyncMaximumMessageSize",
       {MessageType::kAsyncMaximumMessageSize, 0, 0},
       std::string("\0\0\0\0\0\x10\0\0", 8),
       "4853 0f 00 00000000 0000000000000008 0000000000100000"},
      {"AsyncStatusQuery",
       {MessageType::kAsyncStatusQuery, 0, hislip::kMessageIdBeforeFirst},
       "",
       "4853 15 00 fffffefe 0000000000000000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ByteVector bytes;
    hislip::append_message(bytes, c.header, c.payload);
    const ByteVector expected = from_hex(c.hex);
    EXPECT_EQ(bytes, expected);
    hislip::Header parsed;
    ASSERT_EQ(hislip::parse_header(bytes.data(), 1024, parsed), hislip::HeaderCheck::kOk);
    EXPECT_EQ(parsed.type, c.header.type);
    EXPECT_EQ(parsed.control, c.header.control);
    EXPECT_EQ(parsed.parameter, c.header.parameter);
    EXPECT_EQ(parsed.length, c.payload.size());
  }
  EXPECT_EQ(hislip::upper_half(0x01000001), hislip::kVersion10);
  EXPECT_EQ(hislip::lower_half(0x01000001), 1);
}

TEST(HislipHeader, RefusedHeaders) {
  struct Case {
    const char* name;
    const char* hex;
    hislip::HeaderCheck expected;
  };
  const Case cases[] = {
      {"wrong prologue", "4854 07 00 ffffff00 0000000000000006", hislip::HeaderCheck::kBadPrologue},
      {"reserved type 26", "4853 1a 00 00000000 0000000000000000",
       hislip::HeaderCheck::kUnknownType},
      {"reserved type 127", "4853 7f 00 00000000 0000000000000000",
       hislip::HeaderCheck::kUnknownType},
      {"vendor type 128", "4853 80 00 00000000 0000000000000000", hislip::HeaderCheck::kOk},
      {"payload over the limit", "4853 07 00 ffffff00 0000000000000401",
       hislip::HeaderCheck::kTooLarge},
      {"payload length 2^64-1", "4853 06 00 ffffff00 ffffffffffffffff",
       hislip::HeaderCheck::kTooLarge},
      {"payload at the limit", "4853 06 00 ffffff00 0000000000000400", hislip::HeaderCheck::kOk},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ByteVector bytes = from_hex(c.hex);
    hislip::Header header;
    EXPECT_EQ(hislip::parse_header(bytes.data(), 1024, header), c.expected);
  }
}

}  // namespace
}  // namespace zr48::wire
