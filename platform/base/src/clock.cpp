// Millisecond clocks over CLOCK_MONOTONIC, with a process-wide fake for tests.
#include "base/clock.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <ctime>

namespace {

std::atomic<bool> gFakeOn{false};
std::atomic<uint32_t> gFakeNow{0};

int64_t monotonicNanos() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

}  // namespace

uint32_t timeGetTime() {
  if (gFakeOn.load(std::memory_order_acquire)) return gFakeNow.load(std::memory_order_acquire);
  return static_cast<uint32_t>(static_cast<uint64_t>(monotonicNanos() / 1000000));
}

uint32_t GetTickCount() { return timeGetTime(); }

void Sleep(uint32_t milliseconds) {
  timespec ts{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) == -1 && errno == EINTR) {
  }
}

int32_t MulDiv(int32_t number, int32_t numerator, int32_t denominator) {
  if (denominator == 0) return -1;
  const int64_t product = static_cast<int64_t>(number) * numerator;
  // Round half away from zero, as the Windows original does.
  const bool negative = (product < 0) != (denominator < 0);
  const int64_t magnitude = std::llabs(product);
  const int64_t divisor = std::llabs(static_cast<int64_t>(denominator));
  const int64_t rounded = (magnitude + divisor / 2) / divisor;
  const int64_t result = negative ? -rounded : rounded;
  if (result > INT32_MAX || result < INT32_MIN) return -1;
  return static_cast<int32_t>(result);
}

namespace lessonry {

int64_t monotonicMicros() { return monotonicNanos() / 1000; }

ScopedFakeClock::ScopedFakeClock(uint32_t startMs) {
  gFakeNow.store(startMs, std::memory_order_release);
  gFakeOn.store(true, std::memory_order_release);
}
ScopedFakeClock::~ScopedFakeClock() { gFakeOn.store(false, std::memory_order_release); }
void ScopedFakeClock::set(uint32_t nowMs) { gFakeNow.store(nowMs, std::memory_order_release); }
void ScopedFakeClock::advance(uint32_t deltaMs) { gFakeNow.fetch_add(deltaMs, std::memory_order_acq_rel); }
uint32_t ScopedFakeClock::now() const { return gFakeNow.load(std::memory_order_acquire); }

}  // namespace lessonry
