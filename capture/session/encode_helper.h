// CEncodeHelper: the encode session of a capture control.
//
// Opens the H.264 encoder library, the AAC encoder and the MP4 writer at
// Start, encodes the pictures and PCM it is given and writes the encoded
// frames to the file; releases everything at Stop. The same object records
// one recording after another.
//
// Lock order: the recorder's timer lock, then its frame lock, then this
// session lock (then the live queue's lock). The session lock is re-entrant:
// the AAC encoder calls OnAudioEncoded back from inside PushAudio and Stop,
// on the thread that holds it.
//
// Threads: Start and Stop on the host's thread; PushVideo on the tick timer's
// thread; PushAudio (and so OnAudioEncoded) on the audio source's streaming
// thread. Every operation takes the session lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/critical_section.h"
#include "base/win_types.h"

namespace lessonry::capture {

// Bit values of the control's EncoderFileType.
enum EncoderFileType : int32_t { EFT_AVI = 1, EFT_MP4 = 4 };
// Bits of EncodeMode.
constexpr int32_t kEncodeModeLive = 1;
constexpr int32_t kEncodeModeFile = 2;

// The H.264 encoder library's calls, so that the session can drive another
// library of the same shape (and tests a scripted one).
struct VideoEncoderApi {
  void* (*create)();
  HRESULT (*getSpsInfo)(void* handle, const BITMAPINFOHEADER* format, int32_t bitRate, BYTE* buffer, int32_t* length);
  HRESULT (*start)(void* handle, const BITMAPINFOHEADER* format, int32_t bitRate);
  HRESULT (*forceKeyFrame)(void* handle);
  HRESULT (*encode)(void* handle, const BYTE* picture, int32_t size, int64_t pts, BYTE** outData, int32_t* outSize,
                    int64_t* outPts, int32_t* outKeyFrame);
  HRESULT (*stop)(void* handle);
  void (*destroy)(void* handle);
};
// OxLib264Encoder's calls.
const VideoEncoderApi& x264EncoderApi();

class CEncodeHelper {
 public:
  struct Counters {
    uint64_t picturesEncoded = 0;  // pictures handed to the encoder
    uint64_t picturesWritten = 0;  // access units the file accepted
    uint64_t picturesDropped = 0;  // encoded before the first key frame
    uint64_t pcmBlocks = 0;        // PCM blocks handed to the AAC encoder
    uint64_t audioFramesWritten = 0;
  };

  CEncodeHelper();
  ~CEncodeHelper();
  CEncodeHelper(const CEncodeHelper&) = delete;
  CEncodeHelper& operator=(const CEncodeHelper&) = delete;

  // Copies picture (40 bytes) and audio (18 bytes); null leaves that part out.
  // Returns 0, the failing step's code, or 1 when fileType lacks EFT_MP4.
  HRESULT Start(const BITMAPINFOHEADER* picture, const char* fileName, int32_t fileType, int32_t bitRate,
                int32_t rate, const WAVEFORMATEX* audio, int32_t encodeMode);
  HRESULT StartMp4Encode();
  // Closes the encoders and finalises the file. Callers hold the session lock.
  void Stop();
  HRESULT PushVideo(const BYTE* picture, int32_t size, int64_t timeStampMs);
  HRESULT PushAudio(const BYTE* pcm, int32_t size, int64_t timeStampMs);
  // The AAC encoder's data callback; context is the session.
  static void OnAudioEncoded(const BYTE* data, int32_t size, int32_t reserved, void* context, int64_t timeStampMs);

  CriticalSection& lock() { return lock_; }
  bool started() const { return started_.load(std::memory_order_acquire) != 0; }
  void clearStarted() { started_.store(0, std::memory_order_release); }
  int32_t fileType() const { return fileType_; }
  void setEncoderChoice(int32_t choice) { encoderChoice_ = choice; }
  // The software encoder's calls; x264EncoderApi() unless replaced. Not
  // while started.
  void setSoftwareEncoder(const VideoEncoderApi* api) { softwareEncoder_ = api; }
  // Shown to the user when StartMp4Encode fails unexpectedly; the control
  // binds it to a message box. Default: a trace line.
  void setUserAlert(std::function<void(const char*)> alert) { userAlert_ = std::move(alert); }
  // The MP4 path of the current (or last) recording.
  std::string targetPath() const;
  Counters counters() const;

 private:
  HRESULT EncodeVideo(const BYTE* picture, int32_t size, int64_t timeStampMs);
  HRESULT openMp4();  // the steps of StartMp4Encode; may throw

  mutable CriticalSection lock_;  // the session lock
  std::unique_ptr<BITMAPINFOHEADER> videoInfo_;
  std::unique_ptr<WAVEFORMATEX> audioFormat_;
  int32_t bitRate_ = 0;
  int32_t rate_ = 0;
  std::string fileName_;
  int32_t fileType_ = 0;
  std::atomic<int32_t> started_{0};
  int32_t encoderChoice_ = 0;
  bool syntheticClockOn_ = false;
  int64_t syntheticClock_ = 0;
  const VideoEncoderApi* softwareEncoder_;
  const VideoEncoderApi* encoderApi_ = nullptr;  // the library encoder_ came from
  void* encoder_ = nullptr;     // the H.264 encoder instance
  void* aacEncoder_ = nullptr;  // OxAACEncoder instance
  void* fileWriter_ = nullptr;  // OxMp4Writer instance
  uint32_t startTick_ = 0;
  int32_t aacState_ = 0;
  bool keyFrameSeen_ = false;
  uint8_t savedParameterSets_[256] = {};
  int32_t savedParameterSetsLength_ = 0;
  uint8_t savedAudioConfig_[256] = {};
  int32_t savedAudioConfigLength_ = 0;
  int32_t bFrames_ = 0;
  int32_t encodeMode_ = 0;
  int64_t liveQueueLimit_ = 0;
  int32_t lastStep_ = 0;  // code of the last step StartMp4Encode ran
  std::function<void(const char*)> userAlert_;
  // Read by the host and benchmarks while a recording runs.
  std::atomic<uint64_t> picturesEncoded_{0}, picturesWritten_{0}, picturesDropped_{0}, pcmBlocks_{0},
      audioFramesWritten_{0};
};

}  // namespace lessonry::capture
