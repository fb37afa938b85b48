#include "remote_local.h"

namespace zr48::sim {
namespace {

void set(bool& flag, Flag change) {
  if (change != Flag::kEep) flag = change == Flag::kOn;
}

}  // namespace

RemoteLocalState RemoteLocal::state() const {
  const std::lock_guard guard(mutex_);
  return state_;
}

std::vector<std::string> RemoteLocal::requests() const {
  const std::lock_guard guard(mutex_);
  return requests_;
}

void RemoteLocal::record(std::string request) {
  const std::lock_guard guard(mutex_);
  requests_.push_back(std::move(request));
}

void RemoteLocal::apply(const RemoteLocalChange& change) {
  const std::lock_guard guard(mutex_);
  set(state_.remote_enable, change.remote_enable);
  set(state_.local_lockout, change.local_lockout);
  set(state_.remote, change.remote);
}

void RemoteLocal::addressed() {
  const std::lock_guard guard(mutex_);
  if (state_.remote_enable) state_.remote = true;
}

}  // namespace zr48::sim
