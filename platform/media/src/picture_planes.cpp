// Plane layout of the uncompressed picture subtypes (see picture_planes.h).
#include "media/picture_planes.h"

#include "base/picture_format.h"
#include "media/media_guids.h"
#include "media/media_types.h"

namespace lessonry::media {

bool describePicture(const GUID& subtype, int32_t width, int32_t height, uint8_t* data, PicturePlanes* out) {
  const size_t bytes = pictureBytes(subtype, width, height);
  if (!bytes || !out) return false;
  *out = PicturePlanes{};
  out->bytes = bytes;
  const int lines = height < 0 ? -height : height;
  const size_t luma = size_t(width) * size_t(lines);
  if (subtype == MEDIASUBTYPE_RGB24 || subtype == MEDIASUBTYPE_RGB32) {
    const int stride = dibStride(width, subtypeBitCount(subtype));
    out->format = subtype == MEDIASUBTYPE_RGB24 ? AV_PIX_FMT_BGR24 : AV_PIX_FMT_BGRA;
    if (height > 0) {  // bottom-up: the first row in memory is the bottom line
      out->planes[0] = data + ptrdiff_t(stride) * (lines - 1);
      out->strides[0] = -stride;
    } else {
      out->planes[0] = data;
      out->strides[0] = stride;
    }
  } else if (subtype == MEDIASUBTYPE_YUY2) {
    out->format = AV_PIX_FMT_YUYV422;
    out->planes[0] = data;
    out->strides[0] = width * 2;
  } else if (subtype == MEDIASUBTYPE_YV12 || subtype == MEDIASUBTYPE_I420) {
    out->format = AV_PIX_FMT_YUV420P;
    const bool vFirst = subtype == MEDIASUBTYPE_YV12;
    out->planes[0] = data;
    out->planes[1] = data + (vFirst ? luma * 5 / 4 : luma);  // U
    out->planes[2] = data + (vFirst ? luma : luma * 5 / 4);  // V
    out->strides[0] = width;
    out->strides[1] = out->strides[2] = width / 2;
  } else if (subtype == MEDIASUBTYPE_NV12) {
    out->format = AV_PIX_FMT_NV12;
    out->planes[0] = data;
    out->planes[1] = data + luma;
    out->strides[0] = out->strides[1] = width;
  } else {
    return false;
  }
  return true;
}

}  // namespace lessonry::media
