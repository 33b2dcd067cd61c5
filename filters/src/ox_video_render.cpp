// The video render filter (see ox_video_render.h).
#include "ox_video_render.h"

#include <cstdlib>
#include <new>

#include "base/clock.h"
#include "base/picture_format.h"
#include "deinterlace.h"
#include "media/media_guids.h"

namespace lessonry::filters {
namespace {

constexpr uint32_t kIdleIntervalMs = 125;

RenderInput inputOf(const GUID& subtype) {
  if (subtype == MEDIASUBTYPE_RGB24) return RenderInput::Rgb24;
  if (subtype == MEDIASUBTYPE_RGB32) return RenderInput::Rgb32;
  if (subtype == MEDIASUBTYPE_YUY2) return RenderInput::Yuy2;
  if (subtype == MEDIASUBTYPE_YV12) return RenderInput::Yv12;
  return RenderInput::None;
}

}  // namespace

CVideoInput::CVideoInput(COxVideoRender* owner) : CBaseInputPin(owner, "Video"), owner_(owner) {}

HRESULT CVideoInput::CheckMediaType(const media::CMediaType& mt) {
  if (mt.majortype != MEDIATYPE_Video || mt.formattype != FORMAT_VideoInfo) return E_FAIL;
  if (!mt.bFixedSizeSamples || mt.bTemporalCompression) return E_FAIL;
  const RenderInput input = inputOf(mt.subtype);
  const auto* vih = mt.formatAs<VIDEOINFOHEADER>();
  if (input == RenderInput::None || !vih) return E_FAIL;
  // Sizes no buffer could hold, or pictures larger than the samples that
  // are to carry them, are refused here rather than overrun later.
  PictureToBgr24 probe;
  if (!probe.setInput(input, vih->bmiHeader.biWidth, vih->bmiHeader.biHeight)) return E_FAIL;
  if (mt.lSampleSize && mt.lSampleSize < probe.inputSize()) return E_FAIL;
  if (probe.outputSize() > 0x7FFFFFFFu) return E_FAIL;
  return S_OK;
}

HRESULT CVideoInput::SetMediaType(const media::CMediaType& mt) {
  const auto* vih = mt.formatAs<VIDEOINFOHEADER>();
  if (!vih) return E_FAIL;
  CAutoLock lock(owner_->filterLock());
  bufferLock_.enter();
  const bool ok = converter_.setInput(inputOf(mt.subtype), vih->bmiHeader.biWidth, vih->bmiHeader.biHeight);
  if (ok) {
    BITMAPINFOHEADER out = vih->bmiHeader;
    out.biSize = sizeof(BITMAPINFOHEADER);
    out.biHeight = converter_.height();
    out.biPlanes = 1;
    out.biBitCount = 24;
    out.biCompression = BI_RGB;
    out.biSizeImage = static_cast<DWORD>(converter_.outputSize());
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[out.biSizeImage]());
    if (buffer) {
      outputFormat_ = out;
      pictureSize_ = static_cast<int32_t>(out.biSizeImage);
      buffer_ = std::move(buffer);
    }
    bufferLock_.leave();
    if (!buffer_) return E_OUTOFMEMORY;
    return CBaseInputPin::SetMediaType(mt);
  }
  bufferLock_.leave();
  return E_FAIL;
}

HRESULT CVideoInput::Receive(IMediaSample* sample) {
  CAutoLock lock(owner_->filterLock());
  const HRESULT hr = CBaseInputPin::Receive(sample);
  if (hr != S_OK) return hr;
  frameCount_.fetch_add(1, std::memory_order_relaxed);
  if (users_.load(std::memory_order_relaxed) == 0) {
    const uint32_t now = timeGetTime();
    if (keptAny_ && now - lastKept_ < kIdleIntervalMs) return S_OK;
    lastKept_ = now;
    keptAny_ = true;
  }
  BYTE* data = nullptr;
  sample->GetPointer(&data);
  const int32_t length = sample->GetActualDataLength();
  // A sample shorter than its picture is dropped: nothing is read past it.
  if (!data || length < 0 || size_t(length) < converter_.inputSize()) return S_OK;
  REFERENCE_TIME start = 0, stop = 0;
  if (FAILED(sample->GetTime(&start, &stop))) start = 0;

  bufferLock_.enter();
  if (converter_.convert(data, size_t(length), bottomUp_.load(std::memory_order_relaxed) != 0, buffer_.get()) &&
      deInterlace_.load(std::memory_order_relaxed))
    deinterlaceRows(buffer_.get(), converter_.outputStride(), converter_.height());
  bufferLock_.leave();

  info_.kind = kSampleKindPicture;
  info_.size = pictureSize_;
  info_.startTime = start;
  // The callbacks run under the callback lock, by design (see the top).
  callbackLock_.enter();
  for (auto& [context, callback] : callbacks_) callback(&info_, buffer_.get(), reinterpret_cast<void*>(context));
  callbackLock_.leave();
  return S_OK;
}

COxVideoRender::COxVideoRender()
    : CBaseFilter(kOxVideoRenderName, CLSID_OxVideoRender), input_(std::make_unique<CVideoInput>(this)) {}

COxVideoRender::~COxVideoRender() = default;

media::CBasePin* COxVideoRender::pin(int index) { return index == 0 ? input_.get() : nullptr; }

HRESULT COxVideoRender::queryOther(REFIID iid, void** ppv) {
  if (iid != IID_IOxVideoRenderConfig) return E_NOINTERFACE;
  *ppv = static_cast<IOxVideoRenderConfig*>(&config_);
  AddRef();
  return S_OK;
}

HRESULT COxVideoRender::Config::AddFrameCallback(FrameCallback callback, void* context) {
  CVideoInput& pin = *owner_->input_;
  pin.callbackLock_.enter();
  if (callback) pin.callbacks_.emplace(reinterpret_cast<uintptr_t>(context), callback);  // keeps the first
  pin.callbackLock_.leave();
  return S_OK;
}

HRESULT COxVideoRender::Config::RemoveFrameCallback(FrameCallback, void* context) {
  CVideoInput& pin = *owner_->input_;
  pin.callbackLock_.enter();
  pin.callbacks_.erase(reinterpret_cast<uintptr_t>(context));
  pin.callbackLock_.leave();
  return S_OK;
}

BITMAPINFOHEADER* COxVideoRender::Config::GetVideoFormat() { return &owner_->input_->outputFormat_; }

int32_t COxVideoRender::Config::IsConnected() { return owner_->input_->isConnected() ? 1 : 0; }

int32_t COxVideoRender::Config::GetFrameCount() { return owner_->input_->frameCount_.exchange(0); }

OxBufferLock* COxVideoRender::Config::GetBufferLock() { return &owner_->input_->bufferLock_; }

uint8_t* COxVideoRender::Config::GetVideoBuffer() { return owner_->input_->buffer_.get(); }

HRESULT COxVideoRender::Config::SetInUse(BOOL inUse) {
  std::atomic<int32_t>& users = owner_->input_->users_;
  if (inUse) {
    users.fetch_add(1);
  } else {
    int32_t now = users.load();
    while (now > 0 && !users.compare_exchange_weak(now, now - 1)) {
    }
  }
  return S_OK;
}

HRESULT COxVideoRender::Config::SetBottomUp(int32_t bottomUp) {
  owner_->input_->bottomUp_.store(bottomUp);
  return S_OK;
}

HRESULT COxVideoRender::Config::EnableDeInterlace(BOOL enable) {
  owner_->input_->deInterlace_.store(enable ? 1 : 0);
  return S_OK;
}

}  // namespace lessonry::filters
