#include "base/picture_format.h"

namespace lessonry {

BITMAPINFOHEADER makeBgr24Header(int32_t width, int32_t height, bool topDown) {
  BITMAPINFOHEADER h{};
  h.biSize = sizeof(BITMAPINFOHEADER);
  h.biWidth = width;
  h.biHeight = topDown ? -height : height;
  h.biPlanes = 1;
  h.biBitCount = 24;
  h.biCompression = BI_RGB;
  h.biSizeImage = static_cast<DWORD>(dibStride(width, 24)) * static_cast<DWORD>(height);
  return h;
}

WAVEFORMATEX makePcmFormat(uint16_t channels, uint32_t samplesPerSec, uint16_t bits) {
  WAVEFORMATEX w{};
  w.wFormatTag = WAVE_FORMAT_PCM;
  w.nChannels = channels;
  w.nSamplesPerSec = samplesPerSec;
  w.wBitsPerSample = bits;
  w.nBlockAlign = static_cast<WORD>(channels * bits / 8);
  w.nAvgBytesPerSec = samplesPerSec * w.nBlockAlign;
  w.cbSize = 0;
  return w;
}

}  // namespace lessonry
