#include "drivers/hidgate/load_settings.h"

namespace pvn::hidgate {

NTSTATUS LoadSettings(DRIVER_CONTEXT* context) {
  if (!context) return STATUS_INVALID_PARAMETER;

  HANDLE key = nullptr;
  NTSTATUS status = OpenServiceKey(kServiceKeyPath, &key);
  if (!NT_SUCCESS(status)) return status;

  context->KeybMousEnable = FALSE;
  if (!PrepareWhitelist(&context->KeybMousWhitelist)) {
    ZwClose(key);
    return STATUS_INSUFFICIENT_RESOURCES;
  }

  // Without a query buffer the list stays present but empty and the switch
  // off, so nothing is refused.
  PVOID query = ExAllocatePoolWithTag(PagedPool, kValueQueryBytes, kGatePoolTag);
  if (!query) {
    ZwClose(key);
    return STATUS_INSUFFICIENT_RESOURCES;
  }

  context->KeybMousEnable = ReadSwitch(key, u"KeybMous Enable", query);
  ReadWhitelist(key, u"KeybMous Whitelist", query, context->KeybMousWhitelist);

  ExFreePoolWithTag(query, kGatePoolTag);
  ZwClose(key);
  return STATUS_SUCCESS;
}

void ReleaseSettings(DRIVER_CONTEXT* context) {
  if (context) ReleaseWhitelist(&context->KeybMousWhitelist);
}

}  // namespace pvn::hidgate
