// Render configuration interfaces of a pretend camera control: connected or
// not, counting users, holding a picture, recording which PCM callback is
// registered.
#pragma once

#include <cstring>
#include <vector>

#include "base/picture_format.h"
#include "filters/pinworks.h"

namespace lessonry::capture::testing {

struct FakeVideoRender : IOxVideoRenderConfig {
  bool connected = true;
  int users = 0;
  BITMAPINFOHEADER format{};
  OxBufferLock lock;
  std::vector<uint8_t> pixels;  // empty: no picture yet (GetVideoBuffer gives null)

  // A picture of one colour, bits 24 or 32 (B, G, R, pad), or another bit
  // count filled with the 16-bit word `word`; rows padded as a render stores them.
  void setPicture(int width, int height, int bits, uint8_t b, uint8_t g, uint8_t r, uint16_t word = 0) {
    format = BITMAPINFOHEADER{};
    format.biSize = sizeof(BITMAPINFOHEADER);
    format.biWidth = width;
    format.biHeight = height;
    format.biPlanes = 1;
    format.biBitCount = static_cast<WORD>(bits);
    const int stride = bits == 32 ? width * 4 : lessonry::dibStride(width, bits == 24 ? 24 : 16);
    format.biSizeImage = static_cast<DWORD>(stride * height);
    pixels.assign(format.biSizeImage, 0);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        uint8_t* p = &pixels[static_cast<size_t>(y) * stride + x * (bits == 32 ? 4 : bits == 24 ? 3 : 2)];
        if (bits == 24 || bits == 32) {
          p[0] = b;
          p[1] = g;
          p[2] = r;
        } else {
          std::memcpy(p, &word, 2);
        }
      }
  }
  HRESULT QueryInterface(REFIID, void** ppv) override {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return 1; }
  ULONG Release() override { return 1; }
  HRESULT AddFrameCallback(FrameCallback, void*) override { return S_OK; }
  HRESULT RemoveFrameCallback(FrameCallback, void*) override { return S_OK; }
  BITMAPINFOHEADER* GetVideoFormat() override { return &format; }
  int32_t IsConnected() override { return connected ? 1 : 0; }
  int32_t GetFrameCount() override { return 0; }
  OxBufferLock* GetBufferLock() override { return &lock; }
  uint8_t* GetVideoBuffer() override { return pixels.empty() ? nullptr : pixels.data(); }
  HRESULT SetInUse(BOOL inUse) override {
    users += inUse ? 1 : -1;
    return S_OK;
  }
  HRESULT SetBottomUp(int32_t) override { return S_OK; }
  HRESULT EnableDeInterlace(BOOL) override { return S_OK; }
};

struct FakeAudioRender : IOxAudioRenderConfig {
  bool connected = true;
  DataCallback callback = nullptr;
  void* context = nullptr;
  int registrations = 0;  // AddDataCallback calls
  WAVEFORMATEX format{};
  HRESULT QueryInterface(REFIID, void** ppv) override {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return 1; }
  ULONG Release() override { return 1; }
  HRESULT AddDataCallback(DataCallback cb, void* ctx) override {
    callback = cb;
    context = ctx;
    ++registrations;
    return S_OK;
  }
  HRESULT RemoveDataCallback(DataCallback, void*) override {
    callback = nullptr;
    context = nullptr;
    return S_OK;
  }
  int32_t IsConnected() override { return connected ? 1 : 0; }
  HRESULT SetLevelCallback(LevelCallback, void*) override { return S_OK; }
  WAVEFORMATEX* GetWaveFormat() override { return &format; }
};

}  // namespace lessonry::capture::testing
