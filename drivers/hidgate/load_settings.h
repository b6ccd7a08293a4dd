#pragma once
// Reads the keyboard/mouse filter's switch and whitelist from its service key,
// once per load of the driver.
#include "drivers/hidgate/driver_context.h"

namespace pvn::hidgate {

inline constexpr WCHAR kServiceKeyPath[] =
    u"\\Registry\\MACHINE\\SYSTEM\\CurrentControlSet\\Services\\PvnHidGate";

// Fills `context` from "KeybMous Enable" and "KeybMous Whitelist". When the
// key does not open the list stays absent and no device is ever checked; a
// value that is missing or cannot be read leaves the switch off or the list
// empty. Returns the status of opening the key (or of obtaining pool).
NTSTATUS LoadSettings(DRIVER_CONTEXT* context);

// Releases the list buffer and marks it absent (driver unload).
void ReleaseSettings(DRIVER_CONTEXT* context);

}  // namespace pvn::hidgate
