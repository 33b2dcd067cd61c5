// Compositions of an effect instance: one picture, two pictures (fade and
// the 0x800 layouts) and pictures in rectangles.
#include "tel_animation_rec.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "base/clock.h"
#include "base/trace.h"
#include "effect_error.h"

namespace lessonry::effect {
namespace {

constexpr int32_t kFlagMask = 0x200;
constexpr int32_t kFlagLayout = 0x800;
constexpr uint8_t kCornerFrame = 0;
constexpr uint8_t kItemFrame = 200;

Rect grown(const Rect& r, int32_t by) {
  auto add = [](int32_t v, int32_t d) {
    return static_cast<int32_t>(std::clamp<int64_t>(int64_t{v} + d, INT32_MIN, INT32_MAX));
  };
  return Rect{add(r.left, -by), add(r.top, -by), add(r.right, by), add(r.bottom, by)};
}

// Input pixels are only ever read; the picture classes keep one pointer type
// for inputs and the output.
uint8_t* inputBits(const BYTE* bits) { return const_cast<uint8_t*>(bits); }

}  // namespace

void TELAnimationRec::setComposeVideoSize(int32_t width, int32_t height) {
  if (!output_) output_ = std::make_unique<TELBitmap24>();
  output_->SetData(width, height, nullptr);
}

void TELAnimationRec::ensurePicture(std::unique_ptr<TELBitmap>& slot, const BITMAPINFOHEADER& format,
                                    const BYTE* bits) {
  if (!slot || slot->bitCount() != format.biBitCount) {
    // Create throws for other bit counts before the slot changes.
    auto replacement = TELBitmap::Create(format.biBitCount);
    slot = std::move(replacement);
  }
  slot->SetData(format.biWidth, format.biHeight, inputBits(bits));
}

void TELAnimationRec::drawWhole(TELBitmap& picture) {
  if (picture.width() == output_->width() && picture.height() == output_->height())
    picture.Draw(*output_, 0, 0);
  else
    picture.StretchDraw(*output_);
}

void TELAnimationRec::ensureMask() {
  const int32_t w = output_->width();
  const int32_t h = output_->height();
  if (mask_.empty() || maskWidth_ != w || maskHeight_ != h) {
    maskWidth_ = w;
    maskHeight_ = h;
    maskSize_ = w > 0 ? static_cast<int32_t>(std::min<int64_t>(int64_t{w} * h, INT32_MAX)) : 0;
    // A fresh mask is transparent, so a mask code that fills nothing blends
    // nothing; later calls reuse its contents as they are.
    mask_.assign(static_cast<size_t>(maskSize_), 0);
  }
}

void TELAnimationRec::composeVideo(const ComposeItem* items, int32_t type, int32_t percent, int32_t effectCode,
                                   uint8_t* output) {
  if (!output_) return;
  if (!output) throw EffectError("Missing output buffer");
  output_->SetData(output_->width(), output_->height(), output);
  if (type != 1 && type != 2) return;
  if (!items) throw EffectError("Missing compose items");
  if (!items[0].format || (type == 2 && !items[1].format)) throw EffectError("Missing picture format");

  if (type == 1) {
    ensurePicture(single_, *items[0].format, items[0].bits);
    drawWhole(*single_);
    return;
  }

  const BITMAPINFOHEADER& a = *items[0].format;
  const BITMAPINFOHEADER& b = *items[1].format;
  // An empty picture stops the call; a negative width counts as empty too.
  if (a.biWidth <= 0 || a.biHeight == 0 || b.biWidth <= 0 || b.biHeight == 0) return;
  percent = std::clamp(percent, 0, 100);
  ensurePicture(first_, a, items[0].bits);
  ensurePicture(second_, b, items[1].bits);
  if (effectCode & kFlagMask) ensureMask();
  drawWhole(*first_);
  if (percent == 100) {
    drawWhole(*second_);
    return;
  }
  if (effectCode & kFlagMask)
    fade(effectCode, percent);
  else if (effectCode & kFlagLayout)
    layout(effectCode, percent);
}

void TELAnimationRec::fade(int32_t effectCode, int32_t percent) {
  trace(",,,,,,,,,,%d", percent);
  if (effectCode == 528) {
    // Round to nearest, ties to even (the default rounding mode): 50 % is 128.
    const auto alpha = static_cast<uint8_t>(std::nearbyint(percent / 100.0 * 255.0));
    std::fill(mask_.begin(), mask_.end(), alpha);
  }
  const std::span<const uint8_t> mask(mask_.data(), mask_.size());
  if (second_->width() == output_->width() && second_->height() == output_->height())
    second_->AlphaDraw(*output_, mask);
  else
    second_->AlphaStretchDraw(*output_, mask);
}

void TELAnimationRec::corner(const Rect& rect) {
  output_->FillRect(grown(rect, 2), kCornerFrame);
  first_->DrawRect(*output_, rect);
}

void TELAnimationRec::layout(int32_t effectCode, int32_t percent) {
  const int32_t w = output_->width();
  const int32_t h = output_->height();
  const int32_t q = w / 4;
  const int32_t r = h / 4;
  switch (effectCode) {
    case 2049:
      drawWhole(*second_);
      corner(Rect{10, 3 * r - 10, q + 10, 4 * r - 10});
      break;
    case 2051: {
      const int32_t band = MulDiv(h, percent, 100);
      const int32_t top = (h - band) / 2;
      second_->DrawRect(*output_, Rect{0, top, w, top + band});
      break;
    }
    case 2069: {
      const int32_t boxWidth = MulDiv(w, percent, 100);
      const int32_t boxHeight = MulDiv(h, percent, 100);
      const int32_t left = (w - boxWidth) / 2;
      const int32_t top = (h - boxHeight) / 2;
      second_->DrawRect(*output_, Rect{left, top, left + boxWidth, top + boxHeight});
      break;
    }
    case 2070:
      drawWhole(*second_);
      break;
    case 2083:
      drawWhole(*second_);
      corner(Rect{3 * q - 10, 3 * r - 10, 4 * q - 10, 4 * r - 10});
      break;
    case 2084:
      drawWhole(*second_);
      corner(Rect{10, 10, q + 10, r + 10});
      break;
    case 2085:
      drawWhole(*second_);
      corner(Rect{3 * q - 10, 10, 4 * q - 10, r + 10});
      break;
    default:
      break;  // the first picture stays as drawn
  }
}

void TELAnimationRec::composeVideoEx(const ComposeRectItem* items, int32_t count, uint8_t* output) {
  if (!output_ || count <= 0) return;
  if (!output) throw EffectError("Missing output buffer");
  if (!items) throw EffectError("Missing compose items");
  output_->SetData(output_->width(), output_->height(), output);
  output_->FillRect(Rect{0, 0, output_->width(), output_->height()}, 0);
  if (static_cast<size_t>(count) != items_.size()) {
    items_.clear();
    items_.resize(static_cast<size_t>(count));
  }
  for (int32_t n = 0; n < count; ++n) {
    if (!items[n].format)
      items_[n].reset();
    else
      ensurePicture(items_[n], *items[n].format, items[n].bits);
  }
  for (int32_t n = 0; n < count; ++n) {
    if (!items_[n]) continue;
    const Rect rect{items[n].left, items[n].top, items[n].right, items[n].bottom};
    output_->FillRect(grown(rect, 2), kItemFrame);
    items_[n]->DrawRect(*output_, rect);
  }
}

}  // namespace lessonry::effect
