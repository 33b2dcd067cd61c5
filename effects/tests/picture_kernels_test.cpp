// The kernels of every instruction set this processor runs against the plain
// scalar rules (reference_kernels.h), byte for byte, on random pictures of
// odd sizes, plus a few hand-computed pictures.
#include "picture_kernels.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "reference_kernels.h"
#include "test_pictures.h"

namespace lessonry::effect {
namespace {

using testing::TestPicture;

std::vector<Isa> availableIsas() {
  std::vector<Isa> isas;
  for (Isa isa : {Isa::Scalar, Isa::Ssse3, Isa::Avx2})
    if (isaAvailable(isa)) isas.push_back(isa);
  return isas;
}

std::string isaName(Isa isa) { return isa == Isa::Scalar ? "scalar" : isa == Isa::Ssse3 ? "ssse3" : "avx2"; }

class KernelsTest : public ::testing::TestWithParam<Isa> {
 protected:
  const RowKernels& kernels() const { return kernelsFor(GetParam()); }
  std::mt19937 rng{20240611u + static_cast<unsigned>(GetParam())};
  int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); }
};

TEST_P(KernelsTest, BilinearMatchesTheRuleOnRandomPictures) {
  DrawScratch scratch;  // reused across cases, as a target picture reuses it
  for (int round = 0; round < 300; ++round) {
    const int bitCount = round % 2 ? 32 : 24;
    TestPicture source(pick(1, 37), pick(1, 29), bitCount);
    source.randomize(rng);
    TestPicture expected(pick(1, 61), pick(1, 45), 24);
    expected.randomize(rng);
    TestPicture actual = expected;
    // Areas from inside the target to well past its right and bottom edges.
    const int dw = pick(1, 70), dh = pick(1, 50);
    const int left = round % 3 == 0 ? 0 : pick(-8, expected.width());
    const int top = round % 3 == 0 ? 0 : pick(-8, expected.height());
    reference::bilinear(source, expected, left, top, dw, dh);
    scaleBilinear(source.source(), actual.target(), left, top, dw, dh, scratch, kernels());
    ASSERT_EQ(actual.bytes, expected.bytes)
        << isaName(GetParam()) << " round " << round << ": " << source.width() << "x" << source.height() << "x"
        << bitCount << " into " << dw << "x" << dh << " at " << left << "," << top << " of " << expected.width()
        << "x" << expected.height();
  }
}

TEST_P(KernelsTest, BilinearMatchesTheRuleAtRecordingSizes) {
  struct Case {
    int sw, sh, bitCount, dw, dh;
  };
  const Case cases[] = {{640, 480, 24, 1920, 1080}, {640, 480, 32, 1920, 1080}, {1920, 1080, 32, 400, 300},
                        {1366, 768, 24, 1280, 720}, {333, 241, 24, 1279, 719}};
  DrawScratch scratch;
  for (const auto& c : cases) {
    TestPicture source(c.sw, c.sh, c.bitCount);
    source.randomize(rng);
    TestPicture expected(c.dw, c.dh, 24);
    TestPicture actual = expected;
    reference::bilinear(source, expected, 0, 0, c.dw, c.dh);
    scaleBilinear(source.source(), actual.target(), 0, 0, c.dw, c.dh, scratch, kernels());
    ASSERT_EQ(actual.bytes, expected.bytes) << c.sw << "x" << c.sh << "x" << c.bitCount << " to " << c.dw << "x"
                                            << c.dh;
  }
}

TEST_P(KernelsTest, BlendsMatchTheRuleOnRandomPicturesAndMasks) {
  DrawScratch scratch;
  for (int round = 0; round < 200; ++round) {
    const int bitCount = round % 2 ? 32 : 24;
    TestPicture target(pick(1, 53), pick(1, 21), 24);
    target.randomize(rng);
    std::vector<uint8_t> mask(static_cast<size_t>(target.width()) * target.height());
    // Mostly the special values 0 and 255, so that every path is taken.
    for (auto& a : mask) {
      const int kind = pick(0, 3);
      a = kind == 0 ? 0 : kind == 1 ? 255 : static_cast<uint8_t>(pick(0, 255));
    }

    TestPicture same(target.width(), target.height(), bitCount);
    same.randomize(rng);
    TestPicture expected = target, actual = target;
    reference::alphaDraw(same, expected, mask.data());
    blendSameSize(same.source(), actual.target(), mask.data(), mask.size(), scratch, kernels());
    ASSERT_EQ(actual.bytes, expected.bytes) << "same size, round " << round;

    TestPicture other(pick(1, 40), pick(1, 30), bitCount);
    other.randomize(rng);
    expected = target;
    actual = target;
    reference::alphaStretchDraw(other, expected, mask.data());
    blendStretch(other.source(), actual.target(), mask.data(), mask.size(), scratch, kernels());
    ASSERT_EQ(actual.bytes, expected.bytes) << "stretched " << other.width() << "x" << other.height() << " onto "
                                            << target.width() << "x" << target.height() << ", round " << round;
  }
}

TEST_P(KernelsTest, CopiesClipAndDropTheFourthByte) {
  for (int round = 0; round < 200; ++round) {
    TestPicture source(pick(1, 40), pick(1, 20), round % 2 ? 32 : 24);
    source.randomize(rng);
    TestPicture expected(pick(1, 45), pick(1, 25), 24);
    expected.randomize(rng);
    TestPicture actual = expected;
    const int x = pick(-10, expected.width()), y = pick(-10, expected.height());
    reference::draw(source, expected, x, y);
    copyPicture(source.source(), actual.target(), x, y, kernels());
    ASSERT_EQ(actual.bytes, expected.bytes) << "round " << round;
  }
}

INSTANTIATE_TEST_SUITE_P(EveryIsa, KernelsTest, ::testing::ValuesIn(availableIsas()),
                         [](const auto& info) { return isaName(info.param); });

// 3 x 2 grey source to 4 x 3, worked by hand: steps 32768 and 21845, row
// weights 0, 85 and 170; the last column copies source column 1, not 2.
TEST(Bilinear, HandComputedEnlargement) {
  for (int bitCount : {24, 32}) {
    TestPicture source(3, 2, bitCount);
    const uint8_t values[2][3] = {{0, 100, 200}, {40, 140, 240}};
    for (int r = 0; r < 2; ++r)
      for (int c = 0; c < 3; ++c) source.setPixel(r, c, values[r][c], values[r][c], values[r][c]);
    TestPicture target(4, 3, 24, 0x55);
    DrawScratch scratch;
    scaleBilinear(source.source(), target.target(), 0, 0, 4, 3, scratch, activeKernels());
    const uint8_t expected[3][4] = {{0, 50, 100, 100}, {13, 63, 113, 100}, {26, 76, 126, 100}};
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 4; ++c)
        for (int ch = 0; ch < 3; ++ch)
          EXPECT_EQ(target.at(r, c)[ch], expected[r][c]) << bitCount << "-bit, row " << r << " column " << c;
  }
}

// Alpha 255 copies, except on the last pixel of a row: (200 * 255 + 100) >> 8 = 199.
TEST(Blend, OpaquePixelsCopyExceptTheLastOfARow) {
  TestPicture source(3, 1, 24, 200);
  TestPicture target(3, 1, 24, 100);
  const std::vector<uint8_t> mask = {255, 0, 255};
  DrawScratch scratch;
  blendSameSize(source.source(), target.target(), mask.data(), mask.size(), scratch, activeKernels());
  EXPECT_EQ(target.at(0, 0)[0], 200);
  EXPECT_EQ(target.at(0, 1)[0], 100);
  EXPECT_EQ(target.at(0, 2)[0], 199);
}

TEST(Kernels, UnusableViewsDrawNothing) {
  TestPicture source(4, 4, 24, 9);
  TestPicture target(4, 4, 24, 1);
  const std::vector<uint8_t> before = target.bytes;
  DrawScratch scratch;
  SourceView noPixels = source.source();
  noPixels.bits = nullptr;
  SourceView noWidth = source.source();
  noWidth.width = 0;
  SourceView negative = source.source();
  negative.width = -4;
  for (const SourceView& view : {noPixels, noWidth, negative}) {
    scaleBilinear(view, target.target(), 0, 0, 4, 4, scratch, activeKernels());
    copyPicture(view, target.target(), 0, 0, activeKernels());
  }
  scaleBilinear(source.source(), target.target(), 0, 0, 0, 4, scratch, activeKernels());
  scaleBilinear(source.source(), target.target(), 0, 0, 4, -1, scratch, activeKernels());
  EXPECT_EQ(target.bytes, before);
}

}  // namespace
}  // namespace lessonry::effect
