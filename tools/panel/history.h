// The readings of the last hour (or the configured span) kept in memory for the plot and the
// CSV export; the oldest are dropped once the span is full.
#pragma once

#include <array>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "channel_limits.h"

namespace zr48::panel {

struct Sample {
  double time = 0.0;  // seconds since the Unix epoch
  std::array<double, kChannelCount> volt{};
  std::array<double, kChannelCount> curr{};
  std::array<double, kChannelCount> power{};
  std::array<bool, kChannelCount> output{};
};

class History {
 public:
  // Keeps samples no older than `span_s` seconds behind the newest, and never more than
  // `max_samples` of them (the span divided by the polling interval, with room to spare).
  History(double span_s, std::size_t max_samples);

  void add(const Sample& sample);
  // The samples of the last `window_s` seconds, oldest first.
  std::vector<Sample> window(double window_s) const;
  std::size_t size() const;

  // Comma-separated values with a header line: UTC time, then V, A, W and output per channel.
  static std::string csv(const std::vector<Sample>& samples);

 private:
  double span_s_;
  std::size_t max_samples_;
  mutable std::mutex mutex_;
  std::deque<Sample> samples_;
};

}  // namespace zr48::panel
