// One OxAACEncoder instance: FFmpeg's AAC-LC encoder behind a PCM block
// buffer and a sample-position to millisecond map for the frames' time stamps.
// Threads: one caller at a time; the callback runs on the caller's thread.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "base/win_types.h"
#include "ox_aac_encoder.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace lessonry::aac {

struct CodecContextFree {
  void operator()(AVCodecContext* c) const;
};
struct FrameFree {
  void operator()(AVFrame* f) const;
};
struct PacketFree {
  void operator()(AVPacket* p) const;
};
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextFree>;

bool supportedFormat(const WAVEFORMATEX& format);
// An opened AAC-LC encoder for format, or null.
CodecContextPtr openEncoder(const WAVEFORMATEX& format);

class AacEncoder {
 public:
  ~AacEncoder();
  void setCallback(AACDataCallback callback, void* context) {
    callback_ = callback;
    context_ = context;
  }
  HRESULT start(const WAVEFORMATEX& format);
  HRESULT encode(const uint8_t* pcm, int32_t size, int64_t timeStampMs);
  // Flushes buffered samples through the callback (when flush) and closes.
  void stop(bool flush = true);

 private:
  // Where input block timing starts: sample position -> milliseconds.
  struct Segment {
    int64_t firstSample;
    int64_t timeStampMs;
  };
  bool sendFrame(int samples);  // from the front of pending_
  void drainPackets();
  int64_t timeStampOf(int64_t samplePosition) const;

  AACDataCallback callback_ = nullptr;
  void* context_ = nullptr;
  CodecContextPtr codec_;
  std::unique_ptr<AVFrame, FrameFree> frame_;
  std::unique_ptr<AVPacket, PacketFree> packet_;
  int channels_ = 0;
  int sampleRate_ = 0;
  int frameSize_ = 0;
  std::vector<uint8_t> partial_;         // bytes of an incomplete sample frame
  std::vector<std::vector<float>> pending_;  // planar samples not yet sent
  int64_t samplesReceived_ = 0;          // position of the next input sample
  int64_t samplesSent_ = 0;              // position of the first pending sample
  std::deque<Segment> segments_;
};

}  // namespace lessonry::aac
