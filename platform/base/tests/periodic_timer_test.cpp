#include "base/periodic_timer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "base/clock.h"
#include "base/event.h"

namespace {

using namespace lessonry;

TEST(PeriodicTimer, RefusesZeroPeriodAndUnknownIds) {
  EXPECT_EQ(timeSetEvent(0, 0, [](const TimerTick&) {}), 0u);
  EXPECT_EQ(timeSetEvent(10, 0, nullptr), 0u);
  EXPECT_FALSE(timeKillEvent(0xDEAD));
}

TEST(PeriodicTimer, DeadlinesAreAbsoluteAndCallbacksNeverOverlap) {
  std::mutex m;
  std::vector<TimerTick> ticks;
  std::atomic<int> inside{0};
  std::atomic<bool> overlapped{false};
  Event tenTicks(true);
  const uint32_t id = timeSetEvent(5, 0, [&](const TimerTick& t) {
    if (inside.fetch_add(1) != 0) overlapped = true;
    // Every third callback overruns its period: the next must wait for it.
    if (t.index % 3 == 0) Sleep(8);
    {
      std::lock_guard lock(m);
      ticks.push_back(t);
      if (ticks.size() == 10) tenTicks.set();
    }
    inside.fetch_sub(1);
  });
  ASSERT_NE(id, 0u);
  ASSERT_TRUE(tenTicks.wait(5000));
  EXPECT_TRUE(timeKillEvent(id));
  std::lock_guard lock(m);
  EXPECT_FALSE(overlapped);
  for (size_t i = 1; i < ticks.size(); ++i) {
    EXPECT_EQ(ticks[i].index, ticks[i - 1].index + 1);
    // Deadlines follow the start, not the previous callback's end.
    EXPECT_NEAR(ticks[i].deadlineMicros - ticks[0].deadlineMicros, static_cast<int64_t>(i) * 5000, 1);
    EXPECT_GE(ticks[i].startMicros, ticks[i - 1].startMicros);
  }
}

TEST(PeriodicTimer, KillWaitsForTheRunningCallbackAndNothingRunsAfter) {
  std::atomic<int> calls{0};
  std::atomic<bool> running{false};
  Event entered(true);
  const uint32_t id = timeSetEvent(2, 0, [&](const TimerTick&) {
    running = true;
    entered.set();
    Sleep(30);
    calls++;
    running = false;
  });
  ASSERT_TRUE(entered.wait(5000));
  EXPECT_TRUE(timeKillEvent(id));
  EXPECT_FALSE(running);
  const int after = calls;
  Sleep(20);
  EXPECT_EQ(calls, after);
  EXPECT_FALSE(timeKillEvent(id));
}

TEST(PeriodicTimer, CanBeKilledFromItsOwnCallback) {
  // The callback goes on after it killed its timer, so what it touches is
  // shared with it rather than borrowed from this scope.
  struct State {
    std::atomic<uint32_t> id{0};
    std::atomic<int> calls{0};
    Event killed{true};
  };
  auto state = std::make_shared<State>();
  state->id = timeSetEvent(2, 0, [state](const TimerTick&) {
    while (state->id == 0) std::this_thread::yield();
    if (++state->calls == 3) {
      EXPECT_TRUE(timeKillEvent(state->id));
      state->killed.set();
    }
  });
  ASSERT_TRUE(state->killed.wait(5000));
  Sleep(20);
  EXPECT_EQ(state->calls, 3);
}

}  // namespace
