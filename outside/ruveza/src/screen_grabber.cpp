// Screen capture over Xlib, MIT-SHM and XFixes for a RUVEZA handle.
#include "screen_grabber.h"

#include <X11/extensions/Xfixes.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "pixel_layout.h"
#include "shm_image.h"
#include "x11_owners.h"
#include "x_connection.h"

namespace lessonry::ruveza {

namespace {

bool shmDisabledByEnvironment() {
  const char* value = std::getenv("LESSONRY_RUVEZA_NO_SHM");
  return value && std::strcmp(value, "1") == 0;
}

SourceLayout layoutOf(const XImage& image) {
  SourceLayout layout;
  layout.bitsPerPixel = image.bits_per_pixel;
  layout.bytesPerLine = image.bytes_per_line;
  layout.msbFirst = image.byte_order == MSBFirst;
  layout.redMask = static_cast<uint32_t>(image.red_mask);
  layout.greenMask = static_cast<uint32_t>(image.green_mask);
  layout.blueMask = static_cast<uint32_t>(image.blue_mask);
  return layout;
}

}  // namespace

ScreenGrabber::ScreenGrabber(bool useShm) : useShm_(useShm && !shmDisabledByEnvironment()) {
  connect();
  header_.biSize = sizeof(BITMAPINFOHEADER);
  header_.biWidth = width_;
  header_.biHeight = -height_;  // top-down rows
  header_.biPlanes = 1;
  header_.biBitCount = 32;
  header_.biCompression = BI_RGB;
  header_.biSizeImage = static_cast<DWORD>(width_) * 4u * static_cast<DWORD>(height_);
}

ScreenGrabber::~ScreenGrabber() { shutDown(); }

void ScreenGrabber::connect() {
  connection_ = XConnection::open();
  if (!connection_) return;
  Display* display = connection_->display();
  const int screen = DefaultScreen(display);
  root_ = RootWindow(display, screen);
  rootWidth_ = DisplayWidth(display, screen);
  rootHeight_ = DisplayHeight(display, screen);
  if (!started_ && !shutDown_) {
    // First connection: the screen's size becomes the picture's for good.
    width_ = rootWidth_;
    height_ = rootHeight_;
  }
  // Screen size changes arrive as ConfigureNotify on the root window.
  XSelectInput(display, root_, StructureNotifyMask);
}

HRESULT ScreenGrabber::startUp() {
  if (started_) return connection_ ? S_OK : E_FAIL;
  if (!connection_) connect();
  started_ = true;
  shutDown_ = false;
  if (!connection_) return E_FAIL;
  frame_.assign(static_cast<size_t>(width_) * 4 * height_, 0);
  if (useShm_) shm_ = ShmImage::create(*connection_, width_, height_);
  int eventBase = 0, errorBase = 0;
  cursorAvailable_ =
      !connection_->dead() && XFixesQueryExtension(connection_->display(), &eventBase, &errorBase);
  connection_->takeErrors();
  return S_OK;
}

void ScreenGrabber::shutDown() {
  shm_.reset();
  picture_ = nullptr;
  connection_.reset();
  frame_.clear();
  frame_.shrink_to_fit();
  started_ = false;
  shutDown_ = true;
}

void ScreenGrabber::followRootSize() {
  Display* display = connection_->display();
  while (!connection_->dead() && XPending(display) > 0) {
    XEvent event;
    XNextEvent(display, &event);
    if (event.type == ConfigureNotify && event.xconfigure.window == root_) {
      rootWidth_ = event.xconfigure.width;
      rootHeight_ = event.xconfigure.height;
    }
  }
}

bool ScreenGrabber::grabInto(int width, int height) {
  Display* display = connection_->display();
  const size_t stride = static_cast<size_t>(width_) * 4;
  if (shm_ && width == width_ && height == height_) {
    if (!shm_->grab(root_)) return false;
    const XImage& image = shm_->image();
    const SourceLayout layout = layoutOf(image);
    if (isBgrx(layout) && static_cast<size_t>(image.bytes_per_line) == stride) {
      // The server's rows are the picture already: hand out the shared
      // segment itself (it stays ours until the next grab) instead of
      // copying 4 x width x height bytes per capture. The pad byte is
      // whatever the server left there.
      picture_ = reinterpret_cast<uint8_t*>(image.data);
    } else {
      convertToBgrx(reinterpret_cast<const uint8_t*>(image.data), layout, width, height, frame_.data(), stride);
      picture_ = frame_.data();
    }
    lastUsedShm_ = true;
    return true;
  }
  XImagePtr image(XGetImage(display, root_, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height),
                            AllPlanes, ZPixmap));
  if (!image || connection_->dead()) return false;
  if (width < width_ || height < height_) std::fill(frame_.begin(), frame_.end(), uint8_t{0});
  convertToBgrx(reinterpret_cast<const uint8_t*>(image->data), layoutOf(*image), width, height, frame_.data(),
                stride);
  picture_ = frame_.data();
  lastUsedShm_ = false;
  return true;
}

BYTE* ScreenGrabber::capture() {
  if (!started_ && !shutDown_) startUp();
  if (!connection_ || connection_->dead() || frame_.empty()) return nullptr;
  followRootSize();
  // Reading the events is where a server that has gone is usually noticed;
  // from then on the connection is not touched again.
  if (connection_->dead()) return nullptr;
  const int width = std::min(width_, rootWidth_), height = std::min(height_, rootHeight_);
  if (width <= 0 || height <= 0) return nullptr;
  connection_->takeErrors();
  if (!grabInto(width, height) || connection_->takeErrors() > 0) return nullptr;

  if (cursorAvailable_) {
    XFreePtr<XFixesCursorImage> cursor(XFixesGetCursorImage(connection_->display()));
    if (cursor && !connection_->dead()) {
      PointerImage pointer;
      pointer.pixels = cursor->pixels;
      pointer.width = cursor->width;
      pointer.height = cursor->height;
      pointer.left = cursor->x - cursor->xhot;
      pointer.top = cursor->y - cursor->yhot;
      blendPointer(picture_, width, height, static_cast<size_t>(width_) * 4, pointer);
    }
  }
  if (connection_->dead()) return nullptr;
  return picture_;
}

}  // namespace lessonry::ruveza
