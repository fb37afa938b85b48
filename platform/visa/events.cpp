// A session's events: enabling per type and mechanism, the queue behind viWaitOnEvent, the
// handler thread, and event objects as handles.
#include "visa/events.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "visa/attribute_value.h"
#include "visa/registry.h"

namespace zr48::visa {
namespace {

constexpr ViUInt16 kHandlerMechanisms = VI_HNDLR | VI_SUSPEND_HNDLR;
constexpr ViUInt16 kAllMechanisms = VI_QUEUE | kHandlerMechanisms;

// VI_QUEUE, one handler mechanism, or VI_QUEUE with one handler mechanism.
bool valid_enable_mechanism(ViUInt16 mechanism) {
  if (mechanism == 0 || (mechanism & ~kAllMechanisms) != 0) return false;
  return (mechanism & kHandlerMechanisms) != kHandlerMechanisms;
}

}  // namespace

ViStatus Event::get_attribute(ViAttr attribute, void* value) const {
  if (value == nullptr) return VI_ERROR_INV_PARAMETER;
  const bool completion = data_.type == VI_EVENT_IO_COMPLETION;
  // An exception carries the failed operation's status and name.
  const bool outcome = completion || data_.type == VI_EVENT_EXCEPTION;
  switch (attribute) {
    case VI_ATTR_EVENT_TYPE:
      store_attribute<ViEventType>(value, data_.type);
      return VI_SUCCESS;
    case VI_ATTR_STATUS:
      if (!outcome) break;
      store_attribute<ViStatus>(value, data_.status);
      return VI_SUCCESS;
    case VI_ATTR_JOB_ID:
      if (!completion) break;
      store_attribute<ViJobId>(value, data_.job_id);
      return VI_SUCCESS;
    case VI_ATTR_BUFFER:
      if (!completion) break;
      store_attribute<ViBuf>(value, data_.buffer);
      return VI_SUCCESS;
    case VI_ATTR_RET_COUNT:
      if (!completion) break;
      store_attribute<ViUInt32>(value, static_cast<ViUInt32>(data_.return_count));
      return VI_SUCCESS;
    case VI_ATTR_RET_COUNT_64:
      if (!completion) break;
      store_attribute<ViUInt64>(value, data_.return_count);
      return VI_SUCCESS;
    case VI_ATTR_OPER_NAME:
      if (!outcome) break;
      store_attribute_text(value, data_.operation);
      return VI_SUCCESS;
    default:
      break;
  }
  return VI_ERROR_NSUP_ATTR;
}

ViStatus Event::set_attribute(ViAttr attribute) const {
  ViUInt64 scratch[kAttributeTextSize / sizeof(ViUInt64)] = {};
  return get_attribute(attribute, scratch) == VI_SUCCESS ? VI_ERROR_ATTR_READONLY
                                                         : VI_ERROR_NSUP_ATTR;
}

EventCenter::EventCenter(ViSession session, const std::vector<ViEventType>& types)
    : session_(session) {
  for (const ViEventType type : types) types_.push_back({type, 0, {}});
}

EventCenter::~EventCenter() {
  close();
}

bool EventCenter::has(ViEventType type) const {
  return std::ranges::any_of(types_, [type](const TypeState& s) { return s.type == type; });
}

EventCenter::TypeState* EventCenter::state_of(ViEventType type) {
  for (TypeState& state : types_) {
    if (state.type == type) return &state;
  }
  return nullptr;
}

std::vector<EventCenter::TypeState*> EventCenter::named(ViEventType type) {
  std::vector<TypeState*> states;
  if (type == VI_ALL_ENABLED_EVENTS) {
    for (TypeState& state : types_) states.push_back(&state);
  } else if (TypeState* state = state_of(type)) {
    states.push_back(state);
  }
  return states;
}

bool EventCenter::enabled(ViEventType type) {
  const std::lock_guard lock(mutex_);
  const TypeState* state = state_of(type);
  return state != nullptr && state->mechanisms != 0;
}

ViStatus EventCenter::enable(ViEventType type, ViUInt16 mechanism) {
  if (!valid_enable_mechanism(mechanism)) return VI_ERROR_INV_MECH;
  const std::lock_guard lock(mutex_);
  if (closed_) return VI_ERROR_INV_OBJECT;
  TypeState* state = state_of(type);
  if (state == nullptr) return VI_ERROR_INV_EVENT;
  // Exceptions are handled where they happen, never queued.
  if (type == VI_EVENT_EXCEPTION && (mechanism & VI_QUEUE) != 0) return VI_ERROR_INV_MECH;
  if ((mechanism & VI_HNDLR) != 0 &&
      std::ranges::none_of(handlers_, [type](const Handler& h) { return h.type == type; })) {
    return VI_ERROR_HNDLR_NINSTALLED;
  }
  const bool already = (state->mechanisms & mechanism) != 0;
  // One handler mechanism at a time: the new one replaces the other.
  if ((mechanism & kHandlerMechanisms) != 0) state->mechanisms &= ~kHandlerMechanisms;
  state->mechanisms |= mechanism;
  if ((mechanism & VI_HNDLR) != 0) {
    // What was held while the handlers were suspended goes to them now.
    for (const EventData& held : std::exchange(state->suspended, {})) hand_to_handlers(held);
  }
  return already ? VI_SUCCESS_EVENT_EN : VI_SUCCESS;
}

ViStatus EventCenter::disable(ViEventType type, ViUInt16 mechanism) {
  if (mechanism == 0 || (mechanism != VI_ALL_MECH && (mechanism & ~kAllMechanisms) != 0)) {
    return VI_ERROR_INV_MECH;
  }
  const std::lock_guard lock(mutex_);
  if (closed_) return VI_ERROR_INV_OBJECT;
  const auto states = named(type);
  if (states.empty()) return VI_ERROR_INV_EVENT;
  bool any = false;
  for (TypeState* state : states) {
    any = any || (state->mechanisms & mechanism) != 0;
    state->mechanisms &= static_cast<ViUInt16>(~mechanism);
  }
  return any ? VI_SUCCESS : VI_SUCCESS_EVENT_DIS;
}

ViStatus EventCenter::discard(ViEventType type, ViUInt16 mechanism) {
  if (mechanism == 0 || (mechanism != VI_ALL_MECH && (mechanism & ~kAllMechanisms) != 0)) {
    return VI_ERROR_INV_MECH;
  }
  const std::lock_guard lock(mutex_);
  if (closed_) return VI_ERROR_INV_OBJECT;
  const auto states = named(type);
  if (states.empty()) return VI_ERROR_INV_EVENT;
  bool any = false;
  for (TypeState* state : states) {
    if ((mechanism & VI_QUEUE) != 0) {
      const auto removed = std::erase_if(
          queue_, [state](const EventData& event) { return event.type == state->type; });
      any = any || removed > 0;
    }
    if ((mechanism & (VI_SUSPEND_HNDLR | VI_HNDLR)) != 0) {
      any = any || !state->suspended.empty();
      state->suspended.clear();
    }
  }
  if ((mechanism & VI_QUEUE) != 0 && queue_.empty()) overflowed_ = false;
  return any ? VI_SUCCESS : VI_SUCCESS_QUEUE_EMPTY;
}

bool EventCenter::queued_for(ViEventType type) const {
  return std::ranges::any_of(queue_, [type](const EventData& event) {
    return type == VI_ALL_ENABLED_EVENTS || event.type == type;
  });
}

ViStatus EventCenter::wait(ViEventType type, ViUInt32 timeout_ms, ViEventType* out_type,
                           ViEvent* out_event) {
  if (out_type != nullptr) *out_type = 0;
  if (out_event != nullptr) *out_event = VI_NULL;
  std::unique_lock lock(mutex_);
  if (closed_) return VI_ERROR_INV_OBJECT;
  const auto states = named(type);
  if (states.empty()) return VI_ERROR_INV_EVENT;
  if (std::ranges::none_of(states, [](const TypeState* s) { return (s->mechanisms & VI_QUEUE); })) {
    return VI_ERROR_NENABLED;
  }
  const auto ready = [&] { return closed_ || queued_for(type); };
  if (timeout_ms == VI_TMO_INFINITE) {
    queued_.wait(lock, ready);
  } else {
    queued_.wait_for(lock, std::chrono::milliseconds(timeout_ms), ready);
  }
  if (closed_) return VI_ERROR_INV_OBJECT;
  const auto it = std::ranges::find_if(queue_, [type](const EventData& event) {
    return type == VI_ALL_ENABLED_EVENTS || event.type == type;
  });
  if (it == queue_.end()) return VI_ERROR_TMO;
  const EventData data = *it;
  queue_.erase(it);
  const bool overflowed = std::exchange(overflowed_, false);
  const bool more = queued_for(type);
  lock.unlock();

  if (out_type != nullptr) *out_type = data.type;
  if (out_event != nullptr) {
    const ViEvent handle = register_event(data);
    if (handle == VI_NULL) return VI_ERROR_ALLOC;
    *out_event = handle;
  }
  if (overflowed) return VI_WARN_QUEUE_OVERFLOW;
  return more ? VI_SUCCESS_QUEUE_NEMPTY : VI_SUCCESS;
}

ViEvent EventCenter::register_event(const EventData& data) {
  const ViEvent handle = registry::add(std::make_shared<Event>(data, weak_from_this()));
  if (handle == VI_NULL) return VI_NULL;
  const std::lock_guard lock(mutex_);
  if (closed_) {  // the session closed meanwhile: its events go with it
    registry::remove(handle);
    return VI_NULL;
  }
  open_events_.push_back(handle);
  return handle;
}

void EventCenter::forget(ViEvent handle) {
  const std::lock_guard lock(mutex_);
  std::erase(open_events_, handle);
}

ViStatus EventCenter::install(ViEventType type, ViHndlr handler, ViAddr user) {
  if (handler == nullptr) return VI_ERROR_INV_HNDLR_REF;
  const std::lock_guard lock(mutex_);
  if (closed_) return VI_ERROR_INV_OBJECT;
  if (state_of(type) == nullptr) return VI_ERROR_INV_EVENT;
  handlers_.insert(handlers_.begin(), Handler{type, handler, user});
  return VI_SUCCESS;
}

ViStatus EventCenter::uninstall(ViEventType type, ViHndlr handler, ViAddr user) {
  const std::lock_guard lock(mutex_);
  if (closed_) return VI_ERROR_INV_OBJECT;
  if (type != VI_ALL_ENABLED_EVENTS && state_of(type) == nullptr) return VI_ERROR_INV_EVENT;
  // VI_ANY_HNDLR (null) removes every handler of the type, whatever its user handle, and
  // succeeds with none installed; a named handler goes only with the user handle it was
  // installed with.
  if (handler == nullptr) {
    std::erase_if(handlers_, [&](const Handler& h) {
      return type == VI_ALL_ENABLED_EVENTS || h.type == type;
    });
    return VI_SUCCESS;
  }
  // The one installed last goes first, as a handler installed twice is uninstalled twice.
  const auto it = std::ranges::find_if(handlers_, [&](const Handler& h) {
    return (type == VI_ALL_ENABLED_EVENTS || h.type == type) && h.function == handler &&
           h.user == user;
  });
  if (it == handlers_.end()) return VI_ERROR_INV_HNDLR_REF;
  handlers_.erase(it);
  return VI_SUCCESS;
}

ViUInt32 EventCenter::max_queue_length() {
  const std::lock_guard lock(mutex_);
  return max_queue_;
}

ViStatus EventCenter::set_max_queue_length(ViAttrState length) {
  if (length == 0 || length > 0xFFFFFFFFULL) return VI_ERROR_NSUP_ATTR_STATE;
  const std::lock_guard lock(mutex_);
  max_queue_ = static_cast<ViUInt32>(length);
  return VI_SUCCESS;
}

void EventCenter::post(const EventData& data) {
  const std::lock_guard lock(mutex_);
  if (closed_) return;
  TypeState* state = state_of(data.type);
  if (state == nullptr) return;
  if ((state->mechanisms & VI_QUEUE) != 0) {
    if (queue_.size() < max_queue_) {
      queue_.push_back(data);
      queued_.notify_all();
    } else {
      overflowed_ = true;  // the newest is lost; the next wait says so
    }
  }
  if ((state->mechanisms & VI_HNDLR) != 0) {
    hand_to_handlers(data);
  } else if ((state->mechanisms & VI_SUSPEND_HNDLR) != 0 && state->suspended.size() < max_queue_) {
    state->suspended.push_back(data);
  }
}

void EventCenter::hand_to_handlers(const EventData& data) {
  to_handlers_.push_back(data);
  if (!dispatcher_.joinable()) {
    // The thread keeps the center alive while it runs; close() ends it.
    dispatcher_ = std::thread([self = shared_from_this()] { self->dispatch_loop(); });
  }
  pending_.notify_one();
}

void EventCenter::dispatch_loop() {
  std::unique_lock lock(mutex_);
  for (;;) {
    pending_.wait(lock, [this] { return closed_ || !to_handlers_.empty(); });
    if (closed_) return;
    const EventData data = to_handlers_.front();
    to_handlers_.pop_front();
    std::vector<Handler> chain;
    for (const Handler& h : handlers_) {
      if (h.type == data.type) chain.push_back(h);
    }
    lock.unlock();
    const ViEvent handle = register_event(data);
    if (handle != VI_NULL) {
      for (const Handler& h : chain) {
        if (h.function(session_.load(), data.type, handle, h.user) == VI_SUCCESS_NCHAIN) break;
      }
      // The event object lives as long as the handler call.
      forget(handle);
      registry::remove(handle);
    }
    lock.lock();
  }
}

void EventCenter::close() {
  std::thread dispatcher;
  std::vector<ViEvent> open;
  {
    const std::lock_guard lock(mutex_);
    closed_ = true;
    queue_.clear();
    to_handlers_.clear();
    handlers_.clear();  // a closed session calls no one
    open = std::exchange(open_events_, {});
    dispatcher = std::move(dispatcher_);
    queued_.notify_all();
    pending_.notify_all();
  }
  for (const ViEvent handle : open) registry::remove(handle);
  if (!dispatcher.joinable()) return;
  // A handler that closes its own session runs on the dispatcher: that thread ends by itself.
  if (dispatcher.get_id() == std::this_thread::get_id()) {
    dispatcher.detach();
  } else {
    dispatcher.join();
  }
}

}  // namespace zr48::visa
