#include "aac_encoder.h"

#include <algorithm>
#include <cstring>

#include "base/trace.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
}

namespace lessonry::aac {

void CodecContextFree::operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
void FrameFree::operator()(AVFrame* f) const { av_frame_free(&f); }
void PacketFree::operator()(AVPacket* p) const { av_packet_free(&p); }

bool supportedFormat(const WAVEFORMATEX& f) {
  static constexpr uint32_t kRates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000, 64000, 88200, 96000};
  return f.wFormatTag == WAVE_FORMAT_PCM && f.wBitsPerSample == 16 && (f.nChannels == 1 || f.nChannels == 2) &&
         std::find(std::begin(kRates), std::end(kRates), f.nSamplesPerSec) != std::end(kRates);
}

CodecContextPtr openEncoder(const WAVEFORMATEX& format) {
  if (!supportedFormat(format)) return nullptr;
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
  if (!codec) return nullptr;
  CodecContextPtr ctx(avcodec_alloc_context3(codec));
  if (!ctx) return nullptr;
  ctx->sample_fmt = AV_SAMPLE_FMT_FLTP;
  ctx->sample_rate = static_cast<int>(format.nSamplesPerSec);
  av_channel_layout_default(&ctx->ch_layout, format.nChannels);
  ctx->bit_rate = format.nChannels == 2 ? 128000 : 64000;
  ctx->profile = FF_PROFILE_AAC_LOW;
  ctx->time_base = AVRational{1, ctx->sample_rate};
  ctx->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;  // AudioSpecificConfig in extradata
  if (avcodec_open2(ctx.get(), codec, nullptr) < 0) return nullptr;
  return ctx;
}

AacEncoder::~AacEncoder() { stop(false); }

HRESULT AacEncoder::start(const WAVEFORMATEX& format) {
  stop(false);
  codec_ = openEncoder(format);
  if (!codec_) return E_FAIL;
  frame_.reset(av_frame_alloc());
  packet_.reset(av_packet_alloc());
  if (!frame_ || !packet_) {
    codec_.reset();
    return E_FAIL;
  }
  channels_ = format.nChannels;
  sampleRate_ = static_cast<int>(format.nSamplesPerSec);
  frameSize_ = codec_->frame_size > 0 ? codec_->frame_size : 1024;
  pending_.assign(static_cast<size_t>(channels_), {});
  partial_.clear();
  samplesReceived_ = samplesSent_ = 0;
  segments_.clear();
  return S_OK;
}

HRESULT AacEncoder::encode(const uint8_t* pcm, int32_t size, int64_t timeStampMs) {
  if (!codec_) return E_FAIL;
  if (!pcm || size < 0) return E_FAIL;
  if (size == 0) return S_OK;
  const size_t blockAlign = static_cast<size_t>(channels_) * 2;
  // A block's time stamp belongs to its first whole sample; bytes left over
  // from the previous block complete that sample first.
  const int64_t carried = static_cast<int64_t>(partial_.size());
  partial_.insert(partial_.end(), pcm, pcm + size);
  const size_t frames = partial_.size() / blockAlign;
  if (frames == 0) return S_OK;
  const int64_t firstNew = samplesReceived_ + (carried > 0 ? 1 : 0);
  if (segments_.empty() || timeStampOf(firstNew) != timeStampMs) segments_.push_back({firstNew, timeStampMs});

  for (int c = 0; c < channels_; ++c) pending_[c].reserve(pending_[c].size() + frames);
  for (size_t i = 0; i < frames; ++i)
    for (int c = 0; c < channels_; ++c) {
      int16_t s;
      std::memcpy(&s, partial_.data() + (i * channels_ + c) * 2, 2);
      pending_[c].push_back(static_cast<float>(s) / 32768.0f);
    }
  partial_.erase(partial_.begin(), partial_.begin() + static_cast<ptrdiff_t>(frames * blockAlign));
  samplesReceived_ += static_cast<int64_t>(frames);

  while (static_cast<int>(pending_[0].size()) >= frameSize_) {
    if (!sendFrame(frameSize_)) return E_FAIL;
    drainPackets();
  }
  return S_OK;
}

bool AacEncoder::sendFrame(int samples) {
  av_frame_unref(frame_.get());
  frame_->nb_samples = samples;
  frame_->format = AV_SAMPLE_FMT_FLTP;
  frame_->sample_rate = sampleRate_;
  av_channel_layout_copy(&frame_->ch_layout, &codec_->ch_layout);
  if (av_frame_get_buffer(frame_.get(), 0) < 0) return false;
  for (int c = 0; c < channels_; ++c) {
    std::memcpy(frame_->data[c], pending_[c].data(), static_cast<size_t>(samples) * sizeof(float));
    pending_[c].erase(pending_[c].begin(), pending_[c].begin() + samples);
  }
  frame_->pts = samplesSent_;
  samplesSent_ += samples;
  return avcodec_send_frame(codec_.get(), frame_.get()) >= 0;
}

void AacEncoder::drainPackets() {
  while (avcodec_receive_packet(codec_.get(), packet_.get()) == 0) {
    const int64_t ts = timeStampOf(packet_->pts);
    // Timing of positions before the oldest packet still to come is no
    // longer needed.
    while (segments_.size() > 1 && segments_[1].firstSample <= packet_->pts) segments_.pop_front();
    if (callback_) callback_(packet_->data, packet_->size, 0, context_, ts);
    av_packet_unref(packet_.get());
  }
}

int64_t AacEncoder::timeStampOf(int64_t position) const {
  if (segments_.empty()) return 0;
  const Segment* seg = &segments_.front();
  for (const auto& s : segments_)
    if (s.firstSample <= position) seg = &s;
  const int64_t offset = position - seg->firstSample;  // negative for the encoder's priming frame
  const int64_t scaled = offset * 1000;
  return seg->timeStampMs + (scaled >= 0 ? scaled / sampleRate_ : -((-scaled + sampleRate_ - 1) / sampleRate_));
}

void AacEncoder::stop(bool flush) {
  if (!codec_) return;
  if (flush) {
    if (!pending_.empty() && !pending_[0].empty()) {
      if (sendFrame(static_cast<int>(pending_[0].size()))) drainPackets();
    }
    if (avcodec_send_frame(codec_.get(), nullptr) >= 0) drainPackets();
  }
  codec_.reset();
  frame_.reset();
  packet_.reset();
  pending_.clear();
  partial_.clear();
  segments_.clear();
}

}  // namespace lessonry::aac
