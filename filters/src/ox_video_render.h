// COxVideoRender: the sink at the end of a capture control's video branch.
//
// Its input pin, CVideoInput ("Video"), accepts uncompressed RGB24, RGB32,
// YUY2 and YV12 pictures in a VIDEOINFOHEADER and converts each received
// picture into one BGR24 picture of the same size, kept in the pin's buffer
// (bottom-up unless told otherwise), optionally smoothed against
// interlacing, then hands it to the frame callbacks in ascending order of
// their context values. While nobody has declared use (SetInUse), at most
// one picture per 125 ms is converted; every picture is counted.
//
// Threads: pictures arrive on the upstream's streaming thread; the
// configuration interface is called from the capture control's threads (host,
// painter, capture tick).
// Lock order: the filter lock (whole receive, state changes, connection),
// then the buffer lock (writing the buffer; readers hold it to copy), then
// the callback lock (running callbacks; changing the map). Callbacks run with
// the filter and callback locks held: they must not add or remove callbacks
// nor wait for the filter's state.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <vector>

#include "filters/pinworks.h"
#include "media/base_filter.h"
#include "picture_to_bgr24.h"

namespace lessonry::filters {

class COxVideoRender;

class CVideoInput final : public media::CBaseInputPin {
 public:
  explicit CVideoInput(COxVideoRender* owner);

  HRESULT CheckMediaType(const media::CMediaType& mt) override;
  HRESULT SetMediaType(const media::CMediaType& mt) override;
  HRESULT Receive(IMediaSample* sample) override;

 private:
  friend class COxVideoRender;
  COxVideoRender* const owner_;

  PictureToBgr24 converter_;          // streaming thread, under the buffer lock
  BITMAPINFOHEADER outputFormat_{};   // handed out by reference
  std::unique_ptr<uint8_t[]> buffer_; // outputFormat_.biSizeImage bytes
  int32_t pictureSize_ = 0;
  std::atomic<int32_t> bottomUp_{1};
  std::atomic<uint8_t> deInterlace_{0};
  std::atomic<int32_t> users_{0};
  uint32_t lastKept_ = 0;             // timeGetTime of the last picture kept while unused
  bool keptAny_ = false;              // the first picture is always kept
  std::atomic<int32_t> frameCount_{0};
  OxBufferLock bufferLock_;
  OxBufferLock callbackLock_;
  std::map<uintptr_t, FrameCallback> callbacks_;  // under callbackLock_
  SampleInfo info_{};                 // streaming thread, under the filter lock
};

class COxVideoRender final : public media::CBaseFilter {
 public:
  COxVideoRender();

  int pinCount() override { return 1; }
  media::CBasePin* pin(int index) override;
  IOxVideoRenderConfig* config() { return &config_; }
  CVideoInput* input() { return input_.get(); }

 protected:
  HRESULT queryOther(REFIID iid, void** ppv) override;

 private:
  class Config final : public IOxVideoRenderConfig {
   public:
    explicit Config(COxVideoRender* owner) : owner_(owner) {}
    HRESULT QueryInterface(REFIID iid, void** ppv) override { return owner_->QueryInterface(iid, ppv); }
    ULONG AddRef() override { return owner_->AddRef(); }
    ULONG Release() override { return owner_->Release(); }
    HRESULT AddFrameCallback(FrameCallback callback, void* context) override;
    HRESULT RemoveFrameCallback(FrameCallback callback, void* context) override;
    BITMAPINFOHEADER* GetVideoFormat() override;
    int32_t IsConnected() override;
    int32_t GetFrameCount() override;
    OxBufferLock* GetBufferLock() override;
    uint8_t* GetVideoBuffer() override;
    HRESULT SetInUse(BOOL inUse) override;
    HRESULT SetBottomUp(int32_t bottomUp) override;
    HRESULT EnableDeInterlace(BOOL enable) override;

   private:
    COxVideoRender* const owner_;
  };

  ~COxVideoRender() override;
  std::unique_ptr<CVideoInput> input_;
  Config config_{this};
};

}  // namespace lessonry::filters
