// Drawing operations of the effects library and the scalar row kernels.
//
// Operations clip to the target, build per-column tables once per call and
// hand rows to the kernels of the active instruction set. Bilinear scaling
// interpolates each source row horizontally once and keeps the last two such
// rows, so an enlarging scale does the horizontal work once per source row
// rather than once per target row; the result is the same because the
// horizontal value depends only on the source row and the column.
#include "picture_kernels.h"

#include <algorithm>
#include <cstring>

namespace lessonry::effect {

namespace detail {
const RowKernels* ssse3Kernels();
const RowKernels* avx2Kernels();
}  // namespace detail

namespace {

template <typename T>
T* grown(std::vector<T>& buffer, size_t count) {
  if (buffer.size() < count) buffer.resize(count);
  return buffer.data();
}

void horizontalScalar(const uint8_t* row, const int32_t* offset0, const int32_t* offset1, const uint32_t* weight,
                      int32_t count, int32_t /*wideCount*/, uint8_t* out) {
  for (int32_t j = 0; j < count; ++j) {
    const uint8_t* a = row + offset0[j];
    const uint8_t* b = row + offset1[j];
    const uint32_t fx = weight[j] & 0xFFFF;
    const uint32_t gx = 256 - fx;
    out[0] = static_cast<uint8_t>((a[0] * gx + b[0] * fx) >> 8);
    out[1] = static_cast<uint8_t>((a[1] * gx + b[1] * fx) >> 8);
    out[2] = static_cast<uint8_t>((a[2] * gx + b[2] * fx) >> 8);
    out += 3;
  }
}

void verticalScalar(const uint8_t* top, const uint8_t* bottom, uint32_t fy, int32_t bytes, uint8_t* out) {
  const uint32_t gy = 256 - fy;
  for (int32_t n = 0; n < bytes; ++n) out[n] = static_cast<uint8_t>((top[n] * gy + bottom[n] * fy) >> 8);
}

void blendScalar(uint8_t* target, const uint8_t* source, const uint8_t* alpha, int32_t pixels, bool copyOpaque) {
  for (int32_t p = 0; p < pixels; ++p, target += 3, source += 3) {
    const uint32_t a = alpha[p];
    if (a == 0) continue;
    if (a == 255 && copyOpaque) {
      target[0] = source[0];
      target[1] = source[1];
      target[2] = source[2];
      continue;
    }
    const uint32_t b = 256 - a;
    target[0] = static_cast<uint8_t>((source[0] * a + target[0] * b) >> 8);
    target[1] = static_cast<uint8_t>((source[1] * a + target[1] * b) >> 8);
    target[2] = static_cast<uint8_t>((source[2] * a + target[2] * b) >> 8);
  }
}

void compact32Scalar(const uint8_t* source, int32_t pixels, uint8_t* out) {
  for (int32_t p = 0; p < pixels; ++p, source += 4, out += 3) {
    out[0] = source[0];
    out[1] = source[1];
    out[2] = source[2];
  }
}

const RowKernels kScalar{horizontalScalar, verticalScalar, blendScalar, compact32Scalar};

bool usable(const SourceView& s) {
  return s.bits && s.width > 0 && s.height > 0 && (s.pixelSize == 3 || s.pixelSize == 4);
}
bool usable(const TargetView& t) { return t.bits && t.width > 0 && t.height > 0; }

const uint8_t* sourceRow(const SourceView& s, int64_t row) { return s.bits + row * s.stride; }
uint8_t* targetRow(const TargetView& t, int64_t row) { return t.bits + row * t.stride; }

// A source row as 24-bit pixels: the row itself, or its compacted copy.
const uint8_t* row24(const SourceView& s, int64_t row, int32_t pixels, DrawScratch& scratch,
                     const RowKernels& kernels) {
  const uint8_t* bits = sourceRow(s, row);
  if (s.pixelSize == 3) return bits;
  uint8_t* line = grown(scratch.line, static_cast<size_t>(pixels) * 3);
  kernels.compact32(bits, pixels, line);
  return line;
}

}  // namespace

bool isaAvailable(Isa isa) {
  switch (isa) {
    case Isa::Scalar:
      return true;
#if defined(__x86_64__)
    case Isa::Ssse3:
      return __builtin_cpu_supports("ssse3");
    case Isa::Avx2:
      return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("ssse3");
#endif
    default:
      return false;
  }
}

const RowKernels& kernelsFor(Isa isa) {
#if defined(__x86_64__)
  if (isa == Isa::Avx2 && isaAvailable(Isa::Avx2)) return *detail::avx2Kernels();
  if (isa == Isa::Ssse3 && isaAvailable(Isa::Ssse3)) return *detail::ssse3Kernels();
#else
  (void)isa;
#endif
  return kScalar;
}

const RowKernels& activeKernels() {
  static const RowKernels& chosen = isaAvailable(Isa::Avx2)    ? kernelsFor(Isa::Avx2)
                                    : isaAvailable(Isa::Ssse3) ? kernelsFor(Isa::Ssse3)
                                                               : kScalar;
  return chosen;
}

int64_t bilinearStep(int64_t sourceSize, int64_t targetSize) {
  return static_cast<int64_t>(static_cast<double>((sourceSize - 1) * 65536) / static_cast<double>(targetSize));
}

void scaleBilinear(const SourceView& s, const TargetView& t, int64_t left, int64_t top, int64_t dw, int64_t dh,
                   DrawScratch& scratch, const RowKernels& kernels) {
  if (!usable(s) || !usable(t) || dw <= 0 || dh <= 0) return;
  const int64_t xStep = bilinearStep(s.width, dw);
  const int64_t yStep = bilinearStep(s.height, dh);
  const int32_t ps = s.pixelSize;

  // Columns of the area inside the target; the last column of the area is
  // copied, the others interpolated.
  const int64_t jBegin = std::max<int64_t>(0, -left);
  const int64_t jEnd = std::min<int64_t>(dw, t.width - left);
  const int64_t iBegin = std::max<int64_t>(0, -top);
  const int64_t iEnd = std::min<int64_t>(dh, t.height - top);
  if (jBegin >= jEnd || iBegin >= iEnd) return;
  const int64_t interpEnd = std::min<int64_t>(jEnd, dw - 1);
  const int32_t count = static_cast<int32_t>(std::max<int64_t>(0, interpEnd - jBegin));
  const bool lastInside = dw - 1 >= jBegin && dw - 1 < jEnd;
  const int64_t lastOffset = (((dw - 1) * xStep) >> 16) * ps;

  int32_t* offset0 = grown(scratch.offset0, static_cast<size_t>(count) + 1);
  int32_t* offset1 = grown(scratch.offset1, static_cast<size_t>(count) + 1);
  uint32_t* weight = grown(scratch.weight, static_cast<size_t>(count) + 1);
  for (int32_t n = 0; n < count; ++n) {
    const int64_t x = (jBegin + n) * xStep;
    const int64_t c = x >> 16;
    // c + 1 passes the last column only for a one-column source, whose
    // weight is then 0: hold it inside the row.
    const int64_t c1 = std::min<int64_t>(c + 1, s.width - 1);
    offset0[n] = static_cast<int32_t>(c * ps);
    offset1[n] = static_cast<int32_t>(c1 * ps);
    weight[n] = static_cast<uint32_t>((x & 0xFFFF) >> 8) * 0x10001u;
  }
  // 4-byte loads stay inside the row's pixels for these leading columns.
  const int64_t rowBytes = static_cast<int64_t>(s.width) * ps;
  int32_t wideCount = count;
  while (wideCount > 0 && offset1[wideCount - 1] + 4 > rowBytes) --wideCount;

  const size_t rowSize = static_cast<size_t>(count) * 3 + 16;
  uint8_t* slot[2] = {grown(scratch.rows[0], rowSize), grown(scratch.rows[1], rowSize)};
  int64_t tag[2] = {-1, -1};
  // The interpolated source row k, computed into the slot that does not hold
  // the row still needed (keep); rows only move forward, so the other slot
  // holds the older row.
  auto interpolated = [&](int64_t k, int64_t keep) -> const uint8_t* {
    if (tag[0] == k) return slot[0];
    if (tag[1] == k) return slot[1];
    const int victim = tag[0] == keep ? 1 : tag[1] == keep ? 0 : (tag[0] < tag[1] ? 0 : 1);
    kernels.horizontal(sourceRow(s, k), offset0, offset1, weight, count, wideCount, slot[victim]);
    tag[victim] = k;
    return slot[victim];
  };

  const size_t bytes = static_cast<size_t>(count) * 3;
  for (int64_t i = iBegin; i < iEnd; ++i) {
    const int64_t y = i * yStep;
    const int64_t k = y >> 16;
    const uint32_t fy = static_cast<uint32_t>((y & 0xFFFF) >> 8);
    uint8_t* out = targetRow(t, top + i) + (left + jBegin) * 3;
    if (count > 0) {
      const uint8_t* upper = interpolated(k, -1);
      if (fy == 0) {
        // (top * 256 + bottom * 0) >> 8 is the top row itself.
        std::memcpy(out, upper, bytes);
      } else {
        const uint8_t* lower = interpolated(std::min<int64_t>(k + 1, s.height - 1), k);
        kernels.vertical(upper, lower, fy, static_cast<int32_t>(bytes), out);
      }
    }
    if (lastInside) {
      const uint8_t* pixel = sourceRow(s, k) + lastOffset;
      uint8_t* last = targetRow(t, top + i) + (left + dw - 1) * 3;
      last[0] = pixel[0];
      last[1] = pixel[1];
      last[2] = pixel[2];
    }
  }
}

void copyPicture(const SourceView& s, const TargetView& t, int64_t x, int64_t y, const RowKernels& kernels) {
  if (!usable(s) || !usable(t)) return;
  const int64_t colBegin = std::max<int64_t>(0, -x);
  const int64_t colEnd = std::min<int64_t>(s.width, t.width - x);
  const int64_t rowBegin = std::max<int64_t>(0, -y);
  const int64_t rowEnd = std::min<int64_t>(s.height, t.height - y);
  if (colBegin >= colEnd || rowBegin >= rowEnd) return;
  const int32_t pixels = static_cast<int32_t>(colEnd - colBegin);
  for (int64_t r = rowBegin; r < rowEnd; ++r) {
    const uint8_t* from = sourceRow(s, r) + colBegin * s.pixelSize;
    uint8_t* to = targetRow(t, y + r) + (x + colBegin) * 3;
    if (s.pixelSize == 3)
      std::memcpy(to, from, static_cast<size_t>(pixels) * 3);
    else
      kernels.compact32(from, pixels, to);
  }
}

void blendSameSize(const SourceView& s, const TargetView& t, const uint8_t* mask, size_t maskSize,
                   DrawScratch& scratch, const RowKernels& kernels) {
  if (!usable(s) || !usable(t) || !mask) return;
  const int32_t pixels = std::min(s.width, t.width);
  const int32_t rows = std::min(s.height, t.height);
  for (int32_t r = 0; r < rows; ++r) {
    const size_t maskAt = static_cast<size_t>(r) * static_cast<size_t>(t.width);
    if (maskAt + static_cast<size_t>(pixels) > maskSize) return;
    const uint8_t* from = row24(s, r, pixels, scratch, kernels);
    uint8_t* to = targetRow(t, r);
    const uint8_t* alpha = mask + maskAt;
    kernels.blend(to, from, alpha, pixels - 1, true);
    // The last pixel of a row is blended even when opaque.
    const int32_t last = pixels - 1;
    kernels.blend(to + last * 3, from + last * 3, alpha + last, 1, false);
  }
}

void blendStretch(const SourceView& s, const TargetView& t, const uint8_t* mask, size_t maskSize,
                  DrawScratch& scratch, const RowKernels& kernels) {
  if (!usable(s) || !usable(t) || !mask) return;
  if (static_cast<size_t>(t.width) * static_cast<size_t>(t.height) > maskSize) return;
  const int64_t xStep = (static_cast<int64_t>(s.width) * 65536) / t.width + 1;
  const int64_t yStep = (static_cast<int64_t>(s.height) * 65536) / t.height + 1;
  int32_t* column = grown(scratch.offset0, static_cast<size_t>(t.width));
  for (int32_t j = 0; j < t.width; ++j)
    column[j] = static_cast<int32_t>(std::min<int64_t>((j * xStep) >> 16, s.width - 1) * s.pixelSize);
  uint8_t* line = grown(scratch.line, static_cast<size_t>(t.width) * 3);
  for (int32_t i = 0; i < t.height; ++i) {
    const uint8_t* from = sourceRow(s, std::min<int64_t>((i * yStep) >> 16, s.height - 1));
    for (int32_t j = 0; j < t.width; ++j) {
      const uint8_t* pixel = from + column[j];
      line[3 * j] = pixel[0];
      line[3 * j + 1] = pixel[1];
      line[3 * j + 2] = pixel[2];
    }
    kernels.blend(targetRow(t, i), line, mask + static_cast<size_t>(i) * t.width, t.width, false);
  }
}

}  // namespace lessonry::effect
