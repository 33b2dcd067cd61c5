// The graph end to end: generated sources through converters and tees into
// sinks, state changes, events and their posting, seeking, the capture graph
// builder and the device seam.
#include "media/filter_graph.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <mutex>
#include <vector>

#include "base/picture_format.h"
#include "media/device_enum.h"
#include "media/generated_sources.h"
#include "media/null_renderer.h"
#include "media/window_post.h"

namespace lessonry::media {
namespace {

// A sink that accepts exactly one media type pattern (major, sub and, for
// sound, the format bytes) and keeps what it received.
class CollectingSink final : public CBaseFilter {
 public:
  explicit CollectingSink(const CMediaType& accepted)
      : CBaseFilter("Sink", GUID_NULL), accepted_(accepted), input_(this) {}
  int pinCount() override { return 1; }
  CBasePin* pin(int i) override { return i == 0 ? &input_ : nullptr; }

  int samples() {
    std::lock_guard lock(mutex_);
    return samples_;
  }
  int64_t bytes() {
    std::lock_guard lock(mutex_);
    return bytes_;
  }
  std::vector<uint8_t> last() {
    std::lock_guard lock(mutex_);
    return last_;
  }
  const CMediaType& connected() { return input_.mediaType(); }

 private:
  class Input final : public CBaseInputPin {
   public:
    explicit Input(CollectingSink* owner) : CBaseInputPin(owner, "In"), owner_(owner) {}
    HRESULT CheckMediaType(const CMediaType& mt) override {
      const CMediaType& want = owner_->accepted_;
      if (mt.majortype != want.majortype || mt.subtype != want.subtype) return E_FAIL;
      if (want.cbFormat && (mt.cbFormat != want.cbFormat || std::memcmp(mt.pbFormat, want.pbFormat, mt.cbFormat)))
        return E_FAIL;
      return S_OK;
    }
    HRESULT Receive(IMediaSample* sample) override {
      const HRESULT hr = CBaseInputPin::Receive(sample);
      if (hr != S_OK) return hr;
      BYTE* data = nullptr;
      sample->GetPointer(&data);
      std::lock_guard lock(owner_->mutex_);
      ++owner_->samples_;
      owner_->bytes_ += sample->GetActualDataLength();
      owner_->last_.assign(data, data + sample->GetActualDataLength());
      return S_OK;
    }

   private:
    CollectingSink* const owner_;
  };
  ~CollectingSink() override = default;

  const CMediaType accepted_;
  Input input_;
  std::mutex mutex_;
  int samples_ = 0;
  int64_t bytes_ = 0;
  std::vector<uint8_t> last_;
};

template <typename T>
ComPtr<T> create(REFCLSID clsid) {
  ComPtr<T> object;
  EXPECT_EQ(createMediaObject(clsid, com::iidOf<T>(), object.putVoid()), S_OK);
  return object;
}

ComPtr<IPin> pinOf(IBaseFilter* filter, const char* name) {
  ComPtr<IPin> pin;
  EXPECT_EQ(filter->FindPin(name, pin.put()), S_OK) << name;
  return pin;
}

std::vector<std::string> filterNames(IFilterGraph* graph) {
  std::vector<ComPtr<IBaseFilter>> filters;
  graph->EnumFilters(&filters);
  std::vector<std::string> names;
  for (auto& f : filters) {
    FILTER_INFO info{};
    f->QueryFilterInfo(&info);
    if (info.pGraph) info.pGraph->Release();
    names.push_back(info.achName);
  }
  return names;
}

// Waits for the next event of the given code; false after timeoutMs.
bool waitEvent(IMediaEvent* events, int32_t wanted, int32_t timeoutMs, intptr_t* p1 = nullptr) {
  int32_t code;
  intptr_t a, b;
  while (events->GetEvent(&code, &a, &b, timeoutMs) == S_OK)
    if (code == wanted) {
      if (p1) *p1 = a;
      return true;
    }
  return false;
}

struct Graph {
  ComPtr<IGraphBuilder> graph = create<IGraphBuilder>(CLSID_FilterGraph);
  ComPtr<IMediaControl> control = graph.as<IMediaControl>();
  ComPtr<IMediaEventEx> events = graph.as<IMediaEventEx>();
};

TEST(FilterGraphTest, ConvertsPicturesAndSoundIntoSinksThatAcceptOneFormat) {
  Graph g;
  auto video = ComPtr<IBaseFilter>::adopt(new CTestPatternSource({MEDIASUBTYPE_YUY2, 64, 48, 400000, 0, false}));
  const WAVEFORMATEX mono48k = makePcmFormat(1, 48000, 16);
  auto audio = ComPtr<IBaseFilter>::adopt(new CToneSource({mono48k, 440.0, 0.5, 20, 0, false}));
  CMediaType rgb24(MEDIATYPE_Video);
  rgb24.subtype = MEDIASUBTYPE_RGB24;
  auto* pictures = new CollectingSink(rgb24);
  auto pictureSink = ComPtr<IBaseFilter>::adopt(pictures);
  CMediaType pcm = makeAudioType(makePcmFormat());
  auto* sound = new CollectingSink(pcm);
  auto soundSink = ComPtr<IBaseFilter>::adopt(sound);
  for (auto& [f, n] : {std::pair{video, "Video"}, {audio, "Audio"}, {pictureSink, "Pictures"}, {soundSink, "Sound"}})
    ASSERT_EQ(g.graph->AddFilter(f.get(), n), S_OK);

  ASSERT_EQ(g.graph->Connect(pinOf(video.get(), "Video").get(), pinOf(pictureSink.get(), "In").get()), S_OK);
  ASSERT_EQ(g.graph->Connect(pinOf(audio.get(), "Audio").get(), pinOf(soundSink.get(), "In").get()), S_OK);
  EXPECT_EQ(filterNames(g.graph.get()),
            (std::vector<std::string>{"Video", "Audio", "Pictures", "Sound", "Video Converter", "Audio Converter"}));
  EXPECT_EQ(pictures->connected().subtype, MEDIASUBTYPE_RGB24);

  ASSERT_EQ(g.control->Run(), S_OK);
  while (pictures->samples() < 5 || sound->bytes() < 176400) std::this_thread::yield();
  ASSERT_EQ(g.control->Stop(), S_OK);

  // The converted picture is the pattern: a bottom-up 64 x 48 BGR24 picture
  // whose top-left pixel (last row in memory) is the white bar, shaded.
  const std::vector<uint8_t> picture = pictures->last();
  ASSERT_EQ(picture.size(), size_t(dibStride(64, 24) * 48));
  const uint8_t* topLeft = picture.data() + size_t(dibStride(64, 24)) * 47;
  for (int c = 0; c < 3; ++c) EXPECT_NEAR(topLeft[c], 128, 6) << c;
  FILTER_STATE state;
  g.control->GetState(0, &state);
  EXPECT_EQ(state, State_Stopped);
}

TEST(FilterGraphTest, RefusesWhatNoConverterMakesAndLeavesNoConverterBehind) {
  Graph g;
  auto video = ComPtr<IBaseFilter>::adopt(new CTestPatternSource({MEDIASUBTYPE_YUY2, 64, 48, 400000, 0, false}));
  CMediaType mjpg(MEDIATYPE_Video);
  mjpg.subtype = MEDIASUBTYPE_MJPG;
  auto sink = ComPtr<IBaseFilter>::adopt(new CollectingSink(mjpg));
  g.graph->AddFilter(video.get(), "Video");
  g.graph->AddFilter(sink.get(), "Video");  // a taken name gets a suffix
  EXPECT_EQ(g.graph->Connect(pinOf(video.get(), "Video").get(), pinOf(sink.get(), "In").get()), VFW_E_CANNOT_CONNECT);
  EXPECT_EQ(filterNames(g.graph.get()), (std::vector<std::string>{"Video", "Video 0001"}));
}

TEST(FilterGraphTest, TeeCompletesOncePostsToTheWindowAndReplaysAfterASeek) {
  Graph g;
  auto source = ComPtr<IBaseFilter>::adopt(new CTestPatternSource({MEDIASUBTYPE_RGB32, 32, 32, 400000, 10, false}));
  auto tee = create<IBaseFilter>(CLSID_InfTee);
  auto* null1 = new CNullRenderer;
  auto* null2 = new CNullRenderer;
  auto r1 = ComPtr<IBaseFilter>::adopt(null1), r2 = ComPtr<IBaseFilter>::adopt(null2);
  g.graph->AddFilter(source.get(), "Source");
  g.graph->AddFilter(tee.get(), "Infinite");
  g.graph->AddFilter(r1.get(), "NULL Render");
  g.graph->AddFilter(r2.get(), "Null Render");
  auto builder = create<ICaptureGraphBuilder2>(CLSID_CaptureGraphBuilder2);
  ASSERT_EQ(builder->SetFiltergraph(g.graph.get()), S_OK);
  ASSERT_EQ(builder->RenderStream(nullptr, &MEDIATYPE_Video, source.get(), tee.get(), r1.get()), S_OK);
  ASSERT_EQ(builder->RenderStream(nullptr, &MEDIATYPE_Video, tee.get(), nullptr, r2.get()), S_OK);

  std::atomic<int> posts{0};
  setWindowPoster([&](intptr_t window, uint32_t message, intptr_t, intptr_t lParam) {
    if (window == 0x1234 && message == 0x8001 && lParam == 77) ++posts;
    return true;
  });
  g.events->SetNotifyWindow(0x1234, 0x8001, 77);

  ASSERT_EQ(g.control->Run(), S_OK);
  ASSERT_TRUE(waitEvent(g.events.get(), EC_COMPLETE, 5000));
  int32_t code;
  intptr_t a, b;
  EXPECT_EQ(g.events->GetEvent(&code, &a, &b, 100), E_ABORT) << "one EC_COMPLETE for two renderers";
  EXPECT_EQ(null1->received(), 10);
  EXPECT_EQ(null2->received(), 10);
  EXPECT_EQ(posts.load(), 1);

  // Replay: stop, seek to the start, run again.
  auto seeking = g.graph.as<IMediaSeeking>();
  ASSERT_TRUE(seeking);
  REFERENCE_TIME duration = 0, zero = 0;
  EXPECT_EQ(seeking->GetDuration(&duration), S_OK);
  EXPECT_EQ(duration, 10 * 400000);
  g.control->Stop();
  ASSERT_EQ(seeking->SetPositions(&zero, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning), S_OK);
  g.events->SetNotifyWindow(0, 0, 0);  // a cleared window is not posted to
  ASSERT_EQ(g.control->Run(), S_OK);
  ASSERT_TRUE(waitEvent(g.events.get(), EC_COMPLETE, 5000));
  EXPECT_EQ(null1->received(), 20);
  EXPECT_EQ(posts.load(), 1);
  g.control->Stop();
  setWindowPoster(nullptr);

  // Removing a filter disconnects both sides of its pins.
  ASSERT_EQ(g.graph->RemoveFilter(tee.get()), S_OK);
  ComPtr<IPin> peer;
  EXPECT_EQ(pinOf(source.get(), "Video")->ConnectedTo(peer.put()), VFW_E_NOT_CONNECTED);
  EXPECT_EQ(pinOf(r1.get(), "In")->ConnectedTo(peer.put()), VFW_E_NOT_CONNECTED);
}

TEST(FilterGraphTest, RealTimeSourcesStopPromptlyAndForwardDeviceLoss) {
  // One picture every ten minutes: Stop returns only if it does not wait
  // for the pacing (a hang here is the failure).
  constexpr REFERENCE_TIME kTenMinutes = 600LL * 10000000;
  Graph g;
  auto source = ComPtr<IBaseFilter>::adopt(new CTestPatternSource({MEDIASUBTYPE_YV12, 64, 48, kTenMinutes, 0, true}));
  auto sink = create<IBaseFilter>(CLSID_NullRenderer);
  g.graph->AddFilter(source.get(), "Camera");
  g.graph->AddFilter(sink.get(), "Null");
  auto builder = create<ICaptureGraphBuilder2>(CLSID_CaptureGraphBuilder2);
  builder->SetFiltergraph(g.graph.get());

  // The capture pin of the camera: found by category and type while free.
  ComPtr<IPin> capture;
  EXPECT_EQ(builder->FindPin(source.get(), PINDIR_OUTPUT, &PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, TRUE, 0,
                             capture.put()), S_OK);
  EXPECT_EQ(builder->FindPin(source.get(), PINDIR_OUTPUT, &PIN_CATEGORY_CAPTURE, &MEDIATYPE_Audio, TRUE, 0,
                             capture.put()), E_FAIL);
  ComPtr<IMediaSeeking> seeking;
  EXPECT_EQ(builder->FindInterface(nullptr, nullptr, source.get(), IID_IMediaSeeking, seeking.putVoid()), S_OK);
  ASSERT_EQ(builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, source.get(), nullptr, sink.get()), S_OK);
  EXPECT_EQ(builder->FindPin(source.get(), PINDIR_OUTPUT, &PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, TRUE, 0,
                             capture.put()), E_FAIL) << "connected now";

  ASSERT_EQ(g.control->Run(), S_OK);
  auto sinkEvents = g.graph.as<IMediaEventSink>();
  sinkEvents->Notify(EC_DEVICE_LOST, reinterpret_cast<intptr_t>(source.get()), 0);
  intptr_t lost = 0;
  EXPECT_TRUE(waitEvent(g.events.get(), EC_DEVICE_LOST, 1000, &lost));
  EXPECT_EQ(lost, reinterpret_cast<intptr_t>(source.get()));
  EXPECT_EQ(g.control->Stop(), S_OK);
}

class FakeMoniker final : public DeviceMoniker {
 public:
  FakeMoniker(const char* name, bool readable) : name_(name), readable_(readable) {}
  HRESULT friendlyName(std::string* name) override {
    if (!readable_) return E_FAIL;
    *name = name_;
    return S_OK;
  }
  HRESULT bindToFilter(IBaseFilter** filter) override {
    *filter = new CTestPatternSource({MEDIASUBTYPE_YUY2, 32, 32, 400000, 0, true});
    return S_OK;
  }

 private:
  std::string name_;
  bool readable_;
};

class FakeProvider final : public DeviceProvider {
 public:
  std::vector<std::shared_ptr<DeviceMoniker>> devices(const GUID& category) override {
    if (category != CLSID_VideoInputDeviceCategory) return {};
    return {std::make_shared<FakeMoniker>("Cam", true), std::make_shared<FakeMoniker>("Broken", false)};
  }
};

TEST(DeviceEnumTest, PositionsCountEveryMonikerAndBindByPosition) {
  auto provider = std::make_shared<FakeProvider>();
  registerDeviceProvider(provider);
  EXPECT_EQ(enumerateDevices(CLSID_VideoInputDeviceCategory).size(), 2u);
  EXPECT_TRUE(enumerateDevices(CLSID_AudioInputDeviceCategory).empty());
  for (int32_t position : {0, -1, 3}) {
    IBaseFilter* filter = reinterpret_cast<IBaseFilter*>(1);
    EXPECT_EQ(createDeviceFilter(CLSID_VideoInputDeviceCategory, position, &filter), E_FAIL) << position;
    EXPECT_EQ(filter, nullptr);
  }
  ComPtr<IBaseFilter> second;
  EXPECT_EQ(createDeviceFilter(CLSID_VideoInputDeviceCategory, 2, second.put()), S_OK);
  EXPECT_TRUE(second);
  unregisterDeviceProvider(provider);
  EXPECT_TRUE(enumerateDevices(CLSID_VideoInputDeviceCategory).empty());
}

}  // namespace
}  // namespace lessonry::media
