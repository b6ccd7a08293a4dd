#pragma once
// The keyboard/mouse filter's decision: may a keyboard or mouse start?
#include "drivers/hidgate/driver_context.h"

namespace pvn::hidgate {

// STATUS_SUCCESS to admit, STATUS_NOT_SUPPORTED to refuse; a refusal has
// already logged one "Blocking" line with `hardwareId`.
//
// Admitted are: every device while there are no settings, no list or the
// lock is off; devices of the legacy keyboard controller, whose upper-cased
// first hardware ID begins with ACPI; and devices whose first hardware ID
// equals an entry in use exactly. Nothing else: no instance IDs, no parts of
// entries.
NTSTATUS AdmitHidDevice(const DRIVER_CONTEXT* context, const WCHAR* hardwareId);

}  // namespace pvn::hidgate
