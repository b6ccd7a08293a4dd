// PvnHidGate: the lower filter beneath every keyboard and mouse. It loads its
// settings once per load and judges each device at every start of its device
// object, refusing keyboards and mice that the keyboard/mouse lock does not
// admit.
#include "drivers/hidgate/admit_hid_device.h"
#include "drivers/hidgate/load_settings.h"
#include "drivers/portgate/filter_device.h"
#include "drivers/portgate/filter_driver.h"

namespace pvn::hidgate {

PVN_WDF_DECLARE_CONTEXT_TYPE_WITH_NAME(DRIVER_CONTEXT, GetDriverContext)

namespace {

using Driver = gate::FilterDriver<DRIVER_CONTEXT, GetDriverContext, LoadSettings, ReleaseSettings>;

// Every start of the device, with the settings of this load. No USB target is
// ever created, so nothing marks a device as examined.
NTSTATUS EvtDevicePrepareHardware(WDFDEVICE device, WDFCMRESLIST, WDFCMRESLIST) {
  DEVICE_CONTEXT* context = GetDeviceContext(device);
  if (!context) return STATUS_SUCCESS;
  const DRIVER_CONTEXT* settings = Driver::Settings();
  return AdmitHidDevice(settings, context->HardwareId);
}

NTSTATUS EvtDriverDeviceAdd(WDFDRIVER, PWDFDEVICE_INIT deviceInit) {
  return AddFilterDevice(deviceInit, EvtDevicePrepareHardware);
}

}  // namespace

}  // namespace pvn::hidgate

extern "C" pvn::km::NTSTATUS DriverEntry(pvn::km::DRIVER_OBJECT* driverObject,
                                         pvn::km::UNICODE_STRING* registryPath) {
  using namespace pvn::hidgate;
  return Driver::Create(driverObject, registryPath, PVN_WDF_TYPE_INFO(DRIVER_CONTEXT),
                        EvtDriverDeviceAdd);
}
