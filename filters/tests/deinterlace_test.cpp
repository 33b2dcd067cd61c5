// De-interlace smoothing: the 8-byte kernel against the byte-wise definition,
// and both against the formula on an untouched copy.
#include "deinterlace.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "base/picture_format.h"

namespace lessonry::filters {
namespace {

uint8_t formula(uint8_t a, uint8_t b, uint8_t c) { return uint8_t((((a + c) / 2) + b + 1) / 2); }

TEST(DeinterlaceTest, KernelMatchesDefinitionForStridesOfBothKinds) {
  std::mt19937 random(7);
  for (int width : {1, 3, 8, 16, 21, 640, 641}) {
    const int32_t stride = dibStride(width, 24);
    for (int rows : {3, 4, 5, 31}) {
      std::vector<uint8_t> original(size_t(stride) * rows);
      for (auto& b : original) b = uint8_t(random());
      std::vector<uint8_t> fast = original, reference = original;
      deinterlaceRows(fast.data(), stride, rows);
      deinterlaceRowsReference(reference.data(), stride, rows);
      ASSERT_EQ(fast, reference) << width << "x" << rows;

      auto at = [&](const std::vector<uint8_t>& v, int r, int b) { return v[size_t(r) * stride + b]; };
      for (int r = 0; r <= rows - 3; ++r)
        for (int b = 0; b < stride; ++b) {
          // Bytes a spill from the row above reached are smoothed twice.
          const bool spilled = stride % 8 == 4 && r > 0 && b < 4;
          const uint8_t once = formula(at(original, r, b), at(original, r + 1, b), at(original, r + 2, b));
          const uint8_t expected =
              spilled ? formula(formula(at(original, r, b), at(original, r + 1, b), at(original, r + 2, b)),
                                at(original, r + 1, b), at(original, r + 2, b))
                      : once;
          ASSERT_EQ(at(fast, r, b), expected) << width << "x" << rows << " row " << r << " byte " << b;
        }
      for (int r = rows - 2; r < rows; ++r)
        for (int b = 0; b < stride; ++b) ASSERT_EQ(at(fast, r, b), at(original, r, b)) << "last two rows stay";
    }
  }
}

}  // namespace
}  // namespace lessonry::filters
