// The demo recording: what LessonryDemo does, kept apart from its printing so
// that a test can make the same recording into a folder of its own.
//
// It goes the way a recording goes in the product. A graph built as a camera
// control builds it (a moving test pattern, 640 x 480 at 25 pictures a
// second, into the video render; a tone into the audio render; both renders
// made by class id from the registered libPinworks.so) runs while a
// CScreenRecorder, given the two renders as source 1, records: the whole X
// screen with the camera inset beside it (mode 2) when the screen capture
// gets pictures from the display in DISPLAY, else the camera alone scaled to
// 1280 x 720 (mode 1). Each 40 ms tick captures the screen, reads the
// render's latest picture, composes, draws the logo and encodes; the sound
// reaches the recorder through the audio render's data callback.
//
// Threads: call from one thread (the host's); the graph's streaming threads
// and the recorder's tick thread come and go inside the call.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "composition.h"
#include "screen_recorder.h"

namespace lessonry::demo {

struct DemoSettings {
  std::string basePath;  // the file to write, without ".mp4"
  int seconds = 10;      // length of the recording
  // Where the demo says what it is about to record (null: nowhere).
  std::FILE* log = nullptr;
};

struct DemoResult {
  bool ok = false;
  std::string error;  // why the recording was not made, when !ok

  int32_t compositeMode = 0;        // 1 the camera alone, 2 the screen with the camera inset
  int32_t width = 0, height = 0;    // the recorded picture
  int32_t screenWidth = 0, screenHeight = 0;  // the captured screen (mode 2), else 0
  int32_t cameraWidth = 0, cameraHeight = 0;  // the picture the video render keeps
  // Pictures the video render received while the recording ran.
  int64_t cameraPictures = 0;
  capture::CScreenRecorder::Counters recorder;
  capture::CComposition::Counters composition;
};

// The picture the camera graph delivers and the mode 1 output size.
inline constexpr int32_t kCameraWidth = 640;
inline constexpr int32_t kCameraHeight = 480;
inline constexpr int32_t kTeacherWidth = 1280;
inline constexpr int32_t kTeacherHeight = 720;

// Records settings.seconds into settings.basePath + ".mp4". The folder must
// exist. The graph is stopped and dismantled before this returns, also on
// failure.
DemoResult recordDemo(const DemoSettings& settings);

}  // namespace lessonry::demo
