// The encode session against the real encoder, AAC encoder and writer
// libraries, and against a scripted encoder where the real one cannot show
// a rule (output before the first key frame).
#include "encode_helper.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "base/picture_format.h"
#include "base/trace.h"
#include "temp_dir.h"
#include "testing/media_check.h"

extern "C" {
#include <libavutil/log.h>
}

namespace {

using namespace lessonry::capture;
using lessonry::capture::testing::TempDir;
namespace fs = std::filesystem;

const BITMAPINFOHEADER kPicture = lessonry::makeBgr24Header(160, 120);
const WAVEFORMATEX kAudio = lessonry::makePcmFormat();

TEST(EncodeHelper, FileTypeDecidesWhatOpensAndTheTargetGetsMp4Appended) {
  struct Case {
    int32_t fileType;
    const char* name;
    HRESULT result;
    const char* written;  // file expected afterwards, or null
  } cases[] = {
      {EFT_AVI, "avi", 1, nullptr},
      {2, "two", 1, nullptr},
      {EFT_MP4, "clip", S_OK, "clip.mp4"},
      {EFT_MP4, "named.mp4", S_OK, "named.mp4.mp4"},
      {EFT_MP4 | EFT_AVI, "both", S_OK, "both.mp4"},
  };
  for (const auto& c : cases) {
    TempDir dir;
    CEncodeHelper session;
    const std::string base = dir.file(c.name);
    EXPECT_EQ(session.Start(&kPicture, base.c_str(), c.fileType, 500, 25, &kAudio, kEncodeModeFile), c.result)
        << c.name;
    EXPECT_TRUE(session.started());
    {
      lessonry::CAutoLock lock(session.lock());
      if (session.fileType() & EFT_MP4) session.Stop();
      session.clearStarted();
    }
    size_t files = 0;
    for (const auto& entry : fs::directory_iterator(dir.path())) {
      ++files;
      EXPECT_EQ(entry.path().filename().string(), c.written ? c.written : "(none)");
    }
    EXPECT_EQ(files, c.written ? 1u : 0u) << c.name;
  }
}

TEST(EncodeHelper, AnUnwritableTargetFailsAtItsStepAndStopReleasesTheRest) {
  lessonry::TraceCapture traces;
  CEncodeHelper session;
  const HRESULT hr =
      session.Start(&kPicture, "/nonexistent-dir/deeper/clip", EFT_MP4, 500, 25, &kAudio, kEncodeModeFile);
  EXPECT_EQ(hr, E_FAIL);
  EXPECT_TRUE(session.started()) << "started is set so that Stop releases what opened";
  EXPECT_TRUE(traces.contains("CEncodeHelper::StartMp4Encode: MP4BeginWrite failed"));
  EXPECT_TRUE(traces.contains("width-height:160--120"));
  // Audio still reaches the encoder that did open; nothing is written.
  std::vector<int16_t> pcm(4410 * 2, 100);
  EXPECT_EQ(session.PushAudio(reinterpret_cast<const BYTE*>(pcm.data()), static_cast<int32_t>(pcm.size() * 2), 0),
            S_OK);
  EXPECT_EQ(session.counters().audioFramesWritten, 0u);
  {
    lessonry::CAutoLock lock(session.lock());
    session.Stop();
    session.clearStarted();
  }
  // The same object records the next recording.
  TempDir dir;
  ASSERT_EQ(session.Start(&kPicture, dir.file("next").c_str(), EFT_MP4, 500, 25, &kAudio, kEncodeModeFile), S_OK);
  {
    lessonry::CAutoLock lock(session.lock());
    session.Stop();
    session.clearStarted();
  }
  EXPECT_TRUE(fs::exists(dir.file("next.mp4")));
}

// A scripted encoder: output N is key only from keyFrom on; pts as given.
struct ScriptedEncoder {
  static inline int keyFrom = 0;
  static inline std::vector<int64_t> pts;
  static inline BYTE unit[8] = {0, 0, 0, 1, 0x65, 0x88, 0x84, 0x00};
  static VideoEncoderApi api() {
    VideoEncoderApi a{};
    a.create = [] { return static_cast<void*>(new int(0)); };
    a.getSpsInfo = [](void*, const BITMAPINFOHEADER*, int32_t, BYTE* b, int32_t* n) {
      static const BYTE sets[] = {0, 0, 0, 1, 0x67, 0x42, 0xc0, 0x1e, 0xd9, 0x00, 0xa0, 0x47, 0xfe, 0xc8,
                                  0, 0, 0, 1, 0x68, 0xce, 0x3c, 0x80};
      std::copy(std::begin(sets), std::end(sets), b);
      *n = sizeof sets;
      return S_OK;
    };
    a.start = [](void*, const BITMAPINFOHEADER*, int32_t) { return S_OK; };
    a.forceKeyFrame = [](void*) { return S_OK; };
    a.encode = [](void* h, const BYTE*, int32_t, int64_t p, BYTE** out, int32_t* size, int64_t* outPts, int32_t* key) {
      int& n = *static_cast<int*>(h);
      pts.push_back(p);
      *out = unit;
      *size = sizeof unit;
      *outPts = p;
      *key = n >= keyFrom ? 1 : 0;
      ++n;
      return S_OK;
    };
    a.stop = [](void*) { return S_OK; };
    a.destroy = [](void* h) { delete static_cast<int*>(h); };
    return a;
  }
};

TEST(EncodeHelper, NothingReachesTheFileBeforeTheFirstKeyFrame) {
  TempDir dir;
  const VideoEncoderApi api = ScriptedEncoder::api();
  ScriptedEncoder::keyFrom = 3;
  ScriptedEncoder::pts.clear();
  CEncodeHelper session;
  session.setSoftwareEncoder(&api);
  ASSERT_EQ(session.Start(&kPicture, dir.file("gated").c_str(), EFT_MP4, 500, 25, nullptr, kEncodeModeFile), S_OK);
  std::vector<BYTE> picture(kPicture.biSizeImage);
  for (int i = 0; i < 10; ++i) session.PushVideo(picture.data(), static_cast<int32_t>(picture.size()), i * 40);
  const auto counters = session.counters();
  EXPECT_EQ(counters.picturesDropped, 3u);
  EXPECT_EQ(counters.picturesWritten, 7u);
  {
    lessonry::CAutoLock lock(session.lock());
    session.Stop();
    session.clearStarted();
  }
  // The scripted units are not real pictures: keep the decoder's complaints quiet.
  const int level = av_log_get_level();
  av_log_set_level(AV_LOG_QUIET);
  const auto info = lessonry::testing::probeFile(dir.file("gated.mp4"));
  av_log_set_level(level);
  ASSERT_TRUE(info.opened) << info.error;
  ASSERT_EQ(info.tracks.size(), 1u);
  EXPECT_EQ(info.tracks[0].packets, 7);
  EXPECT_TRUE(info.tracks[0].firstPacketKey);
}

TEST(EncodeHelper, ANegativeTimeStampSwitchesTo40msStepsForTheRest) {
  TempDir dir;
  const VideoEncoderApi api = ScriptedEncoder::api();
  ScriptedEncoder::keyFrom = 0;
  ScriptedEncoder::pts.clear();
  CEncodeHelper session;
  session.setSoftwareEncoder(&api);
  ASSERT_EQ(session.Start(&kPicture, dir.file("steps").c_str(), EFT_MP4, 500, 25, nullptr, kEncodeModeFile), S_OK);
  std::vector<BYTE> picture(kPicture.biSizeImage);
  for (int64_t ts : {0, 100, -1, 5000, 9000})
    session.PushVideo(picture.data(), static_cast<int32_t>(picture.size()), ts);
  // The steps continue from the last real time stamp.
  EXPECT_EQ(ScriptedEncoder::pts, (std::vector<int64_t>{0, 100, 140, 180, 220}));
  lessonry::CAutoLock lock(session.lock());
  session.Stop();
  session.clearStarted();
}

TEST(EncodeHelper, PushesBeforeStartOrAfterStopDoNothing) {
  CEncodeHelper session;
  std::vector<BYTE> picture(kPicture.biSizeImage);
  EXPECT_EQ(session.PushVideo(picture.data(), static_cast<int32_t>(picture.size()), 0), S_OK);
  EXPECT_EQ(session.PushAudio(picture.data(), 400, 0), S_OK);
  EXPECT_EQ(session.PushVideo(nullptr, 0, 0), S_OK);
  CEncodeHelper::OnAudioEncoded(picture.data(), 10, 0, &session, 0);
  CEncodeHelper::OnAudioEncoded(picture.data(), 10, 0, nullptr, 0);
  EXPECT_EQ(session.counters().picturesEncoded, 0u);
  EXPECT_EQ(session.counters().pcmBlocks, 0u);
}

}  // namespace
