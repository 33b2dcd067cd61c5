#include "screen_recorder.h"

#include "base/clock.h"
#include "base/picture_format.h"
#include "base/trace.h"

namespace lessonry::capture {

CScreenRecorder::CScreenRecorder() : audioFormat_(makePcmFormat()) {
  timer_.SetCallback(&CScreenRecorder::tickCallback, reinterpret_cast<intptr_t>(this));
}

CScreenRecorder::~CScreenRecorder() { StopEncode(); }

bool CScreenRecorder::setEncodeFormat(int32_t width, int32_t height) {
  if (width <= 0 || height <= 0 || width > 16384 || height > 16384) return false;
  if (session_.started()) return false;
  CAutoLock lock(frameLock_);
  encodeHeader_ = makeBgr24Header(width, height);
  outputHeader_ = encodeHeader_;
  frame_.assign(encodeHeader_.biSizeImage, 0);
  return true;
}

void CScreenRecorder::setPictureSource(PictureSource source) {
  CAutoLock lock(frameLock_);
  source_ = std::move(source);
}

int32_t CScreenRecorder::StartEncode(const char* fileName, int32_t fileType, int32_t bitRate, int32_t rate,
                                     int32_t encodeMode) {
  // A period of 1000 / Rate ms is undefined for Rate <= 0.
  if (rate <= 0 || rate > 1000) return E_INVALIDARG;
  if (session_.started()) return E_UNEXPECTED;
  if (frame_.empty()) return E_INVALIDARG;
  pausedTotal_.store(0, std::memory_order_release);
  recordStartTick_.store(0, std::memory_order_release);
  session_.setEncoderChoice(0);  // recordings always use the x264 library

  {
    CAutoLock lock(frameLock_);
    // Pictures are announced top-down.
    if (encodeHeader_.biHeight > 0) encodeHeader_.biHeight = -encodeHeader_.biHeight;
    if (outputHeader_.biHeight > 0) outputHeader_.biHeight = -outputHeader_.biHeight;
  }
  const BITMAPINFOHEADER& header = compositeMode_ == 1 ? outputHeader_ : encodeHeader_;
  const HRESULT result = session_.Start(&header, fileName, fileType, bitRate, rate, &audioFormat_, encodeMode);
  if (result != S_OK) return result;

  lastTimeStamp_.store(0, std::memory_order_relaxed);
  ticksWithoutPicture_.store(0, std::memory_order_relaxed);
  timer_.SetPeriod(1000 / rate);
  recordStartTick_.store(timeGetTime(), std::memory_order_release);
  if (!timer_.Start()) trace("CScreenRecorder::StartEncode: the tick timer did not start");
  return S_OK;
}

void CScreenRecorder::StopEncode() {
  lastTimeStamp_.store(0, std::memory_order_relaxed);
  pausedTotal_.store(0, std::memory_order_release);
  if (!session_.started()) return;
  {
    CAutoLock lock(session_.lock());
    if (session_.fileType() & EFT_MP4) session_.Stop();
    session_.clearStarted();
  }
  timer_.Stop();
  // No tick is inside once the frame lock is ours. The frame buffer is kept:
  // it belongs to the encode format, which outlives one recording here.
  CAutoLock lock(frameLock_);
}

int32_t CScreenRecorder::SetEncodePause(bool pause) {
  if (pause) {
    // A second pause without a resume restarts the pause: the earlier
    // paused time is not counted.
    pauseStartTick_.store(timeGetTime(), std::memory_order_release);
    paused_.store(true, std::memory_order_release);
  } else if (paused_.load(std::memory_order_acquire)) {
    const uint32_t pausedFor = timeGetTime() - pauseStartTick_.load(std::memory_order_acquire);
    // The total first, then the flag: a tick that sees the flag cleared also
    // sees the new total.
    pausedTotal_.fetch_add(pausedFor, std::memory_order_acq_rel);
    paused_.store(false, std::memory_order_release);
  }
  return 0;
}

int64_t CScreenRecorder::pictureTimeStamp() const {
  const uint32_t sinceStart = timeGetTime() - recordStartTick_.load(std::memory_order_acquire);
  return static_cast<int64_t>(sinceStart) - pausedTotal_.load(std::memory_order_acquire);
}

void CScreenRecorder::captureTick() {
  CAutoLock lock(frameLock_);
  if (!session_.started() || paused_.load(std::memory_order_acquire)) return;
  if (!source_ || frame_.empty() || !source_(frame_.data(), frame_.size(), encodeHeader_)) {
    ticksWithoutPicture_.fetch_add(1, std::memory_order_relaxed);
    return;
  }
  const int64_t timeStamp = pictureTimeStamp();
  lastTimeStamp_.store(timeStamp, std::memory_order_relaxed);
  session_.PushVideo(frame_.data(), static_cast<int32_t>(frame_.size()), timeStamp);
}

int32_t CScreenRecorder::tickCallback(intptr_t context, intptr_t) {
  auto* self = reinterpret_cast<CScreenRecorder*>(context);
  try {
    self->captureTick();
  } catch (const std::exception& e) {
    trace("capture tick: %s", e.what());
  } catch (...) {
    trace("capture tick: unexpected failure");
  }
  return 1;  // the tick always asks the timer to keep running
}

void CScreenRecorder::onAudioBlock(const BYTE* pcm, int32_t size) {
  if (!pcm || size <= 0) return;
  if (!session_.started() || paused_.load(std::memory_order_acquire)) return;
  // Audio time stamps are not reduced by the paused time.
  const int64_t timeStamp = static_cast<int64_t>(timeGetTime() - recordStartTick_.load(std::memory_order_acquire));
  lastAudioTimeStamp_.store(timeStamp, std::memory_order_relaxed);
  session_.PushAudio(pcm, size, timeStamp);
}

CScreenRecorder::Counters CScreenRecorder::counters() const {
  Counters c;
  const auto t = timer_.stats();
  c.ticks = t.ticks;
  c.lateTicks = t.lateTicks;
  c.maxLatenessMicros = t.maxLatenessMicros;
  c.droppedPeriods = t.droppedPeriods;
  c.ticksWithoutPicture = ticksWithoutPicture_.load(std::memory_order_relaxed);
  c.session = session_.counters();
  return c;
}

}  // namespace lessonry::capture
