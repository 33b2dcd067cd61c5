// A pretend screen capture library for tests: one fake screen per process
// whose pixels follow simple formulas, so that every converted or cut
// picture can be computed exactly.
#pragma once

#include <string>
#include <vector>

#include "base/picture_format.h"
#include "screen_capture.h"

namespace lessonry::testing {

// One fake screen for the process: the grabber's calls are plain C functions.
struct FakeScreen {
  BITMAPINFOHEADER header{};
  std::vector<BYTE> pixels;  // 32-bit rows, B, G, R, pad
  bool deliver = true;
  std::vector<std::string> calls;
  int handle = 0;

  static BYTE blue(int x, int y) { return static_cast<BYTE>(x * 7 + y * 13); }
  static BYTE green(int x, int y) { return static_cast<BYTE>(x * 3 + y * 29 + 50); }
  static BYTE red(int x, int y) { return static_cast<BYTE>(x * 11 + y * 5 + 100); }

  void reset(int width, int height, WORD bitCount = 32) {
    header = {};
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = width;
    header.biHeight = -height;
    header.biPlanes = 1;
    header.biBitCount = bitCount;
    pixels.assign(static_cast<size_t>(width) * height * 4, 0);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        BYTE* p = &pixels[(static_cast<size_t>(y) * width + x) * 4];
        p[0] = blue(x, y);
        p[1] = green(x, y);
        p[2] = red(x, y);
        p[3] = 0xEE;  // must not show anywhere
      }
    deliver = true;
    calls.clear();
  }
};
inline FakeScreen fake;

inline const VgaFunctions kFakeVga{
    [] { fake.calls.push_back("create"); return static_cast<void*>(&fake.handle); },
    [](void* h, int32_t r) { fake.calls.push_back(h == &fake.handle && r == 0 ? "startUp" : "startUp?"); return 0; },
    [](void* h) { fake.calls.push_back("getBitmapInfo"); return h == &fake.handle ? &fake.header : nullptr; },
    [](void* h, int32_t) { return h == &fake.handle && fake.deliver ? fake.pixels.data() : nullptr; },
    [](void* h) { fake.calls.push_back(h == &fake.handle ? "shutDown" : "shutDown?"); },
    [](void* h) { fake.calls.push_back(h == &fake.handle ? "delete" : "delete?"); },
};

// The 24-bit picture of the fake screen's w x h part at (x0, y0), rows padded to 4 bytes.
inline std::vector<BYTE> expectedPart(int x0, int y0, int w, int h) {
  const int stride = dibStride(w, 24);
  std::vector<BYTE> out(static_cast<size_t>(stride) * h, 0x5A);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      BYTE* p = &out[static_cast<size_t>(y) * stride + x * 3];
      p[0] = FakeScreen::blue(x0 + x, y0 + y);
      p[1] = FakeScreen::green(x0 + x, y0 + y);
      p[2] = FakeScreen::red(x0 + x, y0 + y);
    }
  return out;
}

}  // namespace lessonry::testing
