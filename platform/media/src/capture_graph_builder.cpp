// The capture graph builder: stream-level building on top of a filter graph.
//
// RenderStream connects a source's output (of a category and media type) to
// a sink, through an optional intermediate filter, with the graph's
// converters where a connection needs them. FindInterface looks for an
// interface on a filter, then on its pins of the category and type, then
// downstream of those pins, then upstream of the filter. FindPin finds a pin
// by direction, category, type and connection state. Host thread only.
#include <string>

#include "com/server.h"
#include "media/filter_graph.h"

namespace lessonry::media {
namespace {

bool pinMatches(IPin* pin, PIN_DIRECTION direction, const GUID* category, const GUID* type, bool unconnected) {
  PIN_DIRECTION dir;
  if (FAILED(pin->QueryDirection(&dir)) || dir != direction) return false;
  ComPtr<IPin> peer;
  const bool connected = SUCCEEDED(pin->ConnectedTo(peer.put()));
  if (unconnected && connected) return false;
  if (category && *category != GUID_NULL) {
    ComPtr<IPinCategory> pc;
    GUID theirs = GUID_NULL;
    if (FAILED(pin->QueryInterface(IID_IPinCategory, pc.putVoid())) || pc->GetCategory(&theirs) != S_OK ||
        theirs != *category)
      return false;
  }
  if (type && *type != GUID_NULL) {
    if (connected) {
      AM_MEDIA_TYPE mt{};
      const bool same = SUCCEEDED(pin->ConnectionMediaType(&mt)) && mt.majortype == *type;
      FreeMediaType(mt);
      return same;
    }
    std::vector<CMediaType> types;
    pin->EnumMediaTypes(&types);
    bool any = false;
    for (auto& mt : types) any = any || mt.majortype == *type;
    return any;
  }
  return true;
}

ComPtr<IPin> findPin(IBaseFilter* filter, PIN_DIRECTION direction, const GUID* category, const GUID* type,
                     bool unconnected, int index) {
  std::vector<ComPtr<IPin>> pins;
  filter->EnumPins(&pins);
  for (auto& pin : pins)
    if (pinMatches(pin.get(), direction, category, type, unconnected) && index-- == 0) return pin;
  return nullptr;
}

ComPtr<IBaseFilter> filterOf(IPin* pin) {
  PIN_INFO info{};
  if (FAILED(pin->QueryPinInfo(&info)) || !info.pFilter) return nullptr;
  return ComPtr<IBaseFilter>::adopt(info.pFilter);
}

// iid on filter or its pins, walking in direction (depth bounded by the graph).
bool searchFrom(IBaseFilter* filter, PIN_DIRECTION walk, REFIID iid, void** object, int depth) {
  if (!filter || depth > 32) return false;
  if (SUCCEEDED(filter->QueryInterface(iid, object))) return true;
  std::vector<ComPtr<IPin>> pins;
  filter->EnumPins(&pins);
  for (auto& pin : pins)
    if (SUCCEEDED(pin->QueryInterface(iid, object))) return true;
  for (auto& pin : pins) {
    PIN_DIRECTION dir;
    ComPtr<IPin> peer;
    if (FAILED(pin->QueryDirection(&dir)) || dir != walk || FAILED(pin->ConnectedTo(peer.put()))) continue;
    if (searchFrom(filterOf(peer.get()).get(), walk, iid, object, depth + 1)) return true;
  }
  return false;
}

class CCaptureGraphBuilder final : public com::ComObject<ICaptureGraphBuilder2> {
 public:
  HRESULT SetFiltergraph(IGraphBuilder* graph) override {
    if (!graph) return E_POINTER;
    if (graph_) return E_UNEXPECTED;
    graph_ = ComPtr<IGraphBuilder>(graph);
    return S_OK;
  }

  HRESULT GetFiltergraph(IGraphBuilder** graph) override {
    if (!graph) return E_POINTER;
    *graph = ComPtr<IGraphBuilder>(graph_).detach();
    return *graph ? S_OK : E_UNEXPECTED;
  }

  HRESULT RenderStream(const GUID* category, const GUID* type, IUnknown* source, IBaseFilter* intermediate,
                       IBaseFilter* sink) override {
    if (!source) return E_POINTER;
    if (!graph_) return E_UNEXPECTED;
    ComPtr<IPin> out;
    ComPtr<IPin> given;
    if (SUCCEEDED(source->QueryInterface(IID_IPin, given.putVoid()))) {
      if (!pinMatches(given.get(), PINDIR_OUTPUT, category, type, true)) return E_INVALIDARG;
      out = given;
    } else {
      ComPtr<IBaseFilter> filter;
      if (FAILED(source->QueryInterface(IID_IBaseFilter, filter.putVoid()))) return E_NOINTERFACE;
      out = findPin(filter.get(), PINDIR_OUTPUT, category, type, true, 0);
      if (!out) return E_FAIL;
    }
    if (intermediate) {
      ComPtr<IPin> in = findPin(intermediate, PINDIR_INPUT, nullptr, nullptr, true, 0);
      if (!in) return E_FAIL;
      HRESULT hr = graph_->Connect(out.get(), in.get());
      if (FAILED(hr)) return hr;
      out = findPin(intermediate, PINDIR_OUTPUT, nullptr, nullptr, true, 0);
      if (!out) return sink ? E_FAIL : S_OK;
    }
    if (!sink) return graph_->Render(out.get());
    ComPtr<IPin> in = findPin(sink, PINDIR_INPUT, nullptr, nullptr, true, 0);
    if (!in) return E_FAIL;
    return graph_->Connect(out.get(), in.get());
  }

  HRESULT FindInterface(const GUID* category, const GUID* type, IBaseFilter* filter, REFIID iid,
                        void** object) override {
    if (!filter || !object) return E_POINTER;
    *object = nullptr;
    const bool anyPin = (!category || *category == GUID_NULL) && (!type || *type == GUID_NULL);
    if (anyPin && SUCCEEDED(filter->QueryInterface(iid, object))) return S_OK;
    // The pins of the category and type, then what lies downstream of them.
    std::vector<ComPtr<IPin>> pins;
    filter->EnumPins(&pins);
    for (auto& pin : pins) {
      if (!pinMatches(pin.get(), PINDIR_OUTPUT, category, type, false) &&
          !(anyPin && pinMatches(pin.get(), PINDIR_INPUT, nullptr, nullptr, false)))
        continue;
      if (SUCCEEDED(pin->QueryInterface(iid, object))) return S_OK;
      ComPtr<IPin> peer;
      PIN_DIRECTION dir;
      if (SUCCEEDED(pin->QueryDirection(&dir)) && dir == PINDIR_OUTPUT && SUCCEEDED(pin->ConnectedTo(peer.put())) &&
          searchFrom(filterOf(peer.get()).get(), PINDIR_OUTPUT, iid, object, 1))
        return S_OK;
    }
    if (!anyPin) return E_NOINTERFACE;
    // Upstream of the filter.
    for (auto& pin : pins) {
      PIN_DIRECTION dir;
      ComPtr<IPin> peer;
      if (FAILED(pin->QueryDirection(&dir)) || dir != PINDIR_INPUT || FAILED(pin->ConnectedTo(peer.put()))) continue;
      if (searchFrom(filterOf(peer.get()).get(), PINDIR_INPUT, iid, object, 1)) return S_OK;
    }
    return E_NOINTERFACE;
  }

  HRESULT FindPin(IUnknown* source, PIN_DIRECTION direction, const GUID* category, const GUID* type,
                  BOOL unconnected, int32_t index, IPin** pin) override {
    if (!source || !pin) return E_POINTER;
    *pin = nullptr;
    ComPtr<IBaseFilter> filter;
    if (FAILED(source->QueryInterface(IID_IBaseFilter, filter.putVoid()))) return E_NOINTERFACE;
    ComPtr<IPin> found = findPin(filter.get(), direction, category, type, unconnected != FALSE, index);
    if (!found) return E_FAIL;
    *pin = found.detach();
    return S_OK;
  }

 private:
  ComPtr<IGraphBuilder> graph_;
};

}  // namespace

HRESULT createCaptureGraphBuilder(REFIID iid, void** ppv) { return com::createObject<CCaptureGraphBuilder>(iid, ppv); }

}  // namespace lessonry::media
