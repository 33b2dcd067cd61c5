// Source filter and streaming pin bases (see source.h).
#include "media/source.h"

#include "base/trace.h"

namespace lessonry::media {

CSource::CSource(const char* name, const CLSID& clsid) : CBaseFilter(name, clsid) {}

CSource::~CSource() { stopStreams(); }

void CSource::stopStreams() {
  // Threads must end before what they use goes away.
  for (auto& stream : streams_) stream->Inactive();
}

CBasePin* CSource::pin(int index) {
  return index >= 0 && index < pinCount() ? streams_[size_t(index)].get() : nullptr;
}

void CSource::addStream(std::unique_ptr<CSourceStream> stream) { streams_.push_back(std::move(stream)); }

CSourceStream::CSourceStream(CSource* filter, const char* name) : CBaseOutputPin(filter, name) {}

CSourceStream::~CSourceStream() { Inactive(); }

HRESULT CSourceStream::Active() {
  if (thread_.joinable()) return S_OK;
  const HRESULT hr = CBaseOutputPin::Active();
  if (FAILED(hr)) return hr;
  stopping_.store(false, std::memory_order_release);
  stopEvent_.reset();
  try {
    thread_ = std::thread([this] { threadMain(); });
  } catch (...) {
    CBaseOutputPin::Inactive();
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

HRESULT CSourceStream::Inactive() {
  stopping_.store(true, std::memory_order_release);
  stopEvent_.set();
  const HRESULT hr = CBaseOutputPin::Inactive();  // wakes a wait for a buffer
  if (thread_.joinable()) thread_.join();
  return hr;
}

void CSourceStream::threadMain() {
  try {
    processLoop();
  } catch (...) {
    trace("CSourceStream(%s): streaming thread stopped by an exception", name().c_str());
    filter()->notifyEvent(EC_ERRORABORT, E_UNEXPECTED, 0);
  }
}

void CSourceStream::processLoop() {
  OnThreadStartPlay();
  while (!stopping()) {
    ComPtr<IMediaSample> sample;
    if (FAILED(GetDeliveryBuffer(sample.put(), nullptr, nullptr, 0))) return;  // decommitted: stopping
    const HRESULT filled = FillBuffer(sample.get());
    if (stopping()) return;
    if (filled == S_OK) {
      // Downstream refusing a sample (stopped, flushing, failed) ends the
      // stream quietly: whoever refused knows why.
      if (Deliver(sample.get()) != S_OK) return;
      continue;
    }
    sample.reset();
    if (FAILED(filled)) filter()->notifyEvent(EC_ERRORABORT, filled, 0);
    DeliverEndOfStream();
    return;
  }
}

}  // namespace lessonry::media
