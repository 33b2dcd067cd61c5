#include "lib_effect.h"

#include <gtest/gtest.h>

#include <vector>

#include "base/picture_format.h"
#include "base/program_folder.h"

namespace {

using namespace lessonry::capture;

TEST(LibEffect, BindsTheLibraryOfTheProgramFolderAndComposesOnePicture) {
  CLibEffect effect;
  // The tests live outside the program folder: name the library by path.
  ASSERT_TRUE(effect.Bind(std::string(LESSONRY_PROGRAM_DIR) + "/" + CLibEffect::kLibraryName));
  EXPECT_TRUE(effect.bound());
  effect.setComposeVideoSize(8, 4);
  effect.setVideoRendMode(1);  // not offered by this library: nothing happens
  // A 4 x 2 grey source, scaled into an 8 x 4 frame.
  const BITMAPINFOHEADER format = lessonry::makeBgr24Header(4, 2, false);
  std::vector<BYTE> source(format.biSizeImage, 200);
  std::vector<BYTE> frame(static_cast<size_t>(lessonry::dibStride(8, 24)) * 4, 0);
  ASSERT_TRUE(effect.composeOne(ComposeItem{&format, source.data(), nullptr}, frame.data()));
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 8 * 3; ++x) EXPECT_EQ(frame[static_cast<size_t>(y) * 24 + x], 200) << x << "," << y;
  effect.Unbind();
  EXPECT_FALSE(effect.bound());
  EXPECT_FALSE(effect.composeOne(ComposeItem{&format, source.data(), nullptr}, frame.data()));
}

TEST(LibEffect, AMissingLibraryOrEntryPointIsAFailureNotACrash) {
  CLibEffect effect;
  EXPECT_FALSE(effect.Bind("libOxEffectThatIsNotThere.so"));
  EXPECT_FALSE(effect.bound());
  // A library without the entry points.
  EXPECT_FALSE(effect.Bind("libm.so.6"));
  EXPECT_FALSE(effect.bound());
  std::vector<BYTE> frame(64, 7);
  EXPECT_FALSE(effect.composeOne(ComposeItem{nullptr, nullptr, nullptr}, frame.data()));
  effect.setComposeVideoSize(8, 8);
  EXPECT_EQ(frame[0], 7);
}

}  // namespace
