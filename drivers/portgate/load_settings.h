#pragma once
// Reads the host-controller filter's switches and whitelists from its service
// key, once per load of the driver.
#include "drivers/portgate/driver_context.h"

namespace pvn::portgate {

inline constexpr WCHAR kServiceKeyPath[] =
    u"\\Registry\\MACHINE\\SYSTEM\\CurrentControlSet\\Services\\PvnPortGate";

// Fills `context` from "Port Enable", "Port Whitelist", "Stor Enable" and
// "Stor Whitelist", in that order. When the key does not open, both lists
// stay absent and no device is ever checked; a value that is missing or
// cannot be read leaves its switch off or its list empty. Returns the status
// of opening the key (or of obtaining pool).
NTSTATUS LoadSettings(DRIVER_CONTEXT* context);

// Releases both list buffers and marks them absent (driver unload).
void ReleaseSettings(DRIVER_CONTEXT* context);

}  // namespace pvn::portgate
