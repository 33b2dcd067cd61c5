// Pixel work of the effects library: bilinear scaling in 16.16 fixed point,
// nearest-sample scaling, per-channel alpha blending and 32-to-24-bit copies.
//
// The operations here work on plain views of caller memory; the picture
// classes (tel_bitmap.h) decide what to draw where. Each operation is built
// from a few row kernels that come in a scalar form and, on x86-64, in SSSE3
// and AVX2 forms chosen at run time; every form gives the same bytes as the
// scalar one (the tests check this on random pictures).
//
// Targets are always 24-bit BGR. Sources are 24-bit (B, G, R) or 32-bit
// (B, G, R, A; the fourth byte is never read into a result). Rows are taken in
// memory order with the stride given in the view. No operation here allocates
// unless its scratch has to grow.
//
// Thread use: a DrawScratch belongs to one target picture and is used by one
// thread at a time; the kernel tables are immutable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace lessonry::effect {

struct SourceView {
  const uint8_t* bits = nullptr;
  int32_t width = 0;
  int32_t height = 0;
  ptrdiff_t stride = 0;   // bytes from one row to the next
  int32_t pixelSize = 3;  // 3 or 4
};

// A 24-bit target picture.
struct TargetView {
  uint8_t* bits = nullptr;
  int32_t width = 0;
  int32_t height = 0;
  ptrdiff_t stride = 0;
};

// Working memory of the drawing operations, kept by the target picture so
// that drawing allocates only when a size grows.
struct DrawScratch {
  std::vector<int32_t> offset0;  // byte offset of the left sample, per column
  std::vector<int32_t> offset1;  // byte offset of the right sample, per column
  std::vector<uint32_t> weight;  // column weight fx, twice in 16 bits (fx * 0x10001)
  std::vector<uint8_t> rows[2];  // horizontally interpolated source rows, 24-bit
  std::vector<uint8_t> line;     // one source row as 24-bit pixels
};

// Row kernels; one table per instruction set.
struct RowKernels {
  // Horizontal pass over one source row: for each column j < count, the three
  // bytes out[3j..3j+2] = (a * (256 - fx) + b * fx) >> 8 per channel, with a at
  // row + offset0[j], b at row + offset1[j] and fx = weight[j] & 0xFFFF.
  // Columns j < wideCount may be read with 4-byte loads at both offsets. out
  // has room for 16 bytes beyond 3 * count.
  void (*horizontal)(const uint8_t* row, const int32_t* offset0, const int32_t* offset1, const uint32_t* weight,
                     int32_t count, int32_t wideCount, uint8_t* out);
  // Vertical pass: out[n] = (top[n] * (256 - fy) + bottom[n] * fy) >> 8.
  void (*vertical)(const uint8_t* top, const uint8_t* bottom, uint32_t fy, int32_t bytes, uint8_t* out);
  // Blend of 24-bit pixels by one alpha byte per pixel:
  // target = (source * a + target * (256 - a)) >> 8 per channel; with
  // copyOpaque, a pixel of alpha 255 takes the source pixel unchanged.
  void (*blend)(uint8_t* target, const uint8_t* source, const uint8_t* alpha, int32_t pixels, bool copyOpaque);
  // B, G, R, A pixels to B, G, R pixels.
  void (*compact32)(const uint8_t* source, int32_t pixels, uint8_t* out);
};

enum class Isa { Scalar, Ssse3, Avx2 };

// Whether this processor runs the kernels of isa.
bool isaAvailable(Isa isa);
// The kernels the library uses: the widest available set.
const RowKernels& activeKernels();
// The kernels of one set; falls back to scalar when isa is not available.
const RowKernels& kernelsFor(Isa isa);

// Bilinear scaling of the whole source into the target area of dw x dh pixels
// whose first pixel is (left, top) of the target; only the part inside the
// target is written. The 16.16 steps are ((sw - 1) * 65536) / dw and
// ((sh - 1) * 65536) / dh; the last column of the area copies its source pixel
// without interpolation.
void scaleBilinear(const SourceView& source, const TargetView& target, int64_t left, int64_t top, int64_t dw,
                   int64_t dh, DrawScratch& scratch, const RowKernels& kernels);

// Unscaled copy of the source with its first pixel at (x, y), clipped to the
// target; 32-bit sources lose their fourth bytes.
void copyPicture(const SourceView& source, const TargetView& target, int64_t x, int64_t y,
                 const RowKernels& kernels);

// Same-size blend by mask (one alpha byte per target pixel, row * target
// width + column): alpha 0 leaves the target, alpha 255 copies the source,
// except that the last pixel of each row is blended whenever its alpha is not
// 0. Covers the part both pictures have; maskSize bounds what is read.
void blendSameSize(const SourceView& source, const TargetView& target, const uint8_t* mask, size_t maskSize,
                   DrawScratch& scratch, const RowKernels& kernels);

// Nearest-sample scaling of the source onto the whole target, blending every
// pixel by the mask (steps (sw * 65536) / dw + 1 and (sh * 65536) / dh + 1;
// samples are held inside the source).
void blendStretch(const SourceView& source, const TargetView& target, const uint8_t* mask, size_t maskSize,
                  DrawScratch& scratch, const RowKernels& kernels);

// The 16.16 step of a scaling from sourceSize - 1 intervals onto targetSize
// pixels: the quotient taken in floating point and truncated toward zero.
int64_t bilinearStep(int64_t sourceSize, int64_t targetSize);

}  // namespace lessonry::effect
