// The seam through which the media graph posts messages to a window handle
// (the stand-in of PostMessage): the desktop layer binds its poster once, the
// graph calls postToWindow from its event queue on any thread.
//
// A window handle is a pointer-sized id. The poster returns false for a
// stale handle and must not block. Without a poster nothing is posted.
// setWindowPoster and postToWindow are thread-safe; once setWindowPoster
// (with another poster or none) has returned, the old poster is not called
// any more.
#pragma once

#include <cstdint>
#include <functional>

namespace lessonry::media {

using WindowPoster = std::function<bool(intptr_t window, uint32_t message, intptr_t wParam, intptr_t lParam)>;

void setWindowPoster(WindowPoster poster);
// False when there is no poster, window is 0, or the poster refused.
bool postToWindow(intptr_t window, uint32_t message, intptr_t wParam, intptr_t lParam);

}  // namespace lessonry::media
