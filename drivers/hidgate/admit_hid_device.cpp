#include "drivers/hidgate/admit_hid_device.h"

#include "drivers/portgate/event_log.h"
#include "drivers/portgate/id_strings.h"

namespace pvn::hidgate {

namespace {

bool IsAcpiDevice(const WCHAR* hardwareId) {
  if (!hardwareId) return false;
  constexpr WCHAR kAcpi[] = u"ACPI";
  for (int i = 0; i < 4; ++i)
    if (hardwareId[i] != kAcpi[i]) return false;  // stops at a shorter ID's terminator
  return true;
}

}  // namespace

NTSTATUS AdmitHidDevice(const DRIVER_CONTEXT* context, const WCHAR* hardwareId) {
  if (!context || !context->KeybMousWhitelist || !context->KeybMousEnable) return STATUS_SUCCESS;
  if (IsAcpiDevice(hardwareId)) return STATUS_SUCCESS;

  const WHITELIST& list = *context->KeybMousWhitelist;
  const ULONG inUse = WhitelistEntriesInUse(list);
  for (ULONG i = 0; i < inUse; ++i) {
    if (IdEquals(hardwareId, list.Entries[i])) return STATUS_SUCCESS;
  }

  WriteLogEvent(hardwareId, Blocking);
  return STATUS_NOT_SUPPORTED;
}

}  // namespace pvn::hidgate
