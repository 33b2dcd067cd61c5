#include "logo.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>

#include "base/trace.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

namespace lessonry::capture {

// The PNG compiled into the library (generated from resources/logo.png).
extern const unsigned char kLogoPng[];
extern const std::size_t kLogoPng_size;

LogoRect logoRect(int32_t referenceWidth, int32_t frameWidth) {
  int32_t w = referenceWidth * 124 / 1024;
  w = (w + 3) / 4 * 4;
  if (w > 124) w = 124;
  if (w < 0) w = 0;
  const int32_t h = w * 46 / 124;
  return LogoRect{frameWidth - w - 3, h / 3, w, h};
}

namespace {

struct CodecContextFree {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFree {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFree {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwsFree {
  void operator()(SwsContext* s) const { sws_freeContext(s); }
};

constexpr size_t kMarkBytes = static_cast<size_t>(CLogo::kWidth) * CLogo::kHeight * 4;

// x / 255 rounded to nearest, exact for 0 <= x <= 255 * 255 + 255.
constexpr uint32_t div255(uint32_t x) { return (x + 128 + ((x + 128) >> 8)) >> 8; }

// Decodes a PNG into 124 x 46 B, G, R, A (straight alpha); empty when the
// data is not such a picture. Traces why.
std::vector<BYTE> decodeMark(const BYTE* png, size_t size) {
  if (!png || size == 0 || size > static_cast<size_t>(INT_MAX) - AV_INPUT_BUFFER_PADDING_SIZE) {
    trace("CLogo: no PNG data (%zu bytes)", size);
    return {};
  }
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_PNG);
  if (!codec) {
    trace("CLogo: libavcodec has no PNG decoder");
    return {};
  }
  std::unique_ptr<AVCodecContext, CodecContextFree> context(avcodec_alloc_context3(codec));
  std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
  std::unique_ptr<AVFrame, FrameFree> frame(av_frame_alloc());
  if (!context || !packet || !frame) {
    trace("CLogo: out of memory for the PNG decoder");
    return {};
  }
  if (avcodec_open2(context.get(), codec, nullptr) < 0) {
    trace("CLogo: cannot open the PNG decoder");
    return {};
  }
  // The decoder reads past the end by up to the padding: copy into a padded packet.
  if (av_new_packet(packet.get(), static_cast<int>(size)) < 0) {
    trace("CLogo: out of memory for the PNG packet");
    return {};
  }
  std::memcpy(packet->data, png, size);
  int status = avcodec_send_packet(context.get(), packet.get());
  if (status >= 0) status = avcodec_send_packet(context.get(), nullptr);  // drain: the one picture is out
  if (status >= 0) status = avcodec_receive_frame(context.get(), frame.get());
  if (status < 0) {
    trace("CLogo: the PNG does not decode (error %d)", status);
    return {};
  }
  if (frame->width != CLogo::kWidth || frame->height != CLogo::kHeight) {
    trace("CLogo: the PNG is %d x %d, not %d x %d", frame->width, frame->height, CLogo::kWidth, CLogo::kHeight);
    return {};
  }

  std::vector<BYTE> mark(kMarkBytes);
  constexpr int kRowBytes = CLogo::kWidth * 4;
  const auto format = static_cast<AVPixelFormat>(frame->format);
  if (format == AV_PIX_FMT_RGBA) {
    // The usual case for a PNG with transparency: swap R and B.
    for (int y = 0; y < CLogo::kHeight; ++y) {
      const uint8_t* s = frame->data[0] + static_cast<ptrdiff_t>(y) * frame->linesize[0];
      BYTE* d = mark.data() + static_cast<size_t>(y) * kRowBytes;
      for (int x = 0; x < CLogo::kWidth; ++x, s += 4, d += 4) {
        d[0] = s[2];
        d[1] = s[1];
        d[2] = s[0];
        d[3] = s[3];
      }
    }
    return mark;
  }
  // Any other PNG layout (grey, palette, RGB, 16 bits): libswscale at the same size.
  std::unique_ptr<SwsContext, SwsFree> sws(sws_getContext(CLogo::kWidth, CLogo::kHeight, format, CLogo::kWidth,
                                                          CLogo::kHeight, AV_PIX_FMT_BGRA,
                                                          SWS_POINT | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT,
                                                          nullptr, nullptr, nullptr));
  if (!sws) {
    trace("CLogo: cannot convert the PNG's %s pixels", av_get_pix_fmt_name(format) ? av_get_pix_fmt_name(format) : "?");
    return {};
  }
  uint8_t* dst[4] = {mark.data(), nullptr, nullptr, nullptr};
  const int dstStride[4] = {kRowBytes, 0, 0, 0};
  if (sws_scale(sws.get(), frame->data, frame->linesize, 0, CLogo::kHeight, dst, dstStride) != CLogo::kHeight) {
    trace("CLogo: converting the PNG's pixels failed");
    return {};
  }
  return mark;
}

// Resampling weights are fixed point with kWeightBits fraction bits; each
// output sample's weights add up to exactly kWeightOne, so a constant input
// stays that constant and the same size is a plain copy.
constexpr int kWeightBits = 14;
constexpr int32_t kWeightOne = 1 << kWeightBits;

// The cubic convolution kernel with a = -0.5 (Catmull-Rom): 1 at 0, 0 at
// the other integers, support |x| < 2.
double cubic(double x) {
  x = std::fabs(x);
  if (x < 1.0) return (1.5 * x - 2.5) * x * x + 1.0;
  if (x < 2.0) return ((-0.5 * x + 2.5) * x - 4.0) * x + 2.0;
  return 0.0;
}

// The source samples and weights that make output sample i.
struct Contribution {
  int32_t first = 0;             // first source index
  std::vector<int32_t> weights;  // one per source index from first on
};

// Weights of a 1-D resampling of src samples to dst samples. Sample centres
// line up (output i at source (i + 0.5) * src / dst - 0.5). Shrinking widens
// the kernel by the reduction factor, so it averages over the source
// pixels an output pixel covers instead of skipping them. Taps that fall
// outside the source are dropped and the rest normalised.
std::vector<Contribution> contributions(int32_t src, int32_t dst) {
  std::vector<Contribution> table(static_cast<size_t>(dst));
  const double scale = static_cast<double>(src) / dst;
  const double stretch = std::max(1.0, scale);  // kernel widening when shrinking
  const double support = 2.0 * stretch;         // source pixels on each side
  std::vector<double> w;
  for (int32_t i = 0; i < dst; ++i) {
    const double centre = (i + 0.5) * scale - 0.5;
    const int32_t lo = std::max<int32_t>(0, static_cast<int32_t>(std::floor(centre - support)) + 1);
    const int32_t hi = std::min<int32_t>(src - 1, static_cast<int32_t>(std::ceil(centre + support)) - 1);
    w.clear();
    double sum = 0;
    for (int32_t j = lo; j <= hi; ++j) {
      w.push_back(cubic((j - centre) / stretch));
      sum += w.back();
    }
    Contribution& c = table[static_cast<size_t>(i)];
    if (w.empty() || sum <= 0.0) {  // not reached for the cubic; nearest sample then
      c.first = std::clamp(static_cast<int32_t>(std::lround(centre)), 0, src - 1);
      c.weights = {kWeightOne};
      continue;
    }
    c.first = lo;
    c.weights.resize(w.size());
    int32_t total = 0;
    size_t largest = 0;
    for (size_t k = 0; k < w.size(); ++k) {
      c.weights[k] = static_cast<int32_t>(std::lround(w[k] / sum * kWeightOne));
      total += c.weights[k];
      if (c.weights[k] > c.weights[largest]) largest = k;
    }
    c.weights[largest] += kWeightOne - total;  // rounding remainder to the centre tap
  }
  return table;
}

// Resamples a B, G, R, A (premultiplied) picture; the result's colour never
// exceeds its alpha. At the same size it is an exact copy: the kernel is 1 at
// the sample itself and 0 at its neighbours.
std::vector<BYTE> resample(const std::vector<BYTE>& premul, int32_t srcWidth, int32_t srcHeight, int32_t dstWidth,
                           int32_t dstHeight) {
  const std::vector<Contribution> columns = contributions(srcWidth, dstWidth);
  const std::vector<Contribution> rows = contributions(srcHeight, dstHeight);

  // Across first: every source row at the output width, kept at full
  // precision (scaled by kWeightOne) for the second pass.
  std::vector<int32_t> across(static_cast<size_t>(srcHeight) * dstWidth * 4);
  for (int32_t y = 0; y < srcHeight; ++y) {
    const BYTE* srcRow = premul.data() + static_cast<size_t>(y) * srcWidth * 4;
    int32_t* out = across.data() + static_cast<size_t>(y) * dstWidth * 4;
    for (int32_t x = 0; x < dstWidth; ++x, out += 4) {
      const Contribution& c = columns[static_cast<size_t>(x)];
      int32_t sum[4] = {0, 0, 0, 0};
      const BYTE* s = srcRow + static_cast<size_t>(c.first) * 4;
      for (const int32_t weight : c.weights) {
        for (int k = 0; k < 4; ++k) sum[k] += weight * s[k];
        s += 4;
      }
      std::copy(sum, sum + 4, out);
    }
  }

  // Then down, rounding the doubly scaled sums back to 8 bits.
  std::vector<BYTE> placed(static_cast<size_t>(dstWidth) * dstHeight * 4);
  const size_t acrossRow = static_cast<size_t>(dstWidth) * 4;
  constexpr int kShift = 2 * kWeightBits;
  constexpr int64_t kHalf = int64_t{1} << (kShift - 1);
  for (int32_t y = 0; y < dstHeight; ++y) {
    const Contribution& c = rows[static_cast<size_t>(y)];
    BYTE* out = placed.data() + static_cast<size_t>(y) * acrossRow;
    for (size_t i = 0; i < acrossRow; i += 4) {
      int64_t sum[4] = {0, 0, 0, 0};
      const int32_t* s = across.data() + static_cast<size_t>(c.first) * acrossRow + i;
      for (const int32_t weight : c.weights) {
        for (int k = 0; k < 4; ++k) sum[k] += static_cast<int64_t>(weight) * s[k];
        s += acrossRow;
      }
      int32_t v[4];
      for (int k = 0; k < 4; ++k) v[k] = static_cast<int32_t>(std::clamp<int64_t>((sum[k] + kHalf) >> kShift, 0, 255));
      // The cubic's negative lobes can ring colour above alpha; premultiplied colour cannot exceed it.
      for (int k = 0; k < 3; ++k) out[i + k] = static_cast<BYTE>(std::min(v[k], v[3]));
      out[i + 3] = static_cast<BYTE>(v[3]);
    }
  }
  return placed;
}

}  // namespace

bool CLogo::load() { return loadPng(kLogoPng, kLogoPng_size); }

bool CLogo::loadPng(const BYTE* png, size_t size) {
  // A new mark needs placing anew; a refused one leaves nothing to draw.
  placed_.clear();
  rect_ = LogoRect{0, 0, 0, 0};
  mark_ = decodeMark(png, size);
  return !mark_.empty();
}

void CLogo::place(int32_t referenceWidth, int32_t frameWidth) {
  rect_ = logoRect(referenceWidth, frameWidth);
  placed_.clear();
  if (mark_.empty() || rect_.width <= 0 || rect_.height <= 0) return;
  // Premultiply first, so that the colour of transparent pixels does not
  // bleed into their visible neighbours.
  std::vector<BYTE> premul(mark_.size());
  for (size_t i = 0; i < mark_.size(); i += 4) {
    const uint32_t a = mark_[i + 3];
    for (size_t k = 0; k < 3; ++k) premul[i + k] = static_cast<BYTE>(div255(mark_[i + k] * a));
    premul[i + 3] = static_cast<BYTE>(a);
  }
  placed_ = resample(premul, kWidth, kHeight, rect_.width, rect_.height);
}

void CLogo::draw(BYTE* picture, int32_t width, int32_t height, int32_t stride) const {
  if (!picture || placed_.empty()) return;
  // The part of the rectangle inside the picture; a narrow frame puts x below 0.
  const int32_t x0 = std::max(rect_.x, 0);
  const int32_t x1 = std::min(rect_.x + rect_.width, width);
  const int32_t y0 = std::max(rect_.y, 0);
  const int32_t y1 = std::min(rect_.y + rect_.height, height);
  if (x0 >= x1 || y0 >= y1) return;
  const size_t placedRow = static_cast<size_t>(rect_.width) * 4;
  for (int32_t y = y0; y < y1; ++y) {
    const BYTE* s =
        placed_.data() + static_cast<size_t>(y - rect_.y) * placedRow + static_cast<size_t>(x0 - rect_.x) * 4;
    BYTE* d = picture + static_cast<ptrdiff_t>(y) * stride + static_cast<ptrdiff_t>(x0) * 3;
    for (int32_t x = x0; x < x1; ++x, s += 4, d += 3) {
      const uint32_t a = s[3];
      if (a == 0) continue;
      // Premultiplied "over": colour + destination * (1 - alpha). Colour <= alpha keeps it within 255.
      const uint32_t keep = 255 - a;
      d[0] = static_cast<BYTE>(s[0] + div255(d[0] * keep));
      d[1] = static_cast<BYTE>(s[1] + div255(d[1] * keep));
      d[2] = static_cast<BYTE>(s[2] + div255(d[2] * keep));
    }
  }
}

}  // namespace lessonry::capture
