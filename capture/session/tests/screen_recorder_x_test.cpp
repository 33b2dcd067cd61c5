// Real recordings of a private X screen: a window of known coloured patches
// on a 1920 x 1080 Xvfb is captured by the screen grabber, converted, cut or
// composed with a camera picture, encoded and written; the decoded pictures
// of the MP4 must show the patches where they are on the screen (allowing
// for H.264 loss), in modes 0 and 2, whole screen and region, and a region
// moved during the recording must show the move.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "../../compose/tests/fake_renders.h"
#include "base/clock.h"
#include "screen_recorder.h"
#include "temp_dir.h"
#include "testing/media_check.h"
#include "testing/picture_checks.h"
#include "testing/painted_window.h"
#include "testing/xvfb.h"

namespace {

using namespace lessonry::capture;
using lessonry::capture::testing::FakeVideoRender;
using lessonry::capture::testing::TempDir;
using lessonry::testing::DecodedPicture;
using lessonry::testing::PaintedWindow;

constexpr int kTolerance = 24;  // per channel, for H.264 and its 4:2:0 colour

using Colour = lessonry::testing::Bgr;

::testing::AssertionResult colourNear(const DecodedPicture& picture, int x, int y, Colour c) {
  return lessonry::testing::colourNear(picture, x, y, c, kTolerance);
}

// The middle of every patch of the window whose top left is at (left, top)
// in the picture.
void expectPatches(const DecodedPicture& picture, int left, int top) {
  for (const PaintedWindow::Patch& p : PaintedWindow::kPatches)
    EXPECT_TRUE(colourNear(picture, left + p.x + p.w / 2, top + p.y + p.h / 2, {p.b, p.g, p.r}))
        << "patch " << p.x << "," << p.y;
}

TEST(ScreenRecorderX, RecordedPicturesShowTheScreenWhereItIs) {
  lessonry::testing::Xvfb server;  // 1920 x 1080, 24 bits
  ASSERT_TRUE(server.running()) << server.error();
  lessonry::testing::ScopedEnv display("DISPLAY", server.display());
  // The pointer, which the grabber draws in, is kept in the far corner.
  PaintedWindow window(300, 200, 1910, 1070);
  ASSERT_TRUE(window.ok());

  const Colour cameraColour{30, 200, 120};
  struct Move {
    long x, y;
  };
  struct Case {
    const char* name;
    int32_t mode;
    bool region;
    bool move;
  };
  const Case cases[] = {
      {"mode 0, whole screen", 0, false, false},
      {"mode 0, region", 0, true, false},
      {"mode 2, whole screen", 2, false, false},
      {"mode 2, region moved during the recording", 2, true, true},
  };
  // The region: 400 x 240 with the window at (40, 40) in it, then moved so
  // that the window is at (100, 100).
  const Move regionAt{260, 160}, movedTo{200, 100};
  constexpr int kRegionWidth = 400, kRegionHeight = 240;

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    FakeVideoRender camera;
    camera.setPicture(640, 480, 24, static_cast<uint8_t>(cameraColour.b), static_cast<uint8_t>(cameraColour.g),
                      static_cast<uint8_t>(cameraColour.r));
    {
      CScreenRecorder recorder;
      recorder.InsertSource(1, &camera, nullptr);
      recorder.SelectSource(1);
      if (c.region) recorder.SendVGACutRect(regionAt.x, regionAt.y, kRegionWidth, kRegionHeight, false);
      else recorder.SendVGACutRect(0, 0, 1920, 1080, true);
      ASSERT_TRUE(recorder.SetCompositeMode(c.mode, 0, 0));
      recorder.SetEncodePause(false);
      ASSERT_EQ(recorder.StartEncode(dir.file("x").c_str(), EFT_MP4, 4000, 25, kEncodeModeFile), 0);
      Sleep(1000);
      if (c.move) recorder.SendVGACutRect(movedTo.x, movedTo.y, kRegionWidth, kRegionHeight, true);
      Sleep(1000);
      recorder.StopEncode();
      EXPECT_EQ(recorder.composition().counters().screenMisses, 0u);
    }

    std::vector<DecodedPicture> pictures;
    ASSERT_TRUE(lessonry::testing::decodeFile(dir.file("x.mp4"), &pictures, nullptr));
    ASSERT_GE(pictures.size(), 25u) << "two seconds at 25 pictures a second";
    const int inset = c.mode == 2 ? 400 : 0;
    const int width = (c.region ? kRegionWidth : 1920) + inset, height = c.region ? kRegionHeight : 1080;
    ASSERT_EQ(pictures.front().width, width);
    ASSERT_EQ(pictures.front().height, height);

    // Where the window shows in the first and the last picture.
    const int firstLeft = inset + (c.region ? 300 - regionAt.x : 300), firstTop = c.region ? 200 - regionAt.y : 200;
    const int lastLeft = c.move ? inset + 300 - movedTo.x : firstLeft, lastTop = c.move ? 200 - movedTo.y : firstTop;
    {
      SCOPED_TRACE("first picture");
      expectPatches(pictures.front(), firstLeft, firstTop);
    }
    {
      SCOPED_TRACE("last picture");
      expectPatches(pictures.back(), lastLeft, lastTop);
    }
    if (c.mode == 2) {
      for (const DecodedPicture* p : {&pictures.front(), &pictures.back()}) {
        EXPECT_TRUE(colourNear(*p, 200, std::min(150, height / 2), cameraColour)) << "the camera at the top left";
        if (height > 300) {
          EXPECT_TRUE(colourNear(*p, 200, 600, {0, 0, 0})) << "black below the camera";
        }
      }
    }
  }
}

}  // namespace
