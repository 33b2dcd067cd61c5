// Connection owner with per-connection error accounting (see the header).
// Lock order: only the registry mutex, never held while calling out.
#include "x_connection.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace lessonry::ruveza {

namespace {

std::mutex gRegistryMutex;
std::vector<XConnection*> gConnections;  // guarded by gRegistryMutex
XErrorHandler gPreviousHandler = nullptr;      // written once, under gRegistryMutex
XIOErrorHandler gPreviousIOHandler = nullptr;  // written once, under gRegistryMutex
bool gHandlerInstalled = false;            // guarded by gRegistryMutex

}  // namespace

std::unique_ptr<XConnection> XConnection::open() {
  // Xlib must be made thread-aware before the first connection: the
  // handle's captures come from another thread than the one that opened it.
  static std::once_flag threadsOnce;
  std::call_once(threadsOnce, [] { XInitThreads(); });
  Display* display = XOpenDisplay(nullptr);
  if (!display) return nullptr;
  return std::unique_ptr<XConnection>(new XConnection(display));
}

XConnection::XConnection(Display* display) : display_(display) {
  XSetIOErrorExitHandler(display_, &XConnection::onConnectionLost, this);
  std::lock_guard lock(gRegistryMutex);
  gConnections.push_back(this);
  if (!gHandlerInstalled) {
    // Installed once and never taken back: a handler installed after ours
    // may have chained to it.
    gPreviousHandler = XSetErrorHandler(&XConnection::onProtocolError);
    // Xlib's own handler for a broken connection ends the process before
    // the per-connection exit handler is reached; ours returns for our
    // connections and passes the others on.
    gPreviousIOHandler = XSetIOErrorHandler(&XConnection::onIOError);
    gHandlerInstalled = true;
  }
}

XConnection::~XConnection() {
  {
    std::lock_guard lock(gRegistryMutex);
    gConnections.erase(std::remove(gConnections.begin(), gConnections.end(), this), gConnections.end());
  }
  // A broken connection is closed without talking to the server (Xlib
  // knows it is broken); the memory is freed either way.
  XCloseDisplay(display_);
}

int XConnection::onProtocolError(Display* display, XErrorEvent* event) {
  XErrorHandler previous;
  {
    std::lock_guard lock(gRegistryMutex);
    for (XConnection* c : gConnections) {
      if (c->display_ == display) {
        c->errors_.fetch_add(1, std::memory_order_acq_rel);
        return 0;
      }
    }
    previous = gPreviousHandler;
  }
  return previous ? previous(display, event) : 0;
}

int XConnection::onIOError(Display* display) {
  XIOErrorHandler previous;
  {
    std::lock_guard lock(gRegistryMutex);
    for (XConnection* c : gConnections) {
      if (c->display_ == display) {
        c->dead_.store(true, std::memory_order_release);
        return 0;
      }
    }
    previous = gPreviousIOHandler;
  }
  return previous ? previous(display) : 0;
}

void XConnection::onConnectionLost(Display*, void* self) {
  // Returning instead of exiting leaves the connection unusable; every
  // later request on it fails without blocking.
  static_cast<XConnection*>(self)->dead_.store(true, std::memory_order_release);
}

}  // namespace lessonry::ruveza
