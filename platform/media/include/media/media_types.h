// Media types of the media graph: what a pin's connection carries.
//
// A media type names a major type (video, audio), a subtype (pixel or sample
// layout) and a format type that says which record the format block holds
// (VIDEOINFOHEADER, VIDEOINFOHEADER2 or WAVEFORMATEX). AM_MEDIA_TYPE is the
// plain record that crosses interfaces; its format block is malloc'ed and
// freed with FreeMediaType. CMediaType owns a copy of one and is what code
// keeps. Records keep the field names of the Windows originals.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/rect.h"
#include "base/win_types.h"
#include "media/com.h"

extern "C" {

struct AM_MEDIA_TYPE {
  GUID majortype;
  GUID subtype;
  BOOL bFixedSizeSamples;
  BOOL bTemporalCompression;
  uint32_t lSampleSize;  // bytes of a fixed-size sample; 0 when variable
  GUID formattype;
  IUnknown* pUnk;        // unused, always null
  uint32_t cbFormat;     // bytes at pbFormat
  BYTE* pbFormat;        // owned by the record's holder (malloc)
};

struct VIDEOINFOHEADER {
  RECT rcSource;
  RECT rcTarget;
  DWORD dwBitRate;
  DWORD dwBitErrorRate;
  REFERENCE_TIME AvgTimePerFrame;  // 100 ns units
  BITMAPINFOHEADER bmiHeader;
};

struct VIDEOINFOHEADER2 {
  RECT rcSource;
  RECT rcTarget;
  DWORD dwBitRate;
  DWORD dwBitErrorRate;
  REFERENCE_TIME AvgTimePerFrame;
  DWORD dwInterlaceFlags;
  DWORD dwCopyProtectFlags;
  DWORD dwPictAspectRatioX;
  DWORD dwPictAspectRatioY;
  DWORD dwControlFlags;
  DWORD dwReserved2;
  BITMAPINFOHEADER bmiHeader;
};

}  // extern "C"

static_assert(sizeof(VIDEOINFOHEADER) == 88, "VIDEOINFOHEADER layout");
static_assert(sizeof(VIDEOINFOHEADER2) == 112, "VIDEOINFOHEADER2 layout");

// Frees the format block of mt (not mt itself) and clears the fields.
void FreeMediaType(AM_MEDIA_TYPE& mt);
// Deep copy of src into dst, which must hold no format block; E_OUTOFMEMORY
// leaves dst without a format.
HRESULT CopyMediaType(AM_MEDIA_TYPE* dst, const AM_MEDIA_TYPE* src);
// A heap copy of src (new), released with DeleteMediaType.
AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* src);
void DeleteMediaType(AM_MEDIA_TYPE* mt);

namespace lessonry::media {

// Owner of one media type and its format block.
class CMediaType : public AM_MEDIA_TYPE {
 public:
  CMediaType();
  explicit CMediaType(const GUID& major);
  CMediaType(const AM_MEDIA_TYPE& other);  // deep copy, implicit on purpose
  CMediaType(const CMediaType& other);
  CMediaType(CMediaType&& other) noexcept;
  CMediaType& operator=(const CMediaType& other);
  CMediaType& operator=(const AM_MEDIA_TYPE& other);
  CMediaType& operator=(CMediaType&& other) noexcept;
  ~CMediaType();

  // Replaces the format block with a copy of size bytes at data (zeros when
  // data is null).
  bool setFormat(const void* data, uint32_t size);
  template <typename T>
  bool setFormat(const T& record) { return setFormat(&record, sizeof(T)); }
  // The format block as T when it is at least sizeof(T) bytes, else null.
  template <typename T>
  const T* formatAs() const { return cbFormat >= sizeof(T) && pbFormat ? reinterpret_cast<const T*>(pbFormat) : nullptr; }
  void clear();
  // A type is partially specified when its major type, subtype or format
  // type is GUID_NULL; such a type matches any value there.
  bool isPartiallySpecified() const;
  // Every specified field of pattern equals ours.
  bool matchesPartial(const AM_MEDIA_TYPE& pattern) const;
};

bool operator==(const AM_MEDIA_TYPE& a, const AM_MEDIA_TYPE& b);  // fields and format bytes

// The picture header inside a VideoInfo or VideoInfo2 format block, or null
// for any other format type or a block too short for its record.
const BITMAPINFOHEADER* pictureHeader(const AM_MEDIA_TYPE& mt);
BITMAPINFOHEADER* pictureHeader(AM_MEDIA_TYPE& mt);
// The sound format of a WaveFormatEx block, or null.
const WAVEFORMATEX* waveFormat(const AM_MEDIA_TYPE& mt);

// Bytes of one uncompressed picture of subtype at width x |height|, or 0 for
// a subtype without a fixed layout or a size out of range (either side 0,
// negative width, more than 16384, odd where chroma is subsampled).
size_t pictureBytes(const GUID& subtype, int32_t width, int32_t height);
// Bit count of the subtype's pixels (24, 32, 16, 12), or 0.
int32_t subtypeBitCount(const GUID& subtype);
// The FOURCC stored in biCompression for the subtype (BI_RGB for RGB).
DWORD subtypeCompression(const GUID& subtype);

// A complete video type: VIDEOINFOHEADER of width x height in subtype, frame
// duration in 100 ns units; height < 0 marks a top-down RGB picture.
CMediaType makeVideoType(const GUID& subtype, int32_t width, int32_t height, REFERENCE_TIME frameDuration);
// A complete PCM type for the sound format.
CMediaType makeAudioType(const WAVEFORMATEX& format);

}  // namespace lessonry::media
