// Test support: GoogleTest checks of decoded pictures (header only, for
// tests that link GoogleTest; benchmarks do not include it).
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>

#include "testing/media_check.h"

namespace lessonry::testing {

struct Bgr {
  int b, g, r;
};

// The pixel at (x, y) has colour c within tolerance on every channel (lossy
// coding moves colours; flat areas stay close).
inline ::testing::AssertionResult colourNear(const DecodedPicture& picture, int x, int y, Bgr c, int tolerance) {
  if (x < 0 || y < 0 || x >= picture.width || y >= picture.height)
    return ::testing::AssertionFailure() << x << "," << y << " lies outside the " << picture.width << "x"
                                         << picture.height << " picture";
  const uint8_t* p = picture.pixel(x, y);
  if (std::abs(p[0] - c.b) <= tolerance && std::abs(p[1] - c.g) <= tolerance && std::abs(p[2] - c.r) <= tolerance)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "at " << x << "," << y << ": B,G,R " << int(p[0]) << "," << int(p[1]) << ","
                                       << int(p[2]) << " instead of " << c.b << "," << c.g << "," << c.r;
}

}  // namespace lessonry::testing
