// Media type records: sizes of the picture layouts, absurd sizes refused,
// deep copies of format blocks, partial matching.
#include "media/media_types.h"

#include <gtest/gtest.h>

#include "base/picture_format.h"
#include "media/media_guids.h"
#include "media/picture_planes.h"

namespace lessonry::media {
namespace {

TEST(MediaTypesTest, PictureBytesOfEveryLayoutAndAbsurdSizes) {
  struct Case {
    const GUID* subtype;
    int32_t width, height;
    size_t bytes;
  } cases[] = {
      {&MEDIASUBTYPE_RGB24, 641, 480, size_t(dibStride(641, 24)) * 480},
      {&MEDIASUBTYPE_RGB24, 640, -480, 921600},  // top-down: same size
      {&MEDIASUBTYPE_RGB32, 640, 480, 1228800},
      {&MEDIASUBTYPE_YUY2, 640, 480, 614400},
      {&MEDIASUBTYPE_YV12, 640, 480, 460800},
      {&MEDIASUBTYPE_I420, 640, 480, 460800},
      {&MEDIASUBTYPE_NV12, 640, 480, 460800},
      {&MEDIASUBTYPE_YUY2, 641, 480, 0},  // odd width under 4:2:2
      {&MEDIASUBTYPE_YV12, 640, 481, 0},
      {&MEDIASUBTYPE_RGB24, 0, 480, 0},
      {&MEDIASUBTYPE_RGB24, -640, 480, 0},
      {&MEDIASUBTYPE_RGB24, 640, 0, 0},
      {&MEDIASUBTYPE_RGB32, 16385, 16, 0},
      {&MEDIASUBTYPE_RGB32, 16, INT32_MIN, 0},
      {&MEDIASUBTYPE_MJPG, 640, 480, 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(pictureBytes(*c.subtype, c.width, c.height), c.bytes) << c.width << "x" << c.height;
}

TEST(MediaTypesTest, CopiesOwnTheirFormatBlockAndCompareByBytes) {
  CMediaType a = makeVideoType(MEDIASUBTYPE_YUY2, 64, 48, 400000);
  CMediaType b = a;
  ASSERT_NE(a.pbFormat, b.pbFormat);
  EXPECT_TRUE(static_cast<const AM_MEDIA_TYPE&>(a) == b);
  pictureHeader(b)->biWidth = 32;
  EXPECT_FALSE(static_cast<const AM_MEDIA_TYPE&>(a) == b);
  CMediaType moved = std::move(b);
  EXPECT_EQ(b.pbFormat, nullptr);
  EXPECT_EQ(pictureHeader(moved)->biWidth, 32);
  AM_MEDIA_TYPE* heap = CreateMediaType(&a);
  ASSERT_NE(heap, nullptr);
  EXPECT_EQ(pictureHeader(*heap)->biSizeImage, 64u * 48 * 2);
  DeleteMediaType(heap);

  // A block too short for its record gives no header.
  CMediaType shortBlock = a;
  shortBlock.setFormat(a.pbFormat, sizeof(VIDEOINFOHEADER) - 1);
  EXPECT_EQ(pictureHeader(shortBlock), nullptr);

  CMediaType pattern(MEDIATYPE_Video);
  EXPECT_TRUE(pattern.isPartiallySpecified());
  EXPECT_TRUE(a.matchesPartial(pattern));
  pattern.subtype = MEDIASUBTYPE_RGB24;
  EXPECT_FALSE(a.matchesPartial(pattern));
}

TEST(MediaTypesTest, BottomUpRgbIsDescribedFromItsLastRow) {
  uint8_t data[4 * 4 * 3] = {};
  PicturePlanes bottomUp, topDown;
  ASSERT_TRUE(describePicture(MEDIASUBTYPE_RGB24, 4, 4, data, &bottomUp));
  ASSERT_TRUE(describePicture(MEDIASUBTYPE_RGB24, 4, -4, data, &topDown));
  EXPECT_EQ(bottomUp.planes[0], data + 36);
  EXPECT_EQ(bottomUp.strides[0], -12);
  EXPECT_EQ(topDown.planes[0], data);
  PicturePlanes yv12;
  uint8_t yuv[8 * 4 * 3 / 2];
  ASSERT_TRUE(describePicture(MEDIASUBTYPE_YV12, 8, 4, yuv, &yv12));
  EXPECT_EQ(yv12.planes[1], yuv + 40) << "U after V";
  EXPECT_EQ(yv12.planes[2], yuv + 32);
}

}  // namespace
}  // namespace lessonry::media
