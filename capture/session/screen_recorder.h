// CScreenRecorder: the recording object of a capture control.
//
// Its StartEncode, StopEncode and SetEncodePause are the control's methods of
// those names. It owns the session that records (CEncodeHelper), the tick
// timer that runs one capture tick per period, and the pause bookkeeping.
// The tick asks the picture source for the next picture (the composition of
// the control fills it: screen, camera, or both), stamps it with the
// milliseconds since the start less the paused time, and pushes it into the
// session. The audio feed pushes the selected source's PCM.
//
// Lock order: timer lock (CAccuracyTimer), then the frame lock, then the
// session lock. StopEncode takes the session lock and the timer lock one
// after the other, never nested, and the frame lock last.
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
#include "encode_helper.h"

namespace lessonry::capture {

class CScreenRecorder {
 public:
  // Produces the picture of one tick into frame (size bytes, the encode
  // header's format). False: no picture this tick. Runs on the timer's thread
  // under the frame lock.
  using PictureSource = std::function<bool(BYTE* frame, size_t size, const BITMAPINFOHEADER& header)>;

  struct Counters {
    uint64_t ticks = 0;
    uint64_t lateTicks = 0;  // started more than CAccuracyTimer::kLateThresholdMicros late
    int64_t maxLatenessMicros = 0;
    uint64_t droppedPeriods = 0;
    uint64_t ticksWithoutPicture = 0;
    CEncodeHelper::Counters session;
  };

  CScreenRecorder();
  ~CScreenRecorder();
  CScreenRecorder(const CScreenRecorder&) = delete;
  CScreenRecorder& operator=(const CScreenRecorder&) = delete;

  // The picture format of the recording (24-bit BGR, width x height) and its
  // frame buffer, allocated here once. The composition's SetCompositeMode
  // does this for the control. False for non-positive sizes or while
  // recording.
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
  const BITMAPINFOHEADER& encodeHeader() const { return encodeHeader_; }
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
  int64_t pictureTimeStamp() const;

  CEncodeHelper session_;
  CAccuracyTimer timer_;
  CriticalSection frameLock_;  // guards the frame buffer and the picture source
  BITMAPINFOHEADER encodeHeader_{};
  BITMAPINFOHEADER outputHeader_{};
  int32_t compositeMode_ = 0;
  std::vector<BYTE> frame_;
  PictureSource source_;
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
