// The library as a server: registration entries, creation by class id, and
// a graph that runs generated sources through converters into both renders.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <mutex>

#include "base/event.h"
#include "base/module.h"
#include "base/registry.h"
#include "com/co_create.h"
#include "com/server.h"
#include "filters/pinworks.h"
#include "media/filter_graph.h"
#include "media/filter_registration.h"
#include "media/generated_sources.h"
#include "base/picture_format.h"

namespace lessonry::filters {
namespace {

class PinworksServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    registryPath_ = std::filesystem::temp_directory_path() / ("pinworks_registry_" + std::to_string(getpid()) + ".ini");
    std::filesystem::remove(registryPath_);
    setenv("LESSONRY_REGISTRY", registryPath_.c_str(), 1);
    ASSERT_TRUE(library_.load(PINWORKS_LIBRARY)) << library_.error();
    auto reg = library_.function<DllRegisterServerFunction>("DllRegisterServer");
    ASSERT_NE(reg, nullptr);
    ASSERT_EQ(reg(), S_OK);
  }
  void TearDown() override {
    std::filesystem::remove(registryPath_);
    std::filesystem::remove(registryPath_.string() + ".lock");
  }
  std::filesystem::path registryPath_;
  Module library_;
};

TEST_F(PinworksServerTest, RegistersBothRendersAsDoNotUseFiltersAndUnregisters) {
  Registry registry;
  for (const CLSID* clsid : {&CLSID_OxVideoRender, &CLSID_OxAudioRender}) {
    const std::string key = com::classKey(*clsid);
    EXPECT_EQ(registry.getString(key + "\\InprocServer32", "ThreadingModel"), "Both");
    EXPECT_TRUE(registry.getString(key + "\\InprocServer32", ""));
    EXPECT_EQ(registry.getDword(media::filterRegistrationKey(*clsid), "Merit"), 0x200000u);
  }
  EXPECT_EQ(registry.getString(com::classKey(CLSID_OxVideoRender), ""), "Ox Video Render");
  EXPECT_EQ(registry.getString(com::classKey(CLSID_OxAudioRender), ""), "Ox Audio Render");
  ASSERT_EQ(library_.function<DllUnregisterServerFunction>("DllUnregisterServer")(), S_OK);
  EXPECT_FALSE(registry.keyExists(com::classKey(CLSID_OxVideoRender)));
  EXPECT_FALSE(registry.keyExists(media::filterRegistrationKey(CLSID_OxAudioRender)));
}

struct Seen {
  std::atomic<int> pictures{0};
  std::atomic<int64_t> pcmBytes{0};
  std::atomic<int> levels{0};
  Event enough{true, false};
  void check() {
    if (pictures >= 3 && pcmBytes >= 44100 && levels >= 2) enough.set();
  }
};
int32_t onPicture(SampleInfo* info, uint8_t*, void* context) {
  auto* seen = static_cast<Seen*>(context);
  if (info->kind == 2001) ++seen->pictures;
  seen->check();
  return 0;
}
int32_t onPcm(SampleInfo* info, uint8_t*, void* context) {
  auto* seen = static_cast<Seen*>(context);
  if (info->kind == 2000) seen->pcmBytes += info->size;
  seen->check();
  return 0;
}
int32_t onLevel(int32_t, int32_t, int32_t, void* context) {
  auto* seen = static_cast<Seen*>(context);
  ++seen->levels;
  seen->check();
  return 0;
}

TEST_F(PinworksServerTest, GraphDeliversPicturesAndSoundThroughConvertersIntoRendersMadeByClassId) {
  ComPtr<IBaseFilter> videoRender, audioRender;
  ASSERT_EQ(CoCreateInstance(CLSID_OxVideoRender, IID_IBaseFilter, videoRender.putVoid()), S_OK);
  ASSERT_EQ(CoCreateInstance(CLSID_OxAudioRender, IID_IBaseFilter, audioRender.putVoid()), S_OK);
  auto videoConfig = videoRender.as<IOxVideoRenderConfig>();
  auto audioConfig = audioRender.as<IOxAudioRenderConfig>();
  ASSERT_TRUE(videoConfig && audioConfig);

  ComPtr<IGraphBuilder> graph;
  ComPtr<ICaptureGraphBuilder2> builder;
  ASSERT_EQ(media::createMediaObject(CLSID_FilterGraph, IID_IGraphBuilder, graph.putVoid()), S_OK);
  ASSERT_EQ(media::createMediaObject(CLSID_CaptureGraphBuilder2, IID_ICaptureGraphBuilder2, builder.putVoid()), S_OK);
  builder->SetFiltergraph(graph.get());
  auto camera = ComPtr<IBaseFilter>::adopt(
      new media::CTestPatternSource({MEDIASUBTYPE_I420, 160, 120, 400000, 0, true}));
  auto microphone = ComPtr<IBaseFilter>::adopt(
      new media::CToneSource({makePcmFormat(1, 48000, 16), 440.0, 0.5, 20, 0, true}));
  graph->AddFilter(camera.get(), "Camera");
  graph->AddFilter(microphone.get(), "Microphone");
  graph->AddFilter(videoRender.get(), kOxVideoRenderName);
  graph->AddFilter(audioRender.get(), kOxAudioRenderName);
  ASSERT_EQ(builder->RenderStream(nullptr, &MEDIATYPE_Video, camera.get(), nullptr, videoRender.get()), S_OK);
  ASSERT_EQ(builder->RenderStream(nullptr, &MEDIATYPE_Audio, microphone.get(), nullptr, audioRender.get()), S_OK);
  EXPECT_EQ(videoConfig->IsConnected(), 1);
  EXPECT_EQ(audioConfig->IsConnected(), 1);

  Seen seen;
  videoConfig->SetInUse(TRUE);
  videoConfig->AddFrameCallback(onPicture, &seen);
  audioConfig->AddDataCallback(onPcm, &seen);
  audioConfig->SetLevelCallback(onLevel, &seen);
  auto control = graph.as<IMediaControl>();
  ASSERT_EQ(control->Run(), S_OK);
  EXPECT_TRUE(seen.enough.wait(20000));
  ASSERT_EQ(control->Stop(), S_OK);
  EXPECT_EQ(videoConfig->GetVideoFormat()->biSizeImage, uint32_t(dibStride(160, 24) * 120));

  // Dismantle as the capture control does: take every filter out.
  std::vector<ComPtr<IBaseFilter>> filters;
  graph->EnumFilters(&filters);
  for (auto& f : filters) graph->RemoveFilter(f.get());
  videoConfig->RemoveFrameCallback(nullptr, &seen);
  audioConfig->RemoveDataCallback(nullptr, &seen);
  audioConfig->SetLevelCallback(nullptr, nullptr);
}

}  // namespace
}  // namespace lessonry::filters
