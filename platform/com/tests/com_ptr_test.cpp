// ComPtr and ComObject on an object of this test program (no library involved).
#include "com/com_ptr.h"

#include <gtest/gtest.h>

#include "com/com_object.h"
#include "com/server.h"
#include "test_server_interfaces.h"

namespace {

using lessonry::ComPtr;

int destroyed = 0;

class LocalCounter final : public lessonry::com::ComObject<ITestCounterEx, ITestNamed> {
 public:
  ~LocalCounter() override { ++destroyed; }
  int32_t Increment() override { return ++value_; }
  int32_t Value() override { return value_; }
  HRESULT GetName(char*, size_t) override { return E_NOTIMPL; }

 private:
  int32_t value_ = 0;
};

TEST(ComObject, CountsReferencesAndAnswersItsInterfacesAndTheirBases) {
  destroyed = 0;
  const long before = lessonry::com::moduleObjectCount();
  auto* object = new LocalCounter;  // count 1
  EXPECT_EQ(lessonry::com::moduleObjectCount(), before + 1);
  EXPECT_EQ(object->AddRef(), 2u);

  void* pv = reinterpret_cast<void*>(1);
  EXPECT_EQ(object->QueryInterface(IID_ITestNowhere, &pv), E_NOINTERFACE);
  EXPECT_EQ(pv, nullptr);
  EXPECT_EQ(object->QueryInterface(IID_ITestCounter, nullptr), E_POINTER);

  ASSERT_EQ(object->QueryInterface(IID_ITestCounter, &pv), S_OK);  // the base of ITestCounterEx
  auto* counter = static_cast<ITestCounter*>(pv);
  EXPECT_EQ(counter->Increment(), 1);
  IUnknown* unknownA = nullptr;
  IUnknown* unknownB = nullptr;
  ASSERT_EQ(counter->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknownA)), S_OK);
  ComPtr<ITestNamed> named;
  ASSERT_EQ(object->QueryInterface(IID_ITestNamed, named.putVoid()), S_OK);
  ASSERT_EQ(named->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknownB)), S_OK);
  EXPECT_EQ(unknownA, unknownB);  // one identity, whichever interface asks
  EXPECT_EQ(unknownA, object->identity());

  // References now: creator, AddRef, counter, unknownA, named, unknownB = 6.
  EXPECT_EQ(unknownB->Release(), 5u);
  EXPECT_EQ(unknownA->Release(), 4u);
  EXPECT_EQ(counter->Release(), 3u);
  named.reset();
  EXPECT_EQ(object->Release(), 1u);
  EXPECT_EQ(destroyed, 0);
  EXPECT_EQ(object->Release(), 0u);
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(lessonry::com::moduleObjectCount(), before);
}

TEST(ComPtr, CopiesAddRefMovesTransferAndAsQueries) {
  destroyed = 0;
  ComPtr<ITestCounterEx> owner = ComPtr<ITestCounterEx>::adopt(new LocalCounter);
  {
    ComPtr<ITestCounterEx> copy = owner;  // 2
    ComPtr<ITestCounterEx> moved = std::move(copy);
    EXPECT_FALSE(copy);
    EXPECT_EQ(moved, owner);
    ComPtr<ITestNamed> named;
    EXPECT_EQ(moved.as(named), S_OK);  // 3
    EXPECT_TRUE(named);
    ComPtr<IUnknown> none = moved.as<IUnknown>();
    EXPECT_TRUE(none);
    EXPECT_EQ(owner->Increment(), 1);
  }
  EXPECT_EQ(destroyed, 0);
  ITestCounterEx* raw = owner.detach();
  EXPECT_FALSE(owner);
  ComPtr<ITestCounterEx> again;
  again.attach(raw);
  again = again;  // self-assignment keeps the object
  EXPECT_EQ(again->Value(), 1);
  ComPtr<ITestNamed> empty;
  EXPECT_EQ(ComPtr<ITestCounterEx>().as(empty), E_POINTER);
  again = nullptr;
  EXPECT_EQ(destroyed, 1);
}

TEST(ComObject, CreateObjectGivesTheInterfaceOrNothing) {
  destroyed = 0;
  ComPtr<ITestNamed> named;
  EXPECT_EQ(lessonry::com::createObject<LocalCounter>(IID_ITestNamed, named.putVoid()), S_OK);
  ComPtr<ITestNamed> nothing;
  EXPECT_EQ(lessonry::com::createObject<LocalCounter>(IID_ITestNowhere, nothing.putVoid()), E_NOINTERFACE);
  EXPECT_FALSE(nothing);
  EXPECT_EQ(destroyed, 1);  // the refused object is gone again
  named.reset();
  EXPECT_EQ(destroyed, 2);
}

}  // namespace
