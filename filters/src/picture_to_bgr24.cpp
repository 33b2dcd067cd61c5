// Input picture to BGR24 (see picture_to_bgr24.h).
#include "picture_to_bgr24.h"

#include <cstdlib>

extern "C" {
#include <libswscale/swscale.h>
}

#include "base/picture_format.h"

namespace lessonry::filters {
namespace {

constexpr int32_t kMaxSide = 16384;

constexpr int kScalerFlags = SWS_BICUBIC;

AVPixelFormat sourceFormat(RenderInput input) {
  switch (input) {
    case RenderInput::Rgb24: return AV_PIX_FMT_BGR24;
    case RenderInput::Rgb32: return AV_PIX_FMT_BGRA;
    case RenderInput::Yuy2: return AV_PIX_FMT_YUYV422;
    case RenderInput::Yv12: return AV_PIX_FMT_YUV420P;
    case RenderInput::None: break;
  }
  return AV_PIX_FMT_NONE;
}

}  // namespace

bool PictureToBgr24::setInput(RenderInput input, int32_t width, int32_t height) {
  const RenderInput previous = input_;
  input_ = RenderInput::None;
  width_ = height_ = sourceStride_ = 0;
  inputSize_ = 0;
  const int32_t lines = height < 0 ? -height : height;
  if (input == RenderInput::None || width <= 0 || height == 0 || width > kMaxSide || lines > kMaxSide) return false;
  if (input == RenderInput::Yuy2 && (width % 2) != 0) return false;
  if (input == RenderInput::Yv12 && ((width % 2) != 0 || (lines % 2) != 0)) return false;
  switch (input) {
    case RenderInput::Rgb24:
      sourceStride_ = dibStride(width, 24);
      inputTopDown_ = height < 0;
      inputSize_ = size_t(sourceStride_) * lines;
      break;
    case RenderInput::Rgb32:
      sourceStride_ = dibStride(width, 32);
      inputTopDown_ = height < 0;
      inputSize_ = size_t(sourceStride_) * lines;
      break;
    case RenderInput::Yuy2:
      sourceStride_ = width * 2;
      inputTopDown_ = true;
      inputSize_ = size_t(sourceStride_) * lines;
      break;
    case RenderInput::Yv12:
      sourceStride_ = width;
      inputTopDown_ = true;
      inputSize_ = size_t(width) * lines * 3 / 2;
      break;
    case RenderInput::None:
      break;
  }
  // A new source format needs a new context; a new size is handled by the
  // cached context on the next picture.
  if (previous != input) scaler_.reset();
  input_ = input;
  width_ = width;
  height_ = lines;
  return true;
}

size_t PictureToBgr24::outputSize() const { return size_t(outputStride()) * height_; }

int32_t PictureToBgr24::outputStride() const { return dibStride(width_, 24); }

bool PictureToBgr24::convert(const uint8_t* data, size_t length, bool bottomUp, uint8_t* out) {
  if (input_ == RenderInput::None || !data || !out || length < inputSize_) return false;
  if (!scaler_.prepare(width_, height_, sourceFormat(input_), AV_PIX_FMT_BGR24, kScalerFlags)) return false;
  const uint8_t* planes[4] = {data, nullptr, nullptr, nullptr};
  int strides[4] = {sourceStride_, 0, 0, 0};
  if (input_ == RenderInput::Yv12) {
    // Planes in memory: Y, then V, then U.
    const size_t lumaSize = size_t(width_) * height_;
    planes[1] = data + lumaSize * 5 / 4;  // U
    planes[2] = data + lumaSize;          // V
    strides[1] = strides[2] = width_ / 2;
  }
  // The stored order is bottom-up when asked; flip when arrival differs.
  // The flip walks the destination from its last row with a negated stride:
  // the source is then read exactly as without a flip, so a flipped picture
  // is the exact mirror of the unflipped one (walking the sources upwards
  // changes libswscale's vertical chroma filtering and rounding).
  const bool flip = inputTopDown_ == bottomUp;
  uint8_t* dst[4] = {out, nullptr, nullptr, nullptr};
  int dstStrides[4] = {outputStride(), 0, 0, 0};
  if (flip) {
    dst[0] = out + ptrdiff_t(dstStrides[0]) * (height_ - 1);
    dstStrides[0] = -dstStrides[0];
  }
  return scaler_.scale(planes, strides, dst, dstStrides);
}

}  // namespace lessonry::filters
