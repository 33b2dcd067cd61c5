// Receive cost of the video render for 1920 x 1080 YUY2 and YV12 pictures
// (conversion to the bottom-up BGR24 buffer included) against a bare
// sws_scale of the same conversion, measured in the same run; the ratio of
// the two is printed after the figures (target: at most 1.1).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

extern "C" {
#include <libswscale/swscale.h>
}

#include "../filters/tests/feeder.h"
#include "base/picture_format.h"
#include "media/media_guids.h"
#include "media/picture_planes.h"
#include "ox_video_render.h"

namespace {

using lessonry::ComPtr;
namespace media = lessonry::media;

constexpr int kWidth = 1920, kHeight = 1080;
std::map<std::string, double> gNanosPerPicture;

std::vector<uint8_t> picture(const GUID& subtype) {
  std::vector<uint8_t> bytes(media::pictureBytes(subtype, kWidth, kHeight));
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 31 + (i >> 11));
  return bytes;
}

void record(benchmark::State& state, const std::string& name, std::chrono::steady_clock::duration spent) {
  const double ns = double(std::chrono::duration_cast<std::chrono::nanoseconds>(spent).count()) /
                    double(std::max<int64_t>(1, state.iterations()));
  gNanosPerPicture[name] = ns;
}

void renderReceive(benchmark::State& state, const GUID& subtype, const std::string& name) {
  auto render = ComPtr<lessonry::filters::COxVideoRender>::adopt(new lessonry::filters::COxVideoRender);
  auto feeder = ComPtr<lessonry::filters::testing::Feeder>::adopt(
      new lessonry::filters::testing::Feeder(media::makeVideoType(subtype, kWidth, kHeight, 400000)));
  if (FAILED(feeder->connect(render->input()))) return state.SkipWithError("no connection");
  feeder->Pause();
  render->Pause();
  render->config()->SetInUse(TRUE);  // every picture converted
  const auto bytes = picture(subtype);
  ComPtr<IMediaSample> sample;
  static_cast<media::CBaseOutputPin*>(feeder->pin(0))->GetDeliveryBuffer(sample.put(), nullptr, nullptr, 0);
  BYTE* data = nullptr;
  sample->GetPointer(&data);
  std::memcpy(data, bytes.data(), bytes.size());
  sample->SetActualDataLength(int32_t(bytes.size()));
  IMemInputPin* input = render->input();
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) benchmark::DoNotOptimize(input->Receive(sample.get()));
  record(state, name, std::chrono::steady_clock::now() - start);
  sample.reset();
  render->Stop();
  feeder->Stop();
  feeder->output()->Disconnect();
  render->input()->Disconnect();
}

void bareScale(benchmark::State& state, const GUID& subtype, const std::string& name) {
  auto bytes = picture(subtype);
  media::PicturePlanes src;
  media::describePicture(subtype, kWidth, kHeight, bytes.data(), &src);
  if (subtype == MEDIASUBTYPE_YV12) std::swap(src.planes[1], src.planes[2]);  // as the render reads it
  const int stride = lessonry::dibStride(kWidth, 24);
  std::vector<uint8_t> out(size_t(stride) * kHeight);
  SwsContext* sws =
      sws_getContext(kWidth, kHeight, src.format, kWidth, kHeight, AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr, nullptr, nullptr);
  // Bottom-up output, as the render stores it by default.
  uint8_t* dst[4] = {out.data() + ptrdiff_t(stride) * (kHeight - 1)};
  const int dstStride[4] = {-stride};
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) benchmark::DoNotOptimize(sws_scale(sws, src.planes, src.strides, 0, kHeight, dst, dstStride));
  record(state, name, std::chrono::steady_clock::now() - start);
  sws_freeContext(sws);
}

void BM_RenderYuy2(benchmark::State& s) { renderReceive(s, MEDIASUBTYPE_YUY2, "render YUY2"); }
void BM_SwsYuy2(benchmark::State& s) { bareScale(s, MEDIASUBTYPE_YUY2, "sws YUY2"); }
void BM_RenderYv12(benchmark::State& s) { renderReceive(s, MEDIASUBTYPE_YV12, "render YV12"); }
void BM_SwsYv12(benchmark::State& s) { bareScale(s, MEDIASUBTYPE_YV12, "sws YV12"); }
BENCHMARK(BM_SwsYuy2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderYuy2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SwsYv12)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderYv12)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  for (const char* layout : {"YUY2", "YV12"}) {
    const std::string render = std::string("render ") + layout, bare = std::string("sws ") + layout;
    if (!gNanosPerPicture.count(render) || !gNanosPerPicture.count(bare)) continue;
    std::printf("video render receive / bare sws_scale, %s 1920x1080: %.3f (target <= 1.1)\n", layout,
                gNanosPerPicture[render] / gNanosPerPicture[bare]);
  }
  return 0;
}
