// CAccuracyTimer: the recorder's periodic tick timer.
//
// Wraps one periodic timer of platform/base. The timer lock is held around
// every callback and taken by Stop, so that once Stop returns no callback is
// running and later ones do nothing. Callbacks never overlap; a late tick
// delays the next one.
//
// Lock order: this timer's lock first; a callback takes the recorder's frame
// lock and the session lock inside it.
//
// Threads: SetCallback, SetPeriod, Start and Stop are called by the host's
// thread; the callback runs on the timer's own thread.
#pragma once

#include <atomic>
#include <cstdint>

#include "base/critical_section.h"
#include "base/periodic_timer.h"

namespace lessonry::capture {

class CAccuracyTimer {
 public:
  // The work of one period; returning 0 stops the timer.
  using Callback = int32_t (*)(intptr_t context, intptr_t argument);

  // A tick that starts this much after its deadline counts as late.
  static constexpr int64_t kLateThresholdMicros = 5000;

  struct Stats {
    uint64_t ticks = 0;
    uint64_t lateTicks = 0;
    int64_t maxLatenessMicros = 0;
    uint64_t droppedPeriods = 0;  // periods skipped after a long stall
  };

  CAccuracyTimer() = default;
  ~CAccuracyTimer();
  CAccuracyTimer(const CAccuracyTimer&) = delete;
  CAccuracyTimer& operator=(const CAccuracyTimer&) = delete;

  void SetCallback(Callback callback, intptr_t context);
  void SetPeriod(int32_t periodMs) { period_ = periodMs; }
  int32_t period() const { return period_; }
  // False when the period is not positive or no timer could be started.
  bool Start();
  void Stop();
  bool running() const { return running_.load(std::memory_order_acquire) != 0; }

  // Figures of the current (or last) run; resets at Start.
  Stats stats() const;

 private:
  void onTick(const TimerTick& tick);

  CriticalSection lock_;  // the timer lock
  uint32_t timerId_ = 0;  // 0: none (the original's -1)
  std::atomic<int32_t> running_{0};
  Callback callback_ = nullptr;
  int32_t period_ = 33;
  intptr_t context_ = 0;
  intptr_t argument_ = 0;

  std::atomic<uint64_t> ticks_{0};
  std::atomic<uint64_t> lateTicks_{0};
  std::atomic<int64_t> maxLateness_{0};
  std::atomic<uint64_t> dropped_{0};
};

}  // namespace lessonry::capture
