// CLogo: the product mark drawn on every recorded picture.
//
// The mark is a 124 x 46 picture with transparency, kept as a PNG resource
// compiled into the control. SetCompositeMode loads it afresh (load) and
// places it once for the picture it will be drawn on (place): the size and
// position follow from the picture width the logo refers to, and the mark is
// resampled to that size there, with a high-quality bicubic filter on
// premultiplied colour, so that the per-tick draw is a plain alpha blend.
//
// Threads: load and place on the host's thread while no tick runs (the
// recorder holds its frame lock around them); draw on the tick's thread
// under the frame lock. No lock of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/win_types.h"

namespace lessonry::capture {

// Where the logo goes on a frame of frameWidth pixels when the picture width
// the logo refers to is referenceWidth (the region width, or iwidth in mode 1).
struct LogoRect {
  int32_t x, y, width, height;
  bool operator==(const LogoRect&) const = default;
};
LogoRect logoRect(int32_t referenceWidth, int32_t frameWidth);

class CLogo {
 public:
  static constexpr int32_t kWidth = 124;
  static constexpr int32_t kHeight = 46;

  // Decodes the resource into the 124 x 46 mark. False (and nothing drawn
  // afterwards) when it cannot be decoded.
  bool load();
  bool loaded() const { return !mark_.empty(); }
  // load with a PNG of the caller's instead of the resource (tests give
  // their own marks through it). Same checks; a refused PNG leaves the logo
  // unloaded.
  bool loadPng(const BYTE* png, size_t size);

  // Computes the rectangle with logoRect and resamples the mark to its size.
  // A rectangle of no pixels draws nothing.
  void place(int32_t referenceWidth, int32_t frameWidth);
  const LogoRect& rect() const { return rect_; }

  // Blends the placed mark over a 24-bit picture (B, G, R; rows of stride
  // bytes, top row first) of width x height pixels; the parts of the
  // rectangle outside the picture are left out.
  void draw(BYTE* picture, int32_t width, int32_t height, int32_t stride) const;

  // The decoded mark: 124 x 46 pixels of B, G, R, A (straight alpha), rows
  // of 124 x 4 bytes, top row first. Empty before load.
  const std::vector<BYTE>& mark() const { return mark_; }

 private:
  std::vector<BYTE> mark_;
  // The mark at rect_'s size: B, G, R premultiplied by A, and A; rows of
  // rect_.width x 4 bytes.
  std::vector<BYTE> placed_;
  LogoRect rect_{0, 0, 0, 0};
};

}  // namespace lessonry::capture
