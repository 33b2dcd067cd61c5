// Globally unique identifiers of the component model: interface and class ids.
//
// GUID has the Windows layout (16 bytes: a 32-bit, two 16-bit fields and 8
// bytes, little-endian in memory) because ids are stored and compared as
// these bytes. The text form is the braced one,
// "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}", 38 characters, hex digits in
// either case when read, upper case when written.
//
// Constants are best written with makeGuid, which checks the text at compile time:
//   constexpr CLSID CLSID_Foo = lessonry::com::makeGuid("{99979F05-2B79-47E6-9345-A8A660FF80BD}");
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};
static_assert(sizeof(GUID) == 16, "GUID is 16 bytes");

using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

constexpr bool operator==(const GUID& a, const GUID& b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.Data4[i] != b.Data4[i]) return false;
  return true;
}
constexpr bool operator!=(const GUID& a, const GUID& b) { return !(a == b); }
// A total order (field by field), for ordered containers.
constexpr bool operator<(const GUID& a, const GUID& b) {
  if (a.Data1 != b.Data1) return a.Data1 < b.Data1;
  if (a.Data2 != b.Data2) return a.Data2 < b.Data2;
  if (a.Data3 != b.Data3) return a.Data3 < b.Data3;
  for (int i = 0; i < 8; ++i)
    if (a.Data4[i] != b.Data4[i]) return a.Data4[i] < b.Data4[i];
  return false;
}
inline bool IsEqualGUID(REFGUID a, REFGUID b) { return a == b; }
inline bool IsEqualIID(REFIID a, REFIID b) { return a == b; }
inline bool IsEqualCLSID(REFCLSID a, REFCLSID b) { return a == b; }

constexpr GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

namespace lessonry::com {

// Length of the braced text form, without a terminating zero.
constexpr size_t kGuidTextLength = 38;

// Reads the braced text form; false (out untouched) for anything else:
// missing braces or dashes, other lengths, non-hex digits, surrounding blanks.
constexpr bool parseGuid(std::string_view text, GUID& out) {
  if (text.size() != kGuidTextLength || text.front() != '{' || text.back() != '}') return false;
  uint8_t bytes[16] = {};
  size_t byte = 0;
  for (size_t i = 1; i < kGuidTextLength - 1;) {
    if (i == 9 || i == 14 || i == 19 || i == 24) {
      if (text[i] != '-') return false;
      ++i;
      continue;
    }
    int value = 0;
    for (int k = 0; k < 2; ++k, ++i) {
      const char c = text[i];
      int digit = -1;
      if (c >= '0' && c <= '9') digit = c - '0';
      else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
      else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
      if (digit < 0) return false;
      value = value * 16 + digit;
    }
    bytes[byte++] = static_cast<uint8_t>(value);
  }
  GUID g{};
  g.Data1 = static_cast<uint32_t>(bytes[0]) << 24 | static_cast<uint32_t>(bytes[1]) << 16 |
            static_cast<uint32_t>(bytes[2]) << 8 | bytes[3];
  g.Data2 = static_cast<uint16_t>(bytes[4] << 8 | bytes[5]);
  g.Data3 = static_cast<uint16_t>(bytes[6] << 8 | bytes[7]);
  for (int k = 0; k < 8; ++k) g.Data4[k] = bytes[8 + k];
  out = g;
  return true;
}

// A GUID constant from its text; a malformed text does not compile.
consteval GUID makeGuid(std::string_view text) {
  GUID g{};
  if (!parseGuid(text, g)) throw "malformed GUID text";
  return g;
}

// The braced, upper-case text form.
std::string guidToString(REFGUID guid);
// Writes the text form and a terminating zero into out (at least 39 bytes);
// returns the characters written (38), or 0 when size is too small.
size_t guidToText(REFGUID guid, char* out, size_t size);

}  // namespace lessonry::com

template <>
struct std::hash<GUID> {
  size_t operator()(const GUID& g) const noexcept {
    uint64_t low = static_cast<uint64_t>(g.Data1) << 32 | static_cast<uint64_t>(g.Data2) << 16 | g.Data3;
    uint64_t high = 0;
    for (int i = 0; i < 8; ++i) high = high << 8 | g.Data4[i];
    return std::hash<uint64_t>{}(low ^ (high * 0x9E3779B97F4A7C15ull));
  }
};
