#include "drivers/portgate/filter_device.h"

#include <cstring>

#include "drivers/portgate/event_log.h"
#include "drivers/portgate/id_strings.h"

namespace pvn::gate {

NTSTATUS AddFilterDevice(PWDFDEVICE_INIT deviceInit,
                         PFN_WDF_DEVICE_PREPARE_HARDWARE prepareHardware) {
  // The hardware-ID list arrives only when it fits; a longer one leaves the
  // device without a hardware ID, logged as a blank.
  WCHAR hardwareIds[kDeviceIdUnits] = {};
  ULONG resultLength = 0;
  NTSTATUS status = WdfFdoInitQueryProperty(deviceInit, DevicePropertyHardwareID,
                                            sizeof hardwareIds, hardwareIds, &resultLength);
  if (!NT_SUCCESS(status)) std::memset(hardwareIds, 0, sizeof hardwareIds);
  hardwareIds[kDeviceIdUnits - 1] = 0;
  WriteLogEvent(hardwareIds, PlugIn);

  WDF_PNPPOWER_EVENT_CALLBACKS pnpPowerCallbacks;
  WDF_PNPPOWER_EVENT_CALLBACKS_INIT(&pnpPowerCallbacks);
  pnpPowerCallbacks.EvtDeviceD0Entry = EvtDeviceD0Entry;
  pnpPowerCallbacks.EvtDeviceD0Exit = EvtDeviceD0Exit;
  pnpPowerCallbacks.EvtDevicePrepareHardware = prepareHardware;
  pnpPowerCallbacks.EvtDeviceReleaseHardware = EvtDeviceReleaseHardware;
  pnpPowerCallbacks.EvtDeviceSurpriseRemoval = EvtDeviceSurpriseRemoval;
  WdfDeviceInitSetPnpPowerEventCallbacks(deviceInit, &pnpPowerCallbacks);

  // Requests without a handler here pass straight to the next-lower driver.
  WdfFdoInitSetFilter(deviceInit);

  WDF_OBJECT_ATTRIBUTES deviceAttributes;
  PVN_WDF_OBJECT_ATTRIBUTES_INIT_CONTEXT_TYPE(&deviceAttributes, DEVICE_CONTEXT);
  WDFDEVICE device = nullptr;
  status = WdfDeviceCreate(&deviceInit, &deviceAttributes, &device);
  if (!NT_SUCCESS(status)) return status;

  DEVICE_CONTEXT* context = GetDeviceContext(device);
  if (!context) return STATUS_INTERNAL_ERROR;
  context->Device = device;
  context->UsbDevice = nullptr;
  static_assert(sizeof context->HardwareId == sizeof hardwareIds);
  std::memcpy(context->HardwareId, hardwareIds, sizeof hardwareIds);
  UpperCaseAscii(context->HardwareId);

  WDF_IO_QUEUE_CONFIG queueConfig;
  WDF_IO_QUEUE_CONFIG_INIT_DEFAULT_QUEUE(&queueConfig, WdfIoQueueDispatchParallel);
  queueConfig.EvtIoDeviceControl = EvtIoDeviceControl;
  queueConfig.EvtIoStop = EvtIoStop;
  WDFQUEUE queue = nullptr;
  status = WdfIoQueueCreate(device, &queueConfig, WDF_NO_OBJECT_ATTRIBUTES, &queue);
  if (!NT_SUCCESS(status)) return status;

  QueryInstanceId(context);
  return STATUS_SUCCESS;
}

void QueryInstanceId(DEVICE_CONTEXT* context) {
  context->InstanceId[0] = 0;
  DEVICE_OBJECT* physicalDevice = WdfDeviceWdmGetPhysicalDevice(context->Device);
  if (!physicalDevice) return;

  KEVENT event;
  KeInitializeEvent(&event, NotificationEvent, FALSE);
  IO_STATUS_BLOCK ioStatus = {};
  IRP* irp = IoBuildSynchronousFsdRequest(IRP_MJ_PNP, physicalDevice, nullptr, 0, nullptr, &event,
                                          &ioStatus);
  if (!irp) return;
  // Plug-and-play requests start out as not handled.
  irp->IoStatus.Status = STATUS_NOT_SUPPORTED;
  IO_STACK_LOCATION* stack = IoGetNextIrpStackLocation(irp);
  stack->MajorFunction = IRP_MJ_PNP;
  stack->MinorFunction = IRP_MN_QUERY_ID;
  stack->Parameters.QueryId.IdType = BusQueryInstanceID;

  // Straight to the bus driver, not to the top of the stack.
  NTSTATUS status = IoCallDriver(physicalDevice, irp);
  if (status == STATUS_PENDING) {
    KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, nullptr);
    status = ioStatus.Status;
  }
  if (!NT_SUCCESS(status)) return;

  auto* instanceId = reinterpret_cast<WCHAR*>(ioStatus.Information);
  if (!instanceId) return;
  ULONG units = 0;
  while (units < kDeviceIdUnits - 1 && instanceId[units]) {
    context->InstanceId[units] = instanceId[units];
    ++units;
  }
  context->InstanceId[units] = 0;
  ExFreePool(instanceId);
  UpperCaseAscii(context->InstanceId);
}

void ForwardRequest(WDFQUEUE queue, WDFREQUEST request) {
  WDFDEVICE device = WdfIoQueueGetDevice(queue);
  WDFIOTARGET target = WdfDeviceGetIoTarget(device);
  WDF_REQUEST_SEND_OPTIONS options;
  WDF_REQUEST_SEND_OPTIONS_INIT(&options, WDF_REQUEST_SEND_OPTION_SEND_AND_FORGET);
  if (!WdfRequestSend(request, target, &options)) {
    WdfRequestComplete(request, WdfRequestGetStatus(request));
  }
}

NTSTATUS EvtDeviceD0Entry(WDFDEVICE, WDF_POWER_DEVICE_STATE) {
  return STATUS_SUCCESS;
}

NTSTATUS EvtDeviceD0Exit(WDFDEVICE, WDF_POWER_DEVICE_STATE) {
  return STATUS_SUCCESS;
}

void EvtDeviceSurpriseRemoval(WDFDEVICE) {}

void EvtIoStop(WDFQUEUE, WDFREQUEST, ULONG) {}

NTSTATUS EvtDeviceReleaseHardware(WDFDEVICE device, WDFCMRESLIST) {
  DEVICE_CONTEXT* context = GetDeviceContext(device);
  WriteLogEvent(context ? context->HardwareId : nullptr, Unplug);
  return STATUS_SUCCESS;
}

void EvtIoDeviceControl(WDFQUEUE queue, WDFREQUEST request, std::size_t, std::size_t, ULONG) {
  ForwardRequest(queue, request);
}

}  // namespace pvn::gate
