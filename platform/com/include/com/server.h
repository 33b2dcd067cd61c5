// An in-process server library: its table of classes, their class factories,
// self-registration, and the four exported entry points.
//
// A server library lists its classes once and lets LESSONRY_COM_SERVER write
// the exports:
//
//   HRESULT createFoo(REFIID iid, void** ppv) {            // any thread
//     return lessonry::com::createObject<CFoo>(iid, ppv);
//   }
//   const lessonry::com::ClassEntry kClasses[] = {
//     {CLSID_Foo, "Ox Foo", "Both", createFoo},
//   };
//   const lessonry::com::ServerDefinition kServer = {kClasses, std::size(kClasses)};
//   LESSONRY_COM_SERVER(kServer)                         // at global scope, in one .cpp
//
// which defines, extern "C" and exported:
//   HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** ppv);
//   HRESULT DllCanUnloadNow();          // S_OK when no object and no lock is left, else S_FALSE
//   HRESULT DllRegisterServer();        // writes the class keys; SELFREG_E_CLASS on failure
//   HRESULT DllUnregisterServer();      // removes them (S_OK when they were not there)
//
// Registration writes, per class, into the registry (base/registry.h):
//   CLSID\{clsid}                 @ = the class name
//   CLSID\{clsid}\InprocServer32  @ = the library's absolute path, ThreadingModel = the model
//   and, with a ProgID: CLSID\{clsid}\ProgID @ = progId, and progId\CLSID @ = {clsid}
// then calls registerExtra (filter or type-library entries) when given;
// unregistering calls unregisterExtra first, then deletes those keys.
// Nothing throws out of these functions.
#pragma once

#include <cstddef>
#include <new>
#include <string>
#include <utility>

#include "base/export.h"
#include "com/com_object.h"
#include "com/unknown.h"

namespace lessonry::com {

// Creates one object of the class and QueryInterfaces it for iid; *ppv null
// and an error code on failure. Called on any thread; must not throw.
using CreateFunction = HRESULT (*)(REFIID iid, void** ppv);

struct ClassEntry {
  CLSID clsid;
  const char* name;            // default value of the class key
  const char* threadingModel;  // "Both", "Apartment", "Free"
  CreateFunction create;
  const char* progId = nullptr;  // optional
};

struct ServerDefinition {
  const ClassEntry* classes;
  size_t count;
  // Optional; libraryPath is the server's absolute path. A failure result
  // fails DllRegisterServer (the class keys stay written).
  HRESULT (*registerExtra)(const std::string& libraryPath) = nullptr;
  HRESULT (*unregisterExtra)() = nullptr;
};

// new T(args...), QueryInterface for iid, drop the creator's reference. T
// derives from ComObject. E_OUTOFMEMORY when the object cannot be made; any
// other exception of T's constructor is turned into E_FAIL.
template <typename T, typename... Args>
HRESULT createObject(REFIID iid, void** ppv, Args&&... args) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  T* object = nullptr;
  try {
    object = new T(std::forward<Args>(args)...);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
  const HRESULT hr = object->QueryInterface(iid, ppv);
  object->Release();
  return hr;
}

// The absolute path of the loaded library (or program) containing address;
// empty when unknown.
std::string modulePathOf(const void* address);

// The bodies of the four exports. anchor is any address inside the server
// library (its path is registered).
HRESULT serverGetClassObject(const ServerDefinition& server, REFCLSID clsid, REFIID iid, void** ppv);
HRESULT serverCanUnloadNow();
HRESULT serverRegister(const ServerDefinition& server, const void* anchor);
HRESULT serverUnregister(const ServerDefinition& server);

// Registry key of a class: "CLSID\{...}".
std::string classKey(REFCLSID clsid);

}  // namespace lessonry::com

// The exported signatures, for callers that look them up with dlsym.
using DllGetClassObjectFunction = HRESULT (*)(REFCLSID, REFIID, void**);
using DllCanUnloadNowFunction = HRESULT (*)();
using DllRegisterServerFunction = HRESULT (*)();
using DllUnregisterServerFunction = HRESULT (*)();

#define LESSONRY_COM_SERVER(serverDefinition)                                                      \
  extern "C" LESSONRY_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** ppv) {   \
    return ::lessonry::com::serverGetClassObject(serverDefinition, clsid, iid, ppv);               \
  }                                                                                                \
  extern "C" LESSONRY_EXPORT HRESULT DllCanUnloadNow() { return ::lessonry::com::serverCanUnloadNow(); } \
  extern "C" LESSONRY_EXPORT HRESULT DllRegisterServer() {                                         \
    return ::lessonry::com::serverRegister(serverDefinition,                                       \
                                           reinterpret_cast<const void*>(&DllCanUnloadNow));       \
  }                                                                                                \
  extern "C" LESSONRY_EXPORT HRESULT DllUnregisterServer() {                                       \
    return ::lessonry::com::serverUnregister(serverDefinition);                                    \
  }
