// The video render: formats, the four input layouts in both orientations,
// thinning, callbacks, smoothing, refusals and bad samples.
#include "ox_video_render.h"

#include <gtest/gtest.h>

#include <vector>

extern "C" {
#include <libswscale/swscale.h>
}

#include "base/clock.h"
#include "base/picture_format.h"
#include "deinterlace.h"
#include "feeder.h"
#include "media/media_guids.h"
#include "media/picture_planes.h"

namespace lessonry::filters {
namespace {

using testing::Feeder;

// A scene in the given layout: luma varies in both directions, chroma only
// across, so that a vertical flip commutes with the conversion exactly.
std::vector<uint8_t> scene(const GUID& subtype, int w, int h) {
  std::vector<uint8_t> bgra(size_t(w) * h * 4);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = &bgra[(size_t(y) * w + x) * 4];
      p[0] = uint8_t(x * 7 + y * 3);
      p[1] = uint8_t(200 - x * 5 + y * 3);
      p[2] = uint8_t(x * 11 + y * 3);
      p[3] = 255;
    }
  std::vector<uint8_t> out(media::pictureBytes(subtype, w, h));
  media::PicturePlanes dst;
  EXPECT_TRUE(media::describePicture(subtype, w, h, out.data(), &dst));
  SwsContext* sws = sws_getContext(w, h, AV_PIX_FMT_BGRA, w, h, dst.format, SWS_POINT, nullptr, nullptr, nullptr);
  const uint8_t* src[4] = {bgra.data()};
  const int stride[4] = {w * 4};
  sws_scale(sws, src, stride, 0, h, dst.planes, dst.strides);
  sws_freeContext(sws);
  return out;
}

// What the render must store: an independent conversion to top-down BGR24,
// flipped for a bottom-up buffer.
std::vector<uint8_t> expected(const GUID& subtype, int w, int h, std::vector<uint8_t> input, bool bottomUp) {
  const int32_t stride = dibStride(w, 24);
  std::vector<uint8_t> topDown(size_t(stride) * h);
  media::PicturePlanes src;
  EXPECT_TRUE(media::describePicture(subtype, w, h, input.data(), &src));
  SwsContext* sws = sws_getContext(w, h, src.format, w, h, AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr, nullptr, nullptr);
  uint8_t* dst[4] = {topDown.data()};
  const int dstStride[4] = {stride};
  sws_scale(sws, src.planes, src.strides, 0, h, dst, dstStride);
  sws_freeContext(sws);
  if (!bottomUp) return topDown;
  std::vector<uint8_t> flipped(topDown.size());
  for (int y = 0; y < h; ++y)
    std::memcpy(&flipped[size_t(y) * stride], &topDown[size_t(h - 1 - y) * stride], size_t(stride));
  return flipped;
}

struct Rig {
  explicit Rig(const media::CMediaType& type) : feeder(ComPtr<Feeder>::adopt(new Feeder(type))) {}
  HRESULT connect() {
    HRESULT hr = feeder->connect(render->input());
    if (FAILED(hr)) return hr;
    feeder->Pause();
    render->Pause();
    return S_OK;
  }
  ~Rig() {
    render->Stop();
    feeder->Stop();
    feeder->output()->Disconnect();
    render->input()->Disconnect();
  }
  ComPtr<COxVideoRender> render = ComPtr<COxVideoRender>::adopt(new COxVideoRender);
  IOxVideoRenderConfig* config = render->config();
  ComPtr<Feeder> feeder;
};

std::vector<uint8_t> stored(IOxVideoRenderConfig* config) {
  const BITMAPINFOHEADER* f = config->GetVideoFormat();
  return std::vector<uint8_t>(config->GetVideoBuffer(), config->GetVideoBuffer() + f->biSizeImage);
}

TEST(OxVideoRenderTest, Yuy2ConnectionDescribesABottomUpBgr24Buffer) {
  Rig rig(media::makeVideoType(MEDIASUBTYPE_YUY2, 640, 480, 400000));
  EXPECT_EQ(rig.config->GetVideoBuffer(), nullptr);
  EXPECT_EQ(rig.config->IsConnected(), 0);
  ASSERT_EQ(rig.connect(), S_OK);
  const BITMAPINFOHEADER* f = rig.config->GetVideoFormat();
  EXPECT_EQ(f->biSizeImage, 921600u);
  EXPECT_EQ(f->biHeight, 480);
  EXPECT_EQ(f->biWidth, 640);
  EXPECT_EQ(f->biBitCount, 24);
  EXPECT_EQ(f->biCompression, BI_RGB);
  EXPECT_EQ(f->biSize, 40u);
  EXPECT_NE(rig.config->GetVideoBuffer(), nullptr);
  EXPECT_EQ(rig.config->IsConnected(), 1);
}

TEST(OxVideoRenderTest, ConvertsEveryLayoutInBothOrientations) {
  constexpr int w = 48, h = 32;
  for (const GUID* subtype : {&MEDIASUBTYPE_RGB24, &MEDIASUBTYPE_RGB32, &MEDIASUBTYPE_YUY2, &MEDIASUBTYPE_YV12})
    for (int bottomUp : {1, 0}) {
      SCOPED_TRACE(::testing::Message() << "subtype " << std::hex << subtype->Data1 << " bottomUp " << bottomUp);
      Rig rig(media::makeVideoType(*subtype, w, h, 400000));
      ASSERT_EQ(rig.connect(), S_OK);
      rig.config->SetInUse(TRUE);
      rig.config->SetBottomUp(bottomUp);
      const auto input = scene(*subtype, w, h);
      ASSERT_EQ(rig.feeder->send(input), S_OK);
      EXPECT_EQ(stored(rig.config), expected(*subtype, w, h, input, bottomUp != 0));
    }
}

TEST(OxVideoRenderTest, TopDownYuvAndBottomUpRgbOfOneSceneGiveIdenticalBuffers) {
  constexpr int w = 64, h = 48;
  for (const GUID* yuv : {&MEDIASUBTYPE_YUY2, &MEDIASUBTYPE_YV12}) {
    const auto yuvPicture = scene(*yuv, w, h);
    // The same scene as a bottom-up RGB24 picture.
    const auto rgbPicture = expected(*yuv, w, h, yuvPicture, true);
    Rig a(media::makeVideoType(*yuv, w, h, 400000));
    Rig b(media::makeVideoType(MEDIASUBTYPE_RGB24, w, h, 400000));
    ASSERT_EQ(a.connect(), S_OK);
    ASSERT_EQ(b.connect(), S_OK);
    for (Rig* r : {&a, &b}) r->config->SetInUse(TRUE);
    ASSERT_EQ(a.feeder->send(yuvPicture), S_OK);
    ASSERT_EQ(b.feeder->send(rgbPicture), S_OK);
    EXPECT_EQ(stored(a.config), stored(b.config));
  }
}

struct Calls {
  std::vector<std::pair<uintptr_t, int>> order;  // (context, which callback)
  SampleInfo last{};
};
Calls* gCalls = nullptr;
int32_t first(SampleInfo* info, uint8_t*, void* context) {
  gCalls->order.emplace_back(reinterpret_cast<uintptr_t>(context), 1);
  gCalls->last = *info;
  return 0;
}
int32_t second(SampleInfo*, uint8_t*, void* context) {
  gCalls->order.emplace_back(reinterpret_cast<uintptr_t>(context), 2);
  return 0;
}

TEST(OxVideoRenderTest, ThinsToOnePicturePer125MsWhileUnusedAndCountsThemAll) {
  ScopedFakeClock clock(100000);
  Calls calls;
  gCalls = &calls;
  Rig rig(media::makeVideoType(MEDIASUBTYPE_RGB32, 16, 16, 333333));
  ASSERT_EQ(rig.connect(), S_OK);
  rig.config->AddFrameCallback(first, reinterpret_cast<void*>(1));
  const auto picture = scene(MEDIASUBTYPE_RGB32, 16, 16);
  for (int i = 0; i < 30; ++i) {  // one second at 30 per second
    ASSERT_EQ(rig.feeder->send(picture), S_OK);
    clock.advance(33);
  }
  EXPECT_EQ(calls.order.size(), 8u) << "kept at 0, 132, 264, ... 924 ms";
  EXPECT_EQ(rig.config->GetFrameCount(), 30);
  EXPECT_EQ(rig.config->GetFrameCount(), 0);

  // SetInUse(FALSE) at 0 users stays at 0: one TRUE then makes it 1.
  rig.config->SetInUse(FALSE);
  rig.config->SetInUse(TRUE);
  calls.order.clear();
  for (int i = 0; i < 5; ++i) ASSERT_EQ(rig.feeder->send(picture), S_OK);  // no time passes
  EXPECT_EQ(calls.order.size(), 5u);
  gCalls = nullptr;
}

TEST(OxVideoRenderTest, CallbacksRunInAscendingContextOrderFirstRegistrationKept) {
  Calls calls;
  gCalls = &calls;
  Rig rig(media::makeVideoType(MEDIASUBTYPE_YUY2, 16, 8, 400000));
  ASSERT_EQ(rig.connect(), S_OK);
  rig.config->SetInUse(TRUE);
  for (uintptr_t c : {3, 1, 2}) rig.config->AddFrameCallback(first, reinterpret_cast<void*>(c));
  rig.config->AddFrameCallback(second, reinterpret_cast<void*>(1));  // context taken: ignored
  EXPECT_EQ(rig.config->RemoveFrameCallback(first, reinterpret_cast<void*>(99)), S_OK);
  ASSERT_EQ(rig.feeder->send(scene(MEDIASUBTYPE_YUY2, 16, 8), 1234567), S_OK);
  EXPECT_EQ(calls.order, (std::vector<std::pair<uintptr_t, int>>{{1, 1}, {2, 1}, {3, 1}}));
  EXPECT_EQ(calls.last.kind, 2001);
  EXPECT_EQ(calls.last.size, dibStride(16, 24) * 8);
  EXPECT_EQ(calls.last.startTime, 1234567);

  rig.config->RemoveFrameCallback(nullptr, reinterpret_cast<void*>(2));
  calls.order.clear();
  ASSERT_EQ(rig.feeder->send(scene(MEDIASUBTYPE_YUY2, 16, 8)), S_OK);
  EXPECT_EQ(calls.order, (std::vector<std::pair<uintptr_t, int>>{{1, 1}, {3, 1}}));

  // A stopped render refuses the sample: nothing stored, no callback.
  rig.render->Stop();
  calls.order.clear();
  EXPECT_EQ(rig.feeder->send(scene(MEDIASUBTYPE_YUY2, 16, 8)), VFW_E_WRONG_STATE);
  EXPECT_TRUE(calls.order.empty());
  gCalls = nullptr;
}

TEST(OxVideoRenderTest, DeInterlaceSmoothsTheConvertedPictureAndKeepsTheLastTwoRows) {
  constexpr int w = 21, h = 10;  // a stride of 64 + 4 bytes: the spill case
  Rig rig(media::makeVideoType(MEDIASUBTYPE_RGB24, w, h, 400000));
  ASSERT_EQ(rig.connect(), S_OK);
  rig.config->SetInUse(TRUE);
  rig.config->EnableDeInterlace(7);
  const auto input = scene(MEDIASUBTYPE_RGB24, w, h);
  ASSERT_EQ(rig.feeder->send(input), S_OK);
  auto converted = expected(MEDIASUBTYPE_RGB24, w, h, input, true);
  const auto plain = converted;
  deinterlaceRowsReference(converted.data(), dibStride(w, 24), h);
  const auto buffer = stored(rig.config);
  EXPECT_EQ(buffer, converted);
  const size_t stride = size_t(dibStride(w, 24));
  EXPECT_TRUE(std::equal(buffer.end() - 2 * stride, buffer.end(), plain.end() - 2 * stride));
  EXPECT_NE(buffer, plain);
}

TEST(OxVideoRenderTest, RefusesTypesOutsideTheAcceptedSetWithEFail) {
  struct Case {
    const char* what;
    media::CMediaType type;
  };
  auto with = [](media::CMediaType mt, auto change) {
    change(mt);
    return mt;
  };
  const media::CMediaType good = media::makeVideoType(MEDIASUBTYPE_YUY2, 64, 48, 400000);
  const Case cases[] = {
      {"I420", media::makeVideoType(MEDIASUBTYPE_I420, 64, 48, 400000)},
      {"NV12", media::makeVideoType(MEDIASUBTYPE_NV12, 64, 48, 400000)},
      {"MJPG", with(good, [](auto& mt) { mt.subtype = MEDIASUBTYPE_MJPG; })},
      {"audio", with(good, [](auto& mt) { mt.majortype = MEDIATYPE_Audio; })},
      {"VideoInfo2", with(good, [](auto& mt) { mt.formattype = FORMAT_VideoInfo2; })},
      {"temporal", with(good, [](auto& mt) { mt.bTemporalCompression = TRUE; })},
      {"variable", with(good, [](auto& mt) { mt.bFixedSizeSamples = FALSE; })},
      {"short block", with(good, [](auto& mt) { mt.setFormat(mt.pbFormat, 40); })},
      {"width 0", with(good, [](auto& mt) { media::pictureHeader(mt)->biWidth = 0; })},
      {"height 0", with(good, [](auto& mt) { media::pictureHeader(mt)->biHeight = 0; })},
      {"negative width", with(good, [](auto& mt) { media::pictureHeader(mt)->biWidth = -64; })},
      {"huge", with(good, [](auto& mt) { media::pictureHeader(mt)->biWidth = 1 << 30; })},
      {"odd YV12", media::makeVideoType(MEDIASUBTYPE_YV12, 63, 48, 400000)},
      {"larger than the sample", with(good, [](auto& mt) { mt.lSampleSize = 100; })},
  };
  for (const Case& c : cases) {
    Rig rig(c.type);
    EXPECT_EQ(rig.feeder->connect(rig.render->input()), E_FAIL) << c.what;
    EXPECT_EQ(rig.config->IsConnected(), 0) << c.what;
  }
}

TEST(OxVideoRenderTest, DropsSamplesShorterThanTheirPicture) {
  Calls calls;
  gCalls = &calls;
  Rig rig(media::makeVideoType(MEDIASUBTYPE_YV12, 32, 16, 400000));
  ASSERT_EQ(rig.connect(), S_OK);
  rig.config->SetInUse(TRUE);
  rig.config->AddFrameCallback(first, nullptr);
  const auto before = stored(rig.config);
  const auto picture = scene(MEDIASUBTYPE_YV12, 32, 16);
  EXPECT_EQ(rig.feeder->send(picture, 0, int32_t(picture.size() - 1)), S_OK);
  EXPECT_EQ(stored(rig.config), before);
  EXPECT_TRUE(calls.order.empty());
  EXPECT_EQ(rig.config->GetFrameCount(), 1);
  gCalls = nullptr;
}

}  // namespace
}  // namespace lessonry::filters
