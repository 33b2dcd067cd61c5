#include "encode_helper.h"

#include <cstring>
#include <stdexcept>

#include "base/clock.h"
#include "base/trace.h"
#include "ox_aac_encoder.h"
#include "ox_lib264_encoder.h"
#include "ox_mp4_writer.h"

namespace lessonry::capture {
namespace {

constexpr const char* kStartFunction = "CEncodeHelper::StartMp4Encode";
constexpr int64_t kSyntheticStepMs = 40;

}  // namespace

const VideoEncoderApi& x264EncoderApi() {
  static const VideoEncoderApi api{&H264EncoderCreate, &H264GetSPSInfo,  &H264EncoderStart, &H264ForceKeyFrame,
                                   &H264EncodeData,    &H264EncoderStop, &H264EncoderDelete};
  return api;
}

CEncodeHelper::CEncodeHelper() : softwareEncoder_(&x264EncoderApi()) {}

CEncodeHelper::~CEncodeHelper() {
  CAutoLock lock(lock_);
  if (started()) {
    Stop();
    clearStarted();
  }
}

HRESULT CEncodeHelper::Start(const BITMAPINFOHEADER* picture, const char* fileName, int32_t fileType, int32_t bitRate,
                             int32_t rate, const WAVEFORMATEX* audio, int32_t encodeMode) {
  CAutoLock lock(lock_);
  encodeMode_ = encodeMode;
  fileName_ = fileName ? fileName : "";
  fileType_ = fileType;
  bitRate_ = bitRate;
  rate_ = rate;
  videoInfo_ = picture ? std::make_unique<BITMAPINFOHEADER>(*picture) : nullptr;
  audioFormat_ = audio ? std::make_unique<WAVEFORMATEX>(*audio) : nullptr;
  trace("width-height:%d-%d", picture ? picture->biWidth : 0, picture ? picture->biHeight : 0);
  picturesEncoded_ = picturesWritten_ = picturesDropped_ = pcmBlocks_ = audioFramesWritten_ = 0;

  HRESULT result = S_OK;
  if (fileType & (EFT_AVI | 2)) result = 1;
  if (fileType & EFT_MP4) result = StartMp4Encode();
  // Set even when a step failed, so that Stop releases what was opened.
  started_.store(1, std::memory_order_release);
  return result;
}

HRESULT CEncodeHelper::StartMp4Encode() {
  try {
    return openMp4();
  } catch (const std::exception& e) {
    trace("%s: %s", kStartFunction, e.what());
  } catch (...) {
    trace("%s: unexpected failure", kStartFunction);
  }
  if (userAlert_)
    userAlert_("StartMp4Encode Error");
  else
    trace("StartMp4Encode Error");
  return lastStep_;
}

HRESULT CEncodeHelper::openMp4() {
  auto step = [this](const char* name, HRESULT code) {
    lastStep_ = code;
    if (code != S_OK) trace("%s: %s failed (0x%08X)", kStartFunction, name, static_cast<uint32_t>(code));
    return code;
  };
  lastStep_ = S_OK;
  syntheticClockOn_ = false;
  syntheticClock_ = 0;
  keyFrameSeen_ = false;
  BYTE parameterSets[128] = {};
  int32_t parameterSetsLength = 0;

  if (videoInfo_) {
    if (encoderChoice_ == 1) {
      // The hardware encoder library is not part of this build.
      return step("EncoderStart", E_NOTIMPL);
    }
    encoderApi_ = softwareEncoder_;
    encoder_ = encoderApi_->create();
    if (!encoder_) return step("EncoderStart", E_OUTOFMEMORY);
    if (HRESULT hr = step("GetSPSInfo", encoderApi_->getSpsInfo(encoder_, videoInfo_.get(), bitRate_, parameterSets,
                                                                &parameterSetsLength));
        hr != S_OK)
      return hr;
    if (HRESULT hr = step("EncoderStart", encoderApi_->start(encoder_, videoInfo_.get(), bitRate_)); hr != S_OK)
      return hr;
    encoderApi_->forceKeyFrame(encoder_);
  }

  BYTE audioConfig[128] = {};
  int32_t audioConfigLength = 0;
  if (audioFormat_) {
    aacEncoder_ = AACEncoderCreate();
    if (!aacEncoder_) return step("GetAudioExtra", E_OUTOFMEMORY);
    aacState_ = 0;
    const HRESULT extra = AACGetExtraData(aacEncoder_, audioFormat_.get(), audioConfig, &audioConfigLength);
    AACSetDataCallFunc(aacEncoder_, &CEncodeHelper::OnAudioEncoded, this);
    if (step("GetAudioExtra", extra) != S_OK) return extra;
    if (HRESULT hr = step("AACEncoderStart", AACEncoderStart(aacEncoder_, audioFormat_.get())); hr != S_OK) return hr;
  }

  const std::string target = fileName_ + ".mp4";
  if (encodeMode_ & kEncodeModeFile) {
    fileWriter_ = MP4CreateInstance();
    if (!fileWriter_) return step("MP4BeginWrite", E_OUTOFMEMORY);
    if (HRESULT hr = step("MP4BeginWrite",
                          MP4BeginWrite(fileWriter_, target.c_str(), videoInfo_.get(), parameterSets,
                                        parameterSetsLength, audioFormat_.get(), audioConfig, audioConfigLength, 0));
        hr != S_OK)
      return hr;
  }

  std::memcpy(savedParameterSets_, parameterSets, static_cast<size_t>(parameterSetsLength));
  savedParameterSetsLength_ = parameterSetsLength;
  std::memcpy(savedAudioConfig_, audioConfig, static_cast<size_t>(audioConfigLength));
  savedAudioConfigLength_ = audioConfigLength;
  if (encodeMode_ & kEncodeModeLive) {
    liveQueueLimit_ = (static_cast<int64_t>(bitRate_) + 128) * 500;
    // The live sender is not part of this build; a live request never fails
    // the file recording.
    trace("%s: live stream not available, recording to file only", kStartFunction);
  }
  startTick_ = timeGetTime();
  return S_OK;
}

void CEncodeHelper::Stop() {
  CAutoLock lock(lock_);
  if (encoder_) {
    encoderApi_->stop(encoder_);
    encoderApi_->destroy(encoder_);
  }
  if (aacEncoder_) {
    // Flushes the last frames through OnAudioEncoded while still started.
    AACEncoderStop(aacEncoder_);
    AACEncoderDelete(aacEncoder_);
  }
  if (fileWriter_) {
    MP4EndWrite(fileWriter_);
    MP4DeleteInstance(fileWriter_);
  }
  if (encodeMode_ & kEncodeModeLive) {
    savedParameterSetsLength_ = 0;
    savedAudioConfigLength_ = 0;
  }
  encoder_ = aacEncoder_ = fileWriter_ = nullptr;
  encoderApi_ = nullptr;
  videoInfo_.reset();
  audioFormat_.reset();
}

HRESULT CEncodeHelper::PushVideo(const BYTE* picture, int32_t size, int64_t timeStampMs) {
  CAutoLock lock(lock_);
  if (started() && (fileType_ & EFT_MP4)) EncodeVideo(picture, size, timeStampMs);
  return S_OK;
}

HRESULT CEncodeHelper::EncodeVideo(const BYTE* picture, int32_t size, int64_t timeStampMs) {
  if (!encoder_ || !picture) return S_OK;
  if (timeStampMs < 0 || syntheticClockOn_) {
    // Once one picture came without a time stamp, all get 40 ms steps. The
    // steps continue from the last time stamp used, so that the stream's
    // time never runs backwards.
    syntheticClockOn_ = true;
    syntheticClock_ += kSyntheticStepMs;
    timeStampMs = syntheticClock_;
  } else {
    syntheticClock_ = timeStampMs;
  }
  BYTE* out = nullptr;
  int32_t outSize = 0;
  int64_t outPts = 0;
  int32_t key = 0;
  const HRESULT hr = encoderApi_->encode(encoder_, picture, size, timeStampMs, &out, &outSize, &outPts, &key);
  picturesEncoded_.fetch_add(1, std::memory_order_relaxed);
  if (key && outSize > 0) keyFrameSeen_ = true;
  if (hr == S_OK && outSize > 0) {
    if ((encodeMode_ & kEncodeModeFile) && fileWriter_) {
      if (keyFrameSeen_) {
        if (MP4WriteVideo(fileWriter_, out, outSize, key, outPts) == S_OK)
          picturesWritten_.fetch_add(1, std::memory_order_relaxed);
      } else {
        picturesDropped_.fetch_add(1, std::memory_order_relaxed);
      }
    }
  }
  return S_OK;
}

HRESULT CEncodeHelper::PushAudio(const BYTE* pcm, int32_t size, int64_t timeStampMs) {
  CAutoLock lock(lock_);
  if (started() && aacEncoder_) {
    AACEncodeData(aacEncoder_, pcm, size, timeStampMs, &aacState_);
    pcmBlocks_.fetch_add(1, std::memory_order_relaxed);
  }
  return S_OK;
}

void CEncodeHelper::OnAudioEncoded(const BYTE* data, int32_t size, int32_t, void* context, int64_t) {
  auto* self = static_cast<CEncodeHelper*>(context);
  if (!self) return;
  CAutoLock lock(self->lock_);
  if (!self->started()) return;
  // The file's audio track is timed by the writer: time stamp 0.
  if ((self->encodeMode_ & kEncodeModeFile) && self->fileWriter_ &&
      MP4WriteAudio(self->fileWriter_, data, size, 0) == S_OK)
    self->audioFramesWritten_.fetch_add(1, std::memory_order_relaxed);
}

std::string CEncodeHelper::targetPath() const {
  CAutoLock lock(lock_);
  return fileName_ + ".mp4";
}

CEncodeHelper::Counters CEncodeHelper::counters() const {
  Counters c;
  c.picturesEncoded = picturesEncoded_.load(std::memory_order_relaxed);
  c.picturesWritten = picturesWritten_.load(std::memory_order_relaxed);
  c.picturesDropped = picturesDropped_.load(std::memory_order_relaxed);
  c.pcmBlocks = pcmBlocks_.load(std::memory_order_relaxed);
  c.audioFramesWritten = audioFramesWritten_.load(std::memory_order_relaxed);
  return c;
}

}  // namespace lessonry::capture
