// Generated source filters: a moving test pattern and a tone.
//
// They stand where a camera and a microphone would (tests, demos and the
// virtual devices): each has one output pin, "Video" or "Audio", with one
// media type fixed at construction, a streaming thread, and media-time
// seeking (IMediaSeeking through CMediaTimeSeeking: position and duration of
// a finite stream). A finite stream ends with end-of-stream after its
// length; an endless one runs until stopped. In real time a stream paces
// itself to its media time (waiting on the stop event, so a stop is never
// held up); otherwise it delivers as fast as downstream takes it.
//
// Threads: construction and seeking on the host's thread; filling on the
// pin's streaming thread. The position is an atomic shared by both.
#pragma once

#include <atomic>
#include <memory>
#include <optional>

#include "media/media_time_seeking.h"
#include "media/source.h"

namespace lessonry::media {

struct TestPatternSettings {
  GUID subtype;              // RGB24, RGB32, YUY2, YV12, I420 or NV12
  int32_t width = 320;
  int32_t height = 240;      // RGB: negative for a top-down picture
  REFERENCE_TIME frameDuration = 400000;  // 100 ns units (25 per second)
  int64_t frames = 0;        // 0: endless
  bool realTime = true;
};

class CTestPatternSource final : public CSource, public CMediaTimeSeeking {
 public:
  explicit CTestPatternSource(const TestPatternSettings& settings);

  HRESULT QueryInterface(REFIID iid, void** ppv) override { return CSource::QueryInterface(iid, ppv); }
  ULONG AddRef() override { return CSource::AddRef(); }
  ULONG Release() override { return CSource::Release(); }

  const TestPatternSettings& settings() const { return settings_; }
  // Draws picture number index of the pattern as top-down BGRA (tests use it
  // to know what a frame shows). out holds width x |height| x 4 bytes.
  static void drawBgra(uint8_t* out, int32_t width, int32_t height, int64_t index);

 protected:
  HRESULT queryOther(REFIID iid, void** ppv) override;

 private:
  class Stream;
  ~CTestPatternSource() override;
  // Seeking: positions are frame starts; a seek lands on the frame it falls in.
  std::optional<REFERENCE_TIME> durationIfKnown() const override;
  REFERENCE_TIME currentPosition() const override;
  void moveTo(REFERENCE_TIME position) override;

  const TestPatternSettings settings_;
  std::atomic<int64_t> nextFrame_{0};
};

struct ToneSettings {
  WAVEFORMATEX format;        // integer PCM, 8 or 16 bits
  double frequency = 440.0;   // Hz
  double amplitude = 0.5;     // of full scale
  int32_t blockMs = 20;       // milliseconds in each sample
  int64_t totalMs = 0;        // 0: endless
  bool realTime = true;
};

class CToneSource final : public CSource, public CMediaTimeSeeking {
 public:
  explicit CToneSource(const ToneSettings& settings);

  HRESULT QueryInterface(REFIID iid, void** ppv) override { return CSource::QueryInterface(iid, ppv); }
  ULONG AddRef() override { return CSource::AddRef(); }
  ULONG Release() override { return CSource::Release(); }

  const ToneSettings& settings() const { return settings_; }

 protected:
  HRESULT queryOther(REFIID iid, void** ppv) override;

 private:
  class Stream;
  ~CToneSource() override;
  // Seeking: positions are sound frame starts; a seek lands on the sound
  // frame it falls in.
  std::optional<REFERENCE_TIME> durationIfKnown() const override;
  REFERENCE_TIME currentPosition() const override;
  void moveTo(REFERENCE_TIME position) override;

  const ToneSettings settings_;
  std::atomic<int64_t> nextFrame_{0};  // sound frames
};

}  // namespace lessonry::media
