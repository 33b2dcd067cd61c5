// Device enumeration seam (see device_enum.h).
#include "media/device_enum.h"

#include <algorithm>
#include <mutex>

namespace lessonry::media {
namespace {

std::mutex& providersMutex() {
  static std::mutex mutex;
  return mutex;
}

std::vector<std::shared_ptr<DeviceProvider>>& providers() {
  static std::vector<std::shared_ptr<DeviceProvider>> list;
  return list;
}

}  // namespace

void registerDeviceProvider(std::shared_ptr<DeviceProvider> provider) {
  if (!provider) return;
  std::lock_guard lock(providersMutex());
  providers().push_back(std::move(provider));
}

void unregisterDeviceProvider(const std::shared_ptr<DeviceProvider>& provider) {
  std::lock_guard lock(providersMutex());
  auto& list = providers();
  list.erase(std::remove(list.begin(), list.end(), provider), list.end());
}

std::vector<std::shared_ptr<DeviceMoniker>> enumerateDevices(const GUID& category) {
  std::vector<std::shared_ptr<DeviceProvider>> snapshot;
  {
    std::lock_guard lock(providersMutex());
    snapshot = providers();
  }
  std::vector<std::shared_ptr<DeviceMoniker>> all;
  for (const auto& provider : snapshot) {
    auto some = provider->devices(category);
    for (auto& moniker : some)
      if (moniker) all.push_back(std::move(moniker));
  }
  return all;
}

HRESULT createDeviceFilter(const GUID& category, int32_t position, IBaseFilter** filter) {
  if (!filter) return E_POINTER;
  *filter = nullptr;
  const auto devices = enumerateDevices(category);
  if (position <= 0 || size_t(position) > devices.size()) return E_FAIL;
  return devices[size_t(position) - 1]->bindToFilter(filter);
}

}  // namespace lessonry::media
