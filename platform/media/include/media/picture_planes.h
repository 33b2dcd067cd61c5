// The planes of an uncompressed picture buffer, as libswscale takes them,
// always in top-down order: a bottom-up RGB picture (positive height) is
// described from its last row with a negative stride.
#pragma once

extern "C" {
#include <libavutil/pixfmt.h>
}

#include <cstddef>
#include <cstdint>

#include "media/com.h"

namespace lessonry::media {

struct PicturePlanes {
  AVPixelFormat format = AV_PIX_FMT_NONE;
  uint8_t* planes[4] = {};
  int strides[4] = {};
  size_t bytes = 0;  // bytes of the whole picture
};

// False for a subtype without a fixed layout or a size pictureBytes refuses.
// height carries the header's sign (negative: top-down RGB).
bool describePicture(const GUID& subtype, int32_t width, int32_t height, uint8_t* data, PicturePlanes* out);

}  // namespace lessonry::media
