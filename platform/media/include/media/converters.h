// The converters the graph inserts when two pins share no media type.
//
// CVideoConverter changes the pixel layout of uncompressed pictures between
// RGB24, RGB32, YUY2, YV12, I420 and NV12 at the same size (libswscale); it
// offers YV12, YUY2, RGB32, RGB24, I420 and NV12 in that order, cheapest for
// a YUV source first. CAudioConverter turns any integer PCM (8, 16 or 32
// bits, 1 to 8 channels, 1000 to 384000 Hz) into the recorder's one format,
// 44100 Hz stereo 16-bit (libswresample), keeping the stream's times.
// Both receive on the upstream's streaming thread under their filter lock.
#pragma once

#include <memory>

#include "media/sws_context.h"
#include "media/transform_filter.h"

struct SwrContext;

namespace lessonry::media {

class CVideoConverter final : public CTransformFilter {
 public:
  CVideoConverter();

  HRESULT CheckInputType(const CMediaType& in) override;
  HRESULT CheckTransform(const CMediaType& in, const CMediaType& out) override;
  HRESULT GetOutputType(const CMediaType& in, int position, CMediaType* out) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
  HRESULT Receive(IMediaSample* in) override;

 private:
  ~CVideoConverter() override;
  SwsContextOwner scaler_;
};

class CAudioConverter final : public CTransformFilter {
 public:
  CAudioConverter();

  HRESULT CheckInputType(const CMediaType& in) override;
  HRESULT CheckTransform(const CMediaType& in, const CMediaType& out) override;
  HRESULT GetOutputType(const CMediaType& in, int position, CMediaType* out) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
  HRESULT SetInputType(const CMediaType& in) override;
  HRESULT Receive(IMediaSample* in) override;

 private:
  struct SwrDeleter {
    void operator()(SwrContext* context) const;
  };
  ~CAudioConverter() override;
  std::unique_ptr<SwrContext, SwrDeleter> resampler_;
  REFERENCE_TIME nextTime_ = 0;
  bool timeKnown_ = false;
};

}  // namespace lessonry::media
