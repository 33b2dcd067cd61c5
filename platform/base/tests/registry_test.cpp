#include "base/registry.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using lessonry::Registry;
using lessonry::RegistryTree;

class RegistryFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("lessonry_registry_test_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    path_ = (dir_ / "sub" / "registry.ini").string();
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::filesystem::path dir_;
  std::string path_;
};

TEST_F(RegistryFile, ValuesSurviveInTheFileAndKeysCompareWithoutCase) {
  Registry registry(path_);
  EXPECT_FALSE(registry.getString("CLSID\\{A}", "").has_value());  // no file yet
  ASSERT_TRUE(registry.setString("CLSID\\{A}", "", "Friendly = name"));
  ASSERT_TRUE(registry.setString("CLSID\\{A}\\InprocServer32", "", "/opt/lib/libX.so"));
  ASSERT_TRUE(registry.setString("CLSID\\{A}\\InprocServer32", "ThreadingModel", "Both"));
  ASSERT_TRUE(registry.setDword("Filters\\{A}", "Merit", 0x200000));

  Registry again(path_);  // a fresh reader of the same file
  EXPECT_EQ(again.getString("clsid\\{a}", "@"), "Friendly = name");
  EXPECT_EQ(again.getString("\\CLSID\\{A}\\InprocServer32\\", ""), "/opt/lib/libX.so");
  EXPECT_EQ(again.getString("CLSID\\{A}\\InprocServer32", "threadingmodel"), "Both");
  EXPECT_EQ(again.getDword("Filters\\{A}", "Merit"), 0x200000u);
  EXPECT_EQ(again.snapshot().subKeys("CLSID"), std::vector<std::string>{"{A}"});
  EXPECT_EQ(again.snapshot().subKeys("CLSID\\{A}"), std::vector<std::string>{"InprocServer32"});

  ASSERT_TRUE(again.setString("CLSID\\{A}\\InprocServer32", "THREADINGMODEL", "Apartment"));
  EXPECT_EQ(registry.getString("CLSID\\{A}\\InprocServer32", "ThreadingModel"), "Apartment");

  // No temporary file is left beside the registry.
  for (const auto& entry : std::filesystem::directory_iterator(dir_ / "sub"))
    EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
}

TEST_F(RegistryFile, DeleteTreeRemovesTheKeyAndEverythingBelowOnly) {
  Registry registry(path_);
  ASSERT_TRUE(registry.setString("CLSID\\{A}\\InprocServer32", "", "a"));
  ASSERT_TRUE(registry.setString("CLSID\\{A}", "", "A"));
  ASSERT_TRUE(registry.setString("CLSID\\{AB}", "", "AB"));  // a prefix by text, not a sub key
  ASSERT_TRUE(registry.deleteTree("clsid\\{a}"));
  EXPECT_FALSE(registry.keyExists("CLSID\\{A}"));
  EXPECT_FALSE(registry.keyExists("CLSID\\{A}\\InprocServer32"));
  EXPECT_EQ(registry.getString("CLSID\\{AB}", ""), "AB");
  EXPECT_FALSE(registry.deleteTree("CLSID\\{A}"));
  EXPECT_TRUE(registry.deleteValue("CLSID\\{AB}", ""));
  EXPECT_FALSE(registry.getString("CLSID\\{AB}", "").has_value());
}

TEST_F(RegistryFile, RefusesLineBreaksAndAbandonedEditsWriteNothing) {
  Registry registry(path_);
  EXPECT_FALSE(registry.setString("K", "name", "two\nlines"));
  EXPECT_FALSE(registry.setString("K\nX", "name", "v"));
  EXPECT_FALSE(registry.setString("K", "a=b", "v"));
  EXPECT_FALSE(registry.update([](RegistryTree& tree) {
    tree.setString("K", "v", "1");
    return false;
  }));
  EXPECT_FALSE(registry.keyExists("K"));
}

TEST_F(RegistryFile, ConcurrentWritersLoseNoChange) {
  Registry registry(path_);
  constexpr int kThreads = 4, kPerThread = 25;
  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; ++t) {
    writers.emplace_back([&, t] {
      for (int i = 0; i < kPerThread; ++i)
        EXPECT_TRUE(Registry(path_).setString("T" + std::to_string(t), "v" + std::to_string(i), "x"));
    });
  }
  for (auto& writer : writers) writer.join();
  const RegistryTree tree = registry.snapshot();
  for (int t = 0; t < kThreads; ++t)
    for (int i = 0; i < kPerThread; ++i)
      EXPECT_TRUE(tree.getString("T" + std::to_string(t), "v" + std::to_string(i)).has_value());
}

TEST_F(RegistryFile, HandEditedFilesParseAndTheEnvironmentChoosesTheFile) {
  std::filesystem::create_directories(dir_ / "sub");
  const char* before = std::getenv("LESSONRY_REGISTRY");
  const std::string saved = before ? before : "";
  std::ofstream(path_) << "; a comment\r\n[CLSID\\{B}]\r\n@=B class\r\nstray line\r\n [Empty] \n";
  setenv("LESSONRY_REGISTRY", path_.c_str(), 1);
  Registry registry;
  EXPECT_EQ(registry.filePath(), path_);
  EXPECT_EQ(registry.getString("CLSID\\{B}", ""), "B class");
  EXPECT_TRUE(registry.keyExists("Empty"));

  unsetenv("LESSONRY_REGISTRY");
  setenv("XDG_CONFIG_HOME", "/cfg", 1);
  EXPECT_EQ(Registry::defaultFilePath(), "/cfg/lessonry/registry.ini");
  unsetenv("XDG_CONFIG_HOME");
  if (before) setenv("LESSONRY_REGISTRY", saved.c_str(), 1);
}

}  // namespace
