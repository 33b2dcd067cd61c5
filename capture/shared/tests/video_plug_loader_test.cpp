// The plug-in loader against test plug-ins copied into a temporary program folder.
#include "shared/video_plug_loader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "base/module.h"

namespace {

namespace fs = std::filesystem;
using lessonry::CVideoPlugLoader;

using CountsFunction = void (*)(int*, int*);

class VideoPlugFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("lessonry_plug_test_" + std::to_string(getpid()) + "_" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    folder_ = root_ / "VideoPlug";
    fs::create_directories(folder_ / "directory.so");  // a directory is never loaded
    fs::copy_file(TEST_PLUG_PATTERN, folder_ / "a_pattern.so");
    fs::copy_file(TEST_PLUG_OTHER, folder_ / "b_other.so");
    fs::copy_file(TEST_PLUG_LONG_NAME, folder_ / "c_long_name.so");
    fs::copy_file(TEST_PLUG_FAIL_CREATE, folder_ / "d_fail_create.so");
    fs::copy_file(TEST_PLUG_NO_ENTRY, folder_ / "e_no_entry.so");
    fs::copy_file(TEST_PLUG_PATTERN, folder_ / "f_pattern_again.so");
    fs::copy_file(TEST_PLUG_PATTERN, folder_ / "g_not_matching.so.1");
    std::ofstream(folder_ / "h_broken.so") << "not a library";
    std::ofstream(folder_ / "readme.txt") << "text";
    if (const char* old = std::getenv("LESSONRY_PROGRAM_DIR")) saved_ = old;
    setenv("LESSONRY_PROGRAM_DIR", root_.c_str(), 1);
    cwd_ = fs::current_path();
  }
  void TearDown() override {
    if (saved_.empty())
      unsetenv("LESSONRY_PROGRAM_DIR");
    else
      setenv("LESSONRY_PROGRAM_DIR", saved_.c_str(), 1);
    fs::remove_all(root_);
  }

  std::string plug(const char* file) const { return (folder_ / file).string(); }

  // Keeps a plug-in library resident so that its handle counters survive the loader's unloads.
  struct Counters {
    lessonry::Module library;
    CountsFunction counts = nullptr;
    int created() const {
      int c = 0, r = 0;
      counts(&c, &r);
      return c;
    }
    int released() const {
      int c = 0, r = 0;
      counts(&c, &r);
      return r;
    }
  };
  void watch(const char* file, Counters& counters) const {
    ASSERT_TRUE(counters.library.load(plug(file))) << counters.library.error();
    counters.counts = counters.library.function<CountsFunction>("TestPlugCounts");
    ASSERT_NE(counters.counts, nullptr);
  }

  fs::path root_, folder_, cwd_;
  std::string saved_;
};

TEST_F(VideoPlugFolder, ScanListsThePlugInsThatAnswerAndLeavesNoneLoaded) {
  Counters pattern, failing;
  watch("a_pattern.so", pattern);
  watch("d_fail_create.so", failing);
  CVideoPlugLoader loader;
  EXPECT_EQ(CVideoPlugLoader::pluginFolder(), root_.string() + "/VideoPlug/");
  ASSERT_EQ(loader.scan(), 4u);
  EXPECT_EQ(loader.nameAt(0), "Test Pattern");
  EXPECT_EQ(loader.nameAt(1), "test pattern");
  EXPECT_EQ(loader.nameAt(2), std::string(127, 'N'));  // a name without its zero is cut, not overrun
  EXPECT_EQ(loader.nameAt(3), "Test Pattern");
  EXPECT_EQ(loader.nameAt(4), "");
  EXPECT_EQ(loader.entries()[3].path, plug("f_pattern_again.so"));
  EXPECT_FALSE(loader.loaded());
  EXPECT_EQ(pattern.created(), 1);
  EXPECT_EQ(pattern.released(), 1);  // every handle of the scan was released
  EXPECT_EQ(failing.released(), 0);  // no handle made, none released
  EXPECT_EQ(fs::current_path(), cwd_);

  ASSERT_EQ(loader.scan(), 4u);  // a second scan replaces the list
  EXPECT_EQ(loader.count(), 4u);
}

TEST_F(VideoPlugFolder, LoadsByExactNameAndPassesPointerSizedArguments) {
  Counters pattern;
  watch("a_pattern.so", pattern);
  CVideoPlugLoader loader;
  ASSERT_EQ(loader.scan(), 4u);
  EXPECT_EQ(loader.pathOf("Test Pattern"), plug("a_pattern.so"));  // the first of two
  EXPECT_EQ(loader.pathOf("TEST PATTERN"), "");
  EXPECT_FALSE(loader.loadByName("TEST PATTERN"));
  EXPECT_FALSE(loader.loaded());

  ASSERT_TRUE(loader.loadByName("Test Pattern"));
  EXPECT_NE(loader.pluginHandle(), 0);
  std::string name;
  EXPECT_TRUE(loader.pluginName(name));
  EXPECT_EQ(name, "Test Pattern");
  // The upper half of a 64-bit argument must reach the plug-in (it would be lost in 32 bits).
  EXPECT_EQ(loader.sendCommand(200, intptr_t{0x100000005}, 7), 12);
  EXPECT_EQ(loader.sendCommand(999, 0, 0), 1);

  ASSERT_TRUE(loader.loadByName("test pattern"));  // releases the previous one first
  EXPECT_EQ(pattern.released(), pattern.created());
  loader.unload();
  EXPECT_FALSE(loader.loaded());
  EXPECT_EQ(loader.sendCommand(200, 1, 1), 1);
  EXPECT_FALSE(loader.pluginName(name));
  EXPECT_EQ(name, "");
}

TEST_F(VideoPlugFolder, BadLibrariesAreRefusedWithoutCrashing) {
  Counters failing;
  watch("d_fail_create.so", failing);
  CVideoPlugLoader loader;
  for (const char* file : {"e_no_entry.so", "d_fail_create.so", "h_broken.so", "readme.txt", "missing.so"}) {
    EXPECT_FALSE(loader.loadByPath(plug(file))) << file;
    EXPECT_FALSE(loader.loaded()) << file;
    EXPECT_EQ(loader.sendCommand(200, 1, 1), 1) << file;
  }
  EXPECT_FALSE(loader.loadByPath(""));
  EXPECT_EQ(failing.created(), 0);
  EXPECT_EQ(failing.released(), 0);
  EXPECT_FALSE(loader.loadByName("Failing"));  // never listed
}

TEST_F(VideoPlugFolder, DestructionReleasesTheHandleAndAMissingFolderGivesAnEmptyList) {
  Counters pattern;
  watch("a_pattern.so", pattern);
  {
    CVideoPlugLoader loader;
    ASSERT_TRUE(loader.loadByPath(plug("a_pattern.so")));
    EXPECT_EQ(pattern.created(), 1);
  }
  EXPECT_EQ(pattern.released(), 1);

  fs::remove_all(folder_);
  CVideoPlugLoader loader;
  EXPECT_EQ(loader.scan(), 0u);
}

}  // namespace
