#include "drivers/portgate/load_settings.h"

namespace pvn::portgate {

NTSTATUS LoadSettings(DRIVER_CONTEXT* context) {
  if (!context) return STATUS_INVALID_PARAMETER;

  HANDLE key = nullptr;
  NTSTATUS status = OpenServiceKey(kServiceKeyPath, &key);
  if (!NT_SUCCESS(status)) return status;

  // Both list buffers are needed for either lock to act; without pool for
  // them neither lock is enforced, as when the key is missing.
  context->PortEnable = FALSE;
  context->StorEnable = FALSE;
  if (!PrepareWhitelist(&context->PortWhitelist) || !PrepareWhitelist(&context->StorWhitelist)) {
    ReleaseSettings(context);
    ZwClose(key);
    return STATUS_INSUFFICIENT_RESOURCES;
  }

  // Without a query buffer the lists stay present but empty and both switches
  // off, so nothing is refused.
  PVOID query = ExAllocatePoolWithTag(PagedPool, kValueQueryBytes, kGatePoolTag);
  if (!query) {
    ZwClose(key);
    return STATUS_INSUFFICIENT_RESOURCES;
  }

  context->PortEnable = ReadSwitch(key, u"Port Enable", query);
  ReadWhitelist(key, u"Port Whitelist", query, context->PortWhitelist);
  context->StorEnable = ReadSwitch(key, u"Stor Enable", query);
  ReadWhitelist(key, u"Stor Whitelist", query, context->StorWhitelist);

  ExFreePoolWithTag(query, kGatePoolTag);
  ZwClose(key);
  return STATUS_SUCCESS;
}

void ReleaseSettings(DRIVER_CONTEXT* context) {
  if (!context) return;
  ReleaseWhitelist(&context->PortWhitelist);
  ReleaseWhitelist(&context->StorWhitelist);
}

}  // namespace pvn::portgate
