// Conversion of one input picture of the video render into its BGR24 buffer.
//
// The four input layouts and their orientation rules: YUV pictures (YUY2,
// YV12) arrive top-down, RGB pictures (RGB24, RGB32) bottom-up unless their
// header's height is negative; the stored picture is bottom-up when asked,
// else top-down, so a picture is written flipped when its arrival order
// differs. A flip writes the output from its last row with a negated stride.
// Used on the streaming thread only, under the render's buffer lock.
#pragma once

#include <cstddef>
#include <cstdint>

#include "media/sws_context.h"

namespace lessonry::filters {

enum class RenderInput { None, Rgb24, Rgb32, Yuy2, Yv12 };

class PictureToBgr24 {
 public:
  // Sets the input layout; false (and no layout) for a size that no buffer
  // could hold: width or height 0, negative width, more than 16384 lines or
  // columns, odd sizes where chroma is subsampled.
  bool setInput(RenderInput input, int32_t width, int32_t height);
  RenderInput input() const { return input_; }
  int32_t width() const { return width_; }
  int32_t height() const { return height_; }  // always positive
  // Bytes one input picture occupies; shorter samples are refused.
  size_t inputSize() const { return inputSize_; }
  // Bytes per input row handed to the converter (luma row for YV12).
  int32_t sourceStride() const { return sourceStride_; }
  // Bytes of the BGR24 output, rows padded to 4 bytes.
  size_t outputSize() const;
  int32_t outputStride() const;

  // Converts data (at least inputSize() bytes) into out (outputSize() bytes).
  // False when the data is short or the scaler cannot be made; out is then
  // unchanged.
  bool convert(const uint8_t* data, size_t length, bool bottomUp, uint8_t* out);

 private:
  RenderInput input_ = RenderInput::None;
  int32_t width_ = 0;
  int32_t height_ = 0;
  bool inputTopDown_ = true;
  int32_t sourceStride_ = 0;
  size_t inputSize_ = 0;
  media::SwsContextOwner scaler_;
};

}  // namespace lessonry::filters
