// One OxMp4Writer instance over libavformat's MP4 muxer in fragmented mode.
// Threads: calls are serialised by the caller (the encode session's lock).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/win_types.h"

struct AVFormatContext;
struct AVPacket;
struct AVStream;

namespace lessonry::mp4 {

struct OutputContextFree {
  void operator()(AVFormatContext* context) const;
};
struct PacketFree {
  void operator()(AVPacket* packet) const;
};

class Mp4Writer {
 public:
  ~Mp4Writer();
  HRESULT begin(const std::string& path, const BITMAPINFOHEADER* video, const uint8_t* parameterSets,
                int32_t parameterSetsLength, const WAVEFORMATEX* audio, const uint8_t* audioConfig,
                int32_t audioConfigLength);
  HRESULT writeVideo(const uint8_t* data, int32_t size, bool keyFrame, int64_t timeStampMs);
  HRESULT writeAudio(const uint8_t* data, int32_t size);
  HRESULT end();
  bool writing() const { return static_cast<bool>(context_); }

 private:
  HRESULT writeHeldVideo(int64_t durationMs);
  void abandon();

  std::unique_ptr<AVFormatContext, OutputContextFree> context_;
  AVStream* videoStream_ = nullptr;  // owned by context_
  AVStream* audioStream_ = nullptr;  // owned by context_
  int audioFrameSize_ = 1024;
  int64_t audioFrames_ = 0;
  // The newest video unit is held back until the next one arrives, so that
  // every sample is written with its true duration.
  std::unique_ptr<AVPacket, PacketFree> heldVideo_;
  int64_t lastVideoMs_ = INT64_MIN;
  int64_t lastVideoDurationMs_ = 40;
  bool failed_ = false;  // the target stopped accepting data
};

}  // namespace lessonry::mp4
