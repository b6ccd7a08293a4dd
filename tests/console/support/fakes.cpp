#include "tests/console/support/fakes.h"

namespace pvn::testing {

console::ScHandle FakeServiceControl::OpenSCManagerW(const char16_t*, const char16_t*,
                                                     std::uint32_t access, win::Error* error) {
  opens.push_back({u"", access});
  if (!managerAvailable) {
    *error = win::ERROR_ACCESS_DENIED;
    return 0;
  }
  open[++next_] = false;
  return next_;
}

console::ScHandle FakeServiceControl::OpenServiceW(console::ScHandle manager, const char16_t* name,
                                                   std::uint32_t access, win::Error* error) {
  opens.push_back({name, access});
  if (!open.count(manager) || open[manager] || !serviceInstalled ||
      std::u16string(name) != u"PvnCourier") {
    *error = win::ERROR_SERVICE_DOES_NOT_EXIST;
    return 0;
  }
  open[++next_] = true;
  return next_;
}

win::Error FakeServiceControl::NotifyServiceStatusChangeW(console::ScHandle service,
                                                          std::uint32_t mask,
                                                          console::ServiceNotify* notify) {
  if (!open.count(service) || !open[service]) return win::ERROR_INVALID_HANDLE;
  notifyMask = mask;
  notifyRecord = notify;
  return notifyResult;
}

bool FakeServiceControl::CloseServiceHandle(console::ScHandle handle) {
  if (!open.erase(handle)) return false;
  closed.push_back(handle);
  return true;
}

void FakeMachineLink::Volume(std::uint32_t event, std::uint32_t unitMask) {
  console::DeviceBroadcastVolume record;
  record.header = {sizeof record, console::DBT_DEVTYP_VOLUME, 0};
  record.unitMask = unitMask;
  if (sink) sink->OnDeviceChange(event, &record.header);
}

void FakeMachineLink::Interface(std::uint32_t event) {
  if (!interfacesRegistered) return;  // not delivered without the registration
  console::DeviceBroadcastInterface record;
  record.header = {sizeof record, console::DBT_DEVTYP_DEVICEINTERFACE, 0};
  record.classGuid = console::kUsbDeviceInterfaceClass;
  if (sink) sink->OnDeviceChange(event, &record.header);
}

void FakeMachineLink::Raw(std::uint32_t event, std::uint32_t deviceType) {
  console::DeviceBroadcastVolume record;
  record.header = {sizeof record, deviceType, 0};
  record.unitMask = 0x10;
  if (sink) sink->OnDeviceChange(event, &record.header);
}

}  // namespace pvn::testing
