#pragma once
// What a filter keeps per device object: the object itself, the USB target
// that marks it as examined, and the two identity strings gathered at device
// add. The framework zeroes it when it creates the device object.
#include <cstddef>

#include "drivers/portgate/gate_kernel.h"
#include "platform/machine/kernel/wdf_api.h"

namespace pvn::gate {

inline constexpr ULONG kDeviceIdUnits = 256;

struct DEVICE_CONTEXT {
  WDFDEVICE Device;
  WDFUSBDEVICE UsbDevice;            // set once the device has been examined and admitted
  WCHAR HardwareId[kDeviceIdUnits];  // first hardware ID, upper-cased; empty when unknown
  WCHAR InstanceId[kDeviceIdUnits];  // bus instance ID, upper-cased; empty when unknown
};
static_assert(offsetof(DEVICE_CONTEXT, Device) == 0);
static_assert(offsetof(DEVICE_CONTEXT, UsbDevice) == 8);
static_assert(offsetof(DEVICE_CONTEXT, HardwareId) == 16);
static_assert(offsetof(DEVICE_CONTEXT, InstanceId) == 528);
static_assert(sizeof(DEVICE_CONTEXT) == 1040);

PVN_WDF_DECLARE_CONTEXT_TYPE_WITH_NAME(DEVICE_CONTEXT, GetDeviceContext)

}  // namespace pvn::gate
