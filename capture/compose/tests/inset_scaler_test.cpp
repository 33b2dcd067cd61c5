// CInsetScaler against a plain double-precision bicubic written here from
// the filter's definition (Catmull-Rom, pixel-centre positions, replicated
// edges, kernel stretched by the reduction factor when shrinking); its SIMD
// kernels against its plain one, byte for byte.
#include "inset_scaler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

using lessonry::capture::CInsetScaler;
using Kernel = CInsetScaler::Kernel;

constexpr BYTE kGuard = 0xA5;  // fills dst bytes the scaler must not write

// A source picture: rows of width pixels at `stride` bytes, the last row
// without padding, so that a read past its last pixel leaves the buffer.
struct Picture {
  int32_t width = 0, height = 0, bits = 0, stride = 0;
  std::vector<BYTE> bytes;
  int32_t pixelBytes() const { return bits / 8; }
  int at(int32_t x, int32_t y, int32_t channel) const {
    return bytes[static_cast<size_t>(y) * stride + static_cast<size_t>(x) * pixelBytes() + channel];
  }
};

Picture randomPicture(int32_t width, int32_t height, int32_t bits, int32_t padding, uint32_t seed) {
  Picture p{width, height, bits, width * (bits / 8) + padding, {}};
  p.bytes.resize(static_cast<size_t>(p.stride) * (height - 1) + static_cast<size_t>(width) * p.pixelBytes());
  std::mt19937 rng(seed);
  for (auto& b : p.bytes) b = static_cast<BYTE>(rng());
  return p;
}

// The output as the scaler writes it: dst rows at dstStride, guard bytes
// between them.
struct Output {
  int32_t width = 0, height = 0, stride = 0;
  std::vector<BYTE> bytes;
  Output(int32_t w, int32_t h, int32_t padding)
      : width(w), height(h), stride(w * 3 + padding), bytes(static_cast<size_t>(stride) * h, kGuard) {}
  BYTE at(int32_t x, int32_t y, int32_t channel) const {
    return bytes[static_cast<size_t>(y) * stride + static_cast<size_t>(x) * 3 + channel];
  }
  // The first byte between rows that was written, or -1.
  long touchedPadding() const {
    for (int32_t y = 0; y < height; ++y)
      for (int32_t i = width * 3; i < stride; ++i)
        if (bytes[static_cast<size_t>(y) * stride + i] != kGuard) return static_cast<long>(y) * stride + i;
    return -1;
  }
};

Output scaleWith(CInsetScaler& scaler, const Picture& p, int32_t dstWidth, int32_t dstHeight, int32_t dstPadding) {
  Output out(dstWidth, dstHeight, dstPadding);
  scaler.scale(p.bytes.data(), p.stride, out.bytes.data(), out.stride);
  return out;
}

// ---------------------------------------------------------------------------
// The reference filter.

double catmullRom(double t) {
  t = std::abs(t);
  if (t < 1) return 1.5 * t * t * t - 2.5 * t * t + 1;
  if (t < 2) return -0.5 * t * t * t + 2.5 * t * t - 4 * t + 2;
  return 0;
}

// For each output position, (source position, weight) pairs summing to 1.
std::vector<std::vector<std::pair<int32_t, double>>> referenceTaps(int32_t src, int32_t dst) {
  const double stretch = std::max(1.0, static_cast<double>(src) / dst);
  std::vector<std::vector<std::pair<int32_t, double>>> taps(dst);
  for (int32_t o = 0; o < dst; ++o) {
    const double centre = (o + 0.5) * src / dst - 0.5;
    double total = 0;
    for (auto j = static_cast<int32_t>(std::floor(centre - 2 * stretch));
         j <= static_cast<int32_t>(std::ceil(centre + 2 * stretch)); ++j) {
      const double w = catmullRom((j - centre) / stretch);
      taps[o].emplace_back(std::clamp(j, 0, src - 1), w);
      total += w;
    }
    for (auto& tap : taps[o]) tap.second /= total;
  }
  return taps;
}

// dstWidth x dstHeight x 3 bytes, rows of dstWidth * 3.
std::vector<BYTE> referenceScale(const Picture& p, int32_t dstWidth, int32_t dstHeight) {
  const auto across = referenceTaps(p.width, dstWidth), down = referenceTaps(p.height, dstHeight);
  std::vector<double> rows(static_cast<size_t>(p.height) * dstWidth * 3);
  for (int32_t y = 0; y < p.height; ++y)
    for (int32_t x = 0; x < dstWidth; ++x)
      for (int32_t c = 0; c < 3; ++c) {
        double sum = 0;
        for (const auto& [j, w] : across[x]) sum += w * p.at(j, y, c);
        rows[(static_cast<size_t>(y) * dstWidth + x) * 3 + c] = sum;
      }
  std::vector<BYTE> out(static_cast<size_t>(dstWidth) * dstHeight * 3);
  for (int32_t y = 0; y < dstHeight; ++y)
    for (int32_t i = 0; i < dstWidth * 3; ++i) {
      double sum = 0;
      for (const auto& [j, w] : down[y]) sum += w * rows[static_cast<size_t>(j) * dstWidth * 3 + i];
      out[static_cast<size_t>(y) * dstWidth * 3 + i] = static_cast<BYTE>(std::clamp(std::lround(sum), 0L, 255L));
    }
  return out;
}

// The largest |scaler - reference| over all bytes.
int largestDifference(const Output& out, const std::vector<BYTE>& reference) {
  int largest = 0;
  for (int32_t y = 0; y < out.height; ++y)
    for (int32_t x = 0; x < out.width; ++x)
      for (int32_t c = 0; c < 3; ++c)
        largest = std::max(largest, std::abs(out.at(x, y, c) -
                                             reference[(static_cast<size_t>(y) * out.width + x) * 3 + c]));
  return largest;
}

std::vector<Kernel> supportedKernels() {
  std::vector<Kernel> kernels;
  for (Kernel k : {Kernel::kScalar, Kernel::kSse, Kernel::kAvx2})
    if (CInsetScaler::kernelSupported(k)) kernels.push_back(k);
  return kernels;
}

std::string kernelName(Kernel k) {
  switch (k) {
    case Kernel::kScalar: return "scalar";
    case Kernel::kSse: return "ssse3";
    case Kernel::kAvx2: return "avx2";
  }
  return "?";
}

// ---------------------------------------------------------------------------

TEST(InsetScaler, FollowsTheReferenceFilterWithinOne) {
  struct Case {
    int32_t srcWidth, srcHeight, srcPadding, dstWidth, dstHeight;
  } cases[] = {
      {640, 480, 0, 400, 300},     // the usual camera
      {1920, 1080, 4, 400, 300},   // shrinking by 4.8 x 3.6: long stretched kernels
      {320, 240, 0, 400, 300},     // enlarging: 4 taps
      {400, 300, 12, 400, 300},    // identity: exact (checked below)
      {333, 127, 3, 400, 300},     // odd sizes, enlarging down, shrinking across
      {641, 479, 1, 399, 301},     // odd output width (the last pixel pairs with nothing)
      {7, 5, 2, 400, 300},         // a row narrower than one 16-byte load window
      {1, 1, 0, 400, 300},
      {2, 3, 5, 400, 300},
  };
  uint32_t seed = 1;
  for (const Case& c : cases)
    for (int32_t bits : {24, 32}) {
      SCOPED_TRACE(testing::Message() << c.srcWidth << "x" << c.srcHeight << " at " << bits << " bits -> "
                                      << c.dstWidth << "x" << c.dstHeight);
      const Picture p = randomPicture(c.srcWidth, c.srcHeight, bits, c.srcPadding, seed++);
      const auto reference = referenceScale(p, c.dstWidth, c.dstHeight);
      CInsetScaler scaler;
      ASSERT_TRUE(scaler.configure(c.srcWidth, c.srcHeight, bits, c.dstWidth, c.dstHeight));
      const Output out = scaleWith(scaler, p, c.dstWidth, c.dstHeight, /*dstPadding=*/13);
      EXPECT_EQ(out.touchedPadding(), -1);
      const bool identity = c.srcWidth == c.dstWidth && c.srcHeight == c.dstHeight;
      EXPECT_LE(largestDifference(out, reference), identity ? 0 : 1);
      if (identity) {
        for (int32_t y = 0; y < c.srcHeight; y += 37)
          for (int32_t x = 0; x < c.srcWidth; x += 41)
            for (int32_t ch = 0; ch < 3; ++ch) ASSERT_EQ(out.at(x, y, ch), p.at(x, y, ch)) << x << "," << y;
      }
    }
}

// Every kernel this processor has gives the plain kernel's bytes, over
// widths around the SIMD windows' edge cases (rows narrower than a window,
// odd output widths, vertical lengths beside the 16 and 32 element steps,
// odd and even vertical tap counts); the plain kernel stays within 1 of the
// reference on them.
TEST(InsetScaler, KernelsAgreeByteForByte) {
  const auto kernels = supportedKernels();
  uint32_t seed = 100;
  for (int32_t bits : {24, 32})
    for (int32_t srcWidth : {1, 2, 3, 4, 5, 6, 7, 8, 11, 13, 16, 17, 21, 31, 64, 100})
      for (int32_t dstWidth : {1, 2, 3, 5, 8, 13, 40})
        for (auto [srcHeight, dstHeight] : {std::pair{1, 3}, std::pair{4, 1}, std::pair{9, 7}, std::pair{5, 2}}) {
          SCOPED_TRACE(testing::Message() << srcWidth << "x" << srcHeight << " at " << bits << " bits -> "
                                          << dstWidth << "x" << dstHeight);
          const Picture p = randomPicture(srcWidth, srcHeight, bits, srcWidth % 3, seed++);
          CInsetScaler scaler;
          ASSERT_TRUE(scaler.configure(srcWidth, srcHeight, bits, dstWidth, dstHeight));
          ASSERT_TRUE(scaler.setKernelForTesting(Kernel::kScalar));
          const Output plain = scaleWith(scaler, p, dstWidth, dstHeight, 7);
          ASSERT_LE(largestDifference(plain, referenceScale(p, dstWidth, dstHeight)), 1);
          for (Kernel k : kernels) {
            ASSERT_TRUE(scaler.setKernelForTesting(k));
            const Output out = scaleWith(scaler, p, dstWidth, dstHeight, 7);
            ASSERT_EQ(out.bytes, plain.bytes) << kernelName(k);
          }
        }
}

TEST(InsetScaler, KernelsAgreeOnCameraSizes) {
  uint32_t seed = 500;
  for (auto [w, h] : {std::pair{640, 480}, std::pair{1280, 720}, std::pair{1920, 1080}, std::pair{352, 288}})
    for (int32_t bits : {24, 32}) {
      const Picture p = randomPicture(w, h, bits, 0, seed++);
      CInsetScaler scaler;
      ASSERT_TRUE(scaler.configure(w, h, bits, 400, 300));
      ASSERT_TRUE(scaler.setKernelForTesting(Kernel::kScalar));
      const Output plain = scaleWith(scaler, p, 400, 300, 0);
      for (Kernel k : supportedKernels()) {
        ASSERT_TRUE(scaler.setKernelForTesting(k));
        EXPECT_EQ(scaleWith(scaler, p, 400, 300, 0).bytes, plain.bytes) << w << "x" << h << " " << bits << " bits "
                                                                         << kernelName(k);
      }
    }
}

// Weights sum exactly to one, so a flat picture stays flat at any size,
// whatever the overshoot of the kernel's negative lobes elsewhere; the
// extreme shrink has thousands of taps whose 14-bit weights are mostly 0
// or 1, where only the remainder on the largest tap keeps the sum.
TEST(InsetScaler, ConstantPictureStaysExactlyConstant) {
  struct Case {
    int32_t srcWidth, srcHeight, dstWidth, dstHeight;
  } cases[] = {
      {640, 480, 400, 300}, {1920, 1080, 400, 300}, {13, 7, 400, 300}, {1, 1, 400, 300}, {16384, 5, 3, 1},
  };
  const BYTE colours[][3] = {{0, 0, 0}, {255, 255, 255}, {1, 128, 254}, {37, 200, 99}};
  for (const Case& c : cases)
    for (int32_t bits : {24, 32})
      for (const auto& colour : colours) {
        Picture p = randomPicture(c.srcWidth, c.srcHeight, bits, 2, 9);  // random padding and fourth bytes
        for (int32_t y = 0; y < c.srcHeight; ++y)
          for (int32_t x = 0; x < c.srcWidth; ++x)
            for (int32_t ch = 0; ch < 3; ++ch)
              p.bytes[static_cast<size_t>(y) * p.stride + static_cast<size_t>(x) * p.pixelBytes() + ch] = colour[ch];
        CInsetScaler scaler;
        ASSERT_TRUE(scaler.configure(c.srcWidth, c.srcHeight, bits, c.dstWidth, c.dstHeight));
        for (Kernel k : supportedKernels()) {
          ASSERT_TRUE(scaler.setKernelForTesting(k));
          const Output out = scaleWith(scaler, p, c.dstWidth, c.dstHeight, 0);
          for (size_t i = 0; i < out.bytes.size(); ++i)
            ASSERT_EQ(out.bytes[i], colour[i % 3]) << c.srcWidth << "x" << c.srcHeight << " " << bits << " bits "
                                                   << kernelName(k) << " byte " << i;
        }
      }
}

TEST(InsetScaler, RefusesBadArgumentsAndStaysUnconfigured) {
  struct Case {
    int32_t srcWidth, srcHeight, bits, dstWidth, dstHeight;
  } cases[] = {
      {640, 480, 16, 400, 300}, {640, 480, 8, 400, 300},     {640, 480, 0, 400, 300},
      {640, 480, 33, 400, 300}, {0, 480, 24, 400, 300},      {640, -1, 24, 400, 300},
      {640, 480, 24, 0, 300},   {640, 480, 32, 400, -300},   {16385, 480, 24, 400, 300},
      {640, 16385, 24, 400, 300}, {640, 480, 24, 16385, 300}, {640, 480, 24, 400, 16385},
      // Legal sides, but a ring of 16384 rows of 16384 pixels: refused, not gigabytes.
      {16384, 16384, 24, 16384, 1},
  };
  const Picture p = randomPicture(8, 8, 24, 0, 3);
  for (const Case& c : cases) {
    CInsetScaler scaler;
    ASSERT_TRUE(scaler.configure(8, 8, 24, 4, 4));
    EXPECT_FALSE(scaler.configure(c.srcWidth, c.srcHeight, c.bits, c.dstWidth, c.dstHeight))
        << c.srcWidth << "x" << c.srcHeight << " " << c.bits << " -> " << c.dstWidth << "x" << c.dstHeight;
    EXPECT_FALSE(scaler.configured());
    Output out(4, 4, 0);
    scaler.scale(p.bytes.data(), p.stride, out.bytes.data(), out.stride);  // does nothing
    EXPECT_TRUE(std::all_of(out.bytes.begin(), out.bytes.end(), [](BYTE b) { return b == kGuard; }));
  }
  // The largest sides themselves are fine.
  CInsetScaler scaler;
  EXPECT_TRUE(scaler.configure(16384, 16384, 32, 400, 300));
  EXPECT_TRUE(scaler.configure(1, 1, 24, 16384, 16384));
}

// Reconfiguring rebuilds everything: the output equals a fresh scaler's,
// and configuring again with the same arguments keeps working.
TEST(InsetScaler, ReconfigureMatchesAFreshScaler) {
  const Picture small = randomPicture(320, 240, 32, 0, 21);
  const Picture large = randomPicture(1280, 720, 24, 0, 22);
  CInsetScaler reused;
  ASSERT_TRUE(reused.configure(320, 240, 32, 400, 300));
  const Output first = scaleWith(reused, small, 400, 300, 0);
  ASSERT_TRUE(reused.configure(1280, 720, 24, 200, 150));
  const Output second = scaleWith(reused, large, 200, 150, 0);
  ASSERT_TRUE(reused.configure(1280, 720, 24, 200, 150));
  const Output again = scaleWith(reused, large, 200, 150, 0);

  CInsetScaler fresh;
  ASSERT_TRUE(fresh.configure(1280, 720, 24, 200, 150));
  EXPECT_EQ(second.bytes, scaleWith(fresh, large, 200, 150, 0).bytes);
  EXPECT_EQ(again.bytes, second.bytes);
  ASSERT_TRUE(fresh.configure(320, 240, 32, 400, 300));
  EXPECT_EQ(first.bytes, scaleWith(fresh, small, 400, 300, 0).bytes);
}

}  // namespace
