// The demo recording (see demo_recording.h): the camera graph, the choice
// between the screen with the camera inset and the camera alone, and the
// recording itself.
#include "demo_recording.h"

#include <cstdlib>
#include <vector>

#include "base/clock.h"
#include "base/event.h"
#include "base/picture_format.h"
#include "com/co_create.h"
#include "filters/pinworks.h"
#include "media/filter_graph.h"
#include "media/generated_sources.h"
#include "screen_capture.h"

namespace lessonry::demo {
namespace {

using capture::CScreenRecorder;

constexpr int32_t kSourceId = 1;
constexpr int32_t kRate = 25;                     // pictures per second, one tick each 40 ms
constexpr int32_t kInsetBitRate = 4000;           // kbit/s, mode 2 (the screen plus 400 pixels)
constexpr int32_t kTeacherBitRate = 2000;         // kbit/s, mode 1 at 1280 x 720
constexpr uint32_t kFirstPictureTimeoutMs = 5000;  // the camera graph's first picture

std::string hex(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
  return text;
}

std::string creationError(const char* what, HRESULT hr) {
  std::string text = std::string("the ") + what + " could not be created (" + hex(hr) + ")";
  if (hr == REGDB_E_CLASSNOTREG)
    text += ": libPinworks.so is not registered; register it with lessonry-regsvr of the program folder "
            "(./setup.sh does)";
  return text;
}

// Sets the event on the video render's first picture; runs on the graph's
// streaming thread.
int32_t onFirstPicture(SampleInfo* info, uint8_t*, void* context) {
  if (info && info->kind == kSampleKindPicture) static_cast<Event*>(context)->set();
  return 0;
}

// The graph of a camera control: a camera and a microphone (here generated)
// into the video and audio renders. The graph holds the filters; this object
// holds the graph and the renders' configuration interfaces, which the
// recorder uses without counting references and which therefore stay alive
// until dismantle.
class CameraGraph {
 public:
  CameraGraph() = default;
  ~CameraGraph() { dismantle(); }
  CameraGraph(const CameraGraph&) = delete;
  CameraGraph& operator=(const CameraGraph&) = delete;

  // Creates the renders by class id and the sources, connects them. Empty
  // on success, else what failed.
  std::string build() {
    ComPtr<IBaseFilter> videoRender, audioRender;
    HRESULT hr = CoCreateInstance(CLSID_OxVideoRender, IID_IBaseFilter, videoRender.putVoid());
    if (FAILED(hr)) return creationError("video render", hr);
    hr = CoCreateInstance(CLSID_OxAudioRender, IID_IBaseFilter, audioRender.putVoid());
    if (FAILED(hr)) return creationError("audio render", hr);
    video_ = videoRender.as<IOxVideoRenderConfig>();
    audio_ = audioRender.as<IOxAudioRenderConfig>();
    if (!video_ || !audio_) return "the renders do not answer their configuration interfaces";

    ComPtr<ICaptureGraphBuilder2> builder;
    hr = media::createMediaObject(CLSID_FilterGraph, IID_IGraphBuilder, graph_.putVoid());
    if (FAILED(hr)) return "the filter graph could not be created (" + hex(hr) + ")";
    hr = media::createMediaObject(CLSID_CaptureGraphBuilder2, IID_ICaptureGraphBuilder2, builder.putVoid());
    if (FAILED(hr)) return "the capture graph builder could not be created (" + hex(hr) + ")";
    builder->SetFiltergraph(graph_.get());

    // YUY2, as most cameras deliver; endless and paced in real time.
    media::TestPatternSettings picture{MEDIASUBTYPE_YUY2};
    picture.width = kCameraWidth;
    picture.height = kCameraHeight;
    picture.frameDuration = 10'000'000 / kRate;
    auto camera = ComPtr<IBaseFilter>::adopt(new media::CTestPatternSource(picture));
    // The one format the audio render accepts (and the recording's).
    media::ToneSettings tone{makePcmFormat()};
    tone.amplitude = 0.25;
    auto microphone = ComPtr<IBaseFilter>::adopt(new media::CToneSource(tone));

    struct Named {
      IBaseFilter* filter;
      const char* name;
    };
    for (const Named& f : {Named{camera.get(), "Camera"}, Named{microphone.get(), "Microphone"},
                           Named{videoRender.get(), kOxVideoRenderName}, Named{audioRender.get(), kOxAudioRenderName}}) {
      hr = graph_->AddFilter(f.filter, f.name);
      if (FAILED(hr)) return std::string("the graph refused the filter ") + f.name + " (" + hex(hr) + ")";
    }
    hr = builder->RenderStream(nullptr, &MEDIATYPE_Video, camera.get(), nullptr, videoRender.get());
    if (FAILED(hr)) return "the camera does not connect to the video render (" + hex(hr) + ")";
    hr = builder->RenderStream(nullptr, &MEDIATYPE_Audio, microphone.get(), nullptr, audioRender.get());
    if (FAILED(hr)) return "the microphone does not connect to the audio render (" + hex(hr) + ")";
    if (!video_->IsConnected() || !audio_->IsConnected()) return "the renders report no connection";

    // The render keeps its picture bottom-up unless told otherwise, while
    // the recorder's composition (and the effects library) read the
    // buffer's first row as the picture's top row.
    video_->SetBottomUp(0);
    return {};
  }

  // Runs the graph and waits for the video render's first picture, so that
  // the recording does not open on an empty camera buffer. Empty on success.
  std::string run() {
    control_ = graph_.as<IMediaControl>();
    if (!control_) return "the graph has no media control";
    Event firstPicture(true, false);
    video_->AddFrameCallback(&onFirstPicture, &firstPicture);
    const HRESULT hr = control_->Run();
    const bool arrived = SUCCEEDED(hr) && firstPicture.wait(kFirstPictureTimeoutMs);
    video_->RemoveFrameCallback(&onFirstPicture, &firstPicture);
    if (FAILED(hr)) return "the graph does not run (" + hex(hr) + ")";
    if (!arrived) return "the video render received no picture";
    return {};
  }

  // Stops the graph and takes every filter out of it, as a camera control
  // does when it closes; then lets go of the renders. Idempotent.
  void dismantle() {
    if (control_) control_->Stop();
    control_ = nullptr;
    if (graph_) {
      std::vector<ComPtr<IBaseFilter>> filters;
      graph_->EnumFilters(&filters);
      for (auto& f : filters) graph_->RemoveFilter(f.get());
    }
    graph_ = nullptr;
    video_ = nullptr;
    audio_ = nullptr;
  }

  IOxVideoRenderConfig* video() const { return video_.get(); }
  IOxAudioRenderConfig* audio() const { return audio_.get(); }

 private:
  ComPtr<IGraphBuilder> graph_;
  ComPtr<IMediaControl> control_;
  ComPtr<IOxVideoRenderConfig> video_;
  ComPtr<IOxAudioRenderConfig> audio_;
};

// Whether the recorder's screen capture reaches an X display: DISPLAY names
// one and a capture gives a picture. Host thread, before the recording (the
// capture handle is used by one thread at a time; the tick takes it over).
bool screenReachable(CScreenRecorder& recorder, const VgaFunctions& vga) {
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) return false;
  CScreenCapture& screen = recorder.screen();
  return screen.screenHeader() && vga.captureScreen(screen.handle(), 0) != nullptr;
}

int32_t absolute(int32_t v) { return v < 0 ? -v : v; }

}  // namespace

DemoResult recordDemo(const DemoSettings& settings) {
  DemoResult result;
  CameraGraph graph;
  if (result.error = graph.build(); !result.error.empty()) return result;
  if (result.error = graph.run(); !result.error.empty()) return result;
  if (const BITMAPINFOHEADER* format = graph.video()->GetVideoFormat()) {
    result.cameraWidth = format->biWidth;
    result.cameraHeight = absolute(format->biHeight);
  }

  // Declared after the graph: gone before the renders it points to.
  const VgaFunctions& vga = VgaFunctions::ruveza();
  CScreenRecorder recorder(vga);
  recorder.InsertSource(kSourceId, graph.video(), graph.audio());
  recorder.SelectSource(kSourceId);

  int32_t bitRate = kTeacherBitRate;
  if (screenReachable(recorder, vga)) {
    const CScreenCapture::Size screen = recorder.screen().screenSize();
    result.compositeMode = 2;
    result.screenWidth = screen.width;
    result.screenHeight = screen.height;
    recorder.SendVGACutRect(0, 0, screen.width, screen.height, TRUE);
    recorder.SetCompositeMode(2, 0, 0);
    bitRate = kInsetBitRate;
  } else {
    result.compositeMode = 1;
    recorder.SetCompositeMode(1, kTeacherWidth, kTeacherHeight);
  }
  const BITMAPINFOHEADER& header = recorder.encodeHeader();
  result.width = header.biWidth;
  result.height = absolute(header.biHeight);

  auto fail = [&](std::string why) {
    recorder.RemoveSource(kSourceId);
    result.error = std::move(why);
    return result;
  };
  if (recorder.composition().frameSize() == 0) return fail("the recorder prepared no picture for this mode");
  // Mode 1 is the camera scaled by the effects library; without it every
  // picture would be black.
  if (result.compositeMode == 1 && !recorder.composition().effects().bound())
    return fail(std::string(capture::CLibEffect::kLibraryName) + " did not load: the camera cannot be scaled");

  if (settings.log) {
    if (result.compositeMode == 2)
      std::fprintf(settings.log, "recording: the whole screen (%dx%d) with the camera beside it (mode 2), %dx%d\n",
                   result.screenWidth, result.screenHeight, result.width, result.height);
    else
      std::fprintf(settings.log, "recording: no X display; the camera alone (mode 1), %dx%d\n", result.width,
                   result.height);
    std::fflush(settings.log);
  }

  graph.video()->GetFrameCount();  // from here on, the recording's pictures
  recorder.SetEncodePause(false);
  const int32_t rc = recorder.StartEncode(settings.basePath.c_str(), capture::EFT_MP4, bitRate, kRate,
                                          capture::kEncodeModeFile);
  if (rc != 0) return fail("the recording did not start (" + hex(rc) + ")");
  Sleep(static_cast<uint32_t>(settings.seconds) * 1000);
  recorder.StopEncode();

  result.cameraPictures = graph.video()->GetFrameCount();
  result.recorder = recorder.counters();
  result.composition = recorder.composition().counters();
  // The source goes before its renders: the recorder takes its PCM callback
  // off the audio render here.
  recorder.RemoveSource(kSourceId);
  graph.dismantle();
  result.ok = true;
  return result;
}

}  // namespace lessonry::demo
