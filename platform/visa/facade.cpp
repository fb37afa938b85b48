// The C interface: handle lookup, argument checks, the trace, and no exception ever crossing
// into C callers.
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "visa/lookup.h"
#include "visa/registry.h"
#include "visa/status_text.h"
#include "visa/trace.h"
#include "visa/transport_table.h"
#include "visa/visa.h"

namespace zr48::visa {
namespace {

bool valid_access_mode(ViAccessMode mode) {
  if ((mode & ~static_cast<ViAccessMode>(VI_EXCLUSIVE_LOCK | VI_SHARED_LOCK | VI_LOAD_CONFIG)) !=
      0) {
    return false;
  }
  return (mode & (VI_EXCLUSIVE_LOCK | VI_SHARED_LOCK)) != (VI_EXCLUSIVE_LOCK | VI_SHARED_LOCK);
}

void close_object(ViObject vi, const std::shared_ptr<Object>& object) {
  if (object->kind() == ObjectKind::kFindList) return;  // holds nothing but names
  if (object->kind() == Event::kKind) {
    if (auto center = static_cast<Event&>(*object).center().lock()) center->forget(vi);
    return;
  }
  if (object->kind() == Session::kKind) {
    auto& session = static_cast<Session&>(*object);
    if (auto rm = registry::find_as<ResourceManager>(session.resource_manager())) rm->forget(vi);
    session.close();
  } else if (object->kind() == ResourceManager::kKind) {
    for (const ViSession child : static_cast<ResourceManager&>(*object).release_all()) {
      const auto removed = registry::remove(child);
      if (removed != nullptr && removed->kind() == Session::kKind) {
        static_cast<Session&>(*removed).close();
      }
    }
  }
}

ViStatus open_session(ViSession sesn, ViConstRsrc name, ViAccessMode mode, ViUInt32 timeout,
                      ViPSession vi) {
  if (vi == nullptr) return VI_ERROR_INV_PARAMETER;
  *vi = VI_NULL;
  const auto object = registry::find(sesn);
  if (object == nullptr) return VI_ERROR_INV_OBJECT;
  if (object->kind() != ResourceManager::kKind) return VI_ERROR_NSUP_OPER;
  auto& rm = static_cast<ResourceManager&>(*object);
  if (name == nullptr) return VI_ERROR_INV_RSRC_NAME;
  if (!valid_access_mode(mode)) return VI_ERROR_INV_ACC_MODE;

  ResourceName resource;
  ViStatus status = parse_resource_name(name, resource);
  if (status != VI_SUCCESS) return status;
  const TransportRow* row = find_transport(resource, status);
  if (row == nullptr) return status;

  // VISA recommends treating an open time-out of 0 as 2000 ms for the connection.
  const ViUInt32 open_ms = timeout == 0 ? 2000 : timeout;
  std::unique_ptr<Transport> transport;
  status = row->open({resource, Deadline::after_ms(open_ms), open_ms}, transport);
  if (status < 0) return status;

  auto session = std::make_shared<Session>(std::move(resource), *row, std::move(transport), sesn);
  const ViSession handle = registry::add(session);
  if (handle == VI_NULL) return VI_ERROR_ALLOC;
  session->events().set_session(handle);
  if (!rm.adopt(handle)) {  // the manager was closed meanwhile
    registry::remove(handle);
    session->close();
    return VI_ERROR_INV_OBJECT;
  }
  // A locking open takes the lock as viLock would (a shared one with a key of its own), waiting
  // up to the time-out; a lock not had in that time is VI_ERROR_RSRC_LOCKED.
  if ((mode & (VI_EXCLUSIVE_LOCK | VI_SHARED_LOCK)) != 0) {
    const ViAccessMode type = (mode & VI_EXCLUSIVE_LOCK) != 0 ? VI_EXCLUSIVE_LOCK : VI_SHARED_LOCK;
    status = session->lock(type, timeout, nullptr, nullptr);
    if (status < 0) {
      rm.forget(handle);
      registry::remove(handle);
      session->close();
      return status == VI_ERROR_TMO ? VI_ERROR_RSRC_LOCKED : status;
    }
  }
  *vi = handle;
  // Locks are not kept across processes here; a configuration store does not exist.
  return (mode & VI_LOAD_CONFIG) != 0 ? VI_WARN_CONFIG_NLOADED : VI_SUCCESS;
}

std::string attribute_detail(ViAttr attribute, ViAttrState value) {
  char text[64];
  std::snprintf(text, sizeof text, "attr=0x%08X value=%llu", static_cast<unsigned>(attribute),
                static_cast<unsigned long long>(value));
  return text;
}

// The optional operations share one shape: find the session, run the operation, trace it.
template <typename Operation>
ViStatus session_operation(const char* name, ViSession vi, Operation operation) {
  const ViStatus status = guarded([&]() -> ViStatus {
    std::shared_ptr<Session> session;
    const ViStatus found = lookup_session(vi, session);
    return found != VI_SUCCESS ? found : operation(*session);
  });
  trace::note(name, vi, status, {});
  return status;
}

}  // namespace

}  // namespace zr48::visa

using zr48::visa::guarded;
using zr48::visa::lookup_session;
using zr48::visa::Session;
using zr48::visa::session_operation;
namespace registry = zr48::visa::registry;
namespace trace = zr48::visa::trace;

extern "C" {

ViStatus viOpenDefaultRM(ViPSession vi) {
  const ViStatus status = guarded([&]() -> ViStatus {
    if (vi == nullptr) return VI_ERROR_INV_PARAMETER;
    *vi = registry::add(std::make_shared<zr48::visa::ResourceManager>());
    return *vi != VI_NULL ? VI_SUCCESS : VI_ERROR_ALLOC;
  });
  trace::note("viOpenDefaultRM", vi != nullptr ? *vi : VI_NULL, status, {});
  return status;
}

ViStatus viOpen(ViSession sesn, ViConstRsrc name, ViAccessMode mode, ViUInt32 timeout,
                ViPSession vi) {
  const ViStatus status =
      guarded([&] { return zr48::visa::open_session(sesn, name, mode, timeout, vi); });
  if (trace::enabled()) {
    trace::note(
        "viOpen", vi != nullptr ? *vi : VI_NULL, status,
        std::string("rm=") + std::to_string(sesn) + " " + (name != nullptr ? name : "(null)"));
  }
  return status;
}

ViStatus viClose(ViObject vi) {
  const ViStatus status = guarded([&]() -> ViStatus {
    if (vi == VI_NULL) return VI_WARN_NULL_OBJECT;
    const auto object = registry::remove(vi);
    if (object == nullptr) return VI_ERROR_INV_OBJECT;
    zr48::visa::close_object(vi, object);
    return VI_SUCCESS;
  });
  trace::note("viClose", vi, status, {});
  return status;
}

ViStatus viClear(ViSession vi) {
  return session_operation("viClear", vi, [](Session& s) { return s.clear(); });
}

ViStatus viReadSTB(ViSession vi, ViPUInt16 status) {
  return session_operation("viReadSTB", vi, [status](Session& s) -> ViStatus {
    if (status == nullptr) return VI_ERROR_USER_BUF;
    return s.read_status_byte(*status);
  });
}

ViStatus viAssertTrigger(ViSession vi, ViUInt16 protocol) {
  return session_operation("viAssertTrigger", vi, [protocol](Session& s) -> ViStatus {
    // LAN instruments take only the default trigger protocol.
    if (protocol != VI_TRIG_PROT_DEFAULT) return VI_ERROR_INV_PROT;
    return s.trigger();
  });
}

ViStatus viLock(ViSession vi, ViAccessMode lockType, ViUInt32 timeout, ViConstKeyId requestedKey,
                ViKeyId accessKey) {
  return session_operation("viLock", vi, [&](Session& s) {
    return s.lock(lockType, timeout, requestedKey,
                  lockType == VI_SHARED_LOCK ? accessKey : nullptr);
  });
}

ViStatus viUnlock(ViSession vi) {
  return session_operation("viUnlock", vi, [](Session& s) { return s.unlock(); });
}

ViStatus viGpibControlREN(ViSession vi, ViUInt16 mode) {
  return session_operation("viGpibControlREN", vi,
                           [mode](Session& s) { return s.control_ren(mode); });
}

ViStatus viSetAttribute(ViObject vi, ViAttr attrName, ViAttrState attrValue) {
  const ViStatus status = guarded([&]() -> ViStatus {
    if (const auto event = registry::find_as<zr48::visa::Event>(vi)) {
      return event->set_attribute(attrName);
    }
    std::shared_ptr<Session> session;
    const ViStatus found = lookup_session(vi, session);
    if (found == VI_ERROR_NSUP_OPER) return VI_ERROR_NSUP_ATTR;  // a manager has none of these
    if (found != VI_SUCCESS) return found;
    return session->set_attribute(attrName, attrValue);
  });
  if (trace::enabled()) {
    trace::note("viSetAttribute", vi, status, zr48::visa::attribute_detail(attrName, attrValue));
  }
  return status;
}

ViStatus viGetAttribute(ViObject vi, ViAttr attrName, void* attrValue) {
  return guarded([&]() -> ViStatus {
    if (const auto event = registry::find_as<zr48::visa::Event>(vi)) {
      return attrValue == nullptr ? VI_ERROR_USER_BUF : event->get_attribute(attrName, attrValue);
    }
    std::shared_ptr<Session> session;
    const ViStatus found = lookup_session(vi, session);
    if (found == VI_ERROR_NSUP_OPER) return VI_ERROR_NSUP_ATTR;
    if (found != VI_SUCCESS) return found;
    if (attrValue == nullptr) return VI_ERROR_USER_BUF;
    return session->get_attribute(attrName, attrValue);
  });
}

ViStatus viStatusDesc(ViObject /*vi: any object, or none*/, ViStatus status, ViChar desc[]) {
  if (desc == nullptr) return VI_ERROR_USER_BUF;
  constexpr std::size_t kSize = 256;  // VISA's description buffer
  if (const auto* text = zr48::visa::find_status_text(status)) {
    const std::size_t n = std::min(text->description.size(), kSize - 1);
    std::memcpy(desc, text->description.data(), n);
    desc[n] = '\0';
    return VI_SUCCESS;
  }
  std::snprintf(desc, kSize, "Unknown status code 0x%08X.", static_cast<unsigned>(status));
  return VI_WARN_UNKNOWN_STATUS;
}

ViStatus viSetBuf(ViSession vi, ViUInt16 mask, ViUInt32 size) {
  const ViStatus status = guarded([&]() -> ViStatus {
    std::shared_ptr<Session> session;
    const ViStatus found = lookup_session(vi, session);
    return found != VI_SUCCESS ? found : session->set_buffer(mask, size);
  });
  if (trace::enabled()) {
    trace::note("viSetBuf", vi, status,
                "mask=" + std::to_string(mask) + " size=" + std::to_string(size));
  }
  return status;
}

ViStatus viFlush(ViSession vi, ViUInt16 mask) {
  const ViStatus status = guarded([&]() -> ViStatus {
    std::shared_ptr<Session> session;
    const ViStatus found = lookup_session(vi, session);
    return found != VI_SUCCESS ? found : session->flush(mask);
  });
  if (trace::enabled()) trace::note("viFlush", vi, status, "mask=" + std::to_string(mask));
  return status;
}

ViStatus viRead(ViSession vi, ViPBuf buf, ViUInt32 cnt, ViPUInt32 retCnt) {
  ViUInt32 count = 0;
  const ViStatus status = guarded([&]() -> ViStatus {
    std::shared_ptr<Session> session;
    const ViStatus found = lookup_session(vi, session);
    if (found != VI_SUCCESS) return found;
    if (buf == nullptr && cnt != 0) return VI_ERROR_USER_BUF;
    return session->read(buf, cnt, count);
  });
  if (retCnt != nullptr) *retCnt = count;
  if (trace::enabled()) {
    trace::record("viRead", vi, status,
                  std::string_view(reinterpret_cast<const char*>(buf), count));
  }
  return status;
}

ViStatus viWrite(ViSession vi, ViConstBuf buf, ViUInt32 cnt, ViPUInt32 retCnt) {
  ViUInt32 count = 0;
  const ViStatus status = guarded([&]() -> ViStatus {
    std::shared_ptr<Session> session;
    const ViStatus found = lookup_session(vi, session);
    if (found != VI_SUCCESS) return found;
    if (buf == nullptr && cnt != 0) return VI_ERROR_USER_BUF;
    return session->write(buf, cnt, count);
  });
  if (retCnt != nullptr) *retCnt = count;
  if (trace::enabled()) {
    trace::record("viWrite", vi, status,
                  std::string_view(reinterpret_cast<const char*>(buf), buf != nullptr ? cnt : 0));
  }
  return status;
}

ViStatus viVPrintf(ViSession vi, ViConstString writeFmt, va_list params) {
  std::string traced;
  std::string* capture = trace::enabled() ? &traced : nullptr;
  const ViStatus status = guarded([&]() -> ViStatus {
    std::shared_ptr<Session> session;
    const ViStatus found = lookup_session(vi, session);
    return found != VI_SUCCESS ? found : session->print(writeFmt, params, capture);
  });
  if (capture != nullptr) trace::record("viPrintf", vi, status, traced);
  return status;
}

ViStatus viPrintf(ViSession vi, ViConstString writeFmt, ...) {
  va_list params;
  va_start(params, writeFmt);
  const ViStatus status = viVPrintf(vi, writeFmt, params);
  va_end(params);
  return status;
}

ViStatus viVScanf(ViSession vi, ViConstString readFmt, va_list params) {
  std::string traced;
  std::string* capture = trace::enabled() ? &traced : nullptr;
  const ViStatus status = guarded([&]() -> ViStatus {
    std::shared_ptr<Session> session;
    const ViStatus found = lookup_session(vi, session);
    return found != VI_SUCCESS ? found : session->scan(readFmt, params, capture);
  });
  if (capture != nullptr) trace::record("viScanf", vi, status, traced);
  return status;
}

ViStatus viScanf(ViSession vi, ViConstString readFmt, ...) {
  va_list params;
  va_start(params, readFmt);
  const ViStatus status = viVScanf(vi, readFmt, params);
  va_end(params);
  return status;
}

}  // extern "C"
