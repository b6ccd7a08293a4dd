// PvnHidGate: the lower filter beneath every keyboard and mouse. It loads its
// settings once per load and judges each device at every start of its device
// object, refusing keyboards and mice that the keyboard/mouse lock does not
// admit.
#include "drivers/hidgate/admit_hid_device.h"
#include "drivers/hidgate/load_settings.h"
#include "drivers/portgate/filter_device.h"

namespace pvn::hidgate {

PVN_WDF_DECLARE_CONTEXT_TYPE_WITH_NAME(DRIVER_CONTEXT, GetDriverContext)

namespace {

// The driver object of this image, for the device callbacks.
WDFDRIVER g_Driver = nullptr;

void EvtDriverContextCleanup(WDFOBJECT driver) {
  ReleaseSettings(GetDriverContext(driver));
  g_Driver = nullptr;
}

// Every start of the device, with the settings of this load. No USB target is
// ever created, so nothing marks a device as examined.
NTSTATUS EvtDevicePrepareHardware(WDFDEVICE device, WDFCMRESLIST, WDFCMRESLIST) {
  DEVICE_CONTEXT* context = GetDeviceContext(device);
  if (!context) return STATUS_SUCCESS;
  const DRIVER_CONTEXT* settings = g_Driver ? GetDriverContext(g_Driver) : nullptr;
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
  WDF_DRIVER_CONFIG config;
  WDF_DRIVER_CONFIG_INIT(&config, EvtDriverDeviceAdd);

  WDF_OBJECT_ATTRIBUTES attributes;
  PVN_WDF_OBJECT_ATTRIBUTES_INIT_CONTEXT_TYPE(&attributes, DRIVER_CONTEXT);
  attributes.EvtCleanupCallback = EvtDriverContextCleanup;

  WDFDRIVER driver = nullptr;
  NTSTATUS status = WdfDriverCreate(driverObject, registryPath, &attributes, &config, &driver);
  if (!NT_SUCCESS(status)) return status;

  g_Driver = driver;
  if (DRIVER_CONTEXT* context = GetDriverContext(driver)) {
    *context = {};
    LoadSettings(context);  // a driver without settings still filters and logs
  }
  return status;
}
