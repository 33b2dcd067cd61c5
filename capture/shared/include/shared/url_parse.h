// CURLParse: splits source texts and plug-in URLs and reads their parameters.
//
// A device text "Video://<device>/VideoInput=<input>&VideoBits=<n>&..." and a
// plug-in URL "VP://<user>:<password>@<host>:<port>/VPDriver=<name>&VPChannel=<n>"
// are both URLs to it: the host, port, user name and password come from the
// URL cracker (base/url_crack.h), and the parameters are read from the
// parameter text, everything after the '/' that starts the URL's path, to the
// end of the URL.
//
// Parameter names match without regard to ASCII case and anywhere in the
// parameter text (a name that ends with the wanted name followed by '='
// matches too); values keep their case and run to the next '&'.
//
// URLs are limited to 259 bytes: longer texts are refused without being read
// past byte 260. Not thread-safe: one owner at a time.
#pragma once

#include <cstdint>
#include <string>

#include "base/win_types.h"

namespace lessonry {

class CURLParse {
 public:
  static constexpr size_t kBufferSize = 260;

  CURLParse();

  // Keeps url and fills the parameter text. E_FAIL when the URL cracker
  // refuses the text (no scheme, a bad port, 260 bytes or more; null); the
  // parameter text is then empty, and so is the kept URL when it was too long.
  HRESULT Parse(const char* url);

  // Each reader cracks the kept URL again. 0 with the part in out, or 1 (out
  // emptied) when the part is missing or the URL cannot be cracked.
  int hostName(std::string& out) const;
  // From the host's first byte to the last '/' of the rest of the URL (the
  // device name of a device text, even when it holds a '/'); the rest of the
  // URL when there is no '/' after the host.
  int hostNameToLastSlash(std::string& out) const;
  // The explicit port, else the scheme's default (0 for unknown schemes).
  int port(int32_t& out) const;
  int userName(std::string& out) const;
  // Only when the URL has a non-empty user name; 1 otherwise.
  int password(std::string& out) const;
  // The value of the parameter name (0), or 1 when it is not there.
  int parameter(const char* name, std::string& out) const;

  const char* url() const { return url_; }
  const char* parameterText() const { return parameters_; }

 private:
  char url_[kBufferSize];
  char parameters_[kBufferSize];
};

}  // namespace lessonry
