#include "base/url_crack.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using lessonry::crackUrl;
using lessonry::UrlComponents;

struct CrackCase {
  const char* url;
  const char* scheme;
  const char* user;
  const char* password;
  const char* host;
  int32_t port;
  const char* path;
  const char* extra;
};

class CrackAccepted : public ::testing::TestWithParam<CrackCase> {};

TEST_P(CrackAccepted, SplitsIntoTheExpectedParts) {
  const CrackCase& c = GetParam();
  UrlComponents parts;
  ASSERT_TRUE(crackUrl(c.url, parts)) << c.url;
  EXPECT_EQ(parts.scheme, c.scheme);
  EXPECT_EQ(parts.userName, c.user);
  EXPECT_EQ(parts.password, c.password);
  EXPECT_EQ(parts.hostName, c.host);
  EXPECT_EQ(parts.port, c.port);
  EXPECT_EQ(parts.urlPath, c.path);
  EXPECT_EQ(parts.extraInfo, c.extra);
  EXPECT_EQ(std::string_view(c.url).substr(parts.hostOffset, parts.hostName.size()), parts.hostName);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, CrackAccepted,
    ::testing::Values(
        CrackCase{"Video://USB Camera/VideoInput=Composite In&VideoBits=24&AvgTimePerFrame=333333",
                  "Video", "", "", "USB Camera", 0,
                  "/VideoInput=Composite In&VideoBits=24&AvgTimePerFrame=333333", ""},
        CrackCase{"VP://teacher:s3cret@192.168.1.20:5000/VPDriver=Pattern&VPChannel=1", "VP", "teacher",
                  "s3cret", "192.168.1.20", 5000, "/VPDriver=Pattern&VPChannel=1", ""},
        CrackCase{"http://example.org/a/b?x=1#frag", "http", "", "", "example.org", 80, "/a/b", "?x=1#frag"},
        CrackCase{"https://example.org", "https", "", "", "example.org", 443, "", ""},
        CrackCase{"ftp://u@h:/f", "ftp", "u", "", "h", 21, "/f", ""},
        CrackCase{"http://host?q=/not/a/path", "http", "", "", "host", 80, "", "?q=/not/a/path"},
        // A colon followed by anything but digits stays part of the host (device names).
        CrackCase{"Video://HD Webcam: Front/VideoBits=24", "Video", "", "", "HD Webcam: Front", 0,
                  "/VideoBits=24", ""},
        CrackCase{"VP://:pw@h:1/x", "VP", "", "pw", "h", 1, "/x", ""},
        CrackCase{"http://a:b@c@host:8080/", "http", "a", "b@c", "host", 8080, "/", ""},
        CrackCase{"http://[::1]:8080/x", "http", "", "", "[::1]", 8080, "/x", ""}));

TEST(CrackUrl, RefusesTextsWithoutASchemeOrWithABadPort) {
  for (const char* bad : {"", "USB Camera", "/home/teacher/movie.mp4", "Video:/x", "://host/", "1abc://h/",
                          "sch eme://h/", "http://h:65536/", "http://h:123456/", "http://[::1/"}) {
    UrlComponents parts;
    parts.port = -7;
    EXPECT_FALSE(crackUrl(bad, parts)) << bad;
    EXPECT_EQ(parts.port, -7) << "parts must stay untouched for " << bad;
  }
}

TEST(CrackUrl, RefusesTexts260CharactersAndLongerWithoutReadingPastTheBound) {
  const std::string head = "http://h/";
  const std::string longest = head + std::string(lessonry::kMaxCrackedUrlLength - head.size(), 'a');
  UrlComponents parts;
  EXPECT_TRUE(crackUrl(longest, parts));
  EXPECT_FALSE(crackUrl(longest + "a", parts));
  EXPECT_FALSE(crackUrl(longest + std::string(5000, 'a'), parts));

  // An unterminated buffer of exactly 260 bytes: the bounded length stops at it.
  char unterminated[lessonry::kMaxCrackedUrlLength + 1];
  for (char& c : unterminated) c = 'a';
  EXPECT_EQ(lessonry::boundedUrlLength(unterminated), lessonry::kMaxCrackedUrlLength + 1);
  EXPECT_EQ(lessonry::boundedUrlLength(longest.c_str()), lessonry::kMaxCrackedUrlLength);
  EXPECT_EQ(lessonry::boundedUrlLength(nullptr), 0u);
}

}  // namespace
