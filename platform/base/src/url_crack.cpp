// URL splitting with the delimiting rules described in url_crack.h.
#include "base/url_crack.h"

#include <cstring>

namespace lessonry {
namespace {

bool isAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool equalsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

UrlScheme schemeKindOf(std::string_view scheme) {
  if (equalsNoCase(scheme, "http")) return UrlScheme::Http;
  if (equalsNoCase(scheme, "https")) return UrlScheme::Https;
  if (equalsNoCase(scheme, "ftp")) return UrlScheme::Ftp;
  if (equalsNoCase(scheme, "gopher")) return UrlScheme::Gopher;
  if (equalsNoCase(scheme, "file")) return UrlScheme::File;
  return UrlScheme::Unknown;
}

int32_t defaultPort(UrlScheme kind) {
  switch (kind) {
    case UrlScheme::Http: return 80;
    case UrlScheme::Https: return 443;
    case UrlScheme::Ftp: return 21;
    case UrlScheme::Gopher: return 70;
    default: return 0;
  }
}

}  // namespace

size_t boundedUrlLength(const char* text) {
  if (!text) return 0;
  return strnlen(text, kMaxCrackedUrlLength + 1);
}

bool crackUrl(std::string_view url, UrlComponents& parts) {
  if (url.size() > kMaxCrackedUrlLength) return false;
  if (url.find('\0') != std::string_view::npos) return false;

  // Scheme: a letter, then letters, digits, '+', '-', '.', then "://".
  const size_t colon = url.find(':');
  if (colon == std::string_view::npos || colon == 0 || !isAlpha(url[0])) return false;
  for (size_t i = 1; i < colon; ++i) {
    const char c = url[i];
    if (!isAlpha(c) && !isDigit(c) && c != '+' && c != '-' && c != '.') return false;
  }
  if (url.substr(colon, 3) != "://") return false;

  UrlComponents out;
  out.scheme = url.substr(0, colon);
  out.schemeKind = schemeKindOf(out.scheme);

  const size_t authorityStart = colon + 3;
  size_t authorityEnd = url.find_first_of("/?#", authorityStart);
  if (authorityEnd == std::string_view::npos) authorityEnd = url.size();
  std::string_view authority = url.substr(authorityStart, authorityEnd - authorityStart);
  size_t hostStart = authorityStart;

  if (const size_t at = authority.rfind('@'); at != std::string_view::npos) {
    out.hasUserInfo = true;
    const std::string_view userInfo = authority.substr(0, at);
    if (const size_t sep = userInfo.find(':'); sep != std::string_view::npos) {
      out.userName = userInfo.substr(0, sep);
      out.password = userInfo.substr(sep + 1);
    } else {
      out.userName = userInfo;
    }
    authority = authority.substr(at + 1);
    hostStart += at + 1;
  }

  std::string_view host = authority;
  out.port = defaultPort(out.schemeKind);
  // A bracketed IPv6 literal keeps its colons; the port follows the ']'.
  size_t portSearchFrom = 0;
  if (!host.empty() && host.front() == '[') {
    const size_t close = host.find(']');
    if (close == std::string_view::npos) return false;
    portSearchFrom = close;
  }
  if (const size_t portColon = host.rfind(':');
      portColon != std::string_view::npos && portColon >= portSearchFrom) {
    const std::string_view portText = host.substr(portColon + 1);
    bool allDigits = true;
    for (const char c : portText) allDigits = allDigits && isDigit(c);
    if (allDigits) {
      if (!portText.empty()) {
        if (portText.size() > 5) return false;
        int32_t value = 0;
        for (const char c : portText) value = value * 10 + (c - '0');
        if (value > 65535) return false;
        out.port = value;
        out.hasExplicitPort = true;
      }
      host = host.substr(0, portColon);
    }
  }
  out.hostName = host;
  out.hostOffset = hostStart;

  const std::string_view rest = url.substr(authorityEnd);
  const size_t extraStart = rest.find_first_of("?#");
  out.urlPath = rest.substr(0, extraStart);
  if (extraStart != std::string_view::npos) out.extraInfo = rest.substr(extraStart);

  parts = out;
  return true;
}

}  // namespace lessonry
