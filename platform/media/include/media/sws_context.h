// RAII owner of a libswscale context, remade only when the conversion changes.
//
// Converters and the video render keep one of these per pin and call
// prepare() for every picture; sws_getCachedContext returns the same context
// while width, height and formats stay the same, so the steady state costs no
// allocation. Not thread-safe: one streaming thread uses an instance.
#pragma once

extern "C" {
#include <libavutil/pixfmt.h>
}

#include <cstdint>

struct SwsContext;

namespace lessonry::media {

class SwsContextOwner {
 public:
  SwsContextOwner();
  ~SwsContextOwner();
  SwsContextOwner(const SwsContextOwner&) = delete;
  SwsContextOwner& operator=(const SwsContextOwner&) = delete;

  // Makes (or keeps) a context for width x height from src to dst with the
  // given SWS_* flags; false when libswscale refuses the conversion.
  bool prepare(int width, int height, AVPixelFormat src, AVPixelFormat dst, int flags);
  // Converts one picture; planes and strides as sws_scale takes them (a
  // negative stride walks a plane upwards). False without a context.
  bool scale(const uint8_t* const srcPlanes[], const int srcStrides[], uint8_t* const dstPlanes[],
             const int dstStrides[]);
  void reset();
  bool ready() const { return context_ != nullptr; }
  int height() const { return height_; }

 private:
  SwsContext* context_ = nullptr;  // owned; sws_freeContext in reset()
  int height_ = 0;
};

}  // namespace lessonry::media
