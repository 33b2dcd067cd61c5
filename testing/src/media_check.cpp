#include "testing/media_check.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "base/periodic_timer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

namespace lessonry::testing {
namespace {

struct CodecFree {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFree {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFree {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FormatClose {
  void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};
struct SwsFree {
  void operator()(SwsContext* s) const { sws_freeContext(s); }
};

DecodedPicture toBgr(const AVFrame* frame) {
  DecodedPicture p;
  p.width = frame->width;
  p.height = frame->height;
  p.pts = frame->pts == AV_NOPTS_VALUE ? frame->best_effort_timestamp : frame->pts;
  p.keyFrame = frame->key_frame != 0;
  p.bgr.resize(static_cast<size_t>(p.width) * p.height * 3);
  std::unique_ptr<SwsContext, SwsFree> sws(sws_getContext(frame->width, frame->height,
                                                          static_cast<AVPixelFormat>(frame->format), frame->width,
                                                          frame->height, AV_PIX_FMT_BGR24, SWS_POINT | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr,
                                                          nullptr, nullptr));
  uint8_t* dst[4] = {p.bgr.data(), nullptr, nullptr, nullptr};
  int dstStride[4] = {p.width * 3, 0, 0, 0};
  sws_scale(sws.get(), frame->data, frame->linesize, 0, frame->height, dst, dstStride);
  return p;
}

void receiveAll(AVCodecContext* ctx, std::vector<DecodedPicture>* out, int64_t* samples) {
  std::unique_ptr<AVFrame, FrameFree> frame(av_frame_alloc());
  while (avcodec_receive_frame(ctx, frame.get()) == 0) {
    if (ctx->codec_type == AVMEDIA_TYPE_VIDEO && out) out->push_back(toBgr(frame.get()));
    if (ctx->codec_type == AVMEDIA_TYPE_AUDIO && samples) *samples += frame->nb_samples;
    av_frame_unref(frame.get());
  }
}

}  // namespace

std::vector<NalUnit> splitAnnexB(const uint8_t* data, size_t size) {
  std::vector<NalUnit> units;
  std::vector<size_t> starts;  // offsets of start codes
  for (size_t i = 0; i + 3 <= size; ++i) {
    if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) {
      size_t s = (i > 0 && data[i - 1] == 0) ? i - 1 : i;
      starts.push_back(s);
      i += 2;
    }
  }
  for (size_t k = 0; k < starts.size(); ++k) {
    const size_t begin = starts[k];
    const size_t end = k + 1 < starts.size() ? starts[k + 1] : size;
    NalUnit u;
    u.bytes.assign(data + begin, data + end);
    size_t header = begin;
    while (data[header] == 0) ++header;
    ++header;  // the 01
    u.type = header < size ? (data[header] & 0x1F) : -1;
    units.push_back(std::move(u));
  }
  return units;
}

struct H264Decoder::Impl {
  std::unique_ptr<AVCodecContext, CodecFree> ctx;
  std::unique_ptr<AVPacket, PacketFree> packet{av_packet_alloc()};
};

H264Decoder::H264Decoder() : impl_(new Impl) {
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
  impl_->ctx.reset(avcodec_alloc_context3(codec));
  impl_->ctx->thread_count = 1;
  avcodec_open2(impl_->ctx.get(), codec, nullptr);
}

H264Decoder::~H264Decoder() { delete impl_; }

bool H264Decoder::decode(const uint8_t* data, size_t size, int64_t pts, std::vector<DecodedPicture>& out) {
  AVPacket* pkt = impl_->packet.get();
  if (av_new_packet(pkt, static_cast<int>(size)) < 0) return false;
  std::copy(data, data + size, pkt->data);
  pkt->pts = pkt->dts = pts;
  const int rc = avcodec_send_packet(impl_->ctx.get(), pkt);
  av_packet_unref(pkt);
  if (rc < 0) return false;
  receiveAll(impl_->ctx.get(), &out, nullptr);
  return true;
}

void H264Decoder::flush(std::vector<DecodedPicture>& out) {
  avcodec_send_packet(impl_->ctx.get(), nullptr);
  receiveAll(impl_->ctx.get(), &out, nullptr);
}

const TrackInfo* FileInfo::track(const std::string& codec) const {
  for (const auto& t : tracks)
    if (t.codec == codec) return &t;
  return nullptr;
}

FileInfo probeFile(const std::string& path) {
  FileInfo info;
  AVFormatContext* raw = nullptr;
  if (int rc = avformat_open_input(&raw, path.c_str(), nullptr, nullptr); rc < 0) {
    char text[128];
    av_strerror(rc, text, sizeof text);
    info.error = text;
    return info;
  }
  std::unique_ptr<AVFormatContext, FormatClose> fmt(raw);
  if (avformat_find_stream_info(fmt.get(), nullptr) < 0) {
    info.error = "no stream info";
    return info;
  }
  info.opened = true;
  std::vector<int64_t> first(fmt->nb_streams, AV_NOPTS_VALUE), last(fmt->nb_streams, AV_NOPTS_VALUE);
  // Fragmented files often carry no per-packet duration: a packet then lasts
  // as long as the step before it.
  std::vector<int64_t> prevPts(fmt->nb_streams, AV_NOPTS_VALUE), step(fmt->nb_streams, 0);
  for (unsigned i = 0; i < fmt->nb_streams; ++i) {
    const AVCodecParameters* par = fmt->streams[i]->codecpar;
    TrackInfo t;
    t.codec = avcodec_get_name(par->codec_id);
    t.timeBaseDen = fmt->streams[i]->time_base.den;
    t.width = par->width;
    t.height = par->height;
    t.sampleRate = par->sample_rate;
    t.channels = par->ch_layout.nb_channels;
    if (par->extradata) t.extradata.assign(par->extradata, par->extradata + par->extradata_size);
    info.tracks.push_back(t);
  }
  std::unique_ptr<AVPacket, PacketFree> pkt(av_packet_alloc());
  while (av_read_frame(fmt.get(), pkt.get()) >= 0) {
    const int s = pkt->stream_index;
    TrackInfo& t = info.tracks[s];
    if (t.packets == 0) {
      t.firstPacketKey = (pkt->flags & AV_PKT_FLAG_KEY) != 0;
      t.firstPts = pkt->pts;
    }
    ++t.packets;
    if (pkt->flags & AV_PKT_FLAG_KEY) ++t.keyFrames;
    if (pkt->pts != AV_NOPTS_VALUE) {
      if (first[s] == AV_NOPTS_VALUE || pkt->pts < first[s]) first[s] = pkt->pts;
      if (prevPts[s] != AV_NOPTS_VALUE && pkt->pts > prevPts[s]) step[s] = pkt->pts - prevPts[s];
      prevPts[s] = pkt->pts;
      const int64_t end = pkt->pts + (pkt->duration > 0 ? pkt->duration : step[s]);
      if (last[s] == AV_NOPTS_VALUE || end > last[s]) last[s] = end;
    }
    av_packet_unref(pkt.get());
  }
  for (unsigned i = 0; i < fmt->nb_streams; ++i)
    if (first[i] != AV_NOPTS_VALUE)
      info.tracks[i].durationSeconds = static_cast<double>(last[i] - first[i]) * av_q2d(fmt->streams[i]->time_base);
  return info;
}

bool decodeFile(const std::string& path, std::vector<DecodedPicture>* pictures, int64_t* audioSamples) {
  AVFormatContext* raw = nullptr;
  if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) return false;
  std::unique_ptr<AVFormatContext, FormatClose> fmt(raw);
  if (avformat_find_stream_info(fmt.get(), nullptr) < 0) return false;
  std::vector<std::unique_ptr<AVCodecContext, CodecFree>> decoders(fmt->nb_streams);
  for (unsigned i = 0; i < fmt->nb_streams; ++i) {
    const AVCodec* codec = avcodec_find_decoder(fmt->streams[i]->codecpar->codec_id);
    if (!codec) continue;
    decoders[i].reset(avcodec_alloc_context3(codec));
    avcodec_parameters_to_context(decoders[i].get(), fmt->streams[i]->codecpar);
    decoders[i]->thread_count = 1;
    decoders[i]->pkt_timebase = fmt->streams[i]->time_base;
    if (avcodec_open2(decoders[i].get(), codec, nullptr) < 0) return false;
  }
  if (audioSamples) *audioSamples = 0;
  std::unique_ptr<AVPacket, PacketFree> pkt(av_packet_alloc());
  bool ok = true;
  while (av_read_frame(fmt.get(), pkt.get()) >= 0) {
    AVCodecContext* ctx = decoders[pkt->stream_index].get();
    if (ctx) {
      if (avcodec_send_packet(ctx, pkt.get()) < 0) ok = false;
      receiveAll(ctx, pictures, audioSamples);
    }
    av_packet_unref(pkt.get());
  }
  for (auto& d : decoders) {
    if (!d) continue;
    avcodec_send_packet(d.get(), nullptr);
    receiveAll(d.get(), pictures, audioSamples);
  }
  return ok;
}

std::vector<uint8_t> movingPicture(int width, int height, int frame) {
  const int stride = ((24 * width + 31) / 32) * 4;
  std::vector<uint8_t> p(static_cast<size_t>(stride) * height);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = p.data() + static_cast<size_t>(y) * stride;
    for (int x = 0; x < width; ++x) {
      row[x * 3 + 0] = static_cast<uint8_t>((x + frame * 4) & 0xFF);
      row[x * 3 + 1] = static_cast<uint8_t>((y * 255) / std::max(1, height - 1));
      row[x * 3 + 2] = 64;
    }
  }
  const int side = std::max(8, std::min(width, height) / 6);
  const int span = std::max(1, width - side);
  const int x0 = (frame * 8) % span;
  const int y0 = (height - side) / 2;
  fillBgr(p, stride, x0, y0, side, side, 255, 255, 255);
  return p;
}

void fillBgr(std::vector<uint8_t>& picture, int stride, int x, int y, int w, int h, uint8_t b, uint8_t g,
             uint8_t r) {
  for (int j = y; j < y + h; ++j)
    for (int i = x; i < x + w; ++i) {
      uint8_t* px = picture.data() + static_cast<size_t>(j) * stride + static_cast<size_t>(i) * 3;
      px[0] = b;
      px[1] = g;
      px[2] = r;
    }
}

std::vector<int16_t> sineStereo(int frames, int sampleRate, double hz, double amplitude, int64_t& phase) {
  std::vector<int16_t> s(static_cast<size_t>(frames) * 2);
  for (int i = 0; i < frames; ++i, ++phase) {
    const double v = std::sin(2.0 * M_PI * hz * static_cast<double>(phase) / sampleRate) * amplitude * 32767.0;
    s[i * 2] = s[i * 2 + 1] = static_cast<int16_t>(std::lround(v));
  }
  return s;
}

}  // namespace lessonry::testing

namespace lessonry::testing {

ToneFeed::ToneFeed(Sink sink, double amplitude) : sink_(std::move(sink)), amplitude_(amplitude) {
  timer_ = timeSetEvent(20, 0, [this](const TimerTick&) {
    const auto pcm = sineStereo(882, 44100, 440.0, amplitude_, phase_);
    sink_(reinterpret_cast<const uint8_t*>(pcm.data()), static_cast<int32_t>(pcm.size() * 2));
  });
}

ToneFeed::~ToneFeed() { timeKillEvent(timer_); }

}  // namespace lessonry::testing
