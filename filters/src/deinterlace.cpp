// De-interlace smoothing (see deinterlace.h). The fast path averages 8 bytes
// per step inside one 64-bit word: no carries cross byte lanes.
#include "deinterlace.h"

#include <cstring>

namespace lessonry::filters {
namespace {

constexpr uint64_t kLowBitsCleared = 0xFEFEFEFEFEFEFEFEull;

// Per byte floor((a + b) / 2).
inline uint64_t averageDown(uint64_t a, uint64_t b) { return (a & b) + (((a ^ b) & kLowBitsCleared) >> 1); }
// Per byte ceil((a + b) / 2).
inline uint64_t averageUp(uint64_t a, uint64_t b) { return (a | b) - (((a ^ b) & kLowBitsCleared) >> 1); }

inline uint8_t smoothByte(uint8_t a, uint8_t b, uint8_t c) {
  const unsigned down = (unsigned(a) + unsigned(c)) / 2;
  return static_cast<uint8_t>((down + b + 1) / 2);
}

// Bytes a row's pass covers: whole 8-byte blocks, reaching into the next row
// when stride is not a multiple of 8, except for the last smoothed row.
inline size_t passLength(int32_t stride, int32_t row, int32_t rows) {
  const size_t blocks = (static_cast<size_t>(stride) + 7) / 8 * 8;
  return row == rows - 3 ? static_cast<size_t>(stride) : blocks;
}

}  // namespace

void deinterlaceRows(uint8_t* picture, int32_t stride, int32_t rows) {
  if (!picture || stride <= 0 || rows < 3) return;
  const size_t s = static_cast<size_t>(stride);
  for (int32_t r = 0; r <= rows - 3; ++r) {
    uint8_t* row = picture + static_cast<size_t>(r) * s;
    const size_t length = passLength(stride, r, rows);
    size_t b = 0;
    for (; b + 8 <= length; b += 8) {
      uint64_t a, m, c;
      std::memcpy(&a, row + b, 8);
      std::memcpy(&m, row + b + s, 8);
      std::memcpy(&c, row + b + 2 * s, 8);
      const uint64_t out = averageUp(averageDown(a, c), m);
      std::memcpy(row + b, &out, 8);
    }
    for (; b < length; ++b) row[b] = smoothByte(row[b], row[b + s], row[b + 2 * s]);
  }
}

void deinterlaceRowsReference(uint8_t* picture, int32_t stride, int32_t rows) {
  if (!picture || stride <= 0 || rows < 3) return;
  const size_t s = static_cast<size_t>(stride);
  for (int32_t r = 0; r <= rows - 3; ++r) {
    uint8_t* row = picture + static_cast<size_t>(r) * s;
    const size_t length = passLength(stride, r, rows);
    for (size_t b = 0; b < length; ++b) row[b] = smoothByte(row[b], row[b + s], row[b + 2 * s]);
  }
}

}  // namespace lessonry::filters
