// Media type records and helpers (see media_types.h).
#include "media/media_types.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "base/picture_format.h"
#include "media/media_guids.h"

void FreeMediaType(AM_MEDIA_TYPE& mt) {
  std::free(mt.pbFormat);
  mt.pbFormat = nullptr;
  mt.cbFormat = 0;
  mt.formattype = GUID_NULL;
  mt.pUnk = nullptr;
}

HRESULT CopyMediaType(AM_MEDIA_TYPE* dst, const AM_MEDIA_TYPE* src) {
  if (!dst || !src) return E_POINTER;
  *dst = *src;
  dst->pUnk = nullptr;
  dst->pbFormat = nullptr;
  dst->cbFormat = 0;
  if (src->cbFormat && src->pbFormat) {
    dst->pbFormat = static_cast<BYTE*>(std::malloc(src->cbFormat));
    if (!dst->pbFormat) return E_OUTOFMEMORY;
    std::memcpy(dst->pbFormat, src->pbFormat, src->cbFormat);
    dst->cbFormat = src->cbFormat;
  }
  return S_OK;
}

AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* src) {
  auto* mt = new (std::nothrow) AM_MEDIA_TYPE{};
  if (!mt) return nullptr;
  if (src && FAILED(CopyMediaType(mt, src))) {
    delete mt;
    return nullptr;
  }
  return mt;
}

void DeleteMediaType(AM_MEDIA_TYPE* mt) {
  if (!mt) return;
  FreeMediaType(*mt);
  delete mt;
}

namespace lessonry::media {

bool operator==(const AM_MEDIA_TYPE& a, const AM_MEDIA_TYPE& b) {
  if (a.majortype != b.majortype || a.subtype != b.subtype || a.formattype != b.formattype ||
      a.bFixedSizeSamples != b.bFixedSizeSamples || a.bTemporalCompression != b.bTemporalCompression ||
      a.lSampleSize != b.lSampleSize || a.cbFormat != b.cbFormat)
    return false;
  return a.cbFormat == 0 || std::memcmp(a.pbFormat, b.pbFormat, a.cbFormat) == 0;
}


CMediaType::CMediaType() : AM_MEDIA_TYPE{} {}

CMediaType::CMediaType(const GUID& major) : AM_MEDIA_TYPE{} { majortype = major; }

CMediaType::CMediaType(const AM_MEDIA_TYPE& other) : AM_MEDIA_TYPE{} { CopyMediaType(this, &other); }

CMediaType::CMediaType(const CMediaType& other) : AM_MEDIA_TYPE{} { CopyMediaType(this, &other); }

CMediaType::CMediaType(CMediaType&& other) noexcept : AM_MEDIA_TYPE(static_cast<AM_MEDIA_TYPE&>(other)) {
  other.pbFormat = nullptr;
  other.cbFormat = 0;
}

CMediaType& CMediaType::operator=(const CMediaType& other) {
  return *this = static_cast<const AM_MEDIA_TYPE&>(other);
}

CMediaType& CMediaType::operator=(const AM_MEDIA_TYPE& other) {
  if (&other == this) return *this;
  CMediaType copy(other);
  return *this = std::move(copy);
}

CMediaType& CMediaType::operator=(CMediaType&& other) noexcept {
  if (&other == this) return *this;
  FreeMediaType(*this);
  static_cast<AM_MEDIA_TYPE&>(*this) = static_cast<AM_MEDIA_TYPE&>(other);
  other.pbFormat = nullptr;
  other.cbFormat = 0;
  return *this;
}

CMediaType::~CMediaType() { FreeMediaType(*this); }

bool CMediaType::setFormat(const void* data, uint32_t size) {
  BYTE* block = nullptr;
  if (size) {
    block = static_cast<BYTE*>(std::calloc(1, size));
    if (!block) return false;
    if (data) std::memcpy(block, data, size);
  }
  std::free(pbFormat);
  pbFormat = block;
  cbFormat = size;
  return true;
}

void CMediaType::clear() {
  FreeMediaType(*this);
  static_cast<AM_MEDIA_TYPE&>(*this) = AM_MEDIA_TYPE{};
}

bool CMediaType::isPartiallySpecified() const {
  return majortype == GUID_NULL || subtype == GUID_NULL || formattype == GUID_NULL;
}

bool CMediaType::matchesPartial(const AM_MEDIA_TYPE& pattern) const {
  if (pattern.majortype != GUID_NULL && pattern.majortype != majortype) return false;
  if (pattern.subtype != GUID_NULL && pattern.subtype != subtype) return false;
  if (pattern.formattype != GUID_NULL) {
    if (pattern.formattype != formattype) return false;
    if (pattern.cbFormat &&
        (pattern.cbFormat != cbFormat || std::memcmp(pattern.pbFormat, pbFormat, cbFormat) != 0))
      return false;
  }
  return true;
}

const BITMAPINFOHEADER* pictureHeader(const AM_MEDIA_TYPE& mt) {
  if (!mt.pbFormat) return nullptr;
  if (mt.formattype == FORMAT_VideoInfo && mt.cbFormat >= sizeof(VIDEOINFOHEADER))
    return &reinterpret_cast<const VIDEOINFOHEADER*>(mt.pbFormat)->bmiHeader;
  if (mt.formattype == FORMAT_VideoInfo2 && mt.cbFormat >= sizeof(VIDEOINFOHEADER2))
    return &reinterpret_cast<const VIDEOINFOHEADER2*>(mt.pbFormat)->bmiHeader;
  return nullptr;
}

BITMAPINFOHEADER* pictureHeader(AM_MEDIA_TYPE& mt) {
  return const_cast<BITMAPINFOHEADER*>(pictureHeader(static_cast<const AM_MEDIA_TYPE&>(mt)));
}

const WAVEFORMATEX* waveFormat(const AM_MEDIA_TYPE& mt) {
  if (mt.formattype != FORMAT_WaveFormatEx || !mt.pbFormat || mt.cbFormat < sizeof(WAVEFORMATEX)) return nullptr;
  return reinterpret_cast<const WAVEFORMATEX*>(mt.pbFormat);
}

int32_t subtypeBitCount(const GUID& subtype) {
  if (subtype == MEDIASUBTYPE_RGB24) return 24;
  if (subtype == MEDIASUBTYPE_RGB32) return 32;
  if (subtype == MEDIASUBTYPE_YUY2) return 16;
  if (subtype == MEDIASUBTYPE_YV12 || subtype == MEDIASUBTYPE_I420 || subtype == MEDIASUBTYPE_NV12) return 12;
  return 0;
}

DWORD subtypeCompression(const GUID& subtype) {
  if (subtype == MEDIASUBTYPE_RGB24 || subtype == MEDIASUBTYPE_RGB32) return BI_RGB;
  return subtype.Data1;  // the FOURCC of a FOURCC subtype
}

size_t pictureBytes(const GUID& subtype, int32_t width, int32_t height) {
  constexpr int32_t kMaxSide = 16384;
  const int64_t lines = height < 0 ? -int64_t(height) : height;
  if (width <= 0 || lines == 0 || width > kMaxSide || lines > kMaxSide) return 0;
  if (subtype == MEDIASUBTYPE_RGB24 || subtype == MEDIASUBTYPE_RGB32)
    return size_t(dibStride(width, subtypeBitCount(subtype))) * size_t(lines);
  if (subtype == MEDIASUBTYPE_YUY2) return width % 2 ? 0 : size_t(width) * 2 * size_t(lines);
  if (subtype == MEDIASUBTYPE_YV12 || subtype == MEDIASUBTYPE_I420 || subtype == MEDIASUBTYPE_NV12)
    return (width % 2 || lines % 2) ? 0 : size_t(width) * size_t(lines) * 3 / 2;
  return 0;
}

CMediaType makeVideoType(const GUID& subtype, int32_t width, int32_t height, REFERENCE_TIME frameDuration) {
  CMediaType mt(MEDIATYPE_Video);
  mt.subtype = subtype;
  mt.formattype = FORMAT_VideoInfo;
  mt.bFixedSizeSamples = TRUE;
  mt.bTemporalCompression = FALSE;
  VIDEOINFOHEADER vih{};
  vih.AvgTimePerFrame = frameDuration;
  vih.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  vih.bmiHeader.biWidth = width;
  // YUV layouts are top-down by definition; only RGB carries a sign.
  const bool rgb = subtype == MEDIASUBTYPE_RGB24 || subtype == MEDIASUBTYPE_RGB32;
  vih.bmiHeader.biHeight = rgb ? height : (height < 0 ? -height : height);
  vih.bmiHeader.biPlanes = 1;
  vih.bmiHeader.biBitCount = static_cast<WORD>(subtypeBitCount(subtype));
  vih.bmiHeader.biCompression = subtypeCompression(subtype);
  vih.bmiHeader.biSizeImage = static_cast<DWORD>(pictureBytes(subtype, width, height));
  mt.lSampleSize = vih.bmiHeader.biSizeImage;
  if (frameDuration > 0)
    vih.dwBitRate = static_cast<DWORD>(int64_t(vih.bmiHeader.biSizeImage) * 8 * 10000000 / frameDuration);
  mt.setFormat(vih);
  return mt;
}

CMediaType makeAudioType(const WAVEFORMATEX& format) {
  CMediaType mt(MEDIATYPE_Audio);
  mt.subtype = MEDIASUBTYPE_PCM;
  mt.formattype = FORMAT_WaveFormatEx;
  mt.bFixedSizeSamples = TRUE;
  mt.bTemporalCompression = FALSE;
  mt.lSampleSize = format.nBlockAlign;
  mt.setFormat(format);
  return mt;
}

}  // namespace lessonry::media
