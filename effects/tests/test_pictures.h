// Pictures for the effects tests: caller-style buffers with their headers,
// exactly as large as their rows need (so that a read past the end shows
// under AddressSanitizer), and random or hand-set contents.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

#include "base/win_types.h"
#include "picture_kernels.h"

namespace lessonry::effect::testing {

// Row stride as the library steps it: padded to 4 bytes for 24-bit, width x 4 for 32-bit.
inline int32_t strideOf(int32_t width, int32_t bitCount) {
  return bitCount == 32 ? width * 4 : ((width * 24 + 31) / 32) * 4;
}

struct TestPicture {
  BITMAPINFOHEADER header{};
  std::vector<uint8_t> bytes;

  TestPicture() = default;
  TestPicture(int32_t width, int32_t height, int32_t bitCount, uint8_t fill = 0) {
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = static_cast<uint16_t>(bitCount);
    bytes.assign(static_cast<size_t>(strideOf(width, bitCount)) * std::abs(height), fill);
  }
  int32_t width() const { return header.biWidth; }
  int32_t height() const { return std::abs(header.biHeight); }
  int32_t pixelSize() const { return header.biBitCount / 8; }
  int32_t stride() const { return strideOf(width(), header.biBitCount); }
  uint8_t* at(int32_t row, int32_t column) { return bytes.data() + row * stride() + column * pixelSize(); }
  const uint8_t* at(int32_t row, int32_t column) const {
    return bytes.data() + row * stride() + column * pixelSize();
  }
  void setPixel(int32_t row, int32_t column, uint8_t b, uint8_t g, uint8_t r, uint8_t a = 0xEE) {
    uint8_t* p = at(row, column);
    p[0] = b;
    p[1] = g;
    p[2] = r;
    if (pixelSize() == 4) p[3] = a;
  }
  void randomize(std::mt19937& rng, int low = 0, int high = 255) {
    std::uniform_int_distribution<int> value(low, high);
    for (auto& b : bytes) b = static_cast<uint8_t>(value(rng));
  }
  SourceView source() const { return SourceView{bytes.data(), width(), height(), stride(), pixelSize()}; }
  TargetView target() { return TargetView{bytes.data(), width(), height(), stride()}; }
};

}  // namespace lessonry::effect::testing
