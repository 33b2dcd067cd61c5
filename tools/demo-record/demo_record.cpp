// LessonryDemo: records through the product's recording path into
// Temp/Temp.mp4 of the program folder, then prints what the file holds.
//
// A camera control's graph (a generated moving test pattern, 640 x 480 at 25
// pictures a second, and a generated tone, into the video and audio renders
// of libPinworks.so) feeds the recorder. With an X display in DISPLAY the
// whole screen is recorded with the camera beside it (mode 2); without one
// the camera alone, scaled to 1280 x 720 (mode 1). See demo_recording.h.
//
// Usage: LessonryDemo [seconds]   (default 10)
// libPinworks.so must be registered (lessonry-regsvr; ./setup.sh does it).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "base/program_folder.h"
#include "demo_recording.h"
#include "testing/media_check.h"

int main(int argc, char** argv) {
  lessonry::demo::DemoSettings settings;
  settings.seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
  const std::string folder = lessonry::programFolder() + "Temp/";
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  settings.basePath = folder + "Temp";
  settings.log = stdout;

  const lessonry::demo::DemoResult result = lessonry::demo::recordDemo(settings);
  if (!result.ok) {
    std::fprintf(stderr, "LessonryDemo: %s\n", result.error.c_str());
    return 1;
  }

  const std::string path = settings.basePath + ".mp4";
  const auto info = lessonry::testing::probeFile(path);
  if (!info.opened) {
    std::fprintf(stderr, "LessonryDemo: %s does not open: %s\n", path.c_str(), info.error.c_str());
    return 1;
  }
  const auto& counters = result.recorder;
  std::printf("file: %s\n", path.c_str());
  if (result.compositeMode == 2)
    std::printf("mode: 2, the screen %dx%d with the camera %dx%d beside it\n", result.screenWidth,
                result.screenHeight, result.cameraWidth, result.cameraHeight);
  else
    std::printf("mode: 1, the camera %dx%d alone\n", result.cameraWidth, result.cameraHeight);
  std::printf("picture: %dx%d\n", result.width, result.height);
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
  std::printf("session: %llu pictures encoded, %llu written, %llu dropped before the first key frame\n",
              static_cast<unsigned long long>(counters.session.picturesEncoded),
              static_cast<unsigned long long>(counters.session.picturesWritten),
              static_cast<unsigned long long>(counters.session.picturesDropped));
  std::printf("camera: %lld pictures received by the video render; screen misses %llu, camera misses %llu\n",
              static_cast<long long>(result.cameraPictures),
              static_cast<unsigned long long>(result.composition.screenMisses),
              static_cast<unsigned long long>(result.composition.sourceMisses));
  return 0;
}
