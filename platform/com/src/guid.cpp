// Text form of GUIDs.
#include "com/guid.h"

#include <cstdio>

namespace lessonry::com {

size_t guidToText(REFGUID g, char* out, size_t size) {
  if (!out || size < kGuidTextLength + 1) return 0;
  std::snprintf(out, size, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2, g.Data3,
                g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return kGuidTextLength;
}

std::string guidToString(REFGUID guid) {
  char text[kGuidTextLength + 1];
  guidToText(guid, text, sizeof text);
  return std::string(text, kGuidTextLength);
}

}  // namespace lessonry::com
