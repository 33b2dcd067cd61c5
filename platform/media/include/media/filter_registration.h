// Registration of a media-graph filter in the registry, beside its class key,
// as a server library's DllRegisterServer does it: the key
// "CLSID\{media filter category}\Instance\{clsid}" with the values
// "FriendlyName", "CLSID" and "Merit" (dword). A merit of MERIT_DO_NOT_USE
// keeps the filter out of automatic graph building; no pin entries are
// written. Any thread.
#pragma once

#include "media/interfaces.h"

namespace lessonry::media {

constexpr CLSID CLSID_MediaFilterCategory = lessonry::com::makeGuid("{3D1A6B52-8E0B-4B64-9C52-2C8E5B0D7A11}");

// The registry key of a filter's registration.
std::string filterRegistrationKey(REFCLSID clsid);
HRESULT registerMediaFilter(REFCLSID clsid, const char* friendlyName, uint32_t merit);
// S_OK also when nothing was registered.
HRESULT unregisterMediaFilter(REFCLSID clsid);

}  // namespace lessonry::media
