// Owners for the Xlib objects the screen grabber holds between calls.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <memory>

namespace lessonry::ruveza {

// An image from XGetImage (its pixels are Xlib's malloc'ed memory).
struct XImageDeleter {
  void operator()(XImage* image) const {
    if (image) XDestroyImage(image);
  }
};
using XImagePtr = std::unique_ptr<XImage, XImageDeleter>;

// Anything Xlib or an extension library hands out to be released with XFree
// (XFixesCursorImage, for one).
struct XFreeDeleter {
  void operator()(void* p) const {
    if (p) XFree(p);
  }
};
template <typename T>
using XFreePtr = std::unique_ptr<T, XFreeDeleter>;

}  // namespace lessonry::ruveza
