// Filter and pin base classes (see base_filter.h).
#include "media/base_filter.h"

#include <cstring>

namespace lessonry::media {
namespace {

void copyName(char (&dst)[128], const std::string& src) {
  std::strncpy(dst, src.c_str(), sizeof dst - 1);
  dst[sizeof dst - 1] = '\0';
}

}  // namespace

// ---------------------------------------------------------------- CBaseFilter

CBaseFilter::CBaseFilter(const char* name, const CLSID& clsid) : clsid_(clsid), name_(name ? name : "") {}

CBaseFilter::~CBaseFilter() = default;

HRESULT CBaseFilter::GetClassID(CLSID* clsid) {
  if (!clsid) return E_POINTER;
  *clsid = clsid_;
  return S_OK;
}

HRESULT CBaseFilter::Stop() {
  CAutoLock lock(lock_);
  HRESULT result = S_OK;
  if (state() != State_Stopped) {
    for (int i = 0; i < pinCount(); ++i) {
      CBasePin* p = pin(i);
      if (!p || !p->isConnected()) continue;
      const HRESULT hr = p->Inactive();
      if (FAILED(hr) && SUCCEEDED(result)) result = hr;
    }
  }
  state_.store(State_Stopped, std::memory_order_release);
  return result;
}

HRESULT CBaseFilter::Pause() {
  CAutoLock lock(lock_);
  if (state() == State_Stopped) {
    for (int i = 0; i < pinCount(); ++i) {
      CBasePin* p = pin(i);
      if (!p || !p->isConnected()) continue;
      const HRESULT hr = p->Active();
      if (FAILED(hr)) {
        // Leave nothing half active.
        for (int j = 0; j < i; ++j)
          if (pin(j) && pin(j)->isConnected()) pin(j)->Inactive();
        return hr;
      }
    }
  }
  state_.store(State_Paused, std::memory_order_release);
  return S_OK;
}

HRESULT CBaseFilter::Run(REFERENCE_TIME start) {
  CAutoLock lock(lock_);
  if (state() == State_Stopped) {
    const HRESULT hr = Pause();
    if (FAILED(hr)) return hr;
  }
  startTime_ = start;
  state_.store(State_Running, std::memory_order_release);
  return S_OK;
}

HRESULT CBaseFilter::GetState(uint32_t, FILTER_STATE* state) {
  if (!state) return E_POINTER;
  *state = this->state();
  return S_OK;
}

HRESULT CBaseFilter::EnumPins(std::vector<ComPtr<IPin>>* pins) {
  if (!pins) return E_POINTER;
  pins->clear();
  CAutoLock lock(lock_);
  for (int i = 0; i < pinCount(); ++i)
    if (CBasePin* p = pin(i)) pins->emplace_back(static_cast<IPin*>(p));
  return S_OK;
}

HRESULT CBaseFilter::FindPin(const char* id, IPin** result) {
  if (!id || !result) return E_POINTER;
  *result = nullptr;
  CAutoLock lock(lock_);
  for (int i = 0; i < pinCount(); ++i) {
    CBasePin* p = pin(i);
    if (p && p->name() == id) {
      p->AddRef();
      *result = p;
      return S_OK;
    }
  }
  return VFW_E_NOT_FOUND;
}

HRESULT CBaseFilter::QueryFilterInfo(FILTER_INFO* info) {
  if (!info) return E_POINTER;
  CAutoLock lock(lock_);
  copyName(info->achName, name_);
  info->pGraph = graph_.load();
  if (info->pGraph) info->pGraph->AddRef();
  return S_OK;
}

HRESULT CBaseFilter::JoinFilterGraph(IFilterGraph* graph, const char* name) {
  CAutoLock lock(lock_);
  graph_.store(graph);
  if (graph) name_ = name ? name : "";
  IMediaEventSink* sink = nullptr;
  if (graph && SUCCEEDED(graph->QueryInterface(IID_IMediaEventSink, reinterpret_cast<void**>(&sink))))
    sink->Release();  // the graph outlives our membership; keep no reference (no cycle)
  eventSink_.store(sink);
  return S_OK;
}

HRESULT CBaseFilter::notifyEvent(int32_t code, intptr_t param1, intptr_t param2) {
  IMediaEventSink* sink = eventSink_.load();
  return sink ? sink->Notify(code, param1, param2) : E_NOTIMPL;
}

bool CBaseFilter::isRenderer() {
  CAutoLock lock(lock_);
  for (int i = 0; i < pinCount(); ++i)
    if (pin(i) && pin(i)->direction() == PINDIR_OUTPUT) return false;
  return true;
}

// ------------------------------------------------------------------- CBasePin

CBasePin::CBasePin(CBaseFilter* filter, const char* name, PIN_DIRECTION direction)
    : filter_(filter), name_(name ? name : ""), direction_(direction) {}

CBasePin::~CBasePin() { clearConnection(); }

HRESULT CBasePin::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (iid == IID_IUnknown || iid == IID_IPin)
    *object = static_cast<IPin*>(this);
  else if (iid == IID_IPinCategory)
    *object = static_cast<IPinCategory*>(this);
  else
    return E_NOINTERFACE;
  AddRef();
  return S_OK;
}

void CBasePin::clearConnection() {
  if (IPin* peer = connected_.exchange(nullptr)) peer->Release();
  mt_.clear();
}

HRESULT CBasePin::Connect(IPin* receivePin, const AM_MEDIA_TYPE* mt) {
  if (!receivePin) return E_POINTER;
  CAutoLock lock(filter_->filterLock());
  if (direction_ != PINDIR_OUTPUT) return VFW_E_INVALID_DIRECTION;
  if (isConnected()) return VFW_E_ALREADY_CONNECTED;
  if (filter_->state() != State_Stopped) return VFW_E_NOT_STOPPED;
  return agreeMediaType(receivePin, mt);
}

HRESULT CBasePin::agreeMediaType(IPin* receivePin, const AM_MEDIA_TYPE* mt) {
  if (mt) {
    const CMediaType wanted(*mt);
    if (!wanted.isPartiallySpecified()) return attemptConnection(receivePin, wanted);
  }
  // The receiving pin's preferences first, then ours.
  std::vector<CMediaType> theirs;
  receivePin->EnumMediaTypes(&theirs);
  HRESULT hr = tryTypes(receivePin, theirs, mt);
  if (SUCCEEDED(hr)) return hr;
  std::vector<CMediaType> ours;
  EnumMediaTypes(&ours);
  const HRESULT own = tryTypes(receivePin, ours, mt);
  if (SUCCEEDED(own)) return own;
  return theirs.empty() && ours.empty() ? VFW_E_NO_ACCEPTABLE_TYPES : own;
}

HRESULT CBasePin::tryTypes(IPin* receivePin, const std::vector<CMediaType>& types, const AM_MEDIA_TYPE* pattern) {
  HRESULT last = VFW_E_NO_ACCEPTABLE_TYPES;
  for (const CMediaType& candidate : types) {
    if (pattern && !candidate.matchesPartial(*pattern)) continue;
    last = attemptConnection(receivePin, candidate);
    if (SUCCEEDED(last)) return last;
  }
  return last;
}

HRESULT CBasePin::attemptConnection(IPin* receivePin, const CMediaType& mt) {
  HRESULT hr = CheckConnect(receivePin);
  if (FAILED(hr)) {
    BreakConnect();
    return hr;
  }
  hr = CheckMediaType(mt);
  if (hr != S_OK) {
    BreakConnect();
    return FAILED(hr) ? hr : VFW_E_TYPE_NOT_ACCEPTED;
  }
  receivePin->AddRef();
  connected_.store(receivePin);
  hr = SetMediaType(mt);
  if (SUCCEEDED(hr)) hr = receivePin->ReceiveConnection(this, &mt);
  if (SUCCEEDED(hr)) {
    hr = CompleteConnect(receivePin);
    if (SUCCEEDED(hr)) return S_OK;
    receivePin->Disconnect();
  }
  BreakConnect();
  clearConnection();
  return hr;
}

HRESULT CBasePin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* mt) {
  if (!connector || !mt) return E_POINTER;
  CAutoLock lock(filter_->filterLock());
  if (direction_ != PINDIR_INPUT) return VFW_E_INVALID_DIRECTION;
  if (isConnected()) return VFW_E_ALREADY_CONNECTED;
  if (filter_->state() != State_Stopped) return VFW_E_NOT_STOPPED;
  HRESULT hr = CheckConnect(connector);
  if (FAILED(hr)) {
    BreakConnect();
    return hr;
  }
  const CMediaType offered(*mt);
  hr = CheckMediaType(offered);
  if (hr != S_OK) {
    BreakConnect();
    return FAILED(hr) ? hr : VFW_E_TYPE_NOT_ACCEPTED;
  }
  connector->AddRef();
  connected_.store(connector);
  hr = SetMediaType(offered);
  if (SUCCEEDED(hr)) hr = CompleteConnect(connector);
  if (FAILED(hr)) {
    BreakConnect();
    clearConnection();
  }
  return hr;
}

HRESULT CBasePin::Disconnect() {
  CAutoLock lock(filter_->filterLock());
  if (filter_->state() != State_Stopped) return VFW_E_NOT_STOPPED;
  if (!isConnected()) return S_FALSE;
  BreakConnect();
  clearConnection();
  return S_OK;
}

HRESULT CBasePin::ConnectedTo(IPin** pin) {
  if (!pin) return E_POINTER;
  CAutoLock lock(filter_->filterLock());
  *pin = connected_.load();
  if (!*pin) return VFW_E_NOT_CONNECTED;
  (*pin)->AddRef();
  return S_OK;
}

HRESULT CBasePin::ConnectionMediaType(AM_MEDIA_TYPE* mt) {
  if (!mt) return E_POINTER;
  CAutoLock lock(filter_->filterLock());
  *mt = AM_MEDIA_TYPE{};
  if (!isConnected()) return VFW_E_NOT_CONNECTED;
  return CopyMediaType(mt, &mt_);
}

HRESULT CBasePin::QueryPinInfo(PIN_INFO* info) {
  if (!info) return E_POINTER;
  info->pFilter = filter_;
  filter_->AddRef();
  info->dir = direction_;
  copyName(info->achName, name_);
  return S_OK;
}

HRESULT CBasePin::QueryDirection(PIN_DIRECTION* direction) {
  if (!direction) return E_POINTER;
  *direction = direction_;
  return S_OK;
}

HRESULT CBasePin::QueryId(std::string* id) {
  if (!id) return E_POINTER;
  *id = name_;
  return S_OK;
}

HRESULT CBasePin::QueryAccept(const AM_MEDIA_TYPE* mt) {
  if (!mt) return E_POINTER;
  return CheckMediaType(CMediaType(*mt)) == S_OK ? S_OK : S_FALSE;
}

HRESULT CBasePin::EnumMediaTypes(std::vector<CMediaType>* types) {
  if (!types) return E_POINTER;
  types->clear();
  CAutoLock lock(filter_->filterLock());
  for (int position = 0; position < 64; ++position) {
    CMediaType mt;
    if (GetMediaType(position, &mt) != S_OK) break;
    types->push_back(std::move(mt));
  }
  return S_OK;
}

HRESULT CBasePin::NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) { return S_OK; }

HRESULT CBasePin::GetCategory(GUID* category) {
  if (!category) return E_POINTER;
  *category = category_;
  return category_ == GUID_NULL ? S_FALSE : S_OK;
}

HRESULT CBasePin::GetMediaType(int, CMediaType*) { return VFW_S_NO_MORE_ITEMS; }

HRESULT CBasePin::SetMediaType(const CMediaType& mt) {
  mt_ = mt;
  return S_OK;
}

HRESULT CBasePin::CheckConnect(IPin* pin) {
  PIN_DIRECTION theirs;
  if (FAILED(pin->QueryDirection(&theirs))) return E_FAIL;
  return theirs == direction_ ? VFW_E_INVALID_DIRECTION : S_OK;
}

HRESULT CBasePin::CompleteConnect(IPin*) { return S_OK; }

HRESULT CBasePin::BreakConnect() { return S_OK; }

// -------------------------------------------------------------- CBaseInputPin

CBaseInputPin::CBaseInputPin(CBaseFilter* filter, const char* name) : CBasePin(filter, name, PINDIR_INPUT) {}

HRESULT CBaseInputPin::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (iid == IID_IMemInputPin) {
    *object = static_cast<IMemInputPin*>(this);
    AddRef();
    return S_OK;
  }
  return CBasePin::QueryInterface(iid, object);
}

HRESULT CBaseInputPin::GetAllocator(IMemAllocator** allocator) {
  if (!allocator) return E_POINTER;
  CAutoLock lock(filter_->filterLock());
  if (!allocator_) allocator_ = ComPtr<IMemAllocator>::adopt(new CMemAllocator);
  *allocator = allocator_.get();
  (*allocator)->AddRef();
  return S_OK;
}

HRESULT CBaseInputPin::NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) {
  if (!allocator) return E_POINTER;
  CAutoLock lock(filter_->filterLock());
  allocator_ = ComPtr<IMemAllocator>(allocator);
  readOnly_ = readOnly != FALSE;
  return S_OK;
}

HRESULT CBaseInputPin::Receive(IMediaSample* sample) {
  if (!sample) return E_POINTER;
  if (!isConnected()) return VFW_E_NOT_CONNECTED;
  if (filter_->state() == State_Stopped) return VFW_E_WRONG_STATE;
  if (isFlushing()) return S_FALSE;
  return S_OK;
}

HRESULT CBaseInputPin::EndOfStream() {
  if (filter_->state() == State_Stopped) return VFW_E_WRONG_STATE;
  if (isFlushing()) return S_FALSE;
  if (filter_->isRenderer()) filter_->notifyEvent(EC_COMPLETE, S_OK, 0);
  return S_OK;
}

HRESULT CBaseInputPin::BeginFlush() {
  flushing_.store(true, std::memory_order_release);
  return S_OK;
}

HRESULT CBaseInputPin::EndFlush() {
  flushing_.store(false, std::memory_order_release);
  return S_OK;
}

HRESULT CBaseInputPin::BreakConnect() {
  allocator_.reset();
  readOnly_ = false;
  return S_OK;
}

// ------------------------------------------------------------- CBaseOutputPin

CBaseOutputPin::CBaseOutputPin(CBaseFilter* filter, const char* name) : CBasePin(filter, name, PINDIR_OUTPUT) {}

HRESULT CBaseOutputPin::DecideAllocator(IMemInputPin* input, IMemAllocator** result) {
  ALLOCATOR_PROPERTIES request{};
  if (FAILED(input->GetAllocatorRequirements(&request))) request = ALLOCATOR_PROPERTIES{};
  ComPtr<IMemAllocator> allocator;
  HRESULT hr = input->GetAllocator(allocator.put());
  if (SUCCEEDED(hr)) {
    hr = DecideBufferSize(allocator.get(), &request);
    if (SUCCEEDED(hr)) hr = input->NotifyAllocator(allocator.get(), FALSE);
  }
  if (FAILED(hr)) {
    // The input offers none we can use: our own.
    allocator = ComPtr<IMemAllocator>::adopt(new CMemAllocator);
    hr = DecideBufferSize(allocator.get(), &request);
    if (SUCCEEDED(hr)) hr = input->NotifyAllocator(allocator.get(), FALSE);
  }
  if (FAILED(hr)) return hr;
  *result = allocator.detach();
  return S_OK;
}

HRESULT CBaseOutputPin::CompleteConnect(IPin* receivePin) {
  ComPtr<IMemInputPin> input;
  if (FAILED(receivePin->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(input.put()))))
    return VFW_E_NO_ALLOCATOR;
  ComPtr<IMemAllocator> allocator;
  const HRESULT hr = DecideAllocator(input.get(), allocator.put());
  if (FAILED(hr)) return hr;
  input_ = std::move(input);
  allocator_ = std::move(allocator);
  return S_OK;
}

HRESULT CBaseOutputPin::BreakConnect() {
  if (allocator_) allocator_->Decommit();
  allocator_.reset();
  input_.reset();
  return S_OK;
}

HRESULT CBaseOutputPin::Active() { return allocator_ ? allocator_->Commit() : VFW_E_NO_ALLOCATOR; }

HRESULT CBaseOutputPin::Inactive() { return allocator_ ? allocator_->Decommit() : S_OK; }

HRESULT CBaseOutputPin::GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                                          DWORD flags) {
  if (!allocator_) return VFW_E_NO_ALLOCATOR;
  return allocator_->GetBuffer(sample, start, stop, flags);
}

HRESULT CBaseOutputPin::Deliver(IMediaSample* sample) {
  return input_ ? input_->Receive(sample) : VFW_E_NOT_CONNECTED;
}

HRESULT CBaseOutputPin::DeliverEndOfStream() {
  IPin* peer = connectedPin();
  return peer ? peer->EndOfStream() : VFW_E_NOT_CONNECTED;
}

HRESULT CBaseOutputPin::DeliverBeginFlush() {
  IPin* peer = connectedPin();
  return peer ? peer->BeginFlush() : VFW_E_NOT_CONNECTED;
}

HRESULT CBaseOutputPin::DeliverEndFlush() {
  IPin* peer = connectedPin();
  return peer ? peer->EndFlush() : VFW_E_NOT_CONNECTED;
}

HRESULT CBaseOutputPin::DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  IPin* peer = connectedPin();
  return peer ? peer->NewSegment(start, stop, rate) : VFW_E_NOT_CONNECTED;
}

}  // namespace lessonry::media
