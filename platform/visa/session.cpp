// I/O session operations: raw reads and writes, buffer flushing and sizing, and the glue
// between the formatted-I/O parsers and the session's buffers.
#include "visa/session.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "visa/formatted_print.h"
#include "visa/formatted_scan.h"
#include "visa/visa.h"

namespace zr48::visa {

bool ResourceManager::adopt(ViSession session) {
  const std::lock_guard lock(mutex_);
  if (closed_) return false;
  sessions_.push_back(session);
  return true;
}

void ResourceManager::forget(ViSession session) {
  const std::lock_guard lock(mutex_);
  sessions_.erase(std::remove(sessions_.begin(), sessions_.end(), session), sessions_.end());
}

std::vector<ViSession> ResourceManager::release_all() {
  const std::lock_guard lock(mutex_);
  closed_ = true;
  return std::exchange(sessions_, {});
}

std::vector<ViSession> ResourceManager::sessions() {
  const std::lock_guard lock(mutex_);
  return sessions_;
}

// Formatted writes land in the write buffer; a full buffer or a line feed of the format
// (END) sends it.
class SessionPrintSink final : public PrintSink {
 public:
  SessionPrintSink(Session& session, const Deadline& deadline, std::string* traced)
      : session_(session), deadline_(deadline), traced_(traced) {}

  ViStatus append(const char* data, std::size_t size) override {
    if (traced_ != nullptr) traced_->append(data, size);
    while (size > 0) {
      const std::size_t stored = session_.output_.append(data, size);
      data += stored;
      size -= stored;
      if (session_.output_.full()) {
        const ViStatus status = session_.send_pending(deadline_);
        if (status < 0) return status;
      }
    }
    return VI_SUCCESS;
  }

  ViStatus end_of_message() override { return session_.send_pending(deadline_); }

 private:
  Session& session_;
  const Deadline& deadline_;
  std::string* traced_;
};

// Formatted reads take bytes from the read buffer, refilling it from the transport until the
// termination character has been consumed (the end of the message).
class SessionScanSource final : public ScanSource {
 public:
  SessionScanSource(Session& session, const Deadline& deadline, std::string* traced)
      : session_(session), deadline_(deadline), traced_(traced) {}

  int peek() override {
    if (ended_ || failure_ < 0) return -1;
    if (session_.input_.empty()) {
      failure_ = session_.fill(deadline_);
      if (failure_ < 0) return -1;
    }
    return session_.input_.front();
  }

  void advance() override {
    const ViByte byte = session_.input_.front();
    session_.input_.consume(1);
    if (traced_ != nullptr) traced_->push_back(static_cast<char>(byte));
    ended_ = session_.settings_.termchar_enabled == VI_TRUE && byte == session_.settings_.termchar;
  }

  bool ended() const { return ended_; }
  ViStatus failure() const { return failure_; }

 private:
  Session& session_;
  const Deadline& deadline_;
  std::string* traced_;
  bool ended_ = false;
  ViStatus failure_ = VI_SUCCESS;
};

Session::Session(ResourceName name, std::unique_ptr<Transport> transport,
                 ViSession resource_manager)
    : Object(kKind),
      name_(std::move(name)),
      transport_(std::move(transport)),
      resource_manager_(resource_manager) {}

int Session::native_handle() const {
  return transport_ != nullptr ? transport_->native_handle() : -1;
}

Deadline Session::deadline() const {
  return Deadline::after_ms(settings_.timeout_ms);
}

ViStatus Session::usable() const {
  if (closed_) return VI_ERROR_INV_OBJECT;
  return connection_lost_ ? VI_ERROR_CONN_LOST : VI_SUCCESS;
}

ViStatus Session::note(ViStatus status) {
  if (status == VI_ERROR_CONN_LOST) connection_lost_ = true;
  return status;
}

ViStatus Session::fill(const Deadline& deadline) {
  const ViStatus state = usable();
  if (state != VI_SUCCESS) return state;
  ViByte* space = input_.space();
  if (input_.space_size() == 0) return VI_ERROR_IO;  // callers drain the buffer first
  std::size_t received = 0;
  const ViStatus status = transport_->receive(space, input_.space_size(), deadline, received);
  input_.commit(received);
  return note(status);
}

ViStatus Session::send_pending(const Deadline& deadline) {
  if (output_.empty()) return VI_SUCCESS;
  const ViStatus state = usable();
  if (state != VI_SUCCESS) {
    output_.clear();
    return state;
  }
  std::size_t sent = 0;
  const ViStatus status = transport_->send(output_.data(), output_.size(), deadline, sent);
  output_.clear();  // sent, or dropped after a failure as VISA does after a time-out
  return note(status);
}

ViStatus Session::discard_input() {
  input_.clear();
  const ViStatus state = usable();
  if (state != VI_SUCCESS) return state;
  return note(transport_->discard_ready());
}

ViStatus Session::flush_read_buffer(const Deadline& deadline) {
  const ViByte termchar = settings_.termchar;
  const bool mid_message =
      settings_.termchar_enabled == VI_TRUE && !input_.empty() && input_.back() != termchar;
  if (!mid_message) return discard_input();
  // The buffer held part of a message: read on and drop it up to its end.
  for (;;) {
    input_.clear();
    const ViStatus status = fill(deadline);
    if (status < 0) return status;
    const bool end = std::memchr(input_.data(), termchar, input_.size()) != nullptr;
    if (end) {
      input_.clear();
      return VI_SUCCESS;
    }
  }
}

ViStatus Session::read(ViByte* buffer, ViUInt32 count, ViUInt32& returned) {
  const std::lock_guard lock(mutex_);
  returned = 0;
  if (closed_) return VI_ERROR_INV_OBJECT;
  const Deadline limit = deadline();
  const bool stop_at_termchar = settings_.termchar_enabled == VI_TRUE;
  for (;;) {
    // Bytes already buffered (also those left by viScanf) are served first.
    if (!input_.empty() && returned < count) {
      std::size_t take = std::min<std::size_t>(input_.size(), count - returned);
      const ViByte* hit =
          stop_at_termchar
              ? static_cast<const ViByte*>(std::memchr(input_.data(), settings_.termchar, take))
              : nullptr;
      if (hit != nullptr) take = static_cast<std::size_t>(hit - input_.data()) + 1;
      std::memcpy(buffer + returned, input_.data(), take);
      input_.consume(take);
      returned += static_cast<ViUInt32>(take);
      if (hit != nullptr) return VI_SUCCESS_TERM_CHAR;
    }
    if (returned == count) return VI_SUCCESS_MAX_CNT;
    const ViStatus status = fill(limit);
    if (status < 0) return status;  // `returned` counts what arrived before the failure
  }
}

ViStatus Session::write(const ViByte* buffer, ViUInt32 count, ViUInt32& returned) {
  const std::lock_guard lock(mutex_);
  returned = 0;
  const ViStatus state = usable();
  if (state != VI_SUCCESS) return state;
  const Deadline limit = deadline();
  // Formatted bytes still waiting go first, so that nothing is reordered.
  const ViStatus pending = send_pending(limit);
  if (pending < 0) return pending;
  std::size_t sent = 0;
  const ViStatus status = note(transport_->send(buffer, count, limit, sent));
  returned = static_cast<ViUInt32>(sent);
  return status;
}

ViStatus Session::flush(ViUInt16 mask) {
  constexpr ViUInt16 kPairs[][2] = {{VI_READ_BUF, VI_READ_BUF_DISCARD},
                                    {VI_WRITE_BUF, VI_WRITE_BUF_DISCARD},
                                    {VI_IO_IN_BUF, VI_IO_IN_BUF_DISCARD},
                                    {VI_IO_OUT_BUF, VI_IO_OUT_BUF_DISCARD}};
  if (mask == 0 || (mask & ~0xFFU) != 0) return VI_ERROR_INV_MASK;
  for (const auto& pair : kPairs) {
    if ((mask & pair[0]) != 0 && (mask & pair[1]) != 0) return VI_ERROR_INV_MASK;
  }

  const std::lock_guard lock(mutex_);
  if (closed_) return VI_ERROR_INV_OBJECT;
  const Deadline limit = deadline();
  ViStatus result = VI_SUCCESS;
  const auto keep_first_error = [&result](ViStatus status) {
    if (status < 0 && result >= 0) result = status;
  };
  if ((mask & VI_WRITE_BUF_DISCARD) != 0) output_.clear();
  // One receive buffer serves formatted and raw reads, so the I/O input masks act on it too.
  // Discarding also drops what the socket holds already, so that a stale reply cannot be
  // taken for the answer to the next query.
  if ((mask & (VI_READ_BUF_DISCARD | VI_IO_IN_BUF | VI_IO_IN_BUF_DISCARD)) != 0) {
    keep_first_error(discard_input());
  }
  if ((mask & VI_WRITE_BUF) != 0) keep_first_error(send_pending(limit));
  if ((mask & VI_READ_BUF) != 0) keep_first_error(flush_read_buffer(limit));
  // VI_IO_OUT_BUF(_DISCARD): nothing is held below the write buffer; sends are immediate.
  keep_first_error(usable());
  return result;
}

ViStatus Session::set_buffer(ViUInt16 mask, ViUInt32 size) {
  constexpr ViUInt16 kKnown = VI_READ_BUF | VI_WRITE_BUF | VI_IO_IN_BUF | VI_IO_OUT_BUF;
  constexpr ViUInt32 kLargest = 1U << 24;
  if (mask == 0 || (mask & ~kKnown) != 0) return VI_ERROR_INV_MASK;
  if (size == 0) return VI_ERROR_INV_PARAMETER;
  if (size > kLargest) return VI_ERROR_ALLOC;

  const std::lock_guard lock(mutex_);
  if (closed_) return VI_ERROR_INV_OBJECT;
  try {
    if ((mask & VI_READ_BUF) != 0) {
      input_.clear();
      input_.resize(size);
    }
    if ((mask & VI_WRITE_BUF) != 0) {
      const ViStatus status = send_pending(deadline());
      if (status < 0) return status;
      output_.resize(size);
    }
  } catch (const std::bad_alloc&) {
    return VI_ERROR_ALLOC;
  }
  // The socket's own buffers are the kernel's; their size is not ours to set.
  return (mask & (VI_IO_IN_BUF | VI_IO_OUT_BUF)) != 0 ? VI_WARN_NSUP_BUF : VI_SUCCESS;
}

ViStatus Session::print(const char* format, va_list args, std::string* traced) {
  va_list copy;
  va_copy(copy, args);
  const ViStatus status = print(format, &copy, traced);
  va_end(copy);
  return status;
}

ViStatus Session::print(const char* format, va_list* args, std::string* traced) {
  ViStatus status = check_print_format(format);
  if (status != VI_SUCCESS) return status;
  const std::lock_guard lock(mutex_);
  status = usable();
  if (status != VI_SUCCESS) return status;
  const Deadline limit = deadline();
  SessionPrintSink sink(*this, limit, traced);
  status = format_print(sink, format, args);
  if (status >= 0 && settings_.write_mode == VI_FLUSH_ON_ACCESS) status = send_pending(limit);
  if (status < 0) output_.clear();
  return status;
}

ViStatus Session::scan(const char* format, va_list args, std::string* traced) {
  ViStatus status = check_scan_format(format);
  if (status != VI_SUCCESS) return status;
  const std::lock_guard lock(mutex_);
  if (closed_) return VI_ERROR_INV_OBJECT;
  const Deadline limit = deadline();
  SessionScanSource source(*this, limit, traced);
  status = format_scan(source, format, args);
  if (status >= 0 && source.failure() < 0) status = source.failure();
  if (status == VI_ERROR_TMO) input_.clear();
  if (settings_.read_mode == VI_FLUSH_ON_ACCESS && status >= 0) {
    // The rest of the reply is dropped. When its end is not in the buffer yet, so is whatever
    // of it the socket already holds.
    const bool end_buffered =
        source.ended() || settings_.termchar_enabled != VI_TRUE ||
        std::memchr(input_.data(), settings_.termchar, input_.size()) != nullptr;
    input_.clear();
    if (!end_buffered && !connection_lost_) discard_input();
  }
  return status;
}

void Session::close() {
  if (transport_ != nullptr) transport_->interrupt();  // wakes an operation blocked in a wait
  const std::lock_guard lock(mutex_);
  closed_ = true;
  transport_.reset();
}

}  // namespace zr48::visa
