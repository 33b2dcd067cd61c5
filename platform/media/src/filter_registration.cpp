// Filter registration entries (see filter_registration.h).
#include "media/filter_registration.h"

#include "base/registry.h"
#include "com/server.h"

namespace lessonry::media {

std::string filterRegistrationKey(REFCLSID clsid) {
  return com::classKey(CLSID_MediaFilterCategory) + "\\Instance\\" + com::guidToString(clsid);
}

HRESULT registerMediaFilter(REFCLSID clsid, const char* friendlyName, uint32_t merit) {
  const std::string key = filterRegistrationKey(clsid);
  Registry registry;
  const bool ok = registry.update([&](RegistryTree& tree) {
    tree.createKey(key);
    return tree.setString(key, "FriendlyName", friendlyName ? friendlyName : "") &&
           tree.setString(key, "CLSID", com::guidToString(clsid)) &&
           tree.setString(key, "Merit", "dword:" + [&] {
             char text[9];
             std::snprintf(text, sizeof text, "%08x", merit);
             return std::string(text);
           }());
  });
  return ok ? S_OK : SELFREG_E_CLASS;
}

HRESULT unregisterMediaFilter(REFCLSID clsid) {
  Registry registry;
  if (!registry.keyExists(filterRegistrationKey(clsid))) return S_OK;
  return registry.deleteTree(filterRegistrationKey(clsid)) ? S_OK : SELFREG_E_CLASS;
}

}  // namespace lessonry::media
