// ComObject: the IUnknown implementation of an object, and the count of live
// objects and server locks of the library it is built into.
//
//   class CFoo : public lessonry::com::ComObject<IFoo, IBar> { ... };
//   CFoo* foo = new CFoo;                  // reference count 1, owned by the caller
//   foo->QueryInterface(IID_IBar, &pv);    // IUnknown, IFoo, IBar (and queryOther)
//   foo->Release();                        // destroys at 0
//
// The count starts at 1 (the creator's reference). AddRef and Release are
// atomic and may be called from any thread. An object that exposes further
// interfaces (a configuration sub-object that delegates its IUnknown to the
// object) overrides queryOther.
//
// Every ComObject counts in the live objects of the library that contains its
// code (this static library is linked into each server library separately,
// so each has its own count); DllCanUnloadNow answers from that count and
// from LockServer's locks.
#pragma once

#include <atomic>
#include <type_traits>

#include "com/unknown.h"

namespace lessonry::com {

// Live ComObjects and server locks of this library. Any thread.
void moduleObjectAdded();
void moduleObjectRemoved();
void moduleLock();
void moduleUnlock();
long moduleObjectCount();
long moduleLockCount();
// True when neither objects nor locks remain.
bool moduleCanUnload();

template <typename First, typename... Rest>
class ComObject : public First, public Rest... {
  static_assert((std::is_base_of_v<IUnknown, First> && ... && std::is_base_of_v<IUnknown, Rest>),
                "ComObject implements interfaces derived from IUnknown");

 public:
  ComObject() { moduleObjectAdded(); }
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

  HRESULT QueryInterface(REFIID iid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (iid == IID_IUnknown) {
      *ppv = static_cast<IUnknown*>(static_cast<First*>(this));
    } else if (!findInterface<First, Rest...>(iid, ppv)) {
      return queryOther(iid, ppv);
    }
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
  ULONG Release() override {
    const ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
  }

  // The object's identity (its IUnknown), not AddRef'ed.
  IUnknown* identity() { return static_cast<IUnknown*>(static_cast<First*>(this)); }

 protected:
  virtual ~ComObject() { moduleObjectRemoved(); }

  // Further interfaces: put an AddRef'ed pointer into *ppv and return S_OK,
  // or leave *ppv null and return E_NOINTERFACE. *ppv is null on entry.
  virtual HRESULT queryOther(REFIID /*iid*/, void** /*ppv*/) { return E_NOINTERFACE; }

 private:
  template <typename I, typename... More>
  bool findInterface(REFIID iid, void** ppv) {
    if (matchWithBases(iid, static_cast<I*>(this), ppv)) return true;
    if constexpr (sizeof...(More) > 0) return findInterface<More...>(iid, ppv);
    return false;
  }

  // I's own IID, then those of the bases named with LESSONRY_INTERFACE_IID_BASE.
  template <typename I>
  static bool matchWithBases(REFIID iid, I* p, void** ppv) {
    if (iid == iidOf<I>()) {
      *ppv = p;
      return true;
    }
    if constexpr (requires { typename InterfaceTraits<I>::Base; })
      return matchWithBases(iid, static_cast<typename InterfaceTraits<I>::Base*>(p), ppv);
    return false;
  }

  std::atomic<ULONG> refs_{1};
};

}  // namespace lessonry::com
