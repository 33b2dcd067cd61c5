// Infinite pin tee (see inf_tee.h).
#include "media/inf_tee.h"

#include <string>

namespace lessonry::media {

class CInfTee::InputPin final : public CBaseInputPin {
 public:
  explicit InputPin(CInfTee* owner) : CBaseInputPin(owner, "Input"), owner_(owner) {}
  HRESULT CheckMediaType(const CMediaType& mt) override;
  HRESULT Receive(IMediaSample* sample) override {
    const HRESULT hr = CBaseInputPin::Receive(sample);
    return hr == S_OK ? owner_->deliver(sample) : hr;
  }
  HRESULT EndOfStream() override {
    if (filter_->state() == State_Stopped) return VFW_E_WRONG_STATE;
    return owner_->deliverEndOfStream();
  }

 private:
  CInfTee* const owner_;
};

class CInfTee::OutputPin final : public CBaseOutputPin {
 public:
  OutputPin(CInfTee* owner, const std::string& name) : CBaseOutputPin(owner, name.c_str()), owner_(owner) {}
  HRESULT CheckMediaType(const CMediaType& mt) override {
    if (!owner_->input_->isConnected()) return E_UNEXPECTED;
    return static_cast<const AM_MEDIA_TYPE&>(owner_->input_->mediaType()) == mt ? S_OK : E_FAIL;
  }
  HRESULT GetMediaType(int position, CMediaType* mt) override {
    if (position != 0 || !owner_->input_->isConnected()) return VFW_S_NO_MORE_ITEMS;
    *mt = owner_->input_->mediaType();
    return S_OK;
  }
  HRESULT DecideBufferSize(IMemAllocator*, ALLOCATOR_PROPERTIES*) override { return S_OK; }
  // Downstream receives the upstream's samples as they are.
  HRESULT DecideAllocator(IMemInputPin* input, IMemAllocator** allocator) override {
    IMemAllocator* shared = owner_->input_->allocator();
    if (!shared) return VFW_E_NO_ALLOCATOR;
    const HRESULT hr = input->NotifyAllocator(shared, TRUE);
    if (FAILED(hr)) return hr;
    shared->AddRef();
    *allocator = shared;
    return S_OK;
  }
  HRESULT CompleteConnect(IPin* receivePin) override {
    const HRESULT hr = CBaseOutputPin::CompleteConnect(receivePin);
    if (SUCCEEDED(hr)) owner_->addSpareOutput();
    return hr;
  }
  // The allocator is the upstream's: it commits and decommits it.
  HRESULT Active() override { return S_OK; }
  HRESULT Inactive() override { return S_OK; }

 private:
  CInfTee* const owner_;
};

HRESULT CInfTee::InputPin::CheckMediaType(const CMediaType& mt) {
  // Once outputs are connected the input keeps their type.
  for (auto& out : owner_->outputs_)
    if (out->isConnected() && !(static_cast<const AM_MEDIA_TYPE&>(out->mediaType()) == mt)) return E_FAIL;
  return mt.majortype == GUID_NULL ? E_FAIL : S_OK;
}

CInfTee::CInfTee() : CBaseFilter("Infinite Pin Tee", CLSID_InfTee), input_(std::make_unique<InputPin>(this)) {
  addSpareOutput();
}

CInfTee::~CInfTee() = default;

int CInfTee::pinCount() { return 1 + static_cast<int>(outputs_.size()); }

CBasePin* CInfTee::pin(int index) {
  if (index == 0) return input_.get();
  if (index > 0 && index <= static_cast<int>(outputs_.size())) return outputs_[size_t(index - 1)].get();
  return nullptr;
}

void CInfTee::addSpareOutput() {
  CAutoLock lock(lock_);
  for (auto& out : outputs_)
    if (!out->isConnected()) return;
  outputs_.push_back(std::make_unique<OutputPin>(this, "Output" + std::to_string(nextOutputNumber_++)));
}

HRESULT CInfTee::deliver(IMediaSample* sample) {
  // One branch refusing a sample does not starve the others; the upstream
  // hears a refusal only when every connected branch refused.
  bool anyConnected = false;
  bool anyTook = false;
  for (auto& out : outputs_) {
    if (!out->isConnected()) continue;
    anyConnected = true;
    if (out->Deliver(sample) == S_OK) anyTook = true;
  }
  return !anyConnected || anyTook ? S_OK : S_FALSE;
}

HRESULT CInfTee::deliverEndOfStream() {
  for (auto& out : outputs_)
    if (out->isConnected()) out->DeliverEndOfStream();
  return S_OK;
}

}  // namespace lessonry::media
