// Compositions of an effect instance against pictures built by hand or with
// the plain rules of reference_kernels.h.
#include "tel_animation_rec.h"

#include <gtest/gtest.h>

#include <random>

#include "base/trace.h"
#include "effect_error.h"
#include "reference_kernels.h"
#include "test_pictures.h"

namespace lessonry::effect {
namespace {

using testing::TestPicture;

ComposeItem itemOf(const TestPicture& p) { return ComposeItem{&p.header, p.bytes.data(), nullptr}; }

ComposeRectItem rectItemOf(const TestPicture* p, int left, int top, int right, int bottom) {
  return ComposeRectItem{left, top, right, bottom, p ? &p->header : nullptr, p ? p->bytes.data() : nullptr, nullptr};
}

// A filled rectangle in a reference picture, clipped.
void fill(TestPicture& t, int left, int top, int right, int bottom, uint8_t value) {
  for (int r = std::max(top, 0); r < std::min(bottom, t.height()); ++r)
    for (int c = std::max(left, 0); c < std::min(right, t.width()); ++c) std::fill(t.at(r, c), t.at(r, c) + 3, value);
}

// "Drawing onto the whole output": a copy at the same size, else bilinear.
void whole(const TestPicture& s, TestPicture& t) {
  if (s.width() == t.width() && s.height() == t.height())
    reference::draw(s, t, 0, 0);
  else
    reference::bilinear(s, t, 0, 0, t.width(), t.height());
}

class Composition : public ::testing::Test {
 protected:
  TestPicture randomPicture(int width, int height, int bitCount) {
    TestPicture p(width, height, bitCount);
    p.randomize(rng, 1, 255);  // never black, so frames stand out
    return p;
  }
  void compose(const TestPicture& a, const TestPicture& b, int percent, int code, TestPicture& out) {
    const ComposeItem items[2] = {itemOf(a), itemOf(b)};
    effect.composeVideo(items, 2, percent, code, out.bytes.data());
  }

  std::mt19937 rng{4242};
  TELAnimationRec effect;
};

TEST_F(Composition, NothingIsDrawnBeforeTheOutputSizeIsSet) {
  const TestPicture source = randomPicture(8, 6, 24);
  TestPicture out(8, 6, 24, 0x33);
  const ComposeItem items[2] = {itemOf(source), itemOf(source)};
  effect.composeVideo(items, 1, 0, 2084, out.bytes.data());
  effect.composeVideo(items, 2, 50, 2084, out.bytes.data());
  const ComposeRectItem rects[1] = {rectItemOf(&source, 0, 0, 8, 6)};
  effect.composeVideoEx(rects, 1, out.bytes.data());
  EXPECT_EQ(out.bytes, TestPicture(8, 6, 24, 0x33).bytes);
}

TEST_F(Composition, TypeOneCopiesSameSizeAndScalesOtherSizes) {
  effect.setComposeVideoSize(12, -8);  // the sign of the height does not count
  for (int bitCount : {24, 32}) {
    const TestPicture same = randomPicture(12, 8, bitCount);
    TestPicture out(12, 8, 24), expected(12, 8, 24);
    const ComposeItem item = itemOf(same);
    effect.composeVideo(&item, 1, 0, 0x824, out.bytes.data());
    reference::draw(same, expected, 0, 0);
    EXPECT_EQ(out.bytes, expected.bytes) << bitCount << "-bit same size";
    if (bitCount == 24) {
      EXPECT_EQ(out.bytes, same.bytes) << "byte for byte";
    }

    const TestPicture other = randomPicture(7, 5, bitCount);
    const ComposeItem otherItem = itemOf(other);
    effect.composeVideo(&otherItem, 1, 0, 0x824, out.bytes.data());
    reference::bilinear(other, expected, 0, 0, 12, 8);
    EXPECT_EQ(out.bytes, expected.bytes) << bitCount << "-bit scaled";
  }
}

TEST_F(Composition, TypesZeroAndUnknownDrawNothing) {
  effect.setComposeVideoSize(4, 4);
  const TestPicture source = randomPicture(4, 4, 24);
  const ComposeItem items[2] = {itemOf(source), itemOf(source)};
  for (int type : {0, 3, -1}) {
    TestPicture out(4, 4, 24, 0x44);
    effect.composeVideo(items, type, 0, 0x824, out.bytes.data());
    EXPECT_EQ(out.bytes, TestPicture(4, 4, 24, 0x44).bytes) << "type " << type;
  }
}

// Every 0x800 code on a 640 x 480 output, over first 64 x 48 and second 320 x 240.
TEST_F(Composition, LayoutsOfTheEightHundredFamily) {
  effect.setComposeVideoSize(640, 480);
  const TestPicture first = randomPicture(64, 48, 24);
  const TestPicture second = randomPicture(320, 240, 32);
  struct Corner {
    int code, left, top, right, bottom;
  };
  for (const Corner& c : {Corner{2084, 10, 10, 170, 130}, Corner{2049, 10, 350, 170, 470},
                          Corner{2083, 470, 350, 630, 470}, Corner{2085, 470, 10, 630, 130}}) {
    TestPicture out(640, 480, 24), expected(640, 480, 24);
    compose(first, second, 30, c.code, out);
    whole(second, expected);
    fill(expected, c.left - 2, c.top - 2, c.right + 2, c.bottom + 2, 0);
    reference::bilinear(first, expected, c.left, c.top, c.right - c.left, c.bottom - c.top);
    ASSERT_EQ(out.bytes, expected.bytes) << "code " << c.code;
    // The frame is 2 pixels of black; the corner starts with the first pixel of the first picture.
    EXPECT_EQ(out.at(c.top - 2, c.left - 2)[0], 0);
    EXPECT_EQ(out.at(c.top - 1, c.left - 1)[1], 0);
    EXPECT_EQ(out.at(c.top, c.left)[2], first.at(0, 0)[2]);
  }

  {  // Band at 50 %: rows 120 to 359 show the second picture.
    TestPicture out(640, 480, 24), expected(640, 480, 24);
    compose(first, second, 50, 2051, out);
    whole(first, expected);
    reference::bilinear(second, expected, 0, 120, 640, 240);
    EXPECT_EQ(out.bytes, expected.bytes) << "band";
    TestPicture firstOnly(640, 480, 24);
    whole(first, firstOnly);
    EXPECT_TRUE(std::equal(out.at(119, 0), out.at(120, 0), firstOnly.at(119, 0)));
    EXPECT_TRUE(std::equal(out.at(360, 0), out.at(361, 0), firstOnly.at(360, 0)));
  }
  {  // Box at 50 %: 320 x 240 centred, the second picture's own size, so copied.
    TestPicture out(640, 480, 24), expected(640, 480, 24);
    compose(first, second, 50, 2069, out);
    whole(first, expected);
    reference::draw(second, expected, 160, 120);
    EXPECT_EQ(out.bytes, expected.bytes) << "box at 50 %";
    compose(first, second, 30, 2069, out);
    whole(first, expected);
    reference::bilinear(second, expected, 224, 168, 192, 144);
    EXPECT_EQ(out.bytes, expected.bytes) << "box at 30 %";
  }
  {  // 2070: the second picture; an unlisted 0x800 code: the first.
    TestPicture out(640, 480, 24), expected(640, 480, 24);
    compose(first, second, 50, 2070, out);
    whole(second, expected);
    EXPECT_EQ(out.bytes, expected.bytes) << "2070";
    compose(first, second, 50, 0x8FF, out);
    whole(first, expected);
    EXPECT_EQ(out.bytes, expected.bytes) << "unlisted";
  }
}

TEST_F(Composition, PercentIsClampedAndOneHundredShowsTheSecondPicture) {
  effect.setComposeVideoSize(16, 12);
  const TestPicture first = randomPicture(16, 12, 24);
  const TestPicture second = randomPicture(16, 12, 24);
  TestPicture out(16, 12, 24);
  for (int code : {528, 2051, 2084, 0}) {
    compose(first, second, 150, code, out);
    EXPECT_EQ(out.bytes, second.bytes) << "150 % with code " << code;
  }
  TestPicture atZero(16, 12, 24);
  compose(first, second, 0, 2051, atZero);
  compose(first, second, -5, 2051, out);
  EXPECT_EQ(out.bytes, atZero.bytes);
  EXPECT_EQ(out.bytes, first.bytes) << "a band of height 0 leaves the first picture";
}

TEST_F(Composition, FadeBlendsByRoundedPercent) {
  effect.setComposeVideoSize(8, 2);
  TestPicture first(8, 2, 24, 100), second(8, 2, 32, 200);
  TestPicture out(8, 2, 24);
  TraceCapture traces;
  // 50 % is alpha 128 (127.5 to even): (200 * 128 + 100 * 128) >> 8 = 150.
  compose(first, second, 50, 528, out);
  for (int x = 0; x < 8 * 2 * 3; ++x) ASSERT_EQ(out.bytes[x], 150) << x;
  EXPECT_TRUE(traces.contains(",,,,,,,,,,50"));
  // 25 % is alpha 64 (63.75): (200 * 64 + 100 * 192) >> 8 = 125.
  compose(first, second, 25, 528, out);
  EXPECT_EQ(out.bytes[0], 125);
  compose(first, second, 0, 528, out);
  EXPECT_EQ(out.bytes, first.bytes) << "at 0 % the first picture stays";

  // A second picture of another size is sampled nearest and blended.
  const TestPicture small = randomPicture(3, 5, 24);
  compose(first, small, 40, 528, out);
  TestPicture expected = first;
  const std::vector<uint8_t> mask(16, 102);  // 40 % of 255
  reference::alphaStretchDraw(small, expected, mask.data());
  EXPECT_EQ(out.bytes, expected.bytes);
}

TEST_F(Composition, OtherMaskCodesBlendWithTheMaskAsItIs) {
  effect.setComposeVideoSize(8, 2);
  TestPicture first(8, 2, 24, 100), second(8, 2, 24, 200);
  TestPicture out(8, 2, 24);
  TraceCapture traces;
  compose(first, second, 40, 0x201, out);
  EXPECT_EQ(out.bytes, first.bytes) << "a fresh mask is transparent";
  EXPECT_TRUE(traces.contains(",,,,,,,,,,40"));
  compose(first, second, 50, 528, out);
  compose(first, second, 10, 0x201, out);
  EXPECT_EQ(out.bytes[0], 150) << "the mask of the last fade is reused";
}

TEST_F(Composition, EmptyPicturesOfTypeTwoDrawNothing) {
  effect.setComposeVideoSize(4, 4);
  const TestPicture picture = randomPicture(4, 4, 24);
  TestPicture empty(0, 4, 24);
  TestPicture out(4, 4, 24, 0x66);
  compose(picture, empty, 50, 2084, out);
  compose(empty, picture, 50, 2084, out);
  EXPECT_EQ(out.bytes, TestPicture(4, 4, 24, 0x66).bytes);
}

TEST_F(Composition, BitCountChangesReplaceThePictureAndOthersFail) {
  effect.setComposeVideoSize(6, 4);
  TestPicture out(6, 4, 24), expected(6, 4, 24);
  for (int bitCount : {24, 32, 24, 32}) {
    const TestPicture source = randomPicture(6, 4, bitCount);
    const ComposeItem item = itemOf(source);
    effect.composeVideo(&item, 1, 0, 0x824, out.bytes.data());
    reference::draw(source, expected, 0, 0);
    ASSERT_EQ(out.bytes, expected.bytes) << bitCount;
  }
  TestPicture odd(6, 4, 16);
  const ComposeItem item = itemOf(odd);
  const auto before = out.bytes;
  try {
    effect.composeVideo(&item, 1, 0, 0x824, out.bytes.data());
    ADD_FAILURE() << "a 16-bit picture was accepted";
  } catch (const EffectError& error) {
    EXPECT_STREQ(error.what(), "Can not support this PixelFormat: 16");
  }
  EXPECT_EQ(out.bytes, before);
  // The instance keeps working afterwards.
  const TestPicture good = randomPicture(6, 4, 32);
  const ComposeItem goodItem = itemOf(good);
  effect.composeVideo(&goodItem, 1, 0, 0x824, out.bytes.data());
  reference::draw(good, expected, 0, 0);
  EXPECT_EQ(out.bytes, expected.bytes);
}

TEST_F(Composition, RectanglesOnBlackWithLightFrames) {
  effect.setComposeVideoSize(40, 30);
  const TestPicture a = randomPicture(8, 6, 24);   // copied at its own size
  const TestPicture b = randomPicture(5, 7, 32);   // scaled, covers part of a
  const TestPicture c = randomPicture(4, 4, 24);   // refused: negative left
  const ComposeRectItem items[] = {rectItemOf(&a, 4, 4, 12, 10), rectItemOf(nullptr, 20, 4, 30, 10),
                                   rectItemOf(&b, 10, 8, 22, 20), rectItemOf(&c, -3, 24, 1, 28)};
  TestPicture out(40, 30, 24, 0x77);
  effect.composeVideoEx(items, 4, out.bytes.data());

  TestPicture expected(40, 30, 24, 0);
  fill(expected, 2, 2, 14, 12, 200);
  reference::draw(a, expected, 4, 4);
  fill(expected, 8, 6, 24, 22, 200);
  reference::bilinear(b, expected, 10, 8, 12, 12);
  fill(expected, -5, 22, 3, 30, 200);  // the frame of the refused rectangle, clipped
  EXPECT_EQ(out.bytes, expected.bytes);

  // Fewer items: the array follows the count; a null format leaves black.
  const ComposeRectItem fewer[] = {rectItemOf(nullptr, 4, 4, 12, 10)};
  effect.composeVideoEx(fewer, 1, out.bytes.data());
  EXPECT_EQ(out.bytes, TestPicture(40, 30, 24, 0).bytes);
  // Count 0 leaves the output as it is.
  TestPicture untouched(40, 30, 24, 0x12);
  effect.composeVideoEx(items, 0, untouched.bytes.data());
  EXPECT_EQ(untouched.bytes, TestPicture(40, 30, 24, 0x12).bytes);
}

TEST_F(Composition, UnsupportedItemStopsAfterTheBlackFill) {
  effect.setComposeVideoSize(8, 8);
  const TestPicture a = randomPicture(4, 4, 24);
  TestPicture bad(4, 4, 8);
  const ComposeRectItem items[] = {rectItemOf(&a, 0, 0, 4, 4), rectItemOf(&bad, 4, 4, 8, 8)};
  TestPicture out(8, 8, 24, 0x77);
  EXPECT_THROW(effect.composeVideoEx(items, 2, out.bytes.data()), EffectError);
  EXPECT_EQ(out.bytes, TestPicture(8, 8, 24, 0).bytes);
}

TEST_F(Composition, MissingArgumentsFailWithoutTouchingMemory) {
  effect.setComposeVideoSize(4, 4);
  TestPicture out(4, 4, 24, 0x21);
  const TestPicture picture = randomPicture(4, 4, 24);
  ComposeItem noFormat{nullptr, picture.bytes.data(), nullptr};
  EXPECT_THROW(effect.composeVideo(nullptr, 1, 0, 0, out.bytes.data()), EffectError);
  EXPECT_THROW(effect.composeVideo(&noFormat, 1, 0, 0, out.bytes.data()), EffectError);
  EXPECT_THROW(effect.composeVideo(&noFormat, 1, 0, 0, nullptr), EffectError);
  EXPECT_THROW(effect.composeVideoEx(nullptr, 2, out.bytes.data()), EffectError);
  ComposeItem noPixels{&picture.header, nullptr, nullptr};
  effect.composeVideo(&noPixels, 1, 0, 0, out.bytes.data());
  EXPECT_EQ(out.bytes, TestPicture(4, 4, 24, 0x21).bytes);
}

}  // namespace
}  // namespace lessonry::effect
