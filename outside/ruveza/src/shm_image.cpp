// Shared memory image for the screen grabber.
#include "shm_image.h"

#include <sys/ipc.h>
#include <sys/shm.h>

#include <X11/Xutil.h>

#include "x_connection.h"

namespace lessonry::ruveza {

ShmImage::ShmImage(XConnection& connection) : connection_(connection) {
  segment_.shmid = -1;
  segment_.shmaddr = reinterpret_cast<char*>(-1);
}

std::unique_ptr<ShmImage> ShmImage::create(XConnection& connection, int width, int height) {
  Display* display = connection.display();
  if (!XShmQueryExtension(display)) return nullptr;
  std::unique_ptr<ShmImage> owner(new ShmImage(connection));
  const int screen = DefaultScreen(display);
  owner->image_ = XShmCreateImage(display, DefaultVisual(display, screen), DefaultDepth(display, screen), ZPixmap,
                                  nullptr, &owner->segment_, width, height);
  if (!owner->image_) return nullptr;
  const size_t bytes = static_cast<size_t>(owner->image_->bytes_per_line) * owner->image_->height;
  owner->segment_.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
  if (owner->segment_.shmid < 0) return nullptr;
  owner->segment_.shmaddr = static_cast<char*>(shmat(owner->segment_.shmid, nullptr, 0));
  if (owner->segment_.shmaddr == reinterpret_cast<char*>(-1)) {
    shmctl(owner->segment_.shmid, IPC_RMID, nullptr);
    return nullptr;
  }
  owner->image_->data = owner->segment_.shmaddr;
  owner->segment_.readOnly = False;

  connection.takeErrors();
  const bool sent = XShmAttach(display, &owner->segment_);
  XSync(display, False);  // the server has attached (or refused) once this returns
  // Marked for removal at once: the segment goes away with the last
  // detach, even if this process dies without cleaning up.
  shmctl(owner->segment_.shmid, IPC_RMID, nullptr);
  if (!sent || connection.takeErrors() > 0 || connection.dead()) return nullptr;
  owner->attached_ = true;
  return owner;
}

ShmImage::~ShmImage() {
  Display* display = connection_.display();
  if (attached_ && !connection_.dead()) {
    XShmDetach(display, &segment_);
    XSync(display, False);
  }
  if (image_) {
    image_->data = nullptr;  // the segment is not Xlib's to free
    XDestroyImage(image_);
  }
  if (segment_.shmaddr != reinterpret_cast<char*>(-1)) shmdt(segment_.shmaddr);
}

bool ShmImage::grab(Window root) {
  if (connection_.dead()) return false;
  return XShmGetImage(connection_.display(), root, image_, 0, 0, AllPlanes) && !connection_.dead();
}

}  // namespace lessonry::ruveza
