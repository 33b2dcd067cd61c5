// Creating objects by class id: the client half of the component model.
//
// CoCreateInstance looks the class up in the registry (base/registry.h:
// "CLSID\{...}\InprocServer32", default value = the server library's path),
// loads that library once per process, asks its DllGetClassObject for the
// class factory and the factory for the object. A loaded server library
// stays loaded; CoFreeUnusedLibraries unloads those whose DllCanUnloadNow
// answers S_OK (no live object, no server lock), so a library is never
// unloaded under an object it made.
//
// Failures (nothing is thrown; *ppv is null):
//   REGDB_E_CLASSNOTREG  no class key, or no library path in it
//   CO_E_DLLNOTFOUND     the library cannot be loaded (missing file, bad file)
//   CO_E_ERRORINDLL      the library does not export DllGetClassObject
//   CLASS_E_CLASSNOTAVAILABLE  the library does not serve the class
//   CLASS_E_NOAGGREGATION      outer is not null
//   E_NOINTERFACE        the object does not implement iid
//   E_POINTER            ppv is null
//
// All functions may be called from any thread; the table of loaded libraries
// is guarded by one process-wide mutex, held while a library is loaded, its
// DllGetClassObject or DllCanUnloadNow runs. Lock order: that mutex, then the
// registry's.
#pragma once

#include <string>
#include <vector>

#include "base/win_types.h"
#include "com/unknown.h"

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD classContext, REFIID iid, void** ppv);
HRESULT CoGetClassObject(REFCLSID clsid, DWORD classContext, void* reserved, REFIID iid, void** ppv);
// The short form: no aggregation, in-process.
HRESULT CoCreateInstance(REFCLSID clsid, REFIID iid, void** ppv);
void CoFreeUnusedLibraries();

namespace lessonry::com {

// Paths of the server libraries this process has loaded and not yet freed.
std::vector<std::string> loadedServerLibraries();

}  // namespace lessonry::com
