#include "mp4_writer.h"

#include <cstring>

#include "base/trace.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
}

namespace lessonry::mp4 {
namespace {

constexpr AVRational kMillis{1, 1000};

bool setExtradata(AVCodecParameters* par, const uint8_t* bytes, int32_t length) {
  if (!bytes || length <= 0) return true;
  par->extradata = static_cast<uint8_t*>(av_mallocz(static_cast<size_t>(length) + AV_INPUT_BUFFER_PADDING_SIZE));
  if (!par->extradata) return false;
  std::memcpy(par->extradata, bytes, static_cast<size_t>(length));
  par->extradata_size = length;
  return true;
}

std::string errorText(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

}  // namespace

void OutputContextFree::operator()(AVFormatContext* context) const {
  if (context->pb) avio_closep(&context->pb);
  avformat_free_context(context);
}
void PacketFree::operator()(AVPacket* packet) const { av_packet_free(&packet); }

Mp4Writer::~Mp4Writer() {
  if (context_) end();
}

HRESULT Mp4Writer::begin(const std::string& path, const BITMAPINFOHEADER* video, const uint8_t* parameterSets,
                         int32_t parameterSetsLength, const WAVEFORMATEX* audio, const uint8_t* audioConfig,
                         int32_t audioConfigLength) {
  if (context_ || path.empty() || (!video && !audio)) return E_FAIL;
  if (video && (video->biWidth <= 0 || video->biHeight == 0)) return E_FAIL;
  if (audio && (audio->nSamplesPerSec == 0 || audio->nChannels == 0)) return E_FAIL;

  AVFormatContext* raw = nullptr;
  if (avformat_alloc_output_context2(&raw, nullptr, "mp4", path.c_str()) < 0 || !raw) return E_FAIL;
  std::unique_ptr<AVFormatContext, OutputContextFree> context(raw);

  if (video) {
    videoStream_ = avformat_new_stream(context.get(), nullptr);
    if (!videoStream_) return E_FAIL;
    AVCodecParameters* par = videoStream_->codecpar;
    par->codec_type = AVMEDIA_TYPE_VIDEO;
    par->codec_id = AV_CODEC_ID_H264;
    par->width = video->biWidth;
    par->height = video->biHeight < 0 ? -video->biHeight : video->biHeight;
    par->format = AV_PIX_FMT_YUV420P;
    // Annex B parameter sets: the muxer turns them into the avcC record and
    // the access units into length-prefixed samples.
    if (!setExtradata(par, parameterSets, parameterSetsLength)) return E_FAIL;
    videoStream_->time_base = kMillis;
  }
  if (audio) {
    audioStream_ = avformat_new_stream(context.get(), nullptr);
    if (!audioStream_) return E_FAIL;
    AVCodecParameters* par = audioStream_->codecpar;
    par->codec_type = AVMEDIA_TYPE_AUDIO;
    par->codec_id = AV_CODEC_ID_AAC;
    par->sample_rate = static_cast<int>(audio->nSamplesPerSec);
    av_channel_layout_default(&par->ch_layout, audio->nChannels);
    par->frame_size = audioFrameSize_;
    if (!setExtradata(par, audioConfig, audioConfigLength)) return E_FAIL;
    audioStream_->time_base = AVRational{1, par->sample_rate};
  }

  if (int rc = avio_open(&context->pb, path.c_str(), AVIO_FLAG_WRITE); rc < 0) {
    trace("MP4BeginWrite: cannot create %s: %s", path.c_str(), errorText(rc).c_str());
    return E_FAIL;
  }
  context->flags |= AVFMT_FLAG_FLUSH_PACKETS;
  AVDictionary* options = nullptr;
  // moov first, a fragment per key frame and at least every second: what is
  // on disk is always a playable file.
  av_dict_set(&options, "movflags", "frag_keyframe+empty_moov+default_base_moof", 0);
  av_dict_set(&options, "frag_duration", "1000000", 0);
  const int rc = avformat_write_header(context.get(), &options);
  av_dict_free(&options);
  if (rc < 0) {
    trace("MP4BeginWrite: header for %s: %s", path.c_str(), errorText(rc).c_str());
    return E_FAIL;
  }
  context_ = std::move(context);
  heldVideo_.reset(av_packet_alloc());
  audioFrames_ = 0;
  lastVideoMs_ = INT64_MIN;
  lastVideoDurationMs_ = 40;
  failed_ = false;
  return S_OK;
}

HRESULT Mp4Writer::writeHeldVideo(int64_t durationMs) {
  AVPacket* pkt = heldVideo_.get();
  if (!pkt || pkt->size == 0) return S_OK;
  pkt->duration = durationMs;
  av_packet_rescale_ts(pkt, kMillis, videoStream_->time_base);
  pkt->stream_index = videoStream_->index;
  const int rc = av_write_frame(context_.get(), pkt);
  av_packet_unref(pkt);
  if (rc < 0) {
    failed_ = true;
    return E_FAIL;
  }
  return S_OK;
}

HRESULT Mp4Writer::writeVideo(const uint8_t* data, int32_t size, bool keyFrame, int64_t timeStampMs) {
  if (!context_ || !videoStream_ || !data || size <= 0) return E_FAIL;
  if (failed_) return E_FAIL;
  if (lastVideoMs_ != INT64_MIN && timeStampMs <= lastVideoMs_) timeStampMs = lastVideoMs_ + 1;
  HRESULT hr = S_OK;
  if (lastVideoMs_ != INT64_MIN) {
    lastVideoDurationMs_ = timeStampMs - lastVideoMs_;
    hr = writeHeldVideo(lastVideoDurationMs_);
  }
  AVPacket* pkt = heldVideo_.get();
  if (av_new_packet(pkt, size) < 0) return E_FAIL;
  std::memcpy(pkt->data, data, static_cast<size_t>(size));
  pkt->pts = pkt->dts = timeStampMs;
  if (keyFrame) pkt->flags |= AV_PKT_FLAG_KEY;
  lastVideoMs_ = timeStampMs;
  return hr;
}

HRESULT Mp4Writer::writeAudio(const uint8_t* data, int32_t size) {
  if (!context_ || !audioStream_ || !data || size <= 0) return E_FAIL;
  if (failed_) return E_FAIL;
  std::unique_ptr<AVPacket, PacketFree> pkt(av_packet_alloc());
  if (!pkt || av_new_packet(pkt.get(), size) < 0) return E_FAIL;
  std::memcpy(pkt->data, data, static_cast<size_t>(size));
  pkt->pts = pkt->dts = audioFrames_ * audioFrameSize_;
  pkt->duration = audioFrameSize_;
  pkt->flags |= AV_PKT_FLAG_KEY;
  pkt->stream_index = audioStream_->index;
  av_packet_rescale_ts(pkt.get(), AVRational{1, audioStream_->codecpar->sample_rate}, audioStream_->time_base);
  ++audioFrames_;
  if (av_write_frame(context_.get(), pkt.get()) < 0) {
    failed_ = true;
    return E_FAIL;
  }
  return S_OK;
}

HRESULT Mp4Writer::end() {
  if (!context_) return E_FAIL;
  HRESULT hr = S_OK;
  if (!failed_ && writeHeldVideo(lastVideoDurationMs_) != S_OK) hr = E_FAIL;
  if (av_write_trailer(context_.get()) < 0) hr = E_FAIL;
  if (avio_closep(&context_->pb) < 0) hr = E_FAIL;
  context_.reset();
  videoStream_ = audioStream_ = nullptr;
  heldVideo_.reset();
  return hr;
}

}  // namespace lessonry::mp4
