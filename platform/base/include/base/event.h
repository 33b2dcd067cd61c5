// Event object of the Windows model: manual-reset or auto-reset, set, reset,
// bounded wait. Thread-safe; waiters wake on set without polling.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace lessonry {

constexpr uint32_t kInfinite = 0xFFFFFFFFu;

class Event {
 public:
  explicit Event(bool manualReset = false, bool initiallySet = false)
      : manualReset_(manualReset), set_(initiallySet) {}
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  void set();
  void reset();
  // True when the event was set within timeoutMs (kInfinite waits forever).
  // An auto-reset event is reset by the wait that sees it set.
  bool wait(uint32_t timeoutMs = kInfinite);
  bool isSet() const;

 private:
  const bool manualReset_;
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  bool set_;
};

}  // namespace lessonry
