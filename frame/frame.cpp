#include "frame.h"

namespace zr48 {

ViStatus record_error(ViSession vi, ViStatus status) noexcept {
  if (status < 0) (void)Ivi_SetErrorInfo(vi, VI_FALSE, status, VI_SUCCESS, VI_NULL);
  return status;
}

ViStatus record_parameter_error(ViSession vi, ViInt32 position, const char* message) noexcept {
  (void)Ivi_SetErrorInfo(vi, VI_FALSE, IVI_ERROR_INVALID_PARAMETER,
                         Ivi_ParamPositionError(position), message);
  return IVI_ERROR_INVALID_PARAMETER;
}

Exchange& Exchange::finish(ViStatus status, policy::Steps step) noexcept {
  status = normalise(status);
  if (status < 0) {
    status_ = status;
    if ((row_.recorded & step) != 0) record_error(vi_, status);
  }
  return *this;
}

Exchange& Exchange::then(ViStatus status) noexcept {
  if (!ok()) return *this;
  return finish(status, policy::kNothing);
}

Exchange& Exchange::discard_buffers() noexcept {
  if (!ok()) return *this;
  return finish(visa_->flush(io_, kDiscardBoth), policy::kFlush);
}

Exchange& Exchange::select_channel(const char* channel) noexcept {
  if (!ok()) return *this;
  return finish(
      visa_calls::formatted(visa_->vprintf, io_, "INST %s\n", channel != nullptr ? channel : ""),
      policy::kNothing);
}

Exchange& Exchange::send(const char* format, const char* text) noexcept {
  if (!ok()) return *this;
  return finish(visa_calls::formatted(visa_->vprintf, io_, format, text != nullptr ? text : ""),
                policy::kWrite);
}

Exchange& Exchange::write(ViConstBuf bytes, ViUInt32 size, ViUInt32 selection_size) noexcept {
  if (!ok()) return *this;
  ViUInt32 written = 0;
  const ViStatus status = visa_->write(io_, bytes, size, &written);
  // Only a write that got past the selection's bytes failed on the command.
  const bool past_selection = selection_size == 0 || written > selection_size;
  return finish(status, past_selection ? policy::kWrite : policy::kNothing);
}

Exchange& Exchange::read_word(ViChar* word) noexcept {
  if (!ok()) return *this;
  return finish(visa_calls::formatted(visa_->vscanf, io_, kWordFormat, word), policy::kRead);
}

Exchange& Exchange::read_raw(Reply& reply) noexcept {
  if (!ok()) return *this;
  reply.count = 0;
  const ViStatus status =
      visa_->read(io_, reinterpret_cast<ViPBuf>(reply.text), kReplyMaxRead, &reply.count);
  // Whatever arrived is terminated, also after a failed read.
  reply.text[reply.count < kReplyMaxRead ? reply.count : kReplyMaxRead] = '\0';
  return finish(status, policy::kRead);
}

}  // namespace zr48
