// A first-in first-out queue of text records (coercion records, interchange warnings), read one
// at a time with the IVI buffer rule.
#ifndef ZR48_PLATFORM_ENGINE_RECORD_QUEUE_H
#define ZR48_PLATFORM_ENGINE_RECORD_QUEUE_H

#include <deque>
#include <string>

#include "engine/buffer_rule.h"

namespace zr48::engine {

class RecordQueue {
 public:
  void push(std::string record) { records_.push_back(std::move(record)); }
  void clear() { records_.clear(); }
  bool empty() const { return records_.empty(); }

  // The oldest record ("" when there is none). A size of 0 asks for the required size and
  // leaves the record queued; otherwise the record is handed out (truncated if it must be) and
  // removed, as GetError does with its information.
  ViStatus next(ViInt32 bufSize, ViChar* out) {
    const std::string record = records_.empty() ? std::string() : records_.front();
    const ViStatus status = copy_with_buffer_rule(record, bufSize, out);
    if (bufSize != 0 && status >= 0 && !records_.empty()) records_.pop_front();
    return status;
  }

 private:
  std::deque<std::string> records_;
};

}  // namespace zr48::engine

#endif
