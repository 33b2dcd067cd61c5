#include "com/guid.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <map>
#include <unordered_set>

namespace {

using lessonry::com::guidToString;
using lessonry::com::guidToText;
using lessonry::com::parseGuid;

constexpr GUID kAudioRender = lessonry::com::makeGuid("{99979F05-2B79-47E6-9345-A8A660FF80BD}");

TEST(Guid, HasTheWindowsLayout) {
  static_assert(offsetof(GUID, Data1) == 0 && offsetof(GUID, Data2) == 4 && offsetof(GUID, Data3) == 6 &&
                offsetof(GUID, Data4) == 8);
  EXPECT_EQ(kAudioRender.Data1, 0x99979F05u);
  EXPECT_EQ(kAudioRender.Data2, 0x2B79u);
  EXPECT_EQ(kAudioRender.Data3, 0x47E6u);
  const uint8_t tail[8] = {0x93, 0x45, 0xA8, 0xA6, 0x60, 0xFF, 0x80, 0xBD};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(kAudioRender.Data4[i], tail[i]) << i;
  // In memory: Data1..Data3 little-endian, as stored ids are compared.
  const auto* bytes = reinterpret_cast<const uint8_t*>(&kAudioRender);
  EXPECT_EQ(bytes[0], 0x05);
  EXPECT_EQ(bytes[3], 0x99);
  EXPECT_EQ(bytes[4], 0x79);
}

TEST(Guid, TextRoundTripsAndPrintsUpperCase) {
  for (const char* text : {"{99979F05-2B79-47E6-9345-A8A660FF80BD}", "{00000000-0000-0000-C000-000000000046}",
                           "{ffffffff-ffff-ffff-ffff-ffffffffffff}", "{0a4b5c6d-7e8f-4091-a2b3-c4d5e6f70811}"}) {
    GUID g{};
    ASSERT_TRUE(parseGuid(text, g)) << text;
    std::string upper(text);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(guidToString(g), upper);
    GUID again{};
    ASSERT_TRUE(parseGuid(guidToString(g), again));
    EXPECT_EQ(again, g);
  }
  char small[38];
  EXPECT_EQ(guidToText(kAudioRender, small, sizeof small), 0u);  // no room for the zero
  char exact[39];
  EXPECT_EQ(guidToText(kAudioRender, exact, sizeof exact), 38u);
  EXPECT_STREQ(exact, "{99979F05-2B79-47E6-9345-A8A660FF80BD}");
}

TEST(Guid, MalformedTextsAreRefusedAndLeaveTheOutputAlone) {
  for (const char* text : {"", "{}", "99979F05-2B79-47E6-9345-A8A660FF80BD",  // no braces
                           "{99979F05-2B79-47E6-9345-A8A660FF80BD",               // one brace
                           "{99979F05-2B79-47E6-9345-A8A660FF80BD}x",             // trailing text
                           " {99979F05-2B79-47E6-9345-A8A660FF80BD}",             // leading blank
                           "{99979F052B79-47E6-9345-A8A660FF80BD0}",              // dash moved
                           "{99979F05-2B79-47E6-9345-A8A660FF80BG}",              // not hex
                           "{99979F05-2B79-47E6-9345+A8A660FF80BD}",              // wrong separator
                           "{99979F05-2B79-47E6-9345-A8A660FF80B}",               // too short
                           "(99979F05-2B79-47E6-9345-A8A660FF80BD)"}) {
    GUID g = kAudioRender;
    EXPECT_FALSE(parseGuid(text, g)) << text;
    EXPECT_EQ(g, kAudioRender) << text;
  }
}

TEST(Guid, ComparesAndHashesByValue) {
  GUID a = kAudioRender, b = kAudioRender;
  EXPECT_TRUE(a == b);
  EXPECT_TRUE(IsEqualGUID(a, b));
  b.Data4[7] ^= 1;
  EXPECT_TRUE(a != b);
  EXPECT_TRUE((a < b) != (b < a));
  EXPECT_FALSE(a < a);
  std::unordered_set<GUID> set{a, b, a, GUID_NULL};
  EXPECT_EQ(set.size(), 3u);
  std::map<GUID, int> ordered{{a, 1}, {b, 2}};
  EXPECT_EQ(ordered.at(b), 2);
}

}  // namespace
