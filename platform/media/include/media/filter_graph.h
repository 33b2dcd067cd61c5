// Creation of the graph layer's own objects: the filter graph, the capture
// graph builder, the null renderer, the infinite pin tee, the converters.
//
// The filter graph (CLSID_FilterGraph) answers IGraphBuilder (IFilterGraph),
// IMediaControl, IMediaEventEx (IMediaEvent), IMediaEventSink and
// IMediaSeeking:
//  - filters join under unique names and are kept in the order added;
//  - Connect tries the two pins directly, then through one converter (video
//    pictures, PCM sound) that it adds to the graph;
//  - Run pauses first when stopped; Pause and Run reach the renderers
//    before their upstream filters, Stop reaches the sources first (so their
//    streaming threads end before anything downstream stops);
//  - the event queue holds EC_COMPLETE once every renderer of the running
//    graph reached its stream's end, and every other event a filter raises;
//    each queued event posts the notify window's message;
//  - seeking (media time only) goes to every filter that can seek.
// Releasing the graph stops it, disconnects and releases every filter.
//
// Lock order: the graph lock (building, state changes), then the filters'
// locks; the event queue's lock and the notify lock are leaves, taken by
// streaming threads without the graph lock.
#pragma once

#include "media/interfaces.h"

namespace lessonry::media {

// Creates one object of the graph layer's classes (CLSID_FilterGraph,
// CLSID_CaptureGraphBuilder2, CLSID_NullRenderer, CLSID_InfTee,
// CLSID_VideoConverter, CLSID_AudioConverter) and returns its interface iid.
// REGDB_E_CLASSNOTREG for another class. Any thread.
HRESULT createMediaObject(REFCLSID clsid, REFIID iid, void** ppv);

}  // namespace lessonry::media
