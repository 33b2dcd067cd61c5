// Interfaces and class ids of the test server library (tests only).
#pragma once

#include <cstddef>
#include <cstdint>

#include "com/unknown.h"

constexpr CLSID CLSID_TestCounter = lessonry::com::makeGuid("{6D1F3A52-0B7C-4E21-9A3D-2C5E7F8A9B01}");
constexpr CLSID CLSID_TestNamed = lessonry::com::makeGuid("{6D1F3A52-0B7C-4E21-9A3D-2C5E7F8A9B02}");
constexpr IID IID_ITestCounter = lessonry::com::makeGuid("{0A4B5C6D-7E8F-4091-A2B3-C4D5E6F70811}");
constexpr IID IID_ITestCounterEx = lessonry::com::makeGuid("{0A4B5C6D-7E8F-4091-A2B3-C4D5E6F70812}");
constexpr IID IID_ITestNamed = lessonry::com::makeGuid("{0A4B5C6D-7E8F-4091-A2B3-C4D5E6F70813}");
constexpr IID IID_ITestNowhere = lessonry::com::makeGuid("{0A4B5C6D-7E8F-4091-A2B3-C4D5E6F70899}");

struct ITestCounter : IUnknown {
  virtual int32_t Increment() = 0;
};
// Derives from ITestCounter: an object implementing it answers both IIDs.
struct ITestCounterEx : ITestCounter {
  virtual int32_t Value() = 0;
};
struct ITestNamed : IUnknown {
  // The class name, zero-terminated, truncated to size.
  virtual HRESULT GetName(char* out, size_t size) = 0;
};

LESSONRY_INTERFACE_IID(ITestCounter, IID_ITestCounter)
LESSONRY_INTERFACE_IID_BASE(ITestCounterEx, IID_ITestCounterEx, ITestCounter)
LESSONRY_INTERFACE_IID(ITestNamed, IID_ITestNamed)
