// One engine session: the driver's attributes, channel table, error information, records and
// the settings it was created with. Attribute access runs under the session lock (see
// session_registry.h); the option mirrors and error information can be read without it.
#ifndef ZR48_PLATFORM_ENGINE_SESSION_H
#define ZR48_PLATFORM_ENGINE_SESSION_H

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/attribute_store.h"
#include "engine/channel_table.h"
#include "engine/error_info.h"
#include "engine/logical_names.h"
#include "engine/record_queue.h"
#include "visa_calls/visa_calls.h"

namespace zr48::engine {

// A string read callback in progress: Ivi_SetValInStringCallback fills `value`.
struct StringReadFrame {
  ViAttr id;
  int channel;
  std::optional<std::string> value;
};

class Session {
 public:
  Session(ViSession handle, std::string prefix);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  ViSession handle() const { return handle_; }
  const std::string& prefix() const { return prefix_; }

  // Records a refusal or failure in the session's error information (first error kept).
  ViStatus fail(ViStatus status, const std::string& elaboration) {
    errors.record(false, status, VI_SUCCESS, elaboration.c_str());
    return status;
  }

  // Keeps the fast copies of the engine options in step with a stored attribute value.
  void mirror(const Attribute& attribute);

  // The physical name for a virtual or physical channel name (Ivi_CoerceChannelName's work, the
  // caller holding the lock); an unknown or empty name is refused and recorded.
  ViStatus coerce_channel_name(ViConstString name, ViConstString* coerced);

  // Closes the VISA resource manager the session holds, if any.
  ViStatus close_resource_manager();

  AttributeStore attributes;
  ChannelTable channels;
  SessionErrors errors;
  RecordQueue coercions;
  RecordQueue interchange_warnings;
  std::vector<StringReadFrame> string_reads;
  std::optional<LogicalName> logical_name;
  bool allow_unknown_channels = false;

  std::atomic<bool> simulate{false};
  std::atomic<bool> range_check{true};
  std::atomic<bool> query_instr_status{false};
  std::atomic<bool> cache{true};
  std::atomic<bool> record_coercions{false};
  std::atomic<bool> need_to_check_status{false};
  std::atomic<ViSession> io_session{VI_NULL};
  // The VISA library the session's I/O goes through, chosen at creation and fixed from then on:
  // the I/O layer's own, or the one ZR48_VISA_LIBRARY names, held open while the session lives.
  std::shared_ptr<const visa_calls::ForeignVisa> foreign_visa;
  const visa_calls::VisaCalls* visa = &visa_calls::own_visa_calls();
  // Set once creation is complete: from then on user calls cannot change the simulation state.
  bool created = false;

 private:
  ViSession handle_;
  std::string prefix_;
};

}  // namespace zr48::engine

#endif
