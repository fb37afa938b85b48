// The objects behind VISA handles: resource-manager sessions and I/O sessions.
#ifndef ZR48_PLATFORM_VISA_SESSION_H
#define ZR48_PLATFORM_VISA_SESSION_H

#include <cstdarg>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "visa/async_jobs.h"
#include "visa/byte_buffer.h"
#include "visa/events.h"
#include "visa/object.h"
#include "visa/resource_lock.h"
#include "visa/resource_name.h"
#include "visa/transport.h"
#include "visa/transport_table.h"
#include "zr48_visatype.h"

namespace zr48::visa {

// A resource-manager session remembers the sessions opened through it, to close them with it.
class ResourceManager final : public Object {
 public:
  static constexpr ObjectKind kKind = ObjectKind::kResourceManager;
  ResourceManager() : Object(kKind) {}

  // False once the manager is closed: the new session must then be closed again.
  bool adopt(ViSession session);
  void forget(ViSession session);
  // Marks the manager closed and hands over the sessions still open.
  std::vector<ViSession> release_all();
  // The sessions open through this manager now.
  std::vector<ViSession> sessions();

 private:
  std::mutex mutex_;
  std::vector<ViSession> sessions_;
  bool closed_ = false;
  std::shared_ptr<EventCenter> events_;
  std::unique_ptr<AsyncJobs> jobs_;
};

// Per-session settings (VISA attributes the session itself keeps); the transport's row gives
// the termination and END defaults.
struct SessionSettings {
  explicit SessionSettings(const SessionDefaults& defaults)
      : termchar_enabled(defaults.termchar_enabled),
        suppress_end(defaults.suppress_end),
        send_end(defaults.send_end) {}

  ViUInt32 timeout_ms = 2000;
  ViUInt8 termchar = '\n';
  ViBoolean termchar_enabled;
  ViBoolean suppress_end;
  ViBoolean send_end;
  ViUInt16 read_mode = 3;   // VI_FLUSH_DISABLE
  ViUInt16 write_mode = 2;  // VI_FLUSH_WHEN_FULL
};

class Session final : public Object {
 public:
  static constexpr ObjectKind kKind = ObjectKind::kSession;
  static constexpr std::size_t kDefaultBufferSize = 4096;

  Session(ResourceName name, const TransportRow& row, std::unique_ptr<Transport> transport,
          ViSession resource_manager);
  ~Session() override;

  ViSession resource_manager() const { return resource_manager_; }
  int native_handle() const;

  // `cancellation` (an asynchronous job's) ends the transfer early with VI_ERROR_ABORT at its
  // next wait, `returned` counting the bytes moved so far. A read cut short inside a message
  // leaves the rest of that message to be dropped before the next transfer.
  ViStatus read(ViByte* buffer, ViUInt32 count, ViUInt32& returned,
                const Cancellation* cancellation = nullptr);
  ViStatus write(const ViByte* buffer, ViUInt32 count, ViUInt32& returned,
                 const Cancellation* cancellation = nullptr);
  ViStatus flush(ViUInt16 mask);
  ViStatus set_buffer(ViUInt16 mask, ViUInt32 size);
  // `traced` receives the bytes formatted or consumed, when tracing is on (else nullptr).
  ViStatus print(const char* format, va_list args, std::string* traced);
  // As print, leaving `args` past the arguments used.
  ViStatus print(const char* format, va_list* args, std::string* traced);
  ViStatus scan(const char* format, va_list args, std::string* traced);
  ViStatus get_attribute(ViAttr attribute, void* value);
  ViStatus set_attribute(ViAttr attribute, ViAttrState value);

  // Optional operations: VI_ERROR_NSUP_OPER where the transport's row lacks them.
  ViStatus clear();
  ViStatus read_status_byte(ViUInt16& status);
  ViStatus trigger();
  // VISA locks (resource_lock.h), nesting per session: the first lock of a kind is taken in the
  // process's record of the resource, waiting up to `timeout_ms`, then on the device where the
  // transport has a lock of that kind; the last unlock of a kind releases both. `key` receives
  // the shared lock's access key (at most 255 characters and a NUL).
  ViStatus lock(ViAccessMode type, ViUInt32 timeout_ms, const char* requested_key, char* key);
  ViStatus unlock();
  // VI_ATTR_RSRC_LOCK_STATE: how the resource is locked in this process.
  ViAccessMode lock_state() const { return resource_lock_->state(); }
  // Remote/local (viGpibControlREN); each transport maps the modes its protocol has.
  ViStatus control_ren(ViUInt16 mode);

  // Events: the session's event center; enabling VI_EVENT_SERVICE_REQ the first time starts
  // the transport's service requests.
  EventCenter& events() { return *events_; }
  ViStatus enable_event(ViEventType type, ViUInt16 mechanism);
  // Asynchronous I/O: `buffer` must stay valid until the job's completion event.
  ViStatus read_async(ViBuf buffer, ViUInt32 count, ViJobId& job);
  ViStatus write_async(ViBuf buffer, ViUInt32 count, ViJobId& job);
  ViStatus terminate(ViJobId job) { return jobs_->terminate(job); }

  // Wakes any operation in progress on another thread, waits for it, and closes the transport;
  // ends event waits and handlers and the asynchronous jobs.
  // Later operations return VI_ERROR_INV_OBJECT.
  void close();

 private:
  friend class SessionPrintSink;
  friend class SessionScanSource;
  friend struct AttributeTable;

  ViStatus usable() const;
  // Whether another session's lock keeps this one out: VI_SUCCESS or VI_ERROR_RSRC_LOCKED.
  ViStatus access() const { return resource_lock_->check_access(this); }
  // The session is open and no other session's lock keeps it out.
  ViStatus permitted() const { return closed_ ? VI_ERROR_INV_OBJECT : access(); }
  // Whether the device has its own lock of `kind` (taken after the process's record grants it).
  bool locks_device(LockKind kind) const {
    return can(kind == LockKind::kExclusive ? kLocksDevice : kSharesDeviceLock);
  }
  ViStatus lock_device(LockKind kind, std::string_view key, const Deadline& wait);
  void release_device_locks();
  ViStatus note(ViStatus status);
  ViStatus fill(const Deadline& deadline);
  // Sends the write buffer; `end` marks the end of a message (END when VI_ATTR_SEND_END_EN).
  ViStatus send_pending(const Deadline& deadline, bool end);
  // Sends a full write buffer; where messages carry END, all but its last byte, so that a
  // later flush carries the END.
  ViStatus send_full_buffer(const Deadline& deadline);
  void drop_input();
  bool can(Capability capability) const { return (row_.capabilities & capability) != 0; }
  ViStatus discard_input();
  ViStatus discard_rest_of_message(const Deadline& deadline);
  ViStatus flush_read_buffer(const Deadline& deadline);
  // Drops the rest of the message a cut-short read had begun, up to its end (END, or the
  // termination character where that is on); where nothing marks the end, what has arrived.
  // A time-out gives up on it; a cancellation leaves it for the next try.
  ViStatus drop_abandoned_message(const Deadline& deadline);
  Deadline deadline() const;

  std::mutex mutex_;  // one operation at a time
  const ResourceName name_;
  const TransportRow& row_;
  std::unique_ptr<Transport> transport_;
  const ViSession resource_manager_;
  SessionSettings settings_;
  ByteBuffer input_{kDefaultBufferSize};
  ByteBuffer output_{kDefaultBufferSize};
  bool input_end_ = false;  // the last byte in input_ came with END
  std::shared_ptr<ResourceLock> resource_lock_;
  unsigned exclusive_locks_ = 0;
  unsigned shared_locks_ = 0;
  std::string shared_key_;
  bool connection_lost_ = false;  // sticky: every later I/O call reports it
  // A read stopped at its count before the message's terminator: the rest is still to come.
  bool inside_message_ = false;
  // A read was cut short (viTerminate) inside a message: its rest goes before the next
  // transfer, so that it is never taken for the answer to the next query.
  bool abandoned_message_ = false;
  bool closed_ = false;
  bool service_requests_started_ = false;
  std::shared_ptr<EventCenter> events_;
  std::unique_ptr<AsyncJobs> jobs_;
};

}  // namespace zr48::visa

#endif
