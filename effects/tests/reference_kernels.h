// Plain scalar forms of the effects library's pixel rules, written straight
// from their definitions (per pixel, steps accumulated by addition, no tables
// or row caches). The library's kernels must give these bytes exactly.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "test_pictures.h"

namespace lessonry::effect::reference {

using testing::TestPicture;

// One source byte; a sample outside the picture is allowed only with weight
// 0 (a one-pixel-wide or one-row source), and then reads the edge pixel.
inline uint32_t sample(const TestPicture& s, int64_t row, int64_t column, int channel, uint32_t weight) {
  if (row >= s.height() || column >= s.width()) {
    EXPECT_EQ(weight, 0u) << "sample outside the source with a non-zero weight";
    row = std::min<int64_t>(row, s.height() - 1);
    column = std::min<int64_t>(column, s.width() - 1);
  }
  return s.at(static_cast<int32_t>(row), static_cast<int32_t>(column))[channel];
}

// Bilinear scaling of s into the dw x dh area at (left, top) of the 24-bit
// target t; pixels outside t are not written.
inline void bilinear(const TestPicture& s, TestPicture& t, int64_t left, int64_t top, int64_t dw, int64_t dh) {
  const int64_t xStep = static_cast<int64_t>(static_cast<double>((s.width() - 1) * int64_t{65536}) / dw);
  const int64_t yStep = static_cast<int64_t>(static_cast<double>((s.height() - 1) * int64_t{65536}) / dh);
  int64_t y = 0;
  for (int64_t i = 0; i < dh; ++i, y += yStep) {
    const int64_t k = y >> 16;
    const uint32_t fy = static_cast<uint32_t>((y & 0xFFFF) >> 8);
    int64_t x = 0;
    for (int64_t j = 0; j < dw; ++j, x += xStep) {
      const int64_t c = x >> 16;
      const uint32_t fx = static_cast<uint32_t>((x & 0xFFFF) >> 8);
      uint8_t result[3];
      for (int ch = 0; ch < 3; ++ch) {
        if (j == dw - 1) {
          result[ch] = static_cast<uint8_t>(sample(s, k, c, ch, 0));
          continue;
        }
        const uint32_t upper = (sample(s, k, c, ch, 256) * (256 - fx) + sample(s, k, c + 1, ch, fx) * fx) >> 8;
        const uint32_t lower =
            (sample(s, k + 1, c, ch, fy) * (256 - fx) + sample(s, k + 1, c + 1, ch, fx * fy) * fx) >> 8;
        result[ch] = static_cast<uint8_t>((upper * (256 - fy) + lower * fy) >> 8);
      }
      const int64_t row = top + i;
      const int64_t column = left + j;
      if (row < 0 || row >= t.height() || column < 0 || column >= t.width()) continue;
      uint8_t* p = t.at(static_cast<int32_t>(row), static_cast<int32_t>(column));
      std::copy(result, result + 3, p);
    }
  }
}

inline uint8_t blendByte(uint32_t source, uint32_t target, uint32_t alpha) {
  return static_cast<uint8_t>((source * alpha + target * (256 - alpha)) >> 8);
}

// Same-size blend: alpha 0 skips, alpha 255 copies, except the last pixel of
// each row, which is blended whenever its alpha is not 0.
inline void alphaDraw(const TestPicture& s, TestPicture& t, const uint8_t* mask) {
  const int32_t w = std::min(s.width(), t.width());
  const int32_t h = std::min(s.height(), t.height());
  for (int32_t i = 0; i < h; ++i)
    for (int32_t j = 0; j < w; ++j) {
      const uint32_t a = mask[i * t.width() + j];
      if (a == 0) continue;
      uint8_t* p = t.at(i, j);
      const uint8_t* q = s.at(i, j);
      for (int ch = 0; ch < 3; ++ch) p[ch] = (a == 255 && j != w - 1) ? q[ch] : blendByte(q[ch], p[ch], a);
    }
}

// Nearest-sample scaling onto the whole target, blending every pixel with a
// non-zero alpha.
inline void alphaStretchDraw(const TestPicture& s, TestPicture& t, const uint8_t* mask) {
  const int64_t xStep = (int64_t{s.width()} * 65536) / t.width() + 1;
  const int64_t yStep = (int64_t{s.height()} * 65536) / t.height() + 1;
  int64_t y = 0;
  for (int32_t i = 0; i < t.height(); ++i, y += yStep) {
    int64_t x = 0;
    for (int32_t j = 0; j < t.width(); ++j, x += xStep) {
      const uint32_t a = mask[i * t.width() + j];
      if (a == 0) continue;
      uint8_t* p = t.at(i, j);
      for (int ch = 0; ch < 3; ++ch) {
        // Samples past the source (large enlargements) are held at its edge.
        const int64_t row = std::min<int64_t>(y >> 16, s.height() - 1);
        const int64_t column = std::min<int64_t>(x >> 16, s.width() - 1);
        p[ch] = blendByte(s.at(static_cast<int32_t>(row), static_cast<int32_t>(column))[ch], p[ch], a);
      }
    }
  }
}

// Unscaled copy at (x, y), clipped; 32-bit sources lose their fourth byte.
inline void draw(const TestPicture& s, TestPicture& t, int32_t x, int32_t y) {
  for (int32_t i = 0; i < s.height(); ++i)
    for (int32_t j = 0; j < s.width(); ++j) {
      if (y + i < 0 || y + i >= t.height() || x + j < 0 || x + j >= t.width()) continue;
      std::copy(s.at(i, j), s.at(i, j) + 3, t.at(y + i, x + j));
    }
}

}  // namespace lessonry::effect::reference
