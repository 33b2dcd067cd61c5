// Interfaces of the media graph.
//
// A graph holds filters; filters expose pins; an output pin connects to an
// input pin under one media type and pushes media samples into it on a
// streaming thread. Samples come from an allocator that the two pins agree
// on. The filter graph changes the state of every filter (stopped, paused,
// running), queues events from the filters and forwards seeking to the
// filters that can seek. All interfaces are reference counted (IUnknown);
// methods that hand out an interface pointer have added a reference for the
// caller. Names are UTF-8 text.
//
// Threads: connection, state changes and graph building run on the thread
// that owns the graph (the host's); Receive, EndOfStream, NewSegment and the
// flushing calls run on streaming threads; events may be raised from any
// thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "media/com.h"
#include "media/media_guids.h"
#include "media/media_types.h"

// Results particular to the media graph.
#define VFW_S_NO_MORE_ITEMS ((HRESULT)0x00040103L)
#define VFW_S_DUPLICATE_NAME ((HRESULT)0x0004022DL)
#define VFW_S_STATE_INTERMEDIATE ((HRESULT)0x00040237L)
#define VFW_E_INVALIDMEDIATYPE ((HRESULT)0x80040200L)
#define VFW_E_ALREADY_CONNECTED ((HRESULT)0x80040204L)
#define VFW_E_NO_ACCEPTABLE_TYPES ((HRESULT)0x80040207L)
#define VFW_E_INVALID_DIRECTION ((HRESULT)0x80040208L)
#define VFW_E_NOT_CONNECTED ((HRESULT)0x80040209L)
#define VFW_E_NO_ALLOCATOR ((HRESULT)0x8004020AL)
#define VFW_E_BUFFER_OVERFLOW ((HRESULT)0x8004020DL)
#define VFW_E_BADALIGN ((HRESULT)0x8004020EL)
#define VFW_E_NOT_COMMITTED ((HRESULT)0x80040211L)
#define VFW_E_SIZENOTSET ((HRESULT)0x80040212L)
#define VFW_E_NOT_FOUND ((HRESULT)0x80040216L)
#define VFW_E_CANNOT_CONNECT ((HRESULT)0x80040217L)
#define VFW_E_CANNOT_RENDER ((HRESULT)0x80040218L)
#define VFW_E_NOT_STOPPED ((HRESULT)0x80040224L)
#define VFW_E_WRONG_STATE ((HRESULT)0x80040227L)
#define VFW_E_TYPE_NOT_ACCEPTED ((HRESULT)0x8004022AL)
#define VFW_E_SAMPLE_TIME_NOT_SET ((HRESULT)0x80040249L)
#define VFW_E_NOT_IN_GRAPH ((HRESULT)0x8004025FL)

// Event codes of the graph's event queue.
#define EC_COMPLETE 0x01       // every renderer of the graph reached its stream's end
#define EC_USERABORT 0x02
#define EC_ERRORABORT 0x03     // a streaming thread stopped on a failure; param1 the HRESULT
#define EC_DEVICE_LOST 0x1F    // param1 the filter (IUnknown*), param2 0 removed / 1 back

// Merit of a filter's registration; DO_NOT_USE keeps a filter out of
// automatic graph building.
#define MERIT_DO_NOT_USE 0x200000u

enum FILTER_STATE : int32_t { State_Stopped = 0, State_Paused = 1, State_Running = 2 };
enum PIN_DIRECTION : int32_t { PINDIR_INPUT = 0, PINDIR_OUTPUT = 1 };

struct ALLOCATOR_PROPERTIES {
  int32_t cBuffers;  // number of samples
  int32_t cbBuffer;  // bytes of each sample
  int32_t cbAlign;   // alignment of each buffer, a power of two
  int32_t cbPrefix;  // bytes reserved before each buffer
};

struct IBaseFilter;
struct IFilterGraph;

struct PIN_INFO {
  IBaseFilter* pFilter;  // a reference the caller releases
  PIN_DIRECTION dir;
  char achName[128];
};

struct FILTER_INFO {
  char achName[128];
  IFilterGraph* pGraph;  // a reference the caller releases; null outside a graph
};

// One block of media: a buffer, its valid length, times and flags.
struct IMediaSample : IUnknown {
  virtual HRESULT GetPointer(BYTE** buffer) = 0;
  virtual int32_t GetSize() = 0;  // capacity in bytes
  // Start and stop in 100 ns units; VFW_E_SAMPLE_TIME_NOT_SET when unstamped.
  virtual HRESULT GetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) = 0;
  virtual HRESULT SetTime(const REFERENCE_TIME* start, const REFERENCE_TIME* stop) = 0;  // null start clears
  virtual HRESULT IsSyncPoint() = 0;      // S_OK or S_FALSE
  virtual HRESULT SetSyncPoint(BOOL value) = 0;
  virtual HRESULT IsPreroll() = 0;
  virtual HRESULT SetPreroll(BOOL value) = 0;
  virtual HRESULT IsDiscontinuity() = 0;
  virtual HRESULT SetDiscontinuity(BOOL value) = 0;
  virtual int32_t GetActualDataLength() = 0;
  virtual HRESULT SetActualDataLength(int32_t length) = 0;  // VFW_E_BUFFER_OVERFLOW beyond capacity
};
LESSONRY_INTERFACE_IID(IMediaSample, IID_IMediaSample)

// A pool of samples. GetBuffer waits for a free sample while committed and
// fails with VFW_E_NOT_COMMITTED once decommitted, which ends streaming.
struct IMemAllocator : IUnknown {
  virtual HRESULT SetProperties(const ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) = 0;
  virtual HRESULT GetProperties(ALLOCATOR_PROPERTIES* properties) = 0;
  virtual HRESULT Commit() = 0;
  virtual HRESULT Decommit() = 0;
  virtual HRESULT GetBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop, DWORD flags) = 0;
  virtual HRESULT ReleaseBuffer(IMediaSample* sample) = 0;
};
LESSONRY_INTERFACE_IID(IMemAllocator, IID_IMemAllocator)

struct IPin : IUnknown {
  // Output pins: connect to receivePin, under mt when given (a partial type
  // narrows the candidates).
  virtual HRESULT Connect(IPin* receivePin, const AM_MEDIA_TYPE* mt) = 0;
  // Input pins: accept or refuse a connection offered by connector.
  virtual HRESULT ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* mt) = 0;
  virtual HRESULT Disconnect() = 0;  // S_FALSE when not connected
  virtual HRESULT ConnectedTo(IPin** pin) = 0;
  virtual HRESULT ConnectionMediaType(AM_MEDIA_TYPE* mt) = 0;  // caller frees with FreeMediaType
  virtual HRESULT QueryPinInfo(PIN_INFO* info) = 0;
  virtual HRESULT QueryDirection(PIN_DIRECTION* direction) = 0;
  virtual HRESULT QueryId(std::string* id) = 0;
  virtual HRESULT QueryAccept(const AM_MEDIA_TYPE* mt) = 0;  // S_OK or S_FALSE
  // The types this pin prefers, best first (empty for pins that propose none).
  virtual HRESULT EnumMediaTypes(std::vector<lessonry::media::CMediaType>* types) = 0;
  virtual HRESULT EndOfStream() = 0;
  virtual HRESULT BeginFlush() = 0;
  virtual HRESULT EndFlush() = 0;
  virtual HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) = 0;
};
LESSONRY_INTERFACE_IID(IPin, IID_IPin)

// The receiving side of an input pin.
struct IMemInputPin : IUnknown {
  virtual HRESULT GetAllocator(IMemAllocator** allocator) = 0;
  virtual HRESULT NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) = 0;
  virtual HRESULT GetAllocatorRequirements(ALLOCATOR_PROPERTIES* properties) = 0;  // E_NOTIMPL: none
  virtual HRESULT Receive(IMediaSample* sample) = 0;
  virtual HRESULT ReceiveCanBlock() = 0;
};
LESSONRY_INTERFACE_IID(IMemInputPin, IID_IMemInputPin)

struct IBaseFilter : IUnknown {
  virtual HRESULT GetClassID(CLSID* clsid) = 0;
  virtual HRESULT Stop() = 0;
  virtual HRESULT Pause() = 0;
  virtual HRESULT Run(REFERENCE_TIME start) = 0;
  virtual HRESULT GetState(uint32_t timeoutMs, FILTER_STATE* state) = 0;
  // The pins in their fixed order (references).
  virtual HRESULT EnumPins(std::vector<lessonry::ComPtr<IPin>>* pins) = 0;
  virtual HRESULT FindPin(const char* id, IPin** pin) = 0;
  virtual HRESULT QueryFilterInfo(FILTER_INFO* info) = 0;
  // Called by the graph when the filter joins (graph, name) or leaves (null,
  // null) it. The filter keeps no reference on the graph.
  virtual HRESULT JoinFilterGraph(IFilterGraph* graph, const char* name) = 0;
};
LESSONRY_INTERFACE_IID(IBaseFilter, IID_IBaseFilter)

struct IFilterGraph : IUnknown {
  // Adds filter under name, made unique with a " 0001" style suffix when
  // taken (then VFW_S_DUPLICATE_NAME); the graph holds a reference. Only
  // while the graph is stopped.
  virtual HRESULT AddFilter(IBaseFilter* filter, const char* name) = 0;
  virtual HRESULT RemoveFilter(IBaseFilter* filter) = 0;  // disconnects its pins first
  virtual HRESULT EnumFilters(std::vector<lessonry::ComPtr<IBaseFilter>>* filters) = 0;  // in order added
  virtual HRESULT FindFilterByName(const char* name, IBaseFilter** filter) = 0;
  // Connects exactly these two pins (no converters); mt may be null.
  virtual HRESULT ConnectDirect(IPin* out, IPin* in, const AM_MEDIA_TYPE* mt) = 0;
  virtual HRESULT Disconnect(IPin* pin) = 0;  // this side only, as the pin's own Disconnect
};
LESSONRY_INTERFACE_IID(IFilterGraph, IID_IFilterGraph)

struct IGraphBuilder : IFilterGraph {
  // Connects out to in, inserting a converter of the graph's list when the
  // two pins share no media type.
  virtual HRESULT Connect(IPin* out, IPin* in) = 0;
  // Builds the rest of the graph from out with the default renderers, or the
  // default playback graph of a file. Both need the file-rendering layer;
  // without it they fail with VFW_E_CANNOT_RENDER.
  virtual HRESULT Render(IPin* out) = 0;
  virtual HRESULT RenderFile(const char* path, const char* playList) = 0;
};
LESSONRY_INTERFACE_IID_BASE(IGraphBuilder, IID_IGraphBuilder, IFilterGraph)

struct IMediaControl : IUnknown {
  virtual HRESULT Run() = 0;
  virtual HRESULT Pause() = 0;
  virtual HRESULT Stop() = 0;
  virtual HRESULT GetState(int32_t timeoutMs, FILTER_STATE* state) = 0;
};
LESSONRY_INTERFACE_IID(IMediaControl, IID_IMediaControl)

struct IMediaEvent : IUnknown {
  // Takes the oldest event, waiting up to timeoutMs (0: none, -1: forever);
  // E_ABORT when none came. Parameters are pointer-sized.
  virtual HRESULT GetEvent(int32_t* code, intptr_t* param1, intptr_t* param2, int32_t timeoutMs) = 0;
  virtual HRESULT FreeEventParams(int32_t code, intptr_t param1, intptr_t param2) = 0;
};
LESSONRY_INTERFACE_IID(IMediaEvent, IID_IMediaEvent)

struct IMediaEventEx : IMediaEvent {
  // Posts message (wParam 0, lParam instance) to window whenever an event is
  // queued; window 0 stops the posting. Posting goes through the window
  // posting seam (window_post.h). Any thread.
  virtual HRESULT SetNotifyWindow(intptr_t window, uint32_t message, intptr_t instance) = 0;
};
LESSONRY_INTERFACE_IID_BASE(IMediaEventEx, IID_IMediaEventEx, IMediaEvent)

// What filters call to raise an event; the graph implements it.
struct IMediaEventSink : IUnknown {
  virtual HRESULT Notify(int32_t code, intptr_t param1, intptr_t param2) = 0;
};
LESSONRY_INTERFACE_IID(IMediaEventSink, IID_IMediaEventSink)

#define AM_SEEKING_NoPositioning 0x0u
#define AM_SEEKING_AbsolutePositioning 0x1u
#define AM_SEEKING_RelativePositioning 0x2u
#define AM_SEEKING_IncrementalPositioning 0x3u
#define AM_SEEKING_PositioningBitsMask 0x3u

// Seeking in media time (TIME_FORMAT_MEDIA_TIME, 100 ns units).
struct IMediaSeeking : IUnknown {
  virtual HRESULT IsFormatSupported(const GUID* format) = 0;
  virtual HRESULT SetTimeFormat(const GUID* format) = 0;
  virtual HRESULT GetTimeFormat(GUID* format) = 0;
  virtual HRESULT GetDuration(REFERENCE_TIME* duration) = 0;
  virtual HRESULT GetCurrentPosition(REFERENCE_TIME* position) = 0;
  virtual HRESULT SetPositions(REFERENCE_TIME* current, DWORD currentFlags, REFERENCE_TIME* stop,
                               DWORD stopFlags) = 0;
};
LESSONRY_INTERFACE_IID(IMediaSeeking, IID_IMediaSeeking)

struct ICaptureGraphBuilder2 : IUnknown {
  virtual HRESULT SetFiltergraph(IGraphBuilder* graph) = 0;
  virtual HRESULT GetFiltergraph(IGraphBuilder** graph) = 0;
  // Connects an output pin of source (a filter or a pin) of the category and
  // media type (either may be null: any) through intermediate (optional) to
  // sink, with converters where a connection needs them.
  virtual HRESULT RenderStream(const GUID* category, const GUID* type, IUnknown* source, IBaseFilter* intermediate,
                               IBaseFilter* sink) = 0;
  // Finds an interface on filter, on its pins of the category and type, or
  // on the filters downstream and upstream of them.
  virtual HRESULT FindInterface(const GUID* category, const GUID* type, IBaseFilter* filter, REFIID iid,
                                void** object) = 0;
  // The index-th pin of source in direction of the category and type,
  // unconnected only when asked.
  virtual HRESULT FindPin(IUnknown* source, PIN_DIRECTION direction, const GUID* category, const GUID* type,
                          BOOL unconnected, int32_t index, IPin** pin) = 0;
};
LESSONRY_INTERFACE_IID(ICaptureGraphBuilder2, IID_ICaptureGraphBuilder2)

// The category of a pin (PIN_CATEGORY_CAPTURE, ...); S_FALSE with GUID_NULL
// for a pin without one.
struct IPinCategory : IUnknown {
  virtual HRESULT GetCategory(GUID* category) = 0;
};
LESSONRY_INTERFACE_IID(IPinCategory, IID_IPinCategory)

// Capture format choice of a capture pin (devices).
struct VIDEO_STREAM_CONFIG_CAPS {
  GUID guid;
  uint32_t VideoStandard;
  int32_t InputSize[2];
  int32_t MinCroppingSize[2];
  int32_t MaxCroppingSize[2];
  int32_t CropGranularityX;
  int32_t CropGranularityY;
  int32_t CropAlignX;
  int32_t CropAlignY;
  int32_t MinOutputSize[2];  // cx, cy
  int32_t MaxOutputSize[2];
  int32_t OutputGranularityX;
  int32_t OutputGranularityY;
  int32_t StretchTapsX;
  int32_t StretchTapsY;
  int32_t ShrinkTapsX;
  int32_t ShrinkTapsY;
  int64_t MinFrameInterval;
  int64_t MaxFrameInterval;
  int32_t MinBitsPerSecond;
  int32_t MaxBitsPerSecond;
};
static_assert(sizeof(VIDEO_STREAM_CONFIG_CAPS) == 128, "one video stream configuration record");

struct IAMStreamConfig : IUnknown {
  virtual HRESULT SetFormat(const AM_MEDIA_TYPE* mt) = 0;
  virtual HRESULT GetFormat(AM_MEDIA_TYPE** mt) = 0;  // DeleteMediaType by the caller
  virtual HRESULT GetNumberOfCapabilities(int32_t* count, int32_t* size) = 0;
  virtual HRESULT GetStreamCaps(int32_t index, AM_MEDIA_TYPE** mt, BYTE* caps) = 0;
};
LESSONRY_INTERFACE_IID(IAMStreamConfig, IID_IAMStreamConfig)

struct IAMBufferNegotiation : IUnknown {
  // -1 in a field: no preference.
  virtual HRESULT SuggestAllocatorProperties(const ALLOCATOR_PROPERTIES* properties) = 0;
  virtual HRESULT GetAllocatorProperties(ALLOCATOR_PROPERTIES* properties) = 0;
};
LESSONRY_INTERFACE_IID(IAMBufferNegotiation, IID_IAMBufferNegotiation)
