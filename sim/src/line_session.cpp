#include "line_session.h"

#include <algorithm>
#include <utility>

#include "zr48sim/server.h"

namespace zr48::sim {

bool LineSession::feed(std::string_view bytes) {
  pending_.append(bytes);
  std::size_t start = 0;
  bool go_on = true;
  for (std::size_t stop; go_on && (stop = pending_.find('\n', start)) != std::string::npos;
       start = stop + 1) {
    if (std::exchange(discarding_, false)) continue;
    go_on = handle_line(std::string_view(pending_).substr(start, stop - start + 1));
  }
  pending_.erase(0, start);
  if (pending_.size() > Server::kMaxLineBytes) {
    pending_.clear();
    if (!discarding_) device_.report_input_overrun();
    discarding_ = true;
  }
  return go_on;
}

void LineSession::reset() {
  pending_.clear();
  discarding_ = false;
}

bool LineSession::handle_line(std::string_view line) {
  if (device_.close_before_line()) return false;
  const std::string reply = device_.execute(line);
  if (reply.empty() && line.find('?') == std::string_view::npos) return true;
  const ReplyHooks hooks = device_.take_reply_hooks();
  if (hooks.silent) return true;
  const std::string& bytes = hooks.wire ? *hooks.wire : hooks.replacement.value_or(reply);
  if (bytes.empty()) return true;  // a query that failed: nothing to say
  if (hooks.delay.count() > 0 && !device_.stop.sleep_for(static_cast<int>(hooks.delay.count()))) {
    return false;
  }
  if (hooks.cut) {
    stream_.send(std::string_view(bytes).substr(0, std::min(*hooks.cut, bytes.size())));
    return false;
  }
  const std::string prefix = stream_.before_reply();
  return prefix.empty() ? stream_.send(bytes) : stream_.send(prefix + bytes);
}

}  // namespace zr48::sim
