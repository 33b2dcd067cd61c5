// The composition against a fake screen grabber and pretend camera renders:
// the headers and buffers of each mode, the exact bytes of the screen part,
// the inset, the black area, the logo's place, the 1000 ms switch as seen in
// the pictures, and the failure cases (no source, no effects library, a
// source of another depth or with too few bytes).
#include "composition.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "../../screen/tests/fake_screen.h"
#include "base/clock.h"
#include "base/picture_format.h"
#include "fake_renders.h"

namespace {

using namespace lessonry::capture;
using lessonry::CScreenCapture;
using lessonry::dibStride;
using lessonry::ScopedFakeClock;
using lessonry::capture::testing::FakeAudioRender;
using lessonry::capture::testing::FakeVideoRender;
using lessonry::testing::expectedPart;
using lessonry::testing::fake;
using lessonry::testing::kFakeVga;

const std::string kEffectLibrary = std::string(LESSONRY_PROGRAM_DIR) + "/" + CLibEffect::kLibraryName;

struct Colour {
  int b, g, r;
};

bool insideLogo(const LogoRect& logo, int x, int y) {
  return x >= logo.x && x < logo.x + logo.width && y >= logo.y && y < logo.y + logo.height;
}

class CompositionTest : public ::testing::Test {
 protected:
  void start(int screenWidth, int screenHeight) {
    fake.reset(screenWidth, screenHeight);
    screen_ = std::make_unique<CScreenCapture>(kFakeVga);
    composition_ = std::make_unique<CComposition>(*screen_);
    composition_->setEffectLibraryName(kEffectLibrary);
  }

  int frameWidth() const { return composition_->recordHeader().biWidth; }
  int frameHeight() const { return -composition_->recordHeader().biHeight; }
  const BYTE* pixel(int x, int y) const {
    return composition_->frame() + static_cast<size_t>(y) * dibStride(frameWidth(), 24) + x * 3;
  }

  // Every pixel of the w x h area at (fx, fy) outside the logo has colour c
  // (within tolerance); returns the number that differ.
  int countOff(int fx, int fy, int w, int h, Colour c, int tolerance) const {
    int off = 0;
    for (int y = fy; y < fy + h; ++y)
      for (int x = fx; x < fx + w; ++x) {
        if (insideLogo(composition_->logo().rect(), x, y)) continue;
        const BYTE* p = pixel(x, y);
        if (std::abs(p[0] - c.b) > tolerance || std::abs(p[1] - c.g) > tolerance || std::abs(p[2] - c.r) > tolerance)
          ++off;
      }
    return off;
  }

  // The screen part at (fx, 0) of the frame equals the fake screen's w x h
  // part at (sx, sy), byte for byte, outside the logo.
  void expectScreenPart(int fx, int sx, int sy, int w, int h) const {
    const std::vector<BYTE> expected = expectedPart(sx, sy, w, h);
    const int stride = dibStride(w, 24);
    int off = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        if (insideLogo(composition_->logo().rect(), fx + x, y)) continue;
        if (std::memcmp(pixel(fx + x, y), &expected[static_cast<size_t>(y) * stride + x * 3], 3) != 0) ++off;
      }
    EXPECT_EQ(off, 0) << "pixels of the screen part that differ";
  }

  // The logo changed something inside its rectangle.
  void expectLogoDrawnOver(const std::vector<BYTE>& before) const {
    const LogoRect r = composition_->logo().rect();
    int changed = 0;
    const int stride = dibStride(frameWidth(), 24);
    for (int y = std::max(r.y, 0); y < std::min(r.y + r.height, frameHeight()); ++y)
      for (int x = std::max(r.x, 0); x < std::min(r.x + r.width, frameWidth()); ++x)
        if (std::memcmp(pixel(x, y), &before[static_cast<size_t>(y) * stride + x * 3], 3) != 0) ++changed;
    EXPECT_GT(changed, 0);
  }

  std::unique_ptr<CScreenCapture> screen_;
  std::unique_ptr<CComposition> composition_;
};

TEST_F(CompositionTest, Mode0RecordsTheScreenOrTheRegionAtItsOwnSize) {
  struct Case {
    const char* name;
    bool region;
    long x, y, w, h;
    int width, height, sx, sy;
  };
  const Case cases[] = {
      {"whole screen, no scaling", false, 0, 0, 0, 0, 320, 200, 0, 0},
      {"region, width rounded up to 4", true, 30, 20, 101, 60, 104, 60, 30, 20},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    start(320, 200);
    if (c.region) screen_->SendVGACutRect(c.x, c.y, c.w, c.h, false);
    composition_->SetCompositeMode(0, 0, 0);
    ASSERT_EQ(frameWidth(), c.width);
    ASSERT_EQ(frameHeight(), c.height);
    EXPECT_EQ(composition_->frameSize(), static_cast<size_t>(dibStride(c.width, 24)) * c.height);
    EXPECT_EQ(composition_->recordHeader().biBitCount, 24);
    ASSERT_TRUE(composition_->composeTick());
    expectScreenPart(0, c.sx, c.sy, c.width, c.height);
    // The logo refers to the last SendVGACutRect's width (1920 before any).
    const int32_t reference = c.region ? static_cast<int32_t>(c.w) : 1920;
    EXPECT_EQ(composition_->logo().rect(), logoRect(reference, c.width));
    const std::vector<BYTE> part = expectedPart(c.sx, c.sy, c.width, c.height);
    expectLogoDrawnOver(part);
  }
}

TEST_F(CompositionTest, Mode2PutsTheCameraTopLeftAndTheScreenToItsRight) {
  start(1920, 1080);
  FakeVideoRender camera;
  camera.setPicture(640, 480, 24, 10, 20, 30);
  composition_->sources().insert(7, &camera, nullptr);
  composition_->sources().selectPicture(composition_->sources().find(7));
  composition_->SetCompositeMode(2, 0, 0);

  ASSERT_EQ(frameWidth(), 2320);
  ASSERT_EQ(frameHeight(), 1080);
  EXPECT_EQ(composition_->logo().rect(), (LogoRect{2193, 15, 124, 46}));
  ASSERT_TRUE(composition_->composeTick());
  EXPECT_EQ(countOff(0, 0, 400, 300, {10, 20, 30}, 1), 0) << "the camera scaled to 400 x 300";
  EXPECT_EQ(countOff(0, 300, 400, 780, {0, 0, 0}, 0), 0) << "black below it";
  expectScreenPart(400, 0, 0, 1920, 1080);
  EXPECT_EQ(composition_->counters().screenMisses, 0u);
  EXPECT_EQ(composition_->counters().sourceMisses, 0u);
}

TEST_F(CompositionTest, Mode2WithARegionFollowsItsMoves) {
  start(640, 480);
  FakeVideoRender camera;
  camera.setPicture(320, 240, 32, 200, 100, 50);
  composition_->sources().insert(1, &camera, nullptr);
  composition_->sources().selectPicture(composition_->sources().find(1));
  screen_->SendVGACutRect(100, 50, 202, 150, false);  // 204 x 150
  composition_->SetCompositeMode(2, 0, 0);
  ASSERT_EQ(frameWidth(), 604);
  ASSERT_EQ(frameHeight(), 150);
  // Logo: the region width sent (202) is its reference.
  EXPECT_EQ(composition_->logo().rect(), logoRect(202, 604));

  ASSERT_TRUE(composition_->composeTick());
  expectScreenPart(400, 100, 50, 204, 150);
  // A picture lower than the inset shows the inset's top rows.
  EXPECT_EQ(countOff(0, 0, 400, 150, {200, 100, 50}, 1), 0);

  screen_->SendVGACutRect(300, 200, 10, 10, true);  // moves only
  ASSERT_TRUE(composition_->composeTick());
  expectScreenPart(400, 300, 200, 204, 150);
}

TEST_F(CompositionTest, Mode1ScalesTheSourceThroughTheEffectsLibrary) {
  struct Case {
    const char* name;
    int32_t mode;
    bool library;
    Colour expected;
  };
  const Case cases[] = {
      {"mode 1", 1, true, {40, 50, 60}},
      {"another mode behaves as 1", 7, true, {40, 50, 60}},
      {"no effects library: black pictures with the logo", 1, false, {0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    start(320, 200);
    if (!c.library) composition_->setEffectLibraryName("libOxEffectThatIsNotThere.so");
    FakeVideoRender camera;
    camera.setPicture(640, 480, 24, 40, 50, 60);
    composition_->sources().insert(3, &camera, nullptr);
    composition_->sources().selectPicture(composition_->sources().find(3));
    composition_->SetCompositeMode(c.mode, 400, 300);
    EXPECT_EQ(composition_->effects().bound(), c.library);
    ASSERT_EQ(frameWidth(), 400);
    ASSERT_EQ(frameHeight(), 300);
    EXPECT_EQ(composition_->logo().rect(), (LogoRect{349, 5, 48, 17}));
    ASSERT_TRUE(composition_->composeTick());
    EXPECT_EQ(countOff(0, 0, 400, 300, c.expected, 0), 0);
    std::vector<BYTE> plain(composition_->frameSize());
    for (size_t i = 0; i < plain.size(); i += 3) {
      plain[i] = static_cast<BYTE>(c.expected.b);
      plain[i + 1] = static_cast<BYTE>(c.expected.g);
      plain[i + 2] = static_cast<BYTE>(c.expected.r);
    }
    expectLogoDrawnOver(plain);
  }
}

TEST_F(CompositionTest, WithoutAnActiveSourceModes1And2MakeNoPicture) {
  start(320, 200);
  composition_->SetCompositeMode(2, 0, 0);
  EXPECT_EQ(composition_->frameSize(), 0u) << "mode 2 prepares nothing";
  EXPECT_FALSE(composition_->composeTick());
  composition_->SetCompositeMode(1, 400, 300);
  EXPECT_GT(composition_->frameSize(), 0u);
  EXPECT_FALSE(composition_->composeTick());
  composition_->SetCompositeMode(0, 0, 0);
  EXPECT_TRUE(composition_->composeTick()) << "the screen needs no source";
}

TEST_F(CompositionTest, Mode1SizesOfNoPixelsOrAbsurdOnesPrepareNothing) {
  start(320, 200);
  FakeVideoRender camera;
  camera.setPicture(64, 48, 24, 1, 2, 3);
  composition_->sources().insert(1, &camera, nullptr);
  composition_->sources().selectPicture(composition_->sources().find(1));
  const std::pair<int32_t, int32_t> sizes[] = {{0, 300}, {400, 0}, {-400, 300}, {400, -300}, {100000, 300},
                                               {400, 2000000000}};
  for (const auto& [width, height] : sizes) {
    SCOPED_TRACE(::testing::Message() << width << " x " << height);
    composition_->SetCompositeMode(1, width, height);
    EXPECT_EQ(composition_->frameSize(), 0u);
    EXPECT_FALSE(composition_->composeTick());
  }
}

// Pictures keep showing the previous source for the switch's 1000 ms.
TEST_F(CompositionTest, ASelectedSourceShowsWhenItsSwitchEnds) {
  ScopedFakeClock clock(20000);
  start(320, 200);
  FakeVideoRender red, blue;
  red.setPicture(64, 48, 24, 0, 0, 255);
  blue.setPicture(64, 48, 24, 255, 0, 0);
  CSources& sources = composition_->sources();
  sources.insert(1, &red, nullptr);
  sources.insert(2, &blue, nullptr);
  sources.selectPicture(sources.find(1));
  composition_->SetCompositeMode(2, 0, 0);
  ASSERT_TRUE(composition_->composeTick());
  EXPECT_EQ(countOff(0, 0, 400, 200, {0, 0, 255}, 1), 0);

  sources.selectPicture(sources.find(2));
  const uint32_t switched = clock.now();
  struct Step {
    uint32_t at;
    Colour shown;
  } steps[] = {{0, {0, 0, 255}}, {500, {0, 0, 255}}, {994, {0, 0, 255}}, {995, {255, 0, 0}}, {1400, {255, 0, 0}}};
  for (const Step& s : steps) {
    clock.set(switched + s.at);
    ASSERT_TRUE(composition_->composeTick());
    EXPECT_EQ(countOff(0, 0, 400, 200, s.shown, 1), 0) << "at " << s.at << " ms";
  }
  EXPECT_EQ(red.users, 0);
  EXPECT_EQ(blue.users, 1);
}

TEST_F(CompositionTest, SourcesOfOtherDepthsOrShortBuffersFailSafely) {
  start(320, 200);
  std::vector<std::string> alerts;
  composition_->setUserAlert([&](const char* text) { alerts.emplace_back(text); });
  FakeVideoRender camera;
  camera.setPicture(64, 48, 16, 0, 0, 0, 0x7C00);  // 15-bit red
  composition_->sources().insert(1, &camera, nullptr);
  composition_->sources().selectPicture(composition_->sources().find(1));
  composition_->SetCompositeMode(2, 0, 0);
  EXPECT_EQ(alerts, std::vector<std::string>{CComposition::kUnsupportedDepthText});
  ASSERT_TRUE(composition_->composeTick());
  // Red 31 of 31 is 248 (31 << 3) in 8 bits.
  EXPECT_EQ(countOff(0, 0, 400, 200, {0, 0, 248}, 1), 0) << "read as 5-bit blue, green, red";

  // A picture whose buffer is shorter than its format says is not read; the
  // inset keeps the previous picture.
  camera.setPicture(64, 48, 24, 90, 90, 90);
  camera.format.biSizeImage -= 1;
  camera.pixels.resize(camera.format.biSizeImage);
  ASSERT_TRUE(composition_->composeTick());
  EXPECT_EQ(composition_->counters().sourceMisses, 1u);
  EXPECT_EQ(countOff(0, 0, 400, 200, {0, 0, 248}, 1), 0);
  // No picture at all yet: the same.
  camera.pixels.clear();
  ASSERT_TRUE(composition_->composeTick());
  EXPECT_EQ(composition_->counters().sourceMisses, 2u);

  // Mode 1 does not hand the effects library a picture it would read past.
  camera.setPicture(64, 48, 24, 90, 90, 90);
  camera.format.biSizeImage -= 1;
  camera.pixels.resize(camera.format.biSizeImage);
  composition_->SetCompositeMode(1, 400, 300);
  ASSERT_TRUE(composition_->effects().bound());
  ASSERT_TRUE(composition_->composeTick());
  EXPECT_EQ(composition_->counters().sourceMisses, 3u);
  EXPECT_EQ(countOff(0, 0, 400, 300, {0, 0, 0}, 0), 0) << "the frame keeps its (black) content";
}

TEST_F(CompositionTest, ReleaseFreesTheBuffersUnbindsAndResetsTheRegion) {
  start(320, 200);
  screen_->SendVGACutRect(10, 10, 100, 100, false);
  composition_->SetCompositeMode(0, 0, 0);
  ASSERT_TRUE(composition_->effects().bound());
  composition_->release();
  EXPECT_EQ(composition_->frameSize(), 0u);
  EXPECT_FALSE(composition_->effects().bound());
  EXPECT_FALSE(screen_->regionSet());
  EXPECT_FALSE(composition_->composeTick());
  // The next preparation records the same region again.
  composition_->SetCompositeMode(0, 0, 0);
  EXPECT_EQ(frameWidth(), 100);
}

}  // namespace
