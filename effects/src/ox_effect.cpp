// The exported C interface of OxEffect (ox_effect.h). Every function catches
// everything at the library's edge: a failure becomes a trace line and the
// calling thread's last-error text, never an exception or a crash in the
// caller.
#include "ox_effect.h"

#include <new>

#include "effect_error.h"
#include "tel_animation_rec.h"

using lessonry::effect::EffectError;
using lessonry::effect::TELAnimationRec;

namespace {

TELAnimationRec* instanceOf(OxEffectHandle effect) { return reinterpret_cast<TELAnimationRec*>(effect); }

template <typename Body>
void guarded(const char* where, Body&& body) {
  lessonry::effect::clearLastError();
  try {
    body();
  } catch (const EffectError& error) {
    lessonry::effect::reportError(where, error.what());
  } catch (const std::bad_alloc&) {
    lessonry::effect::reportError(where, "Out of memory");
  } catch (...) {
    lessonry::effect::reportError(where, "Unexpected failure");
  }
}

}  // namespace

extern "C" {

OxEffectHandle OxGetEffect(void) {
  lessonry::effect::clearLastError();
  auto* instance = new (std::nothrow) TELAnimationRec();
  if (!instance) lessonry::effect::reportError("OxGetEffect", "Out of memory");
  return reinterpret_cast<OxEffectHandle>(instance);
}

void OxFreeEffect(OxEffectHandle effect) { delete instanceOf(effect); }

void OxSetComposeVideoSize(int32_t width, int32_t height, OxEffectHandle effect) {
  guarded("OxSetComposeVideoSize", [&] {
    if (effect) instanceOf(effect)->setComposeVideoSize(width, height);
  });
}

void OxComposeVideo(intptr_t /*reserved*/, const ComposeItem* items, int32_t type, int32_t percent,
                    int32_t effectCode, BYTE* output, OxEffectHandle effect) {
  guarded("OxComposeVideo", [&] {
    if (effect) instanceOf(effect)->composeVideo(items, type, percent, effectCode, output);
  });
}

void OxComposeVideoEx(intptr_t /*reserved*/, const ComposeRectItem* items, int32_t count, BYTE* output,
                      OxEffectHandle effect) {
  guarded("OxComposeVideoEx", [&] {
    if (effect) instanceOf(effect)->composeVideoEx(items, count, output);
  });
}

const char* OxEffectGetLastError(void) { return lessonry::effect::lastError(); }

}  // extern "C"
