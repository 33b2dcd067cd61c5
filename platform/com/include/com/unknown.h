// The base interfaces of the component model: IUnknown and IClassFactory, the
// result codes of object creation, and the link from an interface type to its
// IID (used by ComPtr and ComObject).
//
// An interface is an abstract struct deriving from IUnknown with pure virtual
// methods only. Every object counts its references: AddRef and Release may
// be called from any thread; the object is destroyed by the Release that
// drops the count to 0. QueryInterface hands out an AddRef'ed pointer or
// nulls *ppv and returns E_NOINTERFACE. Nothing throws across an interface.
//
// Declaring a new interface:
//   constexpr IID IID_IFoo = lessonry::com::makeGuid("{...}");
//   struct IFoo : IUnknown { virtual HRESULT Bar(int32_t x) = 0; };
//   LESSONRY_INTERFACE_IID(IFoo, IID_IFoo)       // at global scope
// An interface that derives from another one besides IUnknown names its base,
// so that objects implementing it also answer the base's IID:
//   struct IBaseFilter : IMediaFilter { ... };
//   LESSONRY_INTERFACE_IID_BASE(IBaseFilter, IID_IBaseFilter, IMediaFilter)
#pragma once

#include <cstdint>
#include <type_traits>

#include "base/win_types.h"
#include "com/guid.h"

typedef uint32_t ULONG;

// Result codes of the component model (the Windows values).
#define CLASS_E_NOAGGREGATION ((HRESULT)0x80040110L)
#define CLASS_E_CLASSNOTAVAILABLE ((HRESULT)0x80040111L)
#define REGDB_E_READREGDB ((HRESULT)0x80040150L)
#define REGDB_E_WRITEREGDB ((HRESULT)0x80040151L)
#define REGDB_E_CLASSNOTREG ((HRESULT)0x80040154L)
#define CO_E_DLLNOTFOUND ((HRESULT)0x800401F8L)
#define CO_E_ERRORINDLL ((HRESULT)0x800401F9L)
#define SELFREG_E_CLASS ((HRESULT)0x80040201L)

// Class contexts; only in-process servers exist here.
#define CLSCTX_INPROC_SERVER 0x1u
#define CLSCTX_INPROC_HANDLER 0x2u
#define CLSCTX_LOCAL_SERVER 0x4u
#define CLSCTX_ALL (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER)

constexpr IID IID_IUnknown = lessonry::com::makeGuid("{00000000-0000-0000-C000-000000000046}");
constexpr IID IID_IClassFactory = lessonry::com::makeGuid("{00000001-0000-0000-C000-000000000046}");

struct IUnknown {
  virtual HRESULT QueryInterface(REFIID iid, void** ppv) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;
};

struct IClassFactory : IUnknown {
  // Creates an uninitialised object of the factory's class and returns its
  // interface iid in *ppv (AddRef'ed). outer must be null (no aggregation:
  // CLASS_E_NOAGGREGATION otherwise).
  virtual HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** ppv) = 0;
  // TRUE keeps the server library loaded (DllCanUnloadNow answers S_FALSE)
  // until a matching FALSE.
  virtual HRESULT LockServer(BOOL lock) = 0;
};

namespace lessonry::com {

// The IID of an interface type; specialised by LESSONRY_INTERFACE_IID. An
// interface without one does not compile where its IID is needed (a derived
// interface never silently takes its base's id).
template <typename Interface>
struct InterfaceTraits;

template <typename Interface>
constexpr const IID& iidOf() {
  return InterfaceTraits<Interface>::iid;
}

}  // namespace lessonry::com

#define LESSONRY_INTERFACE_IID(Interface, iidConstant) \
  template <>                                          \
  struct lessonry::com::InterfaceTraits<Interface> {   \
    static constexpr const IID& iid = iidConstant;     \
  };

#define LESSONRY_INTERFACE_IID_BASE(Interface, iidConstant, BaseInterface)              \
  template <>                                                                           \
  struct lessonry::com::InterfaceTraits<Interface> {                                    \
    static_assert(std::is_base_of_v<BaseInterface, Interface>, "base of the interface"); \
    static constexpr const IID& iid = iidConstant;                                      \
    using Base = BaseInterface;                                                         \
  };

LESSONRY_INTERFACE_IID(IUnknown, IID_IUnknown)
LESSONRY_INTERFACE_IID(IClassFactory, IID_IClassFactory)
