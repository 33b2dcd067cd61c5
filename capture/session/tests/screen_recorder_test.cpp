// The recorder: start, stop, pause arithmetic and the capture tick, with the
// clock under the test's control; then real-time recordings read back from
// the file, including one whose process is killed mid-recording.
#include "screen_recorder.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "base/clock.h"
#include "base/event.h"
#include "base/periodic_timer.h"
#include "temp_dir.h"
#include "testing/media_check.h"

namespace {

using namespace lessonry::capture;
using lessonry::ScopedFakeClock;
using lessonry::capture::testing::TempDir;
namespace fs = std::filesystem;

// Moving test pictures; counts the pictures it produced.
struct MovingSource {
  std::atomic<int> produced{0};
  CScreenRecorder::PictureSource bind() {
    return [this](BYTE* frame, size_t size, const BITMAPINFOHEADER& h) {
      const auto p = lessonry::testing::movingPicture(h.biWidth, -h.biHeight, produced);
      std::copy(p.begin(), p.begin() + static_cast<ptrdiff_t>(std::min(size, p.size())), frame);
      ++produced;
      return true;
    };
  }
};

// A tone as an audio render delivers it, into the recorder's audio feed.
class ToneFeed : public lessonry::testing::ToneFeed {
 public:
  explicit ToneFeed(CScreenRecorder& recorder)
      : lessonry::testing::ToneFeed([&recorder](const uint8_t* pcm, int32_t bytes) { recorder.onAudioBlock(pcm, bytes); },
                                    0.3) {}
};

TEST(ScreenRecorder, TickPeriodIs1000ByRateAndBadRatesAreRefused) {
  struct Case {
    int32_t rate;
    int32_t result;
    int32_t period;
  } cases[] = {{25, 0, 40}, {30, 0, 33}, {10, 0, 100}, {0, E_INVALIDARG, -1}, {-5, E_INVALIDARG, -1}};
  for (const auto& c : cases) {
    TempDir dir;
    CScreenRecorder recorder;
    ASSERT_TRUE(recorder.setEncodeFormat(64, 48));
    EXPECT_EQ(recorder.StartEncode(dir.file("r").c_str(), EFT_MP4, 300, c.rate, kEncodeModeFile), c.result);
    if (c.period > 0) {
      EXPECT_EQ(recorder.tickPeriod(), c.period);
    }
    EXPECT_EQ(recorder.session().started(), c.result == 0);
    recorder.StopEncode();
    EXPECT_EQ(fs::exists(dir.file("r.mp4")), c.result == 0);
  }
}

TEST(ScreenRecorder, AviStartsNothingAndStopWithoutStartDoesNothing) {
  TempDir dir;
  CScreenRecorder recorder;
  recorder.StopEncode();
  ASSERT_TRUE(recorder.setEncodeFormat(64, 48));
  EXPECT_EQ(recorder.StartEncode(dir.file("a").c_str(), EFT_AVI, 300, 25, kEncodeModeFile), 1);
  Sleep(100);
  EXPECT_EQ(recorder.counters().ticks, 0u) << "no tick timer";
  EXPECT_TRUE(fs::is_empty(dir.path()));
  // The session counts as started until the host's StopEncode, as after
  // any start; a second start before that is refused.
  EXPECT_TRUE(recorder.session().started());
  EXPECT_EQ(recorder.StartEncode(dir.file("b").c_str(), EFT_MP4, 300, 25, kEncodeModeFile), E_UNEXPECTED);
  recorder.StopEncode();
  EXPECT_FALSE(recorder.session().started());
  EXPECT_TRUE(fs::is_empty(dir.path()));
  EXPECT_FALSE(recorder.setEncodeFormat(0, 48));
  EXPECT_FALSE(recorder.setEncodeFormat(64, -1));
}

TEST(ScreenRecorder, PauseArithmeticOfPictureAndAudioTimeStamps) {
  TempDir dir;
  ScopedFakeClock clock(100000);
  CScreenRecorder recorder;
  MovingSource source;
  ASSERT_TRUE(recorder.setEncodeFormat(64, 48));
  recorder.setPictureSource(source.bind());
  ASSERT_EQ(recorder.StartEncode(dir.file("p").c_str(), EFT_MP4, 300, 25, kEncodeModeFile), 0);
  std::vector<int16_t> pcm(882 * 2, 0);
  auto audio = [&] { recorder.onAudioBlock(reinterpret_cast<const BYTE*>(pcm.data()), 882 * 4); };

  clock.advance(1000);
  recorder.captureTick();
  EXPECT_EQ(recorder.lastPictureTimeStamp(), 1000);

  EXPECT_EQ(recorder.SetEncodePause(true), 0);
  clock.advance(5000);
  const int before = source.produced;
  recorder.captureTick();
  EXPECT_EQ(source.produced, before) << "no picture while paused";
  audio();
  EXPECT_EQ(recorder.lastAudioTimeStamp(), 0) << "no audio while paused";
  EXPECT_EQ(recorder.SetEncodePause(false), 0);
  EXPECT_EQ(recorder.pausedTotal(), 5000);

  clock.advance(40);
  recorder.captureTick();
  EXPECT_EQ(recorder.lastPictureTimeStamp(), 1040) << "pictures continue where they stopped";
  audio();
  EXPECT_EQ(recorder.lastAudioTimeStamp(), 6040) << "audio time jumps by the pause";

  // Two pauses without a resume count only the time since the second.
  recorder.SetEncodePause(true);
  clock.advance(3000);
  recorder.SetEncodePause(true);
  clock.advance(2000);
  recorder.SetEncodePause(false);
  EXPECT_EQ(recorder.pausedTotal(), 7000);
  EXPECT_EQ(recorder.SetEncodePause(false), 0) << "resume when not paused changes nothing";
  EXPECT_EQ(recorder.pausedTotal(), 7000);

  // The paused flag survives StopEncode.
  recorder.SetEncodePause(true);
  recorder.StopEncode();
  EXPECT_TRUE(recorder.paused());
  EXPECT_EQ(recorder.pausedTotal(), 0);
  EXPECT_EQ(recorder.lastPictureTimeStamp(), 0);
}

TEST(ScreenRecorder, RecordsPicturesAndSoundInRealTime) {
  TempDir dir;
  CScreenRecorder recorder;
  MovingSource source;
  ASSERT_TRUE(recorder.setEncodeFormat(320, 240));
  recorder.setPictureSource(source.bind());
  recorder.SetEncodePause(false);
  ASSERT_EQ(recorder.StartEncode(dir.file("live").c_str(), EFT_MP4, 500, 25, kEncodeModeFile), 0);
  {
    ToneFeed tone(recorder);
    Sleep(2000);
    recorder.SetEncodePause(true);
    Sleep(500);
    recorder.SetEncodePause(false);
    Sleep(1000);
  }
  recorder.StopEncode();
  const auto counters = recorder.counters();

  const auto info = lessonry::testing::probeFile(dir.file("live.mp4"));
  ASSERT_TRUE(info.opened) << info.error;
  ASSERT_EQ(info.tracks.size(), 2u);
  const auto* video = info.track("h264");
  const auto* audio = info.track("aac");
  ASSERT_NE(video, nullptr);
  ASSERT_NE(audio, nullptr);
  EXPECT_TRUE(video->firstPacketKey);
  EXPECT_EQ(video->firstPts, 0) << "first picture is stamped at the start, not later";
  EXPECT_EQ(static_cast<uint64_t>(video->packets), counters.session.picturesWritten);
  EXPECT_EQ(static_cast<uint64_t>(audio->packets), counters.session.audioFramesWritten);
  // 3 s recorded (the 0.5 s pause is not): the picture track covers it.
  EXPECT_NEAR(video->durationSeconds, 3.0, 0.25);
  EXPECT_NEAR(audio->durationSeconds, 3.0, 0.25);
  // Pictures: one per tick; the encoder keeps its last few at Stop.
  EXPECT_GE(video->packets, static_cast<int64_t>(source.produced) - 4);
  EXPECT_LE(video->packets, static_cast<int64_t>(source.produced));
  std::vector<lessonry::testing::DecodedPicture> pictures;
  int64_t samples = 0;
  ASSERT_TRUE(lessonry::testing::decodeFile(dir.file("live.mp4"), &pictures, &samples));
  EXPECT_EQ(static_cast<int64_t>(pictures.size()), video->packets);
}

TEST(ScreenRecorder, AFileCutShortByKillStillOpensAndDecodes) {
  TempDir dir;
  const std::string base = dir.file("killed");
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // The child records until it is killed.
    CScreenRecorder recorder;
    MovingSource source;
    recorder.setEncodeFormat(640, 480);
    recorder.setPictureSource(source.bind());
    if (recorder.StartEncode(base.c_str(), EFT_MP4, 800, 25, kEncodeModeFile) != 0) _exit(3);
    ToneFeed tone(recorder);
    Sleep(60000);
    _exit(4);
  }
  // Wait until the file holds more than its header, then a little longer.
  for (int i = 0; i < 200 && !(fs::exists(base + ".mp4") && fs::file_size(base + ".mp4") > 100000); ++i)
    Sleep(50);
  Sleep(1500);
  kill(child, SIGKILL);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status)) << "the child ended by itself: " << WEXITSTATUS(status);

  const auto info = lessonry::testing::probeFile(base + ".mp4");
  ASSERT_TRUE(info.opened) << info.error;
  const auto* video = info.track("h264");
  ASSERT_NE(video, nullptr);
  EXPECT_NE(info.track("aac"), nullptr);
  EXPECT_GE(video->packets, 25) << "at least a second of pictures survived";
  EXPECT_TRUE(video->firstPacketKey);
  std::vector<lessonry::testing::DecodedPicture> pictures;
  ASSERT_TRUE(lessonry::testing::decodeFile(base + ".mp4", &pictures, nullptr));
  EXPECT_EQ(static_cast<int64_t>(pictures.size()), video->packets);
}

}  // namespace
