// CURLParse over the URL cracker of the platform layer.
#include "shared/url_parse.h"

#include <cstring>

#include "base/url_crack.h"

namespace lessonry {
namespace {

// ASCII-only upper-casing keeps every byte of a UTF-8 multibyte character as
// it is, and keeps offsets equal between the text and its copy.
std::string upperAscii(std::string_view text) {
  std::string upper(text);
  for (char& c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return upper;
}

}  // namespace

CURLParse::CURLParse() {
  std::memset(url_, 0, sizeof url_);
  std::memset(parameters_, 0, sizeof parameters_);
}

HRESULT CURLParse::Parse(const char* url) {
  std::memset(parameters_, 0, sizeof parameters_);
  const size_t length = boundedUrlLength(url);
  if (!url || length > kMaxCrackedUrlLength) {
    std::memset(url_, 0, sizeof url_);
    return E_FAIL;
  }
  std::memset(url_, 0, sizeof url_);
  std::memcpy(url_, url, length);

  UrlComponents parts;
  const std::string_view text(url_, length);
  if (!crackUrl(text, parts)) return E_FAIL;
  if (!parts.urlPath.empty()) {
    // From the byte after the path's leading '/' to the end of the URL (extra info included).
    const size_t start = static_cast<size_t>(parts.urlPath.data() - url_) + 1;
    std::memcpy(parameters_, url_ + start, length - start);
  }
  return S_OK;
}

int CURLParse::hostName(std::string& out) const {
  out.clear();
  UrlComponents parts;
  if (!crackUrl(url_, parts) || parts.hostName.empty()) return 1;
  out.assign(parts.hostName);
  return 0;
}

int CURLParse::hostNameToLastSlash(std::string& out) const {
  out.clear();
  UrlComponents parts;
  const std::string_view text(url_);
  if (!crackUrl(text, parts)) return 1;
  const std::string_view rest = text.substr(parts.hostOffset);
  const size_t slash = rest.rfind('/');
  const std::string_view name = slash == std::string_view::npos ? rest : rest.substr(0, slash);
  if (name.empty()) return 1;
  out.assign(name);
  return 0;
}

int CURLParse::port(int32_t& out) const {
  UrlComponents parts;
  if (!crackUrl(url_, parts)) return 1;
  out = parts.port;
  return 0;
}

int CURLParse::userName(std::string& out) const {
  out.clear();
  UrlComponents parts;
  if (!crackUrl(url_, parts) || parts.userName.empty()) return 1;
  out.assign(parts.userName);
  return 0;
}

int CURLParse::password(std::string& out) const {
  out.clear();
  UrlComponents parts;
  if (!crackUrl(url_, parts) || parts.userName.empty() || parts.password.empty()) return 1;
  out.assign(parts.password);
  return 0;
}

int CURLParse::parameter(const char* name, std::string& out) const {
  out.clear();
  if (!name) return 1;
  const std::string_view text(parameters_);
  const std::string key = upperAscii(name) + "=";
  const size_t at = upperAscii(text).find(key);
  if (at == std::string::npos) return 1;
  const size_t start = at + key.size();
  const size_t end = text.find('&', start);
  out.assign(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
  return 0;
}

}  // namespace lessonry
