#include "history.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace zr48::panel {

History::History(double span_s, std::size_t max_samples)
    : span_s_(span_s), max_samples_(std::max<std::size_t>(max_samples, 1)) {}

void History::add(const Sample& sample) {
  const std::lock_guard lock(mutex_);
  samples_.push_back(sample);
  while (samples_.size() > max_samples_ || samples_.front().time < sample.time - span_s_) {
    samples_.pop_front();
  }
}

std::vector<Sample> History::window(double window_s) const {
  const std::lock_guard lock(mutex_);
  if (samples_.empty()) return {};
  const double from = samples_.back().time - window_s;
  const auto first = std::lower_bound(samples_.begin(), samples_.end(), from,
                                      [](const Sample& s, double t) { return s.time < t; });
  return {first, samples_.end()};
}

std::size_t History::size() const {
  const std::lock_guard lock(mutex_);
  return samples_.size();
}

std::string History::csv(const std::vector<Sample>& samples) {
  std::string csv = "time_utc";
  char cell[64];
  for (int n = 1; n <= kChannelCount; ++n) {
    std::snprintf(cell, sizeof cell, ",ch%d_V,ch%d_A,ch%d_W,ch%d_output", n, n, n, n);
    csv += cell;
  }
  csv += "\r\n";
  for (const Sample& s : samples) {
    const double whole = std::floor(s.time);
    const std::time_t seconds = static_cast<std::time_t>(whole);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    const int millis = std::min(999, static_cast<int>((s.time - whole) * 1000.0));
    std::snprintf(cell, sizeof cell, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, millis);
    csv += cell;
    for (std::size_t i = 0; i < kChannelCount; ++i) {
      std::snprintf(cell, sizeof cell, ",%.6g,%.6g,%.6g,%d", s.volt.at(i), s.curr.at(i),
                    s.power.at(i), s.output.at(i) ? 1 : 0);
      csv += cell;
    }
    csv += "\r\n";
  }
  return csv;
}

}  // namespace zr48::panel
