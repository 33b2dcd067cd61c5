// A server image in a shared memory segment (MIT-SHM): the server writes
// the screen's pixels straight into memory this process can read.
//
// Threads: the owner's (one thread at a time, with its connection).
#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>

#include <memory>

namespace lessonry::ruveza {

class XConnection;

class ShmImage {
 public:
  // An image of width x height in the screen's default visual, attached on
  // the server; null when the server has no shared memory for us (a remote
  // server, no extension, no segment, or the attach failed).
  static std::unique_ptr<ShmImage> create(XConnection& connection, int width, int height);
  // Detaches on the server (unless the connection has broken), then here.
  ~ShmImage();
  ShmImage(const ShmImage&) = delete;
  ShmImage& operator=(const ShmImage&) = delete;

  // Reads the root window's top left width x height pixels into the image.
  bool grab(Window root);
  const XImage& image() const { return *image_; }

 private:
  explicit ShmImage(XConnection& connection);

  XConnection& connection_;
  XShmSegmentInfo segment_{};
  XImage* image_ = nullptr;  // its data points into the segment, not to malloc'ed memory
  bool attached_ = false;
};

}  // namespace lessonry::ruveza
