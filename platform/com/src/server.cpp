// The server half: class factories over a class table, and self-registration.
#include "com/server.h"

#include <dlfcn.h>

#include <cstdlib>

#include "base/registry.h"
#include "base/trace.h"

namespace lessonry::com {
namespace {

// The factory of one class of the table; lives as long as its references.
class ClassFactory final : public ComObject<IClassFactory> {
 public:
  explicit ClassFactory(const ClassEntry& entry) : entry_(entry) {}

  HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    if (!entry_.create) return E_FAIL;
    try {
      return entry_.create(iid, ppv);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    } catch (...) {
      return E_FAIL;
    }
  }

  HRESULT LockServer(BOOL lock) override {
    if (lock)
      moduleLock();
    else
      moduleUnlock();
    return S_OK;
  }

 private:
  const ClassEntry& entry_;
};

}  // namespace

std::string classKey(REFCLSID clsid) { return "CLSID\\" + guidToString(clsid); }

std::string modulePathOf(const void* address) {
  Dl_info info{};
  if (!address || dladdr(address, &info) == 0 || !info.dli_fname || !*info.dli_fname) return {};
  char resolved[4096];
  if (!realpath(info.dli_fname, resolved)) return {};
  return resolved;
}

HRESULT serverGetClassObject(const ServerDefinition& server, REFCLSID clsid, REFIID iid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  for (size_t i = 0; i < server.count; ++i) {
    if (server.classes[i].clsid != clsid) continue;
    return createObject<ClassFactory>(iid, ppv, server.classes[i]);
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT serverCanUnloadNow() { return moduleCanUnload() ? S_OK : S_FALSE; }

HRESULT serverRegister(const ServerDefinition& server, const void* anchor) {
  try {
    const std::string path = modulePathOf(anchor);
    if (path.empty()) {
      trace("com: cannot tell the path of the server library to register");
      return SELFREG_E_CLASS;
    }
    Registry registry;
    const bool written = registry.update([&](RegistryTree& tree) {
      for (size_t i = 0; i < server.count; ++i) {
        const ClassEntry& entry = server.classes[i];
        const std::string key = classKey(entry.clsid);
        bool ok = tree.setString(key, "", entry.name ? entry.name : "") &&
                  tree.setString(key + "\\InprocServer32", "", path) &&
                  tree.setString(key + "\\InprocServer32", "ThreadingModel",
                                 entry.threadingModel ? entry.threadingModel : "Apartment");
        if (ok && entry.progId && *entry.progId)
          ok = tree.setString(key + "\\ProgID", "", entry.progId) &&
               tree.setString(std::string(entry.progId) + "\\CLSID", "", guidToString(entry.clsid));
        if (!ok) return false;
      }
      return true;
    });
    if (!written) {
      trace("com: cannot write the class keys of %s into %s", path.c_str(), registry.filePath().c_str());
      return SELFREG_E_CLASS;
    }
    if (server.registerExtra) {
      const HRESULT hr = server.registerExtra(path);
      if (FAILED(hr)) return hr;
    }
    return S_OK;
  } catch (...) {
    return SELFREG_E_CLASS;
  }
}

HRESULT serverUnregister(const ServerDefinition& server) {
  try {
    const HRESULT extra = server.unregisterExtra ? server.unregisterExtra() : S_OK;
    const bool written = Registry().update([&](RegistryTree& tree) {
      for (size_t i = 0; i < server.count; ++i) {
        const ClassEntry& entry = server.classes[i];
        tree.deleteTree(classKey(entry.clsid));
        if (entry.progId && *entry.progId) tree.deleteTree(entry.progId);
      }
      return true;
    });
    if (!written) return SELFREG_E_CLASS;
    return extra;
  } catch (...) {
    return SELFREG_E_CLASS;
  }
}

}  // namespace lessonry::com
