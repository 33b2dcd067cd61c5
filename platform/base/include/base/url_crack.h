// Splitting a URL into its parts: the stand-in of the platform's URL cracker.
//
// The accepted form is  scheme "://" [user [":" password] "@"] host [":" port] [path] [extra]
// where the path starts at the first '/' after the host and the extra info at
// the first '?' or '#' after the host. The rules are the ones the capture
// control and the filter pack rely on:
//   - a text without a scheme followed by "://" (a plain device name, a file
//     path) is refused;
//   - the host may contain blanks and any other character except '/', '?'
//     and '#' ("Video://USB Camera/VideoInput=..." has the host "USB Camera");
//   - the user information ends at the last '@' of the authority; the
//     password is what follows the first ':' of it;
//   - a port is taken only when everything after the host's last ':' is
//     decimal digits; it must lie in 0..65535 or the URL is refused; an empty
//     port or none at all gives the scheme's default (http 80, https 443,
//     ftp 21, gopher 70, any other scheme 0). Device names with a colon
//     ("HD Webcam: Front") therefore keep their colon in the host;
//   - texts of kMaxCrackedUrlLength + 1 (260) characters and more are refused
//     without being read past that bound.
//
// Pure functions, thread-safe. The parts are views into the caller's text and
// valid as long as that text is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace lessonry {

// Longest URL the cracker accepts, in bytes (the terminating zero of a
// 260-byte buffer not counted).
constexpr size_t kMaxCrackedUrlLength = 259;

enum class UrlScheme { Unknown, Http, Https, Ftp, Gopher, File };

struct UrlComponents {
  std::string_view scheme;      // without "://"
  UrlScheme schemeKind = UrlScheme::Unknown;
  bool hasUserInfo = false;     // an '@' was present (user name may still be empty)
  std::string_view userName;
  std::string_view password;
  std::string_view hostName;
  int32_t port = 0;             // explicit port, or the scheme's default
  bool hasExplicitPort = false;
  std::string_view urlPath;     // from the '/' after the host up to '?', '#' or the end; may be empty
  std::string_view extraInfo;   // from the first '?' or '#' after the host to the end; may be empty
  size_t hostOffset = 0;        // offset of hostName's first byte within the text
};

// Splits url into parts; false (parts untouched) when the text is refused.
bool crackUrl(std::string_view url, UrlComponents& parts);

// Length of the zero-terminated text, or kMaxCrackedUrlLength + 1 when it is
// longer than the cracker accepts; reads at most kMaxCrackedUrlLength + 1
// bytes. Null counts as empty.
size_t boundedUrlLength(const char* text);

}  // namespace lessonry
