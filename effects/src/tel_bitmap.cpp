// Picture classes: what each operation draws where; the pixel work is in
// picture_kernels.cpp.
#include "tel_bitmap.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "effect_error.h"

namespace lessonry::effect {

std::unique_ptr<TELBitmap> TELBitmap::Create(int32_t bitCount) {
  if (bitCount == 24) return std::make_unique<TELBitmap24>();
  if (bitCount == 32) return std::make_unique<TELBitmap32>();
  throw EffectError("Can not support this PixelFormat: " + std::to_string(bitCount));
}

void TELBitmap::SetData(int32_t width, int32_t height, uint8_t* bits) {
  width_ = width;
  height_ = height == INT32_MIN ? INT32_MAX : std::abs(height);
  bits_ = bits;
}

SourceView TELBitmap::sourceView() const {
  return SourceView{bits_, width_, height_, LineSize(), PixelSize()};
}

TargetView TELBitmap::targetView(TELBitmap& target) {
  if (target.bitCount() != 24) throw EffectError("Only Support The TELBitmap24");
  return TargetView{target.bits_, target.width_, target.height_, target.LineSize()};
}

void TELBitmap::StretchDraw(TELBitmap& target) {
  const TargetView to = targetView(target);
  scaleBilinear(sourceView(), to, 0, 0, to.width, to.height, workOf(target), activeKernels());
}

void TELBitmap::DrawRect(TELBitmap& target, const Rect& rect) {
  const TargetView to = targetView(target);
  if (rect.left < 0 || rect.left > to.width || rect.top < 0 || rect.bottom > to.height) return;
  if (rect.right <= rect.left || rect.bottom <= rect.top) return;
  const int64_t dw = static_cast<int64_t>(rect.right) - rect.left;
  const int64_t dh = static_cast<int64_t>(rect.bottom) - rect.top;
  if (dw == width_ && dh == height_) {
    Draw(target, rect.left, rect.top);
    return;
  }
  scaleBilinear(sourceView(), to, rect.left, rect.top, dw, dh, workOf(target), activeKernels());
}

void TELBitmap::CropCenter(int32_t percentX, int32_t percentY) {
  const int64_t px = std::clamp(percentX, 0, 100);
  const int64_t py = std::clamp(percentY, 0, 100);
  const int64_t w = std::max(width_, 0) * px / 100;
  const int64_t h = static_cast<int64_t>(height_) * py / 100;
  scratchWidth_ = static_cast<int32_t>(w);
  scratchHeight_ = static_cast<int32_t>(h);
  if (!bits_ || w == 0 || h == 0) return;
  const size_t rowBytes = static_cast<size_t>(w) * PixelSize();
  const size_t need = rowBytes * static_cast<size_t>(h);
  if (need > scratchCapacity_) {
    scratch_ = std::make_unique<uint8_t[]>(need);
    scratchCapacity_ = need;
  }
  const int64_t x0 = (width_ - w) / 2;
  const int64_t y0 = (height_ - h) / 2;
  for (int64_t r = 0; r < h; ++r)
    std::memcpy(scratch_.get() + r * rowBytes, bits_ + (y0 + r) * LineSize() + x0 * PixelSize(), rowBytes);
}

void TELBitmap::FillRect(const Rect& rect, uint8_t value) {
  if (!bits_) return;
  const int64_t left = std::max<int64_t>(rect.left, 0);
  const int64_t top = std::max<int64_t>(rect.top, 0);
  const int64_t right = std::min<int64_t>(rect.right, width_);
  const int64_t bottom = std::min<int64_t>(rect.bottom, height_);
  if (right <= left || bottom <= top) return;
  const size_t bytes = static_cast<size_t>(right - left) * PixelSize();
  for (int64_t r = top; r < bottom; ++r) std::memset(bits_ + r * LineSize() + left * PixelSize(), value, bytes);
}

void TELBitmap24::Draw(TELBitmap& target, int32_t x, int32_t y) {
  copyPicture(sourceView(), targetView(target), x, y, activeKernels());
}

void TELBitmap24::AlphaStretchDraw(TELBitmap& target, std::span<const uint8_t> mask) {
  blendStretch(sourceView(), targetView(target), mask.data(), mask.size(), workOf(target), activeKernels());
}

void TELBitmap24::AlphaDraw(TELBitmap& target, std::span<const uint8_t> mask) {
  blendSameSize(sourceView(), targetView(target), mask.data(), mask.size(), workOf(target), activeKernels());
}

int32_t TELBitmap24::LineSize() const {
  if (width() <= 0) return 0;
  return static_cast<int32_t>(((static_cast<int64_t>(width()) * 24 + 31) & ~int64_t{31}) / 8);
}

void TELBitmap32::Draw(TELBitmap& target, int32_t x, int32_t y) {
  copyPicture(sourceView(), targetView(target), x, y, activeKernels());
}

void TELBitmap32::AlphaStretchDraw(TELBitmap& target, std::span<const uint8_t> mask) {
  blendStretch(sourceView(), targetView(target), mask.data(), mask.size(), workOf(target), activeKernels());
}

void TELBitmap32::AlphaDraw(TELBitmap& target, std::span<const uint8_t> mask) {
  blendSameSize(sourceView(), targetView(target), mask.data(), mask.size(), workOf(target), activeKernels());
}

int32_t TELBitmap32::LineSize() const { return width() <= 0 ? 0 : static_cast<int32_t>(int64_t{width()} * 4); }

}  // namespace lessonry::effect
