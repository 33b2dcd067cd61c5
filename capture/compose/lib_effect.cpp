#include "lib_effect.h"

#include "base/trace.h"

namespace lessonry::capture {

namespace {
// An address inside this library: the loader looks beside it first.
void anchor() {}
}  // namespace

bool CLibEffect::Bind(const std::string& name) {
  Unbind();
  // This library's own folder first, as the control is loaded from there.
  if (!module_.load(name, reinterpret_cast<const void*>(&anchor))) {
    trace("CLibEffect: cannot load %s: %s", name.c_str(), module_.error().c_str());
    return false;
  }
  getEffect_ = module_.function<GetEffectFn>("OxGetEffect");
  freeEffect_ = module_.function<FreeEffectFn>("OxFreeEffect");
  setComposeVideoSize_ = module_.function<SetComposeVideoSizeFn>("OxSetComposeVideoSize");
  composeVideo_ = module_.function<ComposeVideoFn>("OxComposeVideo");
  composeVideoEx_ = module_.function<ComposeVideoExFn>("OxComposeVideoEx");
  setVideoRendMode_ = module_.function<SetVideoRendModeFn>("OxSetVideoRendMode");
  if (getEffect_ && freeEffect_ && composeVideo_ && setComposeVideoSize_) handle_ = getEffect_();
  if (!handle_) trace("CLibEffect: %s lacks an entry point or gave no effect handle", name.c_str());
  return handle_ != nullptr;
}

void CLibEffect::Unbind() {
  if (handle_ && freeEffect_) freeEffect_(handle_);
  handle_ = nullptr;
  getEffect_ = nullptr;
  freeEffect_ = nullptr;
  setComposeVideoSize_ = nullptr;
  composeVideo_ = nullptr;
  composeVideoEx_ = nullptr;
  setVideoRendMode_ = nullptr;
  module_.unload();
}

bool CLibEffect::composeOne(const ComposeItem& source, BYTE* output) const {
  if (!handle_ || !composeVideo_) return false;
  composeVideo_(0, &source, 1, 0, 0x824, output, handle_);
  return true;
}

void CLibEffect::setComposeVideoSize(int32_t width, int32_t height) const {
  if (handle_ && setComposeVideoSize_) setComposeVideoSize_(width, height, handle_);
}

void CLibEffect::setVideoRendMode(int32_t mode) const {
  if (handle_ && setVideoRendMode_) setVideoRendMode_(mode, handle_);
}


}  // namespace lessonry::capture
