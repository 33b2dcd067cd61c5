// CLibEffect: the run-time binding of the effects library (libOxEffect.so),
// loaded by file name from this library's own folder first.
//
// Threads: Bind and Unbind on the host's thread while no tick runs (the
// recorder calls them from SetCompositeMode and StopEncode under the frame
// lock); the entry points are called on the tick's thread.
#pragma once

#include <cstdint>
#include <string>

#include "base/module.h"
#include "ox_effect.h"

namespace lessonry::capture {

class CLibEffect {
 public:
  static constexpr const char* kLibraryName = "libOxEffect.so";

  using GetEffectFn = OxEffectHandle (*)();
  using FreeEffectFn = void (*)(OxEffectHandle);
  using SetComposeVideoSizeFn = void (*)(int32_t, int32_t, OxEffectHandle);
  using ComposeVideoFn = void (*)(intptr_t, const ComposeItem*, int32_t, int32_t, int32_t, BYTE*, OxEffectHandle);
  using ComposeVideoExFn = void (*)(intptr_t, const ComposeRectItem*, int32_t, BYTE*, OxEffectHandle);
  using SetVideoRendModeFn = void (*)(int32_t, OxEffectHandle);

  ~CLibEffect() { Unbind(); }

  // Loads the library (name: a file name looked up beside this library and
  // then the program folder, or a path) and creates one effect handle. False
  // when the library does not load (nothing stays bound) or when an entry
  // point is missing or no handle comes back (the library stays loaded).
  bool Bind(const std::string& name = kLibraryName);
  void Unbind();
  bool bound() const { return handle_ != nullptr; }

  // Mode 1: the source picture scaled into output (24 bits, top row first).
  // False when not bound.
  bool composeOne(const ComposeItem& source, BYTE* output) const;
  void setComposeVideoSize(int32_t width, int32_t height) const;
  // Called only when the library offers it.
  void setVideoRendMode(int32_t mode) const;

 private:
  Module module_;
  GetEffectFn getEffect_ = nullptr;
  FreeEffectFn freeEffect_ = nullptr;
  SetComposeVideoSizeFn setComposeVideoSize_ = nullptr;
  ComposeVideoFn composeVideo_ = nullptr;
  ComposeVideoExFn composeVideoEx_ = nullptr;
  SetVideoRendModeFn setVideoRendMode_ = nullptr;
  OxEffectHandle handle_ = nullptr;
};

}  // namespace lessonry::capture
