/* Records and result codes that cross library boundaries.
 *
 * Every exported C interface of Lessonry describes pictures with a
 * BITMAPINFOHEADER, sound with a WAVEFORMATEX and reports results as HRESULT
 * codes. The layouts are fixed (40 and 18 bytes, little-endian, packed as the
 * Windows originals) because stored files and the libraries on both sides of a
 * call rely on them. This header is plain C so that public library headers can
 * include it. */
#ifndef LESSONRY_BASE_WIN_TYPES_H
#define LESSONRY_BASE_WIN_TYPES_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef int32_t BOOL;
typedef uint32_t UINT;
typedef int32_t HRESULT;
typedef int64_t REFERENCE_TIME; /* media-graph time, 100 ns units */

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)
#define E_NOTIMPL ((HRESULT)0x80004001L)
#define E_NOINTERFACE ((HRESULT)0x80004002L)
#define E_POINTER ((HRESULT)0x80004003L)
#define E_ABORT ((HRESULT)0x80004004L)
#define E_FAIL ((HRESULT)0x80004005L)
#define E_UNEXPECTED ((HRESULT)0x8000FFFFL)
#define E_OUTOFMEMORY ((HRESULT)0x8007000EL)
#define E_INVALIDARG ((HRESULT)0x80070057L)
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)

/* Picture format. A positive biHeight marks a bottom-up picture, a negative
 * one a top-down picture. */
#pragma pack(push, 2)
typedef struct BITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
} BITMAPINFOHEADER;
#pragma pack(pop)

#define BI_RGB 0u

/* Sound format; 18 bytes, cbSize extra bytes follow when non-zero. */
#pragma pack(push, 1)
typedef struct WAVEFORMATEX {
  WORD wFormatTag;
  WORD nChannels;
  DWORD nSamplesPerSec;
  DWORD nAvgBytesPerSec;
  WORD nBlockAlign;
  WORD wBitsPerSample;
  WORD cbSize;
} WAVEFORMATEX;
#pragma pack(pop)

#define WAVE_FORMAT_PCM 1

#ifdef __cplusplus
} /* extern "C" */

static_assert(sizeof(BITMAPINFOHEADER) == 40, "BITMAPINFOHEADER is 40 bytes");
static_assert(sizeof(WAVEFORMATEX) == 18, "WAVEFORMATEX is 18 bytes");
#endif

#endif /* LESSONRY_BASE_WIN_TYPES_H */
