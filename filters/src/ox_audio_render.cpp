// The audio render filter and its level measurement (see ox_audio_render.h).
#include "ox_audio_render.h"

#include <algorithm>
#include <cstring>

#include "base/clock.h"
#include "base/picture_format.h"
#include "media/media_guids.h"

namespace lessonry::filters {

CAudioInput::CAudioInput(COxAudioRender* owner)
    : CBaseInputPin(owner, "Video"), owner_(owner), format_(makePcmFormat()) {}

media::CMediaType CAudioInput::acceptedType() { return media::makeAudioType(makePcmFormat()); }

HRESULT CAudioInput::CheckMediaType(const media::CMediaType& mt) {
  const WAVEFORMATEX wanted = makePcmFormat();
  if (mt.majortype != MEDIATYPE_Audio || mt.subtype != MEDIASUBTYPE_PCM || mt.formattype != FORMAT_WaveFormatEx)
    return E_FAIL;
  if (mt.cbFormat != sizeof(WAVEFORMATEX) || !mt.pbFormat || std::memcmp(mt.pbFormat, &wanted, sizeof wanted) != 0)
    return E_FAIL;
  return S_OK;
}

HRESULT CAudioInput::GetMediaType(int position, media::CMediaType* mt) {
  if (position != 0) return VFW_S_NO_MORE_ITEMS;
  *mt = acceptedType();
  return S_OK;
}

HRESULT CAudioInput::SetMediaType(const media::CMediaType& mt) {
  const HRESULT hr = CBaseInputPin::SetMediaType(mt);
  if (FAILED(hr)) return hr;
  owner_->setFormat(*media::waveFormat(mt));
  return S_OK;
}

HRESULT CAudioInput::Receive(IMediaSample* sample) {
  CAutoLock lock(owner_->filterLock());
  if (!sample) return S_OK;
  BYTE* data = nullptr;
  sample->GetPointer(&data);
  const int32_t length = std::max(sample->GetActualDataLength(), 0);
  if (CBaseInputPin::Receive(sample) == S_OK) {
    REFERENCE_TIME start = 0, stop = 0;
    if (FAILED(sample->GetTime(&start, &stop))) start = 0;
    info_.kind = kSampleKindPcm;
    info_.size = length;
    info_.startTime = start;
    // The callbacks run under the callback lock, by design (see the top).
    callbackLock_.enter();
    for (auto& [context, callback] : callbacks_) callback(&info_, data, reinterpret_cast<void*>(context));
    callbackLock_.leave();
  }
  // Measuring takes whole blocks only; a block that does not fit is dropped
  // for measuring (Write writes nothing then).
  if (data && length > 0) owner_->pool_.Write(data, uint32_t(length));
  return S_OK;
}

COxAudioRender::COxAudioRender()
    : CBaseFilter(kOxAudioRenderName, CLSID_OxAudioRender), input_(std::make_unique<CAudioInput>(this)) {
  setFormat(makePcmFormat());
  levelThread_.setName("COxAudioRender.m_AnalyseThread");
  levelThread_.setPeriod(kWindowMs);
  levelThread_.setPriority(kThreadPriorityIdle);
  levelThread_.setProcedure(&COxAudioRender::levelThreadProcedure, this);
}

COxAudioRender::~COxAudioRender() { levelThread_.Stop(); }

media::CBasePin* COxAudioRender::pin(int index) { return index == 0 ? input_.get() : nullptr; }

HRESULT COxAudioRender::queryOther(REFIID iid, void** ppv) {
  if (iid != IID_IOxAudioRenderConfig) return E_NOINTERFACE;
  *ppv = static_cast<IOxAudioRenderConfig*>(&config_);
  AddRef();
  return S_OK;
}

void COxAudioRender::setFormat(const WAVEFORMATEX& format) {
  windowSize_ = MulDiv(kWindowMs * format.nBlockAlign, int32_t(format.nSamplesPerSec), 1000);
  bytesPerSecond_ = int32_t(format.nAvgBytesPerSec);
  pool_.Reset();
  analyzer_.setFormat(format);
}

HRESULT COxAudioRender::Pause() {
  bool wasStopped;
  HRESULT hr;
  {
    CAutoLock lock(lock_);
    wasStopped = state() == State_Stopped;
    hr = CBaseFilter::Pause();
  }
  if (SUCCEEDED(hr) && wasStopped) levelThread_.Start();
  return hr;
}

HRESULT COxAudioRender::Stop() {
  levelThread_.Stop();  // waits for the current period; outside the filter lock
  return CBaseFilter::Stop();
}

int32_t COxAudioRender::measureOnce() {
  const uint32_t wanted = uint32_t(std::clamp<int32_t>(windowSize_, 0, int32_t(kPoolSize)));
  const uint32_t got = pool_.Read(readBuffer_.get(), wanted);
  if (got == 0) return 1;
  LevelCallback callback;
  void* context;
  {
    std::lock_guard lock(levelMutex_);
    callback = levelCallback_;
    context = levelContext_;
  }
  if (!callback) return 1;
  const CAudioAnalyzer::Levels levels = analyzer_.measure(readBuffer_.get(), got);
  callback(0, 0, levels.channel0, context);
  callback(0, 1, levels.channel1, context);
  return 1;
}

int32_t COxAudioRender::levelThreadProcedure(void* context, intptr_t) {
  return static_cast<COxAudioRender*>(context)->measureOnce();
}

HRESULT COxAudioRender::Config::AddDataCallback(DataCallback callback, void* context) {
  CAudioInput& pin = *owner_->input_;
  pin.callbackLock_.enter();
  if (callback) pin.callbacks_.emplace(reinterpret_cast<uintptr_t>(context), callback);  // keeps the first
  pin.callbackLock_.leave();
  return S_OK;
}

HRESULT COxAudioRender::Config::RemoveDataCallback(DataCallback, void* context) {
  CAudioInput& pin = *owner_->input_;
  pin.callbackLock_.enter();
  pin.callbacks_.erase(reinterpret_cast<uintptr_t>(context));
  pin.callbackLock_.leave();
  return S_OK;
}

int32_t COxAudioRender::Config::IsConnected() { return owner_->input_->isConnected() ? 1 : 0; }

HRESULT COxAudioRender::Config::SetLevelCallback(LevelCallback callback, void* context) {
  std::lock_guard lock(owner_->levelMutex_);
  owner_->levelCallback_ = callback;
  owner_->levelContext_ = context;
  return S_OK;
}

WAVEFORMATEX* COxAudioRender::Config::GetWaveFormat() { return &owner_->input_->format_; }

}  // namespace lessonry::filters
