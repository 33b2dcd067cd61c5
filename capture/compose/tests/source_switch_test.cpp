#include "source_switch.h"

#include <gtest/gtest.h>

#include "base/clock.h"
#include "fake_renders.h"

namespace {

using namespace lessonry::capture;
using lessonry::ScopedFakeClock;
using lessonry::capture::testing::FakeAudioRender;
using lessonry::capture::testing::FakeVideoRender;

TEST(SourceSwitch, TheFirstSelectionShowsAtOnceALaterOneAfter1000ms) {
  ScopedFakeClock clock(5000);
  FakeVideoRender a, b;
  CSources sources;
  sources.insert(1, &a, nullptr);
  sources.insert(2, &b, nullptr);

  sources.selectPicture(sources.find(1));
  EXPECT_EQ(sources.sourceSwitch().front()->sourceId, 1) << "the list holds only the new entry";
  EXPECT_EQ(a.users, 1);
  sources.sourceSwitch().progressStep();  // 0 ms: still switching
  clock.advance(1000);
  sources.sourceSwitch().progressStep();  // done
  EXPECT_FALSE(sources.sourceSwitch().switching());

  sources.selectPicture(sources.find(2));
  EXPECT_EQ(b.users, 1);
  struct Step {
    uint32_t at;
    int32_t shown;
    int32_t progress;
  } steps[] = {
      {0, 1, 0}, {500, 1, 50}, {994, 1, 99},
      {995, 2, 100},  // MulDiv rounds 99.5 up: the switch ends 5 ms early
      {1500, 2, 100}};
  const uint32_t start = clock.now();
  for (const auto& s : steps) {
    clock.set(start + s.at);
    sources.sourceSwitch().progressStep();
    EXPECT_EQ(sources.sourceSwitch().front()->sourceId, s.shown) << s.at;
    EXPECT_EQ(sources.sourceSwitch().progress(), s.progress) << s.at;
  }
  EXPECT_EQ(a.users, 0) << "the previous source is counted down when the switch finishes";
  EXPECT_EQ(b.users, 1);
}

TEST(SourceSwitch, UnknownOrUnconnectedSourcesChangeNothingAndDuplicatesActOnTheFirst) {
  ScopedFakeClock clock(0);
  FakeVideoRender first, second, off;
  off.connected = false;
  CSources sources;
  sources.insert(7, &first, nullptr);
  sources.insert(7, &second, nullptr);
  sources.insert(9, &off, nullptr);
  EXPECT_EQ(sources.find(42), nullptr);
  sources.selectPicture(sources.find(42));
  EXPECT_EQ(sources.sourceSwitch().front(), nullptr);
  sources.selectPicture(sources.find(9));
  EXPECT_EQ(sources.sourceSwitch().front(), nullptr);
  EXPECT_EQ(off.users, 0);

  sources.selectPicture(sources.find(7));
  EXPECT_EQ(first.users, 1);
  EXPECT_EQ(second.users, 0);
  // Removing the source under switch takes it out of the switch too.
  sources.remove(7);
  EXPECT_EQ(sources.sourceSwitch().front(), nullptr);
  clock.advance(2000);
  sources.sourceSwitch().progressStep();  // must not touch the freed entry
  EXPECT_EQ(sources.find(7)->video, &second);
  sources.remove(1234);  // not in the list: nothing happens
}

TEST(SourceSwitch, SoundFollowsTheSelectionOrFallsBackToTheFirstConnected) {
  FakeAudioRender micA, micB, micOff;
  micOff.connected = false;
  FakeVideoRender cam;
  CSources sources;
  sources.insert(1, &cam, &micOff);
  sources.insert(2, &cam, &micA);
  sources.insert(3, &cam, &micB);
  // No sound chosen yet and the selected source has none: the first inserted
  // source with connected sound gives it.
  EXPECT_EQ(sources.chooseAudio(sources.find(1), nullptr), &micA);
  // Sound already chosen: an unconnected selection keeps it.
  EXPECT_EQ(sources.chooseAudio(sources.find(1), &micB), nullptr);
  EXPECT_EQ(sources.chooseAudio(sources.find(3), &micA), &micB);
  EXPECT_EQ(sources.chooseAudio(nullptr, &micA), nullptr);
}

}  // namespace
