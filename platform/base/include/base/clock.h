// System clocks of the Windows model over CLOCK_MONOTONIC.
//
// timeGetTime and GetTickCount count milliseconds since an arbitrary origin
// and wrap at 2^32 like their originals; callers compare them with unsigned
// differences. A test may put a fake clock in place (ScopedFakeClock) to drive
// time-dependent rules exactly; the fake is process-wide and affects every
// caller of this copy of the base library.
#pragma once

#include <cstdint>

#include "base/win_types.h"

uint32_t timeGetTime();
uint32_t GetTickCount();
void Sleep(uint32_t milliseconds);
// number * numerator / denominator with a 64-bit intermediate, rounded half
// away from zero; -1 when denominator is 0 or the result does not fit 32 bits.
int32_t MulDiv(int32_t number, int32_t numerator, int32_t denominator);

namespace lessonry {

// Monotonic microseconds, for measurements finer than a millisecond.
int64_t monotonicMicros();

// Replaces the millisecond clock while alive. Not for concurrent nesting.
class ScopedFakeClock {
 public:
  explicit ScopedFakeClock(uint32_t startMs);
  ~ScopedFakeClock();
  ScopedFakeClock(const ScopedFakeClock&) = delete;
  ScopedFakeClock& operator=(const ScopedFakeClock&) = delete;

  void set(uint32_t nowMs);
  void advance(uint32_t deltaMs);
  uint32_t now() const;
};

}  // namespace lessonry
