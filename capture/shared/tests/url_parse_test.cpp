#include "shared/url_parse.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using lessonry::CURLParse;

const char kDeviceText[] = "Video://USB Camera/VideoInput=Composite In&VideoBits=24&AvgTimePerFrame=333333";

TEST(CURLParse, ReadsTheParametersOfADeviceTextWithoutRegardToCase) {
  CURLParse parse;
  ASSERT_EQ(parse.Parse(kDeviceText), S_OK);
  EXPECT_STREQ(parse.parameterText(), "VideoInput=Composite In&VideoBits=24&AvgTimePerFrame=333333");
  const struct {
    const char* name;
    int result;
    const char* value;
  } cases[] = {
      {"videobits", 0, "24"},
      {"AvgTimePerFrame", 0, "333333"},
      {"VIDEOINPUT", 0, "Composite In"},  // blank and letter case kept
      {"Bits", 0, "24"},                  // found inside a longer name, as documented
      {"AudioBits", 1, ""},
      {"", 0, "Composite In"},  // "=" alone matches the first value
  };
  for (const auto& c : cases) {
    std::string value = "stale";
    EXPECT_EQ(parse.parameter(c.name, value), c.result) << c.name;
    EXPECT_EQ(value, c.value) << c.name;
  }
  std::string value = "stale";
  EXPECT_EQ(parse.parameter(nullptr, value), 1);
  EXPECT_EQ(value, "");

  std::string device;
  EXPECT_EQ(parse.hostNameToLastSlash(device), 0);
  EXPECT_EQ(device, "USB Camera");
  EXPECT_EQ(parse.hostName(device), 0);
  EXPECT_EQ(device, "USB Camera");
  int32_t port = -1;
  EXPECT_EQ(parse.port(port), 0);
  EXPECT_EQ(port, 0);  // an unknown scheme has no default port
  EXPECT_EQ(parse.userName(device), 1);
}

TEST(CURLParse, ADeviceNameWithASlashStaysWholeUpToTheLastSlash) {
  CURLParse parse;
  ASSERT_EQ(parse.Parse("Video://Cam A/B: Front/VideoInput=&VideoBits=0&AvgTimePerFrame=0"), S_OK);
  std::string device;
  EXPECT_EQ(parse.hostNameToLastSlash(device), 0);
  EXPECT_EQ(device, "Cam A/B: Front");
  std::string input = "stale";
  EXPECT_EQ(parse.parameter("VideoInput", input), 0);
  EXPECT_EQ(input, "");
}

TEST(CURLParse, SplitsAPlugInUrlIntoItsParts) {
  CURLParse parse;
  ASSERT_EQ(parse.Parse("VP://teacher:pa55@192.168.1.20:5000/VPDriver=Test Pattern&VPChannel=2"), S_OK);
  std::string text;
  EXPECT_EQ(parse.hostName(text), 0);
  EXPECT_EQ(text, "192.168.1.20");
  int32_t port = 0;
  EXPECT_EQ(parse.port(port), 0);
  EXPECT_EQ(port, 5000);
  EXPECT_EQ(parse.userName(text), 0);
  EXPECT_EQ(text, "teacher");
  EXPECT_EQ(parse.password(text), 0);
  EXPECT_EQ(text, "pa55");
  EXPECT_EQ(parse.parameter("vpdriver", text), 0);
  EXPECT_EQ(text, "Test Pattern");
  EXPECT_EQ(parse.parameter("VPChannel", text), 0);
  EXPECT_EQ(text, "2");

  // Without a user name the password is not handed out, even when the URL carries one.
  ASSERT_EQ(parse.Parse("VP://:pa55@192.168.1.20:5000/VPDriver=Test Pattern&VPChannel=2"), S_OK);
  text = "stale";
  EXPECT_EQ(parse.userName(text), 1);
  EXPECT_EQ(parse.password(text), 1);
  EXPECT_EQ(text, "");
}

TEST(CURLParse, RefusedTextsLeaveEveryReaderReportingMissing) {
  const std::string longUrl = "VP://h:1/VPDriver=" + std::string(260, 'x');
  const std::string exactly260 = "VP://h/" + std::string(260 - 7, 'x');
  for (const std::string& bad : {std::string("USB Camera"), std::string("/home/teacher/lesson.mp4"),
                                 std::string("VP://h:99999/VPDriver=x"), longUrl, exactly260}) {
    CURLParse parse;
    EXPECT_EQ(parse.Parse(bad.c_str()), E_FAIL) << bad;
    EXPECT_STREQ(parse.parameterText(), "");
    std::string text;
    int32_t port = 0;
    EXPECT_EQ(parse.hostName(text), 1) << bad;
    EXPECT_EQ(parse.hostNameToLastSlash(text), 1) << bad;
    EXPECT_EQ(parse.port(port), 1) << bad;
    EXPECT_EQ(parse.parameter("VPDriver", text), 1) << bad;
  }
  CURLParse parse;
  EXPECT_EQ(parse.Parse(nullptr), E_FAIL);

  // 259 characters are still accepted; a later refusal drops the earlier parameters.
  const std::string longest = "VP://h/VPDriver=" + std::string(259 - 16, 'y');
  ASSERT_EQ(longest.size(), 259u);
  ASSERT_EQ(parse.Parse(longest.c_str()), S_OK);
  std::string driver;
  EXPECT_EQ(parse.parameter("VPDriver", driver), 0);
  EXPECT_EQ(driver.size(), 259u - 16);
  EXPECT_EQ(parse.Parse(longUrl.c_str()), E_FAIL);
  EXPECT_EQ(parse.parameter("VPDriver", driver), 1);
}

TEST(CURLParse, AUrlWithoutAPathHasNoParameters) {
  CURLParse parse;
  ASSERT_EQ(parse.Parse("VP://host:5000"), S_OK);
  EXPECT_STREQ(parse.parameterText(), "");
  std::string text;
  EXPECT_EQ(parse.parameter("VPDriver", text), 1);
  EXPECT_EQ(parse.hostNameToLastSlash(text), 0);
  EXPECT_EQ(text, "host:5000");
}

}  // namespace
