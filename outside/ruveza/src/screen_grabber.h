// The object behind a RUVEZA handle: the screen picture of one X display.
//
// The header's size is taken from the screen when the grabber is made and
// kept for its life; the picture buffer has that size. Each capture reads
// the root window (shared memory where possible, otherwise over the
// connection), converts it to blue, green, red, pad rows (the shared
// segment itself is the picture when the server's rows have that layout)
// and draws the mouse pointer in.
//
// Threads: one thread at a time (see ruveza.h): construction, startUp,
// header reads and shutDown on the host thread, capture on the capture
// tick's thread in between. No locks.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "base/win_types.h"

namespace lessonry::ruveza {

class XConnection;
class ShmImage;

class ScreenGrabber {
 public:
  // Size used for the header when there is no display.
  static constexpr int kDefaultWidth = 1920;
  static constexpr int kDefaultHeight = 1080;

  // Connects to DISPLAY if there is one. useShm false (or the environment
  // variable LESSONRY_RUVEZA_NO_SHM=1) makes every capture use XGetImage.
  explicit ScreenGrabber(bool useShm);
  ~ScreenGrabber();
  ScreenGrabber(const ScreenGrabber&) = delete;
  ScreenGrabber& operator=(const ScreenGrabber&) = delete;

  // Host thread. S_OK when captures can work, E_FAIL without a display.
  HRESULT startUp();
  // Host thread. The header, at the same address for the grabber's life.
  BITMAPINFOHEADER* bitmapInfo() { return &header_; }
  // Capture thread. The picture (valid until the next call), or null.
  BYTE* capture();
  // Host thread. Releases the connection and the capture's memory.
  void shutDown();

  // For tests: whether the last successful capture used shared memory.
  bool lastCaptureUsedShm() const { return lastUsedShm_; }

 private:
  void connect();
  void followRootSize();
  bool grabInto(int width, int height);

  const bool useShm_;
  // Aligned although the record is packed: callers may bind its fields to
  // references or pointers of their natural alignment.
  alignas(8) BITMAPINFOHEADER header_{};
  int width_ = kDefaultWidth;    // the header's size, fixed
  int height_ = kDefaultHeight;
  int rootWidth_ = 0;  // the screen's current size (follows ConfigureNotify)
  int rootHeight_ = 0;
  bool started_ = false;
  bool shutDown_ = false;
  bool cursorAvailable_ = false;
  bool lastUsedShm_ = false;
  Window root_ = 0;
  std::vector<uint8_t> frame_;  // width_ x height_ x 4 bytes, the picture when it is converted
  uint8_t* picture_ = nullptr;  // the last picture: frame_ or the shared segment's pixels
  // Destroyed before the connection they were made on.
  std::unique_ptr<XConnection> connection_;
  std::unique_ptr<ShmImage> shm_;
};

}  // namespace lessonry::ruveza
