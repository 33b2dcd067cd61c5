// The camera inset's scaling: CInsetScaler against sws_scale with
// SWS_BICUBIC (full chroma, as the composition used it) doing the same
// conversion, 24-bit 640 x 480 and 1280 x 720 to 400 x 300, in the same run;
// prints the time ratio ours / swscale for each source size.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

extern "C" {
#include <libswscale/swscale.h>
}

#include "inset_scaler.h"
#include "ratio_reporter.h"

namespace {

constexpr int kInsetWidth = 400, kInsetHeight = 300;

std::vector<uint8_t> randomBytes(size_t size) {
  std::vector<uint8_t> bytes(size);
  std::mt19937 rng(1);
  for (auto& b : bytes) b = static_cast<uint8_t>(rng());
  return bytes;
}

struct SwsDeleter {
  void operator()(SwsContext* context) const { sws_freeContext(context); }
};

// 24-bit rows padded to 4 bytes, as the camera delivers them.
int sourceStride(int width) { return (width * 3 + 3) & ~3; }

void insetScaler(benchmark::State& state) {
  const int width = static_cast<int>(state.range(0)), height = static_cast<int>(state.range(1));
  const auto source = randomBytes(static_cast<size_t>(sourceStride(width)) * height);
  std::vector<uint8_t> output(size_t{kInsetWidth} * 3 * kInsetHeight);
  lessonry::capture::CInsetScaler scaler;
  if (!scaler.configure(width, height, 24, kInsetWidth, kInsetHeight)) {
    state.SkipWithError("configure failed");
    return;
  }
  for (auto _ : state) {
    scaler.scale(source.data(), sourceStride(width), output.data(), kInsetWidth * 3);
    benchmark::DoNotOptimize(output.data());
    benchmark::ClobberMemory();
  }
}

void swsBicubic(benchmark::State& state) {
  const int width = static_cast<int>(state.range(0)), height = static_cast<int>(state.range(1));
  std::unique_ptr<SwsContext, SwsDeleter> context(sws_getContext(
      width, height, AV_PIX_FMT_BGR24, kInsetWidth, kInsetHeight, AV_PIX_FMT_BGR24,
      SWS_BICUBIC | SWS_FULL_CHR_H_INT | SWS_FULL_CHR_H_INP, nullptr, nullptr, nullptr));
  if (!context) {
    state.SkipWithError("sws_getContext failed");
    return;
  }
  const auto source = randomBytes(static_cast<size_t>(sourceStride(width)) * height);
  std::vector<uint8_t> output(size_t{kInsetWidth} * 3 * kInsetHeight);
  const uint8_t* sourcePlanes[1] = {source.data()};
  const int sourceStrides[1] = {sourceStride(width)};
  uint8_t* outputPlanes[1] = {output.data()};
  const int outputStrides[1] = {kInsetWidth * 3};
  for (auto _ : state) {
    sws_scale(context.get(), sourcePlanes, sourceStrides, 0, height, outputPlanes, outputStrides);
    benchmark::DoNotOptimize(output.data());
    benchmark::ClobberMemory();
  }
}

BENCHMARK(insetScaler)->Args({640, 480})->Args({1280, 720})->Unit(benchmark::kMillisecond);
BENCHMARK(swsBicubic)->Args({640, 480})->Args({1280, 720})->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  lessonry::bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  for (const char* size : {"640/480", "1280/720"}) {
    const auto ours = reporter.time(std::string("insetScaler/") + size);
    const auto sws = reporter.time(std::string("swsBicubic/") + size);
    if (!ours || !sws || *sws <= 0) continue;
    std::printf("24-bit %s -> 400x300: inset scaler %.3f ms, sws_scale bicubic %.3f ms, ratio %.2f\n", size, *ours,
                *sws, *ours / *sws);
  }
  benchmark::Shutdown();
  return 0;
}
