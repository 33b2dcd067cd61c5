// libswscale context owner (see sws_context.h).
#include "media/sws_context.h"

extern "C" {
#include <libswscale/swscale.h>
}

namespace lessonry::media {

SwsContextOwner::SwsContextOwner() = default;

SwsContextOwner::~SwsContextOwner() { reset(); }

bool SwsContextOwner::prepare(int width, int height, AVPixelFormat src, AVPixelFormat dst, int flags) {
  if (width <= 0 || height <= 0) {
    reset();
    return false;
  }
  // sws_getCachedContext frees the old context itself when it cannot reuse it.
  context_ = sws_getCachedContext(context_, width, height, src, width, height, dst, flags, nullptr, nullptr,
                                  nullptr);
  height_ = context_ ? height : 0;
  return context_ != nullptr;
}

bool SwsContextOwner::scale(const uint8_t* const srcPlanes[], const int srcStrides[], uint8_t* const dstPlanes[],
                            const int dstStrides[]) {
  if (!context_) return false;
  return sws_scale(context_, srcPlanes, srcStrides, 0, height_, dstPlanes, dstStrides) > 0;
}

void SwsContextOwner::reset() {
  sws_freeContext(context_);  // accepts null
  context_ = nullptr;
  height_ = 0;
}

}  // namespace lessonry::media
