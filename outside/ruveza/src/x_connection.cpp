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
  // knows it is broken); the memory and the socket are freed either way.
  // This may run on another thread than the one that met the break: the
  // exit handler has given the display lock back for that.
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

void XConnection::onConnectionLost(Display* display, void* self) {
  // Returning instead of exiting leaves the connection unusable; every
  // later request on it fails without blocking.
  static_cast<XConnection*>(self)->dead_.store(true, std::memory_order_release);
  // Before calling the handlers Xlib took the display's user-level lock
  // (the one XLockDisplay takes) for the thread that met the break, to keep
  // other threads off the display while the process exits, and released
  // the display's internal mutex. It gives neither back when this handler
  // returns. The user-level lock would make every later Xlib call from any
  // other thread wait forever, XCloseDisplay from the host thread included,
  // so it is given back here. The library never takes that lock itself,
  // and XUnlockDisplay leaves a display without one as it is. Called with
  // the internal mutex free, as Xlib leaves it for its handlers.
  //
  // The internal mutex stays released: the Xlib call that met the break
  // releases it once more on its way out (harmless for the process's
  // mutexes, which do not check their owner; the connection is used by one
  // thread at a time, so no other thread holds it then). Nothing of ours
  // touches the display after that except XCloseDisplay.
  XUnlockDisplay(display);
}

}  // namespace lessonry::ruveza
