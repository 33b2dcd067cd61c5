// Pixel layout conversion and pointer blending, on memory built by hand.
#include "pixel_layout.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace lessonry::ruveza {
namespace {

struct Rgb {
  uint8_t r, g, b;
};

// One layout with pixel values written out by hand for a few colours.
struct LayoutCase {
  const char* name;
  SourceLayout layout;
  std::vector<uint32_t> values;  // pixel values, in the layout's bit positions
  std::vector<Rgb> expected;     // what each value must become
};

void putPixel(uint8_t* p, int bytes, bool msbFirst, uint32_t v) {
  for (int i = 0; i < bytes; ++i) {
    const int shift = msbFirst ? 8 * (bytes - 1 - i) : 8 * i;
    p[i] = static_cast<uint8_t>(v >> shift);
  }
}

TEST(PixelLayoutTest, ConvertsEveryLayoutToBlueGreenRedZero) {
  const std::vector<LayoutCase> cases = {
      {"bgrx little-endian", {32, 0, false, 0xff0000, 0xff00, 0xff},
       {0xAB000000, 0xABffffff, 0x00ff0000, 0x0000ff00, 0x000000ff, 0x00123456},
       {{0, 0, 0}, {255, 255, 255}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {0x12, 0x34, 0x56}}},
      {"xrgb big-endian", {32, 0, true, 0xff0000, 0xff00, 0xff},
       {0, 0xffffff, 0xff0000, 0xff00, 0xff, 0x123456},
       {{0, 0, 0}, {255, 255, 255}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {0x12, 0x34, 0x56}}},
      {"rgbx little-endian (red in the low byte)", {32, 0, false, 0xff, 0xff00, 0xff0000},
       {0, 0xffffff, 0xff, 0xff00, 0xff0000, 0x563412},
       {{0, 0, 0}, {255, 255, 255}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {0x12, 0x34, 0x56}}},
      {"packed 24-bit", {24, 0, false, 0xff0000, 0xff00, 0xff},
       {0, 0xffffff, 0xff0000, 0xff00, 0xff, 0x123456},
       {{0, 0, 0}, {255, 255, 255}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {0x12, 0x34, 0x56}}},
      // 5-6-5: full channels widen to 255, red 16/31 to 132, green 32/63 to 130.
      {"565 little-endian", {16, 0, false, 0xf800, 0x07e0, 0x001f},
       {0, 0xffff, 0xf800, 0x07e0, 0x001f, 0x8400},
       {{0, 0, 0}, {255, 255, 255}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {132, 130, 0}}},
      {"565 big-endian", {16, 0, true, 0xf800, 0x07e0, 0x001f},
       {0, 0xffff, 0xf800, 0x07e0, 0x001f, 0x8400},
       {{0, 0, 0}, {255, 255, 255}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {132, 130, 0}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // Two rows with padding at the end of each source row and a wider
    // destination stride: both strides must be honoured.
    const int width = static_cast<int>(c.values.size()), height = 2, bytes = c.layout.bitsPerPixel / 8;
    SourceLayout layout = c.layout;
    layout.bytesPerLine = width * bytes + 7;
    std::vector<uint8_t> src(static_cast<size_t>(layout.bytesPerLine) * height, 0xEE);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        putPixel(&src[static_cast<size_t>(y) * layout.bytesPerLine + static_cast<size_t>(x) * bytes], bytes,
                 layout.msbFirst, c.values[static_cast<size_t>(y == 0 ? x : width - 1 - x)]);
    const size_t dstStride = static_cast<size_t>(width) * 4 + 8;
    std::vector<uint8_t> dst(dstStride * height, 0x77);
    convertToBgrx(src.data(), layout, width, height, dst.data(), dstStride);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        const Rgb& e = c.expected[static_cast<size_t>(y == 0 ? x : width - 1 - x)];
        const uint8_t* d = &dst[y * dstStride + static_cast<size_t>(x) * 4];
        EXPECT_EQ(d[0], e.b) << "x " << x << " y " << y;
        EXPECT_EQ(d[1], e.g) << "x " << x << " y " << y;
        EXPECT_EQ(d[2], e.r) << "x " << x << " y " << y;
        EXPECT_EQ(d[3], 0) << "x " << x << " y " << y;
      }
    // The destination's row padding is not the converter's to write.
    EXPECT_EQ(dst[static_cast<size_t>(width) * 4], 0x77);
  }
}

// A 4 x 4 grey picture and pointer images placed over it.
struct BlendFixture {
  static constexpr int kSize = 4;
  std::vector<uint8_t> picture = std::vector<uint8_t>(kSize * kSize * 4, 0);
  explicit BlendFixture(uint8_t grey) {
    for (size_t i = 0; i < picture.size(); ++i) picture[i] = (i % 4 == 3) ? 0 : grey;
  }
  const uint8_t* at(int x, int y) const { return &picture[(static_cast<size_t>(y) * kSize + x) * 4]; }
};

TEST(PixelLayoutTest, BlendsPremultipliedPointerOverPicture) {
  struct Case {
    const char* name;
    uint8_t grey;
    unsigned long argb;
    std::array<uint8_t, 3> bgr;
  };
  const Case cases[] = {
      {"opaque red replaces", 200, 0xffff0000ul, {0, 0, 255}},
      {"transparent leaves", 200, 0x00000000ul, {200, 200, 200}},
      {"half-transparent black darkens", 200, 0x80000000ul, {100, 100, 100}},
      {"half-transparent white over black", 0, 0x80808080ul, {128, 128, 128}},
      {"half-transparent white over white stays white", 255, 0x80808080ul, {255, 255, 255}},
      // Only the low 32 bits of the reply's values are the pixel.
      {"upper half ignored", 10, 0xdeadbeef000000fful | (0xfful << 24), {255, 0, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    BlendFixture f(c.grey);
    const unsigned long pixel = c.argb;
    blendPointer(f.picture.data(), f.kSize, f.kSize, f.kSize * 4, {&pixel, 1, 1, 2, 1});
    EXPECT_EQ(f.at(2, 1)[0], c.bgr[0]);
    EXPECT_EQ(f.at(2, 1)[1], c.bgr[1]);
    EXPECT_EQ(f.at(2, 1)[2], c.bgr[2]);
    EXPECT_EQ(f.at(2, 1)[3], 0);
    EXPECT_EQ(f.at(1, 1)[0], c.grey);  // its neighbours are untouched
    EXPECT_EQ(f.at(2, 0)[0], c.grey);
  }
}

TEST(PixelLayoutTest, PointerPartlyOffThePictureIsClipped) {
  // A 3 x 3 opaque pointer whose pixel values name their own position.
  std::vector<unsigned long> pointer(9);
  for (int i = 0; i < 9; ++i) pointer[static_cast<size_t>(i)] = 0xff000000ul | static_cast<unsigned long>(i + 1);
  struct Case {
    int left, top;
  };
  for (Case c : {Case{-1, -1}, Case{2, 2}, Case{-2, 3}, Case{3, -2}, Case{-5, 0}, Case{4, 4}}) {
    SCOPED_TRACE(testing::Message() << "at " << c.left << "," << c.top);
    BlendFixture f(50);
    blendPointer(f.picture.data(), f.kSize, f.kSize, f.kSize * 4, {pointer.data(), 3, 3, c.left, c.top});
    for (int y = 0; y < f.kSize; ++y)
      for (int x = 0; x < f.kSize; ++x) {
        const int px = x - c.left, py = y - c.top;
        const bool covered = px >= 0 && px < 3 && py >= 0 && py < 3;
        EXPECT_EQ(f.at(x, y)[0], covered ? py * 3 + px + 1 : 50) << "x " << x << " y " << y;
      }
  }
}

}  // namespace
}  // namespace lessonry::ruveza
