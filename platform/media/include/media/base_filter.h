// Base classes of filters and their pins.
//
// CBaseFilter keeps the filter's state, its name and graph, and the filter
// lock; a subclass lists its pins (pinCount, pin). Pins are sub-objects of
// their filter: they share its reference count and live as long as it does.
//
// Connection (CBasePin): an output pin offers media types to an input pin;
// each side checks a type with CheckMediaType; the first type both accept is
// kept by both (SetMediaType), and CompleteConnect lets the output pin agree
// on an allocator with the input pin. Connections change only while the
// filter is stopped, so streaming threads read connection state unlocked.
//
// State: Pause from stopped activates every pin (Active: output pins commit
// their allocators, source streams start their threads); Stop deactivates
// them (Inactive: decommit, threads joined).
//
// Lock order: the graph's lock, then a filter's lock (held for state changes
// and connection; subclasses may also hold it for a whole receive), then an
// allocator's lock. A source stream's thread never takes its own filter's
// lock, so Stop may join it while holding that lock.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "base/critical_section.h"
#include "media/allocator.h"
#include "media/interfaces.h"

namespace lessonry::media {

class CBasePin;

// The filter starts with one reference, its creator's (ComObject); further
// interfaces of a subclass are answered in queryOther.
class CBaseFilter : public com::ComObject<IBaseFilter> {
 public:
  CBaseFilter(const char* name, const CLSID& clsid);

  // IBaseFilter; the host's thread.
  HRESULT GetClassID(CLSID* clsid) override;
  HRESULT Stop() override;
  HRESULT Pause() override;
  HRESULT Run(REFERENCE_TIME start) override;
  HRESULT GetState(uint32_t timeoutMs, FILTER_STATE* state) override;
  HRESULT EnumPins(std::vector<ComPtr<IPin>>* pins) override;
  HRESULT FindPin(const char* id, IPin** pin) override;
  HRESULT QueryFilterInfo(FILTER_INFO* info) override;
  HRESULT JoinFilterGraph(IFilterGraph* graph, const char* name) override;

  // The pins in order; pin(i) is valid while the filter lives.
  virtual int pinCount() = 0;
  virtual CBasePin* pin(int index) = 0;

  FILTER_STATE state() const { return state_.load(std::memory_order_acquire); }
  CriticalSection& filterLock() { return lock_; }
  // Raises an event in the graph the filter is in (nothing outside a graph).
  // Any thread; takes no filter lock.
  HRESULT notifyEvent(int32_t code, intptr_t param1, intptr_t param2);
  // A filter without output pins is a renderer: its streams' ends count
  // towards the graph's EC_COMPLETE.
  bool isRenderer();

 protected:
  ~CBaseFilter() override;

  CriticalSection lock_;  // the filter lock
  std::atomic<FILTER_STATE> state_{State_Stopped};
  REFERENCE_TIME startTime_ = 0;

 private:
  const CLSID clsid_;
  std::string name_;
  // The graph, not referenced (it holds us); valid between joining and leaving.
  std::atomic<IFilterGraph*> graph_{nullptr};
  std::atomic<IMediaEventSink*> eventSink_{nullptr};
};

class CBasePin : public IPin, public IPinCategory {
 public:
  CBasePin(CBaseFilter* filter, const char* name, PIN_DIRECTION direction);
  virtual ~CBasePin();
  CBasePin(const CBasePin&) = delete;
  CBasePin& operator=(const CBasePin&) = delete;

  // IUnknown: shared with the filter.
  HRESULT QueryInterface(REFIID iid, void** object) override;
  ULONG AddRef() override { return filter_->AddRef(); }
  ULONG Release() override { return filter_->Release(); }

  // IPin; connection calls on the host's thread, the stream calls on the
  // streaming thread.
  HRESULT Connect(IPin* receivePin, const AM_MEDIA_TYPE* mt) override;
  HRESULT ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* mt) override;
  HRESULT Disconnect() override;
  HRESULT ConnectedTo(IPin** pin) override;
  HRESULT ConnectionMediaType(AM_MEDIA_TYPE* mt) override;
  HRESULT QueryPinInfo(PIN_INFO* info) override;
  HRESULT QueryDirection(PIN_DIRECTION* direction) override;
  HRESULT QueryId(std::string* id) override;
  HRESULT QueryAccept(const AM_MEDIA_TYPE* mt) override;
  HRESULT EnumMediaTypes(std::vector<CMediaType>* types) override;
  HRESULT EndOfStream() override { return S_OK; }
  HRESULT BeginFlush() override { return S_OK; }
  HRESULT EndFlush() override { return S_OK; }
  HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

  // IPinCategory
  HRESULT GetCategory(GUID* category) override;

  // For subclasses and the filter.
  // S_OK to accept the type; the failure code is what a refused connection reports.
  virtual HRESULT CheckMediaType(const CMediaType& mt) = 0;
  // The position-th preferred type; VFW_S_NO_MORE_ITEMS past the last.
  virtual HRESULT GetMediaType(int position, CMediaType* mt);
  virtual HRESULT SetMediaType(const CMediaType& mt);
  virtual HRESULT CheckConnect(IPin* pin);
  virtual HRESULT CompleteConnect(IPin* receivePin);
  virtual HRESULT BreakConnect();
  virtual HRESULT Active() { return S_OK; }
  virtual HRESULT Inactive() { return S_OK; }

  bool isConnected() const { return connected_.load(std::memory_order_acquire) != nullptr; }
  IPin* connectedPin() const { return connected_.load(std::memory_order_acquire); }
  const CMediaType& mediaType() const { return mt_; }
  PIN_DIRECTION direction() const { return direction_; }
  const std::string& name() const { return name_; }
  CBaseFilter* filter() const { return filter_; }
  void setCategory(const GUID& category) { category_ = category; }

 protected:
  CBaseFilter* const filter_;
  CMediaType mt_;  // the connection's type; written only while stopped

 private:
  HRESULT agreeMediaType(IPin* receivePin, const AM_MEDIA_TYPE* mt);
  HRESULT attemptConnection(IPin* receivePin, const CMediaType& mt);
  HRESULT tryTypes(IPin* receivePin, const std::vector<CMediaType>& types, const AM_MEDIA_TYPE* pattern);
  void clearConnection();

  const std::string name_;
  const PIN_DIRECTION direction_;
  GUID category_ = GUID_NULL;
  // The peer, referenced while connected (released in clearConnection).
  std::atomic<IPin*> connected_{nullptr};
};

class CBaseInputPin : public CBasePin, public IMemInputPin {
 public:
  CBaseInputPin(CBaseFilter* filter, const char* name);

  HRESULT QueryInterface(REFIID iid, void** object) override;
  ULONG AddRef() override { return CBasePin::AddRef(); }
  ULONG Release() override { return CBasePin::Release(); }

  // IMemInputPin
  HRESULT GetAllocator(IMemAllocator** allocator) override;
  HRESULT NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
  HRESULT GetAllocatorRequirements(ALLOCATOR_PROPERTIES*) override { return E_NOTIMPL; }
  // The base check of every receive: S_OK to go on; VFW_E_NOT_CONNECTED,
  // VFW_E_WRONG_STATE when stopped, S_FALSE while flushing, E_POINTER.
  HRESULT Receive(IMediaSample* sample) override;
  HRESULT ReceiveCanBlock() override { return S_OK; }

  // A renderer's input raises EC_COMPLETE at the end of its stream.
  HRESULT EndOfStream() override;
  HRESULT BeginFlush() override;
  HRESULT EndFlush() override;

  HRESULT BreakConnect() override;
  bool isFlushing() const { return flushing_.load(std::memory_order_acquire); }
  IMemAllocator* allocator() const { return allocator_.get(); }
  bool readOnly() const { return readOnly_; }

 protected:
  ComPtr<IMemAllocator> allocator_;
  bool readOnly_ = false;
  std::atomic<bool> flushing_{false};
};

class CBaseOutputPin : public CBasePin {
 public:
  CBaseOutputPin(CBaseFilter* filter, const char* name);

  // Sizes the buffers on allocator (the request holds the input pin's
  // wishes, zeros when it has none).
  virtual HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) = 0;
  virtual HRESULT DecideAllocator(IMemInputPin* input, IMemAllocator** allocator);

  HRESULT CompleteConnect(IPin* receivePin) override;
  HRESULT BreakConnect() override;
  HRESULT Active() override;
  HRESULT Inactive() override;

  // Streaming thread: a sample to fill (waits for one; fails once stopping).
  HRESULT GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop, DWORD flags);
  HRESULT Deliver(IMediaSample* sample);
  HRESULT DeliverEndOfStream();
  HRESULT DeliverBeginFlush();
  HRESULT DeliverEndFlush();
  HRESULT DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);
  IMemAllocator* allocator() const { return allocator_.get(); }

 protected:
  ComPtr<IMemInputPin> input_;
  ComPtr<IMemAllocator> allocator_;
};

}  // namespace lessonry::media
