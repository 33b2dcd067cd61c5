// CScreenCapture against a fake grabber (exact bytes of conversion and cut,
// region rules, missing pictures) and once against the real RUVEZA library
// on a private Xvfb with a painted window.
#include <gtest/gtest.h>

#include "screen_capture.h"
#include "fake_screen.h"

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "base/picture_format.h"
#include "testing/painted_window.h"
#include "testing/xvfb.h"

namespace lessonry {
namespace {

using testing::expectedPart;
using testing::fake;
using testing::FakeScreen;
using testing::kFakeVga;
using testing::PaintedWindow;

TEST(ScreenCaptureTest, LibraryIsStartedAtConstructionAndEndedAtDestruction) {
  fake.reset(64, 32);
  {
    CScreenCapture capture(kFakeVga);
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"create", "startUp", "getBitmapInfo"}));
    EXPECT_EQ(capture.screenHeader(), &fake.header);
    EXPECT_EQ(capture.screenSize(), (CScreenCapture::Size{64, 32}));
    EXPECT_TRUE(capture.fullScreen());
    EXPECT_FALSE(capture.regionSet());
    EXPECT_EQ(capture.region(), (CScreenCapture::Rect{0, 0, 64, 32}));
    EXPECT_EQ(capture.latestSize(), (CScreenCapture::Size{1920, 1080}));
    fake.calls.clear();
  }
  EXPECT_EQ(fake.calls, (std::vector<std::string>{"shutDown", "delete"}));
}

// Each case is a sequence of calls on a fresh 1920 x 1080 screen, then the state.
TEST(ScreenCaptureTest, SendVGACutRectClampsAndFixesTheRegion) {
  struct Call {
    long x, y, w, h;
    BOOL all;
  };
  struct Case {
    const char* name;
    std::vector<Call> calls;
    bool fullScreen, regionSet;
    CScreenCapture::Rect region;
    CScreenCapture::Point latestOrigin;
    CScreenCapture::Size latestSize, encodeSize;
  };
  const Case cases[] = {
      {"past the right edge moves left", {{1800, 100, 200, 300, false}}, false, true, {1720, 100, 200, 300},
       {1720, 100}, {200, 300}, {200, 300}},
      {"past the bottom edge moves up", {{0, 1000, 400, 200, false}}, false, true, {0, 880, 400, 200}, {0, 880},
       {400, 200}, {400, 200}},
      {"width rounded up to 4", {{10, 20, 802, 600, false}}, false, true, {10, 20, 804, 600}, {10, 20}, {802, 600},
       {804, 600}},
      {"later call with bAll moves but keeps size and region recording",
       {{10, 20, 800, 600, false}, {500, 400, 100, 100, true}}, false, true, {10, 20, 800, 600}, {500, 400},
       {100, 100}, {800, 600}},
      {"later call without bAll does not resize", {{10, 20, 800, 600, false}, {30, 40, 200, 200, false}}, false,
       true, {10, 20, 800, 600}, {30, 40}, {200, 200}, {800, 600}},
      {"whole screen until a region is asked for", {{5, 6, 640, 480, true}}, true, false, {0, 0, 1920, 1080},
       {5, 6}, {640, 480}, {1920, 1080}},
      {"whole screen then region", {{5, 6, 640, 480, true}, {7, 8, 320, 240, false}}, false, true,
       {7, 8, 320, 240}, {7, 8}, {320, 240}, {320, 240}},
      {"negative position kept until the cut", {{-30, -40, 320, 240, false}}, false, true, {-30, -40, 320, 240},
       {-30, -40}, {320, 240}, {320, 240}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake.reset(1920, 1080);
    CScreenCapture capture(kFakeVga);
    for (const Call& call : c.calls) capture.SendVGACutRect(call.x, call.y, call.w, call.h, call.all);
    EXPECT_EQ(capture.fullScreen(), c.fullScreen);
    EXPECT_EQ(capture.regionSet(), c.regionSet);
    EXPECT_EQ(capture.region(), c.region);
    EXPECT_EQ(capture.latestOrigin(), c.latestOrigin);
    EXPECT_EQ(capture.latestSize(), c.latestSize);
    EXPECT_EQ(capture.encodeSize(), c.encodeSize);
    EXPECT_EQ(capture.encodeImageSize(), static_cast<size_t>(dibStride(c.encodeSize.width, 24)) * c.encodeSize.height);
  }
}

TEST(ScreenCaptureTest, RequestScreen32KeepsTheCopyAndWritesTheLibraryHeader) {
  fake.reset(5, 3, 24);
  CScreenCapture capture(kFakeVga);
  capture.requestScreen32();
  EXPECT_EQ(capture.screenFormat().biBitCount, 24);
  EXPECT_EQ(capture.screenFormat().biWidth, 5);
  EXPECT_EQ(capture.screenFormat().biHeight, -3);
  EXPECT_EQ(fake.header.biBitCount, 32);
}

// Whole screen: B, G, R kept in order, the fourth byte dropped, rows padded
// to 4 bytes; odd widths and a copy taken at another depth included (the
// library delivers 32-bit rows after the request).
TEST(ScreenCaptureTest, WholeScreenConvertsToBgr24ExactBytes) {
  struct Case {
    int width, height;
    WORD bitCount;
  };
  for (const Case c : {Case{4, 2, 32}, Case{5, 3, 32}, Case{7, 4, 24}}) {
    SCOPED_TRACE(::testing::Message() << c.width << "x" << c.height << " copy at " << c.bitCount);
    fake.reset(c.width, c.height, c.bitCount);
    CScreenCapture capture(kFakeVga);
    capture.requestScreen32();
    std::vector<BYTE> frame(capture.encodeImageSize(), 0x5A);
    CScreenCapture::Size part;
    ASSERT_TRUE(capture.captureScreenPart(frame.data(), dibStride(c.width, 24), frame.size(), &part));
    EXPECT_EQ(part, (CScreenCapture::Size{c.width, c.height}));
    EXPECT_EQ(frame, expectedPart(0, 0, c.width, c.height));
    // The same through the mode 0 call, with the scaler reused.
    std::vector<BYTE> again(frame.size(), 0x5A);
    ASSERT_TRUE(capture.captureScreen(again.data(), again.size()));
    EXPECT_EQ(again, frame);
  }
}

TEST(ScreenCaptureTest, RegionIsCutAtTheLatestOrigin) {
  fake.reset(18, 9);  // row stride 56 bytes at 24 bits: padded
  CScreenCapture capture(kFakeVga);
  capture.SendVGACutRect(3, 2, 6, 4, false);  // region 8 x 4 at (3, 2)
  capture.requestScreen32();
  ASSERT_EQ(capture.encodeImageSize(), 8u * 4 * 3);
  std::vector<BYTE> frame(capture.encodeImageSize(), 0x5A);
  ASSERT_TRUE(capture.captureScreen(frame.data(), frame.size()));
  EXPECT_EQ(frame, expectedPart(3, 2, 8, 4));

  // A move during the recording shows at the next capture, same size.
  capture.SendVGACutRect(9, 5, 20, 20, true);  // clamped to (-2, -11): cut at 0, 0
  ASSERT_TRUE(capture.captureScreen(frame.data(), frame.size()));
  EXPECT_EQ(frame, expectedPart(0, 0, 8, 4));
  capture.SendVGACutRect(7, 4, 4, 4, true);
  CScreenCapture::Size part;
  ASSERT_TRUE(capture.captureScreenPart(frame.data(), 8 * 3, frame.size(), &part));
  EXPECT_EQ(part, (CScreenCapture::Size{8, 4}));
  EXPECT_EQ(frame, expectedPart(7, 4, 8, 4));
}

// The screen part written into a wider picture (as mode 2 puts it to the
// right of the camera): its rows land at the offset, nothing else changes.
TEST(ScreenCaptureTest, ScreenPartLandsInsideAWiderPicture) {
  struct Case {
    const char* name;
    bool region;
    int partWidth, partHeight, x0, y0;
  };
  for (const Case& c : {Case{"whole screen", false, 12, 6, 0, 0}, Case{"region", true, 4, 3, 5, 2}}) {
    SCOPED_TRACE(c.name);
    fake.reset(12, 6);
    CScreenCapture capture(kFakeVga);
    if (c.region) capture.SendVGACutRect(c.x0, c.y0, c.partWidth, c.partHeight, false);
    capture.requestScreen32();
    constexpr int kOffset = 3;  // pixels left of the part
    const int width = kOffset + c.partWidth + 2, stride = dibStride(width, 24);
    std::vector<BYTE> picture(static_cast<size_t>(stride) * c.partHeight, 0x5A);
    CScreenCapture::Size part;
    ASSERT_TRUE(capture.captureScreenPart(picture.data() + kOffset * 3, stride, picture.size() - kOffset * 3, &part));
    EXPECT_EQ(part, (CScreenCapture::Size{c.partWidth, c.partHeight}));
    const std::vector<BYTE> expected = expectedPart(c.x0, c.y0, c.partWidth, c.partHeight);
    for (int y = 0; y < c.partHeight; ++y)
      for (int x = 0; x < stride; ++x) {
        const BYTE got = picture[static_cast<size_t>(y) * stride + x];
        const int px = x / 3 - kOffset;
        const BYTE want = px >= 0 && px < c.partWidth
                              ? expected[static_cast<size_t>(y) * dibStride(c.partWidth, 24) + px * 3 + x % 3]
                              : 0x5A;
        ASSERT_EQ(got, want) << "row " << y << " byte " << x;
      }
    // A destination too small for the last row is refused.
    EXPECT_FALSE(capture.captureScreenPart(picture.data() + kOffset * 3, stride, picture.size() - stride, &part));
  }
}

// The width rounding can reach past the screen; the cut moves left/up so it
// keeps the region's size. Negative positions cut at 0.
TEST(ScreenCaptureTest, RegionPastTheEdgeIsShiftedInsideAndNegativeIsCutAtZero) {
  struct Case {
    const char* name;
    long x, y, w, h;
    CScreenCapture::Point cutAt;
    int width, height;
  };
  const Case cases[] = {
      {"rounded width past the right edge", 10, 0, 6, 4, {8, 0}, 8, 4},
      {"at the corner", 15, 7, 5, 2, {8, 6}, 8, 2},
      {"negative origin", -5, -3, 8, 4, {0, 0}, 8, 4},
      {"rounded to the full width", 1, 1, 15, 3, {0, 1}, 16, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake.reset(16, 8);
    CScreenCapture capture(kFakeVga);
    capture.SendVGACutRect(c.x, c.y, c.w, c.h, false);
    capture.requestScreen32();
    EXPECT_EQ(capture.cutPosition(), c.cutAt);
    std::vector<BYTE> frame(capture.encodeImageSize(), 0x5A);
    ASSERT_EQ(frame.size(), static_cast<size_t>(c.width) * c.height * 3);
    ASSERT_TRUE(capture.captureScreen(frame.data(), frame.size()));
    EXPECT_EQ(frame, expectedPart(c.cutAt.x, c.cutAt.y, c.width, c.height));
  }
}

TEST(ScreenCaptureTest, NoPictureLeavesTheFrameAsItWas) {
  fake.reset(16, 8);
  CScreenCapture whole(kFakeVga);
  whole.requestScreen32();
  std::vector<BYTE> frame(whole.encodeImageSize(), 0x5A);
  const std::vector<BYTE> untouched = frame;

  fake.deliver = false;  // as without a display
  EXPECT_FALSE(whole.captureScreen(frame.data(), frame.size()));
  EXPECT_EQ(frame, untouched);
  fake.deliver = true;
  EXPECT_FALSE(whole.captureScreen(frame.data(), frame.size() - 1));  // frame too small
  EXPECT_FALSE(whole.captureScreen(nullptr, frame.size()));
  EXPECT_EQ(frame, untouched);
  EXPECT_TRUE(whole.captureScreen(frame.data(), frame.size()));
  EXPECT_EQ(frame, expectedPart(0, 0, 16, 8));

  CScreenCapture region(kFakeVga);
  region.SendVGACutRect(2, 2, 4, 4, false);
  region.requestScreen32();
  std::vector<BYTE> cut(region.encodeImageSize(), 0x5A);
  fake.deliver = false;
  CScreenCapture::Size part;
  EXPECT_FALSE(region.captureScreenPart(cut.data(), 12, cut.size(), &part));
  EXPECT_EQ(cut, std::vector<BYTE>(cut.size(), 0x5A));
  fake.deliver = true;
  EXPECT_TRUE(region.captureScreenPart(cut.data(), 12, cut.size(), &part));
  EXPECT_EQ(cut, expectedPart(2, 2, 4, 4));

  // A region wider than the screen cannot be cut at its size: no picture.
  CScreenCapture tooWide(kFakeVga);
  tooWide.SendVGACutRect(0, 0, 17, 4, false);  // 20 wide on a 16-wide screen
  tooWide.requestScreen32();
  std::vector<BYTE> wide(tooWide.encodeImageSize(), 0x5A);
  EXPECT_FALSE(tooWide.captureScreen(wide.data(), wide.size()));
  EXPECT_EQ(wide, std::vector<BYTE>(wide.size(), 0x5A));
}

// StopEncode's reset: the next recording without a new SendVGACutRect
// records the same region at the latest origin; a new call may then choose
// a new size.
TEST(ScreenCaptureTest, SecondRecordingKeepsTheRegionAtTheLatestOrigin) {
  fake.reset(32, 16);
  CScreenCapture capture(kFakeVga);
  capture.SendVGACutRect(4, 2, 8, 4, false);
  capture.SendVGACutRect(12, 6, 2, 2, true);  // moved during the first recording
  capture.requestScreen32();
  std::vector<BYTE> frame(capture.encodeImageSize(), 0x5A);
  ASSERT_TRUE(capture.captureScreen(frame.data(), frame.size()));
  EXPECT_EQ(frame, expectedPart(12, 6, 8, 4));

  capture.resetRegion();
  EXPECT_FALSE(capture.regionSet());
  EXPECT_FALSE(capture.fullScreen());
  EXPECT_EQ(capture.region(), (CScreenCapture::Rect{0, 0, 8, 4}));
  EXPECT_EQ(capture.latestOrigin(), (CScreenCapture::Point{12, 6}));

  capture.requestScreen32();
  ASSERT_EQ(capture.encodeImageSize(), frame.size());
  std::fill(frame.begin(), frame.end(), 0x5A);
  ASSERT_TRUE(capture.captureScreen(frame.data(), frame.size()));
  EXPECT_EQ(frame, expectedPart(12, 6, 8, 4));

  capture.SendVGACutRect(1, 1, 12, 8, false);
  EXPECT_TRUE(capture.regionSet());
  EXPECT_EQ(capture.region(), (CScreenCapture::Rect{1, 1, 12, 8}));
}

// Once a recording is prepared (the 32-bit request), a region asked for
// later cannot change the picture size it was prepared for; the next
// preparation after the reset takes it.
TEST(ScreenCaptureTest, TheKindOfPictureIsFixedFromThePreparationToTheReset) {
  fake.reset(16, 8);
  CScreenCapture capture(kFakeVga);
  capture.requestScreen32();  // whole screen
  capture.SendVGACutRect(2, 2, 4, 4, false);
  EXPECT_TRUE(capture.regionSet());
  EXPECT_EQ(capture.encodeSize(), (CScreenCapture::Size{16, 8}));
  std::vector<BYTE> frame(capture.encodeImageSize(), 0x5A);
  ASSERT_TRUE(capture.captureScreen(frame.data(), frame.size()));
  EXPECT_EQ(frame, expectedPart(0, 0, 16, 8));

  capture.resetRegion();
  EXPECT_EQ(capture.encodeSize(), (CScreenCapture::Size{4, 4})) << "the flag counts again";
  capture.requestScreen32();
  std::vector<BYTE> cut(capture.encodeImageSize(), 0x5A);
  ASSERT_TRUE(capture.captureScreen(cut.data(), cut.size()));
  EXPECT_EQ(cut, expectedPart(2, 2, 4, 4));
}

// The host moves the region while the tick captures: every picture shows
// the region at one of the positions sent, never x of one and y of another.
TEST(ScreenCaptureTest, MovesDuringCapturesNeverMixTwoPositions) {
  fake.reset(16, 8);
  CScreenCapture capture(kFakeVga);
  capture.SendVGACutRect(0, 0, 8, 4, false);
  capture.requestScreen32();
  const std::vector<BYTE> atStart = expectedPart(0, 0, 8, 4), atEnd = expectedPart(8, 4, 8, 4);
  std::atomic<bool> moving{true};
  std::thread host([&] {
    for (int i = 0; i < 2000; ++i) capture.SendVGACutRect(i % 2 ? 8 : 0, i % 2 ? 4 : 0, 8, 4, true);
    moving = false;
  });
  std::vector<BYTE> frame(capture.encodeImageSize());
  int mixed = 0, captures = 0;
  while (moving || captures == 0) {
    ASSERT_TRUE(capture.captureScreen(frame.data(), frame.size()));
    ++captures;
    if (frame != atStart && frame != atEnd) ++mixed;
  }
  host.join();
  EXPECT_EQ(mixed, 0) << "of " << captures << " captures";
  EXPECT_EQ(capture.latestOrigin(), (CScreenCapture::Point{8, 4}));
}

TEST(ScreenCaptureXTest, WholeScreenAndRegionShowThePatchesWhereTheyAre) {
  lessonry::testing::Xvfb::Options options;
  options.width = 640;
  options.height = 480;
  lessonry::testing::Xvfb server(options);
  ASSERT_TRUE(server.running()) << server.error();
  lessonry::testing::ScopedEnv display("DISPLAY", server.display());
  PaintedWindow window;
  ASSERT_TRUE(window.ok());

  // Checks the colour at the middle of each patch, with the patches seen at (left, top) in the picture.
  auto expectPatches = [](const std::vector<BYTE>& picture, int width, int left, int top) {
    const int stride = dibStride(width, 24);
    for (const auto& p : PaintedWindow::kPatches) {
      const int x = left + p.x + p.w / 2, y = top + p.y + p.h / 2;
      const BYTE* px = &picture[static_cast<size_t>(y) * stride + x * 3];
      EXPECT_EQ((std::vector<int>{px[0], px[1], px[2]}), (std::vector<int>{p.b, p.g, p.r}))
          << "patch at " << p.x << "," << p.y;
    }
  };

  {
    CScreenCapture capture;
    capture.requestScreen32();
    ASSERT_EQ(capture.encodeSize(), (CScreenCapture::Size{640, 480}));
    std::vector<BYTE> frame(capture.encodeImageSize(), 0);
    ASSERT_TRUE(capture.captureScreen(frame.data(), frame.size()));
    expectPatches(frame, 640, PaintedWindow::kLeft, PaintedWindow::kTop);
    const BYTE* outside = &frame[static_cast<size_t>(20) * dibStride(640, 24) + 20 * 3];  // Xvfb's root, not a patch
    EXPECT_FALSE(outside[0] == 0x56 && outside[1] == 0x34 && outside[2] == 0x12);
  }
  {
    // The window with a margin of 20 pixels (width 362 rounds up to 364).
    CScreenCapture capture;
    capture.SendVGACutRect(PaintedWindow::kLeft - 20, PaintedWindow::kTop - 20, PaintedWindow::kWidth + 42,
                           PaintedWindow::kHeight + 40, false);
    capture.requestScreen32();
      ASSERT_EQ(capture.encodeSize(), (CScreenCapture::Size{364, 200}));
    std::vector<BYTE> frame(capture.encodeImageSize(), 0);
    ASSERT_TRUE(capture.captureScreen(frame.data(), frame.size()));
    expectPatches(frame, 364, 20, 20);
  }
}

}  // namespace
}  // namespace lessonry
