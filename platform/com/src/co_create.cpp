// The client half: finding, loading and freeing server libraries.
//
// Lock order: librariesMutex, then the registry's own locks.
#include "com/co_create.h"

#include <memory>
#include <mutex>

#include "base/module.h"
#include "base/registry.h"
#include "base/trace.h"
#include "com/com_ptr.h"
#include "com/server.h"

namespace lessonry::com {
namespace {

struct ServerLibrary {
  std::string path;
  Module module;
  DllGetClassObjectFunction getClassObject = nullptr;
  DllCanUnloadNowFunction canUnloadNow = nullptr;  // null: never unloaded
};

// Recursive: a server's DllGetClassObject may itself create objects of another server.
std::recursive_mutex librariesMutex;
std::vector<std::unique_ptr<ServerLibrary>>& libraries() {
  static auto* table = new std::vector<std::unique_ptr<ServerLibrary>>;  // lives to process exit
  return *table;
}

// The loaded library for path, loading it when needed. Caller holds librariesMutex.
HRESULT serverLibrary(const std::string& path, ServerLibrary*& out) {
  for (auto& library : libraries()) {
    if (library->path == path) {
      out = library.get();
      return S_OK;
    }
  }
  auto library = std::make_unique<ServerLibrary>();
  library->path = path;
  if (!library->module.load(path)) {
    trace("com: cannot load the server library %s: %s", path.c_str(), library->module.error().c_str());
    return CO_E_DLLNOTFOUND;
  }
  library->getClassObject = library->module.function<DllGetClassObjectFunction>("DllGetClassObject");
  if (!library->getClassObject) {
    trace("com: %s does not export DllGetClassObject", path.c_str());
    return CO_E_ERRORINDLL;  // the library is unloaded again with library
  }
  library->canUnloadNow = library->module.function<DllCanUnloadNowFunction>("DllCanUnloadNow");
  out = library.get();
  libraries().push_back(std::move(library));
  return S_OK;
}

}  // namespace

std::vector<std::string> loadedServerLibraries() {
  std::lock_guard guard(librariesMutex);
  std::vector<std::string> paths;
  for (const auto& library : libraries()) paths.push_back(library->path);
  return paths;
}

}  // namespace lessonry::com

HRESULT CoGetClassObject(REFCLSID clsid, DWORD classContext, void* /*reserved*/, REFIID iid, void** ppv) {
  using namespace lessonry;
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (!(classContext & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG;  // only in-process servers exist
  try {
    const auto path = Registry().getString(com::classKey(clsid) + "\\InprocServer32", "");
    if (!path || path->empty()) return REGDB_E_CLASSNOTREG;
    std::lock_guard guard(com::librariesMutex);
    com::ServerLibrary* library = nullptr;
    if (const HRESULT hr = com::serverLibrary(*path, library); FAILED(hr)) return hr;
    const HRESULT hr = library->getClassObject(clsid, iid, ppv);
    if (FAILED(hr)) *ppv = nullptr;
    return hr;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD classContext, REFIID iid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  lessonry::ComPtr<IClassFactory> factory;
  const HRESULT hr = CoGetClassObject(clsid, classContext, nullptr, IID_IClassFactory, factory.putVoid());
  if (FAILED(hr)) return hr;
  if (!factory) return E_UNEXPECTED;
  // The factory is a live object of the library, so the library stays loaded meanwhile.
  const HRESULT created = factory->CreateInstance(nullptr, iid, ppv);
  if (FAILED(created)) *ppv = nullptr;
  return created;
}

HRESULT CoCreateInstance(REFCLSID clsid, REFIID iid, void** ppv) {
  return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, ppv);
}

void CoFreeUnusedLibraries() {
  using namespace lessonry::com;
  std::lock_guard guard(librariesMutex);
  auto& table = libraries();
  std::erase_if(table, [](const std::unique_ptr<ServerLibrary>& library) {
    return library->canUnloadNow && library->canUnloadNow() == S_OK;
  });
}
