// Window posting seam (see window_post.h). The poster runs under the seam's
// mutex, a leaf lock, so that clearing it waits for a post in progress.
#include "media/window_post.h"

#include <mutex>

namespace lessonry::media {
namespace {

std::mutex& posterMutex() {
  static std::mutex mutex;
  return mutex;
}

WindowPoster& poster() {
  static WindowPoster current;
  return current;
}

}  // namespace

void setWindowPoster(WindowPoster next) {
  std::lock_guard lock(posterMutex());
  poster() = std::move(next);
}

bool postToWindow(intptr_t window, uint32_t message, intptr_t wParam, intptr_t lParam) {
  if (window == 0) return false;
  std::lock_guard lock(posterMutex());
  if (!poster()) return false;
  try {
    return poster()(window, message, wParam, lParam);
  } catch (...) {
    return false;  // a poster's failure is a lost message, never the caller's exception
  }
}

}  // namespace lessonry::media
