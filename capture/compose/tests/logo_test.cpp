#include "logo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <ostream>
#include <memory>
#include <string>
#include <vector>

#include "base/trace.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

namespace lessonry::capture {
void PrintTo(const LogoRect& r, std::ostream* os) {
  *os << "{" << r.x << ", " << r.y << ", " << r.width << " x " << r.height << "}";
}
}  // namespace lessonry::capture

namespace {

using namespace lessonry::capture;

TEST(LogoRect, PlacementFollowsTheReferenceWidth) {
  struct Case {
    int32_t reference, frame;
    LogoRect expected;
  } cases[] = {
      {1920, 2320, {2193, 15, 124, 46}},  // mode 2 of a 1920 x 1080 screen
      {1920, 1920, {1793, 15, 124, 46}},
      {400, 400, {349, 5, 48, 17}},       // mode 1 at 400 x 300
      {4000, 4000, {3873, 15, 124, 46}},  // never larger than the image
      {0, 640, {637, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    const LogoRect r = logoRect(c.reference, c.frame);
    EXPECT_EQ(r.x, c.expected.x) << c.reference;
    EXPECT_EQ(r.y, c.expected.y) << c.reference;
    EXPECT_EQ(r.width, c.expected.width) << c.reference;
    EXPECT_EQ(r.height, c.expected.height) << c.reference;
  }
}

// ---------------------------------------------------------------------------
// Fixtures

struct Bgra {
  BYTE b, g, r, a;
};

// c * a / 255 rounded to nearest, written independently of the code under test.
int scale255(int c, int a) { return (c * a + 127) / 255; }

// Premultiplied "over" of one straight-alpha pixel on one channel.
BYTE blend(int colour, int alpha, int under) {
  return static_cast<BYTE>(scale255(colour, alpha) + scale255(under, 255 - alpha));
}

// Encodes width x height packed pixels of the given layout as a PNG.
std::vector<BYTE> encodePng(int width, int height, AVPixelFormat format, int bytesPerPixel,
                            const std::vector<BYTE>& pixels) {
  struct ContextFree {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
  };
  struct FrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
  };
  struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
  };
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_PNG);
  if (!codec) return {};
  std::unique_ptr<AVCodecContext, ContextFree> context(avcodec_alloc_context3(codec));
  context->width = width;
  context->height = height;
  context->pix_fmt = format;
  context->time_base = AVRational{1, 25};
  if (avcodec_open2(context.get(), codec, nullptr) < 0) return {};
  std::unique_ptr<AVFrame, FrameFree> frame(av_frame_alloc());
  frame->width = width;
  frame->height = height;
  frame->format = format;
  if (av_frame_get_buffer(frame.get(), 0) < 0) return {};
  for (int y = 0; y < height; ++y)
    std::copy_n(pixels.data() + static_cast<size_t>(y) * width * bytesPerPixel, width * bytesPerPixel,
                frame->data[0] + static_cast<ptrdiff_t>(y) * frame->linesize[0]);
  std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
  if (avcodec_send_frame(context.get(), frame.get()) < 0 || avcodec_send_frame(context.get(), nullptr) < 0 ||
      avcodec_receive_packet(context.get(), packet.get()) < 0)
    return {};
  return std::vector<BYTE>(packet->data, packet->data + packet->size);
}

// A 124 x 46 RGBA PNG whose pixel (x, y) is paint(x, y), given as B, G, R, A.
std::vector<BYTE> markPng(const std::function<Bgra(int, int)>& paint) {
  std::vector<BYTE> rgba;
  for (int y = 0; y < CLogo::kHeight; ++y)
    for (int x = 0; x < CLogo::kWidth; ++x) {
      const Bgra p = paint(x, y);
      rgba.insert(rgba.end(), {p.r, p.g, p.b, p.a});
    }
  return encodePng(CLogo::kWidth, CLogo::kHeight, AV_PIX_FMT_RGBA, 4, rgba);
}

// A 24-bit picture with padding at the end of every row and two rows of
// guard bytes before and after, all filled with a pattern, so that a write
// anywhere outside the drawn pixels shows (as a failure, not a corrupt heap).
struct Picture {
  int32_t width, height, stride;
  size_t guard;
  std::vector<BYTE> bytes;

  Picture(int32_t w, int32_t h, const std::function<BYTE(size_t)>& fill = nullptr)
      : width(w), height(h), stride(w * 3 + 5), guard(static_cast<size_t>(stride) * 2),
        bytes(guard * 2 + static_cast<size_t>(stride) * h) {
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = fill ? fill(i) : static_cast<BYTE>(i * 7 + i / 251);
  }
  BYTE* pixels() { return bytes.data() + guard; }
  void draw(const CLogo& logo) { logo.draw(pixels(), width, height, stride); }
};

// Checks every byte of `after` against `before`: a pixel of the picture
// inside r is expected(x - r.x, y - r.y) blended over what was there; every
// other byte (pixels outside r, row padding, guards) is unchanged.
void expectBlended(const Picture& after, const std::vector<BYTE>& before, const LogoRect& r,
                   const std::function<Bgra(int, int)>& expected) {
  int failures = 0;
  for (size_t i = 0; i < after.bytes.size() && failures < 10; ++i) {
    BYTE want = before[i];
    std::string where = "guard or padding byte " + std::to_string(i);
    const ptrdiff_t offset = static_cast<ptrdiff_t>(i) - static_cast<ptrdiff_t>(after.guard);
    if (offset >= 0 && offset < static_cast<ptrdiff_t>(after.stride) * after.height) {
      const int y = static_cast<int>(offset / after.stride);
      const int column = static_cast<int>(offset % after.stride);
      if (column < after.width * 3) {
        const int x = column / 3;
        const int c = column % 3;
        where = "pixel " + std::to_string(x) + "," + std::to_string(y) + " channel " + std::to_string(c);
        if (x >= r.x && x < r.x + r.width && y >= r.y && y < r.y + r.height) {
          const Bgra p = expected(x - r.x, y - r.y);
          want = blend(c == 0 ? p.b : c == 1 ? p.g : p.r, p.a, before[i]);
        }
      }
    }
    if (after.bytes[i] != want) {
      ADD_FAILURE() << where << ": " << int{after.bytes[i]} << ", expected " << int{want};
      ++failures;
    }
  }
}

Bgra markPixel(const CLogo& logo, int x, int y) {
  const BYTE* p = logo.mark().data() + (static_cast<size_t>(y) * CLogo::kWidth + x) * 4;
  return Bgra{p[0], p[1], p[2], p[3]};
}

// ---------------------------------------------------------------------------
// Loading

TEST(Logo, LoadsTheResourceAsA124By46MarkWithTransparentAndOpaquePixels) {
  CLogo logo;
  EXPECT_FALSE(logo.loaded());
  ASSERT_TRUE(logo.load());
  EXPECT_TRUE(logo.loaded());
  ASSERT_EQ(logo.mark().size(), size_t{CLogo::kWidth} * CLogo::kHeight * 4);
  int transparent = 0, opaque = 0;
  for (size_t i = 3; i < logo.mark().size(); i += 4) {
    transparent += logo.mark()[i] == 0;
    opaque += logo.mark()[i] == 255;
  }
  EXPECT_GT(transparent, 0);
  EXPECT_GT(opaque, 0);
}

TEST(Logo, ReadsPngLayoutsIntoBgraStraightAlpha) {
  // RGBA is copied with R and B swapped; RGB goes through libswscale and is opaque.
  const auto paint = [](int x, int y) {
    return Bgra{static_cast<BYTE>(x * 2), static_cast<BYTE>(y * 5), static_cast<BYTE>(255 - x),
                static_cast<BYTE>(x + y * 2)};
  };
  std::vector<BYTE> rgb;
  for (int y = 0; y < CLogo::kHeight; ++y)
    for (int x = 0; x < CLogo::kWidth; ++x) {
      const Bgra p = paint(x, y);
      rgb.insert(rgb.end(), {p.r, p.g, p.b});
    }
  struct Case {
    const char* name;
    std::vector<BYTE> png;
    bool opaque;
  } cases[] = {
      {"rgba", markPng(paint), false},
      {"rgb", encodePng(CLogo::kWidth, CLogo::kHeight, AV_PIX_FMT_RGB24, 3, rgb), true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_FALSE(c.png.empty());
    CLogo logo;
    ASSERT_TRUE(logo.loadPng(c.png.data(), c.png.size()));
    int failures = 0;
    for (int y = 0; y < CLogo::kHeight; ++y)
      for (int x = 0; x < CLogo::kWidth && failures < 5; ++x) {
        const Bgra want = paint(x, y), got = markPixel(logo, x, y);
        const BYTE wantAlpha = c.opaque ? 255 : want.a;
        if (got.b != want.b || got.g != want.g || got.r != want.r || got.a != wantAlpha) {
          ADD_FAILURE() << x << "," << y << ": " << int{got.b} << " " << int{got.g} << " " << int{got.r} << " "
                        << int{got.a};
          ++failures;
        }
      }
  }
}

TEST(Logo, RefusesWhatIsNotA124By46PngAndThenDrawsNothing) {
  const std::vector<BYTE> good = markPng([](int, int) { return Bgra{10, 20, 30, 255}; });
  const std::vector<BYTE> none;
  const std::vector<BYTE> notPng(300, 0x5a);
  std::vector<BYTE> truncated(good.begin(), good.begin() + static_cast<ptrdiff_t>(good.size() / 2));
  std::vector<BYTE> narrow = encodePng(123, 46, AV_PIX_FMT_RGBA, 4, std::vector<BYTE>(123 * 46 * 4, 255));
  std::vector<BYTE> tall = encodePng(124, 47, AV_PIX_FMT_RGBA, 4, std::vector<BYTE>(124 * 47 * 4, 255));
  ASSERT_FALSE(narrow.empty());
  ASSERT_FALSE(tall.empty());
  struct Case {
    const char* name;
    const std::vector<BYTE>& png;
    const char* traced;
  } cases[] = {
      {"no data", none, "no PNG data"},
      {"not a PNG", notPng, "does not decode"},
      {"truncated", truncated, "does not decode"},
      {"123 x 46", narrow, "123 x 46"},
      {"124 x 47", tall, "124 x 47"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CLogo logo;
    // A good mark first: a refused one must not leave the old one drawing.
    ASSERT_TRUE(logo.loadPng(good.data(), good.size()));
    logo.place(1920, 200);
    lessonry::TraceCapture traces;
    EXPECT_FALSE(logo.loadPng(c.png.data(), c.png.size()));
    EXPECT_FALSE(logo.loaded());
    EXPECT_TRUE(logo.mark().empty());
    EXPECT_TRUE(traces.contains(c.traced));
    Picture picture(200, 70);
    const std::vector<BYTE> before = picture.bytes;
    picture.draw(logo);
    EXPECT_EQ(picture.bytes, before);
  }
}

// ---------------------------------------------------------------------------
// Placing and drawing

TEST(Logo, AtFullSizeDrawsTheMarkBlendedOverThePicture) {
  CLogo logo;
  ASSERT_TRUE(logo.load());
  logo.place(1920, 150);
  ASSERT_EQ(logo.rect(), (LogoRect{23, 15, 124, 46}));
  Picture picture(150, 70);
  const std::vector<BYTE> before = picture.bytes;
  picture.draw(logo);
  expectBlended(picture, before, logo.rect(), [&](int x, int y) { return markPixel(logo, x, y); });
}

TEST(Logo, AConstantMarkStaysConstantAtEverySize) {
  // Weights that do not add up to one, or a kernel reaching outside the
  // picture, show at once on a flat mark, at the edges above all.
  const Bgra colours[] = {{30, 140, 220, 255}, {255, 255, 255, 255}, {0, 0, 0, 255}, {200, 90, 10, 128}};
  const int32_t references[] = {400, 700, 990, 1920};  // 48 x 17, 84 x 31, 120 x 44, 124 x 46
  for (const Bgra colour : colours) {
    const std::vector<BYTE> png = markPng([&](int, int) { return colour; });
    CLogo logo;
    ASSERT_TRUE(logo.loadPng(png.data(), png.size()));
    for (const int32_t reference : references) {
      SCOPED_TRACE(::testing::Message() << "reference " << reference << ", colour " << int{colour.b} << " "
                                        << int{colour.g} << " " << int{colour.r} << " " << int{colour.a});
      logo.place(reference, 200);
      ASSERT_GT(logo.rect().width, 0);
      Picture picture(200, 70);
      const std::vector<BYTE> before = picture.bytes;
      picture.draw(logo);
      expectBlended(picture, before, logo.rect(), [&](int, int) { return colour; });
    }
  }
}

TEST(Logo, TransparentPixelsLeaveThePictureAndTheirColourDoesNotBleed) {
  // Left half: transparent but white; right half: opaque black. Resampled on
  // straight colour, the white would lighten the edge of the black.
  const std::vector<BYTE> png = markPng([](int x, int) {
    return x < CLogo::kWidth / 2 ? Bgra{255, 255, 255, 0} : Bgra{0, 0, 0, 255};
  });
  CLogo logo;
  ASSERT_TRUE(logo.loadPng(png.data(), png.size()));
  for (const int32_t reference : {400, 990, 1920}) {
    SCOPED_TRACE(reference);
    logo.place(reference, 200);
    const LogoRect r = logo.rect();
    // Output columns whose kernel (2 source pixels each side, times the
    // reduction) stays within one half.
    const double scale = static_cast<double>(CLogo::kWidth) / r.width;
    const double reach = 2.0 * std::max(1.0, scale) + 1;
    for (const BYTE background : {BYTE{0}, BYTE{180}}) {
      Picture picture(200, 70, [&](size_t) { return background; });
      picture.draw(logo);
      for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) {
          const double centre = (x - r.x + 0.5) * scale - 0.5;  // in mark pixels
          const bool inside = x >= r.x && x < r.x + r.width && y >= r.y && y < r.y + r.height;
          BYTE want = background;
          if (inside && centre - reach >= CLogo::kWidth / 2) want = 0;  // opaque black
          const bool certain = !inside || centre + reach < CLogo::kWidth / 2 || centre - reach >= CLogo::kWidth / 2;
          for (int c = 0; c < 3; ++c) {
            const BYTE got = picture.pixels()[static_cast<ptrdiff_t>(y) * picture.stride + x * 3 + c];
            if (certain)
              ASSERT_EQ(got, want) << x << "," << y;
            else  // across the edge: black over the background, never lighter
              ASSERT_LE(got, background) << x << "," << y;
          }
        }
    }
  }
}

TEST(Logo, ThePlacedMarkIsAValidPremultipliedPicture) {
  // Drawn over black a pixel gives its premultiplied colour s, over white
  // s + 255 - a: the two differ by the same 255 - a >= 0 in all three
  // channels. Ringing of the cubic at hard alpha edges that left colour
  // above alpha would overflow the blend and break that.
  std::vector<BYTE> noise;
  uint32_t seed = 12345;
  const auto next = [&] { return (seed = seed * 1103515245u + 12345u) >> 16; };
  std::vector<Bgra> blocks(42 * 16);  // 3 x 3 blocks of colour, alpha 0, 255 or between
  for (Bgra& b : blocks) {
    const uint32_t kind = next() % 3;
    b = Bgra{static_cast<BYTE>(next()), static_cast<BYTE>(next()), static_cast<BYTE>(next()),
             static_cast<BYTE>(kind == 0 ? 0 : kind == 1 ? 255 : next())};
  }
  const std::vector<BYTE> noisePng =
      markPng([&](int x, int y) { return blocks[static_cast<size_t>(y / 3) * 42 + x / 3]; });
  struct Case {
    const char* name;
    const std::vector<BYTE>* png;  // null: the product's mark
  } cases[] = {{"logo", nullptr}, {"noise", &noisePng}};
  for (const auto& c : cases) {
    CLogo logo;
    ASSERT_TRUE(c.png ? logo.loadPng(c.png->data(), c.png->size()) : logo.load());
    for (const int32_t reference : {400, 700, 990, 1920}) {
      SCOPED_TRACE(::testing::Message() << c.name << ", reference " << reference);
      logo.place(reference, 200);
      const LogoRect r = logo.rect();
      Picture black(200, 70, [](size_t) { return BYTE{0}; });
      Picture white(200, 70, [](size_t) { return BYTE{255}; });
      black.draw(logo);
      white.draw(logo);
      int failures = 0;
      for (int y = r.y; y < r.y + r.height; ++y)
        for (int x = r.x; x < r.x + r.width && failures < 5; ++x) {
          const ptrdiff_t at = static_cast<ptrdiff_t>(y) * black.stride + x * 3;
          const int d0 = white.pixels()[at] - black.pixels()[at];
          const int d1 = white.pixels()[at + 1] - black.pixels()[at + 1];
          const int d2 = white.pixels()[at + 2] - black.pixels()[at + 2];
          if (d0 < 0 || d0 != d1 || d0 != d2) {
            ADD_FAILURE() << x << "," << y << ": white - black " << d0 << " " << d1 << " " << d2;
            ++failures;
          }
        }
    }
  }
}

TEST(Logo, ShrinkingAveragesFineDetailInsteadOfSkippingIt) {
  // One-pixel stripes, opaque black and white: a shrunk copy is close to an
  // even grey. A kernel not widened by the reduction picks single stripes.
  struct Case {
    const char* name;
    std::function<Bgra(int, int)> paint;
  } cases[] = {
      {"columns", [](int x, int) { return x % 2 ? Bgra{255, 255, 255, 255} : Bgra{0, 0, 0, 255}; }},
      {"rows", [](int, int y) { return y % 2 ? Bgra{255, 255, 255, 255} : Bgra{0, 0, 0, 255}; }},
  };
  for (const auto& c : cases) {
    const std::vector<BYTE> png = markPng(c.paint);
    CLogo logo;
    ASSERT_TRUE(logo.loadPng(png.data(), png.size()));
    for (const int32_t reference : {400, 700}) {  // 48 x 17, 84 x 31
      SCOPED_TRACE(::testing::Message() << c.name << ", reference " << reference);
      logo.place(reference, 200);
      const LogoRect r = logo.rect();
      Picture picture(200, 70, [](size_t) { return BYTE{0}; });
      picture.draw(logo);
      int low = 255, high = 0;
      // Away from the mark's edges, where the stripes end.
      for (int y = r.y + 3; y < r.y + r.height - 3; ++y)
        for (int x = r.x + 3; x < r.x + r.width - 3; ++x) {
          const BYTE v = picture.pixels()[static_cast<ptrdiff_t>(y) * picture.stride + x * 3];
          low = std::min<int>(low, v);
          high = std::max<int>(high, v);
        }
      // Some beat stays at a reduction of 1.48 (within 110..145); unwidened it spans 0..255.
      EXPECT_GE(low, 96);
      EXPECT_LE(high, 159);
    }
  }
}

TEST(Logo, DrawClipsToThePictureAndWritesNothingOutside) {
  CLogo logo;
  ASSERT_TRUE(logo.load());
  struct Case {
    int32_t frame;          // frame width the logo is placed for (reference 1920: 124 x 46 at y 15)
    int32_t width, height;  // picture drawn on
  } cases[] = {
      {100, 100, 40},   // narrower than the logo: x is -27; bottom cut at 40
      {20, 20, 70},     // only the last 17 columns are on the picture
      {200, 150, 50},   // right part and bottom beyond the picture
      {50, 50, 10},     // the picture ends above the logo
      {200, 200, 61},   // exactly to the last row
      {2320, 100, 70},  // the logo right of the picture
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "frame " << c.frame << ", picture " << c.width << " x " << c.height);
    logo.place(1920, c.frame);
    Picture picture(c.width, c.height);
    const std::vector<BYTE> before = picture.bytes;
    picture.draw(logo);
    expectBlended(picture, before, logo.rect(), [&](int x, int y) { return markPixel(logo, x, y); });
  }
}

TEST(Logo, DrawsNothingUnlessLoadedAndPlacedOnARectangleOfPixels) {
  struct Case {
    const char* name;
    bool load;
    int32_t reference;  // 0: not placed
  } cases[] = {
      {"never loaded", false, 1920},
      {"loaded, not placed", true, 0},
      {"placed on no pixels", true, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CLogo logo;
    if (c.load) {
      ASSERT_TRUE(logo.load());
    }
    if (c.reference > 0) logo.place(c.reference, 200);
    if (c.reference < 0) logo.place(0, 200);
    Picture picture(200, 70);
    const std::vector<BYTE> before = picture.bytes;
    picture.draw(logo);
    EXPECT_EQ(picture.bytes, before);
  }
}

}  // namespace
