// Loads libOxEffect.so by file name through the module loader, as the capture
// control does, and drives it through the resolved entry points; a missing
// library or entry point is reported, not crashed on.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "base/module.h"
#include "ox_effect.h"

namespace {

using GetEffectFn = OxEffectHandle (*)();
using FreeEffectFn = void (*)(OxEffectHandle);
using SetSizeFn = void (*)(int32_t, int32_t, OxEffectHandle);
using ComposeFn = void (*)(intptr_t, const ComposeItem*, int32_t, int32_t, int32_t, BYTE*, OxEffectHandle);
using ComposeExFn = void (*)(intptr_t, const ComposeRectItem*, int32_t, BYTE*, OxEffectHandle);
using LastErrorFn = const char* (*)();

class EffectModule : public ::testing::Test {
 protected:
  void SetUp() override { setenv("LESSONRY_PROGRAM_DIR", LESSONRY_TEST_PROGRAM_DIR, 1); }
  void TearDown() override { unsetenv("LESSONRY_PROGRAM_DIR"); }
};

TEST_F(EffectModule, LoadsByFileNameAndComposes) {
  lessonry::Module library;
  ASSERT_TRUE(library.load("libOxEffect.so")) << library.error();
  auto getEffect = library.function<GetEffectFn>("OxGetEffect");
  auto freeEffect = library.function<FreeEffectFn>("OxFreeEffect");
  auto setSize = library.function<SetSizeFn>("OxSetComposeVideoSize");
  auto compose = library.function<ComposeFn>("OxComposeVideo");
  auto composeEx = library.function<ComposeExFn>("OxComposeVideoEx");
  auto lastError = library.function<LastErrorFn>("OxEffectGetLastError");
  ASSERT_TRUE(getEffect && freeEffect && setSize && compose && composeEx && lastError);
  // Not offered: the control skips its call.
  EXPECT_EQ(library.symbol("OxSetVideoRendMode"), nullptr);
  // Internals stay hidden.
  EXPECT_EQ(library.symbol("_ZN8lessonry6effect9TELBitmap6CreateEi"), nullptr);

  OxEffectHandle effect = getEffect();
  ASSERT_NE(effect, nullptr);
  setSize(4, 2, effect);
  // A 2 x 1 32-bit source scaled to 4 x 2: steps 16384 and 0.
  BITMAPINFOHEADER format{};
  format.biSize = sizeof format;
  format.biWidth = 2;
  format.biHeight = -1;
  format.biBitCount = 32;
  const BYTE pixels[8] = {0, 40, 80, 0xEE, 200, 240, 160, 0xEE};
  const ComposeItem item{&format, pixels, nullptr};
  std::vector<BYTE> out(2 * 12, 0x99);
  compose(0, &item, 1, 0, 0x824, out.data(), effect);
  EXPECT_STREQ(lastError(), "");
  // Columns: weights 0, 64, 128, then the last copies column 0 (x = 49152).
  const std::vector<BYTE> row = {0, 40, 80, 50, 90, 100, 100, 140, 120, 0, 40, 80};
  EXPECT_EQ(std::vector<BYTE>(out.begin(), out.begin() + 12), row);
  EXPECT_EQ(std::vector<BYTE>(out.begin() + 12, out.end()), row);

  format.biBitCount = 15;
  compose(0, &item, 1, 0, 0x824, out.data(), effect);
  EXPECT_STREQ(lastError(), "Can not support this PixelFormat: 15");
  freeEffect(effect);
}

TEST_F(EffectModule, MissingLibraryAndEntryPointAreReported) {
  lessonry::Module missing;
  EXPECT_FALSE(missing.load("libOxEffectMissing.so"));
  EXPECT_FALSE(missing.error().empty());
  EXPECT_EQ(missing.function<GetEffectFn>("OxGetEffect"), nullptr);

  lessonry::Module library;
  ASSERT_TRUE(library.load("libOxEffect.so")) << library.error();
  EXPECT_EQ(library.symbol("OxComposeVideoTwice"), nullptr);
}

}  // namespace
