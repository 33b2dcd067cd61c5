// Smoothing of a stored picture against interlacing combs.
//
// Every row r from 0 to rows - 3, in increasing order, becomes
//   ceil((floor((row[r] + row[r+2]) / 2) + row[r+1]) / 2)
// byte by byte, with rows r+1 and r+2 still unsmoothed; the last two rows
// stay. Rows are walked in blocks of 8 bytes, so when the stride is not a
// multiple of 8 a row's last block reaches 4 bytes into the next row, which
// that row's own pass then smooths once more from the already written value.
// The last smoothed row does not reach into the row after it (that row is
// one of the two that stay, and the block would read past the picture).
#pragma once

#include <cstddef>
#include <cstdint>

namespace lessonry::filters {

// In place over rows x stride bytes; stride must be a multiple of 4.
void deinterlaceRows(uint8_t* picture, int32_t stride, int32_t rows);
// The byte-at-a-time definition of the same result, for tests.
void deinterlaceRowsReference(uint8_t* picture, int32_t stride, int32_t rows);

}  // namespace lessonry::filters
