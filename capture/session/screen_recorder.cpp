#include "screen_recorder.h"

#include "base/clock.h"
#include "base/picture_format.h"
#include "base/trace.h"

namespace lessonry::capture {

CScreenRecorder::CScreenRecorder(const VgaFunctions& vga) : screen_(vga), audioFormat_(makePcmFormat()) {
  timer_.SetCallback(&CScreenRecorder::tickCallback, reinterpret_cast<intptr_t>(this));
}

CScreenRecorder::~CScreenRecorder() {
  StopEncode();
  moveAudioTo(nullptr);
}

bool CScreenRecorder::SetCompositeMode(int32_t mode, int32_t iwidth, int32_t iheight) {
  if (session_.started()) {
    trace("CScreenRecorder::SetCompositeMode: refused while recording");
    return false;
  }
  CAutoLock lock(frameLock_);
  source_ = nullptr;
  composition_.SetCompositeMode(mode, iwidth, iheight);
  return true;
}

void CScreenRecorder::SendVGACutRect(long px, long py, long pw, long ph, BOOL bAll) {
  // Without the frame lock: a move takes effect at the next tick.
  screen_.SendVGACutRect(px, py, pw, ph, bAll);
}

int32_t CScreenRecorder::InsertSource(int32_t sourceId, IOxVideoRenderConfig* video, IOxAudioRenderConfig* audio) {
  // The list itself is the host's; hosts change sources while not recording.
  composition_.sources().insert(sourceId, video, audio);
  return 0;
}

int32_t CScreenRecorder::RemoveSource(int32_t sourceId) {
  CSources& sources = composition_.sources();
  SourceEntry* entry = sources.find(sourceId);
  if (!entry) return 0;
  if (entry->audio && entry->audio == currentAudio_) moveAudioTo(nullptr);
  CAutoLock lock(frameLock_);
  sources.remove(sourceId);
  return 0;
}

int32_t CScreenRecorder::SelectSource(int32_t sourceId) {
  CSources& sources = composition_.sources();
  SourceEntry* entry = sources.find(sourceId);
  if (!entry) return 0;
  {
    CAutoLock lock(frameLock_);
    sources.selectPicture(entry);
  }
  if (IOxAudioRenderConfig* audio = sources.chooseAudio(entry, currentAudio_)) {
    moveAudioTo(audio);
    // The render accepts only the recording's format; keep what it reports.
    if (const WAVEFORMATEX* format = audio->GetWaveFormat(); format && format->wFormatTag == WAVE_FORMAT_PCM)
      audioFormat_ = *format;
  }
  return 0;
}

void CScreenRecorder::moveAudioTo(IOxAudioRenderConfig* audio) {
  if (currentAudio_) currentAudio_->RemoveDataCallback(&CScreenRecorder::pcmCallback, this);
  currentAudio_ = audio;
  if (currentAudio_) currentAudio_->AddDataCallback(&CScreenRecorder::pcmCallback, this);
}

int32_t CScreenRecorder::pcmCallback(SampleInfo* info, uint8_t* buffer, void* context) {
  if (!info || !context) return 0;
  static_cast<CScreenRecorder*>(context)->onAudioBlock(buffer, info->size);
  return 0;
}

bool CScreenRecorder::setEncodeFormat(int32_t width, int32_t height) {
  if (session_.started()) return false;
  CAutoLock lock(frameLock_);
  return composition_.prepareFrame(width, height);
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
  if (composition_.frameSize() == 0) return E_INVALIDARG;
  pausedTotal_.store(0, std::memory_order_release);
  recordStartTick_.store(0, std::memory_order_release);
  session_.setEncoderChoice(0);  // recordings always use the x264 library

  // The composition's headers announce the pictures top-down already.
  const BITMAPINFOHEADER& header = composition_.recordHeader();
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
  // No tick is inside once the frame lock is ours: the buffers, the effects
  // binding and the placed logo go; the region may be chosen again.
  CAutoLock lock(frameLock_);
  composition_.release();
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
  const bool picture = source_ ? composition_.frameSize() > 0 &&
                                      source_(composition_.frame(), composition_.frameSize(), composition_.recordHeader())
                                : composition_.composeTick();
  if (!picture) {
    ticksWithoutPicture_.fetch_add(1, std::memory_order_relaxed);
    return;
  }
  const int64_t timeStamp = pictureTimeStamp();
  lastTimeStamp_.store(timeStamp, std::memory_order_relaxed);
  session_.PushVideo(composition_.frame(), static_cast<int32_t>(composition_.frameSize()), timeStamp);
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
