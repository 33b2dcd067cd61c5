// SSSE3 and AVX2 forms of the row kernels (picture_kernels.h).
//
// Every form computes exactly the scalar formulas: the products of an 8-bit
// value and a weight of at most 256 add up to at most 255 * 256 = 65280, so
// the sums fit 16-bit lanes and a logical shift by 8 gives the scalar result.
// The functions carry their instruction set as a target attribute; callers
// reach them only through kernelsFor after a processor check. Each loop keeps
// its loads and stores inside the bytes the scalar form would touch, except
// stores into the scratch row that the caller sized with slack.
#if defined(__x86_64__)

#include <immintrin.h>

#include <cstring>

#include "picture_kernels.h"

namespace lessonry::effect::detail {

namespace {

inline int32_t load32(const uint8_t* p) {
  int32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

// The first three bytes of each 4-byte group, packed into the low 12 bytes.
#define LESSONRY_COMPACT_3_OF_4 _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1)

// (a * (256 - w) + b * w) >> 8 on 16-bit lanes.
__attribute__((target("ssse3"))) inline __m128i lerp16(__m128i a, __m128i b, __m128i w) {
  const __m128i inverse = _mm_sub_epi16(_mm_set1_epi16(256), w);
  return _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(a, inverse), _mm_mullo_epi16(b, w)), 8);
}

__attribute__((target("avx2"))) inline __m256i lerp16(__m256i a, __m256i b, __m256i w) {
  const __m256i inverse = _mm256_sub_epi16(_mm256_set1_epi16(256), w);
  return _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(a, inverse), _mm256_mullo_epi16(b, w)), 8);
}

void horizontalTail(const uint8_t* row, const int32_t* offset0, const int32_t* offset1, const uint32_t* weight,
                    int32_t from, int32_t count, uint8_t* out) {
  for (int32_t j = from; j < count; ++j) {
    const uint8_t* a = row + offset0[j];
    const uint8_t* b = row + offset1[j];
    const uint32_t fx = weight[j] & 0xFFFF;
    const uint32_t gx = 256 - fx;
    uint8_t* o = out + 3 * j;
    o[0] = static_cast<uint8_t>((a[0] * gx + b[0] * fx) >> 8);
    o[1] = static_cast<uint8_t>((a[1] * gx + b[1] * fx) >> 8);
    o[2] = static_cast<uint8_t>((a[2] * gx + b[2] * fx) >> 8);
  }
}

// Four columns per step: the two samples of each column as 4-byte groups,
// their 16-bit weights by interleaving the doubled weights, and the three
// colour bytes of each result packed together. The 16-byte store writes 4
// bytes past the 12 it fills; the next step or the slack takes them.
__attribute__((target("ssse3"))) void horizontalSsse3(const uint8_t* row, const int32_t* offset0,
                                                       const int32_t* offset1, const uint32_t* weight,
                                                       int32_t count, int32_t wideCount, uint8_t* out) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i compact = LESSONRY_COMPACT_3_OF_4;
  int32_t j = 0;
  for (; j + 4 <= wideCount; j += 4) {
    const __m128i a = _mm_setr_epi32(load32(row + offset0[j]), load32(row + offset0[j + 1]),
                                     load32(row + offset0[j + 2]), load32(row + offset0[j + 3]));
    const __m128i b = _mm_setr_epi32(load32(row + offset1[j]), load32(row + offset1[j + 1]),
                                     load32(row + offset1[j + 2]), load32(row + offset1[j + 3]));
    const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(weight + j));
    const __m128i low = lerp16(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero), _mm_unpacklo_epi32(w, w));
    const __m128i high = lerp16(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero), _mm_unpackhi_epi32(w, w));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * j),
                     _mm_shuffle_epi8(_mm_packus_epi16(low, high), compact));
  }
  horizontalTail(row, offset0, offset1, weight, j, count, out);
}

// Eight columns per step, as the SSSE3 form in both 128-bit lanes.
__attribute__((target("avx2"))) void horizontalAvx2(const uint8_t* row, const int32_t* offset0,
                                                     const int32_t* offset1, const uint32_t* weight, int32_t count,
                                                     int32_t wideCount, uint8_t* out) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i compact = _mm256_broadcastsi128_si256(LESSONRY_COMPACT_3_OF_4);
  int32_t j = 0;
  for (; j + 8 <= wideCount; j += 8) {
    const __m256i a = _mm256_setr_epi32(load32(row + offset0[j]), load32(row + offset0[j + 1]),
                                        load32(row + offset0[j + 2]), load32(row + offset0[j + 3]),
                                        load32(row + offset0[j + 4]), load32(row + offset0[j + 5]),
                                        load32(row + offset0[j + 6]), load32(row + offset0[j + 7]));
    const __m256i b = _mm256_setr_epi32(load32(row + offset1[j]), load32(row + offset1[j + 1]),
                                        load32(row + offset1[j + 2]), load32(row + offset1[j + 3]),
                                        load32(row + offset1[j + 4]), load32(row + offset1[j + 5]),
                                        load32(row + offset1[j + 6]), load32(row + offset1[j + 7]));
    const __m256i w = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(weight + j));
    const __m256i low =
        lerp16(_mm256_unpacklo_epi8(a, zero), _mm256_unpacklo_epi8(b, zero), _mm256_unpacklo_epi32(w, w));
    const __m256i high =
        lerp16(_mm256_unpackhi_epi8(a, zero), _mm256_unpackhi_epi8(b, zero), _mm256_unpackhi_epi32(w, w));
    const __m256i packed = _mm256_shuffle_epi8(_mm256_packus_epi16(low, high), compact);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * j), _mm256_castsi256_si128(packed));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * j + 12), _mm256_extracti128_si256(packed, 1));
  }
  horizontalSsse3(row, offset0 + j, offset1 + j, weight + j, count - j, wideCount - j, out + 3 * j);
}

void verticalTail(const uint8_t* top, const uint8_t* bottom, uint32_t fy, int32_t from, int32_t bytes,
                  uint8_t* out) {
  const uint32_t gy = 256 - fy;
  for (int32_t n = from; n < bytes; ++n) out[n] = static_cast<uint8_t>((top[n] * gy + bottom[n] * fy) >> 8);
}

__attribute__((target("ssse3"))) void verticalSsse3(const uint8_t* top, const uint8_t* bottom, uint32_t fy,
                                                     int32_t bytes, uint8_t* out) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i w = _mm_set1_epi16(static_cast<int16_t>(fy));
  int32_t n = 0;
  for (; n + 16 <= bytes; n += 16) {
    const __m128i t = _mm_loadu_si128(reinterpret_cast<const __m128i*>(top + n));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bottom + n));
    const __m128i low = lerp16(_mm_unpacklo_epi8(t, zero), _mm_unpacklo_epi8(b, zero), w);
    const __m128i high = lerp16(_mm_unpackhi_epi8(t, zero), _mm_unpackhi_epi8(b, zero), w);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + n), _mm_packus_epi16(low, high));
  }
  verticalTail(top, bottom, fy, n, bytes, out);
}

__attribute__((target("avx2"))) void verticalAvx2(const uint8_t* top, const uint8_t* bottom, uint32_t fy,
                                                   int32_t bytes, uint8_t* out) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i w = _mm256_set1_epi16(static_cast<int16_t>(fy));
  int32_t n = 0;
  for (; n + 32 <= bytes; n += 32) {
    const __m256i t = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(top + n));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bottom + n));
    const __m256i low = lerp16(_mm256_unpacklo_epi8(t, zero), _mm256_unpacklo_epi8(b, zero), w);
    const __m256i high = lerp16(_mm256_unpackhi_epi8(t, zero), _mm256_unpackhi_epi8(b, zero), w);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + n), _mm256_packus_epi16(low, high));
  }
  verticalSsse3(top + n, bottom + n, fy, bytes - n, out + n);
}

void blendTail(uint8_t* target, const uint8_t* source, const uint8_t* alpha, int32_t from, int32_t pixels,
               bool copyOpaque) {
  for (int32_t p = from; p < pixels; ++p) {
    const uint32_t a = alpha[p];
    uint8_t* t = target + 3 * p;
    const uint8_t* s = source + 3 * p;
    if (a == 0) continue;
    if (a == 255 && copyOpaque) {
      t[0] = s[0];
      t[1] = s[1];
      t[2] = s[2];
      continue;
    }
    const uint32_t b = 256 - a;
    t[0] = static_cast<uint8_t>((s[0] * a + t[0] * b) >> 8);
    t[1] = static_cast<uint8_t>((s[1] * a + t[1] * b) >> 8);
    t[2] = static_cast<uint8_t>((s[2] * a + t[2] * b) >> 8);
  }
}

// Sixteen pixels (48 bytes) per step: the sixteen alpha bytes are spread to
// one per colour byte with three shuffles. Alpha 0 needs no test: the formula
// then gives the target byte itself.
__attribute__((target("ssse3"))) void blendSsse3(uint8_t* target, const uint8_t* source, const uint8_t* alpha,
                                                  int32_t pixels, bool copyOpaque) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i opaque = _mm_set1_epi8(static_cast<char>(0xFF));
  const __m128i spread[3] = {
      _mm_setr_epi8(0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5),
      _mm_setr_epi8(5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8, 9, 9, 9, 10, 10),
      _mm_setr_epi8(10, 11, 11, 11, 12, 12, 12, 13, 13, 13, 14, 14, 14, 15, 15, 15),
  };
  int32_t p = 0;
  for (; p + 16 <= pixels; p += 16) {
    const __m128i mask = _mm_loadu_si128(reinterpret_cast<const __m128i*>(alpha + p));
    for (int part = 0; part < 3; ++part) {
      const int32_t at = 3 * p + 16 * part;
      const __m128i a = _mm_shuffle_epi8(mask, spread[part]);
      const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + at));
      const __m128i t = _mm_loadu_si128(reinterpret_cast<const __m128i*>(target + at));
      const __m128i low = lerp16(_mm_unpacklo_epi8(t, zero), _mm_unpacklo_epi8(s, zero), _mm_unpacklo_epi8(a, zero));
      const __m128i high =
          lerp16(_mm_unpackhi_epi8(t, zero), _mm_unpackhi_epi8(s, zero), _mm_unpackhi_epi8(a, zero));
      __m128i result = _mm_packus_epi16(low, high);
      if (copyOpaque) {
        const __m128i take = _mm_cmpeq_epi8(a, opaque);
        result = _mm_or_si128(_mm_and_si128(take, s), _mm_andnot_si128(take, result));
      }
      _mm_storeu_si128(reinterpret_cast<__m128i*>(target + at), result);
    }
  }
  blendTail(target, source, alpha, p, pixels, copyOpaque);
}

// Four pixels per step; the 16-byte store reaches 4 bytes past the 12 it
// fills, so steps stop while at least two further pixels remain to take them.
__attribute__((target("ssse3"))) void compact32Ssse3(const uint8_t* source, int32_t pixels, uint8_t* out) {
  const __m128i compact = LESSONRY_COMPACT_3_OF_4;
  int32_t p = 0;
  for (; p + 6 <= pixels; p += 4) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + 4 * p));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * p), _mm_shuffle_epi8(v, compact));
  }
  for (; p < pixels; ++p) {
    out[3 * p] = source[4 * p];
    out[3 * p + 1] = source[4 * p + 1];
    out[3 * p + 2] = source[4 * p + 2];
  }
}

const RowKernels kSsse3{horizontalSsse3, verticalSsse3, blendSsse3, compact32Ssse3};
const RowKernels kAvx2{horizontalAvx2, verticalAvx2, blendSsse3, compact32Ssse3};

}  // namespace

const RowKernels* ssse3Kernels() { return &kSsse3; }
const RowKernels* avx2Kernels() { return &kAvx2; }

}  // namespace lessonry::effect::detail

#endif  // __x86_64__
