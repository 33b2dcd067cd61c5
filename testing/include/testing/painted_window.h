// Test support: a window of known coloured patches on an X server (a private
// Xvfb in tests), so that captured pictures can be checked against what is
// on the screen.
//
// The window is override-redirect (no window manager decorations or moves),
// painted once mapped; the pointer is moved where the test says, since the
// screen grabber draws it into its pictures. Xlib stays out of this header:
// its macros clash with GoogleTest's.
//
// Threads: create, use and destroy on one thread.
#pragma once

#include <cstdint>

namespace lessonry::testing {

class PaintedWindow {
 public:
  struct Patch {
    int x, y, w, h;  // inside the window
    uint8_t r, g, b;
  };
  static constexpr int kLeft = 100, kTop = 60, kWidth = 320, kHeight = 160;
  // Six patches of 80 x 80 or 160 x 80 pixels filling the window.
  static inline const Patch kPatches[] = {
      {0, 0, 80, 80, 255, 0, 0},          {80, 0, 80, 80, 0, 255, 0},         {160, 0, 80, 80, 0, 0, 255},
      {240, 0, 80, 80, 0x12, 0x34, 0x56}, {0, 80, 160, 80, 255, 255, 255}, {160, 80, 160, 80, 40, 80, 160},
  };

  // Connects to DISPLAY; ok() is false when that fails.
  explicit PaintedWindow(int left = kLeft, int top = kTop, int pointerX = 630, int pointerY = 470);
  ~PaintedWindow();
  PaintedWindow(const PaintedWindow&) = delete;
  PaintedWindow& operator=(const PaintedWindow&) = delete;

  bool ok() const { return display_ != nullptr; }
  int left() const { return left_; }
  int top() const { return top_; }
  // Moves the window and returns once the server has repainted it.
  void moveTo(int left, int top);

 private:
  void paint();

  void* display_;        // Display*
  unsigned long window_ = 0;
  int left_, top_;
};

}  // namespace lessonry::testing
