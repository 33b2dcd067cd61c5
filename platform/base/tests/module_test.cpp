#include "base/module.h"

#include <gtest/gtest.h>

#include "base/program_folder.h"

namespace {

using lessonry::Module;

TEST(Module, LoadsASystemLibraryAndFindsItsExports) {
  Module libm;
  ASSERT_TRUE(libm.load("libm.so.6")) << libm.error();
  using CosFn = double (*)(double);
  auto cosine = libm.function<CosFn>("cos");
  ASSERT_NE(cosine, nullptr);
  EXPECT_DOUBLE_EQ(cosine(0.0), 1.0);
  EXPECT_EQ(libm.symbol("no_such_export_here"), nullptr);
  Module moved(std::move(libm));
  EXPECT_TRUE(moved.loaded());
  EXPECT_FALSE(libm.loaded());
}

TEST(Module, MissingLibraryFailsWithAReason) {
  Module missing;
  EXPECT_FALSE(missing.load("libLessonryDoesNotExist.so", reinterpret_cast<const void*>(&lessonry::programFolder)));
  EXPECT_FALSE(missing.loaded());
  EXPECT_FALSE(missing.error().empty());
  EXPECT_EQ(missing.symbol("anything"), nullptr);
}

TEST(ProgramFolder, EndsWithASlashAndHonoursTheOverride) {
  EXPECT_EQ(lessonry::programFolder().back(), '/');
  setenv("LESSONRY_PROGRAM_DIR", "/opt/lessonry", 1);
  EXPECT_EQ(lessonry::programFolder(), "/opt/lessonry/");
  unsetenv("LESSONRY_PROGRAM_DIR");
}

}  // namespace
