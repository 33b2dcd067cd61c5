// CScreenRecorder: the recording object of a capture control.
//
// Its StartEncode, StopEncode, SetEncodePause, SetCompositeMode,
// SendVGACutRect and the source methods are the control's methods of those
// names. It owns the session that records (CEncodeHelper), the tick timer
// that runs one capture tick per period, the pause bookkeeping, the screen
// capture and the composition. The tick has the composition make the next
// picture (screen, source, or both, with the logo), stamps it with the
// milliseconds since the start less the paused time, and pushes it into the
// session. The audio feed pushes the selected source's PCM.
//
// Lock order: timer lock (CAccuracyTimer), then the frame lock, then the
// session lock; a source render's buffer lock is taken inside the frame
// lock. StopEncode takes the session lock and the timer lock one after the
// other, never nested, and the frame lock last.
//
// Threads: the host's thread calls the public methods except onAudioBlock,
// which the audio source's streaming thread calls; the tick runs on the
// timer's thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "accuracy_timer.h"
#include "base/critical_section.h"
#include "base/win_types.h"
#include "composition.h"
#include "encode_helper.h"
#include "screen_capture.h"

namespace lessonry::capture {

class CScreenRecorder {
 public:
  // Produces the picture of one tick into frame (size bytes, the encode
  // header's format) in place of the composition. False: no picture this
  // tick. Runs on the timer's thread under the frame lock.
  using PictureSource = std::function<bool(BYTE* frame, size_t size, const BITMAPINFOHEADER& header)>;

  struct Counters {
    uint64_t ticks = 0;
    uint64_t lateTicks = 0;  // started more than CAccuracyTimer::kLateThresholdMicros late
    int64_t maxLatenessMicros = 0;
    uint64_t droppedPeriods = 0;
    uint64_t ticksWithoutPicture = 0;
    CEncodeHelper::Counters session;
  };

  // The screen capture library's calls (tests pass a fake grabber).
  explicit CScreenRecorder(const VgaFunctions& vga = VgaFunctions::ruveza());
  // Ends a running recording first, then releases the screen capture, so
  // that no tick captures with a deleted handle; takes the PCM callback off
  // the audio render it is registered with.
  ~CScreenRecorder();
  CScreenRecorder(const CScreenRecorder&) = delete;
  CScreenRecorder& operator=(const CScreenRecorder&) = delete;

  // Prepares the next recording's picture (see CComposition). Refused (false,
  // nothing changed) while a recording runs: the encoder was opened for the
  // picture size in force, and the tick must not find its buffers replaced.
  bool SetCompositeMode(int32_t mode, int32_t iwidth, int32_t iheight);
  // The region or whole screen to record (see CScreenCapture); also while
  // recording, when it moves the region.
  void SendVGACutRect(long px, long py, long pw, long ph, BOOL bAll);

  // Another control's render interfaces; they are not reference-counted and
  // must outlive their use here.
  int32_t InsertSource(int32_t sourceId, IOxVideoRenderConfig* video, IOxAudioRenderConfig* audio);
  // Drops the first entry with that id (from the switch too). When its
  // audio render carries the recorder's PCM callback, the callback is taken
  // off it: the entry's render may go away with its control.
  int32_t RemoveSource(int32_t sourceId);
  // Switches picture and sound to the first entry with that id: the picture
  // after a 1000 ms switch (at once for the first one), the sound at once.
  int32_t SelectSource(int32_t sourceId);

  // Generated pictures in place of the composition (demo, benchmarks,
  // tests): a w x h 24-bit frame and the source that fills it each tick.
  // False for non-positive sizes or while recording. StopEncode releases the
  // frame like any other; call again before the next start.
  bool setEncodeFormat(int32_t width, int32_t height);
  void setPictureSource(PictureSource source);

  // 0 on success; the session's failure code; 1 for a FileType without
  // EFT_MP4; E_INVALIDARG for a Rate of 0 or less or no encode format;
  // E_UNEXPECTED while a recording runs.
  int32_t StartEncode(const char* fileName, int32_t fileType, int32_t bitRate, int32_t rate, int32_t encodeMode);
  void StopEncode();
  int32_t SetEncodePause(bool pause);

  // One block of PCM in the recording's audio format, from the selected
  // source's audio render.
  void onAudioBlock(const BYTE* pcm, int32_t size);

  const WAVEFORMATEX& audioFormat() const { return audioFormat_; }
  // The picture format of the next (or current) recording.
  const BITMAPINFOHEADER& encodeHeader() const { return composition_.recordHeader(); }
  CScreenCapture& screen() { return screen_; }
  // Host thread, while no recording runs (or under the frame lock).
  CComposition& composition() { return composition_; }
  // The audio interface the PCM callback is registered with, or null.
  IOxAudioRenderConfig* currentAudio() const { return currentAudio_; }
  bool paused() const { return paused_.load(std::memory_order_acquire); }
  int32_t tickPeriod() const { return timer_.period(); }
  int64_t lastAudioTimeStamp() const { return lastAudioTimeStamp_.load(std::memory_order_relaxed); }
  int64_t lastPictureTimeStamp() const { return lastTimeStamp_.load(std::memory_order_relaxed); }
  int64_t pausedTotal() const { return pausedTotal_.load(std::memory_order_acquire); }
  CEncodeHelper& session() { return session_; }
  Counters counters() const;

  // The work of one tick; public so tests can drive ticks deterministically.
  void captureTick();

 private:
  static int32_t tickCallback(intptr_t context, intptr_t argument);
  // The PCM callback registered with the selected source's audio render.
  static int32_t pcmCallback(SampleInfo* info, uint8_t* buffer, void* context);
  int64_t pictureTimeStamp() const;
  void moveAudioTo(IOxAudioRenderConfig* audio);

  // Declared before the session and the timer: destroyed after them, so
  // that no tick can still reach them.
  CScreenCapture screen_;
  CComposition composition_{screen_};
  CEncodeHelper session_;
  CAccuracyTimer timer_;
  // Guards the composition (frame buffer, active sources, switch) and the
  // picture source; held by the tick for a whole picture.
  CriticalSection frameLock_;
  PictureSource source_;
  IOxAudioRenderConfig* currentAudio_ = nullptr;  // host's thread only
  WAVEFORMATEX audioFormat_{};
  // Shared by the host (pause), the tick and the audio feed.
  std::atomic<uint32_t> recordStartTick_{0};
  std::atomic<int64_t> pausedTotal_{0};
  std::atomic<uint32_t> pauseStartTick_{0};
  std::atomic<bool> paused_{false};
  std::atomic<int64_t> lastTimeStamp_{0};
  std::atomic<int64_t> lastAudioTimeStamp_{0};
  std::atomic<uint64_t> ticksWithoutPicture_{0};
};

}  // namespace lessonry::capture
