// The demo recording made for real: renders created by class id from the
// built libPinworks.so (registered in a registry file of the test's own),
// the camera graph running, the recorder writing an MP4 that is decoded and
// looked at. Without a display the file must show the camera's test pattern
// alone, upright, with the logo; with a private X screen it must show the
// screen (a window of known patches where it is) with the pattern beside it.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "base/module.h"
#include "com/server.h"
#include "demo_recording.h"
#include "logo.h"
#include "testing/media_check.h"
#include "testing/picture_checks.h"
#include "testing/painted_window.h"
#include "testing/xvfb.h"

namespace {

using lessonry::demo::DemoResult;
using lessonry::testing::DecodedPicture;
using lessonry::testing::PaintedWindow;

constexpr int kTolerance = 16;  // per channel: two YUV conversions of the camera path, then H.264
constexpr int kSeconds = 2;

using Colour = lessonry::testing::Bgr;

::testing::AssertionResult colourNear(const DecodedPicture& picture, int x, int y, Colour c) {
  return lessonry::testing::colourNear(picture, x, y, c, kTolerance);
}

// The camera's test pattern as it should land in a w x h rectangle at
// (left, top): eight vertical colour bars, darker at the top than at the
// bottom. Checked a tenth of the height from the top and from the bottom,
// where the moving square never passes, in the middle of every bar.
void expectPatternUpright(const DecodedPicture& picture, int left, int top, int w, int h) {
  static const Colour bars[8] = {{255, 255, 255}, {0, 255, 255}, {255, 255, 0}, {0, 255, 0},
                                 {255, 0, 255},   {0, 0, 255},   {255, 0, 0},   {0, 0, 0}};
  for (int row : {h / 10, h - 1 - h / 10}) {
    // The pattern's shade of that row: 128 at its top row to 255 at its bottom row.
    const int sourceRow = row * lessonry::demo::kCameraHeight / h;
    const int shade = 128 + 127 * sourceRow / (lessonry::demo::kCameraHeight - 1);
    for (int i = 0; i < 8; ++i) {
      const Colour& bar = bars[i];
      const Colour expected{bar.b * shade / 255, bar.g * shade / 255, bar.r * shade / 255};
      EXPECT_TRUE(colourNear(picture, left + (2 * i + 1) * w / 16, top + row, expected))
          << "bar " << i << ", row " << row << " of the camera picture";
    }
  }
}

// Pixels of the rectangle brighter than any part of the logo's background or
// of black.
int brightPixels(const DecodedPicture& picture, int x, int y, int w, int h) {
  int count = 0;
  for (int yy = y; yy < y + h; ++yy)
    for (int xx = x; xx < x + w; ++xx) {
      const uint8_t* p = picture.pixel(xx, yy);
      if (std::max({p[0], p[1], p[2]}) > 150) ++count;
    }
  return count;
}

// The logo (white lettering on a dark plate) at the top right, over a part
// of the picture that is black: bright pixels inside its rectangle, none in
// the rectangle of the same size just left of it.
void expectLogo(const DecodedPicture& picture, int referenceWidth) {
  const lessonry::capture::LogoRect r = lessonry::capture::logoRect(referenceWidth, picture.width);
  ASSERT_GT(r.width, 0);
  EXPECT_GT(brightPixels(picture, r.x, r.y, r.width, r.height), r.width * r.height / 50) << "no logo";
  EXPECT_EQ(brightPixels(picture, r.x - r.width - 8, r.y, r.width, r.height), 0) << "black left of the logo";
}

// Pixels of row y that differ clearly between two pictures.
int rowDifference(const DecodedPicture& a, const DecodedPicture& b, int x, int w, int y) {
  int count = 0;
  for (int xx = x; xx < x + w; ++xx)
    if (std::abs(a.pixel(xx, y)[1] - b.pixel(xx, y)[1]) > 60) ++count;
  return count;
}

class DemoRecordingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string tag = std::to_string(getpid());
    folder_ = std::filesystem::temp_directory_path() / ("demo_recording_" + tag);
    std::filesystem::create_directories(folder_);
    registry_ = folder_ / "registry.ini";
    // The renders come by class id: register the built server in a registry
    // file of this test, not the user's nor the other tests'.
    setenv("LESSONRY_REGISTRY", registry_.c_str(), 1);
    // The effects library of mode 1 is looked for in the program folder.
    setenv("LESSONRY_PROGRAM_DIR", LESSONRY_PROGRAM_DIR, 1);
    ASSERT_TRUE(server_.load(PINWORKS_LIBRARY)) << server_.error();
    auto registerServer = server_.function<DllRegisterServerFunction>("DllRegisterServer");
    ASSERT_NE(registerServer, nullptr);
    ASSERT_EQ(registerServer(), S_OK);
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }

  DemoResult record(std::vector<DecodedPicture>* pictures, int64_t* audioSamples) {
    lessonry::demo::DemoSettings settings;
    settings.basePath = (folder_ / "demo").string();
    settings.seconds = kSeconds;
    DemoResult result = lessonry::demo::recordDemo(settings);
    if (result.ok) {
      EXPECT_TRUE(lessonry::testing::decodeFile(settings.basePath + ".mp4", pictures, audioSamples));
    }
    return result;
  }

  std::filesystem::path folder_;
  std::filesystem::path registry_;
  lessonry::Module server_;
};

TEST_F(DemoRecordingTest, WithoutADisplayRecordsTheCameraAloneUprightWithTheLogoAndTheTone) {
  lessonry::testing::ScopedEnv noDisplay("DISPLAY", std::nullopt);
  std::vector<DecodedPicture> pictures;
  int64_t audioSamples = 0;
  const DemoResult result = record(&pictures, &audioSamples);
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.compositeMode, 1);
  EXPECT_EQ(result.cameraWidth, 640);
  EXPECT_EQ(result.cameraHeight, 480);
  EXPECT_GT(result.cameraPictures, 0);
  EXPECT_GT(audioSamples, 0) << "the tone reaches the file through the audio render";

  ASSERT_GE(pictures.size(), 11u);
  const DecodedPicture& early = pictures[pictures.size() / 2 - 5];
  const DecodedPicture& late = pictures[pictures.size() / 2 + 5];
  ASSERT_EQ(late.width, 1280);
  ASSERT_EQ(late.height, 720);
  expectPatternUpright(late, 0, 0, 1280, 720);
  expectLogo(late, 1280);
  // The square crosses the middle row: ten ticks later it is elsewhere, so
  // each tick read the render's latest picture.
  EXPECT_GT(rowDifference(early, late, 0, 1280, 360), 40);
}

TEST_F(DemoRecordingTest, WithADisplayRecordsTheScreenWithTheCameraBesideIt) {
  lessonry::testing::Xvfb server;  // 1920 x 1080
  ASSERT_TRUE(server.running()) << server.error();
  lessonry::testing::ScopedEnv display("DISPLAY", server.display());
  // The pointer, which the grabber draws in, is kept in the far corner.
  PaintedWindow window(300, 200, 1910, 1070);
  ASSERT_TRUE(window.ok());

  std::vector<DecodedPicture> pictures;
  const DemoResult result = record(&pictures, nullptr);
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.compositeMode, 2);
  EXPECT_EQ(result.screenWidth, 1920);
  EXPECT_EQ(result.screenHeight, 1080);

  ASSERT_GE(pictures.size(), 11u);
  const DecodedPicture& early = pictures[pictures.size() / 2 - 5];
  const DecodedPicture& late = pictures[pictures.size() / 2 + 5];
  ASSERT_EQ(late.width, 1920 + 400);
  ASSERT_EQ(late.height, 1080);
  // The screen to the right of the 400 pixels of the camera.
  for (const PaintedWindow::Patch& p : PaintedWindow::kPatches)
    EXPECT_TRUE(colourNear(late, 400 + 300 + p.x + p.w / 2, 200 + p.y + p.h / 2, {p.b, p.g, p.r}))
        << "patch " << p.x << "," << p.y;
  // The camera, 400 x 300 at the top left, black below it.
  expectPatternUpright(late, 0, 0, 400, 300);
  EXPECT_TRUE(colourNear(late, 200, 600, {0, 0, 0})) << "black below the camera";
  expectLogo(late, 1920);
  EXPECT_GT(rowDifference(early, late, 0, 400, 150), 10) << "the camera inset moves";
}

}  // namespace
