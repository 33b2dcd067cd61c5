// The encode session recording in real time at 2320 x 1080, 25 pictures per
// second, with sound: late ticks, pictures written against expected, and CPU
// seconds per recorded second.
//
// Usage: session_bench [seconds]   (default 60)
#include <sys/resource.h>

#include <cstdio>
#include <optional>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "base/clock.h"
#include "base/periodic_timer.h"
#include "screen_recorder.h"
#include "testing/media_check.h"

namespace {

double selfCpu() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace lessonry::capture;
  const int seconds = argc > 1 ? std::max(2, std::atoi(argv[1])) : 60;
  const int width = 2320, height = 1080;
  const auto dir = std::filesystem::temp_directory_path() / ("lessonry-session-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string base = (dir / "bench").string();

  // Pictures are made before the run; a tick only copies one, as a capture would.
  std::vector<std::vector<uint8_t>> pictures;
  for (int i = 0; i < 25; ++i) pictures.push_back(lessonry::testing::movingPicture(width, height, i));
  CScreenRecorder recorder;
  recorder.setEncodeFormat(width, height);
  size_t next = 0;
  recorder.setPictureSource([&](BYTE* out, size_t size, const BITMAPINFOHEADER&) {
    const auto& p = pictures[next++ % pictures.size()];
    std::copy(p.begin(), p.begin() + static_cast<ptrdiff_t>(std::min(size, p.size())), out);
    return true;
  });

  const double cpuStart = selfCpu();
  if (recorder.StartEncode(base.c_str(), EFT_MP4, 1000, 25, kEncodeModeFile) != 0) {
    std::fprintf(stderr, "session_bench: start failed\n");
    return 1;
  }
  std::optional<lessonry::testing::ToneFeed> tone;
  tone.emplace([&](const uint8_t* pcm, int32_t bytes) { recorder.onAudioBlock(pcm, bytes); });
  Sleep(static_cast<uint32_t>(seconds) * 1000);
  tone.reset();
  const auto c = recorder.counters();
  recorder.StopEncode();
  const double cpu = selfCpu() - cpuStart;

  const auto info = lessonry::testing::probeFile(base + ".mp4");
  const auto* video = info.track("h264");
  const long expected = static_cast<long>(seconds) * 25;
  std::printf("encode session, %dx%d at 25/s for %d s\n", width, height, seconds);
  std::printf("  ticks: %llu, late (> %.0f ms): %llu = %.2f %% (target < 1 %%), latest %.1f ms, periods dropped %llu\n",
              static_cast<unsigned long long>(c.ticks), CAccuracyTimer::kLateThresholdMicros / 1000.0,
              static_cast<unsigned long long>(c.lateTicks), c.ticks ? 100.0 * c.lateTicks / c.ticks : 0.0,
              c.maxLatenessMicros / 1000.0, static_cast<unsigned long long>(c.droppedPeriods));
  std::printf("  pictures: expected %ld, encoded %llu, written %llu, in file %lld (the encoder keeps its last few at stop)\n",
              expected, static_cast<unsigned long long>(c.session.picturesEncoded),
              static_cast<unsigned long long>(c.session.picturesWritten),
              video ? static_cast<long long>(video->packets) : -1LL);
  std::printf("  ticks without picture: %llu; audio frames written: %llu\n",
              static_cast<unsigned long long>(c.ticksWithoutPicture),
              static_cast<unsigned long long>(c.session.audioFramesWritten));
  std::printf("  CPU: %.3f s per recorded second (2 cores = 2.0)\n", cpu / seconds);
  std::filesystem::remove_all(dir);
  return 0;
}
