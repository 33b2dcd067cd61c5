#include "base/clock.h"

#include <gtest/gtest.h>

namespace {

TEST(MulDiv, RoundsHalfAwayFromZeroAndRefusesWhatDoesNotFit) {
  struct Case {
    int32_t a, b, c, expected;
  } cases[] = {
      {10, 3, 4, 8},               // 7.5 -> 8
      {-10, 3, 4, -8},             // -7.5 -> -8
      {10, -3, 4, -8},
      {10, 3, -4, -8},
      {-10, -3, -4, -8},
      {7, 1, 3, 2},                // 2.33 -> 2
      {1920, 400, 2320, 331},      // 331.03
      {0x7FFFFFFF, 2, 2, 0x7FFFFFFF},  // 64-bit intermediate
      {0x7FFFFFFF, 2, 1, -1},      // does not fit
      {5, 5, 0, -1},               // division by zero
  };
  for (const auto& c : cases) EXPECT_EQ(MulDiv(c.a, c.b, c.c), c.expected) << c.a << "*" << c.b << "/" << c.c;
}

TEST(Clock, FakeClockReplacesAndRestoresTheMillisecondClock) {
  {
    lessonry::ScopedFakeClock fake(0xFFFFFFF0u);
    EXPECT_EQ(timeGetTime(), 0xFFFFFFF0u);
    fake.advance(0x20);
    EXPECT_EQ(timeGetTime(), 0x10u);  // wraps like the original
    EXPECT_EQ(GetTickCount(), 0x10u);
  }
  const uint32_t a = timeGetTime();
  Sleep(20);
  const uint32_t b = timeGetTime();
  EXPECT_GE(b - a, 20u);
}

}  // namespace
