// One effect instance: the output picture, the input pictures kept between
// calls, the alpha mask, and the compositions built from them.
//
// Input pictures are created on first use and replaced only when the bit
// count of their input changes; their pixel pointers are attached anew on
// every call, so the instance never touches caller memory between calls. A
// compose call allocates only when the output size, an item count or a bit
// count changed.
//
// Failures throw EffectError (unsupported bit count, missing arguments);
// whatever was drawn before stays in the output. The exported functions
// (ox_effect.cpp) catch them.
//
// Thread use: one thread at a time per instance; no locks.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "ox_effect.h"
#include "tel_bitmap.h"

namespace lessonry::effect {

class TELAnimationRec {
 public:
  // Creates the output picture if there is none and gives it its size; no
  // pixels are attached until a compose call.
  void setComposeVideoSize(int32_t width, int32_t height);
  // Types 0 (nothing), 1 (items[0] onto the whole output) and 2 (items[0] and
  // items[1] by effectCode and percent) into output.
  void composeVideo(const ComposeItem* items, int32_t type, int32_t percent, int32_t effectCode, uint8_t* output);
  // count pictures, each into its rectangle, on black.
  void composeVideoEx(const ComposeRectItem* items, int32_t count, uint8_t* output);

  const TELBitmap24* outputPicture() const { return output_.get(); }

 private:
  // Makes slot hold a picture of the format's bit count and attaches the pixels.
  static void ensurePicture(std::unique_ptr<TELBitmap>& slot, const BITMAPINFOHEADER& format, const BYTE* bits);
  // Draw when the picture has the output's size, StretchDraw otherwise.
  void drawWhole(TELBitmap& picture);
  void ensureMask();
  void fade(int32_t effectCode, int32_t percent);
  void layout(int32_t effectCode, int32_t percent);
  // A corner rectangle: black frame 2 pixels wide, then the first picture in it.
  void corner(const Rect& rect);

  int32_t maskWidth_ = 0;
  int32_t maskHeight_ = 0;
  int32_t maskSize_ = 0;
  std::unique_ptr<TELBitmap> first_;
  std::unique_ptr<TELBitmap> single_;
  std::unique_ptr<TELBitmap> second_;
  std::unique_ptr<TELBitmap24> output_;
  std::vector<std::unique_ptr<TELBitmap>> items_;
  std::vector<uint8_t> mask_;
};

}  // namespace lessonry::effect
