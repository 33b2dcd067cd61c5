// LessonryDemo: records 10 seconds of a generated moving picture (1920 x 1080,
// 25 pictures per second) with a generated tone through the encode session
// into Temp/Temp.mp4 of the program folder, then prints what the file holds.
//
// Usage: LessonryDemo [seconds]
#include <cstdio>
#include <optional>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "base/clock.h"
#include "base/periodic_timer.h"
#include "base/program_folder.h"
#include "screen_recorder.h"
#include "testing/media_check.h"

namespace {

using lessonry::capture::CScreenRecorder;

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
  const std::string folder = lessonry::programFolder() + "Temp/";
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  const std::string base = folder + "Temp";

  CScreenRecorder recorder;
  if (!recorder.setEncodeFormat(kWidth, kHeight)) return 1;
  // The picture: a gradient that scrolls and a white square that moves.
  int frame = 0;
  std::vector<uint8_t> picture;
  recorder.setPictureSource([&](BYTE* out, size_t size, const BITMAPINFOHEADER&) {
    picture = lessonry::testing::movingPicture(kWidth, kHeight, frame++);
    std::copy(picture.begin(), picture.begin() + static_cast<ptrdiff_t>(std::min(size, picture.size())), out);
    return true;
  });

  recorder.SetEncodePause(false);
  const int32_t rc = recorder.StartEncode(base.c_str(), lessonry::capture::EFT_MP4, 1000, 25,
                                          lessonry::capture::kEncodeModeFile);
  if (rc != 0) {
    std::fprintf(stderr, "LessonryDemo: the recording did not start (0x%08X)\n", static_cast<unsigned>(rc));
    return 1;
  }
  // The sound: a 440 Hz tone in 20 ms blocks, as an audio render delivers it.
  std::optional<lessonry::testing::ToneFeed> tone;
  tone.emplace([&](const uint8_t* pcm, int32_t bytes) { recorder.onAudioBlock(pcm, bytes); });
  Sleep(static_cast<uint32_t>(seconds) * 1000);
  tone.reset();
  recorder.StopEncode();

  const std::string path = base + ".mp4";
  const auto info = lessonry::testing::probeFile(path);
  if (!info.opened) {
    std::fprintf(stderr, "LessonryDemo: %s does not open: %s\n", path.c_str(), info.error.c_str());
    return 1;
  }
  const auto counters = recorder.counters();
  std::printf("file: %s\n", path.c_str());
  const auto* video = info.track("h264");
  std::printf("duration: %.2f s\n", video ? video->durationSeconds : 0.0);
  std::printf("pictures: %lld\n", video ? static_cast<long long>(video->packets) : 0LL);
  for (const auto& t : info.tracks) {
    if (t.width > 0)
      std::printf("track: %s %dx%d, %lld pictures, %.2f s\n", t.codec.c_str(), t.width, t.height,
                  static_cast<long long>(t.packets), t.durationSeconds);
    else
      std::printf("track: %s %d Hz %d channels, %lld frames, %.2f s\n", t.codec.c_str(), t.sampleRate, t.channels,
                  static_cast<long long>(t.packets), t.durationSeconds);
  }
  std::printf("ticks: %llu (late %llu, at most %.1f ms late; %llu without picture)\n",
              static_cast<unsigned long long>(counters.ticks), static_cast<unsigned long long>(counters.lateTicks),
              counters.maxLatenessMicros / 1000.0, static_cast<unsigned long long>(counters.ticksWithoutPicture));
  return 0;
}
