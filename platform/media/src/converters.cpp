// Picture and sound converters (see converters.h).
#include "media/converters.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include "base/picture_format.h"
#include "media/media_guids.h"
#include "media/picture_planes.h"

namespace lessonry::media {
namespace {

const GUID* const kPictureSubtypes[] = {&MEDIASUBTYPE_YV12, &MEDIASUBTYPE_YUY2, &MEDIASUBTYPE_RGB32,
                                        &MEDIASUBTYPE_RGB24, &MEDIASUBTYPE_I420, &MEDIASUBTYPE_NV12};

bool isPictureSubtype(const GUID& subtype) {
  for (const GUID* s : kPictureSubtypes)
    if (*s == subtype) return true;
  return false;
}

// The picture header of an uncompressed video type of a known layout whose
// size agrees with its samples; null otherwise.
const BITMAPINFOHEADER* checkedPicture(const CMediaType& mt) {
  if (mt.majortype != MEDIATYPE_Video || !isPictureSubtype(mt.subtype)) return nullptr;
  const BITMAPINFOHEADER* header = pictureHeader(mt);
  if (!header) return nullptr;
  const size_t bytes = pictureBytes(mt.subtype, header->biWidth, header->biHeight);
  if (!bytes) return nullptr;
  if (mt.bFixedSizeSamples && mt.lSampleSize && mt.lSampleSize < bytes) return nullptr;
  return header;
}

REFERENCE_TIME frameDuration(const CMediaType& mt) {
  if (const auto* vih = mt.formatAs<VIDEOINFOHEADER>(); vih && mt.formattype == FORMAT_VideoInfo)
    return vih->AvgTimePerFrame;
  if (const auto* vih2 = mt.formatAs<VIDEOINFOHEADER2>(); vih2 && mt.formattype == FORMAT_VideoInfo2)
    return vih2->AvgTimePerFrame;
  return 0;
}

const WAVEFORMATEX kOutputFormat = makePcmFormat();

bool acceptableInputPcm(const WAVEFORMATEX& f) {
  return f.wFormatTag == WAVE_FORMAT_PCM && f.nChannels >= 1 && f.nChannels <= 8 &&
         (f.wBitsPerSample == 8 || f.wBitsPerSample == 16 || f.wBitsPerSample == 32) &&
         f.nBlockAlign == f.nChannels * f.wBitsPerSample / 8 && f.nSamplesPerSec >= 1000 &&
         f.nSamplesPerSec <= 384000;
}

AVSampleFormat sampleFormat(int bits) {
  return bits == 8 ? AV_SAMPLE_FMT_U8 : bits == 16 ? AV_SAMPLE_FMT_S16 : AV_SAMPLE_FMT_S32;
}

}  // namespace

// ------------------------------------------------------------ CVideoConverter

CVideoConverter::CVideoConverter() : CTransformFilter("Video Converter", CLSID_VideoConverter) {}

CVideoConverter::~CVideoConverter() = default;

HRESULT CVideoConverter::CheckInputType(const CMediaType& in) { return checkedPicture(in) ? S_OK : E_FAIL; }

HRESULT CVideoConverter::CheckTransform(const CMediaType& in, const CMediaType& out) {
  const BITMAPINFOHEADER* from = checkedPicture(in);
  const BITMAPINFOHEADER* to = checkedPicture(out);
  if (!from || !to) return E_FAIL;
  const bool sameSize = from->biWidth == to->biWidth && std::abs(from->biHeight) == std::abs(to->biHeight);
  return sameSize ? S_OK : E_FAIL;
}

HRESULT CVideoConverter::GetOutputType(const CMediaType& in, int position, CMediaType* out) {
  const BITMAPINFOHEADER* from = checkedPicture(in);
  if (!from) return VFW_S_NO_MORE_ITEMS;
  int index = 0;
  for (const GUID* subtype : kPictureSubtypes) {
    if (*subtype == in.subtype) continue;
    if (!pictureBytes(*subtype, from->biWidth, from->biHeight)) continue;
    if (index++ == position) {
      // RGB goes out bottom-up, the layout its consumers expect.
      *out = makeVideoType(*subtype, from->biWidth, std::abs(from->biHeight), frameDuration(in));
      return S_OK;
    }
  }
  return VFW_S_NO_MORE_ITEMS;
}

HRESULT CVideoConverter::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  const BITMAPINFOHEADER* to = checkedPicture(output()->mediaType());
  if (!to) return E_UNEXPECTED;
  ALLOCATOR_PROPERTIES wanted = *request;
  wanted.cBuffers = std::max(wanted.cBuffers, 2);
  wanted.cbBuffer = static_cast<int32_t>(pictureBytes(output()->mediaType().subtype, to->biWidth, to->biHeight));
  wanted.cbAlign = std::max(wanted.cbAlign, 16);
  ALLOCATOR_PROPERTIES actual{};
  const HRESULT hr = allocator->SetProperties(&wanted, &actual);
  if (FAILED(hr)) return hr;
  return actual.cbBuffer >= wanted.cbBuffer ? S_OK : E_FAIL;
}

HRESULT CVideoConverter::Receive(IMediaSample* in) {
  const CMediaType& inType = input()->mediaType();
  const CMediaType& outType = output()->mediaType();
  const BITMAPINFOHEADER* from = pictureHeader(inType);
  const BITMAPINFOHEADER* to = pictureHeader(outType);
  BYTE* inData = nullptr;
  in->GetPointer(&inData);
  PicturePlanes src, dst;
  if (!from || !to || !describePicture(inType.subtype, from->biWidth, from->biHeight, inData, &src)) return E_UNEXPECTED;
  // A sample shorter than its picture is dropped, never read past.
  if (in->GetActualDataLength() < 0 || size_t(in->GetActualDataLength()) < src.bytes) return S_OK;
  ComPtr<IMediaSample> out;
  HRESULT hr = output()->GetDeliveryBuffer(out.put(), nullptr, nullptr, 0);
  if (FAILED(hr)) return hr;
  BYTE* outData = nullptr;
  out->GetPointer(&outData);
  if (!describePicture(outType.subtype, to->biWidth, to->biHeight, outData, &dst) ||
      size_t(out->GetSize()) < dst.bytes)
    return E_UNEXPECTED;
  const int lines = std::abs(from->biHeight);
  if (!scaler_.prepare(from->biWidth, lines, src.format, dst.format, SWS_BICUBIC)) return E_FAIL;
  if (!scaler_.scale(src.planes, src.strides, dst.planes, dst.strides)) return E_FAIL;
  out->SetActualDataLength(static_cast<int32_t>(dst.bytes));
  copySampleProperties(in, out.get());
  return output()->Deliver(out.get());
}

// ------------------------------------------------------------ CAudioConverter

void CAudioConverter::SwrDeleter::operator()(SwrContext* context) const { swr_free(&context); }

CAudioConverter::CAudioConverter() : CTransformFilter("Audio Converter", CLSID_AudioConverter) {}

CAudioConverter::~CAudioConverter() = default;

HRESULT CAudioConverter::CheckInputType(const CMediaType& in) {
  if (in.majortype != MEDIATYPE_Audio || in.subtype != MEDIASUBTYPE_PCM) return E_FAIL;
  const WAVEFORMATEX* f = waveFormat(in);
  return f && acceptableInputPcm(*f) ? S_OK : E_FAIL;
}

HRESULT CAudioConverter::CheckTransform(const CMediaType& in, const CMediaType& out) {
  if (FAILED(CheckInputType(in))) return E_FAIL;
  const WAVEFORMATEX* f = waveFormat(out);
  if (out.majortype != MEDIATYPE_Audio || out.subtype != MEDIASUBTYPE_PCM || !f) return E_FAIL;
  return std::memcmp(f, &kOutputFormat, sizeof(WAVEFORMATEX)) == 0 ? S_OK : E_FAIL;
}

HRESULT CAudioConverter::GetOutputType(const CMediaType& in, int position, CMediaType* out) {
  if (position != 0 || FAILED(CheckInputType(in))) return VFW_S_NO_MORE_ITEMS;
  *out = makeAudioType(kOutputFormat);
  return S_OK;
}

HRESULT CAudioConverter::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  ALLOCATOR_PROPERTIES wanted = *request;
  wanted.cBuffers = std::max(wanted.cBuffers, 4);
  // A quarter of a second each; longer input blocks leave in several samples.
  wanted.cbBuffer = std::max<int32_t>(wanted.cbBuffer, int32_t(kOutputFormat.nAvgBytesPerSec / 4));
  wanted.cbBuffer -= wanted.cbBuffer % kOutputFormat.nBlockAlign;
  ALLOCATOR_PROPERTIES actual{};
  return allocator->SetProperties(&wanted, &actual);
}

HRESULT CAudioConverter::SetInputType(const CMediaType& in) {
  const WAVEFORMATEX* f = waveFormat(in);
  if (!f) return E_FAIL;
  AVChannelLayout inLayout{}, outLayout{};
  av_channel_layout_default(&inLayout, f->nChannels);
  av_channel_layout_default(&outLayout, kOutputFormat.nChannels);
  SwrContext* context = nullptr;
  const int rc = swr_alloc_set_opts2(&context, &outLayout, AV_SAMPLE_FMT_S16, int(kOutputFormat.nSamplesPerSec),
                                     &inLayout, sampleFormat(f->wBitsPerSample), int(f->nSamplesPerSec), 0, nullptr);
  av_channel_layout_uninit(&inLayout);
  av_channel_layout_uninit(&outLayout);
  std::unique_ptr<SwrContext, SwrDeleter> owner(context);
  if (rc < 0 || !owner || swr_init(owner.get()) < 0) return E_FAIL;
  resampler_ = std::move(owner);
  timeKnown_ = false;
  return S_OK;
}

HRESULT CAudioConverter::Receive(IMediaSample* in) {
  const WAVEFORMATEX* f = waveFormat(input()->mediaType());
  if (!f || !resampler_) return E_UNEXPECTED;
  BYTE* inData = nullptr;
  in->GetPointer(&inData);
  const int32_t length = std::max(in->GetActualDataLength(), 0);
  const int inFrames = length / f->nBlockAlign;  // a partial frame at the end is not read
  REFERENCE_TIME start = 0, stop = 0;
  if (SUCCEEDED(in->GetTime(&start, &stop)) && (!timeKnown_ || in->IsDiscontinuity() == S_OK)) {
    nextTime_ = start;
    timeKnown_ = true;
  }
  const uint8_t* source = inData;
  int pending = inFrames;
  bool first = true;
  for (;;) {
    ComPtr<IMediaSample> out;
    HRESULT hr = output()->GetDeliveryBuffer(out.put(), nullptr, nullptr, 0);
    if (FAILED(hr)) return hr;
    BYTE* outData = nullptr;
    out->GetPointer(&outData);
    const int capacity = out->GetSize() / kOutputFormat.nBlockAlign;
    uint8_t* target = outData;
    const int made = swr_convert(resampler_.get(), &target, capacity, pending ? &source : nullptr, pending);
    pending = 0;  // the resampler keeps whatever did not fit
    if (made <= 0) return made < 0 ? E_FAIL : S_OK;
    out->SetActualDataLength(made * kOutputFormat.nBlockAlign);
    REFERENCE_TIME outStart = nextTime_;
    REFERENCE_TIME outStop = outStart + REFERENCE_TIME(made) * 10000000 / kOutputFormat.nSamplesPerSec;
    nextTime_ = outStop;
    out->SetTime(&outStart, &outStop);
    out->SetSyncPoint(TRUE);
    out->SetDiscontinuity(first && in->IsDiscontinuity() == S_OK);
    first = false;
    hr = output()->Deliver(out.get());
    if (hr != S_OK) return hr;
    if (made < capacity) return S_OK;
  }
}

}  // namespace lessonry::media
