// One connection to the X server, as the screen grabber uses it.
//
// Xlib reports protocol errors to one process-wide handler and, by default,
// ends the process on them and when the server goes away. A grabber must do
// neither to its host: this owner counts protocol errors on its own
// connection, and marks itself dead instead of exiting when the connection
// breaks (both process-wide handlers are installed once, with the first
// connection; what concerns other connections goes on to the handlers that
// were there before). A host that installs its own handlers later decides
// for itself what happens to ours.
//
// Once dead() is true nothing may be sent on the connection any more; the
// only Xlib call left for it is the XCloseDisplay in the destructor, which
// may come from another thread than the one that met the break.
//
// Threads: one thread at a time per connection (the handle's rule). The
// registry of watched connections is guarded by its own mutex, taken only
// briefly and never while calling the previous handler.
#pragma once

#include <X11/Xlib.h>

#include <atomic>
#include <memory>

namespace lessonry::ruveza {

class XConnection {
 public:
  // Connects to the display named by DISPLAY; null when there is none.
  static std::unique_ptr<XConnection> open();
  ~XConnection();
  XConnection(const XConnection&) = delete;
  XConnection& operator=(const XConnection&) = delete;

  Display* display() const { return display_; }
  // True once the connection has broken; nothing should be sent any more.
  bool dead() const { return dead_.load(std::memory_order_acquire); }
  // Protocol errors seen on this connection since the last call.
  int takeErrors() { return errors_.exchange(0, std::memory_order_acq_rel); }

 private:
  explicit XConnection(Display* display);
  static int onProtocolError(Display* display, XErrorEvent* event);
  static int onIOError(Display* display);
  static void onConnectionLost(Display* display, void* self);

  Display* display_;
  std::atomic<bool> dead_{false};
  std::atomic<int> errors_{0};
};

}  // namespace lessonry::ruveza
