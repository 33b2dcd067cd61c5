// The device enumeration seam: how the graph layer finds capture devices.
//
// A device provider (V4L2 cameras, ALSA microphones, the virtual test
// devices) lists the devices of a category in its own stable order and binds
// one to a new source filter. enumerateDevices asks every registered
// provider in registration order and concatenates the answers, so a
// device's 1-based position in the result is what a device source records
// and binds later (a device removed in between shifts the positions, as with
// the system's enumerator). A moniker whose friendly name cannot be read
// still counts a position.
//
// Threads: providers are registered at start-up and by tests; enumeration
// and binding run on host threads. The registry of providers is guarded by a
// leaf mutex that is not held while a provider runs.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "media/interfaces.h"

namespace lessonry::media {

class DeviceMoniker {
 public:
  virtual ~DeviceMoniker() = default;
  // The property "FriendlyName"; a failure leaves name untouched.
  virtual HRESULT friendlyName(std::string* name) = 0;
  // A new source filter for the device (a reference for the caller).
  virtual HRESULT bindToFilter(IBaseFilter** filter) = 0;
};

class DeviceProvider {
 public:
  virtual ~DeviceProvider() = default;
  // The devices of category (CLSID_VideoInputDeviceCategory,
  // CLSID_AudioInputDeviceCategory); empty for a category it does not serve.
  virtual std::vector<std::shared_ptr<DeviceMoniker>> devices(const GUID& category) = 0;
};

void registerDeviceProvider(std::shared_ptr<DeviceProvider> provider);
void unregisterDeviceProvider(const std::shared_ptr<DeviceProvider>& provider);
// Every provider's devices of the category, in order; empty when none.
std::vector<std::shared_ptr<DeviceMoniker>> enumerateDevices(const GUID& category);
// Binds the device at 1-based position; E_FAIL for a position out of range
// (including 0 and below), else the bind's result.
HRESULT createDeviceFilter(const GUID& category, int32_t position, IBaseFilter** filter);

}  // namespace lessonry::media
