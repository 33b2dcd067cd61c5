// OxMp4Writer with real encoder output, read back through libavformat.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

#include "base/picture_format.h"
#include "ox_aac_encoder.h"
#include "ox_lib264_encoder.h"
#include "ox_mp4_writer.h"
#include "testing/media_check.h"

namespace {

namespace fs = std::filesystem;
using lessonry::testing::probeFile;

class TempDir {
 public:
  TempDir() : path_(fs::temp_directory_path() / ("mp4w-" + std::to_string(getpid()) + "-" + std::to_string(counter_++))) {
    fs::create_directories(path_);
  }
  ~TempDir() { if (!getenv("KEEP")) fs::remove_all(path_); }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  static inline int counter_ = 0;
  fs::path path_;
};

// Encodes `pictures` moving pictures at 40 ms steps (+ `audioFrames` AAC frames)
// into path through the writer.
struct Recording {
  int pictures = 0;
  int64_t audioFrames = 0;
};

Recording writeFile(const std::string& path, int width, int height, int pictureCount, bool withAudio,
                    int64_t repeatTimestampAt = -1) {
  Recording r;
  const BITMAPINFOHEADER video = lessonry::makeBgr24Header(width, height);
  const WAVEFORMATEX audio = lessonry::makePcmFormat();
  BYTE sps[128] = {}, aacConfig[128] = {};
  int32_t spsLength = 0, aacLength = 0;
  H264EncoderHandle enc = H264EncoderCreate();
  EXPECT_EQ(H264GetSPSInfo(enc, &video, 1000, sps, &spsLength), S_OK);
  EXPECT_EQ(H264EncoderStart(enc, &video, 1000), S_OK);
  AACEncoderHandle aac = AACEncoderCreate();
  EXPECT_EQ(AACGetExtraData(aac, &audio, aacConfig, &aacLength), S_OK);
  MP4WriterHandle writer = MP4CreateInstance();
  static MP4WriterHandle sWriter;
  static int64_t* sFrames;
  sWriter = writer;
  sFrames = &r.audioFrames;
  AACSetDataCallFunc(
      aac,
      [](const BYTE* d, int32_t n, int32_t, void*, int64_t) {
        if (MP4WriteAudio(sWriter, d, n, 0) == S_OK) ++*sFrames;
      },
      nullptr);
  EXPECT_EQ(AACEncoderStart(aac, &audio), S_OK);
  EXPECT_EQ(MP4BeginWrite(writer, path.c_str(), &video, sps, spsLength, withAudio ? &audio : nullptr, aacConfig,
                          aacLength, 0),
            S_OK);
  int64_t phase = 0;
  for (int i = 0; i < pictureCount + 8; ++i) {
    const auto picture = lessonry::testing::movingPicture(width, height, i);
    BYTE* out = nullptr;
    int32_t size = 0, key = 0;
    int64_t pts = 0;
    int64_t ts = i * 40;
    if (i == repeatTimestampAt) ts = (i - 1) * 40;
    H264EncodeData(enc, picture.data(), 0, ts, &out, &size, &pts, &key);
    if (size > 0 && r.pictures < pictureCount) {
      EXPECT_EQ(MP4WriteVideo(writer, out, size, key, pts), S_OK);
      ++r.pictures;
    }
    if (withAudio && i < pictureCount) {
      const auto pcm = lessonry::testing::sineStereo(1764, 44100, 440, 0.3, phase);  // 40 ms
      AACEncodeData(aac, reinterpret_cast<const BYTE*>(pcm.data()), 1764 * 4, i * 40, nullptr);
    }
  }
  AACEncoderStop(aac);
  EXPECT_EQ(MP4EndWrite(writer), S_OK);
  MP4DeleteInstance(writer);
  AACEncoderDelete(aac);
  H264EncoderStop(enc);
  H264EncoderDelete(enc);
  return r;
}

TEST(Mp4Writer, WritesOneH264AndOneAacTrackWithTheirTiming) {
  TempDir dir;
  const std::string path = dir.file("clip.mp4");
  const Recording r = writeFile(path, 320, 240, 75, true);
  ASSERT_EQ(r.pictures, 75);
  const auto info = probeFile(path);
  ASSERT_TRUE(info.opened) << info.error;
  ASSERT_EQ(info.tracks.size(), 2u);
  const auto* video = info.track("h264");
  const auto* audio = info.track("aac");
  ASSERT_NE(video, nullptr);
  ASSERT_NE(audio, nullptr);
  EXPECT_EQ(video->packets, 75);
  EXPECT_TRUE(video->firstPacketKey);
  EXPECT_EQ(video->width, 320);
  EXPECT_EQ(video->height, 240);
  EXPECT_NEAR(video->durationSeconds, 3.0, 0.001);  // 75 pictures of 40 ms
  EXPECT_EQ(audio->packets, r.audioFrames);
  EXPECT_EQ(audio->sampleRate, 44100);
  EXPECT_EQ(audio->channels, 2);
  EXPECT_NEAR(audio->durationSeconds, r.audioFrames * 1024 / 44100.0, 0.001);

  std::vector<lessonry::testing::DecodedPicture> pictures;
  int64_t samples = 0;
  ASSERT_TRUE(lessonry::testing::decodeFile(path, &pictures, &samples));
  EXPECT_EQ(pictures.size(), 75u);
  EXPECT_GE(samples, 75 * 1764);
}

TEST(Mp4Writer, ARepeatedTimeStampIsMovedOnAndNothingIsLost) {
  TempDir dir;
  const std::string path = dir.file("repeat.mp4");
  ASSERT_EQ(writeFile(path, 160, 120, 20, false, 10).pictures, 20);
  const auto info = probeFile(path);
  ASSERT_TRUE(info.opened);
  ASSERT_EQ(info.tracks.size(), 1u);
  EXPECT_EQ(info.tracks[0].packets, 20);
}

TEST(Mp4Writer, RefusalsAndLifecycle) {
  TempDir dir;
  MP4WriterHandle w = MP4CreateInstance();
  const BITMAPINFOHEADER video = lessonry::makeBgr24Header(64, 64);
  const BYTE sets[] = {0, 0, 0, 1, 0x67, 0x42, 0, 0x1e, 0, 0, 0, 1, 0x68, 0xce, 0x38, 0x80};
  EXPECT_NE(MP4BeginWrite(w, dir.file("no/such/dir/x.mp4").c_str(), &video, sets, sizeof sets, nullptr, nullptr, 0, 0),
            S_OK);
  EXPECT_NE(MP4BeginWrite(w, nullptr, &video, sets, sizeof sets, nullptr, nullptr, 0, 0), S_OK);
  EXPECT_NE(MP4BeginWrite(w, dir.file("none.mp4").c_str(), nullptr, nullptr, 0, nullptr, nullptr, 0, 0), S_OK);
  EXPECT_EQ(MP4BeginWrite(w, "rtmp://127.0.0.1/live/x", &video, sets, sizeof sets, nullptr, nullptr, 0, 1), E_NOTIMPL);
  EXPECT_EQ(MP4EndWrite(w), E_FAIL) << "nothing open";
  EXPECT_NE(MP4WriteVideo(w, sets, sizeof sets, 1, 0), S_OK);

  ASSERT_EQ(MP4BeginWrite(w, dir.file("ok.mp4").c_str(), &video, sets, sizeof sets, nullptr, nullptr, 0, 0), S_OK);
  EXPECT_NE(MP4BeginWrite(w, dir.file("again.mp4").c_str(), &video, sets, sizeof sets, nullptr, nullptr, 0, 0), S_OK);
  EXPECT_NE(MP4WriteVideo(w, nullptr, 10, 1, 0), S_OK);
  EXPECT_NE(MP4WriteAudio(w, sets, sizeof sets, 0), S_OK) << "no audio track";
  EXPECT_EQ(MP4EndWrite(w), S_OK);
  MP4DeleteInstance(w);
  MP4DeleteInstance(nullptr);
  EXPECT_EQ(MP4WriteVideo(nullptr, sets, 4, 1, 0), E_FAIL);
  EXPECT_EQ(MP4EndWrite(nullptr), E_FAIL);
}

}  // namespace
