// OxLib264Encoder through its exported C interface, with the millisecond clock
// under the test's control and every stream decoded back with libavcodec.
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "base/clock.h"
#include "base/picture_format.h"
#include "ox_lib264_encoder.h"
#include "testing/media_check.h"
#include "x264_encoder.h"

namespace {

using lessonry::ScopedFakeClock;
using lessonry::testing::DecodedPicture;
using lessonry::testing::H264Decoder;
using lessonry::testing::splitAnnexB;

struct Unit {
  std::vector<uint8_t> bytes;
  int64_t pts;
  bool key;
};

BITMAPINFOHEADER header(int width, int height, int bits) {
  BITMAPINFOHEADER h{};
  h.biSize = 40;
  h.biWidth = width;
  h.biHeight = height;
  h.biPlanes = 1;
  h.biBitCount = static_cast<WORD>(bits);
  return h;
}

// Owns one encoder instance; collects every access unit it hands out.
class Encoder {
 public:
  Encoder() : handle_(H264EncoderCreate()) {}
  ~Encoder() {
    H264EncoderStop(handle_);
    H264EncoderDelete(handle_);
  }
  H264EncoderHandle handle() const { return handle_; }
  HRESULT start(const BITMAPINFOHEADER& h, int kbps = 1000) { return H264EncoderStart(handle_, &h, kbps); }
  void encode(const std::vector<uint8_t>& picture, int64_t pts) {
    BYTE* data = nullptr;
    int32_t size = -1;
    int64_t outPts = -1;
    int32_t key = -1;
    EXPECT_EQ(H264EncodeData(handle_, picture.data(), static_cast<int32_t>(picture.size()), pts, &data, &size,
                             &outPts, &key),
              S_OK);
    if (size > 0) units.push_back({std::vector<uint8_t>(data, data + size), outPts, key != 0});
  }
  // Encodes picture at pts, then filler pictures until its output appeared.
  const Unit* encodeUntilOut(const std::vector<uint8_t>& picture, int64_t pts, int64_t fillerStep = 1) {
    encode(picture, pts);
    for (int i = 1; i <= 64; ++i) {
      if (const Unit* u = find(pts)) return u;
      encode(picture, pts + i * fillerStep);
    }
    return find(pts);
  }
  const Unit* find(int64_t pts) const {
    for (const auto& u : units)
      if (u.pts == pts) return &u;
    return nullptr;
  }
  std::vector<DecodedPicture> decodeAll() const {
    H264Decoder decoder;
    std::vector<DecodedPicture> out;
    for (const auto& u : units) decoder.decode(u.bytes.data(), u.bytes.size(), u.pts, out);
    decoder.flush(out);
    return out;
  }
  std::vector<Unit> units;

 private:
  H264EncoderHandle handle_;
};

// A BGR or BGRA DIB whose top half is red and bottom half blue, in the row
// order its header announces.
std::vector<uint8_t> redOverBlue(int width, int height, int bits, bool bottomUp) {
  const int bpp = bits / 8;
  const int stride = lessonry::dibStride(width, bits);
  std::vector<uint8_t> p(static_cast<size_t>(stride) * height, 0);
  for (int row = 0; row < height; ++row) {
    const int visualRow = bottomUp ? height - 1 - row : row;
    const bool red = visualRow < height / 2;
    for (int x = 0; x < width; ++x) {
      uint8_t* px = p.data() + static_cast<size_t>(row) * stride + static_cast<size_t>(x) * bpp;
      px[0] = red ? 0 : 255;
      px[1] = 0;
      px[2] = red ? 255 : 0;
      if (bpp == 4) px[3] = 255;
    }
  }
  return p;
}

bool nearColour(const uint8_t* px, int b, int g, int r, int tolerance = 48) {
  return std::abs(px[0] - b) <= tolerance && std::abs(px[1] - g) <= tolerance && std::abs(px[2] - r) <= tolerance;
}

TEST(X264Encoder, FirstOutputIsAKeyFrameAndPtsFollowInputOrder) {
  ScopedFakeClock clock(1000);
  Encoder enc;
  ASSERT_EQ(enc.start(header(320, 240, 24)), S_OK);
  for (int i = 0; i < 30; ++i) {
    enc.encode(lessonry::testing::movingPicture(320, 240, i), i * 40);
    clock.advance(40);
  }
  ASSERT_FALSE(enc.units.empty());
  EXPECT_TRUE(enc.units.front().key);
  EXPECT_EQ(enc.units.front().pts, 0);
  for (size_t i = 1; i < enc.units.size(); ++i) {
    EXPECT_EQ(enc.units[i].pts, enc.units[i - 1].pts + 40);
    EXPECT_FALSE(enc.units[i].key) << "no key frame of x264's own before 4 s";
  }
  // Every access unit starts with a start code.
  for (const auto& u : enc.units) {
    ASSERT_GE(u.bytes.size(), 4u);
    EXPECT_EQ(0, std::memcmp(u.bytes.data(), "\0\0\0\1", 4));
  }
  EXPECT_EQ(enc.decodeAll().size(), enc.units.size());
}

TEST(X264Encoder, KeyFrameIsForcedOnlyWhenMoreThan4000msPassed) {
  struct Case {
    uint32_t elapsed;
    bool key;
  } cases[] = {{3999, false}, {4000, false}, {4001, true}, {9000, true}};
  for (const auto& c : cases) {
    ScopedFakeClock clock(50000);
    Encoder enc;
    ASSERT_EQ(enc.start(header(64, 64, 24)), S_OK);
    const auto picture = lessonry::testing::movingPicture(64, 64, 0);
    const Unit* first = enc.encodeUntilOut(picture, 0, 1);
    ASSERT_NE(first, nullptr);
    ASSERT_TRUE(first->key);
    clock.set(50000 + c.elapsed);
    const Unit* probe = enc.encodeUntilOut(picture, 100000, 0);
    // Fillers run at the same clock reading; only the probe can be forced.
    ASSERT_NE(probe, nullptr) << c.elapsed;
    EXPECT_EQ(probe->key, c.key) << "elapsed " << c.elapsed;
  }
}

TEST(X264Encoder, ForceKeyFrameMakesTheNextPictureAnIdr) {
  ScopedFakeClock clock(0);
  Encoder enc;
  ASSERT_EQ(enc.start(header(64, 64, 32)), S_OK);
  const auto picture = redOverBlue(64, 64, 32, false);
  ASSERT_NE(enc.encodeUntilOut(picture, 0), nullptr);
  EXPECT_EQ(H264ForceKeyFrame(enc.handle()), S_OK);
  const Unit* forced = enc.encodeUntilOut(picture, 500);
  ASSERT_NE(forced, nullptr);
  EXPECT_TRUE(forced->key);
  if (const Unit* next = enc.find(501)) {
    EXPECT_FALSE(next->key);
  }
}

TEST(X264Encoder, BottomUpRgbIsFlippedTopDownAndI420IsNot) {
  struct Case {
    int bits;
    bool bottomUp;
  } cases[] = {{24, true}, {24, false}, {32, true}, {32, false}};
  for (const auto& c : cases) {
    ScopedFakeClock clock(0);
    Encoder enc;
    ASSERT_EQ(enc.start(header(96, 64, c.bits), 2000), S_OK);
    // The header's sign tells the row order: positive is bottom-up.
    BITMAPINFOHEADER h = header(96, c.bottomUp ? 64 : -64, c.bits);
    ASSERT_EQ(enc.start(h, 2000), S_OK);
    ASSERT_NE(enc.encodeUntilOut(redOverBlue(96, 64, c.bits, c.bottomUp), 0), nullptr);
    const auto pictures = enc.decodeAll();
    ASSERT_FALSE(pictures.empty());
    const auto& p = pictures.front();
    EXPECT_TRUE(nearColour(p.pixel(48, 8), 0, 0, 255)) << c.bits << " bottomUp " << c.bottomUp;
    EXPECT_TRUE(nearColour(p.pixel(48, 56), 255, 0, 0)) << c.bits << " bottomUp " << c.bottomUp;
  }
  // 12-bit input with a positive height is still read top row first.
  ScopedFakeClock clock(0);
  Encoder enc;
  ASSERT_EQ(enc.start(header(64, 64, 12)), S_OK);
  std::vector<uint8_t> i420(64 * 64 * 3 / 2, 128);
  std::fill(i420.begin(), i420.begin() + 64 * 32, 235);  // bright top half
  std::fill(i420.begin() + 64 * 32, i420.begin() + 64 * 64, 16);
  ASSERT_NE(enc.encodeUntilOut(i420, 0), nullptr);
  const auto pictures = enc.decodeAll();
  ASSERT_FALSE(pictures.empty());
  EXPECT_GT(pictures.front().pixel(32, 4)[1], 200);
  EXPECT_LT(pictures.front().pixel(32, 60)[1], 40);
}

TEST(X264Encoder, WidthsNotAMultipleOf4UseTheAlignedLayout) {
  // 18 pixels wide: x264 is given 18, the I420 rows are 20 bytes apart.
  const int width = 18, height = 16;
  const auto layout = lessonry::x264lib::I420Layout::of(width, height);
  EXPECT_EQ(layout.alignedWidth, 20);
  EXPECT_EQ(layout.chromaStride, 10);
  EXPECT_EQ(layout.pictureSize, 20 * 16 * 3 / 2);

  ScopedFakeClock clock(0);
  Encoder enc;
  ASSERT_EQ(enc.start(header(width, height, 12), 4000), S_OK);
  std::vector<uint8_t> i420(static_cast<size_t>(layout.pictureSize), 128);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < layout.alignedWidth; ++x)
      i420[y * layout.alignedWidth + x] = x < 9 ? 40 : (x < width ? 220 : 0);  // padding columns dark
  ASSERT_NE(enc.encodeUntilOut(i420, 0), nullptr);
  auto pictures = enc.decodeAll();
  ASSERT_FALSE(pictures.empty());
  EXPECT_EQ(pictures.front().width, width);
  // Every row shows dark left, bright right: rows were read at the aligned stride.
  for (int y = 0; y < height; y += 5) {
    EXPECT_LT(pictures.front().pixel(2, y)[1], 90) << y;
    EXPECT_GT(pictures.front().pixel(15, y)[1], 170) << y;
  }

  // The RGB path at the same width converts into the same layout.
  Encoder rgb;
  ASSERT_EQ(rgb.start(header(width, -height, 24), 4000), S_OK);
  ASSERT_NE(rgb.encodeUntilOut(redOverBlue(width, height, 24, false), 0), nullptr);
  pictures = rgb.decodeAll();
  ASSERT_FALSE(pictures.empty());
  EXPECT_TRUE(nearColour(pictures.front().pixel(16, 2), 0, 0, 255));
  EXPECT_TRUE(nearColour(pictures.front().pixel(16, 14), 255, 0, 0));
}

TEST(X264Encoder, ParameterSetsEqualThoseOfTheStreamsFirstKeyFrame) {
  struct Case {
    int width, height, kbps;
  } cases[] = {{1920, 1080, 1000}, {2320, 1080, 1000}, {322, 240, 300}};
  for (const auto& c : cases) {
    BYTE buffer[128] = {};
    int32_t length = 0;
    // The handle is not used: GetSPSInfo works without one and before Start.
    const auto format = header(c.width, -c.height, 24);
    ASSERT_EQ(H264GetSPSInfo(nullptr, &format, c.kbps, buffer, &length), S_OK);
    const auto sets = splitAnnexB(buffer, static_cast<size_t>(length));
    ASSERT_EQ(sets.size(), 2u);
    EXPECT_EQ(sets[0].type, 7);
    EXPECT_EQ(sets[1].type, 8);
    EXPECT_EQ(0, std::memcmp(buffer, "\0\0\0\1", 4));
    EXPECT_EQ(0, std::memcmp(sets[1].bytes.data(), "\0\0\0\1", 4));

    ScopedFakeClock clock(0);
    Encoder enc;
    ASSERT_EQ(enc.start(header(c.width, -c.height, 24), c.kbps), S_OK);
    const Unit* first = enc.encodeUntilOut(std::vector<uint8_t>(lessonry::dibStride(c.width, 24) * c.height, 90), 0);
    ASSERT_NE(first, nullptr);
    ASSERT_TRUE(first->key);
    const auto units = splitAnnexB(first->bytes.data(), first->bytes.size());
    std::vector<uint8_t> sps, pps;
    for (const auto& u : units) {
      if (u.type == 7) sps = u.bytes;
      if (u.type == 8) pps = u.bytes;
    }
    EXPECT_EQ(sps, sets[0].bytes) << c.width;
    EXPECT_EQ(pps, sets[1].bytes) << c.width;
  }
}

TEST(X264Encoder, ParameterSetRefusalsWriteNothing) {
  BYTE buffer[128];
  std::memset(buffer, 0xAB, sizeof buffer);
  int32_t length = 77;
  const auto h = header(64, 64, 24);
  EXPECT_EQ(H264GetSPSInfo(nullptr, &h, 1000, nullptr, &length), E_FAIL);
  EXPECT_EQ(H264GetSPSInfo(nullptr, &h, 1000, buffer, nullptr), E_FAIL);
  EXPECT_EQ(H264GetSPSInfo(nullptr, nullptr, 1000, buffer, &length), E_FAIL);
  const auto bad = header(0, 64, 24);
  EXPECT_EQ(H264GetSPSInfo(nullptr, &bad, 1000, buffer, &length), E_FAIL);
  EXPECT_EQ(length, 77);
  for (BYTE b : buffer) ASSERT_EQ(b, 0xAB);
}

TEST(X264Encoder, RestartKeepsTheLargerConversionBufferAndStopIsIdempotent) {
  lessonry::x264lib::X264Encoder enc;
  enc.stop();  // never started: harmless
  ASSERT_EQ(enc.start(header(320, 240, 24), 500), S_OK);
  const size_t large = enc.conversionCapacity();
  EXPECT_EQ(large, 320u * 240 * 3 / 2);
  enc.stop();
  enc.stop();
  ASSERT_EQ(enc.start(header(160, 120, 32), 500), S_OK);
  EXPECT_EQ(enc.conversionCapacity(), large);
  enc.stop();
  ASSERT_EQ(enc.start(header(640, 480, 24), 500), S_OK);
  EXPECT_EQ(enc.conversionCapacity(), 640u * 480 * 3 / 2);
  // A restarted stream encodes and starts from its own pictures.
  lessonry::x264lib::X264Encoder::Output out;
  const auto picture = lessonry::testing::movingPicture(640, 480, 1);
  bool any = false;
  for (int i = 0; i < 20 && !any; ++i) any = enc.encode(picture.data(), i, out);
  EXPECT_TRUE(any);
  EXPECT_EQ(out.pts, 0);
}

TEST(X264Encoder, NullOutDataEncodesButReportsNothing) {
  ScopedFakeClock clock(0);
  Encoder enc;
  ASSERT_EQ(enc.start(header(64, 64, 24)), S_OK);
  const auto picture = redOverBlue(64, 64, 24, false);
  for (int i = 0; i < 20; ++i) {
    int32_t size = -1;
    EXPECT_EQ(H264EncodeData(enc.handle(), picture.data(), 0, i, nullptr, &size, nullptr, nullptr), S_OK);
    EXPECT_EQ(size, 0);
  }
  // The pictures went through x264: the next reported output is a later one.
  const Unit* u = enc.encodeUntilOut(picture, 20);
  ASSERT_NE(u, nullptr);
  EXPECT_GT(enc.units.front().pts, 0);
}

TEST(X264Encoder, BadInputFailsOrDoesNothing) {
  EXPECT_EQ(H264EncoderStart(nullptr, nullptr, 1000), E_FAIL);
  EXPECT_EQ(H264ForceKeyFrame(nullptr), E_FAIL);
  EXPECT_EQ(H264EncoderStop(nullptr), E_FAIL);
  H264EncoderDelete(nullptr);
  int32_t size = -1;
  BYTE* data = nullptr;
  EXPECT_EQ(H264EncodeData(nullptr, nullptr, 0, 0, &data, &size, nullptr, nullptr), S_OK);
  EXPECT_EQ(size, 0);

  struct Case {
    int width, height, bits, kbps;
  } refused[] = {
      {0, 64, 24, 1000},  {-64, 64, 24, 1000}, {64, 0, 24, 1000},  {64, 64, 16, 1000},
      {64, 64, 8, 1000},  {64, 64, 24, 0},     {64, 64, 24, -5},   {63, 64, 24, 1000},  // odd: no 4:2:0
      {64, 63, 12, 1000}, {100000, 64, 24, 1000},
  };
  for (const auto& c : refused) {
    Encoder enc;
    EXPECT_EQ(enc.start(header(c.width, c.height, c.bits), c.kbps), E_FAIL)
        << c.width << "x" << c.height << "x" << c.bits << " @" << c.kbps;
    // An instance whose start failed reports no output and does not crash.
    std::vector<uint8_t> picture(64 * 64 * 4, 0);
    enc.encode(picture, 0);
    EXPECT_TRUE(enc.units.empty());
    EXPECT_EQ(H264EncoderStop(enc.handle()), S_OK);
  }
  // A null picture on a started instance yields nothing.
  Encoder enc;
  ASSERT_EQ(enc.start(header(64, 64, 24)), S_OK);
  EXPECT_EQ(H264EncodeData(enc.handle(), nullptr, 0, 0, &data, &size, nullptr, nullptr), S_OK);
  EXPECT_EQ(size, 0);
}

}  // namespace
