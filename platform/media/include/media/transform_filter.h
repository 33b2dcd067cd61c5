// Base class of a filter with one input and one output pin that turns each
// input sample into one or more output samples (the converters).
//
// The receive runs on the upstream's streaming thread under the filter lock:
// take an output sample, Transform into it, deliver it downstream. The output
// pin proposes the types GetOutputType lists for the connected input type, so
// the input must connect first. Lock order: this filter's lock, then the
// downstream filter's (deliveries go downstream only).
#pragma once

#include <memory>

#include "media/base_filter.h"

namespace lessonry::media {

class CTransformFilter;

class CTransformInputPin final : public CBaseInputPin {
 public:
  explicit CTransformInputPin(CTransformFilter* filter);
  HRESULT CheckMediaType(const CMediaType& mt) override;
  HRESULT SetMediaType(const CMediaType& mt) override;
  HRESULT Receive(IMediaSample* sample) override;
  HRESULT EndOfStream() override;
  HRESULT BeginFlush() override;
  HRESULT EndFlush() override;
  HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;
  HRESULT BreakConnect() override;

 private:
  CTransformFilter* const owner_;
};

class CTransformOutputPin final : public CBaseOutputPin {
 public:
  explicit CTransformOutputPin(CTransformFilter* filter);
  HRESULT CheckMediaType(const CMediaType& mt) override;
  HRESULT GetMediaType(int position, CMediaType* mt) override;
  HRESULT SetMediaType(const CMediaType& mt) override;
  HRESULT CheckConnect(IPin* pin) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

 private:
  CTransformFilter* const owner_;
};

class CTransformFilter : public CBaseFilter {
 public:
  CTransformFilter(const char* name, const CLSID& clsid);
  ~CTransformFilter() override;

  int pinCount() override { return 2; }
  CBasePin* pin(int index) override;
  CTransformInputPin* input() { return input_.get(); }
  CTransformOutputPin* output() { return output_.get(); }

  // For subclasses.
  virtual HRESULT CheckInputType(const CMediaType& in) = 0;
  virtual HRESULT CheckTransform(const CMediaType& in, const CMediaType& out) = 0;
  virtual HRESULT GetOutputType(const CMediaType& in, int position, CMediaType* out) = 0;
  virtual HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) = 0;
  // Called when a pin's type is set (input first, then output).
  virtual HRESULT SetInputType(const CMediaType&) { return S_OK; }
  virtual HRESULT SetOutputType(const CMediaType&) { return S_OK; }
  // One input sample: fill output samples from the output pin's allocator
  // and deliver them through output()->Deliver.
  virtual HRESULT Receive(IMediaSample* in) = 0;
  virtual HRESULT EndOfStream();

 protected:
  // Copies times and flags of in to out.
  static void copySampleProperties(IMediaSample* in, IMediaSample* out);

  std::unique_ptr<CTransformInputPin> input_;
  std::unique_ptr<CTransformOutputPin> output_;
};

}  // namespace lessonry::media
