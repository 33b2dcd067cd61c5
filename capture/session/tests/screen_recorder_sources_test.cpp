// The recorder's control methods around the composition, with a fake screen
// grabber and pretend camera renders: which source gives the sound, the PCM
// callback's moves, SetCompositeMode refused while recording, and the
// buffers released by StopEncode.
#include <gtest/gtest.h>

#include <filesystem>

#include "../../compose/tests/fake_renders.h"
#include "../../screen/tests/fake_screen.h"
#include "screen_recorder.h"
#include "temp_dir.h"
#include "testing/media_check.h"
#include "base/clock.h"

namespace {

using namespace lessonry::capture;
using lessonry::capture::testing::FakeAudioRender;
using lessonry::capture::testing::FakeVideoRender;
using lessonry::capture::testing::TempDir;
using lessonry::testing::fake;
using lessonry::testing::kFakeVga;

// Three pretend camera controls: 1 and 2 with sound, 3 without.
struct Cameras {
  FakeVideoRender video[3];
  FakeAudioRender audio[3];
  Cameras() {
    audio[2].connected = false;
    for (auto& v : video) v.setPicture(64, 48, 24, 1, 2, 3);
  }
  void insertInto(CScreenRecorder& recorder) {
    for (int i = 0; i < 3; ++i) recorder.InsertSource(i + 1, &video[i], &audio[i]);
  }
};

TEST(ScreenRecorderSources, SoundFollowsTheSelectionUnlessItsRenderIsNotConnected) {
  fake.reset(64, 48);
  struct Case {
    const char* name;
    std::vector<int32_t> selections;
    int expectedAudio;  // index into Cameras::audio, -1: none
  };
  const Case cases[] = {
      {"an id never inserted changes nothing", {42}, -1},
      {"the selected source gives the sound", {2}, 1},
      {"no sound yet and none at the selected: the first connected source's", {3}, 0},
      {"a source without sound keeps the previous sound", {2, 3}, 1},
      {"a later selection moves the sound", {1, 2}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Cameras cameras;
    {
      CScreenRecorder recorder(kFakeVga);
      cameras.insertInto(recorder);
      for (int32_t id : c.selections) EXPECT_EQ(recorder.SelectSource(id), 0);
      for (int i = 0; i < 3; ++i) {
        const bool chosen = i == c.expectedAudio;
        EXPECT_EQ(cameras.audio[i].context, chosen ? static_cast<void*>(&recorder) : nullptr) << "source " << i + 1;
      }
      EXPECT_EQ(recorder.currentAudio(), c.expectedAudio < 0 ? nullptr : &cameras.audio[c.expectedAudio]);
    }
    // The recorder takes its callback off the render when it goes.
    for (const auto& a : cameras.audio) EXPECT_EQ(a.callback, nullptr);
  }
}

TEST(ScreenRecorderSources, SameIdActsOnTheFirstAndRemovingTheSoundSourceTakesTheCallbackOff) {
  fake.reset(64, 48);
  FakeVideoRender v1, v2;
  FakeAudioRender a1, a2;
  CScreenRecorder recorder(kFakeVga);
  recorder.InsertSource(5, &v1, &a1);
  recorder.InsertSource(5, &v2, &a2);
  recorder.SelectSource(5);
  EXPECT_EQ(v1.users, 1);
  EXPECT_EQ(v2.users, 0);
  EXPECT_EQ(a1.context, &recorder);
  EXPECT_EQ(a2.context, nullptr);

  recorder.RemoveSource(5);  // the first entry, the one giving picture and sound
  EXPECT_EQ(a1.callback, nullptr);
  EXPECT_EQ(recorder.currentAudio(), nullptr);
  recorder.SelectSource(5);  // now the second
  EXPECT_EQ(v2.users, 1);
  EXPECT_EQ(a2.context, &recorder);
  EXPECT_EQ(recorder.RemoveSource(99), 0);
}

TEST(ScreenRecorderSources, PcmFromTheSelectedRenderReachesTheSession) {
  fake.reset(64, 48);
  TempDir dir;
  FakeVideoRender video;
  FakeAudioRender audio;
  video.setPicture(64, 48, 24, 9, 9, 9);
  CScreenRecorder recorder(kFakeVga);
  recorder.InsertSource(1, &video, &audio);
  recorder.SelectSource(1);
  ASSERT_TRUE(recorder.SetCompositeMode(2, 0, 0));
  ASSERT_EQ(recorder.StartEncode(dir.file("s").c_str(), EFT_MP4, 300, 25, kEncodeModeFile), 0);
  ASSERT_NE(audio.callback, nullptr);
  std::vector<uint8_t> pcm(882 * 4, 0);
  SampleInfo info{kSampleKindPcm, static_cast<int32_t>(pcm.size()), 0};
  for (int i = 0; i < 3; ++i) audio.callback(&info, pcm.data(), audio.context);
  EXPECT_EQ(recorder.counters().session.pcmBlocks, 3u);
  recorder.StopEncode();
}

TEST(ScreenRecorderSources, CompositeModeIsPreparedBeforeAndReleasedAfterARecording) {
  fake.reset(64, 48);
  TempDir dir;
  CScreenRecorder recorder(kFakeVga);
  EXPECT_EQ(recorder.StartEncode(dir.file("none").c_str(), EFT_MP4, 300, 25, kEncodeModeFile), E_INVALIDARG)
      << "nothing prepared";
  ASSERT_TRUE(recorder.SetCompositeMode(2, 0, 0));
  EXPECT_EQ(recorder.StartEncode(dir.file("none").c_str(), EFT_MP4, 300, 25, kEncodeModeFile), E_INVALIDARG)
      << "mode 2 without a source prepares nothing";

  recorder.SendVGACutRect(8, 4, 32, 16, false);
  ASSERT_TRUE(recorder.SetCompositeMode(0, 0, 0));
  EXPECT_EQ(recorder.encodeHeader().biWidth, 32);
  EXPECT_EQ(recorder.encodeHeader().biHeight, -16) << "announced top-down";
  ASSERT_EQ(recorder.StartEncode(dir.file("r").c_str(), EFT_MP4, 300, 25, kEncodeModeFile), 0);
  EXPECT_FALSE(recorder.SetCompositeMode(1, 400, 300)) << "refused while recording";
  EXPECT_EQ(recorder.encodeHeader().biWidth, 32);
  recorder.captureTick();
  recorder.StopEncode();
  EXPECT_EQ(recorder.composition().frameSize(), 0u);
  EXPECT_FALSE(recorder.composition().effects().bound());
  EXPECT_FALSE(recorder.screen().regionSet());
  EXPECT_EQ(recorder.StartEncode(dir.file("again").c_str(), EFT_MP4, 300, 25, kEncodeModeFile), E_INVALIDARG)
      << "each recording is prepared by its own SetCompositeMode";
  EXPECT_TRUE(std::filesystem::exists(dir.file("r.mp4")));
}

// Without a display the grabber gives no pictures: the recording still runs
// and writes black pictures with the logo.
TEST(ScreenRecorderSources, NoScreenPictureStillRecords) {
  fake.reset(64, 48);
  fake.deliver = false;
  TempDir dir;
  CScreenRecorder recorder(kFakeVga);
  ASSERT_TRUE(recorder.SetCompositeMode(0, 0, 0));
  ASSERT_EQ(recorder.StartEncode(dir.file("black").c_str(), EFT_MP4, 300, 25, kEncodeModeFile), 0);
  for (int i = 0; i < 5; ++i) recorder.captureTick();
  EXPECT_GE(recorder.composition().counters().screenMisses, 5u);
  EXPECT_EQ(recorder.counters().ticksWithoutPicture, 0u);
  recorder.StopEncode();
  EXPECT_GE(recorder.counters().session.picturesEncoded, 5u);
  fake.deliver = true;
}

// A recorder destroyed while recording finishes the file first and only
// then releases the screen grabber, so no tick captures with a deleted handle.
TEST(ScreenRecorderSources, DestructionEndsTheRecordingThenReleasesTheGrabber) {
  fake.reset(64, 48);
  TempDir dir;
  {
    CScreenRecorder recorder(kFakeVga);
    ASSERT_TRUE(recorder.SetCompositeMode(0, 0, 0));
    ASSERT_EQ(recorder.StartEncode(dir.file("d").c_str(), EFT_MP4, 300, 25, kEncodeModeFile), 0);
    Sleep(200);  // some real ticks
    fake.calls.clear();
  }
  EXPECT_EQ(fake.calls, (std::vector<std::string>{"shutDown", "delete"}));
  const auto info = lessonry::testing::probeFile(dir.file("d.mp4"));
  ASSERT_TRUE(info.opened) << info.error;
  ASSERT_NE(info.track("h264"), nullptr);
  EXPECT_GT(info.track("h264")->packets, 0);
}

}  // namespace
