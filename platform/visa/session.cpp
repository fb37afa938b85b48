// I/O session operations: raw reads and writes, buffer flushing and sizing, and the glue
// between the formatted-I/O parsers and the session's buffers.
#include "visa/session.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string_view>
#include <utility>

#include "visa/formatted_print.h"
#include "visa/formatted_scan.h"
#include "visa/trace.h"
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
        const ViStatus status = session_.send_full_buffer(deadline_);
        if (status < 0) return status;
      }
    }
    return VI_SUCCESS;
  }

  ViStatus end_of_message() override { return session_.send_pending(deadline_, true); }

 private:
  Session& session_;
  const Deadline& deadline_;
  std::string* traced_;
};

// Formatted reads take bytes from the read buffer, refilling it from the transport until the
// termination character or the byte carrying END has been consumed (the end of the message).
class SessionScanSource final : public ScanSource {
 public:
  SessionScanSource(Session& session, const Deadline& deadline, std::string* traced)
      : session_(session), deadline_(deadline), traced_(traced) {}

  int peek() override {
    if (ended_ || failure_ < 0) return -1;
    while (session_.input_.empty()) {
      if (session_.input_end_) {  // an empty message
        session_.input_end_ = false;
        if (session_.settings_.suppress_end == VI_FALSE) {
          ended_ = true;
          return -1;
        }
      }
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
    if (session_.input_.empty() && session_.input_end_) {
      session_.input_end_ = false;
      ended_ = ended_ || session_.settings_.suppress_end == VI_FALSE;
    }
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

Session::Session(ResourceName name, const TransportRow& row, std::unique_ptr<Transport> transport,
                 ViSession resource_manager)
    : Object(kKind),
      name_(std::move(name)),
      row_(row),
      transport_(std::move(transport)),
      resource_manager_(resource_manager),
      settings_(row.defaults),
      resource_lock_(ResourceLock::of(name_)) {
  // Every session has exceptions (for handlers only) and I/O completion.
  std::vector<ViEventType> types = {VI_EVENT_EXCEPTION, VI_EVENT_IO_COMPLETION};
  if (transport_ != nullptr && transport_->has_service_requests()) {
    types.push_back(VI_EVENT_SERVICE_REQ);
  }
  events_ = std::make_shared<EventCenter>(VI_NULL, types);
  jobs_ = std::make_unique<AsyncJobs>(
      [this](bool read, ViBuf buffer, ViUInt32 count, const Cancellation& cancellation,
             ViUInt32& returned) {
        return read ? this->read(buffer, count, returned, &cancellation)
                    : this->write(buffer, count, returned, &cancellation);
      },
      *events_);
}

Session::~Session() {
  jobs_->close();
  events_->close();
  resource_lock_->release_all(this);
}

ViStatus Session::enable_event(ViEventType type, ViUInt16 mechanism) {
  const ViStatus status = events_->enable(type, mechanism);
  if (status == VI_ERROR_INV_EVENT && type == VI_EVENT_SERVICE_REQ) {
    const std::lock_guard lock(mutex_);
    const std::string why = transport_ != nullptr ? transport_->service_requests_missing() : "";
    if (!why.empty()) trace::note("viEnableEvent", VI_NULL, status, why);
    return status;
  }
  if (status < 0 || type != VI_EVENT_SERVICE_REQ) return status;
  const std::lock_guard lock(mutex_);
  if (closed_) return VI_ERROR_INV_OBJECT;
  if (service_requests_started_) return status;
  const ViStatus started = transport_->start_service_requests(
      [center = std::weak_ptr<EventCenter>(events_)] {
        if (auto events = center.lock()) events->post({VI_EVENT_SERVICE_REQ});
      },
      deadline());
  if (started < 0) {
    events_->disable(type, VI_ALL_MECH);
    return note(started);
  }
  service_requests_started_ = true;
  return status;
}

ViStatus Session::read_async(ViBuf buffer, ViUInt32 count, ViJobId& job) {
  if (buffer == nullptr) return VI_ERROR_USER_BUF;
  if (const ViStatus locked = access(); locked != VI_SUCCESS) return locked;
  return jobs_->submit(true, buffer, count, job);
}

ViStatus Session::write_async(ViBuf buffer, ViUInt32 count, ViJobId& job) {
  if (buffer == nullptr) return VI_ERROR_USER_BUF;
  if (const ViStatus locked = access(); locked != VI_SUCCESS) return locked;
  return jobs_->submit(false, buffer, count, job);
}

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
  Received received;
  const ReadTermination termination{settings_.termchar_enabled == VI_TRUE, settings_.termchar};
  const ViStatus status =
      transport_->receive(space, input_.space_size(), termination, deadline, received);
  input_.commit(received.size);
  input_end_ = received.end == ReadEnd::kEnd;
  return note(status);
}

void Session::drop_input() {
  input_.clear();
  input_end_ = false;
}

ViStatus Session::send_pending(const Deadline& deadline, bool end) {
  if (output_.empty()) return VI_SUCCESS;
  const ViStatus state = usable();
  if (state != VI_SUCCESS) {
    output_.clear();
    return state;
  }
  std::size_t sent = 0;
  const bool with_end = end && settings_.send_end == VI_TRUE;
  const ViStatus status =
      transport_->send(output_.data(), output_.size(), with_end, deadline, sent);
  output_.clear();  // sent, or dropped after a failure as VISA does after a time-out
  return note(status);
}

ViStatus Session::send_full_buffer(const Deadline& deadline) {
  if (!can(kCarriesEnd) || output_.size() < 2) return send_pending(deadline, false);
  const ViStatus state = usable();
  if (state != VI_SUCCESS) {
    output_.clear();
    return state;
  }
  const std::size_t size = output_.size() - 1;
  std::size_t sent = 0;
  const ViStatus status = transport_->send(output_.data(), size, false, deadline, sent);
  if (status < 0) {
    output_.clear();
  } else {
    output_.consume(size);
  }
  return note(status);
}

// Drops what is buffered and what the connection holds already. A lost link found here is noted
// and left for the next send or receive to report: discarding only drops bytes.
ViStatus Session::discard_input() {
  drop_input();
  if (closed_ || connection_lost_) return VI_SUCCESS;
  const ViStatus status = note(transport_->discard_ready());
  return status == VI_ERROR_CONN_LOST ? VI_SUCCESS : status;
}

// A socket has no message boundary of its own: after a read that stopped at its count, the rest
// of that message may still be on its way. It is read and dropped up to its terminator (within
// the time-out), so that it is never taken for the answer to the next query.
ViStatus Session::discard_rest_of_message(const Deadline& deadline) {
  inside_message_ = false;
  const ViByte termchar = settings_.termchar;
  for (;;) {
    const void* end = std::memchr(input_.data(), termchar, input_.size());
    drop_input();
    if (end != nullptr) return discard_input();
    const ViStatus status = fill(deadline);
    if (status == VI_ERROR_CONN_LOST) return VI_SUCCESS;  // the next send or receive says so
    if (status < 0) return status;
  }
}

ViStatus Session::flush_read_buffer(const Deadline& deadline) {
  if (inside_message_) return discard_rest_of_message(deadline);
  const ViByte termchar = settings_.termchar;
  const bool by_termchar = settings_.termchar_enabled == VI_TRUE;
  const bool knowable = by_termchar || can(kCarriesEnd);
  const bool mid_message =
      knowable && !input_.empty() && !input_end_ && !(by_termchar && input_.back() == termchar);
  // Only the buffer: a reply still in the connection has not been read into it, and dropping it
  // would depend on whether it happened to have arrived yet.
  if (!mid_message) {
    drop_input();
    return VI_SUCCESS;
  }
  // The buffer held part of a message: read on and drop it up to its end.
  for (;;) {
    drop_input();
    const ViStatus status = fill(deadline);
    if (status < 0) return status;
    const bool end = input_end_ || (by_termchar &&
                                    std::memchr(input_.data(), termchar, input_.size()) != nullptr);
    if (end) {
      drop_input();
      return VI_SUCCESS;
    }
  }
}

ViStatus Session::drop_abandoned_message(const Deadline& deadline) {
  const bool by_termchar = settings_.termchar_enabled == VI_TRUE;
  if (!by_termchar && !can(kCarriesEnd)) {
    abandoned_message_ = false;
    return discard_input();
  }
  const ViByte termchar = settings_.termchar;
  for (;;) {
    const auto* hit =
        by_termchar
            ? static_cast<const ViByte*>(std::memchr(input_.data(), termchar, input_.size()))
            : nullptr;
    if (hit != nullptr) {  // what follows the terminator is the next message's
      input_.consume(static_cast<std::size_t>(hit - input_.data()) + 1);
      if (input_.empty()) input_end_ = false;
      abandoned_message_ = false;
      return VI_SUCCESS;
    }
    const bool ended = input_end_;
    drop_input();
    if (ended) {
      abandoned_message_ = false;
      return VI_SUCCESS;
    }
    const ViStatus status = fill(deadline);
    if (status == VI_ERROR_ABORT) return status;
    if (status < 0) {
      abandoned_message_ = false;  // its rest did not come: nothing more to wait for
      drop_input();
      return status == VI_ERROR_TMO ? VI_SUCCESS : status;
    }
  }
}

ViStatus Session::read(ViByte* buffer, ViUInt32 count, ViUInt32& returned,
                       const Cancellation* cancellation) {
  const std::lock_guard lock(mutex_);
  returned = 0;
  if (const ViStatus state = permitted(); state != VI_SUCCESS) return state;
  const bool continued = inside_message_;
  inside_message_ = false;
  const Deadline limit = deadline().cancelled_by(cancellation);
  if (abandoned_message_) {
    const ViStatus dropped = drop_abandoned_message(limit);
    if (dropped < 0) return dropped;
  }
  const bool stop_at_termchar = settings_.termchar_enabled == VI_TRUE;
  for (;;) {
    // Bytes already buffered (also those left by viScanf) are served first.
    const ViByte* hit = nullptr;
    if (!input_.empty() && returned < count) {
      std::size_t take = std::min<std::size_t>(input_.size(), count - returned);
      if (stop_at_termchar) {
        hit = static_cast<const ViByte*>(std::memchr(input_.data(), settings_.termchar, take));
      }
      if (hit != nullptr) take = static_cast<std::size_t>(hit - input_.data()) + 1;
      std::memcpy(buffer + returned, input_.data(), take);
      input_.consume(take);
      returned += static_cast<ViUInt32>(take);
    }
    // END (with the last byte taken, or an empty message) wins over the termination character
    // and the count.
    if (input_.empty() && input_end_) {
      input_end_ = false;
      if (settings_.suppress_end == VI_FALSE) return VI_SUCCESS;
    }
    if (hit != nullptr) return VI_SUCCESS_TERM_CHAR;
    if (returned == count) {
      // Without END from the transport, only the terminator tells where the message ends.
      inside_message_ = stop_at_termchar && count > 0 && !can(kCarriesEnd);
      return VI_SUCCESS_MAX_CNT;
    }
    const ViStatus status = fill(limit);
    // `returned` counts what arrived before the failure. Cut short after part of a message,
    // the read leaves its rest to be dropped.
    if (status == VI_ERROR_ABORT && (returned > 0 || continued || !input_.empty())) {
      abandoned_message_ = true;
    }
    if (status < 0) return status;
  }
}

ViStatus Session::write(const ViByte* buffer, ViUInt32 count, ViUInt32& returned,
                        const Cancellation* cancellation) {
  const std::lock_guard lock(mutex_);
  returned = 0;
  ViStatus state = usable();
  if (state == VI_SUCCESS) state = access();
  if (state != VI_SUCCESS) return state;
  const Deadline limit = deadline().cancelled_by(cancellation);
  // Before a new query goes out, so that what is dropped can only be the old reply's rest.
  if (abandoned_message_) {
    const ViStatus dropped = drop_abandoned_message(limit);
    if (dropped < 0) return dropped;
  }
  // Formatted bytes still waiting go first, so that nothing is reordered.
  const ViStatus pending = send_pending(limit, false);
  if (pending < 0) return pending;
  std::size_t sent = 0;
  const ViStatus status =
      note(transport_->send(buffer, count, settings_.send_end == VI_TRUE, limit, sent));
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
  if (const ViStatus state = permitted(); state != VI_SUCCESS) return state;
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
    if (abandoned_message_) keep_first_error(drop_abandoned_message(limit));
    keep_first_error(inside_message_ ? discard_rest_of_message(limit) : discard_input());
  }
  if ((mask & VI_WRITE_BUF) != 0) keep_first_error(send_pending(limit, true));
  if ((mask & VI_READ_BUF) != 0) keep_first_error(flush_read_buffer(limit));
  // VI_IO_OUT_BUF(_DISCARD): nothing is held below the write buffer; sends are immediate.
  return result;
}

ViStatus Session::set_buffer(ViUInt16 mask, ViUInt32 size) {
  constexpr ViUInt16 kKnown = VI_READ_BUF | VI_WRITE_BUF | VI_IO_IN_BUF | VI_IO_OUT_BUF;
  constexpr ViUInt32 kLargest = 1U << 24;
  if (mask == 0 || (mask & ~kKnown) != 0) return VI_ERROR_INV_MASK;
  if (size == 0) return VI_ERROR_INV_PARAMETER;
  if (size > kLargest) return VI_ERROR_ALLOC;

  const std::lock_guard lock(mutex_);
  if (const ViStatus state = permitted(); state != VI_SUCCESS) return state;
  try {
    if ((mask & VI_READ_BUF) != 0) {
      drop_input();
      input_.resize(size);
    }
    if ((mask & VI_WRITE_BUF) != 0) {
      const ViStatus status = send_pending(deadline(), true);
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
  if (status == VI_SUCCESS) status = access();
  if (status != VI_SUCCESS) return status;
  const Deadline limit = deadline();
  if (abandoned_message_) {
    status = drop_abandoned_message(limit);
    if (status < 0) return status;
  }
  SessionPrintSink sink(*this, limit, traced);
  status = format_print(sink, format, args);
  if (status >= 0 && settings_.write_mode == VI_FLUSH_ON_ACCESS) status = send_pending(limit, true);
  if (status < 0) output_.clear();
  return status;
}

ViStatus Session::scan(const char* format, va_list args, std::string* traced) {
  ViStatus status = check_scan_format(format);
  if (status != VI_SUCCESS) return status;
  const std::lock_guard lock(mutex_);
  if (const ViStatus state = permitted(); state != VI_SUCCESS) return state;
  const Deadline limit = deadline();
  inside_message_ = false;  // the scan reads on from here and ends the message its own way
  if (abandoned_message_) {
    status = drop_abandoned_message(limit);
    if (status < 0) return status;
  }
  SessionScanSource source(*this, limit, traced);
  status = format_scan(source, format, args);
  if (status >= 0 && source.failure() < 0) status = source.failure();
  if (status == VI_ERROR_TMO) drop_input();
  if (settings_.read_mode == VI_FLUSH_ON_ACCESS && status >= 0) {
    // The rest of the reply is dropped. When its end is not in the buffer yet, so is whatever
    // of it the socket already holds.
    const bool end_buffered =
        source.ended() || input_end_ ||
        (settings_.termchar_enabled != VI_TRUE && !can(kCarriesEnd)) ||
        (settings_.termchar_enabled == VI_TRUE &&
         std::memchr(input_.data(), settings_.termchar, input_.size()) != nullptr);
    drop_input();
    if (!end_buffered && !connection_lost_) discard_input();
  }
  return status;
}

ViStatus Session::clear() {
  if (!can(kCanClear)) return VI_ERROR_NSUP_OPER;
  const std::lock_guard lock(mutex_);
  ViStatus state = usable();
  if (state == VI_SUCCESS) state = access();
  if (state != VI_SUCCESS) return state;
  // A device clear empties both formatted buffers, unsent bytes included, and the instrument
  // drops any reply still unread.
  drop_input();
  output_.clear();
  abandoned_message_ = false;
  return note(transport_->clear(deadline()));
}

ViStatus Session::read_status_byte(ViUInt16& status) {
  if (!can(kCanReadStatusByte)) return VI_ERROR_NSUP_OPER;
  const std::lock_guard lock(mutex_);
  ViStatus state = usable();
  if (state == VI_SUCCESS) state = access();
  if (state != VI_SUCCESS) return state;
  return note(transport_->read_status_byte(deadline(), status));
}

ViStatus Session::trigger() {
  if (!can(kCanTrigger)) return VI_ERROR_NSUP_OPER;
  const std::lock_guard lock(mutex_);
  ViStatus state = usable();
  if (state == VI_SUCCESS) state = access();
  if (state != VI_SUCCESS) return state;
  return note(transport_->trigger(deadline()));
}

namespace {

// The I/O time-out and the lock time-out together bound a lock request.
Deadline lock_deadline(ViUInt32 lock_timeout_ms, ViUInt32 io_timeout_ms) {
  if (lock_timeout_ms == VI_TMO_INFINITE || io_timeout_ms == VI_TMO_INFINITE) {
    return Deadline::after_ms(VI_TMO_INFINITE);
  }
  const ViUInt64 sum = ViUInt64{lock_timeout_ms} + io_timeout_ms;
  return Deadline::after_ms(sum >= VI_TMO_INFINITE ? VI_TMO_INFINITE - 1
                                                   : static_cast<ViUInt32>(sum));
}

void copy_key(const std::string& key, char* out) {
  if (out == nullptr) return;
  const std::size_t n = std::min<std::size_t>(key.size(), 255);
  std::memcpy(out, key.data(), n);
  out[n] = '\0';
}

// What is left of the lock's time-out once the process has granted the lock, for the device's
// own wait; all of it when the grant needed no wait.
ViUInt32 remaining_ms(const Deadline& wait) {
  const int left = wait.poll_timeout();
  return left < 0 ? VI_TMO_INFINITE : static_cast<ViUInt32>(left);
}

}  // namespace

ViStatus Session::lock_device(LockKind kind, std::string_view key, const Deadline& wait) {
  if (!locks_device(kind)) return VI_SUCCESS;
  const ViUInt32 left = remaining_ms(wait);
  return note(transport_->lock(kind, key, left, lock_deadline(left, settings_.timeout_ms)));
}

ViStatus Session::lock(ViAccessMode type, ViUInt32 timeout_ms, const char* requested_key,
                       char* key) {
  if (type != VI_EXCLUSIVE_LOCK && type != VI_SHARED_LOCK) return VI_ERROR_INV_LOCK_TYPE;
  const std::lock_guard guard(mutex_);
  const ViStatus state = usable();
  if (state != VI_SUCCESS) return state;
  const Deadline wait = Deadline::after_ms(timeout_ms);
  if (type == VI_EXCLUSIVE_LOCK) {
    if (exclusive_locks_ > 0) {
      ++exclusive_locks_;
      return VI_SUCCESS_NESTED_EXCLUSIVE;
    }
    ViStatus status = resource_lock_->acquire(this, LockKind::kExclusive, {}, wait);
    if (status != VI_SUCCESS) return status;
    status = lock_device(LockKind::kExclusive, {}, wait);
    if (status < 0) {
      resource_lock_->release(this, LockKind::kExclusive);
      return status;
    }
    exclusive_locks_ = 1;
    return status;
  }
  const std::string_view requested = requested_key != nullptr ? requested_key : "";
  if (requested.size() > 255) return VI_ERROR_INV_ACCESS_KEY;
  if (shared_locks_ > 0) {
    if (!requested.empty() && requested != shared_key_) return VI_ERROR_INV_ACCESS_KEY;
    ++shared_locks_;
    copy_key(shared_key_, key);
    return VI_SUCCESS_NESTED_SHARED;
  }
  std::string wanted = requested.empty() ? ResourceLock::new_key() : std::string(requested);
  ViStatus status = resource_lock_->acquire(this, LockKind::kShared, wanted, wait);
  if (status != VI_SUCCESS) return status;
  status = lock_device(LockKind::kShared, wanted, wait);
  if (status < 0) {
    resource_lock_->release(this, LockKind::kShared);
    return status;
  }
  shared_locks_ = 1;
  shared_key_ = std::move(wanted);
  copy_key(shared_key_, key);
  return status;
}

ViStatus Session::unlock() {
  const std::lock_guard guard(mutex_);
  if (closed_) return VI_ERROR_INV_OBJECT;
  // The exclusive lock goes first, as devices release theirs first.
  const LockKind kind = exclusive_locks_ > 0 ? LockKind::kExclusive : LockKind::kShared;
  unsigned& count = kind == LockKind::kExclusive ? exclusive_locks_ : shared_locks_;
  if (count == 0) return VI_ERROR_SESN_NLOCKED;
  if (count == 1) {
    // The device first, so that a session waiting in this process finds it free. A lost link
    // holds nothing.
    if (locks_device(kind) && usable() == VI_SUCCESS) {
      const ViStatus status = note(transport_->unlock(deadline()));
      if (status < 0 && status != VI_ERROR_CONN_LOST) return status;
    }
    resource_lock_->release(this, kind);
    if (kind == LockKind::kShared) shared_key_.clear();
  }
  --count;
  if (exclusive_locks_ > 0) return VI_SUCCESS_NESTED_EXCLUSIVE;
  return shared_locks_ > 0 ? VI_SUCCESS_NESTED_SHARED : VI_SUCCESS;
}

// Closing releases the session's locks; the device's go first, explicitly, so that a session
// waiting for them here finds the device free (a closed connection frees them too, but the
// device may notice that later).
void Session::release_device_locks() {
  if (exclusive_locks_ > 0 && locks_device(LockKind::kExclusive)) {
    note(transport_->unlock(deadline()));
  }
  if (shared_locks_ > 0 && locks_device(LockKind::kShared) && !connection_lost_) {
    note(transport_->unlock(deadline()));
  }
  exclusive_locks_ = 0;
  shared_locks_ = 0;
}

ViStatus Session::control_ren(ViUInt16 mode) {
  const std::lock_guard guard(mutex_);
  ViStatus state = usable();
  if (state == VI_SUCCESS) state = access();
  if (state != VI_SUCCESS) return state;
  return note(transport_->control_ren(mode, deadline()));
}

void Session::close() {
  events_->close();
  resource_lock_->cancel(this);  // ends a wait for a lock in progress
  {
    std::unique_lock lock(mutex_, std::try_to_lock);
    bool interrupted = false;
    if (!lock.owns_lock()) {
      if (transport_ != nullptr) transport_->interrupt();  // wakes an operation blocked in a wait
      interrupted = transport_ != nullptr;
      lock.lock();
    }
    closed_ = true;
    if (transport_ != nullptr && !connection_lost_) {
      if (!interrupted) release_device_locks();
      if (!connection_lost_) transport_->shutdown();
    }
    transport_.reset();
    exclusive_locks_ = 0;
    shared_locks_ = 0;
  }
  resource_lock_->release_all(this);
  jobs_->close();  // the running job has found the session closed
}

}  // namespace zr48::visa
