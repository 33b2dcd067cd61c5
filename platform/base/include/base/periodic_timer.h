// The periodic multimedia timer, over a thread of its own.
//
// Each timer owns one thread that sleeps to absolute deadlines
// (clock_nanosleep with TIMER_ABSTIME on CLOCK_MONOTONIC): deadline n is
// start + n * period, so callback start times do not drift however long each
// callback takes. Callbacks of one timer never overlap; a callback that
// overruns makes the next one start late (immediately), and when the timer
// falls more than kMaxBacklogPeriods behind it drops the missed periods and
// counts them instead of firing a burst.
//
// timeKillEvent returns only when no callback of that timer is running any
// more, except when called from the timer's own callback, where it ends the
// timer after that callback returns.
#pragma once

#include <cstdint>
#include <functional>

namespace lessonry {

struct TimerTick {
  int64_t deadlineMicros;  // when this period was due, monotonicMicros() scale
  int64_t startMicros;     // when the callback actually started
  uint64_t index;          // 0 for the first period
};

using TimerCallback = std::function<void(const TimerTick&)>;

// Starts a periodic timer; returns its id (never 0) or 0 when the period is
// not positive or no thread can be started. The first callback is due one
// period after the call. resolutionMs is accepted for the Windows shape; the
// timer always runs at the finest resolution the clock gives.
uint32_t timeSetEvent(uint32_t periodMs, uint32_t resolutionMs, TimerCallback callback);
// Stops the timer; false for an unknown id.
bool timeKillEvent(uint32_t timerId);
// Periods dropped so far by that timer because it fell behind; 0 when unknown.
uint64_t timerDroppedPeriods(uint32_t timerId);

constexpr int kMaxBacklogPeriods = 25;

}  // namespace lessonry
