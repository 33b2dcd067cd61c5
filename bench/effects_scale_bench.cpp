// Type-1 composition of the effects library (a 640 x 480 source scaled
// bilinearly to a 1920 x 1080 output) against sws_scale with SWS_BILINEAR
// doing the same conversion, in the same run; prints the time ratio
// effects / swscale for 24-bit and 32-bit sources.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

extern "C" {
#include <libswscale/swscale.h>
}

#include "ox_effect.h"
#include "ratio_reporter.h"

namespace {

constexpr int kSourceWidth = 640, kSourceHeight = 480;
constexpr int kOutputWidth = 1920, kOutputHeight = 1080;

std::vector<uint8_t> randomBytes(size_t size) {
  std::vector<uint8_t> bytes(size);
  std::mt19937 rng(1);
  for (auto& b : bytes) b = static_cast<uint8_t>(rng());
  return bytes;
}

struct EffectDeleter {
  void operator()(OxEffectInstance* effect) const { OxFreeEffect(effect); }
};
struct SwsDeleter {
  void operator()(SwsContext* context) const { sws_freeContext(context); }
};

void effectsType1(benchmark::State& state) {
  const int bitCount = static_cast<int>(state.range(0));
  BITMAPINFOHEADER format{};
  format.biSize = sizeof format;
  format.biWidth = kSourceWidth;
  format.biHeight = -kSourceHeight;
  format.biPlanes = 1;
  format.biBitCount = static_cast<uint16_t>(bitCount);
  const auto source = randomBytes(size_t{kSourceWidth} * kSourceHeight * (bitCount / 8));
  std::vector<uint8_t> output(size_t{kOutputWidth} * 3 * kOutputHeight);
  std::unique_ptr<OxEffectInstance, EffectDeleter> effect(OxGetEffect());
  OxSetComposeVideoSize(kOutputWidth, kOutputHeight, effect.get());
  const ComposeItem item{&format, source.data(), nullptr};
  for (auto _ : state) {
    OxComposeVideo(0, &item, 1, 0, 0x824, output.data(), effect.get());
    benchmark::DoNotOptimize(output.data());
    benchmark::ClobberMemory();
  }
}

void swsBilinear(benchmark::State& state) {
  const int bitCount = static_cast<int>(state.range(0));
  const AVPixelFormat in = bitCount == 32 ? AV_PIX_FMT_BGRA : AV_PIX_FMT_BGR24;
  std::unique_ptr<SwsContext, SwsDeleter> context(sws_getContext(
      kSourceWidth, kSourceHeight, in, kOutputWidth, kOutputHeight, AV_PIX_FMT_BGR24, SWS_BILINEAR, nullptr,
      nullptr, nullptr));
  if (!context) {
    state.SkipWithError("sws_getContext failed");
    return;
  }
  const auto source = randomBytes(size_t{kSourceWidth} * kSourceHeight * (bitCount / 8));
  std::vector<uint8_t> output(size_t{kOutputWidth} * 3 * kOutputHeight);
  const uint8_t* sourcePlanes[1] = {source.data()};
  const int sourceStrides[1] = {kSourceWidth * (bitCount / 8)};
  uint8_t* outputPlanes[1] = {output.data()};
  const int outputStrides[1] = {kOutputWidth * 3};
  for (auto _ : state) {
    sws_scale(context.get(), sourcePlanes, sourceStrides, 0, kSourceHeight, outputPlanes, outputStrides);
    benchmark::DoNotOptimize(output.data());
    benchmark::ClobberMemory();
  }
}

BENCHMARK(effectsType1)->Arg(24)->Arg(32)->Unit(benchmark::kMillisecond);
BENCHMARK(swsBilinear)->Arg(24)->Arg(32)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  lessonry::bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  for (const char* bits : {"24", "32"}) {
    const auto effects = reporter.time(std::string("effectsType1/") + bits);
    const auto sws = reporter.time(std::string("swsBilinear/") + bits);
    if (!effects || !sws || *sws <= 0) continue;
    std::printf("%s-bit 640x480 -> 1920x1080: effects %.3f ms, sws_scale bilinear %.3f ms, ratio %.2f\n", bits,
                *effects, *sws, *effects / *sws);
  }
  benchmark::Shutdown();
  return 0;
}
