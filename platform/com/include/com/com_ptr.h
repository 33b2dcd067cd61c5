// ComPtr: the owner of one reference to an interface.
//
// Copying AddRefs, destruction and reset Release, moving transfers the
// reference. put() hands out the address for functions that return an
// AddRef'ed pointer through a T** / void** (CoCreateInstance, QueryInterface);
// attach() adopts such a reference, detach() gives it up. A ComPtr is as
// thread-safe as an ordinary pointer variable: one owner at a time.
#pragma once

#include <utility>

#include "com/unknown.h"

namespace lessonry {

template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  // Takes a new reference to p (AddRef).
  explicit ComPtr(T* p) : p_(p) {
    if (p_) p_->AddRef();
  }
  ComPtr(const ComPtr& other) : p_(other.p_) {
    if (p_) p_->AddRef();
  }
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ~ComPtr() { reset(); }

  ComPtr& operator=(const ComPtr& other) {
    // AddRef before Release, and read other.p_ before touching p_: safe for self-assignment.
    T* const incoming = other.p_;
    if (incoming) incoming->AddRef();
    if (T* old = std::exchange(p_, incoming)) old->Release();
    return *this;
  }
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      reset();
      p_ = std::exchange(other.p_, nullptr);
    }
    return *this;
  }
  ComPtr& operator=(std::nullptr_t) {
    reset();
    return *this;
  }

  // Adopts a reference the caller already owns (no AddRef).
  static ComPtr adopt(T* p) {
    ComPtr owner;
    owner.p_ = p;
    return owner;
  }
  void attach(T* p) {
    reset();
    p_ = p;
  }
  // Gives the reference to the caller, who must Release it.
  T* detach() { return std::exchange(p_, nullptr); }
  void reset() {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  T& operator*() const { return *p_; }
  explicit operator bool() const { return p_ != nullptr; }

  // Releases what is held and returns the slot for an out parameter.
  T** put() {
    reset();
    return &p_;
  }
  void** putVoid() { return reinterpret_cast<void**>(put()); }

  // QueryInterface for U (its IID from LESSONRY_INTERFACE_IID).
  template <typename U>
  HRESULT as(ComPtr<U>& out) const {
    if (!p_) {
      out.reset();
      return E_POINTER;
    }
    return p_->QueryInterface(com::iidOf<U>(), out.putVoid());
  }
  template <typename U>
  ComPtr<U> as() const {
    ComPtr<U> out;
    as(out);
    return out;
  }

  friend bool operator==(const ComPtr& a, const ComPtr& b) { return a.p_ == b.p_; }
  friend bool operator==(const ComPtr& a, std::nullptr_t) { return a.p_ == nullptr; }

 private:
  T* p_ = nullptr;
};

}  // namespace lessonry
