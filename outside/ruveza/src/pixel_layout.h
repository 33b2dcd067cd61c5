// Turning the pixels of a server's image into the library's picture rows
// (blue, green, red, 0), and drawing the mouse pointer into a picture.
// Plain functions over memory, without a connection, so that every layout
// can be checked without a server that has it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lessonry::ruveza {

// How a server image stores its pixels (the fields of an XImage in ZPixmap
// format on a TrueColor or DirectColor visual).
struct SourceLayout {
  int bitsPerPixel = 32;  // 8, 16, 24 or 32
  int bytesPerLine = 0;
  bool msbFirst = false;  // byte order of a pixel's bytes
  uint32_t redMask = 0xff0000;
  uint32_t greenMask = 0x00ff00;
  uint32_t blueMask = 0x0000ff;
};

// True when the rows are already blue, green, red, pad bytes and can be copied.
bool isBgrx(const SourceLayout& layout);

// Converts width x height pixels from src into dst (rows of dstStride bytes,
// 4 bytes a pixel, fourth byte 0). Channels of fewer than 8 bits are widened
// so that the largest value becomes 255.
void convertToBgrx(const uint8_t* src, const SourceLayout& layout, int width, int height, uint8_t* dst,
                   size_t dstStride);

// A pointer image: width x height values whose low 32 bits are premultiplied
// alpha, red, green, blue (alpha in the top byte), as the server reports it.
// The value type is unsigned long because that is what the server's reply
// holds on this platform (64 bits, upper half unused).
struct PointerImage {
  const unsigned long* pixels = nullptr;
  int width = 0;
  int height = 0;
  int left = 0;  // screen position of the image's top left pixel
  int top = 0;
};

// Draws the pointer over a picture of width x height BGRX pixels (rows of
// stride bytes): out = pointer + picture x (255 - alpha) / 255 per channel,
// rounded, for the part of the pointer that lies inside the picture.
void blendPointer(uint8_t* picture, int width, int height, size_t stride, const PointerImage& pointer);

}  // namespace lessonry::ruveza
