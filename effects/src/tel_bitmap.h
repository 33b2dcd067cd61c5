// Picture classes of the effects library.
//
// A TELBitmap wraps a caller's pixel buffer of 24-bit (TELBitmap24) or 32-bit
// (TELBitmap32) pixels and draws it into 24-bit pictures: unscaled, scaled
// bilinearly onto a whole picture or into a rectangle, or blended by an alpha
// mask. The pixels are never owned; SetData attaches them anew for every call
// and they must stay valid while the picture draws. The picture owns only the
// scratch copy of CropCenter and the working rows its drawing uses when it is
// the target.
//
// Rows are stepped by LineSize (the 4-byte padded stride for 24-bit pictures,
// width x 4 for 32-bit ones) in memory order; the height's sign is dropped.
//
// The virtual operations keep their historical order (creation, slot 6, is
// the static Create). Drawing into a picture that is not 24-bit throws
// EffectError("Only Support The TELBitmap24"); Create with a bit count other
// than 24 or 32 throws EffectError("Can not support this PixelFormat: <n>").
//
// Thread use: a picture is used by one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "picture_kernels.h"

namespace lessonry::effect {

// A rectangle in pixels, right and bottom exclusive.
struct Rect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
};

class TELBitmap {
 public:
  virtual ~TELBitmap() = default;
  TELBitmap(const TELBitmap&) = delete;
  TELBitmap& operator=(const TELBitmap&) = delete;

  // Slot 0: the whole picture unscaled into target with its first pixel at
  // (x, y), clipped to the target.
  virtual void Draw(TELBitmap& target, int32_t x, int32_t y) = 0;
  // Slot 1: the whole picture scaled bilinearly onto the whole target.
  virtual void StretchDraw(TELBitmap& target);
  // Slot 2: nearest-sample scaling onto the whole target, each target pixel
  // blended by its mask byte (mask: target width x target height bytes).
  virtual void AlphaStretchDraw(TELBitmap& target, std::span<const uint8_t> mask) = 0;
  // Slot 3: same-size blend by the mask.
  virtual void AlphaDraw(TELBitmap& target, std::span<const uint8_t> mask) = 0;
  // Slot 4: bytes per row.
  virtual int32_t LineSize() const = 0;
  // Slot 5: bytes per pixel.
  virtual int32_t PixelSize() const = 0;
  // Slot 6: creation with a bit count (24 or 32).
  static std::unique_ptr<TELBitmap> Create(int32_t bitCount);
  // Slot 7: attaches the caller's pixels; the height is stored as its absolute value.
  virtual void SetData(int32_t width, int32_t height, uint8_t* bits);
  // Slot 8: the whole picture into rect of target: unscaled when rect has the
  // picture's size, bilinear otherwise. Draws nothing when rect is empty, its
  // left is negative or beyond the target's width, its top is negative or its
  // bottom below the target; a right edge beyond the target is clipped.
  virtual void DrawRect(TELBitmap& target, const Rect& rect);
  // Slot 9: copies the centred percentX % x percentY % of the picture into
  // the scratch picture (scratch(), scratchWidth(), scratchHeight()).
  virtual void CropCenter(int32_t percentX, int32_t percentY);
  // Slot 10: sets every byte of rect, clipped to the picture, to value.
  virtual void FillRect(const Rect& rect, uint8_t value);

  int32_t width() const { return width_; }
  int32_t height() const { return height_; }
  int32_t bitCount() const { return bitCount_; }
  uint8_t* bits() const { return bits_; }
  const uint8_t* scratch() const { return scratch_.get(); }
  int32_t scratchWidth() const { return scratchWidth_; }
  int32_t scratchHeight() const { return scratchHeight_; }

 protected:
  explicit TELBitmap(int32_t bitCount) : bitCount_(bitCount) {}

  SourceView sourceView() const;
  // The target's pixels, or EffectError when it is not 24-bit.
  static TargetView targetView(TELBitmap& target);
  static DrawScratch& workOf(TELBitmap& target) { return target.work_; }

 private:
  int32_t width_ = 0;
  int32_t height_ = 0;
  const int32_t bitCount_;
  uint8_t* bits_ = nullptr;
  std::unique_ptr<uint8_t[]> scratch_;
  int32_t scratchWidth_ = 0;
  int32_t scratchHeight_ = 0;
  size_t scratchCapacity_ = 0;
  DrawScratch work_;  // working rows while this picture is a drawing target
};

class TELBitmap24 final : public TELBitmap {
 public:
  TELBitmap24() : TELBitmap(24) {}
  void Draw(TELBitmap& target, int32_t x, int32_t y) override;
  void AlphaStretchDraw(TELBitmap& target, std::span<const uint8_t> mask) override;
  void AlphaDraw(TELBitmap& target, std::span<const uint8_t> mask) override;
  // ((width x 24 + 31) rounded down to a multiple of 32) / 8.
  int32_t LineSize() const override;
  int32_t PixelSize() const override { return 3; }
};

class TELBitmap32 final : public TELBitmap {
 public:
  TELBitmap32() : TELBitmap(32) {}
  // Drops the fourth byte of each pixel.
  void Draw(TELBitmap& target, int32_t x, int32_t y) override;
  void AlphaStretchDraw(TELBitmap& target, std::span<const uint8_t> mask) override;
  void AlphaDraw(TELBitmap& target, std::span<const uint8_t> mask) override;
  int32_t LineSize() const override;
  int32_t PixelSize() const override { return 4; }
};

}  // namespace lessonry::effect
