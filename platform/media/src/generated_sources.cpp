// Generated test pattern and tone sources (see generated_sources.h).
#include "media/generated_sources.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

extern "C" {
#include <libswscale/swscale.h>
}

#include "base/clock.h"
#include "media/picture_planes.h"
#include "media/sws_context.h"

namespace lessonry::media {
namespace {

// Waits until the stream's media time is due on the wall clock; true when
// the stream is stopping instead.
template <typename WaitFn>
bool paceTo(int64_t startMicros, REFERENCE_TIME mediaTime, WaitFn wait) {
  const int64_t due = startMicros + mediaTime / 10;
  for (;;) {
    const int64_t now = monotonicMicros();
    if (now >= due) return false;
    const int64_t ms = (due - now + 999) / 1000;
    if (wait(static_cast<uint32_t>(ms))) return true;
  }
}

}  // namespace

// --------------------------------------------------------- CTestPatternSource

class CTestPatternSource::Stream final : public CSourceStream {
 public:
  explicit Stream(CTestPatternSource* owner)
      : CSourceStream(owner, "Video"),
        owner_(owner),
        type_(makeVideoType(owner->settings_.subtype, owner->settings_.width, owner->settings_.height,
                            owner->settings_.frameDuration)) {
    setCategory(PIN_CATEGORY_CAPTURE);
  }

  HRESULT CheckMediaType(const CMediaType& mt) override {
    return static_cast<const AM_MEDIA_TYPE&>(mt) == type_ ? S_OK : E_FAIL;
  }
  HRESULT GetMediaType(int position, CMediaType* mt) override {
    if (position != 0 || !pictureHeader(type_)) return VFW_S_NO_MORE_ITEMS;
    *mt = type_;
    return S_OK;
  }
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override {
    ALLOCATOR_PROPERTIES wanted = *request;
    wanted.cBuffers = std::max(wanted.cBuffers, 3);
    wanted.cbBuffer = std::max<int32_t>(wanted.cbBuffer, int32_t(type_.lSampleSize));
    ALLOCATOR_PROPERTIES actual{};
    return allocator->SetProperties(&wanted, &actual);
  }

 protected:
  void OnThreadStartPlay() override {
    startMicros_ = monotonicMicros();
    startFrame_ = owner_->nextFrame_.load();
    first_ = true;
  }

  HRESULT FillBuffer(IMediaSample* sample) override {
    const TestPatternSettings& s = owner_->settings_;
    const int64_t index = owner_->nextFrame_.fetch_add(1);
    if (s.frames > 0 && index >= s.frames) return S_FALSE;
    const REFERENCE_TIME start = index * s.frameDuration;
    if (s.realTime && paceTo(startMicros_, (index - startFrame_) * s.frameDuration,
                             [this](uint32_t ms) { return waitForStop(ms); }))
      return S_FALSE;
    const int lines = std::abs(s.height);
    bgra_.resize(size_t(s.width) * lines * 4);
    drawBgra(bgra_.data(), s.width, lines, index);
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    PicturePlanes dst;
    if (!describePicture(s.subtype, s.width, s.height, data, &dst) || size_t(sample->GetSize()) < dst.bytes)
      return E_UNEXPECTED;
    if (!scaler_.prepare(s.width, lines, AV_PIX_FMT_BGRA, dst.format, SWS_BICUBIC)) return E_FAIL;
    const uint8_t* src[4] = {bgra_.data(), nullptr, nullptr, nullptr};
    const int srcStride[4] = {s.width * 4, 0, 0, 0};
    if (!scaler_.scale(src, srcStride, dst.planes, dst.strides)) return E_FAIL;
    sample->SetActualDataLength(int32_t(dst.bytes));
    REFERENCE_TIME stop = start + s.frameDuration;
    sample->SetTime(&start, &stop);
    sample->SetSyncPoint(TRUE);
    sample->SetDiscontinuity(first_);
    first_ = false;
    return S_OK;
  }

 private:
  CTestPatternSource* const owner_;
  const CMediaType type_;
  std::vector<uint8_t> bgra_;
  SwsContextOwner scaler_;
  int64_t startMicros_ = 0;
  int64_t startFrame_ = 0;
  bool first_ = true;
};

CTestPatternSource::CTestPatternSource(const TestPatternSettings& settings)
    : CSource("Test Pattern", CLSID_TestPatternSource), settings_(settings) {
  addStream(std::make_unique<Stream>(this));
}

CTestPatternSource::~CTestPatternSource() { stopStreams(); }

HRESULT CTestPatternSource::queryOther(REFIID iid, void** ppv) {
  if (iid != IID_IMediaSeeking) return E_NOINTERFACE;
  *ppv = static_cast<IMediaSeeking*>(this);
  AddRef();
  return S_OK;
}

void CTestPatternSource::drawBgra(uint8_t* out, int32_t width, int32_t height, int64_t index) {
  // Eight vertical colour bars, a luma ramp down the picture, and a white
  // square that moves 8 pixels to the right every picture.
  static const uint8_t bars[8][3] = {{255, 255, 255}, {0, 255, 255}, {255, 255, 0}, {0, 255, 0},
                                     {255, 0, 255},   {0, 0, 255},   {255, 0, 0},   {0, 0, 0}};
  const int side = std::max(2, std::min(width, height) / 6);
  const int boxX = int((index * 8) % std::max(1, width - side));
  const int boxY = (height - side) / 2;
  for (int y = 0; y < height; ++y) {
    uint8_t* row = out + size_t(y) * width * 4;
    const int shade = 128 + 127 * y / std::max(1, height - 1);
    for (int x = 0; x < width; ++x) {
      const uint8_t* bar = bars[std::min(7, x * 8 / std::max(1, width))];
      const bool box = x >= boxX && x < boxX + side && y >= boxY && y < boxY + side;
      for (int c = 0; c < 3; ++c) row[4 * x + c] = box ? 255 : uint8_t(bar[c] * shade / 255);
      row[4 * x + 3] = 255;
    }
  }
}

std::optional<REFERENCE_TIME> CTestPatternSource::durationIfKnown() const {
  if (settings_.frames <= 0) return std::nullopt;
  return settings_.frames * settings_.frameDuration;
}
REFERENCE_TIME CTestPatternSource::currentPosition() const { return nextFrame_.load() * settings_.frameDuration; }
void CTestPatternSource::moveTo(REFERENCE_TIME position) {
  nextFrame_.store(settings_.frameDuration > 0 ? position / settings_.frameDuration : 0);
}

// ---------------------------------------------------------------- CToneSource

class CToneSource::Stream final : public CSourceStream {
 public:
  explicit Stream(CToneSource* owner)
      : CSourceStream(owner, "Audio"), owner_(owner), type_(makeAudioType(owner->settings_.format)) {
    setCategory(PIN_CATEGORY_CAPTURE);
  }

  HRESULT CheckMediaType(const CMediaType& mt) override {
    return static_cast<const AM_MEDIA_TYPE&>(mt) == type_ ? S_OK : E_FAIL;
  }
  HRESULT GetMediaType(int position, CMediaType* mt) override {
    if (position != 0) return VFW_S_NO_MORE_ITEMS;
    *mt = type_;
    return S_OK;
  }
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override {
    const WAVEFORMATEX& f = owner_->settings_.format;
    if (!f.nBlockAlign || !f.nSamplesPerSec) return E_FAIL;
    ALLOCATOR_PROPERTIES wanted = *request;
    wanted.cBuffers = std::max(wanted.cBuffers, 4);
    wanted.cbBuffer = std::max<int32_t>(wanted.cbBuffer, blockFrames() * f.nBlockAlign);
    ALLOCATOR_PROPERTIES actual{};
    return allocator->SetProperties(&wanted, &actual);
  }

 protected:
  void OnThreadStartPlay() override {
    startMicros_ = monotonicMicros();
    startFrame_ = owner_->nextFrame_.load();
    first_ = true;
  }

  HRESULT FillBuffer(IMediaSample* sample) override {
    const ToneSettings& s = owner_->settings_;
    const WAVEFORMATEX& f = s.format;
    const int64_t rate = f.nSamplesPerSec;
    const int64_t total = s.totalMs > 0 ? s.totalMs * rate / 1000 : INT64_MAX;
    const int64_t first = owner_->nextFrame_.fetch_add(blockFrames());
    if (first >= total) return S_FALSE;
    const int frames = int(std::min<int64_t>(blockFrames(), total - first));
    const REFERENCE_TIME start = first * 10000000 / rate;
    if (s.realTime && paceTo(startMicros_, (first - startFrame_) * 10000000 / rate,
                             [this](uint32_t ms) { return waitForStop(ms); }))
      return S_FALSE;
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    if (sample->GetSize() < frames * f.nBlockAlign) return E_UNEXPECTED;
    constexpr double kTwoPi = 6.283185307179586;
    for (int i = 0; i < frames; ++i) {
      const double v = s.amplitude * std::sin(kTwoPi * s.frequency * double(first + i) / double(rate));
      for (int c = 0; c < f.nChannels; ++c) {
        if (f.wBitsPerSample == 8) {
          data[i * f.nBlockAlign + c] = uint8_t(std::lround(128 + 127 * v));
        } else {
          const int16_t q = int16_t(std::lround(32767 * v));
          std::memcpy(data + i * f.nBlockAlign + 2 * c, &q, 2);
        }
      }
    }
    sample->SetActualDataLength(frames * f.nBlockAlign);
    REFERENCE_TIME stop = (first + frames) * 10000000 / rate;
    sample->SetTime(&start, &stop);
    sample->SetSyncPoint(TRUE);
    sample->SetDiscontinuity(first_);
    first_ = false;
    return S_OK;
  }

 private:
  int32_t blockFrames() const {
    return std::max<int32_t>(1, int32_t(int64_t(owner_->settings_.format.nSamplesPerSec) *
                                        owner_->settings_.blockMs / 1000));
  }

  CToneSource* const owner_;
  const CMediaType type_;
  int64_t startMicros_ = 0;
  int64_t startFrame_ = 0;
  bool first_ = true;
};

CToneSource::CToneSource(const ToneSettings& settings) : CSource("Tone", CLSID_ToneSource), settings_(settings) {
  addStream(std::make_unique<Stream>(this));
}

CToneSource::~CToneSource() { stopStreams(); }

HRESULT CToneSource::queryOther(REFIID iid, void** ppv) {
  if (iid != IID_IMediaSeeking) return E_NOINTERFACE;
  *ppv = static_cast<IMediaSeeking*>(this);
  AddRef();
  return S_OK;
}

std::optional<REFERENCE_TIME> CToneSource::durationIfKnown() const {
  if (settings_.totalMs <= 0) return std::nullopt;
  return settings_.totalMs * 10000;
}
REFERENCE_TIME CToneSource::currentPosition() const {
  return settings_.format.nSamplesPerSec ? nextFrame_.load() * 10000000 / settings_.format.nSamplesPerSec : 0;
}
void CToneSource::moveTo(REFERENCE_TIME position) {
  nextFrame_.store(position * settings_.format.nSamplesPerSec / 10000000);
}

}  // namespace lessonry::media
