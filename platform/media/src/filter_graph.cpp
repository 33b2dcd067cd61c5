// The filter graph (see filter_graph.h).
#include "media/filter_graph.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "base/critical_section.h"
#include "com/server.h"
#include "media/converters.h"
#include "media/inf_tee.h"
#include "media/null_renderer.h"
#include "media/window_post.h"

namespace lessonry::media {

HRESULT createCaptureGraphBuilder(REFIID iid, void** ppv);  // capture_graph_builder.cpp

namespace {

struct GraphEvent {
  int32_t code;
  intptr_t param1;
  intptr_t param2;
};

// The filters a pin's filter feeds directly.
std::vector<ComPtr<IBaseFilter>> downstreamOf(IBaseFilter* filter) {
  std::vector<ComPtr<IBaseFilter>> result;
  std::vector<ComPtr<IPin>> pins;
  filter->EnumPins(&pins);
  for (auto& pin : pins) {
    PIN_DIRECTION dir;
    ComPtr<IPin> peer;
    if (FAILED(pin->QueryDirection(&dir)) || dir != PINDIR_OUTPUT || FAILED(pin->ConnectedTo(peer.put()))) continue;
    PIN_INFO info{};
    if (SUCCEEDED(peer->QueryPinInfo(&info)) && info.pFilter) result.push_back(ComPtr<IBaseFilter>::adopt(info.pFilter));
  }
  return result;
}

bool hasConnectedInput(IBaseFilter* filter, bool* hasOutputs) {
  std::vector<ComPtr<IPin>> pins;
  filter->EnumPins(&pins);
  bool connectedInput = false;
  *hasOutputs = false;
  for (auto& pin : pins) {
    PIN_DIRECTION dir;
    if (FAILED(pin->QueryDirection(&dir))) continue;
    if (dir == PINDIR_OUTPUT) {
      *hasOutputs = true;
      continue;
    }
    ComPtr<IPin> peer;
    if (SUCCEEDED(pin->ConnectedTo(peer.put()))) connectedInput = true;
  }
  return connectedInput;
}

void disconnectAll(IBaseFilter* filter) {
  std::vector<ComPtr<IPin>> pins;
  filter->EnumPins(&pins);
  for (auto& pin : pins) {
    ComPtr<IPin> peer;
    if (SUCCEEDED(pin->ConnectedTo(peer.put()))) peer->Disconnect();
    pin->Disconnect();
  }
}

ComPtr<IPin> firstPin(IBaseFilter* filter, PIN_DIRECTION wanted, bool unconnected) {
  std::vector<ComPtr<IPin>> pins;
  filter->EnumPins(&pins);
  for (auto& pin : pins) {
    PIN_DIRECTION dir;
    if (FAILED(pin->QueryDirection(&dir)) || dir != wanted) continue;
    ComPtr<IPin> peer;
    if (unconnected && SUCCEEDED(pin->ConnectedTo(peer.put()))) continue;
    return pin;
  }
  return nullptr;
}

using ConverterFactory = IBaseFilter* (*)();
IBaseFilter* makeVideoConverter() { return new CVideoConverter; }
IBaseFilter* makeAudioConverter() { return new CAudioConverter; }
const struct {
  ConverterFactory make;
  const char* name;
} kConverters[] = {{makeVideoConverter, "Video Converter"}, {makeAudioConverter, "Audio Converter"}};

class CFilterGraph final
    : public com::ComObject<IGraphBuilder, IMediaControl, IMediaEventEx, IMediaEventSink, IMediaSeeking> {
 public:
  // IFilterGraph / IGraphBuilder
  HRESULT AddFilter(IBaseFilter* filter, const char* name) override;
  HRESULT RemoveFilter(IBaseFilter* filter) override;
  HRESULT EnumFilters(std::vector<ComPtr<IBaseFilter>>* filters) override;
  HRESULT FindFilterByName(const char* name, IBaseFilter** filter) override;
  HRESULT ConnectDirect(IPin* out, IPin* in, const AM_MEDIA_TYPE* mt) override;
  HRESULT Disconnect(IPin* pin) override;
  HRESULT Connect(IPin* out, IPin* in) override;
  HRESULT Render(IPin*) override { return VFW_E_CANNOT_RENDER; }
  HRESULT RenderFile(const char*, const char*) override { return VFW_E_CANNOT_RENDER; }

  // IMediaControl
  HRESULT Run() override;
  HRESULT Pause() override;
  HRESULT Stop() override;
  HRESULT GetState(int32_t timeoutMs, FILTER_STATE* state) override;

  // IMediaEventEx
  HRESULT GetEvent(int32_t* code, intptr_t* param1, intptr_t* param2, int32_t timeoutMs) override;
  HRESULT FreeEventParams(int32_t, intptr_t, intptr_t) override { return S_OK; }
  HRESULT SetNotifyWindow(intptr_t window, uint32_t message, intptr_t instance) override;

  // IMediaEventSink; any thread.
  HRESULT Notify(int32_t code, intptr_t param1, intptr_t param2) override;

  // IMediaSeeking
  HRESULT IsFormatSupported(const GUID* format) override;
  HRESULT SetTimeFormat(const GUID* format) override;
  HRESULT GetTimeFormat(GUID* format) override;
  HRESULT GetDuration(REFERENCE_TIME* duration) override;
  HRESULT GetCurrentPosition(REFERENCE_TIME* position) override;
  HRESULT SetPositions(REFERENCE_TIME* current, DWORD currentFlags, REFERENCE_TIME* stop, DWORD stopFlags) override;

 private:
  ~CFilterGraph() override;
  // Filters with their sources first (under lock_).
  std::vector<ComPtr<IBaseFilter>> upstreamFirst();
  HRESULT pauseFilters();  // under lock_
  void queueEvent(const GraphEvent& event);
  std::vector<ComPtr<IMediaSeeking>> seekers();

  struct Entry {
    ComPtr<IBaseFilter> filter;
    std::string name;
  };
  CriticalSection lock_;  // the graph lock
  std::vector<Entry> filters_;
  FILTER_STATE state_ = State_Stopped;

  std::mutex eventMutex_;  // leaf
  std::condition_variable eventArrived_;
  std::deque<GraphEvent> events_;
  int renderersExpected_ = 0;  // at Run: the renderers that must finish
  int renderersComplete_ = 0;
  bool running_ = false;

  std::mutex notifyMutex_;  // leaf, besides the posting seam's own
  intptr_t notifyWindow_ = 0;
  uint32_t notifyMessage_ = 0;
  intptr_t notifyInstance_ = 0;
};

CFilterGraph::~CFilterGraph() {
  Stop();
  for (auto& entry : filters_) disconnectAll(entry.filter.get());
  for (auto& entry : filters_) entry.filter->JoinFilterGraph(nullptr, nullptr);
  filters_.clear();
}

HRESULT CFilterGraph::AddFilter(IBaseFilter* filter, const char* name) {
  if (!filter) return E_POINTER;
  CAutoLock lock(lock_);
  for (auto& entry : filters_)
    if (entry.filter.get() == filter) return VFW_E_WRONG_STATE;
  std::string wanted = name && *name ? name : "Filter";
  std::string unique = wanted;
  for (int n = 1; std::any_of(filters_.begin(), filters_.end(), [&](const Entry& e) { return e.name == unique; }); ++n) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, " %04d", n);
    unique = wanted + suffix;
  }
  const HRESULT hr = filter->JoinFilterGraph(this, unique.c_str());
  if (FAILED(hr)) return hr;
  filters_.push_back({ComPtr<IBaseFilter>(filter), unique});
  return unique == wanted ? S_OK : VFW_S_DUPLICATE_NAME;
}

HRESULT CFilterGraph::RemoveFilter(IBaseFilter* filter) {
  if (!filter) return E_POINTER;
  CAutoLock lock(lock_);
  auto it = std::find_if(filters_.begin(), filters_.end(), [&](const Entry& e) { return e.filter.get() == filter; });
  if (it == filters_.end()) return VFW_E_NOT_FOUND;
  ComPtr<IBaseFilter> keep = it->filter;
  if (state_ != State_Stopped) keep->Stop();
  disconnectAll(keep.get());
  keep->JoinFilterGraph(nullptr, nullptr);
  filters_.erase(it);
  return S_OK;
}

HRESULT CFilterGraph::EnumFilters(std::vector<ComPtr<IBaseFilter>>* filters) {
  if (!filters) return E_POINTER;
  CAutoLock lock(lock_);
  filters->clear();
  for (auto& entry : filters_) filters->push_back(entry.filter);
  return S_OK;
}

HRESULT CFilterGraph::FindFilterByName(const char* name, IBaseFilter** filter) {
  if (!name || !filter) return E_POINTER;
  *filter = nullptr;
  CAutoLock lock(lock_);
  for (auto& entry : filters_)
    if (entry.name == name) {
      *filter = ComPtr<IBaseFilter>(entry.filter).detach();
      return S_OK;
    }
  return VFW_E_NOT_FOUND;
}

HRESULT CFilterGraph::ConnectDirect(IPin* out, IPin* in, const AM_MEDIA_TYPE* mt) {
  if (!out || !in) return E_POINTER;
  CAutoLock lock(lock_);
  if (state_ != State_Stopped) return VFW_E_NOT_STOPPED;
  return out->Connect(in, mt);
}

HRESULT CFilterGraph::Disconnect(IPin* pin) {
  if (!pin) return E_POINTER;
  CAutoLock lock(lock_);
  return pin->Disconnect();
}

HRESULT CFilterGraph::Connect(IPin* out, IPin* in) {
  if (!out || !in) return E_POINTER;
  CAutoLock lock(lock_);
  if (state_ != State_Stopped) return VFW_E_NOT_STOPPED;
  HRESULT hr = out->Connect(in, nullptr);
  if (SUCCEEDED(hr) || hr == VFW_E_ALREADY_CONNECTED) return hr;
  for (const auto& converter : kConverters) {
    ComPtr<IBaseFilter> filter = ComPtr<IBaseFilter>::adopt(converter.make());
    ComPtr<IPin> convIn = firstPin(filter.get(), PINDIR_INPUT, true);
    ComPtr<IPin> convOut = firstPin(filter.get(), PINDIR_OUTPUT, true);
    if (!convIn || !convOut) continue;
    // The converter joins first so that its pins can raise events; it
    // leaves again when it does not fit.
    if (FAILED(AddFilter(filter.get(), converter.name))) continue;  // a second one gets " 0001"
    if (SUCCEEDED(out->Connect(convIn.get(), nullptr)) && SUCCEEDED(convOut->Connect(in, nullptr))) return S_OK;
    RemoveFilter(filter.get());
  }
  return VFW_E_CANNOT_CONNECT;
}

std::vector<ComPtr<IBaseFilter>> CFilterGraph::upstreamFirst() {
  // Kahn's order over the connections: a filter comes after every filter
  // that feeds it; filters in no connection keep their order.
  const size_t n = filters_.size();
  std::vector<int> feeders(n, 0);
  std::vector<std::vector<size_t>> feeds(n);
  for (size_t i = 0; i < n; ++i)
    for (auto& down : downstreamOf(filters_[i].filter.get()))
      for (size_t j = 0; j < n; ++j)
        if (filters_[j].filter.get() == down.get()) {
          feeds[i].push_back(j);
          ++feeders[j];
        }
  std::vector<ComPtr<IBaseFilter>> order;
  std::vector<bool> placed(n, false);
  while (order.size() < n) {
    bool progress = false;
    for (size_t i = 0; i < n; ++i) {
      if (placed[i] || feeders[i] > 0) continue;
      placed[i] = true;
      progress = true;
      order.push_back(filters_[i].filter);
      for (size_t j : feeds[i]) --feeders[j];
    }
    if (!progress) {  // a cycle: take the rest as they are
      for (size_t i = 0; i < n; ++i)
        if (!placed[i]) order.push_back(filters_[i].filter);
      break;
    }
  }
  return order;
}

HRESULT CFilterGraph::pauseFilters() {
  auto order = upstreamFirst();
  for (auto it = order.rbegin(); it != order.rend(); ++it) {
    const HRESULT hr = (*it)->Pause();
    if (FAILED(hr)) {
      for (auto& filter : order) filter->Stop();
      state_ = State_Stopped;
      return hr;
    }
  }
  state_ = State_Paused;
  return S_OK;
}

HRESULT CFilterGraph::Run() {
  CAutoLock lock(lock_);
  if (state_ == State_Running) return S_OK;
  if (state_ == State_Stopped) {
    int renderers = 0;
    for (auto& entry : filters_) {
      bool outputs = false;
      if (hasConnectedInput(entry.filter.get(), &outputs) && !outputs) ++renderers;
    }
    {
      std::lock_guard events(eventMutex_);
      renderersExpected_ = renderers;
      renderersComplete_ = 0;
      running_ = true;
    }
    const HRESULT hr = pauseFilters();
    if (FAILED(hr)) {
      std::lock_guard events(eventMutex_);
      running_ = false;
      return hr;
    }
  }
  auto order = upstreamFirst();
  for (auto it = order.rbegin(); it != order.rend(); ++it) {
    const HRESULT hr = (*it)->Run(0);
    if (FAILED(hr)) {
      Stop();  // the graph lock is re-entrant
      return hr;
    }
  }
  state_ = State_Running;
  return S_OK;
}

HRESULT CFilterGraph::Pause() {
  CAutoLock lock(lock_);
  if (state_ == State_Paused) return S_OK;
  if (state_ == State_Stopped) {
    {
      std::lock_guard events(eventMutex_);
      renderersComplete_ = 0;
      running_ = true;
    }
    return pauseFilters();
  }
  for (auto& filter : upstreamFirst()) filter->Pause();
  state_ = State_Paused;
  return S_OK;
}

HRESULT CFilterGraph::Stop() {
  CAutoLock lock(lock_);
  HRESULT result = S_OK;
  for (auto& filter : upstreamFirst()) {
    const HRESULT hr = filter->Stop();
    if (FAILED(hr) && SUCCEEDED(result)) result = hr;
  }
  state_ = State_Stopped;
  std::lock_guard events(eventMutex_);
  running_ = false;
  renderersComplete_ = 0;
  return result;
}

HRESULT CFilterGraph::GetState(int32_t, FILTER_STATE* state) {
  if (!state) return E_POINTER;
  CAutoLock lock(lock_);
  *state = state_;
  return S_OK;
}

HRESULT CFilterGraph::Notify(int32_t code, intptr_t param1, intptr_t param2) {
  {
    std::lock_guard lock(eventMutex_);
    if (code == EC_COMPLETE) {
      // One EC_COMPLETE for the graph, when its last renderer finished.
      if (!running_ || renderersExpected_ == 0 || ++renderersComplete_ != renderersExpected_) return S_OK;
      events_.push_back({EC_COMPLETE, S_OK, 0});
    } else {
      events_.push_back({code, param1, param2});
    }
  }
  eventArrived_.notify_all();
  std::lock_guard notify(notifyMutex_);
  postToWindow(notifyWindow_, notifyMessage_, 0, notifyInstance_);
  return S_OK;
}

HRESULT CFilterGraph::GetEvent(int32_t* code, intptr_t* param1, intptr_t* param2, int32_t timeoutMs) {
  if (!code || !param1 || !param2) return E_POINTER;
  std::unique_lock lock(eventMutex_);
  auto ready = [&] { return !events_.empty(); };
  if (timeoutMs < 0)
    eventArrived_.wait(lock, ready);
  else if (!eventArrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready))
    return E_ABORT;
  const GraphEvent event = events_.front();
  events_.pop_front();
  *code = event.code;
  *param1 = event.param1;
  *param2 = event.param2;
  return S_OK;
}

HRESULT CFilterGraph::SetNotifyWindow(intptr_t window, uint32_t message, intptr_t instance) {
  std::lock_guard notify(notifyMutex_);
  notifyWindow_ = window;
  notifyMessage_ = message;
  notifyInstance_ = instance;
  return S_OK;
}

std::vector<ComPtr<IMediaSeeking>> CFilterGraph::seekers() {
  std::vector<ComPtr<IMediaSeeking>> result;
  CAutoLock lock(lock_);
  for (auto& entry : filters_) {
    ComPtr<IMediaSeeking> seeking;
    if (SUCCEEDED(entry.filter.as(seeking))) result.push_back(std::move(seeking));
  }
  return result;
}

HRESULT CFilterGraph::IsFormatSupported(const GUID* format) {
  if (!format) return E_POINTER;
  return *format == TIME_FORMAT_MEDIA_TIME ? S_OK : S_FALSE;
}

HRESULT CFilterGraph::SetTimeFormat(const GUID* format) {
  if (!format) return E_POINTER;
  return *format == TIME_FORMAT_MEDIA_TIME ? S_OK : E_INVALIDARG;
}

HRESULT CFilterGraph::GetTimeFormat(GUID* format) {
  if (!format) return E_POINTER;
  *format = TIME_FORMAT_MEDIA_TIME;
  return S_OK;
}

HRESULT CFilterGraph::GetDuration(REFERENCE_TIME* duration) {
  if (!duration) return E_POINTER;
  HRESULT result = E_NOTIMPL;
  *duration = 0;
  for (auto& seeking : seekers()) {
    REFERENCE_TIME one = 0;
    if (SUCCEEDED(seeking->GetDuration(&one))) {
      *duration = std::max(*duration, one);
      result = S_OK;
    }
  }
  return result;
}

HRESULT CFilterGraph::GetCurrentPosition(REFERENCE_TIME* position) {
  if (!position) return E_POINTER;
  for (auto& seeking : seekers())
    if (SUCCEEDED(seeking->GetCurrentPosition(position))) return S_OK;
  return E_NOTIMPL;
}

HRESULT CFilterGraph::SetPositions(REFERENCE_TIME* current, DWORD currentFlags, REFERENCE_TIME* stop,
                                   DWORD stopFlags) {
  auto all = seekers();
  if (all.empty()) return E_NOTIMPL;
  HRESULT result = S_OK;
  for (auto& seeking : all) {
    REFERENCE_TIME c = current ? *current : 0, s = stop ? *stop : 0;
    const HRESULT hr = seeking->SetPositions(current ? &c : nullptr, currentFlags, stop ? &s : nullptr, stopFlags);
    if (FAILED(hr) && SUCCEEDED(result)) result = hr;
  }
  return result;
}

}  // namespace

HRESULT createMediaObject(REFCLSID clsid, REFIID iid, void** ppv) {
  if (clsid == CLSID_FilterGraph) return com::createObject<CFilterGraph>(iid, ppv);
  if (clsid == CLSID_CaptureGraphBuilder2) return createCaptureGraphBuilder(iid, ppv);
  if (clsid == CLSID_NullRenderer) return com::createObject<CNullRenderer>(iid, ppv);
  if (clsid == CLSID_InfTee) return com::createObject<CInfTee>(iid, ppv);
  if (clsid == CLSID_VideoConverter) return com::createObject<CVideoConverter>(iid, ppv);
  if (clsid == CLSID_AudioConverter) return com::createObject<CAudioConverter>(iid, ppv);
  if (ppv) *ppv = nullptr;
  return REGDB_E_CLASSNOTREG;
}

}  // namespace lessonry::media
