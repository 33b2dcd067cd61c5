// One encoder instance of OxLib264Encoder: the x264 stream, the RGB to I420
// conversion and the key-frame timing. The exported C functions in
// exports.cpp are thin shells over this class.
//
// Threads: one thread at a time per instance (the capture tick); x264 runs
// its own frame threads inside the open encoder.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "base/win_types.h"

extern "C" {
#include <x264.h>
}

struct SwsContext;

namespace lessonry::x264lib {

// Sizes of the aligned I420 layout for a picture of width x height.
struct I420Layout {
  int32_t alignedWidth;  // width rounded up to a multiple of 4: Y stride
  int32_t chromaStride;  // alignedWidth / 2
  int32_t ySize;         // alignedWidth * height
  int32_t pictureSize;   // ySize * 3 / 2
  static I420Layout of(int32_t width, int32_t height);
};

// The fixed configuration for width x height at bitRateKbps. x264_param_parse
// may allocate inside the record, so it releases it with x264_param_cleanup.
class EncoderParams {
 public:
  EncoderParams(int32_t width, int32_t height, int32_t bitRateKbps);
  ~EncoderParams() { x264_param_cleanup(&param_); }
  EncoderParams(const EncoderParams&) = delete;
  EncoderParams& operator=(const EncoderParams&) = delete;
  // False when x264 rejected a step.
  bool ok() const { return ok_; }
  x264_param_t* get() { return &param_; }

 private:
  x264_param_t param_;
  bool ok_ = false;
};

struct X264Closer {
  void operator()(x264_t* encoder) const { x264_encoder_close(encoder); }
};
struct SwsFreer {
  void operator()(SwsContext* context) const;
};
using X264Ptr = std::unique_ptr<x264_t, X264Closer>;
using SwsPtr = std::unique_ptr<SwsContext, SwsFreer>;

class X264Encoder {
 public:
  struct Output {
    uint8_t* data = nullptr;
    int32_t size = 0;
    int64_t pts = 0;
    int32_t keyFrame = 0;
  };

  // Forced key frame interval of wall-clock time, milliseconds (strictly more).
  static constexpr uint32_t kKeyFrameIntervalMs = 4000;

  HRESULT start(const BITMAPINFOHEADER& format, int32_t bitRateKbps);
  // Returns true with out filled when an access unit is ready.
  bool encode(const uint8_t* picture, int64_t pts, Output& out);
  void forceKeyFrame() { forceKeyFrame_ = true; }
  void stop();
  bool started() const { return encoder_ != nullptr; }
  size_t conversionCapacity() const { return convertBuffer_.size(); }

  // SPS then PPS of a stream with this configuration; E_FAIL on failure.
  static HRESULT parameterSets(int32_t width, int32_t height, int32_t bitRateKbps, std::vector<uint8_t>& out);

 private:
  X264Ptr encoder_;
  int32_t width_ = 0;
  int32_t height_ = 0;
  I420Layout layout_{};
  SwsPtr scaler_;
  bool convert_ = false;
  int32_t sourceStride_[4] = {};
  int32_t targetStride_[4] = {};
  uint8_t* targetPlane_[4] = {};
  // Grows only; kept across Stop and Start.
  std::vector<uint8_t> convertBuffer_;
  bool forceKeyFrame_ = true;  // the first picture of the first stream is a key frame
  uint32_t lastKeyTime_ = 0;   // timeGetTime() of Start or of the last timed key frame
};

}  // namespace lessonry::x264lib
