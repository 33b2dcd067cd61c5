// Records that cross library boundaries keep their Windows layouts.
#include <gtest/gtest.h>

#include <cstddef>

#include "base/picture_format.h"
#include "base/win_types.h"

namespace {

TEST(Abi, BitmapInfoHeaderAndWaveFormatLayouts) {
  EXPECT_EQ(sizeof(BITMAPINFOHEADER), 40u);
  EXPECT_EQ(offsetof(BITMAPINFOHEADER, biWidth), 4u);
  EXPECT_EQ(offsetof(BITMAPINFOHEADER, biHeight), 8u);
  EXPECT_EQ(offsetof(BITMAPINFOHEADER, biBitCount), 14u);
  EXPECT_EQ(offsetof(BITMAPINFOHEADER, biSizeImage), 20u);
  EXPECT_EQ(offsetof(BITMAPINFOHEADER, biClrImportant), 36u);
  EXPECT_EQ(sizeof(WAVEFORMATEX), 18u);
  EXPECT_EQ(offsetof(WAVEFORMATEX, nSamplesPerSec), 4u);
  EXPECT_EQ(offsetof(WAVEFORMATEX, nBlockAlign), 12u);
  EXPECT_EQ(offsetof(WAVEFORMATEX, cbSize), 16u);
}

TEST(PictureFormat, DibStrideAndTheRecordingFormats) {
  EXPECT_EQ(lessonry::dibStride(1, 24), 4);
  EXPECT_EQ(lessonry::dibStride(5, 24), 16);
  EXPECT_EQ(lessonry::dibStride(1921, 24), 5764);
  EXPECT_EQ(lessonry::dibStride(3, 32), 12);
  const auto h = lessonry::makeBgr24Header(1921, 1080);
  EXPECT_EQ(h.biHeight, -1080);
  EXPECT_EQ(h.biSizeImage, 5764u * 1080u);
  const auto w = lessonry::makePcmFormat();
  EXPECT_EQ(w.nAvgBytesPerSec, 176400u);
  EXPECT_EQ(w.nBlockAlign, 4);
}

}  // namespace
