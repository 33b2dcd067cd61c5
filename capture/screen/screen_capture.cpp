// CScreenCapture: capture, 32-to-24-bit conversion and region cut of the
// recorder's screen picture. No locks are taken here (see the header for
// which thread calls what).
#include "screen_capture.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <thread>

extern "C" {
#include <libavutil/buffer.h>
#include <libavutil/frame.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <opencv2/core.hpp>

#include "base/picture_format.h"
#include "base/trace.h"
#include "ruveza.h"

namespace lessonry {

namespace {

int32_t saturate(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

// Widths of recorded pictures are multiples of 4 (so 24-bit rows carry no padding).
int32_t roundUp4(int32_t v) { return v > 0 ? saturate((static_cast<int64_t>(v) + 3) / 4 * 4) : v; }

int32_t absolute(int32_t v) { return v == std::numeric_limits<int32_t>::min() ? 0 : std::abs(v); }

size_t imageSize24(int32_t width, int32_t height) {
  if (width <= 0 || height <= 0) return 0;
  return static_cast<size_t>(dibStride(width, 24)) * static_cast<size_t>(height);
}

// The release of a picture lent to the scaler: the caller owns it.
void lendNoFree(void*, uint8_t*) {}

// Slice threads for the conversion: it is bound by memory bandwidth, which a
// second core nearly doubles; more than four gain nothing on a 1080-row picture.
int scalerThreads() {
  const unsigned cores = std::thread::hardware_concurrency();
  return static_cast<int>(std::clamp(cores, 1u, 4u));
}

// Bytes blue, green, red, pad read as R, G, B, A and written as R, G, B:
// dropping A keeps B, G, R. Same size on both sides, so this only converts.
SwsContext* makeScaler(int32_t width, int32_t height) {
  SwsContext* context = sws_alloc_context();
  if (!context) return nullptr;
  const bool set = av_opt_set_int(context, "srcw", width, 0) >= 0 && av_opt_set_int(context, "srch", height, 0) >= 0 &&
                   av_opt_set_int(context, "src_format", AV_PIX_FMT_RGBA, 0) >= 0 &&
                   av_opt_set_int(context, "dstw", width, 0) >= 0 && av_opt_set_int(context, "dsth", height, 0) >= 0 &&
                   av_opt_set_int(context, "dst_format", AV_PIX_FMT_RGB24, 0) >= 0 &&
                   av_opt_set_int(context, "sws_flags", SWS_BICUBIC, 0) >= 0 &&
                   av_opt_set_int(context, "threads", scalerThreads(), 0) >= 0;
  if (!set || sws_init_context(context, nullptr, nullptr) < 0) {
    sws_freeContext(context);
    return nullptr;
  }
  return context;
}

}  // namespace

const VgaFunctions& VgaFunctions::ruveza() {
  static const VgaFunctions functions{&VGACreate,      &VGAStartUp,  &VGAGetBitmapInfo,
                                      &VGACaptureScreen, &VGAShutDown, &VGADelete};
  return functions;
}

void CScreenCapture::SwsDeleter::operator()(SwsContext* context) const { sws_freeContext(context); }
void CScreenCapture::FrameDeleter::operator()(AVFrame* frame) const { av_frame_free(&frame); }

int64_t CScreenCapture::pack(int32_t a, int32_t b) {
  return static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(a)) << 32) | static_cast<uint32_t>(b));
}

void CScreenCapture::unpack(int64_t packed, int32_t* a, int32_t* b) {
  *a = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(packed) >> 32));
  *b = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(packed)));
}

CScreenCapture::CScreenCapture(const VgaFunctions& vga)
    : vga_(vga), srcFrame_(av_frame_alloc()), dstFrame_(av_frame_alloc()) {
  handle_ = vga_.create();
  vga_.startUp(handle_, 0);  // result ignored: a failure shows as missing pictures
  screenHeader_ = vga_.getBitmapInfo(handle_);
  // Until SetCompositeMode takes its copy, the format is the header as read here.
  if (screenHeader_) screenFormat_ = *screenHeader_;
  const Size screen = screenSize();
  regionSize_.store(pack(screen.width, screen.height));
}

CScreenCapture::~CScreenCapture() {
  vga_.shutDown(handle_);
  vga_.destroy(handle_);
}

void CScreenCapture::SendVGACutRect(long px, long py, long pw, long ph, BOOL bAll) {
  int32_t w = 0, h = 0;
  if (screenHeader_) {
    w = absolute(screenHeader_->biWidth);
    h = absolute(screenHeader_->biHeight);
  }
  const int32_t width = saturate(pw), height = saturate(ph);
  int32_t x = saturate(px), y = saturate(py);
  if (static_cast<int64_t>(x) + width >= w) x = saturate(static_cast<int64_t>(w) - width);
  if (static_cast<int64_t>(y) + height >= h) y = saturate(static_cast<int64_t>(h) - height);

  latestOrigin_.store(pack(x, y));
  latestSize_.store(pack(width, height));

  if (regionSet_.load() == 0) {
    if (!bAll) {
      // Size before the flags: a tick that sees region recording finds the region's size.
      regionPosition_.store(pack(x, y));
      regionSize_.store(pack(roundUp4(width), height));
      regionSet_.store(1);
    }
    fullScreen_.store(bAll ? 1 : 0);
  }
}

void CScreenCapture::requestScreen32() {
  fixedKind_.store(fullScreen() ? 1 : 0);
  if (!screenHeader_) return;
  screenFormat_ = *screenHeader_;
  screenHeader_->biBitCount = 32;
}

bool CScreenCapture::capturesWholeScreen() const {
  const int32_t kind = fixedKind_.load();
  return kind < 0 ? fullScreen() : kind != 0;
}

void CScreenCapture::resetRegion() {
  fixedKind_.store(-1);
  regionSet_.store(0);
  regionPosition_.store(pack(0, 0));
}

CScreenCapture::Size CScreenCapture::screenSize() const {
  return {absolute(screenFormat_.biWidth), absolute(screenFormat_.biHeight)};
}

CScreenCapture::Size CScreenCapture::encodeSize() const { return partSize(capturesWholeScreen()); }

CScreenCapture::Size CScreenCapture::partSize(bool wholeScreen) const {
  if (!wholeScreen) {
    const Rect r = region();
    return {roundUp4(r.width), r.height};
  }
  return screenSize();
}

size_t CScreenCapture::encodeImageSize() const {
  const Size s = encodeSize();
  return imageSize24(s.width, s.height);
}

CScreenCapture::Rect CScreenCapture::region() const {
  Rect r;
  unpack(regionPosition_.load(), &r.x, &r.y);
  unpack(regionSize_.load(), &r.width, &r.height);
  return r;
}

CScreenCapture::Point CScreenCapture::latestOrigin() const {
  Point p;
  unpack(latestOrigin_.load(), &p.x, &p.y);
  return p;
}

CScreenCapture::Size CScreenCapture::latestSize() const {
  Size s;
  unpack(latestSize_.load(), &s.width, &s.height);
  return s;
}

CScreenCapture::Point CScreenCapture::cutPosition() const {
  const Size screen = screenSize();
  const Rect r = region();
  Point p = latestOrigin();
  p.x = std::max(p.x, 0);
  p.y = std::max(p.y, 0);
  // The width rounding can carry a region that ended at the screen's edge a
  // few pixels past it: move it back so that the cut keeps the region's size.
  if (static_cast<int64_t>(p.x) + r.width > screen.width) p.x = std::max(screen.width - r.width, 0);
  if (static_cast<int64_t>(p.y) + r.height > screen.height) p.y = std::max(screen.height - r.height, 0);
  return p;
}

bool CScreenCapture::captureScreen(BYTE* frame, size_t frameSize) {
  const Size size = encodeSize();
  return captureScreenPart(frame, dibStride(std::max(size.width, 0), 24), frameSize, nullptr);
}

bool CScreenCapture::captureScreenPart(BYTE* dst, int32_t dstStride, size_t dstSize, Size* part) {
  // One reading per capture: before requestScreen32 the host may change it meanwhile.
  const bool wholeScreen = capturesWholeScreen();
  const Size size = partSize(wholeScreen);
  if (part) *part = size;
  if (!dst || size.width <= 0 || size.height <= 0 || dstStride < size.width * 3) return false;
  // The last row needs only its pixels, not a whole stride.
  if (dstSize < static_cast<size_t>(dstStride) * (size.height - 1) + static_cast<size_t>(size.width) * 3)
    return false;

  const BYTE* bits = vga_.captureScreen(handle_, 0);
  if (!bits) return false;
  if (!wholeScreen) return cut(bits, size, dst, dstStride);
  const Size screen = screenSize();
  // The pixels are 32-bit whatever depth the copy shows: that is what the
  // 32-bit request asked for.
  return convert(bits, dibStride(screen.width, 32), screen.width, screen.height, dst, dstStride);
}

bool CScreenCapture::convert(const BYTE* src, int32_t srcStride, int32_t width, int32_t height, BYTE* dst,
                             int32_t dstStride) {
  if (width <= 0 || height <= 0) return false;
  // Source and destination have the same size: the scaler only converts.
  if (!scaler_ || width != scalerWidth_ || height != scalerHeight_) {
    scaler_.reset();
    SwsContext* context = makeScaler(width, height);
    if (!context) {
      trace("CScreenCapture: no screen scaler for %dx%d", width, height);
      return false;
    }
    scaler_.reset(context);
    scalerWidth_ = width;
    scalerHeight_ = height;
  }
  // The scaler's slice threads are reached through its frame interface,
  // which wants reference-counted pictures: both pictures are lent to it for
  // this call only, with a release that frees nothing.
  const size_t srcBytes = static_cast<size_t>(srcStride) * (height - 1) + static_cast<size_t>(width) * 4;
  const size_t dstBytes = static_cast<size_t>(dstStride) * (height - 1) + static_cast<size_t>(width) * 3;
  AVFrame* in = srcFrame_.get();
  AVFrame* out = dstFrame_.get();
  if (!in || !out) return false;
  in->width = out->width = width;
  in->height = out->height = height;
  in->format = AV_PIX_FMT_RGBA;
  out->format = AV_PIX_FMT_RGB24;
  in->data[0] = const_cast<BYTE*>(src);
  in->linesize[0] = srcStride;
  out->data[0] = dst;
  out->linesize[0] = dstStride;
  in->buf[0] = av_buffer_create(const_cast<BYTE*>(src), srcBytes, &lendNoFree, nullptr, AV_BUFFER_FLAG_READONLY);
  out->buf[0] = av_buffer_create(dst, dstBytes, &lendNoFree, nullptr, 0);
  const bool ok = in->buf[0] && out->buf[0] && sws_scale_frame(scaler_.get(), out, in) >= 0;
  av_buffer_unref(&in->buf[0]);
  av_buffer_unref(&out->buf[0]);
  return ok;
}

bool CScreenCapture::cut(const BYTE* bits, Size size, BYTE* dst, int32_t dstStride) {
  const Size screen = screenSize();
  if (size.width > screen.width || size.height > screen.height) {
    trace("CScreenCapture: region %dx%d does not fit on the %dx%d screen", size.width, size.height, screen.width,
          screen.height);
    return false;
  }
  const Point at = cutPosition();
  // An image header over the captured screen (no copy); the region of
  // interest keeps the screen's row stride.
  const cv::Mat screenImage(screen.height, screen.width, CV_8UC4, const_cast<BYTE*>(bits),
                            static_cast<size_t>(dibStride(screen.width, 32)));
  const cv::Mat region = screenImage(cv::Rect(at.x, at.y, size.width, size.height));
  return convert(region.data, static_cast<int32_t>(region.step), size.width, size.height, dst, dstStride);
}

}  // namespace lessonry
