// Test helper: an upstream filter with one output pin of a chosen media type
// that pushes hand-made samples into a render's input pin.
#pragma once

#include <cstring>
#include <vector>

#include "media/base_filter.h"

namespace lessonry::filters::testing {

class Feeder final : public media::CBaseFilter {
 public:
  explicit Feeder(const media::CMediaType& type) : CBaseFilter("Feeder", GUID_NULL), type_(type), out_(this) {}
  int pinCount() override { return 1; }
  media::CBasePin* pin(int i) override { return i == 0 ? &out_ : nullptr; }

  // Connects to input under the feeder's type; the input's answer.
  HRESULT connect(IPin* input) { return out_.Connect(input, &type_); }
  // Fills one sample with bytes (length may be shorter than the buffer) and
  // delivers it; the receive's result.
  HRESULT send(const std::vector<uint8_t>& bytes, REFERENCE_TIME start = 0, int32_t length = -1) {
    ComPtr<IMediaSample> sample;
    HRESULT hr = out_.GetDeliveryBuffer(sample.put(), nullptr, nullptr, 0);
    if (FAILED(hr)) return hr;
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    std::memcpy(data, bytes.data(), std::min<size_t>(bytes.size(), size_t(sample->GetSize())));
    sample->SetActualDataLength(length >= 0 ? length : int32_t(bytes.size()));
    REFERENCE_TIME stop = start + 1;
    sample->SetTime(&start, &stop);
    return out_.Deliver(sample.get());
  }
  IPin* output() { return &out_; }

 private:
  class Out final : public media::CBaseOutputPin {
   public:
    explicit Out(Feeder* owner) : CBaseOutputPin(owner, "Out"), owner_(owner) {}
    HRESULT CheckMediaType(const media::CMediaType&) override { return S_OK; }
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES*) override {
      const uint32_t size = std::max<uint32_t>(owner_->type_.lSampleSize, 1 << 16);
      ALLOCATOR_PROPERTIES wanted{2, int32_t(std::min<uint32_t>(size, 64u << 20)), 16, 0}, actual{};
      return allocator->SetProperties(&wanted, &actual);
    }

   private:
    Feeder* const owner_;
  };
  ~Feeder() override = default;
  media::CMediaType type_;
  Out out_;
};

}  // namespace lessonry::filters::testing
