// Test support: reading back what the encoders and the writer produced, with
// libavcodec / libavformat, and making pictures and sound to feed them.
// Only tests and benchmarks link this.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace lessonry::testing {

// A decoded picture as packed BGR24, top row first, stride = width * 3.
struct DecodedPicture {
  int width = 0;
  int height = 0;
  int64_t pts = 0;  // in the stream's time base (milliseconds for our files)
  bool keyFrame = false;
  std::vector<uint8_t> bgr;
  const uint8_t* pixel(int x, int y) const { return bgr.data() + (static_cast<size_t>(y) * width + x) * 3; }
};

// NAL units of an Annex B byte stream: type and the bytes including the start code.
struct NalUnit {
  int type = 0;
  std::vector<uint8_t> bytes;
};
std::vector<NalUnit> splitAnnexB(const uint8_t* data, size_t size);

// Decodes an H.264 Annex B elementary stream given as access units.
class H264Decoder {
 public:
  H264Decoder();
  ~H264Decoder();
  H264Decoder(const H264Decoder&) = delete;
  H264Decoder& operator=(const H264Decoder&) = delete;
  // Feeds one access unit; decoded pictures are appended to out.
  bool decode(const uint8_t* data, size_t size, int64_t pts, std::vector<DecodedPicture>& out);
  void flush(std::vector<DecodedPicture>& out);

 private:
  struct Impl;
  Impl* impl_;
};

struct TrackInfo {
  std::string codec;  // "h264", "aac", ...
  int64_t packets = 0;
  double durationSeconds = 0;  // last packet end minus first packet start
  int64_t firstPts = 0;        // in the track's time base
  int timeBaseDen = 0;
  int width = 0, height = 0;         // video
  int sampleRate = 0, channels = 0;  // audio
  int64_t keyFrames = 0;
  bool firstPacketKey = false;
  std::vector<uint8_t> extradata;
};

struct FileInfo {
  bool opened = false;
  std::string error;
  std::vector<TrackInfo> tracks;
  const TrackInfo* track(const std::string& codec) const;
};

// Opens path with libavformat and reads every packet.
FileInfo probeFile(const std::string& path);
// Decodes every video picture of the file (BGR24) and counts decoded audio
// samples per channel; false when the file does not open or a decode fails.
bool decodeFile(const std::string& path, std::vector<DecodedPicture>* pictures, int64_t* audioSamples);

// A BGR24 top-down test picture (stride dibStride(width, 24)): a gradient
// background with a white square whose position depends on frame.
std::vector<uint8_t> movingPicture(int width, int height, int frame);
// Fills rect with colour (B, G, R) in a BGR24 picture of the given stride.
void fillBgr(std::vector<uint8_t>& picture, int stride, int x, int y, int w, int h, uint8_t b, uint8_t g,
             uint8_t r);
// Interleaved 16-bit stereo sine, amplitude in [0, 1].
std::vector<int16_t> sineStereo(int frames, int sampleRate, double hz, double amplitude, int64_t& phase);

}  // namespace lessonry::testing

namespace lessonry::testing {

// A 440 Hz stereo tone at 44100 Hz in 20 ms blocks (882 sample frames), handed
// to sink from a periodic timer thread of its own, as an audio render delivers
// PCM. Stops when destroyed (after the running block, if any).
class ToneFeed {
 public:
  using Sink = std::function<void(const uint8_t* pcm, int32_t bytes)>;
  explicit ToneFeed(Sink sink, double amplitude = 0.25);
  ~ToneFeed();
  ToneFeed(const ToneFeed&) = delete;
  ToneFeed& operator=(const ToneFeed&) = delete;

 private:
  Sink sink_;
  double amplitude_;
  int64_t phase_ = 0;  // timer thread only
  uint32_t timer_ = 0;
};

}  // namespace lessonry::testing
