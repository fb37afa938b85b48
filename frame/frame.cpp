#include "frame.h"

namespace zr48 {

ViStatus RecordError(ViSession vi, ViStatus status) noexcept {
  if (status < 0) (void)Ivi_SetErrorInfo(vi, VI_FALSE, status, VI_SUCCESS, VI_NULL);
  return status;
}

ViStatus RecordParameterError(ViSession vi, ViInt32 position, const char* message) noexcept {
  (void)Ivi_SetErrorInfo(vi, VI_FALSE, IVI_ERROR_INVALID_PARAMETER,
                         Ivi_ParamPositionError(position), message);
  return IVI_ERROR_INVALID_PARAMETER;
}

Exchange& Exchange::Finish(ViStatus status, Record record) noexcept {
  status = Normalise(status);
  if (status < 0) {
    status_ = status;
    if (record == Record::kYes) RecordError(vi_, status);
  }
  return *this;
}

Exchange& Exchange::Then(ViStatus status) noexcept {
  if (!ok()) return *this;
  return Finish(status, Record::kNo);
}

Exchange& Exchange::MarkStatusUnchecked() noexcept {
  if (!ok()) return *this;
  return Finish(Ivi_SetNeedToCheckStatus(vi_, VI_TRUE), Record::kNo);
}

Exchange& Exchange::DiscardBuffers(Record record) noexcept {
  if (!ok()) return *this;
  return Finish(visa_->flush(io_, kDiscardBoth), record);
}

Exchange& Exchange::Send(const char* format, const char* text, Record record) noexcept {
  if (!ok()) return *this;
  return Finish(visa_calls::formatted(visa_->vprintf, io_, format, text != nullptr ? text : ""),
                record);
}

Exchange& Exchange::ReadWord(ViChar* word, Record record) noexcept {
  if (!ok()) return *this;
  return Finish(visa_calls::formatted(visa_->vscanf, io_, kWordFormat, word), record);
}

Exchange& Exchange::ReadRaw(Reply& reply, Record record) noexcept {
  if (!ok()) return *this;
  reply.count = 0;
  const ViStatus status =
      visa_->read(io_, reinterpret_cast<ViPBuf>(reply.text), kReplyMaxRead, &reply.count);
  // Whatever arrived is terminated, also after a failed read.
  reply.text[reply.count < kReplyMaxRead ? reply.count : kReplyMaxRead] = '\0';
  return Finish(status, record);
}

}  // namespace zr48
