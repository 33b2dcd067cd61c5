// Null renderer (see null_renderer.h).
#include "media/null_renderer.h"

namespace lessonry::media {

class CNullRenderer::InputPin final : public CBaseInputPin {
 public:
  explicit InputPin(CNullRenderer* owner) : CBaseInputPin(owner, "In"), owner_(owner) {}
  HRESULT CheckMediaType(const CMediaType&) override { return S_OK; }
  HRESULT Receive(IMediaSample* sample) override {
    const HRESULT hr = CBaseInputPin::Receive(sample);
    if (hr == S_OK) owner_->received_.fetch_add(1, std::memory_order_relaxed);
    return hr;
  }

 private:
  CNullRenderer* const owner_;
};

CNullRenderer::CNullRenderer() : CBaseFilter("Null Renderer", CLSID_NullRenderer), input_(std::make_unique<InputPin>(this)) {}

CNullRenderer::~CNullRenderer() = default;

CBasePin* CNullRenderer::pin(int index) { return index == 0 ? input_.get() : nullptr; }

}  // namespace lessonry::media
