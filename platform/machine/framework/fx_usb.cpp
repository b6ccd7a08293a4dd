// USB target devices, their interface objects, and memory objects.
#include <cstring>

#include "platform/machine/framework/fx.h"

namespace pvn::machine::fx {

UsbDevice::UsbDevice(Object* parent, const UsbDescriptors& descriptors)
    : Object(Kind::kUsbDevice, parent), descriptors(descriptors) {
  for (const auto& itf : descriptors.interfaces)
    interfaces.push_back(Adopt(std::make_unique<UsbInterfaceObject>(this, itf)));
}

}  // namespace pvn::machine::fx

namespace pvn::km {

using namespace pvn::machine::fx;

namespace {

// The object that a new object hangs from: the attributes' parent, or the
// given default.
Object* ParentFor(const WDF_OBJECT_ATTRIBUTES* attributes, Object* fallback) {
  if (!attributes || !attributes->ParentObject) return fallback;
  for (Kind kind : {Kind::kDevice, Kind::kUsbDevice, Kind::kDriver, Kind::kQueue, Kind::kMemory,
                    Kind::kUsbInterface, Kind::kIoTarget})
    if (Object* object = Object::Find(attributes->ParentObject, kind)) return object;
  return nullptr;
}

}  // namespace

NTSTATUS WdfUsbTargetDeviceCreate(WDFDEVICE device, WDF_OBJECT_ATTRIBUTES* attributes,
                                  WDFUSBDEVICE* usbDevice) {
  auto* owner = static_cast<Device*>(Object::Find(device, Kind::kDevice));
  if (!owner || !usbDevice) {
    Complain("WdfUsbTargetDeviceCreate: bad device or output handle");
    return STATUS_INVALID_PARAMETER;
  }
  const auto* usb = owner->layer->object->stack->physicalDevice()->bus->Usb();
  if (!usb) return STATUS_NOT_SUPPORTED;
  NTSTATUS injected;
  if (InjectedFailure("WdfUsbTargetDeviceCreate", &injected)) return injected;
  Object* parent = ParentFor(attributes, owner);
  if (!parent) return STATUS_INVALID_PARAMETER;
  auto created = std::make_unique<UsbDevice>(parent, *usb);
  if (!created->ApplyAttributes(attributes)) return STATUS_INVALID_PARAMETER;
  *usbDevice =
      reinterpret_cast<WDFUSBDEVICE>(static_cast<Object*>(parent->Adopt(std::move(created))));
  return STATUS_SUCCESS;
}

NTSTATUS WdfUsbTargetDeviceRetrieveConfigDescriptor(WDFUSBDEVICE usbDevice, PVOID configDescriptor,
                                                    USHORT* configDescriptorLength) {
  auto* fx = static_cast<UsbDevice*>(Object::Find(usbDevice, Kind::kUsbDevice));
  if (!fx || !configDescriptorLength) {
    Complain("WdfUsbTargetDeviceRetrieveConfigDescriptor: bad USB target or length");
    return STATUS_INVALID_PARAMETER;
  }
  const auto& config = fx->descriptors.configuration;
  USHORT needed = static_cast<USHORT>(config.size());
  if (!configDescriptor || *configDescriptorLength < needed) {
    *configDescriptorLength = needed;
    return STATUS_BUFFER_TOO_SMALL;
  }
  std::memcpy(configDescriptor, config.data(), config.size());
  *configDescriptorLength = needed;
  return STATUS_SUCCESS;
}

UCHAR WdfUsbTargetDeviceGetNumInterfaces(WDFUSBDEVICE usbDevice) {
  auto* fx = static_cast<UsbDevice*>(Object::Find(usbDevice, Kind::kUsbDevice));
  if (!fx) {
    Complain("WdfUsbTargetDeviceGetNumInterfaces: not a USB target");
    return 0;
  }
  return static_cast<UCHAR>(fx->interfaces.size());
}

WDFUSBINTERFACE WdfUsbTargetDeviceGetInterface(WDFUSBDEVICE usbDevice, UCHAR interfaceIndex) {
  auto* fx = static_cast<UsbDevice*>(Object::Find(usbDevice, Kind::kUsbDevice));
  if (!fx) {
    Complain("WdfUsbTargetDeviceGetInterface: not a USB target");
    return nullptr;
  }
  if (interfaceIndex >= fx->interfaces.size()) return nullptr;
  return reinterpret_cast<WDFUSBINTERFACE>(static_cast<Object*>(fx->interfaces[interfaceIndex]));
}

UCHAR WdfUsbInterfaceGetConfiguredSettingIndex(WDFUSBINTERFACE usbInterface) {
  auto* fx = static_cast<UsbInterfaceObject*>(Object::Find(usbInterface, Kind::kUsbInterface));
  if (!fx) {
    Complain("WdfUsbInterfaceGetConfiguredSettingIndex: not a USB interface");
    return 0;
  }
  return fx->itf.selectedSetting;
}

void WdfUsbInterfaceGetDescriptor(WDFUSBINTERFACE usbInterface, UCHAR settingIndex,
                                  USB_INTERFACE_DESCRIPTOR* interfaceDescriptor) {
  auto* fx = static_cast<UsbInterfaceObject*>(Object::Find(usbInterface, Kind::kUsbInterface));
  if (!fx || !interfaceDescriptor) {
    Complain("WdfUsbInterfaceGetDescriptor: not a USB interface, or no descriptor to fill");
    return;
  }
  if (settingIndex >= fx->itf.settings.size()) {
    Complain("WdfUsbInterfaceGetDescriptor: no such alternate setting");
    *interfaceDescriptor = {};
    return;
  }
  std::memcpy(interfaceDescriptor, fx->itf.settings[settingIndex].data(),
              sizeof(USB_INTERFACE_DESCRIPTOR));
}

NTSTATUS WdfMemoryCreate(WDF_OBJECT_ATTRIBUTES* attributes, POOL_TYPE, ULONG,
                         std::size_t bufferSize, WDFMEMORY* memory, PVOID* buffer) {
  if (!memory || bufferSize == 0) return STATUS_INVALID_PARAMETER;
  NTSTATUS injected;
  if (InjectedFailure("WdfMemoryCreate", &injected)) return injected;
  // Memory objects without a parent belong to the driver.
  Object* parent = ParentFor(attributes, CurrentDriver());
  if (!parent) {
    Complain("WdfMemoryCreate: no parent object");
    return STATUS_INVALID_PARAMETER;
  }
  auto created = std::make_unique<Memory>(parent, bufferSize);
  if (!created->ApplyAttributes(attributes)) return STATUS_INVALID_PARAMETER;
  Memory* raw = parent->Adopt(std::move(created));
  *memory = reinterpret_cast<WDFMEMORY>(static_cast<Object*>(raw));
  if (buffer) *buffer = raw->buffer.get();
  return STATUS_SUCCESS;
}

}  // namespace pvn::km
