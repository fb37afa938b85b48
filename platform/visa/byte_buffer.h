// A session's formatted read or write buffer: a fixed-capacity byte queue, allocated when the
// session opens or viSetBuf resizes it, never on the I/O path.
#ifndef ZR48_PLATFORM_VISA_BYTE_BUFFER_H
#define ZR48_PLATFORM_VISA_BYTE_BUFFER_H

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

#include "zr48_visatype.h"

namespace zr48::visa {

class ByteBuffer {
 public:
  explicit ByteBuffer(std::size_t capacity) : storage_(capacity) {}

  std::size_t capacity() const { return storage_.size(); }
  std::size_t size() const { return end_ - begin_; }
  bool empty() const { return begin_ == end_; }
  bool full() const { return size() == capacity(); }
  const ViByte* data() const { return storage_.data() + begin_; }
  ViByte front() const { return storage_[begin_]; }
  ViByte back() const { return storage_[end_ - 1]; }

  void consume(std::size_t n) {
    begin_ += std::min(n, size());
    if (begin_ == end_) clear();
  }
  void clear() { begin_ = end_ = 0; }

  // Room at the tail for new bytes, compacting first; commit() then counts what was stored.
  ViByte* space() {
    if (begin_ != 0 && end_ == storage_.size()) {
      std::memmove(storage_.data(), storage_.data() + begin_, size());
      end_ -= begin_;
      begin_ = 0;
    }
    return storage_.data() + end_;
  }
  std::size_t space_size() const { return storage_.size() - end_; }
  void commit(std::size_t n) { end_ += n; }

  // Appends as much of [data, data+n) as fits; returns the count stored.
  std::size_t append(const void* data, std::size_t n) {
    ViByte* tail = space();
    const std::size_t stored = std::min(n, space_size());
    std::memcpy(tail, data, stored);
    end_ += stored;
    return stored;
  }

  // Drops the contents and takes a new capacity.
  void resize(std::size_t capacity) {
    storage_.assign(capacity, 0);
    clear();
  }

 private:
  std::vector<ViByte> storage_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
};

}  // namespace zr48::visa

#endif
