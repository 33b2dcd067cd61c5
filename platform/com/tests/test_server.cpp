// A server library with two classes, for the component model's tests.
#include <atomic>
#include <cstdio>
#include <iterator>

#include "com/server.h"
#include "test_server_interfaces.h"

namespace {

class CTestCounter final : public lessonry::com::ComObject<ITestCounterEx, ITestNamed> {
 public:
  int32_t Increment() override { return ++value_; }
  int32_t Value() override { return value_; }
  HRESULT GetName(char* out, size_t size) override {
    if (!out || size == 0) return E_POINTER;
    std::snprintf(out, size, "%s", "TestCounter");
    return S_OK;
  }

 private:
  std::atomic<int32_t> value_{0};
};

class CTestNamed final : public lessonry::com::ComObject<ITestNamed> {
 public:
  HRESULT GetName(char* out, size_t size) override {
    if (!out || size == 0) return E_POINTER;
    std::snprintf(out, size, "%s", "TestNamed");
    return S_OK;
  }
};

HRESULT createCounter(REFIID iid, void** ppv) { return lessonry::com::createObject<CTestCounter>(iid, ppv); }
HRESULT createNamed(REFIID iid, void** ppv) { return lessonry::com::createObject<CTestNamed>(iid, ppv); }

const lessonry::com::ClassEntry kClasses[] = {
    {CLSID_TestCounter, "Lessonry Test Counter", "Both", createCounter},
    {CLSID_TestNamed, "Lessonry Test Named", "Apartment", createNamed, "Lessonry.TestNamed.1"},
};
const lessonry::com::ServerDefinition kServer = {kClasses, std::size(kClasses)};

}  // namespace

LESSONRY_COM_SERVER(kServer)
