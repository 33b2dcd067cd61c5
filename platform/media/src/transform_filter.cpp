// Transform filter base (see transform_filter.h).
#include "media/transform_filter.h"

namespace lessonry::media {

CTransformInputPin::CTransformInputPin(CTransformFilter* filter) : CBaseInputPin(filter, "Input"), owner_(filter) {}

HRESULT CTransformInputPin::CheckMediaType(const CMediaType& mt) { return owner_->CheckInputType(mt); }

HRESULT CTransformInputPin::SetMediaType(const CMediaType& mt) {
  const HRESULT hr = CBaseInputPin::SetMediaType(mt);
  return FAILED(hr) ? hr : owner_->SetInputType(mt);
}

HRESULT CTransformInputPin::Receive(IMediaSample* sample) {
  CAutoLock lock(owner_->filterLock());
  const HRESULT hr = CBaseInputPin::Receive(sample);
  if (hr != S_OK) return hr;
  if (!owner_->output()->isConnected()) return S_OK;
  return owner_->Receive(sample);
}

HRESULT CTransformInputPin::EndOfStream() {
  CAutoLock lock(owner_->filterLock());
  if (owner_->state() == State_Stopped) return VFW_E_WRONG_STATE;
  return owner_->EndOfStream();
}

HRESULT CTransformInputPin::BeginFlush() {
  CBaseInputPin::BeginFlush();
  return owner_->output()->DeliverBeginFlush();
}

HRESULT CTransformInputPin::EndFlush() {
  CBaseInputPin::EndFlush();
  return owner_->output()->DeliverEndFlush();
}

HRESULT CTransformInputPin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  return owner_->output()->DeliverNewSegment(start, stop, rate);
}

HRESULT CTransformInputPin::BreakConnect() {
  // Without an input the output's type means nothing.
  if (owner_->output()->isConnected()) {
    if (IPin* peer = owner_->output()->connectedPin()) peer->Disconnect();
    owner_->output()->Disconnect();
  }
  return CBaseInputPin::BreakConnect();
}

CTransformOutputPin::CTransformOutputPin(CTransformFilter* filter)
    : CBaseOutputPin(filter, "Output"), owner_(filter) {}

HRESULT CTransformOutputPin::CheckConnect(IPin* pin) {
  if (!owner_->input()->isConnected()) return E_UNEXPECTED;
  return CBaseOutputPin::CheckConnect(pin);
}

HRESULT CTransformOutputPin::CheckMediaType(const CMediaType& mt) {
  if (!owner_->input()->isConnected()) return E_UNEXPECTED;
  return owner_->CheckTransform(owner_->input()->mediaType(), mt);
}

HRESULT CTransformOutputPin::GetMediaType(int position, CMediaType* mt) {
  if (!owner_->input()->isConnected()) return VFW_S_NO_MORE_ITEMS;
  return owner_->GetOutputType(owner_->input()->mediaType(), position, mt);
}

HRESULT CTransformOutputPin::SetMediaType(const CMediaType& mt) {
  const HRESULT hr = CBaseOutputPin::SetMediaType(mt);
  return FAILED(hr) ? hr : owner_->SetOutputType(mt);
}

HRESULT CTransformOutputPin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  return owner_->DecideBufferSize(allocator, request);
}

CTransformFilter::CTransformFilter(const char* name, const CLSID& clsid)
    : CBaseFilter(name, clsid),
      input_(std::make_unique<CTransformInputPin>(this)),
      output_(std::make_unique<CTransformOutputPin>(this)) {}

CTransformFilter::~CTransformFilter() = default;

CBasePin* CTransformFilter::pin(int index) {
  if (index == 0) return input_.get();
  if (index == 1) return output_.get();
  return nullptr;
}

HRESULT CTransformFilter::EndOfStream() { return output_->DeliverEndOfStream(); }

void CTransformFilter::copySampleProperties(IMediaSample* in, IMediaSample* out) {
  REFERENCE_TIME start = 0, stop = 0;
  const HRESULT timed = in->GetTime(&start, &stop);
  if (timed == S_OK)
    out->SetTime(&start, &stop);
  else if (SUCCEEDED(timed))
    out->SetTime(&start, nullptr);
  else
    out->SetTime(nullptr, nullptr);
  out->SetSyncPoint(in->IsSyncPoint() == S_OK);
  out->SetDiscontinuity(in->IsDiscontinuity() == S_OK);
  out->SetPreroll(in->IsPreroll() == S_OK);
}

}  // namespace lessonry::media
