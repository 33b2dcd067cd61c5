// The camera inset's bicubic scaler: filter tables, the ring of
// horizontally filtered rows, and the plain, SSSE3 and AVX2 kernels. All
// kernels do the same integer arithmetic (sums of int16 x int16 products in
// int32, the same rounding shifts and saturations), so they give the same
// bytes; only the order of the additions differs, which integers forgive.
#include "inset_scaler.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

#if defined(__x86_64__)
#define LESSONRY_INSET_X86 1
#include <immintrin.h>
#endif

namespace lessonry::capture {

namespace {

constexpr int kWeightBits = 14;  // weights: 1 << 14 is 1
constexpr int32_t kWeightOne = 1 << kWeightBits;
constexpr int kFractionBits = 6;  // fractional bits of the intermediate rows
// Horizontal: sum of weight x byte, down to 6 fractional bits. Intermediate
// values stay within about -0.2 .. 1.2 of 255 << 6, well inside int16.
constexpr int kHorizontalShift = kWeightBits - kFractionBits;
// Vertical: sum of weight x intermediate, down to whole byte values.
constexpr int kVerticalShift = kWeightBits + kFractionBits;
// Tables and rows beyond this are refused (only absurd size pairs get there).
constexpr uint64_t kMaxScratchBytes = uint64_t{256} << 20;

// Cubic convolution kernel with a = -0.5 (Catmull-Rom).
double cubic(double t) {
  constexpr double a = -0.5;
  t = std::fabs(t);
  if (t < 1) return ((a + 2) * t - (a + 3)) * t * t + 1;
  if (t < 2) return ((a * t - 5 * a) * t + 8 * a) * t - 4 * a;
  return 0;
}

// Source positions one output position reads at most: 2 x radius, +1 for
// where the window falls, never more than the source has.
int32_t tapBound(int32_t srcSize, int32_t dstSize) {
  const double stretch = std::max(static_cast<double>(srcSize) / dstSize, 1.0);
  return static_cast<int32_t>(std::min<double>(srcSize, std::ceil(4 * stretch) + 1));
}

int16_t horizontalValue(int32_t sum) {
  const int32_t v = (sum + (1 << (kHorizontalShift - 1))) >> kHorizontalShift;
  return static_cast<int16_t>(std::clamp(v, -32768, 32767));
}

BYTE verticalValue(int32_t sum) {
  const int32_t v = (sum + (1 << (kVerticalShift - 1))) >> kVerticalShift;
  return static_cast<BYTE>(std::clamp(v, 0, 255));
}

// The pair (w0, w1) as the 32-bit word pmaddwd multiplies with (w0 low).
int32_t weightPair(int16_t w0, int16_t w1) {
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint16_t>(w0)) |
                              (static_cast<uint32_t>(static_cast<uint16_t>(w1)) << 16));
}

// ---------------------------------------------------------------------------
// Plain kernels: the reference for the others and the fallback.

struct HorizontalTaps {
  const int32_t* first;
  const int32_t* count;
  const int16_t* weights;
  int32_t stride;
  int32_t pixelBytes;
};

void horizontalScalar(const HorizontalTaps& t, const BYTE* row, int32_t width, int16_t* out) {
  for (int32_t x = 0; x < width; ++x) {
    const BYTE* p = row + static_cast<ptrdiff_t>(t.first[x]) * t.pixelBytes;
    const int16_t* w = t.weights + static_cast<ptrdiff_t>(x) * t.stride;
    int32_t b = 0, g = 0, r = 0;
    for (int32_t k = 0; k < t.count[x]; ++k, p += t.pixelBytes) {
      b += w[k] * p[0];
      g += w[k] * p[1];
      r += w[k] * p[2];
    }
    out[3 * x] = horizontalValue(b);
    out[3 * x + 1] = horizontalValue(g);
    out[3 * x + 2] = horizontalValue(r);
  }
}

// Elements from..length of one output row.
void verticalScalar(const int16_t* const* rows, const int16_t* weights, int32_t count, int32_t from, int32_t length,
                    BYTE* out) {
  for (int32_t i = from; i < length; ++i) {
    int32_t sum = 0;
    for (int32_t k = 0; k < count; ++k) sum += weights[k] * rows[k][i];
    out[i] = verticalValue(sum);
  }
}

#ifdef LESSONRY_INSET_X86

// ---------------------------------------------------------------------------
// SIMD kernels. A horizontal group: 16 bytes loaded from the window's 4
// pixels; pshufb spreads pixels 0 and 1 (then 2 and 3) to int16 as
// B0 B1 G0 G1 R0 R1 0 0, and pmaddwd with (w0 w1) x 4 leaves B, G, R and 0
// sums in the four int32 lanes.

struct HorizontalSimd {
  const int32_t* start;    // byte offsets, from the base the caller gives
  const int16_t* weights;  // per pair: groups x 32 int16
  int32_t groups;
  int32_t pixelBytes;
};

__attribute__((target("ssse3"))) __m128i shuffleLow(int32_t pixelBytes) {
  return pixelBytes == 3 ? _mm_setr_epi8(0, -1, 3, -1, 1, -1, 4, -1, 2, -1, 5, -1, -1, -1, -1, -1)
                         : _mm_setr_epi8(0, -1, 4, -1, 1, -1, 5, -1, 2, -1, 6, -1, -1, -1, -1, -1);
}

__attribute__((target("ssse3"))) __m128i shuffleHigh(int32_t pixelBytes) {
  return pixelBytes == 3 ? _mm_setr_epi8(6, -1, 9, -1, 7, -1, 10, -1, 8, -1, 11, -1, -1, -1, -1, -1)
                         : _mm_setr_epi8(8, -1, 12, -1, 9, -1, 13, -1, 10, -1, 14, -1, -1, -1, -1, -1);
}

// Output pixels from..to (exclusive), one at a time. Each 8-byte store
// writes a zero after the pixel that the next pixel overwrites; the row has
// slack for the last one. kGroups > 0 fixes the group count (the loop over
// groups unrolls); 0 takes t.groups.
template <int kGroups>
__attribute__((target("ssse3"))) void horizontalSsse3(const HorizontalSimd& t, const BYTE* base, int32_t from,
                                                       int32_t to, int16_t* out) {
  const int32_t groups = kGroups > 0 ? kGroups : t.groups;
  const __m128i low = shuffleLow(t.pixelBytes), high = shuffleHigh(t.pixelBytes);
  const __m128i round = _mm_set1_epi32(1 << (kHorizontalShift - 1));
  const ptrdiff_t step = 4 * t.pixelBytes;
  const int32_t* start = t.start;
  const int16_t* weights = t.weights;
  for (int32_t x = from; x < to; ++x) {
    const BYTE* p = base + start[x];
    const int16_t* w = weights + static_cast<ptrdiff_t>(x >> 1) * groups * 32 + (x & 1) * 8;
    __m128i sum = round;
#pragma GCC unroll 8
    for (int32_t g = 0; g < groups; ++g) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + g * step));
      const __m128i* wg = reinterpret_cast<const __m128i*>(w + g * 32);
      sum = _mm_add_epi32(sum, _mm_madd_epi16(_mm_shuffle_epi8(v, low), _mm_loadu_si128(wg)));
      sum = _mm_add_epi32(sum, _mm_madd_epi16(_mm_shuffle_epi8(v, high), _mm_loadu_si128(wg + 2)));
    }
    sum = _mm_srai_epi32(sum, kHorizontalShift);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 3 * x), _mm_packs_epi32(sum, sum));
  }
}

// One pair's B, G, R, 0 sums (rounding included): the first pixel in the
// low 128-bit lane, the second in the high one.
template <int kGroups>
__attribute__((target("avx2"), always_inline)) inline __m256i pairSums(const BYTE* p0, const BYTE* p1,
                                                                       const int16_t* w, int32_t groups,
                                                                       ptrdiff_t step, __m256i low, __m256i high,
                                                                       __m256i round) {
  if (kGroups > 0) groups = kGroups;
  __m256i sum = round;
#pragma GCC unroll 8
  for (int32_t g = 0; g < groups; ++g) {
    const __m256i v = _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p0 + g * step))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(p1 + g * step)), 1);
    const __m256i* wg = reinterpret_cast<const __m256i*>(w + g * 32);
    sum = _mm256_add_epi32(sum, _mm256_madd_epi16(_mm256_shuffle_epi8(v, low), _mm256_loadu_si256(wg)));
    sum = _mm256_add_epi32(sum, _mm256_madd_epi16(_mm256_shuffle_epi8(v, high), _mm256_loadu_si256(wg + 1)));
  }
  return sum;
}

// Output pixels from (even) to to, two pairs at a time, then a last pair.
// A pair's second pixel at or past `to` is computed (zero weights) but not
// stored. Stores go in pixel order, each one's spare fourth value
// overwritten by the next.
template <int kGroups>
__attribute__((target("avx2"))) void horizontalAvx2(const HorizontalSimd& t, const BYTE* base, int32_t from,
                                                     int32_t to, int16_t* out) {
  const int32_t groups = kGroups > 0 ? kGroups : t.groups;
  const __m256i low = _mm256_broadcastsi128_si256(shuffleLow(t.pixelBytes));
  const __m256i high = _mm256_broadcastsi128_si256(shuffleHigh(t.pixelBytes));
  const __m256i round = _mm256_set1_epi32(1 << (kHorizontalShift - 1));
  const ptrdiff_t step = 4 * t.pixelBytes;
  const ptrdiff_t pairWeights = static_cast<ptrdiff_t>(groups) * 32;
  const int32_t* start = t.start;
  const int16_t* w = t.weights + (from >> 1) * pairWeights;
  int16_t* o = out + 3 * from;
  int32_t x = from;
  for (; x + 4 <= to; x += 4, w += 2 * pairWeights, o += 12) {
    const __m256i a = pairSums<kGroups>(base + start[x], base + start[x + 1], w, groups, step, low, high, round);
    const __m256i b =
        pairSums<kGroups>(base + start[x + 2], base + start[x + 3], w + pairWeights, groups, step, low, high, round);
    // Low lane: pixels x and x + 2; high lane: x + 1 and x + 3.
    const __m256i packed = _mm256_packs_epi32(_mm256_srai_epi32(a, kHorizontalShift),
                                              _mm256_srai_epi32(b, kHorizontalShift));
    const __m128i even = _mm256_castsi256_si128(packed), odd = _mm256_extracti128_si256(packed, 1);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(o), even);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(o + 3), odd);
    // movhps: stores the high 8 bytes, any alignment.
    _mm_storeh_pi(reinterpret_cast<__m64*>(o + 6), _mm_castsi128_ps(even));
    _mm_storeh_pi(reinterpret_cast<__m64*>(o + 9), _mm_castsi128_ps(odd));
  }
  for (; x < to; x += 2, w += pairWeights, o += 6) {
    const __m256i sum = _mm256_srai_epi32(
        pairSums<kGroups>(base + start[x], base + start[x + 1], w, groups, step, low, high, round), kHorizontalShift);
    const __m256i packed = _mm256_packs_epi32(sum, sum);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(o), _mm256_castsi256_si128(packed));
    if (x + 1 < to) _mm_storel_epi64(reinterpret_cast<__m128i*>(o + 3), _mm256_extracti128_si256(packed, 1));
  }
}

using HorizontalKernel = void (*)(const HorizontalSimd&, const BYTE*, int32_t, int32_t, int16_t*);

// The kernel for this many groups: unrolled up to 6 (shrinking by up to
// about 6), a loop beyond.
HorizontalKernel horizontalKernel(bool avx2, int32_t groups) {
  switch (groups) {
    case 1: return avx2 ? horizontalAvx2<1> : horizontalSsse3<1>;
    case 2: return avx2 ? horizontalAvx2<2> : horizontalSsse3<2>;
    case 3: return avx2 ? horizontalAvx2<3> : horizontalSsse3<3>;
    case 4: return avx2 ? horizontalAvx2<4> : horizontalSsse3<4>;
    case 5: return avx2 ? horizontalAvx2<5> : horizontalSsse3<5>;
    case 6: return avx2 ? horizontalAvx2<6> : horizontalSsse3<6>;
    default: return avx2 ? horizontalAvx2<0> : horizontalSsse3<0>;
  }
}

// Vertical: rows k and k + 1 interleaved (unpack) and multiplied by their
// weight pair (pmaddwd). rows[count] exists (a repeat with zero weight) when
// count is odd. Rows of at least 16 elements are done whole (the last block
// overlaps the one before and writes the same bytes again); returns how
// many leading elements it wrote, the caller does the rest.
int32_t verticalSse2(const int16_t* const* rows, const int32_t* pairs, int32_t count, int32_t length, BYTE* out) {
  if (length < 16) return 0;
  const __m128i round = _mm_set1_epi32(1 << (kVerticalShift - 1));
  for (int32_t block = 0; block < length; block += 16) {
    const int32_t i = std::min(block, length - 16);
    __m128i s0 = round, s1 = round, s2 = round, s3 = round;
    for (int32_t k = 0; k < count; k += 2) {
      const __m128i w = _mm_set1_epi32(pairs[k >> 1]);
      const int16_t* a = rows[k] + i;
      const int16_t* b = rows[k + 1] + i;
      const __m128i a0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a));
      const __m128i a1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + 8));
      const __m128i b0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b));
      const __m128i b1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + 8));
      s0 = _mm_add_epi32(s0, _mm_madd_epi16(_mm_unpacklo_epi16(a0, b0), w));
      s1 = _mm_add_epi32(s1, _mm_madd_epi16(_mm_unpackhi_epi16(a0, b0), w));
      s2 = _mm_add_epi32(s2, _mm_madd_epi16(_mm_unpacklo_epi16(a1, b1), w));
      s3 = _mm_add_epi32(s3, _mm_madd_epi16(_mm_unpackhi_epi16(a1, b1), w));
    }
    const __m128i v0 = _mm_packs_epi32(_mm_srai_epi32(s0, kVerticalShift), _mm_srai_epi32(s1, kVerticalShift));
    const __m128i v1 = _mm_packs_epi32(_mm_srai_epi32(s2, kVerticalShift), _mm_srai_epi32(s3, kVerticalShift));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(v0, v1));
  }
  return length;
}

// The same 32 elements at a time. unpack and pack work within 128-bit
// lanes, so the packed bytes come out as quarters 0, 2, 1, 3: one permute
// puts them in order.
__attribute__((target("avx2"))) int32_t verticalAvx2(const int16_t* const* rows, const int32_t* pairs, int32_t count,
                                                     int32_t length, BYTE* out) {
  if (length < 32) return 0;
  const __m256i round = _mm256_set1_epi32(1 << (kVerticalShift - 1));
  for (int32_t block = 0; block < length; block += 32) {
    const int32_t i = std::min(block, length - 32);
    __m256i s0 = round, s1 = round, s2 = round, s3 = round;
    for (int32_t k = 0; k < count; k += 2) {
      const __m256i w = _mm256_set1_epi32(pairs[k >> 1]);
      const int16_t* a = rows[k] + i;
      const int16_t* b = rows[k + 1] + i;
      const __m256i a0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a));
      const __m256i a1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + 16));
      const __m256i b0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b));
      const __m256i b1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + 16));
      s0 = _mm256_add_epi32(s0, _mm256_madd_epi16(_mm256_unpacklo_epi16(a0, b0), w));
      s1 = _mm256_add_epi32(s1, _mm256_madd_epi16(_mm256_unpackhi_epi16(a0, b0), w));
      s2 = _mm256_add_epi32(s2, _mm256_madd_epi16(_mm256_unpacklo_epi16(a1, b1), w));
      s3 = _mm256_add_epi32(s3, _mm256_madd_epi16(_mm256_unpackhi_epi16(a1, b1), w));
    }
    const __m256i v0 =
        _mm256_packs_epi32(_mm256_srai_epi32(s0, kVerticalShift), _mm256_srai_epi32(s1, kVerticalShift));
    const __m256i v1 =
        _mm256_packs_epi32(_mm256_srai_epi32(s2, kVerticalShift), _mm256_srai_epi32(s3, kVerticalShift));
    const __m256i bytes = _mm256_permute4x64_epi64(_mm256_packus_epi16(v0, v1), 0xD8);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), bytes);
  }
  return length;
}

#endif  // LESSONRY_INSET_X86

CInsetScaler::Kernel bestKernel() {
  if (CInsetScaler::kernelSupported(CInsetScaler::Kernel::kAvx2)) return CInsetScaler::Kernel::kAvx2;
  if (CInsetScaler::kernelSupported(CInsetScaler::Kernel::kSse)) return CInsetScaler::Kernel::kSse;
  return CInsetScaler::Kernel::kScalar;
}

}  // namespace

CInsetScaler::CInsetScaler() : kernel_(bestKernel()) {}

bool CInsetScaler::kernelSupported(Kernel kernel) {
  switch (kernel) {
    case Kernel::kScalar: return true;
#ifdef LESSONRY_INSET_X86
    case Kernel::kSse: __builtin_cpu_init(); return __builtin_cpu_supports("ssse3");
    case Kernel::kAvx2: __builtin_cpu_init(); return __builtin_cpu_supports("avx2");
#endif
    default: return false;
  }
}

bool CInsetScaler::setKernelForTesting(Kernel kernel) {
  if (!kernelSupported(kernel)) return false;
  kernel_ = kernel;
  return true;
}

void CInsetScaler::buildTaps(int32_t srcSize, int32_t dstSize, Taps& taps) {
  const double ratio = static_cast<double>(srcSize) / dstSize;
  // Shrinking stretches the kernel over `stretch` source pixels per unit.
  const double stretch = std::max(ratio, 1.0);
  const double radius = 2 * stretch;
  taps.stride = tapBound(srcSize, dstSize);
  taps.first.assign(dstSize, 0);
  taps.count.assign(dstSize, 0);
  taps.weights.assign(static_cast<size_t>(dstSize) * taps.stride, 0);
  std::vector<double> w(taps.stride);
  for (int32_t o = 0; o < dstSize; ++o) {
    const double centre = (o + 0.5) * ratio - 0.5;
    // Every source position strictly inside the support; those past an
    // edge add their weight to the edge pixel.
    const int32_t lo = static_cast<int32_t>(std::floor(centre - radius)) + 1;
    const int32_t hi = static_cast<int32_t>(std::ceil(centre + radius)) - 1;
    const int32_t first = std::clamp(lo, 0, srcSize - 1);
    const int32_t count = std::clamp(hi, 0, srcSize - 1) - first + 1;
    std::fill(w.begin(), w.end(), 0.0);
    double total = 0;
    for (int32_t j = lo; j <= hi; ++j) {
      const double v = cubic((j - centre) / stretch);
      w[std::clamp(j, 0, srcSize - 1) - first] += v;
      total += v;
    }
    int16_t* q = taps.weights.data() + static_cast<size_t>(o) * taps.stride;
    int32_t sum = 0, largest = 0;
    for (int32_t k = 0; k < count; ++k) {
      q[k] = static_cast<int16_t>(std::lround(w[k] / total * kWeightOne));
      sum += q[k];
      if (w[k] > w[largest]) largest = k;
    }
    q[largest] = static_cast<int16_t>(q[largest] + kWeightOne - sum);
    taps.first[o] = first;
    taps.count[o] = count;
  }
}

void CInsetScaler::buildSimdTables() {
  // Vertical weight pairs.
  const auto dstHeight = static_cast<int32_t>(vertical_.count.size());
  pairStride_ = (vertical_.stride + 1) / 2;
  pairWeights_.assign(static_cast<size_t>(dstHeight) * pairStride_, 0);
  for (int32_t y = 0; y < dstHeight; ++y) {
    const int16_t* w = vertical_.weights.data() + static_cast<size_t>(y) * vertical_.stride;
    for (int32_t k = 0; k < vertical_.count[y]; k += 2)
      pairWeights_[static_cast<size_t>(y) * pairStride_ + k / 2] =
          weightPair(w[k], k + 1 < vertical_.count[y] ? w[k + 1] : int16_t{0});
  }

  // Horizontal windows of 4 x simdGroups_ taps.
  int32_t widest = 0;
  for (int32_t x = 0; x < dstWidth_; ++x) widest = std::max(widest, horizontal_.count[x]);
  simdGroups_ = (widest + 3) / 4;
  const int32_t taps = simdGroups_ * 4;
  const int32_t rowBytes = srcWidth_ * pixelBytes_;
  // A window starting at pixel s ends its last load at byte
  // (s + taps - 4) * pixelBytes + 16: windows ending at or before pixel
  // `end` stay inside the row.
  const int32_t end = (rowBytes - 16) >= 0 ? (rowBytes - 16) / pixelBytes_ + 4 : -1;
  bodyEnd_ = 0;
  while (bodyEnd_ < dstWidth_ && end - taps >= 0 &&
         horizontal_.first[bodyEnd_] + horizontal_.count[bodyEnd_] <= end)
    ++bodyEnd_;
  if (bodyEnd_ < dstWidth_) bodyEnd_ &= ~1;  // pairs do not straddle body and tail
  tailFrom_ = bodyEnd_ < dstWidth_ ? horizontal_.first[bodyEnd_] * pixelBytes_ : rowBytes;
  // The tail's windows start at their first tap and may run taps pixels
  // (and a load's 4 spare bytes) past the row's end: zeros there.
  tail_.assign(bodyEnd_ < dstWidth_ ? static_cast<size_t>(rowBytes - tailFrom_) + taps * pixelBytes_ + 16 : 0, 0);

  const int32_t pairs = (dstWidth_ + 1) / 2;
  simdStart_.assign(static_cast<size_t>(pairs) * 2, 0);
  simdWeights_.assign(static_cast<size_t>(pairs) * simdGroups_ * 32, 0);
  for (int32_t x = 0; x < pairs * 2; ++x) {
    const int32_t o = std::min(x, dstWidth_ - 1);  // an odd width's last pair repeats its pixel
    const int32_t first = horizontal_.first[o];
    const int32_t start = o < bodyEnd_ ? std::min(first, end - taps) : first;
    simdStart_[x] = o < bodyEnd_ ? start * pixelBytes_ : start * pixelBytes_ - tailFrom_;
    if (x != o) continue;  // zero weights
    const int16_t* w = horizontal_.weights.data() + static_cast<size_t>(o) * horizontal_.stride;
    int16_t* pair = simdWeights_.data() + static_cast<size_t>(x / 2) * simdGroups_ * 32 + (x & 1) * 8;
    for (int32_t k = 0; k < horizontal_.count[o]; ++k) {
      const int32_t tap = first - start + k;  // place in the window
      int16_t* run = pair + (tap / 4) * 32 + ((tap % 4) / 2) * 16 + (tap % 2);
      for (int32_t i = 0; i < 8; i += 2) run[i] = w[k];
    }
  }
}

bool CInsetScaler::configure(int32_t srcWidth, int32_t srcHeight, int32_t srcBits, int32_t dstWidth,
                             int32_t dstHeight) {
  if (configured() && srcWidth == srcWidth_ && srcHeight == srcHeight_ && srcBits == srcBits_ &&
      dstWidth == dstWidth_ && dstHeight == dstHeight_)
    return true;
  srcWidth_ = srcHeight_ = srcBits_ = dstWidth_ = dstHeight_ = pixelBytes_ = 0;
  if (srcBits != 24 && srcBits != 32) return false;
  for (const int32_t side : {srcWidth, srcHeight, dstWidth, dstHeight})
    if (side <= 0 || side > kMaxSide) return false;

  // Only a tall source shrunk into a wide, low picture needs much: the ring
  // holds as many intermediate rows as an output row reads.
  const uint64_t hTaps = tapBound(srcWidth, dstWidth), vTaps = tapBound(srcHeight, dstHeight);
  const uint64_t rowElements = uint64_t{3} * dstWidth + 16;
  const uint64_t bytes = uint64_t(dstWidth) * hTaps * (2 + 8) + uint64_t(dstHeight) * vTaps * (2 + 2) +
                         vTaps * rowElements * 2 + uint64_t(srcWidth) * 4;
  if (bytes > kMaxScratchBytes) return false;

  pixelBytes_ = srcBits / 8;
  buildTaps(srcWidth, dstWidth, horizontal_);
  buildTaps(srcHeight, dstHeight, vertical_);
  srcWidth_ = srcWidth;
  srcHeight_ = srcHeight;
  srcBits_ = srcBits;
  dstWidth_ = dstWidth;
  buildSimdTables();

  ringRows_ = *std::max_element(vertical_.count.begin(), vertical_.count.end());
  ringStride_ = static_cast<int32_t>((rowElements + 15) & ~uint64_t{15});
  ring_.assign(static_cast<size_t>(ringRows_) * ringStride_, 0);
  ringRow_.assign(ringRows_, -1);
  rowPointers_.assign(ringRows_ + 1, nullptr);
  dstHeight_ = dstHeight;  // last: configured() from here on
  return true;
}

void CInsetScaler::horizontalRow(const BYTE* srcRow, int16_t* out) {
#ifdef LESSONRY_INSET_X86
  if (kernel_ != Kernel::kScalar) {
    const HorizontalSimd t{simdStart_.data(), simdWeights_.data(), simdGroups_, pixelBytes_};
    const HorizontalKernel run = horizontalKernel(kernel_ == Kernel::kAvx2, simdGroups_);
    run(t, srcRow, 0, bodyEnd_, out);
    if (bodyEnd_ < dstWidth_) {
      std::memcpy(tail_.data(), srcRow + tailFrom_, static_cast<size_t>(srcWidth_) * pixelBytes_ - tailFrom_);
      run(t, tail_.data(), bodyEnd_, dstWidth_, out);
    }
    return;
  }
#endif
  const HorizontalTaps t{horizontal_.first.data(), horizontal_.count.data(), horizontal_.weights.data(),
                         horizontal_.stride, pixelBytes_};
  horizontalScalar(t, srcRow, dstWidth_, out);
}

void CInsetScaler::verticalRow(int32_t y, const int16_t* const* rows, BYTE* out) const {
  const int32_t count = vertical_.count[y];
  const int32_t length = 3 * dstWidth_;
  int32_t done = 0;
#ifdef LESSONRY_INSET_X86
  const int32_t* pairs = pairWeights_.data() + static_cast<size_t>(y) * pairStride_;
  if (kernel_ == Kernel::kAvx2) done = verticalAvx2(rows, pairs, count, length, out);
  else if (kernel_ == Kernel::kSse) done = verticalSse2(rows, pairs, count, length, out);
#endif
  verticalScalar(rows, vertical_.weights.data() + static_cast<size_t>(y) * vertical_.stride, count, done, length,
                 out);
}

void CInsetScaler::scale(const BYTE* src, int32_t srcStride, BYTE* dst, int32_t dstStride) {
  if (!configured() || !src || !dst) return;
  // A new picture: nothing in the ring is of it.
  std::fill(ringRow_.begin(), ringRow_.end(), -1);
  for (int32_t y = 0; y < dstHeight_; ++y) {
    const int32_t first = vertical_.first[y], count = vertical_.count[y];
    for (int32_t k = 0; k < count; ++k) {
      const int32_t row = first + k;
      const int32_t slot = row % ringRows_;
      int16_t* line = ring_.data() + static_cast<size_t>(slot) * ringStride_;
      if (ringRow_[slot] != row) {
        horizontalRow(src + static_cast<ptrdiff_t>(row) * srcStride, line);
        ringRow_[slot] = row;
      }
      rowPointers_[k] = line;
    }
    rowPointers_[count] = rowPointers_[count - 1];  // the odd tap's zero-weight partner
    verticalRow(y, rowPointers_.data(), dst + static_cast<ptrdiff_t>(y) * dstStride);
  }
}

}  // namespace lessonry::capture
