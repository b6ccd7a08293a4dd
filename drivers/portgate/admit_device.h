#pragma once
// The host-controller filter's decision: may a USB device start? A device is
// governed by the storage lock or the port lock, chosen by the first of its
// interfaces whose class is mass storage (8) or hub (9); every other device is
// admitted.
#include "drivers/portgate/driver_context.h"

namespace pvn::portgate {

inline constexpr UCHAR kUsbClassMassStorage = 0x08;
inline constexpr UCHAR kUsbClassHub = 0x09;

// The interfaces of the device's active configuration. The class of each
// (that of its currently selected alternate setting) is fetched on demand, in
// index order, only as far as the decision needs it.
struct INTERFACE_CLASSES {
  ULONG Count;  // bNumInterfaces, 0 to 255
  UCHAR (*ClassOf)(PVOID context, UCHAR interfaceIndex);
  PVOID Context;
};

// STATUS_SUCCESS to admit, STATUS_NOT_SUPPORTED to refuse; a refusal has
// already logged one "Blocking" line with `hardwareId`. Both identity strings
// are upper-cased and zero-terminated; either may be empty.
//
// Admitted are: every device while either list is absent; devices with no
// mass-storage or hub interface; devices whose lock is off; devices whose
// hardware ID equals an entry in use; and, for storage only, devices whose
// non-empty bus instance ID equals the part of an entry after its last
// backslash (the whole entry when it has none), so an entry holding a device
// instance path admits exactly the stick with that serial.
NTSTATUS AdmitDevice(const DRIVER_CONTEXT& context, const WCHAR* hardwareId,
                     const WCHAR* instanceId, const INTERFACE_CLASSES& interfaces);

}  // namespace pvn::portgate
