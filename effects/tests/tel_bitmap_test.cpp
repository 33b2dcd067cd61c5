// Picture classes: sizes, creation, the 24-bit target rule, DrawRect's
// refusals and clipping, FillRect's clipping and CropCenter.
#include "tel_bitmap.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "effect_error.h"
#include "reference_kernels.h"
#include "test_pictures.h"

namespace lessonry::effect {
namespace {

using testing::TestPicture;

std::unique_ptr<TELBitmap> attach(TestPicture& picture) {
  auto bitmap = TELBitmap::Create(picture.header.biBitCount);
  bitmap->SetData(picture.header.biWidth, picture.header.biHeight, picture.bytes.data());
  return bitmap;
}

TEST(TELBitmap, RowAndPixelSizes) {
  struct Case {
    int bitCount, width, lineSize, pixelSize;
  };
  for (const Case& c : {Case{24, 4, 12, 3}, Case{24, 5, 16, 3}, Case{24, 1, 4, 3}, Case{24, 7, 24, 3},
                        Case{32, 5, 20, 4}, Case{32, 1, 4, 4}}) {
    auto bitmap = TELBitmap::Create(c.bitCount);
    bitmap->SetData(c.width, -3, nullptr);
    EXPECT_EQ(bitmap->LineSize(), c.lineSize) << c.bitCount << "-bit width " << c.width;
    EXPECT_EQ(bitmap->PixelSize(), c.pixelSize);
    EXPECT_EQ(bitmap->height(), 3) << "the height is kept as its absolute value";
    EXPECT_EQ(bitmap->bitCount(), c.bitCount);
  }
}

TEST(TELBitmap, RefusesOtherBitCountsAndOtherTargets) {
  for (int bitCount : {0, 8, 15, 16, 12, 48}) {
    try {
      TELBitmap::Create(bitCount);
      ADD_FAILURE() << "created a " << bitCount << "-bit picture";
    } catch (const EffectError& error) {
      EXPECT_EQ(std::string(error.what()), "Can not support this PixelFormat: " + std::to_string(bitCount));
    }
  }
  TestPicture source(2, 2, 24, 7), target32(2, 2, 32, 1);
  auto from = attach(source);
  auto to = attach(target32);
  const auto before = target32.bytes;
  const std::vector<uint8_t> mask(4, 128);
  const std::function<void()> draws[] = {
      [&] { from->Draw(*to, 0, 0); },          [&] { from->StretchDraw(*to); },
      [&] { from->DrawRect(*to, {0, 0, 1, 1}); }, [&] { from->AlphaDraw(*to, mask); },
      [&] { from->AlphaStretchDraw(*to, mask); }};
  for (const auto& draw : draws) {
    try {
      draw();
      ADD_FAILURE() << "drew into a 32-bit picture";
    } catch (const EffectError& error) {
      EXPECT_STREQ(error.what(), "Only Support The TELBitmap24");
    }
  }
  EXPECT_EQ(target32.bytes, before);
}

TEST(TELBitmap, DrawRectRefusesRectanglesOutsideTheTarget) {
  TestPicture source(5, 3, 24, 9);
  auto from = attach(source);
  const Rect refused[] = {
      {-1, 0, 4, 3},   // left negative
      {13, 0, 20, 3},  // left beyond the width
      {0, -1, 4, 3},   // top negative
      {0, 5, 4, 11},   // bottom below the height
      {3, 2, 3, 6},    // empty
      {4, 6, 2, 8},    // inverted
      {12, 0, 17, 3},  // left at the width: nothing left to draw
  };
  for (const Rect& rect : refused) {
    TestPicture target(12, 10, 24, 1);
    auto to = attach(target);
    from->DrawRect(*to, rect);
    EXPECT_EQ(target.bytes, TestPicture(12, 10, 24, 1).bytes)
        << rect.left << "," << rect.top << "-" << rect.right << "," << rect.bottom;
  }
}

TEST(TELBitmap, DrawRectCopiesAtItsOwnSizeAndClipsOnTheRight) {
  std::mt19937 rng(7);
  for (int bitCount : {24, 32}) {
    TestPicture source(5, 3, bitCount);
    source.randomize(rng);
    auto from = attach(source);
    struct Case {
      Rect rect;
      bool unscaled;
    };
    // Own size (a plain copy, also when it passes the right edge) and scaled,
    // inside and past the right edge.
    for (const Case& c : {Case{{2, 4, 7, 7}, true}, Case{{9, 1, 14, 4}, true}, Case{{1, 1, 9, 8}, false},
                          Case{{7, 0, 19, 10}, false}}) {
      TestPicture expected(12, 10, 24);
      expected.randomize(rng);
      TestPicture actual = expected;
      if (c.unscaled)
        reference::draw(source, expected, c.rect.left, c.rect.top);
      else
        reference::bilinear(source, expected, c.rect.left, c.rect.top, c.rect.right - c.rect.left,
                            c.rect.bottom - c.rect.top);
      auto to = attach(actual);
      from->DrawRect(*to, c.rect);
      EXPECT_EQ(actual.bytes, expected.bytes) << bitCount << "-bit into " << c.rect.left << "," << c.rect.top;
    }
  }
}

TEST(TELBitmap, FillRectClipsToThePicture) {
  struct Case {
    Rect rect;
    int left, top, right, bottom;  // what is filled
  };
  for (int bitCount : {24, 32}) {
    for (const Case& c : {Case{{1, 1, 3, 2}, 1, 1, 3, 2}, Case{{-2, -2, 2, 9}, 0, 0, 2, 4},
                          Case{{4, 3, 99, 99}, 4, 3, 5, 4}, Case{{3, 3, 2, 4}, 0, 0, 0, 0},
                          Case{{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}, 0, 0, 5, 4}}) {
      TestPicture picture(5, 4, bitCount, 0x11);
      auto bitmap = attach(picture);
      bitmap->FillRect(c.rect, 0xC8);
      for (int r = 0; r < 4; ++r)
        for (int x = 0; x < picture.stride(); ++x) {
          const int column = x / picture.pixelSize();
          const bool inside = column < 5 && r >= c.top && r < c.bottom && column >= c.left && column < c.right;
          ASSERT_EQ(picture.bytes[r * picture.stride() + x], inside ? 0xC8 : 0x11)
              << bitCount << "-bit rect " << c.rect.left << "," << c.rect.top << " byte " << r << "/" << x;
        }
    }
  }
}

TEST(TELBitmap, CropCenterCopiesTheMiddle) {
  TestPicture picture(8, 6, 24);
  for (int r = 0; r < 6; ++r)
    for (int c = 0; c < 8; ++c) picture.setPixel(r, c, static_cast<uint8_t>(r * 10 + c), 0, 0);
  auto bitmap = attach(picture);
  bitmap->CropCenter(50, 50);
  ASSERT_EQ(bitmap->scratchWidth(), 4);
  ASSERT_EQ(bitmap->scratchHeight(), 3);
  // Columns 2..5, rows 1..3.
  EXPECT_EQ(bitmap->scratch()[0], 12);
  EXPECT_EQ(bitmap->scratch()[3 * 3], 15);
  EXPECT_EQ(bitmap->scratch()[2 * 4 * 3], 32);
}

}  // namespace
}  // namespace lessonry::effect
