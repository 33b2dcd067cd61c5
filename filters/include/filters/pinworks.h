// Pinworks: the filter pack's public interface for the capture control.
//
// Three media-graph filters, created by class id (CoCreateInstance after the
// library's DllRegisterServer): the video render and the audio render, sinks
// that hand pictures and sound to callbacks and keep the latest picture, and
// the remote receiver, a source fed by a video plug-in. Each answers
// IBaseFilter and its configuration interface (a sub-object sharing the
// filter's reference count).
//
// Ownership: every pointer a method returns (format, buffer, lock) belongs to
// the filter and stays valid while the filter lives; the buffer and format
// are replaced at a reconnection, which happens only while the graph is
// stopped. Callbacks are (function, context) pairs; the context is handed
// back unchanged; the filter never frees it. Contexts and buffer addresses
// are pointer-sized. Nothing throws across these interfaces.
#pragma once

#include <atomic>
#include <cstdint>

#include "base/critical_section.h"
#include "base/win_types.h"
#include "com/guid.h"
#include "com/unknown.h"

constexpr CLSID CLSID_OxVideoRender = lessonry::com::makeGuid("{4F0F56ED-CC5C-4A98-9F90-38697E5D22F4}");
constexpr CLSID CLSID_OxAudioRender = lessonry::com::makeGuid("{99979F05-2B79-47E6-9345-A8A660FF80BD}");
constexpr CLSID CLSID_OxRemoteReceiver = lessonry::com::makeGuid("{FEF13A80-B7EE-45BA-B49B-D7481D702C13}");
constexpr IID IID_IOxVideoRenderConfig = lessonry::com::makeGuid("{EEE08EC4-EE45-47B8-A685-16C044125247}");
constexpr IID IID_IOxAudioRenderConfig = lessonry::com::makeGuid("{1CA718D9-300A-45F7-B7F3-D974D5373E3A}");
constexpr IID IID_IOxRemoteReceiverConfig = lessonry::com::makeGuid("{4A92ACA9-24ED-4300-9EDC-A064BDC762A6}");

// Filter names, under which the capture control adds the filters to a graph.
inline constexpr char kOxVideoRenderName[] = "Ox Video Render";
inline constexpr char kOxAudioRenderName[] = "Ox Audio Render";
inline constexpr char kOxRemoteReceiverName[] = "Ox Remote Receiver";

// Block kinds of SampleInfo.
constexpr int32_t kSampleKindPicture = 2001;
constexpr int32_t kSampleKindPcm = 2000;

// The description passed with every block.
struct SampleInfo {
  int32_t kind;       // kSampleKindPicture or kSampleKindPcm
  int32_t size;       // bytes of the block
  int64_t startTime;  // the media sample's start, 100 ns units; 0 when unstamped
};
static_assert(sizeof(SampleInfo) == 16, "SampleInfo layout");

// A new picture (video render) or block of PCM (audio render); called on the
// graph's streaming thread. The buffer is valid during the call only. The
// result is ignored.
using FrameCallback = int32_t (*)(SampleInfo* info, uint8_t* buffer, void* context);
using DataCallback = FrameCallback;
// A level report of the audio render; called on its level thread, channel 0
// then channel 1 every 200 ms while sound arrives. level is 0..127 for 16-bit
// sound. The result is ignored.
using LevelCallback = int32_t (*)(int32_t reserved, int32_t channel, int32_t level, void* context);

// The video render's buffer lock: held while a picture is written into the
// buffer; a reader holds it while it copies. busy is 1 while it is held.
struct OxBufferLock {
  lessonry::CriticalSection section;
  std::atomic<int32_t> busy{0};

  void enter() {
    section.enter();
    busy.store(1, std::memory_order_relaxed);
  }
  void leave() {
    busy.store(0, std::memory_order_relaxed);
    section.leave();
  }
};

// Configuration of the video render, in slot order after IUnknown's three.
// Any thread unless said otherwise.
struct IOxVideoRenderConfig : IUnknown {
  // Slot 3: registers callback under context; a context already registered
  // keeps its first callback. 0. Not from inside a frame callback.
  virtual HRESULT AddFrameCallback(FrameCallback callback, void* context) = 0;
  // Slot 4: removes the entry of context, if any (callback is not used). 0.
  virtual HRESULT RemoveFrameCallback(FrameCallback callback, void* context) = 0;
  // Slot 5: the stored picture's format (BGR24; height positive when set at
  // connection; readers may rewrite it and do). Empty before a connection.
  virtual BITMAPINFOHEADER* GetVideoFormat() = 0;
  // Slot 6: 1 when the input is connected, else 0.
  virtual int32_t IsConnected() = 0;
  // Slot 7: pictures received since the previous call; resets the count.
  virtual int32_t GetFrameCount() = 0;
  // Slot 8: the buffer lock; the caller enters and leaves it itself.
  virtual OxBufferLock* GetBufferLock() = 0;
  // Slot 9: the latest picture (biSizeImage bytes), null before a connection.
  virtual uint8_t* GetVideoBuffer() = 0;
  // Slot 10: TRUE adds a user, FALSE removes one (not below 0). Without
  // users at most one picture per 125 ms is converted.
  virtual HRESULT SetInUse(BOOL inUse) = 0;
  // Slot 11: 1 stores pictures bottom-up (the initial value), 0 top-down.
  virtual HRESULT SetBottomUp(int32_t bottomUp) = 0;
  // Slot 12: smoothing against interlacing, for any non-zero value.
  virtual HRESULT EnableDeInterlace(BOOL enable) = 0;
};
LESSONRY_INTERFACE_IID(IOxVideoRenderConfig, IID_IOxVideoRenderConfig)

// Configuration of the audio render, in slot order after IUnknown's three.
struct IOxAudioRenderConfig : IUnknown {
  // Slot 3: as AddFrameCallback, for blocks of PCM. 0.
  virtual HRESULT AddDataCallback(DataCallback callback, void* context) = 0;
  // Slot 4: removes the entry of context. 0.
  virtual HRESULT RemoveDataCallback(DataCallback callback, void* context) = 0;
  // Slot 5: 1 when the input is connected, else 0.
  virtual int32_t IsConnected() = 0;
  // Slot 6: replaces the level callback and context; null switches reports off.
  virtual HRESULT SetLevelCallback(LevelCallback callback, void* context) = 0;
  // Slot 7: the one accepted format (PCM, 2 channels, 44100 Hz, 16 bits).
  virtual WAVEFORMATEX* GetWaveFormat() = 0;
};
LESSONRY_INTERFACE_IID(IOxAudioRenderConfig, IID_IOxAudioRenderConfig)
