// The audio render: its one accepted type, data callbacks, the level pool
// and measurement, and the level thread.
#include "ox_audio_render.h"

#include <gtest/gtest.h>

#include <mutex>
#include <vector>

#include "base/event.h"
#include "base/picture_format.h"
#include "feeder.h"
#include "media/media_guids.h"

namespace lessonry::filters {
namespace {

using testing::Feeder;

std::vector<uint8_t> stereo(int frames, int16_t left, int16_t right) {
  std::vector<uint8_t> bytes(size_t(frames) * 4);
  for (int i = 0; i < frames; ++i) {
    std::memcpy(&bytes[size_t(i) * 4], &left, 2);
    std::memcpy(&bytes[size_t(i) * 4 + 2], &right, 2);
  }
  return bytes;
}

struct Reports {
  std::mutex mutex;
  std::vector<std::pair<int32_t, int32_t>> levels;  // (channel, level)
  Event arrived{true, false};
};

int32_t onLevel(int32_t reserved, int32_t channel, int32_t level, void* context) {
  auto* reports = static_cast<Reports*>(context);
  EXPECT_EQ(reserved, 0);
  std::lock_guard lock(reports->mutex);
  reports->levels.emplace_back(channel, level);
  if (reports->levels.size() >= 2) reports->arrived.set();
  return 0;
}

struct Rig {
  Rig() : feeder(ComPtr<Feeder>::adopt(new Feeder(CAudioInput::acceptedType()))) {}
  HRESULT connect() {
    const HRESULT hr = feeder->connect(render->input());
    if (SUCCEEDED(hr)) feeder->Pause();
    return hr;
  }
  ~Rig() {
    render->Stop();
    feeder->Stop();
    feeder->output()->Disconnect();
    render->input()->Disconnect();
  }
  ComPtr<COxAudioRender> render = ComPtr<COxAudioRender>::adopt(new COxAudioRender);
  IOxAudioRenderConfig* config = render->config();
  ComPtr<Feeder> feeder;
};

TEST(OxAudioRenderTest, AcceptsOnlyStereo44100Pcm16) {
  struct Case {
    const char* what;
    WAVEFORMATEX format;
  } refused[] = {
      {"48000 Hz", makePcmFormat(2, 48000, 16)},
      {"mono", makePcmFormat(1, 44100, 16)},
      {"8 bits", makePcmFormat(2, 44100, 8)},
  };
  for (const Case& c : refused) {
    auto feeder = ComPtr<Feeder>::adopt(new Feeder(media::makeAudioType(c.format)));
    auto render = ComPtr<COxAudioRender>::adopt(new COxAudioRender);
    EXPECT_EQ(feeder->connect(render->input()), E_FAIL) << c.what;
    EXPECT_EQ(render->config()->IsConnected(), 0);
  }
  // Extra format bytes make the block differ from the 18 expected.
  media::CMediaType longer = CAudioInput::acceptedType();
  std::vector<uint8_t> block(longer.pbFormat, longer.pbFormat + 18);
  block.resize(20);
  longer.setFormat(block.data(), 20);
  auto feeder = ComPtr<Feeder>::adopt(new Feeder(longer));
  auto render = ComPtr<COxAudioRender>::adopt(new COxAudioRender);
  EXPECT_EQ(feeder->connect(render->input()), E_FAIL);

  Rig rig;
  ASSERT_EQ(rig.connect(), S_OK);
  EXPECT_EQ(rig.config->IsConnected(), 1);
  EXPECT_EQ(rig.render->windowSize(), 35280);
  const WAVEFORMATEX* f = rig.config->GetWaveFormat();
  EXPECT_EQ(f->nSamplesPerSec, 44100u);
  EXPECT_EQ(f->nChannels, 2);
  EXPECT_EQ(f->nAvgBytesPerSec, 176400u);
}

TEST(OxAudioRenderTest, LevelsArePositivePeaksOnAScaleTo127TwoReportsPerPeriod) {
  struct Case {
    int16_t left, right;
    int32_t level0, level1;
  } cases[] = {
      {32767, 32767, 127, 127},   // full scale
      {0, 0, 0, 0},               // silence
      {-32768, -1000, 0, 0},      // negative only
      {255, 256, 0, 1},           // divided toward zero
      {12800, -12800, 50, 0},
  };
  for (const Case& c : cases) {
    Rig rig;
    ASSERT_EQ(rig.connect(), S_OK);
    Reports reports;
    rig.config->SetLevelCallback(onLevel, &reports);
    rig.render->Pause();
    ASSERT_EQ(rig.feeder->send(stereo(441, c.left, c.right)), S_OK);
    rig.render->Stop();  // the level thread is not running: drive one period here
    rig.render->measureOnce();
    EXPECT_EQ(reports.levels, (std::vector<std::pair<int32_t, int32_t>>{{0, c.level0}, {1, c.level1}}))
        << c.left << "/" << c.right;
  }
}

TEST(OxAudioRenderTest, WithoutLevelCallbackThePoolIsDrainedSilently) {
  Rig rig;
  ASSERT_EQ(rig.connect(), S_OK);
  rig.render->Pause();
  ASSERT_EQ(rig.feeder->send(stereo(441, 1000, 1000)), S_OK);
  rig.render->Stop();
  rig.render->measureOnce();  // no callback: drained, nothing reported
  Reports reports;
  rig.config->SetLevelCallback(onLevel, &reports);
  rig.render->measureOnce();
  EXPECT_TRUE(reports.levels.empty());
}

struct DataCalls {
  std::vector<uintptr_t> contexts;
  SampleInfo last{};
};
int32_t onData(SampleInfo* info, uint8_t*, void* context) {
  auto* calls = static_cast<DataCalls*>(*static_cast<void**>(context));
  calls->contexts.push_back(reinterpret_cast<uintptr_t>(context));
  calls->last = *info;
  return 0;
}

TEST(OxAudioRenderTest, DataCallbacksInContextOrderAndRefusedSamplesStillMeasured) {
  Rig rig;
  ASSERT_EQ(rig.connect(), S_OK);
  DataCalls calls;
  void* slots[2] = {&calls, &calls};  // two contexts; each points at the record
  void* high = &slots[1];
  void* low = &slots[0];
  rig.config->AddDataCallback(onData, high);
  rig.config->AddDataCallback(onData, low);
  rig.render->Pause();
  ASSERT_EQ(rig.feeder->send(stereo(100, 5, 5), 777), S_OK);
  EXPECT_EQ(calls.contexts, (std::vector<uintptr_t>{uintptr_t(low), uintptr_t(high)}));
  EXPECT_EQ(calls.last.kind, 2000);
  EXPECT_EQ(calls.last.size, 400);
  EXPECT_EQ(calls.last.startTime, 777);
  rig.render->measureOnce();  // empties the pool

  // Stopped: the base class refuses, the receive still succeeds, the data
  // callbacks are skipped, the block still reaches the level pool.
  rig.render->Stop();
  calls.contexts.clear();
  EXPECT_EQ(rig.feeder->send(stereo(100, 32767, 0)), S_OK);
  EXPECT_TRUE(calls.contexts.empty());
  Reports reports;
  rig.config->SetLevelCallback(onLevel, &reports);
  rig.render->measureOnce();
  EXPECT_EQ(reports.levels, (std::vector<std::pair<int32_t, int32_t>>{{0, 127}, {1, 0}}));
}

TEST(OxAudioRenderTest, LevelThreadRunsBetweenPauseAndStop) {
  Rig rig;
  ASSERT_EQ(rig.connect(), S_OK);
  Reports reports;
  rig.config->SetLevelCallback(onLevel, &reports);
  ASSERT_EQ(rig.render->Pause(), S_OK);
  ASSERT_EQ(rig.feeder->send(stereo(8820, 16384, 8192)), S_OK);  // 200 ms
  ASSERT_TRUE(reports.arrived.wait(10000));
  rig.render->Stop();
  std::lock_guard lock(reports.mutex);
  ASSERT_GE(reports.levels.size(), 2u);
  EXPECT_EQ(reports.levels[0], std::make_pair(0, 64));
  EXPECT_EQ(reports.levels[1], std::make_pair(1, 32));
}

}  // namespace
}  // namespace lessonry::filters
