// The recorder's composition: SetCompositeMode's headers and buffers, and
// the picture of each tick in modes 0, 1 and 2. Lock order: the caller's
// frame lock, then a source render's buffer lock (see the header).
#include "composition.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

extern "C" {
#include <libswscale/swscale.h>
}

#include "base/picture_format.h"
#include "base/trace.h"

namespace lessonry::capture {

namespace {

int32_t absolute(int32_t v) { return v == std::numeric_limits<int32_t>::min() ? 0 : std::abs(v); }

// The largest picture side the recorder prepares: far beyond any screen or
// camera, and small enough that a frame's size fits comfortably in memory.
constexpr int32_t kMaxSide = 16384;

// A 24-bit uncompressed header, top-down; the image size follows the DIB
// row stride. Sizes of no pixels, or past kMaxSide, give an empty header.
BITMAPINFOHEADER header24(int32_t width, int32_t height) {
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return BITMAPINFOHEADER{};
  return makeBgr24Header(width, height, /*topDown=*/true);
}

size_t imageSize(const BITMAPINFOHEADER& h) { return h.biSize ? h.biSizeImage : 0; }

// Holds a source render's buffer lock for a scope.
class BufferLockGuard {
 public:
  explicit BufferLockGuard(OxBufferLock* lock) : lock_(lock) {
    if (lock_) lock_->enter();
  }
  ~BufferLockGuard() {
    if (lock_) lock_->leave();
  }
  BufferLockGuard(const BufferLockGuard&) = delete;
  BufferLockGuard& operator=(const BufferLockGuard&) = delete;

 private:
  OxBufferLock* lock_;
};

// The scaler's input format for a source picture of this bit count: 32-bit
// pixels are B, G, R and an ignored byte, 24-bit ones B, G, R; other bit
// counts are read as 15-bit pixels (5 bits each of blue, green, red, blue
// lowest, in 16-bit words). The output is always B, G, R.
AVPixelFormat insetInputFormat(int32_t bits) {
  switch (bits) {
    case 32: return AV_PIX_FMT_BGR0;
    case 24: return AV_PIX_FMT_BGR24;
    default: return AV_PIX_FMT_RGB555LE;
  }
}

int32_t insetInputStride(int32_t width, int32_t bits) {
  switch (bits) {
    case 32: return width * 4;
    case 24: return dibStride(width, 24);
    default: return dibStride(width, 16);
  }
}

// Whether a render's latest picture can be read whole: a size that makes
// sense, and a buffer (biSizeImage bytes) that holds every row the format
// claims. Other controls' renders are not trusted to keep the two in step.
bool readable(const BITMAPINFOHEADER* format, const BYTE* pixels) {
  if (!format || !pixels) return false;
  const int32_t width = format->biWidth, height = absolute(format->biHeight);
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return false;
  return static_cast<uint64_t>(insetInputStride(width, format->biBitCount)) * height <= format->biSizeImage;
}

}  // namespace

void CComposition::SwsDeleter::operator()(SwsContext* context) const { sws_freeContext(context); }

CComposition::CComposition(CScreenCapture& screen) : screen_(screen) {}

CComposition::~CComposition() = default;

void CComposition::SetCompositeMode(int32_t mode, int32_t iwidth, int32_t iheight) {
  mode_ = mode;
  freeBuffers();

  // The 32-bit request: the format copy keeps what the library reported.
  screen_.requestScreen32();
  const CScreenCapture::Size screen = screen_.screenSize();
  const CScreenCapture::Size part = screen_.encodeSize();  // the region, or the whole screen

  // The output: iwidth x iheight in mode 1, else the screen.
  outputHeader_ = isSourceMode() ? header24(iwidth, iheight) : header24(screen.width, screen.height);
  int32_t logoReference = screen_.latestSize().width;
  if (isSourceMode()) logoReference = iwidth;

  if (mode_ == 2) {
    sources_.sourceSwitch().progressStep();
    SourceEntry* entry = sources_.sourceSwitch().front();
    if (!entry || !entry->video) {
      trace("CComposition::SetCompositeMode: mode 2 without a selected source prepares nothing");
      encodeHeader_ = BITMAPINFOHEADER{};
      return;
    }
    const BITMAPINFOHEADER* format = entry->video->GetVideoFormat();
    const int32_t bits = format ? format->biBitCount : 0;
    cameraHeader_ = format ? header24(format->biWidth, absolute(format->biHeight)) : BITMAPINFOHEADER{};
    insetHeader_ = header24(kInsetWidth, kInsetHeight);
    if (bits != 24 && bits != 32) {
      if (userAlert_) userAlert_(kUnsupportedDepthText);
      else trace("%s", kUnsupportedDepthText);
    } else {
      // The scaler's tables now, so that the first tick allocates nothing.
      insetScaler_.configure(format->biWidth, absolute(format->biHeight), bits, kInsetWidth, kInsetHeight);
    }
    screenPart_ = part;
    encodeHeader_ = header24(part.width + kInsetWidth, part.height);
    frame_.assign(imageSize(encodeHeader_), 0);
    inset_.assign(kInsetBytes, 0);
  } else if (mode_ == 0) {
    encodeHeader_ = header24(part.width, part.height);
    frame_.assign(imageSize(encodeHeader_), 0);
  } else {
    encodeHeader_ = outputHeader_;
    frame_.assign(imageSize(outputHeader_), 0);
  }

  const BITMAPINFOHEADER& drawn = recordHeader();
  if (effects_.Bind(effectLibraryName_)) {
    if (mode_ == 0) effects_.setComposeVideoSize(drawn.biWidth, absolute(drawn.biHeight));
    else effects_.setComposeVideoSize(outputHeader_.biWidth, absolute(outputHeader_.biHeight));
    effects_.setVideoRendMode(1);
  }

  // The logo is loaded afresh and placed once for this picture size.
  if (logo_.load()) logo_.place(logoReference, drawn.biWidth);
}

bool CComposition::prepareFrame(int32_t width, int32_t height) {
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return false;
  freeBuffers();
  mode_ = 0;
  encodeHeader_ = outputHeader_ = header24(width, height);
  frame_.assign(imageSize(encodeHeader_), 0);
  return true;
}

void CComposition::release() {
  freeBuffers();
  effects_.Unbind();
  logo_ = CLogo{};
  screen_.resetRegion();
}

void CComposition::freeBuffers() {
  std::vector<BYTE>().swap(frame_);
  std::vector<BYTE>().swap(inset_);
  insetScaler_ = CInsetScaler();
  otherDepthScaler_.reset();
  insetSrcWidth_ = insetSrcHeight_ = insetSrcBits_ = 0;
}

bool CComposition::composeTick() {
  if (frame_.empty()) return false;
  if (mode_ == 0) {
    if (!screen_.captureScreen(frame_.data(), frame_.size())) screenMisses_.fetch_add(1, std::memory_order_relaxed);
  } else {
    CSourceSwitch& sourceSwitch = sources_.sourceSwitch();
    sourceSwitch.progressStep();
    SourceEntry* entry = sourceSwitch.front();
    if (!entry) return false;
    if (mode_ == 2) composeScreenAndSource(*entry);
    else composeSource(*entry);
  }
  logo_.draw(frame_.data(), recordHeader().biWidth, absolute(recordHeader().biHeight),
             dibStride(recordHeader().biWidth, 24));
  return true;
}

void CComposition::composeSource(SourceEntry& entry) {
  // Without the effects library the frame keeps its content (black at first).
  if (!entry.video || !effects_.bound()) return;
  OxBufferLock* lock = entry.video->GetBufferLock();
  BufferLockGuard guard(lock);
  const ComposeItem item{entry.video->GetVideoFormat(), entry.video->GetVideoBuffer(), lock};
  if (!readable(item.format, item.bits)) {
    sourceMisses_.fetch_add(1, std::memory_order_relaxed);
    return;
  }
  effects_.composeOne(item, frame_.data());
}

void CComposition::composeScreenAndSource(SourceEntry& entry) {
  const int32_t stride = dibStride(encodeHeader_.biWidth, 24);
  const size_t insetRowBytes = static_cast<size_t>(kInsetWidth) * 3;

  // The screen part, straight into the frame to the right of the inset.
  CScreenCapture::Size part;
  if (!screen_.captureScreenPart(frame_.data() + insetRowBytes, stride, frame_.size() - insetRowBytes, &part) ||
      !(part == screenPart_))
    screenMisses_.fetch_add(1, std::memory_order_relaxed);

  if (!entry.video || !scaleInset(*entry.video)) sourceMisses_.fetch_add(1, std::memory_order_relaxed);
  // The inset at the top left; the rows below it are never written and stay
  // black. A picture lower than the inset shows its top rows.
  const int32_t rows = std::min(kInsetHeight, absolute(encodeHeader_.biHeight));
  for (int32_t y = 0; y < rows; ++y)
    std::memcpy(frame_.data() + static_cast<size_t>(y) * stride, inset_.data() + y * insetRowBytes, insetRowBytes);
}

bool CComposition::scaleInset(IOxVideoRenderConfig& video) {
  OxBufferLock* lock = video.GetBufferLock();
  BufferLockGuard guard(lock);
  const BITMAPINFOHEADER* format = video.GetVideoFormat();
  const BYTE* pixels = video.GetVideoBuffer();
  if (!readable(format, pixels)) return false;
  const int32_t width = format->biWidth, height = absolute(format->biHeight), bits = format->biBitCount;
  const int32_t srcStride = insetInputStride(width, bits);

  // 24- and 32-bit pictures, what cameras give: our own bicubic scaler,
  // several times faster than libswscale's RGB path. Other bit counts, which
  // only a misbehaving source delivers, go through libswscale.
  if ((bits == 24 || bits == 32) && insetScaler_.configure(width, height, bits, kInsetWidth, kInsetHeight)) {
    insetScaler_.scale(pixels, srcStride, inset_.data(), kInsetWidth * 3);
    return true;
  }

  if (!otherDepthScaler_ || width != insetSrcWidth_ || height != insetSrcHeight_ || bits != insetSrcBits_) {
    // Full chroma on both sides: an RGB to RGB scale must not lose colour
    // resolution on its way through the scaler's internal format.
    otherDepthScaler_.reset(sws_getContext(width, height, insetInputFormat(bits), kInsetWidth, kInsetHeight,
                                           AV_PIX_FMT_BGR24, SWS_BICUBIC | SWS_FULL_CHR_H_INT | SWS_FULL_CHR_H_INP,
                                           nullptr, nullptr, nullptr));
    if (!otherDepthScaler_) {
      trace("CComposition: no inset scaler for %dx%d at %d bits", width, height, bits);
      insetSrcWidth_ = insetSrcHeight_ = insetSrcBits_ = 0;
      return false;
    }
    insetSrcWidth_ = width;
    insetSrcHeight_ = height;
    insetSrcBits_ = bits;
  }
  const uint8_t* const src[4] = {pixels, nullptr, nullptr, nullptr};
  const int srcStrides[4] = {srcStride, 0, 0, 0};
  uint8_t* const dst[4] = {inset_.data(), nullptr, nullptr, nullptr};
  const int dstStrides[4] = {kInsetWidth * 3, 0, 0, 0};
  return sws_scale(otherDepthScaler_.get(), src, srcStrides, 0, height, dst, dstStrides) == kInsetHeight;
}

}  // namespace lessonry::capture
