// PvnPortGate: the lower filter beneath every device of the USB class. It
// loads its settings once per load, and at the first start of each device
// object examines the device's interfaces and refuses mass-storage devices
// and hubs that their lock does not admit.
#include "drivers/portgate/admit_device.h"
#include "drivers/portgate/filter_device.h"
#include "drivers/portgate/filter_driver.h"
#include "drivers/portgate/load_settings.h"

namespace pvn::portgate {

PVN_WDF_DECLARE_CONTEXT_TYPE_WITH_NAME(DRIVER_CONTEXT, GetDriverContext)

namespace {

using Driver = gate::FilterDriver<DRIVER_CONTEXT, GetDriverContext, LoadSettings, ReleaseSettings>;

// The class of an interface's currently selected alternate setting; an
// interface the framework does not know counts as no class at all.
UCHAR InterfaceClassOf(PVOID usbDevice, UCHAR interfaceIndex) {
  WDFUSBINTERFACE usbInterface =
      WdfUsbTargetDeviceGetInterface(static_cast<WDFUSBDEVICE>(usbDevice), interfaceIndex);
  if (!usbInterface) return 0;
  UCHAR setting = WdfUsbInterfaceGetConfiguredSettingIndex(usbInterface);
  USB_INTERFACE_DESCRIPTOR descriptor = {};
  WdfUsbInterfaceGetDescriptor(usbInterface, setting, &descriptor);
  return descriptor.bInterfaceClass;
}

// Reads the configuration descriptor and runs the decision.
NTSTATUS ExamineUsbDevice(const DEVICE_CONTEXT& device, WDFUSBDEVICE usbDevice) {
  USHORT length = 0;
  NTSTATUS status = WdfUsbTargetDeviceRetrieveConfigDescriptor(usbDevice, nullptr, &length);
  if (status != STATUS_BUFFER_TOO_SMALL) return NT_SUCCESS(status) ? STATUS_UNSUCCESSFUL : status;

  WDF_OBJECT_ATTRIBUTES attributes;
  WDF_OBJECT_ATTRIBUTES_INIT(&attributes);
  attributes.ParentObject = usbDevice;
  WDFMEMORY memory = nullptr;
  PVOID descriptor = nullptr;
  status = WdfMemoryCreate(&attributes, NonPagedPoolNx, kGatePoolTag, length, &memory, &descriptor);
  if (!NT_SUCCESS(status)) return status;

  status = WdfUsbTargetDeviceRetrieveConfigDescriptor(usbDevice, descriptor, &length);
  if (NT_SUCCESS(status) && length < sizeof(USB_CONFIGURATION_DESCRIPTOR))
    status = STATUS_DEVICE_CONFIGURATION_ERROR;
  if (NT_SUCCESS(status)) {
    const auto* configuration = static_cast<const USB_CONFIGURATION_DESCRIPTOR*>(descriptor);
    INTERFACE_CLASSES interfaces = {configuration->bNumInterfaces, InterfaceClassOf, usbDevice};
    const DRIVER_CONTEXT* settings = Driver::Settings();
    status = settings ? AdmitDevice(*settings, device.HardwareId, device.InstanceId, interfaces)
                      : STATUS_SUCCESS;
  }
  WdfObjectDelete(memory);
  return status;
}

// Every start of the device: examined at the first one, admitted unexamined
// at later starts of the same device object and when it is not a USB device.
NTSTATUS EvtDevicePrepareHardware(WDFDEVICE device, WDFCMRESLIST, WDFCMRESLIST) {
  DEVICE_CONTEXT* context = GetDeviceContext(device);
  if (!context || context->UsbDevice) return STATUS_SUCCESS;

  WDFUSBDEVICE usbDevice = nullptr;
  NTSTATUS status = WdfUsbTargetDeviceCreate(device, WDF_NO_OBJECT_ATTRIBUTES, &usbDevice);
  if (!NT_SUCCESS(status)) return STATUS_SUCCESS;  // a host controller, for instance

  // From here on this device object counts as examined.
  context->UsbDevice = usbDevice;
  return ExamineUsbDevice(*context, usbDevice);
}

NTSTATUS EvtDriverDeviceAdd(WDFDRIVER, PWDFDEVICE_INIT deviceInit) {
  return AddFilterDevice(deviceInit, EvtDevicePrepareHardware);
}

}  // namespace

}  // namespace pvn::portgate

extern "C" pvn::km::NTSTATUS DriverEntry(pvn::km::DRIVER_OBJECT* driverObject,
                                         pvn::km::UNICODE_STRING* registryPath) {
  using namespace pvn::portgate;
  return Driver::Create(driverObject, registryPath, PVN_WDF_TYPE_INFO(DRIVER_CONTEXT),
                        EvtDriverDeviceAdd);
}
