#include "testing/painted_window.h"

#include <X11/Xlib.h>

namespace lessonry::testing {

namespace {
Display* dpy(void* d) { return static_cast<Display*>(d); }
}  // namespace

PaintedWindow::PaintedWindow(int left, int top, int pointerX, int pointerY)
    : display_(XOpenDisplay(nullptr)), left_(left), top_(top) {
  if (!display_) return;
  Display* d = dpy(display_);
  const int screen = DefaultScreen(d);
  XSetWindowAttributes attributes{};
  attributes.override_redirect = True;
  attributes.background_pixel = BlackPixel(d, screen);
  attributes.event_mask = ExposureMask | StructureNotifyMask;
  window_ = XCreateWindow(d, RootWindow(d, screen), left, top, kWidth, kHeight, 0, CopyFromParent, InputOutput,
                          CopyFromParent, CWOverrideRedirect | CWBackPixel | CWEventMask, &attributes);
  XMapWindow(d, window_);
  XEvent event;
  do {
    XWindowEvent(d, window_, ExposureMask | StructureNotifyMask, &event);
  } while (event.type != Expose);
  paint();
  XWarpPointer(d, 0, DefaultRootWindow(d), 0, 0, 0, 0, pointerX, pointerY);
  XSync(d, False);
}

PaintedWindow::~PaintedWindow() {
  if (!display_) return;
  XDestroyWindow(dpy(display_), window_);
  XCloseDisplay(dpy(display_));
}

void PaintedWindow::paint() {
  Display* d = dpy(display_);
  GC gc = XCreateGC(d, window_, 0, nullptr);
  for (const Patch& p : kPatches) {
    XSetForeground(d, gc, (static_cast<unsigned long>(p.r) << 16) | (p.g << 8) | p.b);
    XFillRectangle(d, window_, gc, p.x, p.y, static_cast<unsigned>(p.w), static_cast<unsigned>(p.h));
  }
  XFreeGC(d, gc);
  XSync(d, False);
}

void PaintedWindow::moveTo(int left, int top) {
  if (!display_) return;
  Display* d = dpy(display_);
  XMoveWindow(d, window_, left, top);
  left_ = left;
  top_ = top;
  // Xvfb keeps no backing store: paint again at the new place. The round
  // trip makes sure the server has done it before the test captures.
  XSync(d, False);
  paint();
}

}  // namespace lessonry::testing
