// The Pinworks server library: its class table, class factories and
// registration. Each class is registered with its class key
// (InprocServer32, ThreadingModel "Both") and as a media filter of merit
// MERIT_DO_NOT_USE without pin entries, so that no graph picks these filters
// by itself; the capture control creates them by class id.
#include <iterator>

#include "com/server.h"
#include "filters/pinworks.h"
#include "media/filter_registration.h"
#include "ox_audio_render.h"
#include "ox_video_render.h"

namespace lessonry::filters {
namespace {

HRESULT createVideoRender(REFIID iid, void** ppv) { return com::createObject<COxVideoRender>(iid, ppv); }
HRESULT createAudioRender(REFIID iid, void** ppv) { return com::createObject<COxAudioRender>(iid, ppv); }

const com::ClassEntry kClasses[] = {
    {CLSID_OxVideoRender, kOxVideoRenderName, "Both", createVideoRender},
    {CLSID_OxAudioRender, kOxAudioRenderName, "Both", createAudioRender},
    // The remote receiver joins here with its class:
    // {CLSID_OxRemoteReceiver, kOxRemoteReceiverName, "Both", createRemoteReceiver},
};

HRESULT registerFilters(const std::string&) {
  for (const auto& entry : kClasses) {
    const HRESULT hr = media::registerMediaFilter(entry.clsid, entry.name, MERIT_DO_NOT_USE);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

HRESULT unregisterFilters() {
  HRESULT result = S_OK;
  for (const auto& entry : kClasses) {
    const HRESULT hr = media::unregisterMediaFilter(entry.clsid);
    if (FAILED(hr)) result = hr;
  }
  return result;
}

const com::ServerDefinition kServer = {kClasses, std::size(kClasses), registerFilters, unregisterFilters};

}  // namespace
}  // namespace lessonry::filters

LESSONRY_COM_SERVER(lessonry::filters::kServer)
