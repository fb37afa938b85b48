// ONC-RPC record marking and message headers.
#include "visa/wire/rpc.h"

#include <algorithm>

namespace zr48::wire::rpc {

FragmentHeader parse_fragment_header(const std::uint8_t* mark) {
  const std::uint32_t word = get_u32(mark);
  return {(word & kLastFragment) != 0, word & kMaxFragment};
}

void put_fragment_header(std::uint8_t* mark, const FragmentHeader& header) {
  put_u32(mark, (header.last ? kLastFragment : 0) | (header.length & kMaxFragment));
}

std::size_t RecordAssembler::wanted() const {
  return in_fragment_ ? fragment_left_ : kRecordMarkSize - mark_filled_;
}

RecordAssembler::State RecordAssembler::feed(Bytes in, std::size_t& consumed) {
  consumed = 0;
  if (complete_) {  // the previous record was handed out: start the next one
    record_.clear();
    complete_ = false;
    last_ = false;
  }
  while (consumed < in.size() || (in_fragment_ && fragment_left_ == 0)) {
    if (!in_fragment_) {
      const std::size_t take = std::min(kRecordMarkSize - mark_filled_, in.size() - consumed);
      std::copy_n(in.data() + consumed, take, mark_ + mark_filled_);
      mark_filled_ += take;
      consumed += take;
      if (mark_filled_ < kRecordMarkSize) return State::kNeedMore;
      const FragmentHeader header = parse_fragment_header(mark_);
      if (header.length > max_record_ - std::min(max_record_, record_.size())) {
        return State::kTooLarge;
      }
      mark_filled_ = 0;
      in_fragment_ = true;
      fragment_left_ = header.length;
      last_ = header.last;
      continue;
    }
    const std::size_t take = std::min(fragment_left_, in.size() - consumed);
    record_.insert(record_.end(), in.data() + consumed, in.data() + consumed + take);
    consumed += take;
    fragment_left_ -= take;
    if (fragment_left_ > 0) return State::kNeedMore;
    in_fragment_ = false;
    if (last_) {
      complete_ = true;
      return State::kComplete;
    }
  }
  return State::kNeedMore;
}

void encode_call_header(XdrWriter& out, const CallHeader& call) {
  out.u32(call.xid);
  out.u32(static_cast<std::uint32_t>(MessageType::kCall));
  out.u32(kRpcVersion);
  out.u32(call.program);
  out.u32(call.version);
  out.u32(call.procedure);
  for (int i = 0; i < 2; ++i) {  // credential, verifier: AUTH_NONE, empty body
    out.u32(0);
    out.u32(0);
  }
}

namespace {

bool skip_auth(XdrReader& in) {
  std::uint32_t flavor = 0;
  Bytes body;
  return in.u32(flavor) && in.opaque(body, kMaxAuthBody);
}

}  // namespace

CallCheck decode_call_header(XdrReader& in, CallHeader& call) {
  std::uint32_t type = 0;
  std::uint32_t version = 0;
  if (!in.u32(call.xid) || !in.u32(type)) return CallCheck::kGarbage;
  if (type != static_cast<std::uint32_t>(MessageType::kCall)) return CallCheck::kNotCall;
  if (!in.u32(version)) return CallCheck::kGarbage;
  if (version != kRpcVersion) return CallCheck::kRpcMismatch;
  if (!in.u32(call.program) || !in.u32(call.version) || !in.u32(call.procedure) || !skip_auth(in) ||
      !skip_auth(in)) {
    return CallCheck::kGarbage;
  }
  return CallCheck::kOk;
}

void encode_accepted_reply(XdrWriter& out, std::uint32_t xid, AcceptStat stat, std::uint32_t low,
                           std::uint32_t high) {
  out.u32(xid);
  out.u32(static_cast<std::uint32_t>(MessageType::kReply));
  out.u32(static_cast<std::uint32_t>(ReplyStat::kAccepted));
  out.u32(0);  // verifier: AUTH_NONE, empty
  out.u32(0);
  out.u32(static_cast<std::uint32_t>(stat));
  if (stat == AcceptStat::kProgMismatch) {
    out.u32(low);
    out.u32(high);
  }
}

void encode_denied_reply(XdrWriter& out, std::uint32_t xid, RejectStat stat,
                         std::uint32_t low_or_auth, std::uint32_t high) {
  out.u32(xid);
  out.u32(static_cast<std::uint32_t>(MessageType::kReply));
  out.u32(static_cast<std::uint32_t>(ReplyStat::kDenied));
  out.u32(static_cast<std::uint32_t>(stat));
  out.u32(low_or_auth);
  if (stat == RejectStat::kRpcMismatch) out.u32(high);
}

bool decode_reply_header(XdrReader& in, ReplyHeader& reply) {
  std::uint32_t type = 0;
  std::uint32_t stat = 0;
  if (!in.u32(reply.xid) || !in.u32(type) ||
      type != static_cast<std::uint32_t>(MessageType::kReply) || !in.u32(stat)) {
    return false;
  }
  if (stat == static_cast<std::uint32_t>(ReplyStat::kDenied)) {
    reply.reply = ReplyStat::kDenied;
    std::uint32_t reject = 0;
    if (!in.u32(reject)) return false;
    if (reject == static_cast<std::uint32_t>(RejectStat::kRpcMismatch)) {
      reply.reject = RejectStat::kRpcMismatch;
      return in.u32(reply.low) && in.u32(reply.high);
    }
    if (reject != static_cast<std::uint32_t>(RejectStat::kAuthError)) return false;
    reply.reject = RejectStat::kAuthError;
    return in.u32(reply.auth_stat);
  }
  if (stat != static_cast<std::uint32_t>(ReplyStat::kAccepted)) return false;
  reply.reply = ReplyStat::kAccepted;
  std::uint32_t accept = 0;
  if (!skip_auth(in) || !in.u32(accept)) return false;
  if (accept > static_cast<std::uint32_t>(AcceptStat::kSystemErr)) return false;
  reply.accept = static_cast<AcceptStat>(accept);
  if (reply.accept == AcceptStat::kProgMismatch) return in.u32(reply.low) && in.u32(reply.high);
  return true;
}

void begin_record(std::vector<std::uint8_t>& out) {
  out.assign(kRecordMarkSize, 0);
}

void finish_record(std::vector<std::uint8_t>& out) {
  put_fragment_header(
      out.data(), {true, static_cast<std::uint32_t>(out.size() - kRecordMarkSize) & kMaxFragment});
}

}  // namespace zr48::wire::rpc
