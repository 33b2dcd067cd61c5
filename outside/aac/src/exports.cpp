// The exported C interface of OxAACEncoder. Nothing throws across it.
#include <algorithm>
#include <new>

#include "aac_encoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

using lessonry::aac::AacEncoder;

namespace {
AacEncoder* instance(AACEncoderHandle h) { return static_cast<AacEncoder*>(h); }
}  // namespace

extern "C" {

AACEncoderHandle AACEncoderCreate(void) {
  // The encoder's statistics at close are information-level log lines; keep
  // them out of the host's output unless the host chose a level itself.
  if (av_log_get_level() == AV_LOG_INFO) av_log_set_level(AV_LOG_WARNING);
  return new (std::nothrow) AacEncoder();
}

HRESULT AACGetExtraData(AACEncoderHandle handle, const WAVEFORMATEX* format, BYTE* buffer, int32_t* length) {
  if (!handle || !format || !buffer || !length) return E_FAIL;
  try {
    auto ctx = lessonry::aac::openEncoder(*format);
    if (!ctx || !ctx->extradata || ctx->extradata_size <= 0 || ctx->extradata_size > 64) return E_FAIL;
    std::copy(ctx->extradata, ctx->extradata + ctx->extradata_size, buffer);
    *length = ctx->extradata_size;
    return S_OK;
  } catch (...) {
    return E_FAIL;
  }
}

HRESULT AACSetDataCallFunc(AACEncoderHandle handle, AACDataCallback callback, void* context) {
  if (!handle) return E_FAIL;
  instance(handle)->setCallback(callback, context);
  return S_OK;
}

HRESULT AACEncoderStart(AACEncoderHandle handle, const WAVEFORMATEX* format) {
  if (!handle || !format) return E_FAIL;
  try {
    return instance(handle)->start(*format);
  } catch (...) {
    return E_FAIL;
  }
}

HRESULT AACEncodeData(AACEncoderHandle handle, const BYTE* pcm, int32_t size, int64_t timeStampMs, int32_t*) {
  if (!handle) return E_FAIL;
  try {
    return instance(handle)->encode(pcm, size, timeStampMs);
  } catch (...) {
    return E_FAIL;
  }
}

HRESULT AACEncoderStop(AACEncoderHandle handle) {
  if (!handle) return E_FAIL;
  try {
    instance(handle)->stop(true);
  } catch (...) {
    return E_FAIL;
  }
  return S_OK;
}

void AACEncoderDelete(AACEncoderHandle handle) { delete instance(handle); }

}  // extern "C"
