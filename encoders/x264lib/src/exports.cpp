// The exported C interface of OxLib264Encoder. Nothing throws across it.
#include <new>

#include "ox_lib264_encoder.h"
#include "x264_encoder.h"

using lessonry::x264lib::X264Encoder;

namespace {

X264Encoder* instance(H264EncoderHandle handle) { return static_cast<X264Encoder*>(handle); }

}  // namespace

extern "C" {

H264EncoderHandle H264EncoderCreate(void) { return new (std::nothrow) X264Encoder(); }

HRESULT H264GetSPSInfo(H264EncoderHandle, const BITMAPINFOHEADER* format, int32_t bitRateKbps, BYTE* buffer,
                       int32_t* length) {
  if (!format || !buffer || !length) return E_FAIL;
  try {
    std::vector<uint8_t> sets;
    if (X264Encoder::parameterSets(format->biWidth, format->biHeight < 0 ? -format->biHeight : format->biHeight,
                                   bitRateKbps, sets) != S_OK)
      return E_FAIL;
    std::copy(sets.begin(), sets.end(), buffer);
    *length = static_cast<int32_t>(sets.size());
    return S_OK;
  } catch (...) {
    return E_FAIL;
  }
}

HRESULT H264EncoderStart(H264EncoderHandle handle, const BITMAPINFOHEADER* format, int32_t bitRateKbps) {
  if (!handle || !format) return E_FAIL;
  try {
    return instance(handle)->start(*format, bitRateKbps);
  } catch (...) {
    return E_FAIL;
  }
}

HRESULT H264EncodeData(H264EncoderHandle handle, const BYTE* picture, int32_t, int64_t pts, BYTE** outData,
                       int32_t* outSize, int64_t* outPts, int32_t* outKeyFrame) {
  if (outSize) *outSize = 0;
  if (!handle) return S_OK;
  try {
    X264Encoder::Output out;
    if (!instance(handle)->encode(picture, pts, out)) return S_OK;
    if (!outData || !outSize) return S_OK;  // encoded, nothing reported
    *outData = out.data;
    *outSize = out.size;
    if (outPts) *outPts = out.pts;
    if (outKeyFrame) *outKeyFrame = out.keyFrame;
  } catch (...) {
  }
  return S_OK;
}

HRESULT H264ForceKeyFrame(H264EncoderHandle handle) {
  if (!handle) return E_FAIL;
  instance(handle)->forceKeyFrame();
  return S_OK;
}

HRESULT H264EncoderStop(H264EncoderHandle handle) {
  if (!handle) return E_FAIL;
  instance(handle)->stop();
  return S_OK;
}

void H264EncoderDelete(H264EncoderHandle handle) { delete instance(handle); }

}  // extern "C"
