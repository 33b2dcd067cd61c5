// The exported C interface of OxMp4Writer. Nothing throws across it.
#include <new>

#include "mp4_writer.h"
#include "ox_mp4_writer.h"

extern "C" {
#include <libavutil/log.h>
}

using lessonry::mp4::Mp4Writer;

namespace {
Mp4Writer* instance(MP4WriterHandle h) { return static_cast<Mp4Writer*>(h); }
}  // namespace

extern "C" {

MP4WriterHandle MP4CreateInstance(void) { return new (std::nothrow) Mp4Writer(); }

HRESULT MP4BeginWrite(MP4WriterHandle handle, const char* target, const BITMAPINFOHEADER* videoFormat,
                      const BYTE* parameterSets, int32_t parameterSetsLength, const WAVEFORMATEX* audioFormat,
                      const BYTE* audioConfig, int32_t audioConfigLength, int32_t live) {
  if (!handle || !target) return E_FAIL;
  if (live) return E_NOTIMPL;
  try {
    return instance(handle)->begin(target, videoFormat, parameterSets, parameterSetsLength, audioFormat, audioConfig,
                                   audioConfigLength);
  } catch (...) {
    return E_FAIL;
  }
}

HRESULT MP4WriteVideo(MP4WriterHandle handle, const BYTE* data, int32_t size, int32_t keyFrame, int64_t timeStampMs) {
  if (!handle) return E_FAIL;
  try {
    return instance(handle)->writeVideo(data, size, keyFrame != 0, timeStampMs);
  } catch (...) {
    return E_FAIL;
  }
}

HRESULT MP4WriteAudio(MP4WriterHandle handle, const BYTE* data, int32_t size, int64_t) {
  if (!handle) return E_FAIL;
  try {
    return instance(handle)->writeAudio(data, size);
  } catch (...) {
    return E_FAIL;
  }
}

HRESULT MP4EndWrite(MP4WriterHandle handle) {
  if (!handle) return E_FAIL;
  try {
    return instance(handle)->end();
  } catch (...) {
    return E_FAIL;
  }
}

void MP4DeleteInstance(MP4WriterHandle handle) {
  try {
    delete instance(handle);
  } catch (...) {
  }
}

}  // extern "C"
