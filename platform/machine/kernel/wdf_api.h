#pragma once
// The driver framework calls that filter drivers make: driver and device
// objects with typed contexts, plug-and-play and power callbacks, the default
// queue and request forwarding, USB target devices and their descriptors, and
// memory objects. Our own interface, shaped after the framework the drivers
// were written for; implemented by the machine (libpvnkernel.so).
#include <cstddef>
#include <cstdint>

#include "platform/machine/kernel/kernel_api.h"

namespace pvn::km {

// ---------------------------------------------------------------- handles

using WDFOBJECT = void*;
struct WDFDRIVER__;
struct WDFDEVICE__;
struct WDFQUEUE__;
struct WDFREQUEST__;
struct WDFIOTARGET__;
struct WDFUSBDEVICE__;
struct WDFUSBINTERFACE__;
struct WDFMEMORY__;
struct WDFCMRESLIST__;
using WDFDRIVER = WDFDRIVER__*;
using WDFDEVICE = WDFDEVICE__*;
using WDFQUEUE = WDFQUEUE__*;
using WDFREQUEST = WDFREQUEST__*;
using WDFIOTARGET = WDFIOTARGET__*;
using WDFUSBDEVICE = WDFUSBDEVICE__*;
using WDFUSBINTERFACE = WDFUSBINTERFACE__*;
using WDFMEMORY = WDFMEMORY__*;
using WDFCMRESLIST = WDFCMRESLIST__*;

struct WDFDEVICE_INIT;  // the framework's description of a device being added
using PWDFDEVICE_INIT = WDFDEVICE_INIT*;

// ---------------------------------------------------------------- object attributes and contexts

struct WDF_OBJECT_CONTEXT_TYPE_INFO {
  const char* ContextName;
  std::size_t ContextSize;
};

enum WDF_EXECUTION_LEVEL : int {
  WdfExecutionLevelInvalid = 0,
  WdfExecutionLevelInheritFromParent,
  WdfExecutionLevelPassive,
  WdfExecutionLevelDispatch,
};
enum WDF_SYNCHRONIZATION_SCOPE : int {
  WdfSynchronizationScopeInvalid = 0,
  WdfSynchronizationScopeInheritFromParent,
  WdfSynchronizationScopeDevice,
  WdfSynchronizationScopeQueue,
  WdfSynchronizationScopeNone,
};

using PFN_WDF_OBJECT_CONTEXT_CLEANUP = void (*)(WDFOBJECT object);
using PFN_WDF_OBJECT_CONTEXT_DESTROY = void (*)(WDFOBJECT object);

struct WDF_OBJECT_ATTRIBUTES {
  ULONG Size;
  PFN_WDF_OBJECT_CONTEXT_CLEANUP EvtCleanupCallback;
  PFN_WDF_OBJECT_CONTEXT_DESTROY EvtDestroyCallback;
  WDF_EXECUTION_LEVEL ExecutionLevel;
  WDF_SYNCHRONIZATION_SCOPE SynchronizationScope;
  WDFOBJECT ParentObject;
  std::size_t ContextSizeOverride;
  const WDF_OBJECT_CONTEXT_TYPE_INFO* ContextTypeInfo;
};
inline WDF_OBJECT_ATTRIBUTES* const WDF_NO_OBJECT_ATTRIBUTES = nullptr;
inline WDFOBJECT const WDF_NO_HANDLE = nullptr;

inline void WDF_OBJECT_ATTRIBUTES_INIT(WDF_OBJECT_ATTRIBUTES* attributes) {
  *attributes = {};
  attributes->Size = sizeof(WDF_OBJECT_ATTRIBUTES);
  attributes->ExecutionLevel = WdfExecutionLevelInheritFromParent;
  attributes->SynchronizationScope = WdfSynchronizationScopeInheritFromParent;
}

// The context of the given type, zeroed when the object was created, or null
// when the object carries no context of that type.
PVOID WdfObjectGetTypedContextWorker(WDFOBJECT handle,
                                     const WDF_OBJECT_CONTEXT_TYPE_INFO* typeInfo);

// Declares a context type and its accessor, e.g.
//   PVN_WDF_DECLARE_CONTEXT_TYPE_WITH_NAME(DEVICE_CONTEXT, GetDeviceContext)
#define PVN_WDF_DECLARE_CONTEXT_TYPE_WITH_NAME(type, accessor)                                 \
  inline const ::pvn::km::WDF_OBJECT_CONTEXT_TYPE_INFO pvnContextTypeInfo_##type = {#type,      \
                                                                                 sizeof(type)}; \
  inline type* accessor(::pvn::km::WDFOBJECT handle) {                                         \
    return static_cast<type*>(                                                                 \
        ::pvn::km::WdfObjectGetTypedContextWorker(handle, &pvnContextTypeInfo_##type));        \
  }
#define PVN_WDF_TYPE_INFO(type) (&pvnContextTypeInfo_##type)
#define PVN_WDF_OBJECT_ATTRIBUTES_INIT_CONTEXT_TYPE(attributes, type) \
  do {                                                                \
    ::pvn::km::WDF_OBJECT_ATTRIBUTES_INIT(attributes);                \
    (attributes)->ContextTypeInfo = PVN_WDF_TYPE_INFO(type);          \
  } while (0)

// Deletes a framework object the driver created (memory, USB target).
void WdfObjectDelete(WDFOBJECT object);

// ---------------------------------------------------------------- driver

using PFN_WDF_DRIVER_DEVICE_ADD = NTSTATUS (*)(WDFDRIVER driver, PWDFDEVICE_INIT deviceInit);
using PFN_WDF_DRIVER_UNLOAD = void (*)(WDFDRIVER driver);

struct WDF_DRIVER_CONFIG {
  ULONG Size;
  PFN_WDF_DRIVER_DEVICE_ADD EvtDriverDeviceAdd;
  PFN_WDF_DRIVER_UNLOAD EvtDriverUnload;
  ULONG DriverInitFlags;
  ULONG DriverPoolTag;
};
inline void WDF_DRIVER_CONFIG_INIT(WDF_DRIVER_CONFIG* config, PFN_WDF_DRIVER_DEVICE_ADD deviceAdd) {
  *config = {};
  config->Size = sizeof(WDF_DRIVER_CONFIG);
  config->EvtDriverDeviceAdd = deviceAdd;
}

// Creates the driver object for the image being loaded. The attributes'
// cleanup callback runs when the driver is unloaded.
NTSTATUS WdfDriverCreate(DRIVER_OBJECT* driverObject, const UNICODE_STRING* registryPath,
                         WDF_OBJECT_ATTRIBUTES* driverAttributes, WDF_DRIVER_CONFIG* config,
                         WDFDRIVER* driver);

// ---------------------------------------------------------------- device add

enum DEVICE_REGISTRY_PROPERTY : int {
  DevicePropertyDeviceDescription = 0,
  DevicePropertyHardwareID = 1,
  DevicePropertyCompatibleIDs = 2,
};

// Copies the property (for hardware IDs a multi-string) into the buffer when
// it fits; otherwise STATUS_BUFFER_TOO_SMALL with the needed size and the
// buffer left untouched.
NTSTATUS WdfFdoInitQueryProperty(PWDFDEVICE_INIT deviceInit, DEVICE_REGISTRY_PROPERTY property,
                                 ULONG bufferLength, PVOID propertyBuffer, ULONG* resultLength);

enum WDF_POWER_DEVICE_STATE : int {
  WdfPowerDeviceInvalid = 0,
  WdfPowerDeviceD0,
  WdfPowerDeviceD1,
  WdfPowerDeviceD2,
  WdfPowerDeviceD3,
  WdfPowerDeviceD3Final,
};

using PFN_WDF_DEVICE_D0_ENTRY = NTSTATUS (*)(WDFDEVICE device, WDF_POWER_DEVICE_STATE previous);
using PFN_WDF_DEVICE_D0_EXIT = NTSTATUS (*)(WDFDEVICE device, WDF_POWER_DEVICE_STATE target);
using PFN_WDF_DEVICE_PREPARE_HARDWARE = NTSTATUS (*)(WDFDEVICE device, WDFCMRESLIST raw,
                                                     WDFCMRESLIST translated);
using PFN_WDF_DEVICE_RELEASE_HARDWARE = NTSTATUS (*)(WDFDEVICE device, WDFCMRESLIST translated);
using PFN_WDF_DEVICE_SURPRISE_REMOVAL = void (*)(WDFDEVICE device);

struct WDF_PNPPOWER_EVENT_CALLBACKS {
  ULONG Size;
  PFN_WDF_DEVICE_D0_ENTRY EvtDeviceD0Entry;
  PFN_WDF_DEVICE_D0_EXIT EvtDeviceD0Exit;
  PFN_WDF_DEVICE_PREPARE_HARDWARE EvtDevicePrepareHardware;
  PFN_WDF_DEVICE_RELEASE_HARDWARE EvtDeviceReleaseHardware;
  PFN_WDF_DEVICE_SURPRISE_REMOVAL EvtDeviceSurpriseRemoval;
};
inline void WDF_PNPPOWER_EVENT_CALLBACKS_INIT(WDF_PNPPOWER_EVENT_CALLBACKS* callbacks) {
  *callbacks = {};
  callbacks->Size = sizeof(WDF_PNPPOWER_EVENT_CALLBACKS);
}

void WdfDeviceInitSetPnpPowerEventCallbacks(PWDFDEVICE_INIT deviceInit,
                                            WDF_PNPPOWER_EVENT_CALLBACKS* callbacks);
// Marks the device a filter: requests without a handler pass to the next-lower driver.
void WdfFdoInitSetFilter(PWDFDEVICE_INIT deviceInit);
// Creates the device object; on success *deviceInit is consumed (set to null).
NTSTATUS WdfDeviceCreate(PWDFDEVICE_INIT* deviceInit, WDF_OBJECT_ATTRIBUTES* deviceAttributes,
                         WDFDEVICE* device);
// The physical device object that the device's bus driver created.
DEVICE_OBJECT* WdfDeviceWdmGetPhysicalDevice(WDFDEVICE device);
// The next-lower driver of the device's stack.
WDFIOTARGET WdfDeviceGetIoTarget(WDFDEVICE device);

// ---------------------------------------------------------------- queues and requests

enum WDF_IO_QUEUE_DISPATCH_TYPE : int {
  WdfIoQueueDispatchInvalid = 0,
  WdfIoQueueDispatchSequential,
  WdfIoQueueDispatchParallel,
  WdfIoQueueDispatchManual,
};
enum WDF_TRI_STATE : int { WdfFalse = 0, WdfTrue = 1, WdfUseDefault = 2 };

using PFN_WDF_IO_QUEUE_IO_DEVICE_CONTROL = void (*)(WDFQUEUE queue, WDFREQUEST request,
                                                    std::size_t outputBufferLength,
                                                    std::size_t inputBufferLength,
                                                    ULONG ioControlCode);
using PFN_WDF_IO_QUEUE_IO_STOP = void (*)(WDFQUEUE queue, WDFREQUEST request, ULONG actionFlags);

struct WDF_IO_QUEUE_CONFIG {
  ULONG Size;
  WDF_IO_QUEUE_DISPATCH_TYPE DispatchType;
  WDF_TRI_STATE PowerManaged;
  BOOLEAN DefaultQueue;
  ULONG NumberOfPresentedRequests;  // 0: no limit (parallel queues)
  PFN_WDF_IO_QUEUE_IO_DEVICE_CONTROL EvtIoDeviceControl;
  PFN_WDF_IO_QUEUE_IO_STOP EvtIoStop;
};
inline void WDF_IO_QUEUE_CONFIG_INIT_DEFAULT_QUEUE(WDF_IO_QUEUE_CONFIG* config,
                                                   WDF_IO_QUEUE_DISPATCH_TYPE dispatchType) {
  *config = {};
  config->Size = sizeof(WDF_IO_QUEUE_CONFIG);
  config->DispatchType = dispatchType;
  config->PowerManaged = WdfUseDefault;
  config->DefaultQueue = TRUE;
}

NTSTATUS WdfIoQueueCreate(WDFDEVICE device, WDF_IO_QUEUE_CONFIG* config,
                          WDF_OBJECT_ATTRIBUTES* queueAttributes, WDFQUEUE* queue);
WDFDEVICE WdfIoQueueGetDevice(WDFQUEUE queue);

inline constexpr ULONG WDF_REQUEST_SEND_OPTION_TIMEOUT = 0x1;
inline constexpr ULONG WDF_REQUEST_SEND_OPTION_SYNCHRONOUS = 0x2;
inline constexpr ULONG WDF_REQUEST_SEND_OPTION_IGNORE_TARGET_STATE = 0x4;
inline constexpr ULONG WDF_REQUEST_SEND_OPTION_SEND_AND_FORGET = 0x8;

struct WDF_REQUEST_SEND_OPTIONS {
  ULONG Size;
  ULONG Flags;
  LONGLONG Timeout;
};
inline void WDF_REQUEST_SEND_OPTIONS_INIT(WDF_REQUEST_SEND_OPTIONS* options, ULONG flags) {
  *options = {};
  options->Size = sizeof(WDF_REQUEST_SEND_OPTIONS);
  options->Flags = flags;
}

// False when the request could not be sent; its status then says why.
BOOLEAN WdfRequestSend(WDFREQUEST request, WDFIOTARGET target, WDF_REQUEST_SEND_OPTIONS* options);
NTSTATUS WdfRequestGetStatus(WDFREQUEST request);
void WdfRequestComplete(WDFREQUEST request, NTSTATUS status);

// ---------------------------------------------------------------- USB

#pragma pack(push, 1)
struct USB_CONFIGURATION_DESCRIPTOR {
  UCHAR bLength;
  UCHAR bDescriptorType;
  USHORT wTotalLength;
  UCHAR bNumInterfaces;
  UCHAR bConfigurationValue;
  UCHAR iConfiguration;
  UCHAR bmAttributes;
  UCHAR MaxPower;
};
struct USB_INTERFACE_DESCRIPTOR {
  UCHAR bLength;
  UCHAR bDescriptorType;
  UCHAR bInterfaceNumber;
  UCHAR bAlternateSetting;
  UCHAR bNumEndpoints;
  UCHAR bInterfaceClass;
  UCHAR bInterfaceSubClass;
  UCHAR bInterfaceProtocol;
  UCHAR iInterface;
};
#pragma pack(pop)
static_assert(sizeof(USB_CONFIGURATION_DESCRIPTOR) == 9);
static_assert(offsetof(USB_CONFIGURATION_DESCRIPTOR, bNumInterfaces) == 4);
static_assert(sizeof(USB_INTERFACE_DESCRIPTOR) == 9);
static_assert(offsetof(USB_INTERFACE_DESCRIPTOR, bInterfaceClass) == 5);

// Fails (STATUS_NOT_SUPPORTED) for a device that is not a USB device.
NTSTATUS WdfUsbTargetDeviceCreate(WDFDEVICE device, WDF_OBJECT_ATTRIBUTES* attributes,
                                  WDFUSBDEVICE* usbDevice);
// With a null buffer: STATUS_BUFFER_TOO_SMALL and the descriptor's full length
// in *configDescriptorLength. With a buffer of that length: the descriptor.
NTSTATUS WdfUsbTargetDeviceRetrieveConfigDescriptor(WDFUSBDEVICE usbDevice,
                                                    PVOID configDescriptor,
                                                    USHORT* configDescriptorLength);
UCHAR WdfUsbTargetDeviceGetNumInterfaces(WDFUSBDEVICE usbDevice);
// The interface object for an interface index, or null past the last one.
WDFUSBINTERFACE WdfUsbTargetDeviceGetInterface(WDFUSBDEVICE usbDevice, UCHAR interfaceIndex);
// The alternate setting currently selected for the interface.
UCHAR WdfUsbInterfaceGetConfiguredSettingIndex(WDFUSBINTERFACE usbInterface);
void WdfUsbInterfaceGetDescriptor(WDFUSBINTERFACE usbInterface, UCHAR settingIndex,
                                  USB_INTERFACE_DESCRIPTOR* interfaceDescriptor);

// ---------------------------------------------------------------- memory objects

// A buffer of `bufferSize` bytes owned by a framework object, released with
// WdfObjectDelete or with its parent object.
NTSTATUS WdfMemoryCreate(WDF_OBJECT_ATTRIBUTES* attributes, POOL_TYPE poolType, ULONG poolTag,
                         std::size_t bufferSize, WDFMEMORY* memory, PVOID* buffer);

}  // namespace pvn::km
