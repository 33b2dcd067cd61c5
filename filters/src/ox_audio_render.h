// COxAudioRender: the sink at the end of a capture control's audio branch.
//
// Its input pin, CAudioInput (named "Video", as the video render's), accepts
// exactly PCM, 2 channels, 44100 Hz, 16 bits in an 18-byte WAVEFORMATEX. Each
// block goes to the data callbacks (ascending context order) and, when it
// fits whole, into the level pool; a level thread (200 ms period, idle
// priority, running from pause to stop) takes up to one window (200 ms of
// sound) from the pool per period and reports each channel's peak to the
// level callback, channel 0 then channel 1.
//
// Threads: blocks arrive on the upstream's streaming thread; the level thread
// measures; configuration comes from the capture control's threads.
// Lock order: the filter lock (whole receive, state changes), then the
// callback lock (running data callbacks, changing their map). The level pool
// has its own leaf lock; the level callback's slot has a leaf mutex not held
// while the callback runs. The level thread is stopped without the filter
// lock held, so a level callback may ask IsConnected.
#pragma once

#include <map>
#include <memory>
#include <mutex>

#include "audio_analyzer.h"
#include "filters/pinworks.h"
#include "media/base_filter.h"
#include "shared/mem_pool.h"
#include "shared/thread.h"

namespace lessonry::filters {

class COxAudioRender;

class CAudioInput final : public media::CBaseInputPin {
 public:
  explicit CAudioInput(COxAudioRender* owner);

  HRESULT CheckMediaType(const media::CMediaType& mt) override;
  HRESULT GetMediaType(int position, media::CMediaType* mt) override;
  HRESULT SetMediaType(const media::CMediaType& mt) override;
  HRESULT Receive(IMediaSample* sample) override;

  // The one accepted type.
  static media::CMediaType acceptedType();

 private:
  friend class COxAudioRender;
  COxAudioRender* const owner_;
  WAVEFORMATEX format_;  // the accepted format, handed out by reference
  OxBufferLock callbackLock_;
  std::map<uintptr_t, DataCallback> callbacks_;  // under callbackLock_
  SampleInfo info_{};  // streaming thread, under the filter lock
};

class COxAudioRender final : public media::CBaseFilter {
 public:
  static constexpr uint32_t kPoolSize = 0x20000;  // 131072 bytes
  static constexpr int32_t kWindowMs = 200;

  COxAudioRender();

  int pinCount() override { return 1; }
  media::CBasePin* pin(int index) override;
  HRESULT Pause() override;
  HRESULT Stop() override;

  IOxAudioRenderConfig* config() { return &config_; }
  CAudioInput* input() { return input_.get(); }
  int32_t windowSize() const { return windowSize_; }
  // One period of the level thread (also driven directly by tests).
  int32_t measureOnce();

 protected:
  HRESULT queryOther(REFIID iid, void** ppv) override;

 private:
  friend class CAudioInput;
  class Config final : public IOxAudioRenderConfig {
   public:
    explicit Config(COxAudioRender* owner) : owner_(owner) {}
    HRESULT QueryInterface(REFIID iid, void** ppv) override { return owner_->QueryInterface(iid, ppv); }
    ULONG AddRef() override { return owner_->AddRef(); }
    ULONG Release() override { return owner_->Release(); }
    HRESULT AddDataCallback(DataCallback callback, void* context) override;
    HRESULT RemoveDataCallback(DataCallback callback, void* context) override;
    int32_t IsConnected() override;
    HRESULT SetLevelCallback(LevelCallback callback, void* context) override;
    WAVEFORMATEX* GetWaveFormat() override;

   private:
    COxAudioRender* const owner_;
  };

  ~COxAudioRender() override;
  void setFormat(const WAVEFORMATEX& format);  // connection, under the filter lock
  static int32_t levelThreadProcedure(void* context, intptr_t argument);

  std::unique_ptr<CAudioInput> input_;
  Config config_{this};
  CMemPool pool_{kPoolSize};
  std::unique_ptr<uint8_t[]> readBuffer_{new uint8_t[kPoolSize]};  // level thread only
  int32_t windowSize_ = 0;       // written at connection (stopped), read by the level thread
  int32_t bytesPerSecond_ = 0;
  CAudioAnalyzer analyzer_;      // level thread; set at connection
  std::mutex levelMutex_;        // guards the two below
  LevelCallback levelCallback_ = nullptr;
  void* levelContext_ = nullptr;
  CThread levelThread_;
};

}  // namespace lessonry::filters
