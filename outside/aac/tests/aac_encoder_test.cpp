// OxAACEncoder through its C interface; frames are decoded back with libavcodec.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "base/picture_format.h"
#include "ox_aac_encoder.h"
#include "testing/media_check.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace {

struct Frame {
  std::vector<uint8_t> data;
  int64_t ts;
};

struct Collector {
  std::vector<Frame> frames;
  static void onFrame(const BYTE* data, int32_t size, int32_t reserved, void* context, int64_t ts) {
    EXPECT_EQ(reserved, 0);
    static_cast<Collector*>(context)->frames.push_back({std::vector<uint8_t>(data, data + size), ts});
  }
};

class Aac {
 public:
  Aac() : h_(AACEncoderCreate()) { AACSetDataCallFunc(h_, &Collector::onFrame, &out); }
  ~Aac() { AACEncoderDelete(h_); }
  AACEncoderHandle h() const { return h_; }
  Collector out;

 private:
  AACEncoderHandle h_;
};

// Decodes raw AAC frames with the given AudioSpecificConfig; returns the
// samples of channel 0.
std::vector<float> decode(const std::vector<Frame>& frames, const std::vector<uint8_t>& config) {
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_AAC);
  AVCodecContext* ctx = avcodec_alloc_context3(codec);
  ctx->extradata = static_cast<uint8_t*>(av_mallocz(config.size() + AV_INPUT_BUFFER_PADDING_SIZE));
  std::copy(config.begin(), config.end(), ctx->extradata);
  ctx->extradata_size = static_cast<int>(config.size());
  EXPECT_EQ(avcodec_open2(ctx, codec, nullptr), 0);
  std::vector<float> samples;
  AVPacket* pkt = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  auto receive = [&] {
    while (avcodec_receive_frame(ctx, frame) == 0) {
      const float* c0 = reinterpret_cast<const float*>(frame->data[0]);
      samples.insert(samples.end(), c0, c0 + frame->nb_samples);
    }
  };
  for (const auto& f : frames) {
    av_new_packet(pkt, static_cast<int>(f.data.size()));
    std::copy(f.data.begin(), f.data.end(), pkt->data);
    EXPECT_GE(avcodec_send_packet(ctx, pkt), 0);
    av_packet_unref(pkt);
    receive();
  }
  avcodec_send_packet(ctx, nullptr);
  receive();
  av_frame_free(&frame);
  av_packet_free(&pkt);
  avcodec_free_context(&ctx);
  return samples;
}

TEST(AacEncoder, DecoderConfigurationForTheRecordingFormat) {
  Aac aac;
  BYTE buffer[128] = {};
  int32_t length = 0;
  const WAVEFORMATEX format = lessonry::makePcmFormat();
  ASSERT_EQ(AACGetExtraData(aac.h(), &format, buffer, &length), S_OK);
  // AAC-LC (object type 2), 44100 Hz (index 4), 2 channels; FFmpeg may append
  // a backward-compatible extension after these two bytes.
  ASSERT_GE(length, 2);
  ASSERT_LE(length, 8);
  EXPECT_EQ(buffer[0], 0x12);
  EXPECT_EQ(buffer[1], 0x10);
}

TEST(AacEncoder, RefusesWhatItCannotEncode) {
  Aac aac;
  BYTE buffer[128];
  int32_t length = 0;
  struct Case {
    uint16_t tag, channels;
    uint32_t rate;
    uint16_t bits;
  } refused[] = {{1, 2, 44100, 8}, {1, 3, 44100, 16}, {1, 0, 44100, 16}, {1, 2, 12345, 16}, {3, 2, 44100, 32}};
  for (const auto& c : refused) {
    WAVEFORMATEX f = lessonry::makePcmFormat(c.channels, c.rate, c.bits);
    f.wFormatTag = c.tag;
    EXPECT_EQ(AACGetExtraData(aac.h(), &f, buffer, &length), E_FAIL);
    EXPECT_EQ(AACEncoderStart(aac.h(), &f), E_FAIL);
  }
  const WAVEFORMATEX good = lessonry::makePcmFormat();
  EXPECT_EQ(AACGetExtraData(nullptr, &good, buffer, &length), E_FAIL);
  EXPECT_EQ(AACGetExtraData(aac.h(), &good, nullptr, &length), E_FAIL);
  EXPECT_EQ(AACEncoderStart(nullptr, &good), E_FAIL);
  EXPECT_EQ(AACEncodeData(aac.h(), buffer, 4, 0, nullptr), E_FAIL) << "not started";
  ASSERT_EQ(AACEncoderStart(aac.h(), &good), S_OK);
  EXPECT_EQ(AACEncodeData(aac.h(), nullptr, 4, 0, nullptr), E_FAIL);
  EXPECT_EQ(AACEncodeData(aac.h(), buffer, -4, 0, nullptr), E_FAIL);
  EXPECT_EQ(AACEncoderStop(nullptr), E_FAIL);
  AACEncoderDelete(nullptr);
}

TEST(AacEncoder, BlocksOfAnySizeComeOutAsWholeFramesWithInputTimeStamps) {
  Aac aac;
  const WAVEFORMATEX format = lessonry::makePcmFormat();
  ASSERT_EQ(AACEncoderStart(aac.h(), &format), S_OK);
  int64_t phase = 0;
  const auto pcm = lessonry::testing::sineStereo(44100, 44100, 440.0, 0.5, phase);  // 1 s
  const auto* bytes = reinterpret_cast<const BYTE*>(pcm.data());
  const size_t total = pcm.size() * 2;
  // Odd block sizes split sample frames across calls; each block is stamped
  // with the time of its first whole sample, starting at 1000 ms.
  const size_t sizes[] = {1, 3, 777, 4096, 5, 10000, 2};
  size_t offset = 0;
  int32_t state = 0;
  for (size_t k = 0; offset < total; ++k) {
    const size_t n = std::min(sizes[k % std::size(sizes)], total - offset);
    const int64_t firstSample = static_cast<int64_t>((offset + 3) / 4);
    const int64_t ts = 1000 + firstSample * 1000 / 44100;
    ASSERT_EQ(AACEncodeData(aac.h(), bytes + offset, static_cast<int32_t>(n), ts, &state), S_OK);
    offset += n;
  }
  ASSERT_EQ(AACEncoderStop(aac.h()), S_OK);

  // 44100 samples + the encoder's 1024 priming samples, in frames of 1024.
  ASSERT_GE(aac.out.frames.size(), 44u);
  for (size_t i = 1; i < aac.out.frames.size(); ++i) {
    const int64_t expected = 1000 + (static_cast<int64_t>(i) - 1) * 1024 * 1000 / 44100;
    EXPECT_NEAR(static_cast<double>(aac.out.frames[i].ts), static_cast<double>(expected), 1.0) << i;
  }
  BYTE config[128];
  int32_t length = 0;
  ASSERT_EQ(AACGetExtraData(aac.h(), &format, config, &length), S_OK);
  const auto decoded = decode(aac.out.frames, std::vector<uint8_t>(config, config + length));
  ASSERT_GE(decoded.size(), 44100u);
  // The tone survives: RMS of a 0.5 sine is 0.354.
  double sum = 0;
  for (size_t i = 4096; i < 40000; ++i) sum += decoded[i] * decoded[i];
  EXPECT_NEAR(std::sqrt(sum / (40000 - 4096)), 0.354, 0.03);
}

TEST(AacEncoder, ATimeStampJumpInTheInputShowsInTheFrames) {
  Aac aac;
  const WAVEFORMATEX format = lessonry::makePcmFormat();
  ASSERT_EQ(AACEncoderStart(aac.h(), &format), S_OK);
  int64_t phase = 0;
  const auto block = lessonry::testing::sineStereo(4410, 44100, 440.0, 0.3, phase);  // 100 ms
  for (int i = 0; i < 10; ++i)
    AACEncodeData(aac.h(), reinterpret_cast<const BYTE*>(block.data()), 4410 * 4, i * 100, nullptr);
  // A 5-second pause: the next block is stamped 6000 ms.
  for (int i = 0; i < 10; ++i)
    AACEncodeData(aac.h(), reinterpret_cast<const BYTE*>(block.data()), 4410 * 4, 6000 + i * 100, nullptr);
  AACEncoderStop(aac.h());
  ASSERT_FALSE(aac.out.frames.empty());
  EXPECT_GE(aac.out.frames.back().ts, 6900);
  EXPECT_LE(aac.out.frames.back().ts, 7000);
  for (size_t i = 1; i < aac.out.frames.size(); ++i) EXPECT_GT(aac.out.frames[i].ts, aac.out.frames[i - 1].ts);
}

}  // namespace
