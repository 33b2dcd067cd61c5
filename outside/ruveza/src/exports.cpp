// The exported C interface of RUVEZA. Nothing throws across it.
#include <new>

#include "ruveza.h"
#include "screen_grabber.h"

using lessonry::ruveza::ScreenGrabber;

namespace {
ScreenGrabber* grabber(void* handle) { return static_cast<ScreenGrabber*>(handle); }
}  // namespace

extern "C" {

void* VGACreate(void) {
  try {
    return new ScreenGrabber(/*useShm=*/true);
  } catch (...) {
    return nullptr;
  }
}

int32_t VGAStartUp(void* handle, int32_t) {
  if (!handle) return E_FAIL;
  try {
    return grabber(handle)->startUp();
  } catch (...) {
    return E_FAIL;
  }
}

BITMAPINFOHEADER* VGAGetBitmapInfo(void* handle) { return handle ? grabber(handle)->bitmapInfo() : nullptr; }

BYTE* VGACaptureScreen(void* handle, int32_t) {
  if (!handle) return nullptr;
  try {
    return grabber(handle)->capture();
  } catch (...) {
    return nullptr;
  }
}

void VGAShutDown(void* handle) {
  if (handle) grabber(handle)->shutDown();
}

void VGADelete(void* handle) { delete grabber(handle); }

}  // extern "C"
