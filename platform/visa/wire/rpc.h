// ONC-RPC version 2 (RFC 5531) over a byte stream: record marking, call and reply headers with
// AUTH_NONE credentials, and helpers that build one whole record. Both a client and a server
// use these: the client encodes calls and decodes replies, the server the other way round.
#ifndef ZR48_PLATFORM_VISA_WIRE_RPC_H
#define ZR48_PLATFORM_VISA_WIRE_RPC_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "visa/wire/xdr.h"

namespace zr48::wire::rpc {

// ---- Record marking: each fragment starts with a 4-byte mark, bit 31 = last fragment. ------
constexpr std::size_t kRecordMarkSize = 4;
constexpr std::uint32_t kLastFragment = 0x80000000U;
constexpr std::uint32_t kMaxFragment = 0x7FFFFFFFU;

struct FragmentHeader {
  bool last = false;
  std::uint32_t length = 0;
};
FragmentHeader parse_fragment_header(const std::uint8_t* mark);
void put_fragment_header(std::uint8_t* mark, const FragmentHeader& header);

// Collects the fragments of one record from a stream fed in pieces of any size, refusing
// records larger than a bound (a garbage or hostile mark must not make us allocate 2 GiB).
class RecordAssembler {
 public:
  enum class State { kNeedMore, kComplete, kTooLarge };

  explicit RecordAssembler(std::size_t max_record) : max_record_(max_record) {}

  // Takes bytes from `in` up to the end of the current record; `consumed` says how many.
  // kComplete: record() holds the record until the next feed; kTooLarge: the stream is lost.
  State feed(Bytes in, std::size_t& consumed);
  Bytes record() const { return record_; }
  // Bytes still needed to finish the current fragment's mark or data (never 0 mid-record).
  std::size_t wanted() const;

 private:
  std::size_t max_record_;
  std::vector<std::uint8_t> record_;
  std::uint8_t mark_[kRecordMarkSize] = {};
  std::size_t mark_filled_ = 0;
  std::size_t fragment_left_ = 0;
  bool in_fragment_ = false;
  bool last_ = false;
  bool complete_ = false;
};

// ---- Messages --------------------------------------------------------------------------------
constexpr std::uint32_t kRpcVersion = 2;
constexpr std::uint32_t kMaxAuthBody = 400;

enum class MessageType : std::uint32_t { kCall = 0, kReply = 1 };
enum class ReplyStat : std::uint32_t { kAccepted = 0, kDenied = 1 };
enum class AcceptStat : std::uint32_t {
  kSuccess = 0,
  kProgUnavail = 1,
  kProgMismatch = 2,
  kProcUnavail = 3,
  kGarbageArgs = 4,
  kSystemErr = 5,
};
enum class RejectStat : std::uint32_t { kRpcMismatch = 0, kAuthError = 1 };

struct CallHeader {
  std::uint32_t xid = 0;
  std::uint32_t program = 0;
  std::uint32_t version = 0;
  std::uint32_t procedure = 0;
};

// Call header with AUTH_NONE credentials and verifier (40 bytes).
void encode_call_header(XdrWriter& out, const CallHeader& call);

enum class CallCheck {
  kOk,
  kGarbage,      // too short, or a credential body over 400 bytes: no reply is possible
  kNotCall,      // a REPLY arrived where a call was expected: ignore it
  kRpcMismatch,  // rpcvers is not 2: answer MSG_DENIED / RPC_MISMATCH
};
// Reads a call header, skipping any credential and verifier (this protocol trusts no one).
// `call.xid` is valid whenever the first word was read, so a mismatch can still be answered.
CallCheck decode_call_header(XdrReader& in, CallHeader& call);

struct ReplyHeader {
  std::uint32_t xid = 0;
  ReplyStat reply = ReplyStat::kAccepted;
  AcceptStat accept = AcceptStat::kSuccess;      // when accepted
  RejectStat reject = RejectStat::kRpcMismatch;  // when denied
  std::uint32_t low = 0;                         // PROG_MISMATCH / RPC_MISMATCH: versions supported
  std::uint32_t high = 0;
  std::uint32_t auth_stat = 0;  // AUTH_ERROR
  // Accepted with SUCCESS: the results follow.
  bool success() const { return reply == ReplyStat::kAccepted && accept == AcceptStat::kSuccess; }
};

// Accepted reply header; for kProgMismatch the version range follows.
void encode_accepted_reply(XdrWriter& out, std::uint32_t xid, AcceptStat stat,
                           std::uint32_t low = 0, std::uint32_t high = 0);
void encode_denied_reply(XdrWriter& out, std::uint32_t xid, RejectStat stat,
                         std::uint32_t low_or_auth = 0, std::uint32_t high = 0);
// False when the bytes are not a well-formed reply header (wrong message type, unknown
// status, short). On success of a SUCCESS reply the reader stands at the results.
bool decode_reply_header(XdrReader& in, ReplyHeader& reply);

// ---- Whole records ---------------------------------------------------------------------------
// Clears `out` and leaves room for the record mark; finish_record() fills it in.
void begin_record(std::vector<std::uint8_t>& out);
void finish_record(std::vector<std::uint8_t>& out);

// One record holding a call: mark, header, arguments (any type with an `encode` overload).
template <typename Args>
void build_call(std::vector<std::uint8_t>& out, const CallHeader& call, const Args& args) {
  begin_record(out);
  XdrWriter writer(out);
  encode_call_header(writer, call);
  encode(writer, args);
  finish_record(out);
}

// One record holding a successful reply and its results.
template <typename Result>
void build_reply(std::vector<std::uint8_t>& out, std::uint32_t xid, const Result& result) {
  begin_record(out);
  XdrWriter writer(out);
  encode_accepted_reply(writer, xid, AcceptStat::kSuccess);
  encode(writer, result);
  finish_record(out);
}

// Arguments or results of no data (RPC `void`).
struct Void {};
inline void encode(XdrWriter& /*out*/, const Void& /*value*/) {}
inline bool decode(XdrReader& in, Void& /*value*/) {
  return in.ok();
}

}  // namespace zr48::wire::rpc

#endif
