// Render configuration interfaces of a pretend camera control: connected or
// not, counting users, recording which PCM callback is registered.
#pragma once

#include "filters/pinworks.h"

namespace lessonry::capture::testing {

struct FakeVideoRender : IOxVideoRenderConfig {
  bool connected = true;
  int users = 0;
  BITMAPINFOHEADER format{};
  OxBufferLock lock;
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
  uint8_t* GetVideoBuffer() override { return nullptr; }
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
