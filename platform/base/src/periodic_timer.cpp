// Periodic timers: one thread per timer, absolute deadlines, no overlap.
//
// Lock order: gRegistryMutex only, never held while a callback runs or while
// a timer thread is joined.
#include "base/periodic_timer.h"

#include <pthread.h>
#include <sched.h>

#include <atomic>
#include <cerrno>
#include <algorithm>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "base/clock.h"
#include "base/trace.h"

namespace lessonry {
namespace {

struct Timer {
  int64_t periodNs = 0;
  TimerCallback callback;
  std::atomic<bool> stop{false};
  std::atomic<uint64_t> dropped{0};
  std::thread thread;

  void run();
};

int64_t nowNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

void Timer::run() {
  // The capture tick is latency-sensitive; ask for real-time scheduling where
  // the process may have it, and carry on at normal priority where it may not.
  sched_param param{};
  param.sched_priority = 1;
  (void)pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);

  const int64_t origin = nowNs();
  uint64_t index = 0;
  while (!stop.load(std::memory_order_acquire)) {
    int64_t deadline = origin + static_cast<int64_t>(index + 1) * periodNs;
    // Sleep in slices of at most 50 ms so that a kill is noticed promptly
    // even for long periods; a kill also interrupts through the flag check.
    for (;;) {
      if (stop.load(std::memory_order_acquire)) return;
      const int64_t now = nowNs();
      if (now >= deadline) break;
      const int64_t target = std::min<int64_t>(deadline, now + 50000000LL);
      timespec ts{static_cast<time_t>(target / 1000000000LL), static_cast<long>(target % 1000000000LL)};
      while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
      }
    }
    const int64_t start = nowNs();
    TimerTick tick{deadline / 1000, start / 1000, index};
    try {
      callback(tick);
    } catch (const std::exception& e) {
      trace("periodic timer: callback threw: %s", e.what());
    } catch (...) {
      trace("periodic timer: callback threw");
    }
    ++index;
    // Fallen far behind (a stall, a debugger): skip the missed periods
    // rather than firing them back to back.
    const int64_t behind = nowNs() - (origin + static_cast<int64_t>(index + 1) * periodNs);
    if (behind > kMaxBacklogPeriods * periodNs) {
      const uint64_t skip = static_cast<uint64_t>(behind / periodNs);
      index += skip;
      dropped.fetch_add(skip, std::memory_order_relaxed);
    }
  }
}

std::mutex gRegistryMutex;
std::map<uint32_t, std::shared_ptr<Timer>> gTimers;
uint32_t gNextId = 1;

}  // namespace

uint32_t timeSetEvent(uint32_t periodMs, uint32_t /*resolutionMs*/, TimerCallback callback) {
  if (periodMs == 0 || periodMs > 0x7FFFFFFFu || !callback) return 0;
  auto timer = std::make_shared<Timer>();
  timer->periodNs = static_cast<int64_t>(periodMs) * 1000000LL;
  timer->callback = std::move(callback);
  std::lock_guard lock(gRegistryMutex);
  uint32_t id = gNextId++;
  if (gNextId == 0) gNextId = 1;
  try {
    // The thread keeps its own reference: the timer outlives its registry
    // entry when it is killed from its own callback.
    timer->thread = std::thread([t = timer] { t->run(); });
  } catch (const std::system_error&) {
    return 0;
  }
  gTimers.emplace(id, std::move(timer));
  return id;
}

bool timeKillEvent(uint32_t timerId) {
  std::shared_ptr<Timer> timer;
  {
    std::lock_guard lock(gRegistryMutex);
    auto it = gTimers.find(timerId);
    if (it == gTimers.end()) return false;
    timer = std::move(it->second);
    gTimers.erase(it);
  }
  timer->stop.store(true, std::memory_order_release);
  if (timer->thread.get_id() == std::this_thread::get_id())
    timer->thread.detach();  // killed from its own callback: ends after it returns
  else if (timer->thread.joinable())
    timer->thread.join();
  return true;
}

uint64_t timerDroppedPeriods(uint32_t timerId) {
  std::lock_guard lock(gRegistryMutex);
  auto it = gTimers.find(timerId);
  return it == gTimers.end() ? 0 : it->second->dropped.load(std::memory_order_relaxed);
}

}  // namespace lessonry
