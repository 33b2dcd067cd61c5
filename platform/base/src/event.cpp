#include "base/event.h"

#include <chrono>

namespace lessonry {

void Event::set() {
  {
    std::lock_guard lock(mutex_);
    set_ = true;
  }
  if (manualReset_)
    cv_.notify_all();
  else
    cv_.notify_one();
}

void Event::reset() {
  std::lock_guard lock(mutex_);
  set_ = false;
}

bool Event::wait(uint32_t timeoutMs) {
  std::unique_lock lock(mutex_);
  const auto ready = [this] { return set_; };
  if (timeoutMs == kInfinite)
    cv_.wait(lock, ready);
  else if (!cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready))
    return false;
  if (!manualReset_) set_ = false;
  return true;
}

bool Event::isSet() const {
  std::lock_guard lock(mutex_);
  return set_;
}

}  // namespace lessonry
