// Creation by class id through the registry, against the test server library.
#include "com/co_create.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "base/module.h"
#include "base/registry.h"
#include "com/com_ptr.h"
#include "com/server.h"
#include "test_server_interfaces.h"

namespace {

using lessonry::ComPtr;
using lessonry::Registry;
using lessonry::com::classKey;

const std::string kServerPath = std::filesystem::canonical(COM_TEST_SERVER).string();

class CoCreate : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("lessonry_com_test_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    registryPath_ = (dir_ / "registry.ini").string();
    if (const char* old = std::getenv("LESSONRY_REGISTRY")) savedRegistry_ = old;
    setenv("LESSONRY_REGISTRY", registryPath_.c_str(), 1);
  }
  void TearDown() override {
    CoFreeUnusedLibraries();
    if (savedRegistry_.empty())
      unsetenv("LESSONRY_REGISTRY");
    else
      setenv("LESSONRY_REGISTRY", savedRegistry_.c_str(), 1);
    std::filesystem::remove_all(dir_);
  }

  // Calls an entry point of the test server as an installer would.
  static HRESULT callServer(const char* entry) {
    lessonry::Module server;
    if (!server.load(kServerPath)) return E_FAIL;
    const auto function = server.function<DllRegisterServerFunction>(entry);
    return function ? function() : E_FAIL;
  }

  static bool loaded(const std::string& path) {
    const auto paths = lessonry::com::loadedServerLibraries();
    return std::find(paths.begin(), paths.end(), path) != paths.end();
  }

  static int runRegsvr(const std::string& arguments) {
    const int status = std::system((std::string("'") + COM_TEST_REGSVR + "' " + arguments + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::filesystem::path dir_;
  std::string registryPath_;
  std::string savedRegistry_;
};

TEST_F(CoCreate, RegistrationWritesTheClassKeysWithTheAbsoluteLibraryPath) {
  ASSERT_EQ(callServer("DllRegisterServer"), S_OK);
  Registry registry(registryPath_);
  const std::string counter = classKey(CLSID_TestCounter);
  EXPECT_EQ(counter, "CLSID\\{6D1F3A52-0B7C-4E21-9A3D-2C5E7F8A9B01}");
  EXPECT_EQ(registry.getString(counter, ""), "Lessonry Test Counter");
  EXPECT_EQ(registry.getString(counter + "\\InprocServer32", ""), kServerPath);
  EXPECT_EQ(registry.getString(counter + "\\InprocServer32", "ThreadingModel"), "Both");
  const std::string named = classKey(CLSID_TestNamed);
  EXPECT_EQ(registry.getString(named + "\\InprocServer32", "ThreadingModel"), "Apartment");
  EXPECT_EQ(registry.getString(named + "\\ProgID", ""), "Lessonry.TestNamed.1");
  EXPECT_EQ(registry.getString("Lessonry.TestNamed.1\\CLSID", ""), lessonry::com::guidToString(CLSID_TestNamed));
}

TEST_F(CoCreate, CreatesByClassIdAndAnswersSupportedInterfacesOnly) {
  ASSERT_EQ(callServer("DllRegisterServer"), S_OK);
  ComPtr<ITestCounter> counter;
  ASSERT_EQ(CoCreateInstance(CLSID_TestCounter, IID_ITestCounter, counter.putVoid()), S_OK);
  EXPECT_EQ(counter->Increment(), 1);

  ComPtr<ITestCounterEx> extended;
  ASSERT_EQ(counter.as(extended), S_OK);
  EXPECT_EQ(extended->Value(), 1);
  ComPtr<ITestNamed> named;
  ASSERT_EQ(counter.as(named), S_OK);
  char name[32] = {};
  EXPECT_EQ(named->GetName(name, sizeof name), S_OK);
  EXPECT_STREQ(name, "TestCounter");
  EXPECT_EQ(counter.as<IUnknown>(), named.as<IUnknown>());  // one identity

  void* nowhere = reinterpret_cast<void*>(1);
  EXPECT_EQ(counter->QueryInterface(IID_ITestNowhere, &nowhere), E_NOINTERFACE);
  EXPECT_EQ(nowhere, nullptr);

  // The second class of the library, with its own interface set.
  ComPtr<ITestNamed> other;
  ASSERT_EQ(CoCreateInstance(CLSID_TestNamed, nullptr, CLSCTX_INPROC_SERVER, IID_ITestNamed, other.putVoid()), S_OK);
  EXPECT_EQ(other->GetName(name, sizeof name), S_OK);
  EXPECT_STREQ(name, "TestNamed");
  ComPtr<ITestCounter> notACounter;
  EXPECT_EQ(CoCreateInstance(CLSID_TestNamed, IID_ITestCounter, notACounter.putVoid()), E_NOINTERFACE);
  EXPECT_FALSE(notACounter);
  EXPECT_EQ(lessonry::com::loadedServerLibraries(), std::vector<std::string>{kServerPath});  // loaded once
}

TEST_F(CoCreate, TheLibraryStaysLoadedWhileObjectsOrLocksLive) {
  ASSERT_EQ(callServer("DllRegisterServer"), S_OK);
  ComPtr<ITestCounter> counter;
  ASSERT_EQ(CoCreateInstance(CLSID_TestCounter, IID_ITestCounter, counter.putVoid()), S_OK);
  EXPECT_EQ(counter->AddRef(), 2u);
  EXPECT_EQ(counter->Release(), 1u);

  CoFreeUnusedLibraries();
  ASSERT_TRUE(loaded(kServerPath));
  EXPECT_EQ(counter->Increment(), 1);  // its code is still there

  ComPtr<IClassFactory> factory;
  ASSERT_EQ(CoGetClassObject(CLSID_TestCounter, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, factory.putVoid()),
            S_OK);
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  factory.reset();
  counter.reset();
  CoFreeUnusedLibraries();
  EXPECT_TRUE(loaded(kServerPath));  // held by the server lock alone

  ASSERT_EQ(CoGetClassObject(CLSID_TestCounter, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, factory.putVoid()),
            S_OK);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  ComPtr<IUnknown> fromFactory;
  ComPtr<IUnknown> outer;
  EXPECT_EQ(factory->CreateInstance(reinterpret_cast<IUnknown*>(factory.get()), IID_IUnknown, fromFactory.putVoid()),
            CLASS_E_NOAGGREGATION);
  EXPECT_FALSE(fromFactory);
  factory.reset();
  CoFreeUnusedLibraries();
  EXPECT_FALSE(loaded(kServerPath));

  // Loaded again on demand.
  ASSERT_EQ(CoCreateInstance(CLSID_TestCounter, IID_ITestCounter, counter.putVoid()), S_OK);
  EXPECT_EQ(counter->Increment(), 1);
}

TEST_F(CoCreate, UnregisteredClassesFailAndUnregisteringLeavesOtherKeys) {
  ASSERT_EQ(callServer("DllRegisterServer"), S_OK);
  Registry registry(registryPath_);
  ASSERT_TRUE(registry.setString("CLSID\\{11111111-2222-3333-4444-555555555555}", "", "someone else's"));
  ASSERT_EQ(callServer("DllUnregisterServer"), S_OK);
  EXPECT_FALSE(registry.keyExists(classKey(CLSID_TestCounter)));
  EXPECT_FALSE(registry.keyExists(classKey(CLSID_TestNamed) + "\\InprocServer32"));
  EXPECT_FALSE(registry.keyExists("Lessonry.TestNamed.1"));
  EXPECT_TRUE(registry.keyExists("CLSID\\{11111111-2222-3333-4444-555555555555}"));

  ComPtr<ITestCounter> counter;
  EXPECT_EQ(CoCreateInstance(CLSID_TestCounter, IID_ITestCounter, counter.putVoid()), REGDB_E_CLASSNOTREG);
  EXPECT_FALSE(counter);
  EXPECT_EQ(callServer("DllUnregisterServer"), S_OK);  // twice is harmless
}

TEST_F(CoCreate, BrokenRegistrationsGiveFailureCodesNotCrashes) {
  const std::string textFile = (dir_ / "libNotALibrary.so").string();
  std::ofstream(textFile) << "not an ELF file";
  const CLSID kNoServerKey = lessonry::com::makeGuid("{A0000000-0000-0000-0000-000000000001}");
  const CLSID kMissingFile = lessonry::com::makeGuid("{A0000000-0000-0000-0000-000000000002}");
  const CLSID kNotALibrary = lessonry::com::makeGuid("{A0000000-0000-0000-0000-000000000003}");
  const CLSID kNoExport = lessonry::com::makeGuid("{A0000000-0000-0000-0000-000000000004}");
  const CLSID kNotServed = lessonry::com::makeGuid("{A0000000-0000-0000-0000-000000000005}");
  const CLSID kEmptyPath = lessonry::com::makeGuid("{A0000000-0000-0000-0000-000000000006}");
  const CLSID kNeverRegistered = lessonry::com::makeGuid("{A0000000-0000-0000-0000-000000000007}");
  Registry registry(registryPath_);
  ASSERT_TRUE(registry.setString(classKey(kNoServerKey), "", "no InprocServer32"));
  ASSERT_TRUE(registry.setString(classKey(kMissingFile) + "\\InprocServer32", "", (dir_ / "libGone.so").string()));
  ASSERT_TRUE(registry.setString(classKey(kNotALibrary) + "\\InprocServer32", "", textFile));
  ASSERT_TRUE(registry.setString(classKey(kNoExport) + "\\InprocServer32", "",
                                 std::filesystem::canonical(COM_TEST_NO_EXPORT).string()));
  ASSERT_TRUE(registry.setString(classKey(kNotServed) + "\\InprocServer32", "", kServerPath));
  ASSERT_TRUE(registry.setString(classKey(kEmptyPath) + "\\InprocServer32", "", ""));

  const struct {
    const CLSID* clsid;
    HRESULT expected;
  } cases[] = {
      {&kNeverRegistered, REGDB_E_CLASSNOTREG}, {&kNoServerKey, REGDB_E_CLASSNOTREG},
      {&kEmptyPath, REGDB_E_CLASSNOTREG},       {&kMissingFile, CO_E_DLLNOTFOUND},
      {&kNotALibrary, CO_E_DLLNOTFOUND},        {&kNoExport, CO_E_ERRORINDLL},
      {&kNotServed, CLASS_E_CLASSNOTAVAILABLE},
  };
  for (const auto& c : cases) {
    void* pv = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(*c.clsid, IID_IUnknown, &pv), c.expected) << lessonry::com::guidToString(*c.clsid);
    EXPECT_EQ(pv, nullptr);
  }
  // The library without the export is not kept loaded.
  EXPECT_FALSE(loaded(std::filesystem::canonical(COM_TEST_NO_EXPORT).string()));

  EXPECT_EQ(CoCreateInstance(kNotServed, IID_IUnknown, nullptr), E_POINTER);
  void* pv = reinterpret_cast<void*>(1);
  IUnknown* outer = reinterpret_cast<IUnknown*>(&pv);  // never called
  EXPECT_EQ(CoCreateInstance(kNotServed, outer, CLSCTX_INPROC_SERVER, IID_IUnknown, &pv), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(pv, nullptr);
  EXPECT_EQ(CoCreateInstance(kNotServed, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, &pv), REGDB_E_CLASSNOTREG);
}

TEST_F(CoCreate, ThreadsCreateAndReleaseConcurrently) {
  ASSERT_EQ(callServer("DllRegisterServer"), S_OK);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([] {
      for (int i = 0; i < 50; ++i) {
        ComPtr<ITestCounter> counter;
        ASSERT_EQ(CoCreateInstance(CLSID_TestCounter, IID_ITestCounter, counter.putVoid()), S_OK);
        ComPtr<ITestCounter> shared = counter;
        EXPECT_EQ(shared->Increment(), 1);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(lessonry::com::loadedServerLibraries().size(), 1u);
}

TEST_F(CoCreate, TheRegistrationToolRegistersAndUnregisters) {
  Registry registry(registryPath_);
  EXPECT_EQ(runRegsvr(""), 2);
  ASSERT_EQ(runRegsvr("'" + std::string(COM_TEST_SERVER) + "'"), 0);
  EXPECT_EQ(registry.getString(classKey(CLSID_TestNamed) + "\\InprocServer32", ""), kServerPath);
  ComPtr<ITestNamed> named;
  EXPECT_EQ(CoCreateInstance(CLSID_TestNamed, IID_ITestNamed, named.putVoid()), S_OK);
  named.reset();

  ASSERT_EQ(runRegsvr("-u '" + std::string(COM_TEST_SERVER) + "'"), 0);
  EXPECT_FALSE(registry.keyExists(classKey(CLSID_TestNamed)));
  // A library without the entry point and a missing file fail, and the good one is still done.
  EXPECT_EQ(runRegsvr("'" + std::string(COM_TEST_NO_EXPORT) + "' '" + (dir_ / "libGone.so").string() + "' '" +
                      COM_TEST_SERVER + "'"),
            1);
  EXPECT_TRUE(registry.keyExists(classKey(CLSID_TestCounter)));
}

}  // namespace
