// CInsetScaler: the camera inset's picture scaler. Scales a 24-bit (B, G, R)
// or 32-bit (B, G, R, ignored byte) picture to a 24-bit B, G, R picture of
// another size with a separable bicubic filter (cubic convolution, a = -0.5),
// 25 times a second beside the screen capture, so it is built for speed:
// configure() makes the filter tables and scratch rows once, scale() only
// reads and writes pixels.
//
// The filter: sample positions at pixel centres, source x = (x + 0.5) *
// srcWidth / dstWidth - 0.5 (the same for y); source pixels past an edge
// repeat the edge pixel. Enlarging uses the plain 4-tap kernel; shrinking by
// a factor f stretches the kernel by f (2 f source pixels on each side) so
// that the smaller picture does not alias. The weights of each output pixel
// are normalised to sum exactly to 1 in 14-bit fixed point; the horizontal
// pass keeps 6 fractional bits in 16-bit intermediate rows and the vertical
// pass rounds and clamps to 0..255. The SSSE3 and AVX2 kernels, picked at
// run time from what the processor supports, give the same bytes as the
// plain C++ one.
//
// Ownership and threads: the object owns its tables and scratch rows; the
// caller owns the pictures. scale() writes the scratch rows, so one object
// serves one thread at a time (the composition calls it under its frame
// lock).
#pragma once

#include <cstdint>
#include <vector>

#include "base/win_types.h"

namespace lessonry::capture {

class CInsetScaler {
 public:
  // The largest width or height configure() accepts, source or output.
  static constexpr int32_t kMaxSide = 16384;

  // The code that does the pixel work. kSse needs SSSE3, kAvx2 AVX2.
  enum class Kernel { kScalar, kSse, kAvx2 };

  CInsetScaler();

  // Prepares scaling of srcWidth x srcHeight pictures of srcBits (24 or 32)
  // bits per pixel to dstWidth x dstHeight 24-bit pictures. False, leaving
  // the scaler unconfigured, for another bit count, a side that is not
  // positive or larger than kMaxSide, or a size pair whose tables and rows
  // would take more than 256 MiB (a shrink by thousands into a wide
  // picture). The same arguments as the previous successful call return true
  // at once; different ones rebuild. The only method that allocates.
  bool configure(int32_t srcWidth, int32_t srcHeight, int32_t srcBits, int32_t dstWidth, int32_t dstHeight);
  bool configured() const { return dstHeight_ > 0; }

  // Scales one picture: src holds srcHeight rows of srcWidth pixels, row r at
  // src + r * srcStride (read in memory order, no flipping); dst receives
  // dstHeight rows of dstWidth B, G, R pixels at dst + y * dstStride. Only
  // those row bytes are read and written: strides may be wider than a row
  // (never narrower) and the bytes between rows are left alone. Does nothing when not
  // configured. Allocates nothing; writes the scratch rows (hence not const).
  void scale(const BYTE* src, int32_t srcStride, BYTE* dst, int32_t dstStride);

  Kernel kernel() const { return kernel_; }
  // Whether this processor can run the kernel (kScalar always).
  static bool kernelSupported(Kernel kernel);
  // Tests: runs the given kernel instead of the best one; false (and no
  // change) when the processor cannot run it.
  bool setKernelForTesting(Kernel kernel);

 private:
  // One axis's filter: for output position o, count[o] weights (14-bit
  // fixed point, summing to exactly 1 << 14) for the source positions
  // first[o] .. first[o] + count[o] - 1, stored from weights[o * stride].
  // first and first + count never decrease with o.
  struct Taps {
    std::vector<int32_t> first;
    std::vector<int32_t> count;
    std::vector<int16_t> weights;
    int32_t stride = 0;  // room per position, at least the largest count
  };
  static void buildTaps(int32_t srcSize, int32_t dstSize, Taps& taps);
  void buildSimdTables();
  void horizontalRow(const BYTE* srcRow, int16_t* out);
  void verticalRow(int32_t y, const int16_t* const* rows, BYTE* out) const;

  int32_t srcWidth_ = 0, srcHeight_ = 0, srcBits_ = 0, dstWidth_ = 0, dstHeight_ = 0;
  int32_t pixelBytes_ = 0;  // 3 or 4
  Kernel kernel_;

  Taps horizontal_, vertical_;

  // The SSSE3 and AVX2 horizontal kernels read 4 source pixels with one
  // 16-byte load, so every output pixel gets a window of the same multiple
  // of 4 taps (zero weights around its own). Output pixels go in pairs (an
  // odd last one pairs with a zero-weight copy of itself). simdStart_: each
  // window's byte offset; simdWeights_: per pair and group of 4 taps, four
  // runs of 8 int16: the pair's first pixel's taps 0 and 1 repeated, the
  // second pixel's taps 0 and 1, then the same for taps 2 and 3.
  // Windows before bodyEnd_ lie where no load passes the row's last byte.
  // Near the row's end (everywhere in a row narrower than a window) that
  // cannot be: the output pixels from bodyEnd_ on read a copy of the row
  // from byte tailFrom_ on, kept in tail_ with zero bytes after it, and
  // their simdStart_ counts from tailFrom_.
  int32_t simdGroups_ = 0;
  std::vector<int32_t> simdStart_;
  std::vector<int16_t> simdWeights_;
  int32_t bodyEnd_ = 0;
  int32_t tailFrom_ = 0;
  std::vector<BYTE> tail_;
  // Vertical weights in pairs as the 32-bit words pmaddwd takes (low half
  // the first row's weight), pairStride_ words per output row.
  int32_t pairStride_ = 0;
  std::vector<int32_t> pairWeights_;

  // Horizontally filtered source rows, 3 * dstWidth int16 each plus slack
  // for the kernels' 8-byte stores: source row r lives in slot r % ringRows_
  // while ringRow_[slot] says so. ringRows_ is the largest vertical tap
  // count, so one output row's rows never share a slot.
  int32_t ringRows_ = 0;
  int32_t ringStride_ = 0;  // int16 elements
  std::vector<int16_t> ring_;
  std::vector<int32_t> ringRow_;
  std::vector<const int16_t*> rowPointers_;  // the current output row's source rows
};

}  // namespace lessonry::capture
