// Helpers for the picture and sound format records (win_types.h).
#pragma once

#include <cstdint>
#include <cstdlib>

#include "base/win_types.h"

namespace lessonry {

// Bytes per row of a DIB: rows are padded to 4 bytes.
constexpr int32_t dibStride(int32_t width, int32_t bitCount) {
  return static_cast<int32_t>(((static_cast<int64_t>(bitCount) * width + 31) / 32) * 4);
}

// A top-down (negative height) 24-bit BGR header of width x height, as the
// encode session announces its pictures.
BITMAPINFOHEADER makeBgr24Header(int32_t width, int32_t height, bool topDown = true);

// The recorder's one sound format: PCM, 2 channels, 44100 Hz, 16 bits.
WAVEFORMATEX makePcmFormat(uint16_t channels = 2, uint32_t samplesPerSec = 44100, uint16_t bits = 16);

}  // namespace lessonry
