#include "x264_encoder.h"

#include <cstdio>
#include <cstring>

#include "base/clock.h"
#include "base/trace.h"

extern "C" {
#include <libswscale/swscale.h>
}

namespace lessonry::x264lib {

void SwsFreer::operator()(SwsContext* context) const { sws_freeContext(context); }

I420Layout I420Layout::of(int32_t width, int32_t height) {
  I420Layout l{};
  l.alignedWidth = (width + 3) / 4 * 4;
  l.chromaStride = l.alignedWidth / 2;
  l.ySize = l.alignedWidth * height;
  l.pictureSize = l.ySize * 3 / 2;
  return l;
}

EncoderParams::EncoderParams(int32_t width, int32_t height, int32_t bitRateKbps) {
  x264_param_t& param = param_;
  std::memset(&param, 0, sizeof param);
  if (x264_param_default_preset(&param, "superfast", nullptr) < 0) return;
  char rate[16];
  std::snprintf(rate, sizeof rate, "%d", bitRateKbps);
  if (x264_param_parse(&param, "bitrate", rate) < 0) return;  // selects X264_RC_ABR
  x264_param_apply_fastfirstpass(&param);
  if (x264_param_apply_profile(&param, "baseline") < 0) return;
  param.i_width = width;
  param.i_height = height;
  param.i_csp = X264_CSP_I420;
  param.i_level_idc = 32;
  param.i_sync_lookahead = 0;
  param.i_keyint_max = X264_KEYINT_MAX_INFINITE;
  param.rc.i_qp_constant = 26;
  param.rc.i_qp_min = 5;
  param.rc.i_qp_max = 51;
  param.b_vfr_input = 1;
  param.i_timebase_num = 1;
  param.i_timebase_den = 1000;
  param.i_log_level = X264_LOG_ERROR;
  ok_ = true;
}

namespace {

bool validFormat(const BITMAPINFOHEADER& format) {
  if (format.biWidth <= 0 || format.biHeight == 0 || format.biHeight == INT32_MIN) return false;
  // Bounded so that every derived size fits the 32-bit fields.
  if (format.biWidth > 16384 || std::abs(format.biHeight) > 16384) return false;
  // 4:2:0 needs even sizes; x264 would refuse them too (and leak doing so).
  if (format.biWidth % 2 != 0 || std::abs(format.biHeight) % 2 != 0) return false;
  return format.biBitCount == 12 || format.biBitCount == 24 || format.biBitCount == 32;
}

}  // namespace

HRESULT X264Encoder::start(const BITMAPINFOHEADER& format, int32_t bitRateKbps) {
  if (!validFormat(format) || bitRateKbps <= 0) return E_FAIL;
  stop();
  width_ = format.biWidth;
  height_ = std::abs(format.biHeight);
  layout_ = I420Layout::of(width_, height_);

  convert_ = format.biBitCount != 12;
  if (convert_) {
    const AVPixelFormat source = format.biBitCount == 24 ? AV_PIX_FMT_BGR24 : AV_PIX_FMT_BGRA;
    targetStride_[0] = layout_.alignedWidth;
    targetStride_[1] = targetStride_[2] = layout_.chromaStride;
    if (static_cast<size_t>(layout_.pictureSize) > convertBuffer_.size()) {
      convertBuffer_.clear();
      convertBuffer_.shrink_to_fit();
      convertBuffer_.resize(static_cast<size_t>(layout_.pictureSize));
    }
    sourceStride_[0] = ((format.biBitCount * width_ + 31) / 32 * 32) / 8;
    uint8_t* y = convertBuffer_.data();
    uint8_t* u = y + layout_.ySize;
    uint8_t* v = u + layout_.ySize / 4;
    targetPlane_[0] = y;
    targetPlane_[1] = u;
    targetPlane_[2] = v;
    if (format.biHeight > 0) {
      // Bottom-up source: write the rows upside down so the buffer is top-down.
      targetPlane_[0] = y + (height_ - 1) * layout_.alignedWidth;
      targetPlane_[1] = u + (height_ / 2 - 1) * layout_.chromaStride;
      targetPlane_[2] = v + (height_ / 2 - 1) * layout_.chromaStride;
      for (int i = 0; i < 3; ++i) targetStride_[i] = -targetStride_[i];
    }
    scaler_.reset(sws_getContext(width_, height_, source, width_, height_, AV_PIX_FMT_YUV420P, SWS_FAST_BILINEAR,
                                 nullptr, nullptr, nullptr));
    if (!scaler_) return E_FAIL;
  }

  EncoderParams params(width_, height_, bitRateKbps);
  if (!params.ok()) return E_FAIL;
  encoder_.reset(x264_encoder_open(params.get()));
  if (!encoder_) return E_FAIL;
  lastKeyTime_ = timeGetTime();
  return S_OK;
}

bool X264Encoder::encode(const uint8_t* picture, int64_t pts, Output& out) {
  if (!encoder_ || !picture) return false;
  const uint8_t* i420 = picture;
  if (convert_) {
    const uint8_t* const src[4] = {picture, nullptr, nullptr, nullptr};
    sws_scale(scaler_.get(), src, sourceStride_, 0, height_, targetPlane_, targetStride_);
    i420 = convertBuffer_.data();
  }

  const uint32_t now = timeGetTime();
  if (now - lastKeyTime_ > kKeyFrameIntervalMs) {
    forceKeyFrame_ = true;
    lastKeyTime_ = now;
  }

  x264_picture_t in;
  x264_picture_init(&in);
  in.img.i_csp = X264_CSP_I420;
  in.img.i_plane = 3;
  in.img.i_stride[0] = layout_.alignedWidth;
  in.img.i_stride[1] = in.img.i_stride[2] = layout_.chromaStride;
  // x264 reads the planes only; its interface is not const-correct.
  uint8_t* base = const_cast<uint8_t*>(i420);
  in.img.plane[0] = base;
  in.img.plane[1] = base + layout_.ySize;
  in.img.plane[2] = base + layout_.ySize + layout_.ySize / 4;
  if (forceKeyFrame_) {
    in.i_type = X264_TYPE_KEYFRAME;
    forceKeyFrame_ = false;
  }
  in.i_pts = pts;

  x264_nal_t* nals = nullptr;
  int nalCount = 0;
  x264_picture_t coded;
  const int size = x264_encoder_encode(encoder_.get(), &nals, &nalCount, &in, &coded);
  if (size <= 0 || nalCount <= 0) return false;
  out.pts = coded.i_pts;
  out.size = size;
  out.data = nals[0].p_payload;  // x264 keeps one picture's NAL units contiguous
  out.keyFrame = coded.b_keyframe;
  return true;
}

void X264Encoder::stop() {
  if (!encoder_) return;
  x264_nal_t* nals = nullptr;
  int nalCount = 0;
  x264_picture_t coded;
  while (x264_encoder_delayed_frames(encoder_.get()) > 0) {
    if (x264_encoder_encode(encoder_.get(), &nals, &nalCount, nullptr, &coded) < 0) break;
  }
  encoder_.reset();
}

HRESULT X264Encoder::parameterSets(int32_t width, int32_t height, int32_t bitRateKbps, std::vector<uint8_t>& out) {
  if (width <= 0 || height <= 0 || width > 16384 || height > 16384 || bitRateKbps <= 0) return E_FAIL;
  if (width % 2 != 0 || height % 2 != 0) return E_FAIL;
  EncoderParams params(width, height, bitRateKbps);
  if (!params.ok()) return E_FAIL;
  X264Ptr encoder(x264_encoder_open(params.get()));
  if (!encoder) return E_FAIL;
  x264_nal_t* nals = nullptr;
  int nalCount = 0;
  if (x264_encoder_headers(encoder.get(), &nals, &nalCount) < 0 || nalCount < 2) return E_FAIL;
  out.assign(nals[0].p_payload, nals[0].p_payload + nals[0].i_payload);
  out.insert(out.end(), nals[1].p_payload, nals[1].p_payload + nals[1].i_payload);
  return S_OK;
}

}  // namespace lessonry::x264lib
