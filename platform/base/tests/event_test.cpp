#include "base/event.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using lessonry::Event;

TEST(Event, AutoResetReleasesOneWaitAndManualResetStaysSet) {
  Event autoEvent(false, true);
  EXPECT_TRUE(autoEvent.wait(0));
  EXPECT_FALSE(autoEvent.wait(10));

  Event manual(true, false);
  EXPECT_FALSE(manual.wait(0));
  manual.set();
  EXPECT_TRUE(manual.wait(0));
  EXPECT_TRUE(manual.wait(0));
  manual.reset();
  EXPECT_FALSE(manual.isSet());
}

TEST(Event, SetFromAnotherThreadWakesAnInfiniteWait) {
  Event event;
  std::thread setter([&] { event.set(); });
  EXPECT_TRUE(event.wait());
  setter.join();
}

}  // namespace
