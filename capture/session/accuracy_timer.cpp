#include "accuracy_timer.h"

namespace lessonry::capture {

CAccuracyTimer::~CAccuracyTimer() { Stop(); }

void CAccuracyTimer::SetCallback(Callback callback, intptr_t context) {
  CAutoLock lock(lock_);
  callback_ = callback;
  context_ = context;
  argument_ = 0;
}

bool CAccuracyTimer::Start() {
  if (period_ <= 0) return false;
  Stop();
  ticks_ = 0;
  lateTicks_ = 0;
  maxLateness_ = 0;
  dropped_ = 0;
  running_.store(1, std::memory_order_release);
  timerId_ = timeSetEvent(static_cast<uint32_t>(period_), 0, [this](const TimerTick& tick) { onTick(tick); });
  if (timerId_ == 0) {
    running_.store(0, std::memory_order_release);
    return false;
  }
  return true;
}

void CAccuracyTimer::onTick(const TimerTick& tick) {
  CAutoLock lock(lock_);
  if (!running_.load(std::memory_order_acquire) || !callback_) return;
  const int64_t lateness = tick.startMicros - tick.deadlineMicros;
  ticks_.fetch_add(1, std::memory_order_relaxed);
  if (lateness > kLateThresholdMicros) lateTicks_.fetch_add(1, std::memory_order_relaxed);
  if (lateness > maxLateness_.load(std::memory_order_relaxed)) maxLateness_.store(lateness, std::memory_order_relaxed);
  if (callback_(context_, argument_) == 0) {
    // Asked to stop from inside the tick: the platform timer ends after
    // this callback returns.
    dropped_.fetch_add(timerDroppedPeriods(timerId_), std::memory_order_relaxed);
    timeKillEvent(timerId_);
    timerId_ = 0;
    running_.store(0, std::memory_order_release);
  }
}

void CAccuracyTimer::Stop() {
  uint32_t id;
  {
    CAutoLock lock(lock_);
    id = timerId_;
    timerId_ = 0;
  }
  if (id != 0) {
    dropped_.fetch_add(timerDroppedPeriods(id), std::memory_order_relaxed);
    // Not under the timer lock: killing waits for a callback in progress,
    // which holds that lock.
    timeKillEvent(id);
  }
  CAutoLock lock(lock_);
  running_.store(0, std::memory_order_release);
}

CAccuracyTimer::Stats CAccuracyTimer::stats() const {
  Stats s;
  s.ticks = ticks_.load(std::memory_order_relaxed);
  s.lateTicks = lateTicks_.load(std::memory_order_relaxed);
  s.maxLatenessMicros = maxLateness_.load(std::memory_order_relaxed);
  s.droppedPeriods = dropped_.load(std::memory_order_relaxed);
  return s;
}

}  // namespace lessonry::capture
