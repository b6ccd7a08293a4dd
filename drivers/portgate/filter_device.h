#pragma once
// The device side of both filters: attaching beneath a new device, gathering
// its identity, logging plug-in and unplug, and passing its I/O down
// untouched. Each driver supplies its own hardware-preparation callback,
// where it decides whether the device may start.
#include "drivers/portgate/device_context.h"

namespace pvn::gate {

// EvtDriverDeviceAdd's work: logs "Plug-in" with the device's first hardware
// ID, registers the plug-and-play and power callbacks (with
// `prepareHardware`), creates the filter device object with its
// DEVICE_CONTEXT and the default queue, and queries the bus instance ID.
NTSTATUS AddFilterDevice(PWDFDEVICE_INIT deviceInit,
                         PFN_WDF_DEVICE_PREPARE_HARDWARE prepareHardware);

// Asks the device's bus driver for its instance ID (IRP_MN_QUERY_ID,
// BusQueryInstanceID, sent to the physical device object) and stores it,
// upper-cased, in `context->InstanceId`; leaves it empty when the query fails.
void QueryInstanceId(DEVICE_CONTEXT* context);

// Passes a device-control request to the next-lower driver without waiting
// for it; a request that cannot be sent is completed with its status.
void ForwardRequest(WDFQUEUE queue, WDFREQUEST request);

// Callbacks with nothing to do but to let the framework go on.
NTSTATUS EvtDeviceD0Entry(WDFDEVICE device, WDF_POWER_DEVICE_STATE previousState);
NTSTATUS EvtDeviceD0Exit(WDFDEVICE device, WDF_POWER_DEVICE_STATE targetState);
void EvtDeviceSurpriseRemoval(WDFDEVICE device);
void EvtIoStop(WDFQUEUE queue, WDFREQUEST request, ULONG actionFlags);

// Logs "Unplug" with the stored hardware ID at every stop or removal.
NTSTATUS EvtDeviceReleaseHardware(WDFDEVICE device, WDFCMRESLIST resourcesTranslated);

void EvtIoDeviceControl(WDFQUEUE queue, WDFREQUEST request, std::size_t outputBufferLength,
                        std::size_t inputBufferLength, ULONG ioControlCode);

}  // namespace pvn::gate
