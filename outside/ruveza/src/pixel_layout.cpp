// Pixel layout conversion and pointer blending for the screen grabber.
#include "pixel_layout.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace lessonry::ruveza {

namespace {

// Extracts one channel given by mask from a pixel value and widens it to 8 bits.
struct Channel {
  explicit Channel(uint32_t mask)
      : shift(mask ? std::countr_zero(mask) : 0), bits(mask ? std::popcount(mask) : 0), mask(mask) {}
  uint8_t operator()(uint32_t pixel) const {
    if (bits == 0) return 0;
    uint32_t v = (pixel & mask) >> shift;
    if (bits >= 8) return static_cast<uint8_t>(v >> (bits - 8));
    const uint32_t max = (1u << bits) - 1;
    return static_cast<uint8_t>((v * 255 + max / 2) / max);
  }
  int shift;
  int bits;
  uint32_t mask;
};

uint32_t readPixel(const uint8_t* p, int bytes, bool msbFirst) {
  uint32_t v = 0;
  if (msbFirst) {
    for (int i = 0; i < bytes; ++i) v = (v << 8) | p[i];
  } else {
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
  }
  return v;
}

uint8_t over(unsigned pointerChannel, unsigned pictureChannel, unsigned alpha) {
  // Premultiplied "over": the pointer's channel already carries its alpha.
  const unsigned v = pointerChannel + (pictureChannel * (255 - alpha) + 127) / 255;
  return static_cast<uint8_t>(std::min(v, 255u));
}

}  // namespace

bool isBgrx(const SourceLayout& layout) {
  return layout.bitsPerPixel == 32 && !layout.msbFirst && layout.redMask == 0xff0000 && layout.greenMask == 0xff00 &&
         layout.blueMask == 0xff;
}

void convertToBgrx(const uint8_t* src, const SourceLayout& layout, int width, int height, uint8_t* dst,
                   size_t dstStride) {
  if (!src || !dst || width <= 0 || height <= 0) return;
  if (isBgrx(layout)) {
    // The common case (24- and 32-bit visuals of little-endian servers):
    // only the pad byte needs clearing, which the copy loop does in passing.
    for (int y = 0; y < height; ++y) {
      const uint8_t* s = src + static_cast<size_t>(y) * layout.bytesPerLine;
      uint8_t* d = dst + static_cast<size_t>(y) * dstStride;
      std::memcpy(d, s, static_cast<size_t>(width) * 4);
      for (int x = 0; x < width; ++x) d[x * 4 + 3] = 0;
    }
    return;
  }
  const int bytes = layout.bitsPerPixel / 8;
  if (bytes < 1 || bytes > 4) return;
  const Channel red(layout.redMask), green(layout.greenMask), blue(layout.blueMask);
  for (int y = 0; y < height; ++y) {
    const uint8_t* s = src + static_cast<size_t>(y) * layout.bytesPerLine;
    uint8_t* d = dst + static_cast<size_t>(y) * dstStride;
    for (int x = 0; x < width; ++x, s += bytes, d += 4) {
      const uint32_t v = readPixel(s, bytes, layout.msbFirst);
      d[0] = blue(v);
      d[1] = green(v);
      d[2] = red(v);
      d[3] = 0;
    }
  }
}

void blendPointer(uint8_t* picture, int width, int height, size_t stride, const PointerImage& pointer) {
  if (!picture || !pointer.pixels || pointer.width <= 0 || pointer.height <= 0) return;
  const int x0 = std::max(0, pointer.left), y0 = std::max(0, pointer.top);
  const int x1 = std::min(width, pointer.left + pointer.width), y1 = std::min(height, pointer.top + pointer.height);
  for (int y = y0; y < y1; ++y) {
    const unsigned long* row = pointer.pixels + static_cast<size_t>(y - pointer.top) * pointer.width;
    uint8_t* d = picture + static_cast<size_t>(y) * stride;
    for (int x = x0; x < x1; ++x) {
      const uint32_t argb = static_cast<uint32_t>(row[x - pointer.left]);
      const unsigned a = argb >> 24;
      if (a == 0 && (argb & 0xffffff) == 0) continue;
      uint8_t* p = d + static_cast<size_t>(x) * 4;
      p[0] = over(argb & 0xff, p[0], a);
      p[1] = over((argb >> 8) & 0xff, p[1], a);
      p[2] = over((argb >> 16) & 0xff, p[2], a);
    }
  }
}

}  // namespace lessonry::ruveza
