// VISA events of one session: which types are enabled for which mechanism, the session's event
// queue, the installed handlers and the thread that calls them, and the event objects handed out.
// Transports and the asynchronous-I/O worker post events from their own threads; waits and
// handlers never take the session's operation lock, so a read may run beside a wait.
#ifndef ZR48_PLATFORM_VISA_EVENTS_H
#define ZR48_PLATFORM_VISA_EVENTS_H

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "visa/object.h"
#include "visa/visa.h"

namespace zr48::visa {

class EventCenter;

// What an event object carries: its type and, for an I/O completion, the job's outcome.
struct EventData {
  ViEventType type = 0;
  ViStatus status = VI_SUCCESS;
  ViJobId job_id = 0;
  ViBuf buffer = nullptr;
  ViUInt64 return_count = 0;
  const char* operation = "";  // a string literal: the operation's name
};

// An event object behind a VISA handle, as viWaitOnEvent or a handler receives it.
class Event final : public Object {
 public:
  static constexpr ObjectKind kKind = ObjectKind::kEvent;
  Event(const EventData& data, std::weak_ptr<EventCenter> center)
      : Object(kKind), data_(data), center_(std::move(center)) {}

  ViStatus get_attribute(ViAttr attribute, void* value) const;
  // Read-only: VI_ERROR_ATTR_READONLY for its own attributes, VI_ERROR_NSUP_ATTR otherwise.
  ViStatus set_attribute(ViAttr attribute) const;
  std::weak_ptr<EventCenter> center() const { return center_; }

 private:
  EventData data_;
  std::weak_ptr<EventCenter> center_;
};

class EventCenter : public std::enable_shared_from_this<EventCenter> {
 public:
  static constexpr ViUInt32 kDefaultQueueLength = 50;

  // `types`: the event types the session has.
  EventCenter(ViSession session, const std::vector<ViEventType>& types);
  EventCenter(const EventCenter&) = delete;
  EventCenter& operator=(const EventCenter&) = delete;
  ~EventCenter();

  // The session's handle, which handlers receive; set once it has one.
  void set_session(ViSession session) { session_.store(session); }
  bool has(ViEventType type) const;
  // Whether `type` is enabled for any mechanism.
  bool enabled(ViEventType type);

  ViStatus enable(ViEventType type, ViUInt16 mechanism);
  ViStatus disable(ViEventType type, ViUInt16 mechanism);
  ViStatus discard(ViEventType type, ViUInt16 mechanism);
  ViStatus wait(ViEventType type, ViUInt32 timeout_ms, ViEventType* out_type, ViEvent* out_event);
  ViStatus install(ViEventType type, ViHndlr handler, ViAddr user);
  ViStatus uninstall(ViEventType type, ViHndlr handler, ViAddr user);

  ViUInt32 max_queue_length();
  ViStatus set_max_queue_length(ViAttrState length);

  // An event happened: queued, handed to the handlers, held for them, or dropped, as its type
  // is enabled. Callable from any thread.
  void post(const EventData& data);
  // An event handle was closed by its owner.
  void forget(ViEvent handle);
  // Ends every wait (VI_ERROR_INV_OBJECT), stops the handler thread after the handler in
  // progress, and closes the event handles still open. Later posts are dropped.
  void close();

 private:
  struct TypeState {
    ViEventType type = 0;
    ViUInt16 mechanisms = 0;
    std::deque<EventData> suspended;  // held for the handlers while VI_SUSPEND_HNDLR
  };
  struct Handler {
    ViEventType type;
    ViHndlr function;
    ViAddr user;
  };

  TypeState* state_of(ViEventType type);  // mutex held; nullptr for a type the session lacks
  // The types a call names: one type, or every type for VI_ALL_ENABLED_EVENTS.
  std::vector<TypeState*> named(ViEventType type);
  bool queued_for(ViEventType type) const;       // mutex held
  void hand_to_handlers(const EventData& data);  // mutex held
  void dispatch_loop();
  ViEvent register_event(const EventData& data);

  std::atomic<ViSession> session_;
  std::mutex mutex_;
  std::condition_variable queued_;   // a queued event arrived, or the session closed
  std::condition_variable pending_;  // work for the handler thread
  std::vector<TypeState> types_;
  std::deque<EventData> queue_;
  bool overflowed_ = false;  // an event was dropped since the last wait
  ViUInt32 max_queue_ = kDefaultQueueLength;
  std::vector<Handler> handlers_;  // the latest installed first: called first
  std::deque<EventData> to_handlers_;
  std::thread dispatcher_;
  std::vector<ViEvent> open_events_;
  bool closed_ = false;
};

}  // namespace zr48::visa

#endif
